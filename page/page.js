// The joiner page: the receiver picks or drops the set's files; the page finds the container,
// the pieces and the recovery files among them, checks every piece against the set's digests,
// rebuilds what the recovery files can, and saves the joined file. What the files mean is the
// WebAssembly core's (page_core.cpp, in the worker); this script handles files, progress,
// saving and text.
'use strict';

const PayloadOffset = 30720;
// More pieces than any set is made of (a million): a header that claims so many is damaged or
// forged, and is not followed.
const PieceLimit = 1 << 20;

// ---- Texts: English, and Russian where the browser asks for it --------------------------------

const Texts = {
  en: {
    subtitle: 'joins a set of files in this browser',
    leadSet: 'This page joins {0} ({1}) from the files {2}. Nothing leaves this computer.',
    leadAny: 'This page joins a set made by Tarnovell (BASE.exe, BASE.c001, …, and any recovery files BASE.r01, …). Nothing leaves this computer.',
    drop: 'Drop the set’s files (or their folder) here, or pick them.',
    pickFiles: 'Pick files…', pickFolder: 'Pick a folder…',
    planTitle: 'The set', name: 'File', size: 'Size', pieces: 'Pieces', recovery: 'Recovery files',
    times: 'Times', created: 'created {0}', modified: 'modified {0}',
    piecesCount: '{0} (the container {1} and {2} more)', piecesUnknown: 'not known: this set has no digests',
    found: 'Found: {0}.', missing: 'Missing: {0}.', extra: 'Not part of the set, left aside: {0}.',
    duplicate: '{0}: another copy of {1}, left aside.', otherSet: '{0}: of another set, left aside.',
    noSet: 'No container (BASE.exe) and no recovery file (BASE.r01, …) of a set is among the files picked: add them.',
    willCheck: 'It will check every piece against the digests the set carries{0}, then save {1}.',
    willRebuild: ', rebuild {0} from the recovery files',
    cannotYet: 'With {0} missing and {1} recovery files, the set cannot be joined yet: fetch the files named, or more recovery files.',
    noDigests: 'This set carries no digests: only the sizes can be checked.',
    absurd: 'The header claims {0} pieces, more than any set is made of: this container is damaged or forged. Fetch it again.',
    missingRun: '{0} to {1} ({2} pieces)',
    check: 'Check and join', clear: 'Start again',
    checking: 'Checking', repairing: 'Rebuilding', reading: 'reading {0}', rate: '{0} of {1}, {2}/s, {3} left',
    resultTitle: 'Result',
    good: '{0}: good', fileMissing: '{0}: missing', short: '{0}: short: {1} bytes, the set gives it {2}',
    long: '{0}: long: {1} bytes, the set gives it {2}', damaged: '{0}: damaged: its data differs from its digest',
    runDamaged: '{0} to {1}: damaged: one of them differs from their digest',
    unread: '{0}: could not be read', unchecked: '{0}: not checked (another piece of its run is missing or of the wrong size)',
    program: '{0}: its Windows joiner program is damaged; the data is good',
    header: '{0}: its header is damaged; the copy the recovery files carry is used',
    rowBad: '{0}: damaged recovery file', rowMissing: '{0}: missing recovery file',
    otherRecovery: 'The recovery files picked are of another set: they are not used.',
    noRecovery: 'None of the recovery files picked could be read as one.',
    rebuilt: '{0}: rebuilt from the recovery files',
    notRepairable: 'Not repairable: {0} files bad, {1} good recovery files. Nothing is saved; fetch the files named again.',
    repairFailed: 'The rebuild failed ({0}); nothing is saved.',
    complete: 'Complete: every piece checked, {0} ({1} bytes).',
    completeRebuilt: 'Complete: every piece checked or rebuilt and checked, {0} ({1} bytes).',
    damagedSet: 'Possibly damaged: fetch the pieces named again. Nothing is offered for saving.',
    missingSet: 'Pieces are missing: fetch them (or recovery files) and add them here.',
    unchecked: 'The sizes add up, but this set carries no digests: the data cannot be checked.',
    saveAs: 'Save {0}…', download: 'Download {0}', downloadInstead: 'or download it instead',
    savePicker: 'Your browser writes the file straight to the folder you choose.',
    saveDownload: 'Your browser saves it as a download, in its downloads folder, straight from the picked files.',
    tooLarge: 'This browser cannot save a file of {0}: use Chrome, Edge or Firefox on a computer, or the tool tarnovell.',
    saving: 'Saving', saved: 'Saved {0}.', downloadStarted: 'The download of {0} has started: see the browser’s downloads.',
    saveFailed: 'Saving failed: {0}', timesNote: 'A browser cannot set a file’s times: the saved file has today’s. The original was created {0} and last modified {1}.',
    failed: 'The page could not go on: {0}', simd: 'WebAssembly SIMD', noSimd: 'no WebAssembly SIMD: slower',
    footer: 'Tarnovell joiner page. It reads only the files you pick; it sends nothing anywhere ({0}).',
    and: '{0} and {1}', more: '{0} and {1} more',
  },
  ru: {
    subtitle: 'собирает набор файлов в этом браузере',
    leadSet: 'Эта страница собирает {0} ({1}) из файлов {2}. Ничего не покидает этот компьютер.',
    leadAny: 'Эта страница собирает набор, сделанный Tarnovell (BASE.exe, BASE.c001, … и файлы восстановления BASE.r01, …). Ничего не покидает этот компьютер.',
    drop: 'Перетащите сюда файлы набора (или их папку) или выберите их.',
    pickFiles: 'Выбрать файлы…', pickFolder: 'Выбрать папку…',
    planTitle: 'Набор', name: 'Файл', size: 'Размер', pieces: 'Части', recovery: 'Файлы восстановления',
    times: 'Время', created: 'создан {0}', modified: 'изменён {0}',
    piecesCount: '{0} (контейнер {1} и ещё {2})', piecesUnknown: 'неизвестно: в наборе нет контрольных сумм',
    found: 'Найдены: {0}.', missing: 'Не хватает: {0}.', extra: 'Не из этого набора, не используются: {0}.',
    duplicate: '{0}: ещё одна копия {1}, не используется.', otherSet: '{0}: из другого набора, не используется.',
    noSet: 'Среди выбранных файлов нет ни контейнера (BASE.exe), ни файла восстановления (BASE.r01, …): добавьте их.',
    willCheck: 'Страница проверит каждую часть по контрольным суммам набора{0} и сохранит {1}.',
    willRebuild: ', восстановит {0} из файлов восстановления',
    cannotYet: 'Не хватает {0}, файлов восстановления {1}: собрать набор пока нельзя. Получите названные файлы или больше файлов восстановления.',
    noDigests: 'В этом наборе нет контрольных сумм: проверить можно только размеры.',
    absurd: 'Заголовок говорит о {0} частях — больше, чем бывает в наборе: контейнер повреждён или подделан. Получите его заново.',
    missingRun: '{0} — {1} ({2} частей)',
    check: 'Проверить и собрать', clear: 'Начать заново',
    checking: 'Проверка', repairing: 'Восстановление', reading: 'читается {0}', rate: '{0} из {1}, {2}/с, осталось {3}',
    resultTitle: 'Результат',
    good: '{0}: в порядке', fileMissing: '{0}: нет файла', short: '{0}: короче: {1} байт, а должно быть {2}',
    long: '{0}: длиннее: {1} байт, а должно быть {2}', damaged: '{0}: повреждён: данные не совпадают с контрольной суммой',
    runDamaged: '{0} — {1}: повреждены: одна из частей не совпадает с их контрольной суммой',
    unread: '{0}: не читается', unchecked: '{0}: не проверен (другой части его группы нет или её размер неверен)',
    program: '{0}: повреждена программа-сборщик для Windows; данные в порядке',
    header: '{0}: повреждён заголовок; используется его копия из файлов восстановления',
    rowBad: '{0}: файл восстановления повреждён', rowMissing: '{0}: нет файла восстановления',
    otherRecovery: 'Выбранные файлы восстановления — от другого набора: они не используются.',
    noRecovery: 'Ни один из выбранных файлов восстановления не читается как таковой.',
    rebuilt: '{0}: восстановлен из файлов восстановления',
    notRepairable: 'Восстановить нельзя: повреждено файлов: {0}, исправных файлов восстановления: {1}. Ничего не сохраняется; получите названные файлы заново.',
    repairFailed: 'Восстановить не удалось ({0}); ничего не сохраняется.',
    complete: 'Готово: каждая часть проверена, {0} ({1} байт).',
    completeRebuilt: 'Готово: каждая часть проверена или восстановлена и проверена, {0} ({1} байт).',
    damagedSet: 'Возможно, повреждён: получите названные части заново. Сохранить нечего.',
    missingSet: 'Не хватает частей: получите их (или файлы восстановления) и добавьте сюда.',
    unchecked: 'Размеры сходятся, но в наборе нет контрольных сумм: данные проверить нельзя.',
    saveAs: 'Сохранить {0}…', download: 'Скачать {0}', downloadInstead: 'или скачать его',
    savePicker: 'Браузер запишет файл прямо в выбранную вами папку.',
    saveDownload: 'Браузер сохранит его как загрузку, в папку загрузок, прямо из выбранных файлов.',
    tooLarge: 'Этот браузер не может сохранить файл размером {0}: воспользуйтесь Chrome, Edge или Firefox на компьютере или программой tarnovell.',
    saving: 'Сохранение', saved: 'Сохранён {0}.', downloadStarted: 'Загрузка {0} началась: см. загрузки браузера.',
    saveFailed: 'Сохранить не удалось: {0}', timesNote: 'Браузер не может задать время файла: у сохранённого файла сегодняшнее. Оригинал создан {0}, изменён {1}.',
    failed: 'Страница не может продолжить: {0}', simd: 'WebAssembly SIMD', noSimd: 'без WebAssembly SIMD: медленнее',
    footer: 'Страница-сборщик Tarnovell. Она читает только выбранные вами файлы и никуда ничего не отправляет ({0}).',
    and: '{0} и {1}', more: '{0} и ещё {1}',
  },
};
const language = (navigator.languages && navigator.languages[0] || navigator.language || 'en').toLowerCase().startsWith('ru') ? 'ru' : 'en';
const texts = Texts[language];
function t(key, ...args) { return texts[key].replace(/\{(\d)\}/g, (_, i) => String(args[+i])); }

