// A 5 GB set through the joiner page in headless Chromium: made by `tarnovell split --page` from a
// sparse file (a few bytes of data, holes elsewhere), checked by the page, saved as a download and
// compared with the original; the page's memory, Chromium's own measure (the private footprint
// of the page's renderer process, the worker included, in memory-infra dumps taken every
// second), stays under the limit throughout. With firefox as BROWSER, the same set is saved in
// Firefox (whose memory is not measured here).
//   node page_big_test.mjs TARNOVELL [GIB [BROWSER]]
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import test from 'node:test';
import {checkSet, launch, openPage, pick, save} from './page_browser.mjs';

const [tool, gib = '5', browser = 'chromium'] = process.argv.slice(2);
const Limit = 300 * 1024 * 1024;
const size = Number(gib) * 1024 ** 3;
const scratch = fs.mkdtempSync(path.join(process.env.BENCH_DIR || os.tmpdir(), 'page-big-'));
process.on('exit', () => fs.rmSync(scratch, {recursive: true, force: true}));

// Chromium's memory dumps, every second, while the caller runs; the most the page's renderer had.
async function peakFootprint(session, page, run) {
  if (session.name !== 'chromium') return {result: await run(), peak: 0, dumps: 1};
  const client = await page.createCDPSession();
  const chunks = [];
  const complete = new Promise((resolve) => client.once('Tracing.tracingComplete', resolve));
  client.on('Tracing.dataCollected', (event) => chunks.push(...event.value));
  await client.send('Tracing.start', {
    traceConfig: {includedCategories: ['disabled-by-default-memory-infra'], excludedCategories: ['*'],
                  memoryDumpConfig: {triggers: [{mode: 'light', periodicIntervalMs: 1000}]}},
    transferMode: 'ReportEvents',
  });
  const result = await run();
  await client.send('Tracing.end');
  await complete;
  const renderers = new Set(chunks.filter((e) => e.ph === 'M' && e.name === 'process_name' && e.args.name === 'Renderer').map((e) => e.pid));
  let peak = 0, dumps = 0;
  for (const event of chunks) {
    const totals = event.ph === 'v' && event.args && event.args.dumps && event.args.dumps.process_totals;
    if (!totals || !renderers.has(event.pid) || !totals.private_footprint_bytes) continue;
    peak = Math.max(peak, parseInt(totals.private_footprint_bytes, 16));
    dumps++;
  }
  return {result, peak, dumps};
}

// The download is written out whole: a machine without that much room skips the test (77, which
// ctest counts as skipped) rather than fail for the disk.
const free = fs.statfsSync(scratch);
if (free.bavail * free.bsize < size + 2 * 1024 ** 3) {
  console.log(`skipped: ${gib} GiB and 2 GiB more are not free in ${scratch}`);
  process.exit(77);
}

test(`a ${gib} GiB set saved in ${browser}`, async (t) => {
  const input = path.join(scratch, 'big.bin');
  fs.closeSync(fs.openSync(input, 'w'));
  fs.truncateSync(input, size);
  const fd = fs.openSync(input, 'r+');
  fs.writeSync(fd, 'the first bytes', 0);
  fs.writeSync(fd, 'the last bytes', size - 14);
  fs.closeSync(fd);
  execFileSync(tool, ['split', 'big.bin', '--size', '1G', '--page', '-q'], {cwd: scratch});
  const names = fs.readdirSync(scratch).filter((name) => /^big\.(exe|c\d+)$/.test(name));

  const session = await launch(browser);
  t.after(() => session.close());
  const opened = await openPage(session, path.join(scratch, 'big.html'));
  const start = Date.now();
  const {result, peak, dumps} = await peakFootprint(session, opened.page, async () => {
    await pick(opened.page, names.map((name) => path.join(scratch, name)));
    const found = await checkSet(opened.page, 1800000);
    const checked = Date.now();
    const saved = found.offered ? await save(session, opened, 'big.bin', size, {download: true}) : null;
    return {found, saved, checkSeconds: (checked - start) / 1000, saveSeconds: (Date.now() - checked) / 1000};
  });
  console.log(`# checked in ${result.checkSeconds.toFixed(1)} s, saved in ${result.saveSeconds.toFixed(1)} s; ` +
              `the page's peak private footprint ${(peak / 2 ** 20).toFixed(1)} MiB in ${dumps} dumps`);
  assert.ok(result.found.good && result.saved, result.found.verdict);
  assert.ok(dumps > 0, 'no memory dump of the page was taken');
  assert.ok(peak < Limit, `the page took ${peak} bytes`);
  execFileSync('cmp', [input, result.saved]);
});
