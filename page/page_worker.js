// The page's worker: it holds the WebAssembly core (wasm/page_core.cpp) and gives it the picked
// files. The core's reads are synchronous C++ calls; a read whose bytes are not here yet
// suspends the call (Binaryen's asyncify: the stack is unwound into a buffer), the bytes are
// fetched, and the call is resumed where it stopped. Reads that follow one another are fetched
// ahead, several at a time, so the core rarely waits. Bytes are read into buffers that are used
// again (a stream reader that fills the caller's buffer), so that reading a set of any size
// leaves no garbage behind: a fresh buffer per read piles up faster than it is collected.
'use strict';

const AsyncifyRoom = 1 << 16;        // the unwound stack's room
const AheadBudget = 64 << 20;        // bytes fetched ahead, at most
const AheadBlock = 8 << 20;          // bytes of a file fetched at once
const AheadDepth = 3;                // blocks fetched ahead of a file's last read
const RebuiltFiles = 1 << 20;        // ids of rebuilt files: RebuiltFiles + n

let memory, core, asyncifyData;
let unwinding = false, rewinding = false, waiting = null, resumed = 0;
const files = new Map();             // id -> Blob (a picked File)
const kept = new Map();              // rebuilt id -> [{start, end, blob}], sorted, not overlapping
let ahead = [];                      // {id, offset, length, promise, bytes}
const lastEnd = new Map();           // id -> where its last read ended
let handled = 0, told = 0, toldAt = 0;

const bytesOf = (pointer, length) => new Uint8Array(memory.buffer, pointer, length);

const spare = [];   // buffers read into before, to be used again
let byob = true;    // the browser's Blob streams fill the caller's buffer
// The readers at work. Nothing else holds them (a read waits on a reader that only its own
// pending read refers to), and a browser may collect such a reader, its read never to end.
const reading = new Set();

function takeBuffer(length) {
  const at = spare.findIndex((buffer) => buffer.byteLength >= length && buffer.byteLength <= 2 * length);
  return at >= 0 ? spare.splice(at, 1)[0] : new ArrayBuffer(length);
}
function giveBack(bytes) {
  if (spare.length < 6) spare.push(bytes.buffer);
}

async function fetchRange(id, offset, length) {
  if (id >= RebuiltFiles) return readKept(id, offset, length);
  const blob = files.get(id).slice(offset, offset + length);
  let reader = null;
  try {
    if (byob) reader = blob.stream().getReader({mode: 'byob'});
  } catch (error) {
    byob = false;
  }
  if (!reader) return new Uint8Array(await blob.arrayBuffer());
  let buffer = takeBuffer(length), filled = 0;
  reading.add(reader);
  try {
    while (filled < length) {
      const {done, value} = await reader.read(new Uint8Array(buffer, filled, length - filled));
      if (value) buffer = value.buffer;
      if (done) break;
      filled += value.byteLength;
    }
  } finally {
    reading.delete(reader);
  }
  if (filled !== length) throw new Error('the file ended early');
  return new Uint8Array(buffer, 0, length);
}

// Bytes of a rebuilt file from the parts kept of it; every byte asked for was written.
async function readKept(id, offset, length) {
  const out = new Uint8Array(length);
  let filled = 0;
  for (const part of kept.get(id) || []) {
    const from = Math.max(part.start, offset), to = Math.min(part.end, offset + length);
    if (from >= to) continue;
    const buffer = await part.blob.slice(from - part.start, to - part.start).arrayBuffer();
    out.set(new Uint8Array(buffer), from - offset);
    filled += to - from;
  }
  if (filled !== length) throw new Error('rebuilt bytes missing');
  return out;
}

function aheadBytes() { return ahead.reduce((sum, entry) => sum + entry.length, 0); }

// Blocks of a file from offset on, as far as the depth and the budget allow, after those asked
// for already.
function fetchAhead(id, offset, size) {
  let at = offset;
  for (let entry; (entry = ahead.find((e) => e.id === id && e.offset <= at && at < e.offset + e.length));)
    at = entry.offset + entry.length;
  while (at < size && at < offset + AheadDepth * AheadBlock && aheadBytes() + AheadBlock <= AheadBudget) {
    const entry = {id, offset: at, length: Math.min(AheadBlock, size - at), bytes: null};
    entry.promise = fetchRange(id, at, entry.length).then((bytes) => { entry.bytes = bytes; return bytes; });
    entry.promise.catch(() => {});
    ahead.push(entry);
    at += entry.length;
  }
}

function sizeOf(id) { return id >= RebuiltFiles ? Infinity : files.get(id).size; }