const $ = (id) => document.getElementById(id);
function show(id, on) { $(id).hidden = !on; }
function item(list, text, kind) {
  const li = document.createElement('li');
  li.textContent = text;
  if (kind) li.className = kind;
  $(list).append(li);
}
function listNames(names) {
  if (names.length <= 1) return names.join('');
  if (names.length <= 4) return t('and', names.slice(0, -1).join(', '), names[names.length - 1]);
  return t('more', names.slice(0, 3).join(', '), names.length - 3);
}
const number = (value) => value.toLocaleString(language === 'ru' ? 'ru-RU' : 'en-US');
function humanSize(bytes) {
  const units = language === 'ru' ? ['байт', 'КиБ', 'МиБ', 'ГиБ', 'ТиБ'] : ['bytes', 'KiB', 'MiB', 'GiB', 'TiB'];
  let value = bytes, unit = 0;
  while (value >= 1024 && unit < units.length - 1) value /= 1024, unit++;
  return (unit === 0 ? String(value) : value.toFixed(value < 10 ? 2 : 1)) + ' ' + units[unit];
}
function clock(seconds) {
  if (!isFinite(seconds)) return '…';
  seconds = Math.max(0, Math.round(seconds));
  const h = Math.floor(seconds / 3600), m = Math.floor(seconds / 60) % 60, s = seconds % 60;
  return (h ? h + ':' + String(m).padStart(2, '0') : m) + ':' + String(s).padStart(2, '0');
}
function fileTime(text) {
  if (!text) return null;
  const ms = Number(BigInt(text) / 10000n) - 11644473600000;
  return new Date(ms).toLocaleString(language === 'ru' ? 'ru-RU' : undefined);
}
function headerName(hex) {
  const bytes = new Uint8Array(hex.length / 2);
  for (let i = 0; i < bytes.length; i++) bytes[i] = parseInt(hex.substr(2 * i, 2), 16);
  return new TextDecoder('windows-1251').decode(bytes);
}
function fromBase64(text) {
  const raw = atob(text);
  const bytes = new Uint8Array(raw.length);
  for (let i = 0; i < raw.length; i++) bytes[i] = raw.charCodeAt(i);
  return bytes;
}

