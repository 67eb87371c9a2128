// The joiner page in headless Chromium and Firefox: sets made by `tarnovell split --page`, their
// pages opened from the disk, the files picked as a receiver picks them.
//   node page_sets_test.mjs TARNOVELL [chromium|firefox ...]
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import test from 'node:test';
import {checkSet, launch, openPage, pick, save} from './page_browser.mjs';

const [tool, ...asked] = process.argv.slice(2);
const browsers = asked.length ? asked : ['chromium', 'firefox'];
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'page-sets-'));
process.on('exit', () => fs.rmSync(scratch, {recursive: true, force: true}));

// film.mkv of 3.5 MB cut into film.exe and film.c001 to film.c003, with options, in a folder of
// its own; returns that folder.
function makeSet(folder, ...options) {
  const dir = path.join(scratch, folder);
  fs.mkdirSync(dir);
  fs.writeFileSync(path.join(dir, 'film.mkv'), crypto.randomBytes(3500000));
  execFileSync(tool, ['split', 'film.mkv', '--size', '1M', '--page', '-q', ...options], {cwd: dir});
  return dir;
}
function flipByte(file, at) {
  const fd = fs.openSync(file, 'r+');
  const byte = Buffer.alloc(1);
  fs.readSync(fd, byte, 0, 1, at);
  byte[0] ^= 0x5a;
  fs.writeSync(fd, byte, 0, 1, at);
  fs.closeSync(fd);
}
const files = (dir, ...names) => names.map((name) => path.join(dir, name));

// One piece lost, one damaged, two recovery files: both rebuilt, the joined file the original.
const repairable = makeSet('repairable', '--recovery', '2');
fs.rmSync(path.join(repairable, 'film.c002'));
flipByte(path.join(repairable, 'film.c001'), 700000);
// No recovery files, a damaged piece: named, nothing offered.
const damaged = makeSet('damaged');
flipByte(path.join(damaged, 'film.c003'), 1000);
// A forged digest block that claims 2^31 - 1 pieces: said so, nothing checked.
const forged = makeSet('forged');
execFileSync('python3', [path.join(path.dirname(new URL(import.meta.url).pathname), 'forge_block.py'),
                         path.join(forged, 'film.exe')]);

for (const name of browsers) {
  test(`the joiner page in ${name}`, async (t) => {
    const session = await launch(name);
    t.after(() => session.close());

    await t.test('a lost and a damaged piece are rebuilt from two recovery files', async () => {
      const opened = await openPage(session, path.join(repairable, 'film.html'));
      const plan = await pick(opened.page, files(repairable, 'film.exe', 'film.c001', 'film.c003', 'film.r01', 'film.r02', 'film.mkv'));
      assert.ok(plan.includes('Missing: film.c002.'), plan.join('\n'));
      const result = await checkSet(opened.page);
      assert.deepEqual(result.findings, ['film.c001: damaged: its data differs from its digest',
                                         'film.c001: rebuilt from the recovery files',
                                         'film.c002: missing', 'film.c002: rebuilt from the recovery files']);
      assert.ok(result.good && result.offered, result.verdict);
      const saved = await save(session, opened, 'film.mkv', 3500000);
      const bytes = Buffer.isBuffer(saved) ? saved : fs.readFileSync(saved);
      assert.ok(bytes.equals(fs.readFileSync(path.join(repairable, 'film.mkv'))), 'the saved file differs from the original');
    });

    await t.test('a damaged piece without recovery files is named and nothing is offered', async () => {
      const opened = await openPage(session, path.join(damaged, 'film.html'));
      await pick(opened.page, files(damaged, 'film.exe', 'film.c001', 'film.c002', 'film.c003'));
      const result = await checkSet(opened.page);
      assert.deepEqual(result.findings, ['film.c003: damaged: its data differs from its digest']);
      assert.ok(!result.good && !result.offered, result.verdict);
    });

    await t.test('a forged block is told, and nothing is checked', async () => {
      const opened = await openPage(session, path.join(forged, 'film.html'));
      const plan = await pick(opened.page, files(forged, 'film.exe', 'film.c001', 'film.c002', 'film.c003'));
      assert.ok(plan.some((line) => line.startsWith('The header claims 2,147,483,647 pieces')), plan.join('\n'));
      assert.ok(await opened.page.$eval('#check', (button) => button.disabled));
    });
  });
}