// The core's read: 1 when the bytes are in its memory, 0 when they could not be read.
function read(id, pointer, count, offset) {
  if (rewinding) {
    core.asyncify_stop_rewind();
    rewinding = false;
    return resumed;
  }
  const sequential = lastEnd.get(id) === offset;
  lastEnd.set(id, offset + count);
  // Entries behind this read, or of a file read elsewhere now, are of no more use.
  ahead = ahead.filter((e) => {
    const behind = e.id === id && e.offset + e.length <= offset;
    if (behind) e.promise.then(giveBack, () => {});
    return !behind;
  });
  const entry = ahead.find((e) => e.id === id && e.offset <= offset && offset + count <= e.offset + e.length);
  let pending;
  if (entry && entry.bytes) {
    bytesOf(pointer, count).set(entry.bytes.subarray(offset - entry.offset, offset - entry.offset + count));
    if (offset + count === entry.offset + entry.length) {
      ahead.splice(ahead.indexOf(entry), 1);
      giveBack(entry.bytes);
    }
    if (sequential && id < RebuiltFiles) fetchAhead(id, offset + count, sizeOf(id));
    return 1;
  }
  const used = entry && offset + count === entry.offset + entry.length;
  if (used) ahead.splice(ahead.indexOf(entry), 1);
  pending = entry ? entry.promise.then((bytes) => bytes.subarray(offset - entry.offset, offset - entry.offset + count))
                  : fetchRange(id, offset, count);
  if (sequential && id < RebuiltFiles) fetchAhead(id, offset + count, sizeOf(id));
  waiting = pending.then((bytes) => {
    bytesOf(pointer, count).set(bytes);
    if (!entry || used) giveBack(bytes);
    return 1;
  }, () => 0);
  const room = new Int32Array(memory.buffer, asyncifyData, 2);
  room[0] = asyncifyData + 8;
  room[1] = asyncifyData + 8 + AsyncifyRoom;
  core.asyncify_start_unwind(asyncifyData);
  unwinding = true;
  return 0;
}

// The core's write of rebuilt bytes: kept as a Blob, which the browser may keep out of this
// process; a later write over the same bytes replaces them.
function write(id, pointer, count, offset) {
  const blob = new Blob([bytesOf(pointer, count).slice()]);
  const start = offset, end = offset + count;
  const parts = [];
  for (const part of kept.get(id) || []) {
    if (part.end <= start || part.start >= end) { parts.push(part); continue; }
    if (part.start < start) parts.push({start: part.start, end: start, blob: part.blob.slice(0, start - part.start)});
    if (part.end > end) parts.push({start: end, end: part.end, blob: part.blob.slice(end - part.start)});
  }
  parts.push({start, end, blob});
  parts.sort((a, b) => a.start - b.start);
  kept.set(id, parts);
  return 1;
}

function progress(count) {
  handled += count;
  const now = performance.now();
  if (now - toldAt >= 100) tellProgress(now);
}

function tellProgress(now) {
  if (handled === told) return;
  postMessage({op: 'progress', bytes: handled - told});
  told = handled;
  toldAt = now;
}

// Calls the core, suspending and resuming it while a read waits.
async function call(name, ...args) {
  for (;;) {
    core[name](...args);
    if (!unwinding) break;
    core.asyncify_stop_unwind();
    unwinding = false;
    resumed = await waiting;
    rewinding = true;
    core.asyncify_start_rewind(asyncifyData);
  }
  tellProgress(performance.now());
  const text = new TextDecoder().decode(bytesOf(core.page_result(), core.page_result_length()));
  return JSON.parse(text);
}

async function start(coreBytes, simdBytes) {
  memory = new WebAssembly.Memory({initial: 256, maximum: 65536});
  let simd = null;
  if (simdBytes && WebAssembly.validate(simdBytes)) {
    simd = (await WebAssembly.instantiate(simdBytes, {env: {memory}})).instance.exports;
  }
  const none = () => { throw new Error('no SIMD module'); };
  const imports = {
    env: {memory},
    page: {read, write, progress},
    simd: {crc32c: simd ? simd.crc32c : none, gf_encode: simd ? simd.gf_encode : none},
    wasi_snapshot_preview1: new Proxy({}, {get: (_, name) => () => { throw new Error('the core called ' + String(name)); }}),
  };
  core = (await WebAssembly.instantiate(coreBytes, imports)).instance.exports;
  core._initialize();
  core.page_use_simd(simd ? 1 : 0);
  asyncifyData = core.page_alloc(AsyncifyRoom + 8);
  return {simd: !!simd};
}

// Arrays for the core: 32-bit integers and doubles in its memory.
function ints(values) {
  const pointer = core.page_alloc(Math.max(4, values.length * 4));
  new Int32Array(memory.buffer, pointer, values.length).set(values);
  return pointer;
}
function doubles(values) {
  const pointer = core.page_alloc(Math.max(8, values.length * 8));
  new Float64Array(memory.buffer, pointer, values.length).set(values);
  return pointer;
}

const ops = {
  start: (m) => start(m.core, m.simd),
  add(m) {
    for (const [id, file] of m.files) files.set(id, file);
    return {};
  },
  examine: (m) => call('page_examine', m.file, files.get(m.file).size),
  async check(m) {
    kept.clear();
    ahead = [];
    lastEnd.clear();
    const arrays = [ints(m.set), doubles(m.set.map((id) => (id < 0 ? 0 : files.get(id).size))),
                    ints(m.rows), doubles(m.rows.map((id) => files.get(id).size))];
    core.page_set(m.set.length, arrays[0], arrays[1], m.rows.length, arrays[2], arrays[3]);
    arrays.forEach((pointer) => core.page_free(pointer));
    return call('page_check');
  },
  async repair() {
    const result = await call('page_repair');
    result.kept = {};
    for (const [id, parts] of kept) result.kept[id - RebuiltFiles] = parts;
    return result;
  },
};

onmessage = async ({data}) => {
  try {
    postMessage({op: 'done', id: data.id, result: await ops[data.op](data)});
  } catch (error) {
    postMessage({op: 'failed', id: data.id, error: String(error && error.message || error)});
  }
};