// ---- The worker that holds the core -----------------------------------------------------------

let worker = null, nextCall = 1, simdPresent = false;
const calls = new Map();
let onProgress = () => {};

function startWorker() {
  worker = new Worker(URL.createObjectURL(new Blob([WorkerSource], {type: 'text/javascript'})));
  worker.onmessage = ({data}) => {
    if (data.op === 'progress') return onProgress(data.bytes);
    const call = calls.get(data.id);
    calls.delete(data.id);
    if (data.op === 'done') call.resolve(data.result); else call.reject(new Error(data.error));
  };
  worker.onerror = (event) => { for (const call of calls.values()) call.reject(new Error(event.message || 'worker')); calls.clear(); };
  return ask('start', {core: fromBase64(CoreModule), simd: fromBase64(SimdModule)}).then((facts) => { simdPresent = facts.simd; });
}
function ask(op, message = {}) {
  const id = nextCall++;
  return new Promise((resolve, reject) => {
    calls.set(id, {resolve, reject});
    worker.postMessage(Object.assign({op, id}, message));
  });
}

// ---- The files picked --------------------------------------------------------------------------

const picked = [];   // {id, file, name, facts}
let plan = null;     // what the page will do with them
let outcome = null;  // what the check found

const PieceName = /^(.*)\.c(\d{3,})$/i, RecoveryName = /^(.*)\.r(\d{2,})$/i, ContainerName = /^(.*)\.exe$/i;
// A base as a browser may have renamed it ("film (1)"), in lower case.
const plainBase = (base) => base.replace(/\s*\(\d+\)$/, '').toLowerCase();
const renamedCopy = (name) => /\(\d+\)\.[^.]+$/.test(name);

