// docs/page.png: the joiner page of a sample set in headless Chromium, after the receiver picked
// the set (one piece missing, two recovery files) and pressed the button (tools/screenshot_page.sh
// runs it).
//   node page_screenshot.mjs HTML OUTPUT FILE...
import {checkSet, launch, openPage, pick} from './page_browser.mjs';

const [html, output, ...files] = process.argv.slice(2);
const session = await launch('chromium');
try {
  const {page} = await openPage(session, html);
  await page.setViewport({width: 820, height: 600, deviceScaleFactor: 1});
  await pick(page, files);
  await checkSet(page);
  await page.screenshot({path: output, fullPage: true});
} finally {
  await session.close();
}
