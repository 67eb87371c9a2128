// Drives the joiner page in Debian's own browsers, headless, as a receiver would use it: the
// page opened from the disk (file://), the set's files handed to its file input as a pick hands
// them, its button pressed, its findings read, the joined file saved.
//
// Saving: Chromium saves through the File System Access API's save picker, which a headless
// browser cannot show; the page is given a stand-in for the picker whose writable stream hands
// every part the page writes to this script (the page's own writing is what is tested). A
// download (Firefox's way, and Chromium's second) goes to a folder of this script's.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

export const Browsers = {
  chromium: '/usr/bin/chromium',
  firefox: '/usr/bin/firefox-esr',
};

const ChromiumFlags = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
                       '--disable-background-networking', '--disable-component-update', '--disable-sync'];

// A browser with a fresh profile and a downloads folder of its own; close() removes both.
export async function launch(name, {language = 'en-US'} = {}) {
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), `page-${name}-`));
  const downloads = path.join(scratch, 'downloads');
  fs.mkdirSync(downloads);
  let browser;
  if (name === 'chromium') {
    browser = await puppeteer.launch({
      executablePath: Browsers.chromium, headless: true,
      args: [...ChromiumFlags, `--user-data-dir=${path.join(scratch, 'profile')}`, `--lang=${language}`,
             `--accept-lang=${language}`],
      env: {...process.env, LANGUAGE: language.replace('-', '_')},
    });
    const session = await browser.target().createCDPSession();
    await session.send('Browser.setDownloadBehavior', {behavior: 'allow', downloadPath: downloads, eventsEnabled: true});
  } else {
    browser = await puppeteer.launch({
      browser: 'firefox', executablePath: Browsers.firefox, headless: true,
      extraPrefsFirefox: {
        'browser.download.dir': downloads, 'browser.download.folderList': 2,
        'browser.download.useDownloadDir': true, 'browser.download.always_ask_before_handling_new_types': false,
        'browser.download.start_downloads_in_tmp_dir': false, 'intl.accept_languages': language,
      },
    });
  }
  return {
    name, browser, downloads,
    async close() {
      await browser.close().catch(() => {});
      fs.rmSync(scratch, {recursive: true, force: true});
    },
  };
}

// The page of a set opened in a new tab, ready (its worker and WebAssembly started). In Chromium
// the save picker's stand-in collects what is saved into saved[name] (a Buffer, when closed).
export async function openPage(session, htmlPath) {
  const page = await session.browser.newPage();
  const saved = {};
  if (session.name === 'chromium') {
    const parts = {};
    await page.exposeFunction('savedPart', (name, base64) => {
      (parts[name] ||= []).push(Buffer.from(base64, 'base64'));
    });
    await page.exposeFunction('savedClose', (name) => { saved[name] = Buffer.concat(parts[name] || []); });
    await page.evaluateOnNewDocument(() => {
      const base64 = (bytes) => {
        let text = '';
        for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
        return btoa(text);
      };
      window.showSaveFilePicker = async ({suggestedName}) => ({
        name: suggestedName,
        createWritable: async () => ({
          async write(data) {
            const blob = data instanceof Blob ? data : new Blob([data]);
            for (let at = 0; at < blob.size; at += 1 << 20) {
              await window.savedPart(suggestedName, base64(new Uint8Array(await blob.slice(at, at + (1 << 20)).arrayBuffer())));
            }
          },
          async close() { await window.savedClose(suggestedName); },
          async abort() {},
        }),
      });
    });
  }
  page.on('pageerror', (error) => console.error(`[${session.name}] page error: ${error.message}`));
  await page.goto('file://' + path.resolve(htmlPath));
  await page.waitForSelector('body[data-ready="1"]', {timeout: 30000});
  return {page, saved};
}

// Hands files to the page's file input, as a pick would, and waits for its plan.
export async function pick(page, paths) {
  const input = await page.$('#pick-files');
  await input.uploadFile(...paths.map((p) => path.resolve(p)));
  await page.waitForFunction(() => !document.getElementById('plan').hidden, {timeout: 30000});
  return page.$$eval('#plan-list li, #facts dd', (nodes) => nodes.map((n) => n.textContent));
}

// Presses the check button and waits for the result: the findings, the verdict and whether the
// page offers to save.
export async function checkSet(page, timeout = 120000) {
  await page.click('#check');
  await page.waitForFunction(() => !document.getElementById('result').hidden, {timeout});
  return page.evaluate(() => ({
    findings: [...document.querySelectorAll('#findings li')].map((li) => li.textContent),
    verdict: document.getElementById('verdict').textContent,
    good: document.getElementById('verdict').className === 'good',
    offered: !document.getElementById('save-actions').hidden,
    saveLabel: document.getElementById('save').textContent,
  }));
}

// Saves the joined file the page offers: through the picker's stand-in (Chromium) or as a
// download; returns its bytes' path or Buffer once the browser has written it all.
export async function save(session, opened, name, size, {download = false} = {}) {
  const {page, saved} = opened;
  if (session.name === 'chromium' && !download) {
    await page.click('#save');
    await waitFor(() => saved[name] !== undefined, 120000, `the save of ${name}`);
    return saved[name];
  }
  await page.click(session.name === 'chromium' ? '#download' : '#save');
  const target = path.join(session.downloads, name);
  await waitFor(() => fs.existsSync(target) && fs.statSync(target).size === size &&
                      !fs.existsSync(target + '.part') && !fs.existsSync(target + '.crdownload'),
                3600000, `the download of ${name}`);
  return target;
}

export async function waitFor(condition, timeout, what) {
  const start = Date.now();
  while (!condition()) {
    if (Date.now() - start > timeout) throw new Error(`timed out waiting for ${what}`);
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
}