async function addFiles(list) {
  const fresh = [];
  for (const file of list) {
    if (picked.some((p) => p.file.name === file.name && p.file.size === file.size && p.file.lastModified === file.lastModified)) continue;
    const entry = {id: picked.length, file, name: file.name, facts: null};
    picked.push(entry);
    fresh.push(entry);
  }
  if (!fresh.length) return;
  await ask('add', {files: fresh.map((p) => [p.id, p.file])});
  for (const entry of fresh) entry.facts = await ask('examine', {file: entry.id});
  makePlan();
}

// The set among the files: its container and recovery files (told apart by their contents), its
// pieces (by their names and sizes), and what is missing or extra.
function makePlan() {
  const groups = new Map();
  for (const p of picked) {
    if (p.facts.kind === 'other') continue;
    if (!groups.has(p.facts.key)) groups.set(p.facts.key, []);
    groups.get(p.facts.key).push(p);
  }
  let best = null, bestScore = -1;
  for (const [key, members] of groups) {
    const sound = members.some((p) => p.facts.kind === 'container' && p.facts.block === 'sound');
    const described = members.some((p) => p.facts.block === 'sound');
    const score = (sound ? 4000 : 0) + (described ? 2000 : 0) + members.length;
    if (score > bestScore) best = key, bestScore = score;
  }
  plan = {found: [], missing: [], extra: [], notes: [], pieces: [], rows: [], container: null, facts: null};
  if (best === null) { showPlan(); return; }
  const members = groups.get(best);
  plan.facts = (members.find((p) => p.facts.block === 'sound') || members[0]).facts;
  const containers = members.filter((p) => p.facts.kind === 'container');
  plan.container = containers.find((p) => !renamedCopy(p.name)) || containers[0] || null;
  const rowSeen = new Map();
  for (const p of members.filter((m) => m.facts.kind === 'recovery').sort((a, b) => renamedCopy(a.name) - renamedCopy(b.name))) {
    if (rowSeen.has(p.facts.row)) { plan.notes.push(t('duplicate', p.name, rowSeen.get(p.facts.row).name)); continue; }
    rowSeen.set(p.facts.row, p);
    plan.rows.push(p);
  }
  const baseOf = (p) => {
    const match = p.name.match(p.facts && p.facts.kind === 'recovery' ? RecoveryName : ContainerName);
    return match ? match[1] : null;
  };
  const named = [plan.container, ...plan.rows].filter(Boolean).map(baseOf).find((b) => b !== null);
  plan.base = named ? named.replace(/\s*\(\d+\)$/, '') : headerName(plan.facts.name).replace(/\.[^.]*$/, '');
  // A container whose header is damaged is not of the group its recovery files make: it is
  // taken when its name is the set's.
  if (!plan.container) {
    plan.container = picked.find((p) => p.facts.kind === 'container' && p.facts.block !== 'sound' &&
                                        plainBase(baseOf(p) || '') === plainBase(plan.base)) || null;
  }
  const digests = plan.facts.block === 'sound';
  plan.count = digests ? plan.facts.pieces : 0;
  if (plan.count > PieceLimit) {
    plan.absurd = true;
    showPlan();
    return;
  }
  const expected = (n) => n === 0 ? PayloadOffset + plan.facts.first : n < plan.count - 1 ? plan.facts.pieceSize : plan.facts.last;
  const candidates = new Map();
  for (const p of picked) {
    const match = p.name.match(PieceName);
    if (!match || p === plan.container || p.facts.kind !== 'other') continue;
    const n = parseInt(match[2], 10);
    if (!candidates.has(n)) candidates.set(n, []);
    candidates.get(n).push({p, sameBase: plainBase(match[1]) === plainBase(plan.base)});
  }
  if (!digests) {  // no sizes to go by: the pieces of the set's base, up to the first gap
    plan.count = 1;
    while ((candidates.get(plan.count) || []).some((c) => c.sameBase)) plan.count++;
  }
  plan.pieces = [plan.container];
  const used = new Set([plan.container, ...plan.rows]);
  for (let n = 1; n < plan.count; n++) {
    const rank = (c) => (digests && c.p.file.size === expected(n) ? 4 : 0) + (c.sameBase ? 2 : 0) + (renamedCopy(c.p.name) ? 0 : 1);
    const list = (candidates.get(n) || []).filter((c) => c.sameBase || digests && c.p.file.size === expected(n)).sort((a, b) => rank(b) - rank(a));
    plan.pieces.push(list.length ? list[0].p : null);
    if (list.length) used.add(list[0].p);
    for (const c of list.slice(1)) { plan.notes.push(t('duplicate', c.p.name, list[0].p.name)); used.add(c.p); }
  }
  plan.missingCount = 0;
  for (let n = 0; n < plan.count; n++) {
    if (plan.pieces[n]) { plan.found.push(plan.pieces[n].name); continue; }
    let last = n;
    while (last + 1 < plan.count && !plan.pieces[last + 1]) last++;
    plan.missing.push(last - n >= 2 ? t('missingRun', pieceName(n), pieceName(last), last - n + 1) : pieceName(n));
    if (last === n + 1) plan.missing.push(pieceName(last));
    plan.missingCount += last - n + 1;
    n = last;
  }
  for (const p of plan.rows) plan.found.push(p.name);
  for (const p of picked) {
    if (used.has(p)) continue;
    if (p.facts.kind !== 'other') plan.notes.push(t('otherSet', p.name)); else plan.extra.push(p.name);
  }
  showPlan();
}

