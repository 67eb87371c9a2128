// The joiner page's speed in headless Chromium (tools/bench_page.sh runs it; not a test): the
// check of a set and, with one piece left out of the pick, its check and rebuild, each timed from
// the press of the button to the result, the best of ROUNDS.
//   node page_bench.mjs HTML ROUNDS MISSING FILE...
import path from 'node:path';
import {checkSet, launch, openPage, pick} from './page_browser.mjs';

const [html, rounds, missing, ...files] = process.argv.slice(2);

async function timed(session, picked) {
  const opened = await openPage(session, html);
  await pick(opened.page, picked);
  const start = process.hrtime.bigint();
  const result = await checkSet(opened.page, 1800000);
  const seconds = Number(process.hrtime.bigint() - start) / 1e9;
  await opened.page.close();
  if (!result.good) throw new Error(result.verdict);
  return seconds;
}

const session = await launch('chromium');
try {
  const best = {check: Infinity, repair: Infinity};
  for (let round = 0; round < Number(rounds); round++) {
    best.check = Math.min(best.check, await timed(session, files));
    best.repair = Math.min(best.repair, await timed(session, files.filter((f) => path.basename(f) !== missing)));
  }
  console.log(JSON.stringify(best));
} finally {
  await session.close();
}