function pieceName(n) { return n === 0 ? plan.base + '.exe' : plan.base + '.c' + String(n).padStart(3, '0'); }
function rowName(r) { return plan.base + '.r' + String(r + 1).padStart(2, '0'); }

function addFact(label, value) {
  const dt = document.createElement('dt'), dd = document.createElement('dd');
  dt.textContent = label;
  dd.textContent = value;
  $('facts').append(dt, dd);
}

function showPlan() {
  show('plan', true);
  show('result', false);
  $('facts').textContent = '';
  $('plan-list').textContent = '';
  $('plan-title').textContent = t('planTitle');
  if (!plan.facts) {
    item('plan-list', t('noSet'), 'bad');
    if (plan.extra.length || picked.length) item('plan-list', t('extra', listNames(picked.map((p) => p.name))));
    $('check').disabled = true;
    return;
  }
  const facts = plan.facts;
  addFact(t('name'), headerName(facts.name));
  if (plan.absurd) {
    item('plan-list', t('absurd', number(facts.pieces)), 'bad');
    $('check').disabled = true;
    return;
  }
  addFact(t('size'), humanSize(facts.size) + (facts.size >= 1024 ? ' (' + number(facts.size) + ')' : ''));
  addFact(t('pieces'), plan.count ? t('piecesCount', plan.count, pieceName(0), plan.count - 1) : t('piecesUnknown'));
  if (plan.rows.length || facts.kind === 'recovery') addFact(t('recovery'), String(plan.rows.length) + (facts.rows ? ' / ' + facts.rows : ''));
  const created = fileTime(facts.times[0]), modified = fileTime(facts.times[2]);
  if (created && modified) addFact(t('times'), t('created', created) + ', ' + t('modified', modified));
  if (plan.found.length) item('plan-list', t('found', listNames(plan.found)));
  if (plan.missing.length) item('plan-list', t('missing', listNames(plan.missing)), 'bad');
  for (const note of plan.notes) item('plan-list', note);
  if (plan.extra.length) item('plan-list', t('extra', listNames(plan.extra)));
  if (facts.block !== 'sound') item('plan-list', t('noDigests'));
  const name = headerName(facts.name);
  if (plan.missingCount > plan.rows.length) {
    item('plan-list', t('cannotYet', listNames(plan.missing), plan.rows.length), 'bad');
  } else {
    item('plan-list', t('willCheck', plan.missing.length ? t('willRebuild', listNames(plan.missing)) : '', name));
  }
  $('check').disabled = false;
}

// ---- Checking and rebuilding ---------------------------------------------------------------------

function progressPhase(title, total) {
  show('work', true);
  $('work-title').textContent = title;
  const samples = [[performance.now(), 0]];
  let done = 0;
  const draw = () => {
    const now = performance.now();
    while (samples.length > 2 && now - samples[0][0] > 3000) samples.shift();
    const [then, before] = samples[0];
    const rate = (done - before) / Math.max(0.001, (now - then) / 1000);
    $('bar').style.width = Math.min(100, total ? 100 * done / total : 0).toFixed(1) + '%';
    $('work-text').textContent = t('rate', humanSize(Math.min(done, total)), humanSize(total), humanSize(Math.round(rate)), clock((total - done) / rate));
  };
  onProgress = (bytes) => { done += bytes; samples.push([performance.now(), done]); draw(); };
  draw();
  return () => { done = total; draw(); };
}

async function check() {
  $('check').disabled = true;
  show('result', false);
  const set = plan.pieces.map((p) => (p ? p.id : -1));
  const rows = plan.rows.map((p) => p.id);
  const total = plan.pieces.reduce((sum, p) => sum + (p ? p.file.size : 0), 0) + plan.rows.reduce((sum, p) => sum + p.file.size, 0);
  const finish = progressPhase(t('checking'), total);
  try {
    const found = await ask('check', {set, rows});
    finish();
    let repair = null;
    const rec = found.recovery;
    const lost = rec && rec.outcome === 'done' ? rec.files.filter((s) => s !== 'good' && s !== 'prefix_damaged').length : 0;
    if (lost > 0 && rec.repairable) {
      const done = progressPhase(t('repairing'), rec.repairBytes);
      repair = await ask('repair');
      done();
    }
    outcome = {found, repair};
    showResult();
  } catch (error) {
    fail(error);
  } finally {
    $('check').disabled = false;
  }
}

function fail(error) {
  show('work', false);
  show('result', true);
  $('findings').textContent = '';
  $('result-title').textContent = t('resultTitle');
  $('verdict').textContent = t('failed', error.message || error);
  $('verdict').className = 'bad';
  show('save-actions', false);
  startWorker().then(() => ask('add', {files: picked.map((p) => [p.id, p.file])}));
}

// What the check and the rebuild found, piece by piece, and whether the digests vouch for every
// byte of the joined file.
function showResult() {
  const {found, repair} = outcome;
  show('work', false);
  show('result', true);
  $('findings').textContent = '';
  $('result-title').textContent = t('resultTitle');
  const rec = found.recovery;
  const surveyed = rec && rec.outcome === 'done';
  const rebuilt = new Set(repair && repair.outcome === 'done' ? repair.rebuilt : []);
  let whole = found.pieces !== undefined;
  const sizeOf = (n) => (n === 0 ? PayloadOffset + found.first : n < found.pieces.length - 1 ? found.pieceSize : found.last);
  if (found.headerDamaged && found.header === 'recovery') item('findings', t('header', pieceName(0)), 'bad');
  if (found.program === 'damaged') item('findings', t('program', pieceName(0)), 'bad');
  for (let n = 0; whole !== false && found.pieces && n < found.pieces.length; n++) {
    const state = found.pieces[n];
    const vouched = state === 'good' || surveyed && (rec.files[n] === 'good' || rec.files[n] === 'prefix_damaged') || rebuilt.has(n);
    if (!vouched) whole = false;
    if (state === 'good') continue;
    const name = pieceName(n), p = plan.pieces[n];
    if (state === 'missing') item('findings', t('fileMissing', name), 'bad');
    else if (state === 'short' || state === 'long') item('findings', t(state, name, p.file.size, sizeOf(n)), 'bad');
    else if (state === 'damaged') item('findings', t('damaged', name), 'bad');
    else if (state === 'run_damaged') {
      const run = found.run, first = Math.floor(n / run) * run, last = Math.min(found.pieces.length - 1, first + run - 1);
      if (n === first || n === 0) item('findings', t('runDamaged', pieceName(first), pieceName(last)), 'bad');
    } else if (state === 'unreadable') item('findings', t('unread', name), 'bad');
    else if (state === 'unchecked' && !vouched) item('findings', t('unchecked', name), 'bad');
    if (rebuilt.has(n)) item('findings', t('rebuilt', name), 'good');
  }
  if (!found.pieces) whole = false;
  if (rec && rec.outcome === 'other_set') item('findings', t('otherRecovery'), 'bad');
  if (rec && rec.outcome === 'no_valid_file') item('findings', t('noRecovery'), 'bad');
  if (surveyed) {
    rec.rows.forEach((state, r) => {
      if (state === 'damaged') item('findings', t('rowBad', rowName(r)));
      if (state === 'missing' && plan.rows.length) item('findings', t('rowMissing', rowName(r)));
    });
  }
  let verdict, good = false;
  if (whole) {
    verdict = t(rebuilt.size ? 'completeRebuilt' : 'complete', headerName(found.name), number(found.size));
    good = true;
  } else if (surveyed && !rec.repairable) {
    verdict = t('notRepairable', rec.lost, rec.goodRows);
  } else if (repair && repair.outcome !== 'done') {
    verdict = t('repairFailed', repair.outcome);
  } else if (!found.pieces && found.header !== 'none') {
    verdict = plainSizes(found) ? t('unchecked') : t('missingSet');
  } else {
    verdict = found.pieces && found.pieces.includes('missing') && !found.pieces.some((s) => /damaged|short|long/.test(s)) ? t('missingSet') : t('damagedSet');
  }
  $('verdict').textContent = verdict;
  $('verdict').className = good ? 'good' : 'bad';
  offerSave(good || (!found.pieces && plainSizes(found)), found);
}

// A set without digests: its pieces' data adds up to the header's size.
function plainSizes(found) {
  if (found.size < 0 || plan.pieces.some((p) => !p)) return false;
  const data = plan.pieces.reduce((sum, p, n) => sum + p.file.size - (n === 0 ? PayloadOffset : 0), 0);
  return data === found.size;
}

// ---- Saving --------------------------------------------------------------------------------------

// The joined file as parts: slices of the picked files, and the rebuilt bytes where a piece was
// rebuilt. Nothing is copied into this page's memory.
function joinedParts(found) {
  const parts = [];
  const kept = outcome.repair && outcome.repair.kept || {};
  const count = found.pieces ? found.pieces.length : plan.pieces.length;
  for (let n = 0; n < count; n++) {
    const p = plan.pieces[n];
    const base = n === 0 ? PayloadOffset : 0;
    const end = found.pieces ? base + (n === 0 ? found.first : n < count - 1 ? found.pieceSize : found.last) : p.file.size;
    let at = base;
    for (const part of kept[n] || []) {
      if (part.start > at) parts.push(p.file.slice(at, part.start));
      const from = Math.max(part.start, at), to = Math.min(part.end, end);
      if (to > from) parts.push(part.blob.slice(from - part.start, to - part.start));
      at = Math.max(at, to);
    }
    if (at < end) parts.push(p.file.slice(at, end));
  }
  return parts;
}

function offerSave(allowed, found) {
  show('save-actions', allowed);
  $('save-note').textContent = '';
  $('times-note').textContent = '';
  if (!allowed) return;
  const name = headerName(found.name);
  const created = fileTime(found.times[0]), modified = fileTime(found.times[2]);
  if (created && modified) $('times-note').textContent = t('timesNote', created, modified);
  let blob = null;
  try {
    blob = new Blob(joinedParts(found), {type: 'application/octet-stream'});
    if (blob.size !== found.size) blob = null;
  } catch (error) {
    blob = null;
  }
  const picker = typeof window.showSaveFilePicker === 'function';
  if (!blob && !picker) {
    show('save-actions', false);
    $('save-note').textContent = t('tooLarge', humanSize(found.size));
    return;
  }
  $('save').textContent = picker ? t('saveAs', name) : t('download', name);
  $('save').onclick = () => (picker ? saveWithPicker(name, found) : download(name, blob));
  $('download').hidden = !picker || !blob;
  $('download').textContent = t('downloadInstead');
  $('download').onclick = () => download(name, blob);
  $('save-note').textContent = picker ? t('savePicker') : t('saveDownload');
}

async function saveWithPicker(name, found) {
  let handle;
  try {
    handle = await window.showSaveFilePicker({suggestedName: name});
  } catch (error) {
    if (error.name !== 'AbortError') $('save-note').textContent = t('saveFailed', error.message);
    return;
  }
  const writable = await handle.createWritable();
  const finish = progressPhase(t('saving'), found.size);
  try {
    for (const part of joinedParts(found)) {
      await writable.write(part);
      onProgress(part.size);
    }
    await writable.close();
    finish();
    $('save-note').textContent = t('saved', name);
  } catch (error) {
    await writable.abort().catch(() => {});
    $('save-note').textContent = t('saveFailed', error.message);
  }
}

function download(name, blob) {
  const link = document.createElement('a');
  link.href = URL.createObjectURL(blob);
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  $('save-note').textContent = t('downloadStarted', name);
}

// ---- Picking and dropping ------------------------------------------------------------------------

// Every file under a dropped folder.
async function entries(entry) {
  if (entry.isFile) return [await new Promise((resolve, reject) => entry.file(resolve, reject))];
  const reader = entry.createReader(), files = [];
  for (;;) {
    const batch = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
    if (!batch.length) return files;
    for (const child of batch) files.push(...await entries(child));
  }
}

async function dropped(event) {
  event.preventDefault();
  $('drop').classList.remove('over');
  const items = [...(event.dataTransfer.items || [])].map((i) => i.webkitGetAsEntry && i.webkitGetAsEntry()).filter(Boolean);
  const files = items.length ? (await Promise.all(items.map(entries))).flat() : [...event.dataTransfer.files];
  await addFiles(files).catch(fail);
}

function setUp() {
  document.documentElement.lang = language;
  $('subtitle').textContent = '— ' + t('subtitle');
  const about = document.getElementById('set');
  const set = about ? JSON.parse(about.textContent) : null;
  if (set) {
    const names = [set.base + '.exe'];
    const run = (first, last, count) => (count > 2 ? first + ' … ' + last : count > 1 ? first + ', ' + last : first);
    if (set.pieces > 1) names.push(run(set.base + '.c001', set.base + '.c' + String(set.pieces - 1).padStart(3, '0'), set.pieces - 1));
    if (set.recovery > 0) names.push(run(set.base + '.r01', set.base + '.r' + String(set.recovery).padStart(2, '0'), set.recovery));
    $('lead').textContent = t('leadSet', set.name, humanSize(set.size), names.join(', '));
    document.title = set.name + ' — Tarnovell';
  } else {
    $('lead').textContent = t('leadAny');
  }
  $('drop-text').textContent = t('drop');
  $('pick-files-label').textContent = t('pickFiles');
  $('pick-folder-label').textContent = t('pickFolder');
  $('check').textContent = t('check');
  $('clear').textContent = t('clear');
  for (const id of ['pick-files', 'pick-folder']) {
    $(id).addEventListener('change', (event) => { addFiles([...event.target.files]).catch(fail); event.target.value = ''; });
  }
  const drop = $('drop');
  drop.addEventListener('dragover', (event) => { event.preventDefault(); drop.classList.add('over'); });
  drop.addEventListener('dragleave', () => drop.classList.remove('over'));
  drop.addEventListener('drop', dropped);
  document.addEventListener('dragover', (event) => event.preventDefault());
  document.addEventListener('drop', (event) => { if (!drop.contains(event.target)) dropped(event); });
  $('check').addEventListener('click', check);
  $('clear').addEventListener('click', () => { location.reload(); });
  startWorker().then(() => {
    $('footer').textContent = t('footer', simdPresent ? t('simd') : t('noSimd'));
    document.body.dataset.ready = '1';
  }, fail);
}

setUp();
