// The engine and its reading, for the page's worker and, where no worker can
// start, for the page itself. The module reads through `read_at`, which
// starts an asynchronous read of the File and suspends the module until the
// bytes are there (by the browser, JSPI, or by the module itself, asyncify),
// so that a file of any size is read piece by piece with bounded memory.
'use strict';

// The file is read in slices of this size, at most AHEAD_PIECES of them at
// once ahead of the engine, while the engine works on what it has: large
// reads are much faster than small ones, and reading overlaps the
// checksums. Slices keep memory bounded in every browser, where a Blob's
// stream may queue the whole file or hand it on in small pieces.
const PIECE_BYTES = 4 * 1024 * 1024;
const AHEAD_PIECES = 3;
const PROGRESS_MS = 100;
const YIELD_BYTES = 1024 * 1024;

// Reads a slice of a Blob: its bytes, fewer at the end of a file that
// shrank; rejects when the browser cannot read it.
function readSlice(file, pos, end) {
  return file.slice(pos, end).arrayBuffer().then((b) => new Uint8Array(b));
}

// Reads a File by position, slice by slice, reading ahead of the engine. The
// previous slice is kept, since the engine's window steps back a little in
// front of each new fill. `fetch(pos, end)` reads a slice; `fallback`, when
// given, is tried once the first fetch fails (the page reading the slice
// for the worker), and is used from then on if it works.
class FileSource {
  constructor(file, fetch, fallback = null) {
    this.file = file;
    this.fetch = fetch;
    this.fallback = fallback;
    this.queue = [];
    this.kept = null;
    this.next = 0;
    this.failed = false;
    this.closed = false;
    this.served = 0;  // bytes handed on since the reads last let other tasks run
  }

  close() {
    this.closed = true;
    this.queue = [];
    this.kept = null;
  }

  piece(pos) {
    const end = Math.min(pos + PIECE_BYTES, this.file.size);
    const p = {pos, end, bytes: null, error: null};
    p.ready = this.fetchWithFallback(pos, end).then(
        (bytes) => { p.bytes = bytes; }, (e) => { p.error = e || new Error('read failed'); });
    return p;
  }

  // Slices are read several at once: each falls back by the ways it was
  // started with, whatever the others found meanwhile.
  async fetchWithFallback(pos, end) {
    const {fetch, fallback} = this;
    try {
      return await fetch(pos, end);
    } catch (e) {
      if (!fallback) throw e;
      const bytes = await fallback(pos, end);
      this.fetch = fallback;
      this.fallback = null;
      return bytes;
    }
  }

  topUp() {
    while (!this.closed && this.queue.length < AHEAD_PIECES && this.next < this.file.size) {
      const p = this.piece(this.next);
      this.queue.push(p);
      this.next = p.end;
    }
  }

  // The slice that holds `pos`, reading from there anew after a jump.
  find(pos) {
    if (this.kept && pos >= this.kept.pos && pos < this.kept.end) return this.kept;
    const i = this.queue.findIndex((p) => pos >= p.pos && pos < p.end);
    if (i < 0) {
      this.queue = [];
      this.kept = null;
      this.next = pos;
      this.topUp();
      return this.queue[0];
    }
    // Slices in front of it are done with.
    if (i > 0) this.queue.splice(0, i);
    return this.queue[0];
  }

  // Reads up to `count` bytes at `pos` into the module's memory at `out`.
  // Returns the count read, or -(bytes read + 1) when a read failed.
  async read(memory, pos, out, count) {
    let done = 0;
    while (done < count && pos < this.file.size && !this.closed) {
      const p = this.find(pos);
      if (p !== this.kept) {
        if (!p.bytes && !p.error) this.served = 0;
        await p.ready;
        if (p.error) {
          this.failed = true;
          return -(done + 1);
        }
        // The slice is handed on: it becomes the kept one and the next is
        // asked for.
        if (this.queue[0] === p) this.queue.shift();
        this.kept = p;
        this.topUp();
      }
      const at = pos - p.pos;
      // A file that shrank gives fewer bytes: it reads as ending there.
      if (at >= p.bytes.length) break;
      const n = Math.min(count - done, p.bytes.length - at);
      new Uint8Array(memory.buffer, out + done, n).set(p.bytes.subarray(at, at + n));
      done += n;
      pos += n;
      if (p.bytes.length < p.end - p.pos && pos >= p.pos + p.bytes.length) break;
    }
    // Lets the page's or worker's other tasks run while the engine works:
    // waiting for a slice does; bytes that were there already do not, so
    // every YIELD_BYTES the read goes to the back of the queue of tasks.
    this.served += done;
    if (this.served >= YIELD_BYTES) {
      this.served = 0;
      await yieldToTasks();
    }
    return done;
  }
}

// A source whose every read fails: what the page checks in place of a file
// whose check failed in the browser, so that its result has the shape of a
// file that cannot be read.
class FailingSource {
  constructor(file) {
    this.file = file;
    this.failed = true;
  }
  close() {}
  async read() {
    return -1;
  }
}

// Lets the pending tasks run: awaiting a promise that has already settled
// would go on at once, and the page (or worker) would not answer while the
// engine works.
const yieldChannel = new MessageChannel();
const yieldWaiters = [];
yieldChannel.port1.onmessage = () => yieldWaiters.shift()();
function yieldToTasks() {
  return new Promise((resolve) => {
    yieldWaiters.push(resolve);
    yieldChannel.port2.postMessage(0);
  });
}

// Stubs for the few system calls that the C library links but the module
// never makes: the engine writes no trace here and opens no files.
function systemStubs(module) {
  const stubs = {};
  for (const i of WebAssembly.Module.imports(module)) {
    if (i.module === 'wasi_snapshot_preview1') stubs[i.name] = () => 52;  // ENOSYS
  }
  return stubs;
}

// One instance of the module, suspended in `read_at` by JSPI or asyncify.
class Engine {
  static async create(module, jspi) {
    const engine = new Engine(jspi);
    const {read, progress} = engine.imports();
    const instance = await WebAssembly.instantiate(module, {
      quorvex: {read_at: read, progress},
      wasi_snapshot_preview1: systemStubs(module),
    });
    engine.start(instance);
    return engine;
  }

  constructor(jspi) {
    this.jspi = jspi;
    this.source = null;
    this.onProgress = () => {};
    this.unwinding = false;
    this.rewinding = false;
    this.pending = null;
    this.result = 0;
  }

  imports() {
    return {
      read: this.jspi ? new WebAssembly.Suspending((pos, out, count) => this.read(pos, out, count))
                      : (pos, out, count) => this.readAt(pos, out, count),
      progress: (done, total) => this.onProgress(done, total),
    };
  }

  start(instance) {
    this.x = instance.exports;
    this.x._initialize();
    this.checkPromising = this.jspi ? WebAssembly.promising(this.x.qv_check) : null;
    this.stack = this.x.qv_suspend_stack();
    this.stackSize = this.x.qv_suspend_stack_size();
  }

  read(pos, out, count) {
    return this.source.read(this.x.memory, pos, out, count).catch(() => {
      this.source.failed = true;
      return -1;
    });
  }

  // The asyncify protocol: the first call starts the read and unwinds the
  // module's stack; once the read is done, `run` rewinds it and this call
  // returns the count.
  readAt(pos, out, count) {
    if (this.rewinding) {
      this.x.asyncify_stop_rewind();
      this.rewinding = false;
      return this.result;
    }
    const frame = new Int32Array(this.x.memory.buffer, this.stack, 2);
    frame[0] = this.stack + 8;
    frame[1] = this.stack + this.stackSize;
    this.pending = this.read(pos, out, count);
    this.x.asyncify_start_unwind(this.stack);
    this.unwinding = true;
    return 0;
  }

  // Calls `call` again after every suspension until it returns for good.
  async run(call) {
    call();
    while (this.unwinding) {
      this.x.asyncify_stop_unwind();
      this.unwinding = false;
      this.result = await this.pending;
      this.rewinding = true;
      this.x.asyncify_start_rewind(this.stack);
      call();
    }
  }

  setInput(text) {
    const bytes = new TextEncoder().encode(text);
    const at = this.x.qv_input(bytes.length);
    new Uint8Array(this.x.memory.buffer, at, bytes.length).set(bytes);
  }

  text(at, size) {
    return new TextDecoder().decode(new Uint8Array(this.x.memory.buffer, at, size));
  }

  output() {
    return this.text(this.x.qv_output(), this.x.qv_output_size());
  }

  // Checks `source` (a FileSource or FailingSource) as the file at `path`.
  async check(path, source, onProgress = () => {}, hash = false) {
    this.source = source;
    this.onProgress = onProgress;
    this.setInput(path);
    try {
      if (this.jspi) await this.checkPromising(source.file.size, hash ? 1 : 0);
      else await this.run(() => this.x.qv_check(source.file.size, hash ? 1 : 0));
    } finally {
      source.close();
      this.source = null;
    }
    const count = this.x.qv_bin_count();
    const bins = Array.from(new Float32Array(this.x.memory.buffer, this.x.qv_bins(), count));
    const json = this.output();
    const outcome = this.x.qv_outcome();
    const detail = this.text(this.x.qv_detail(), this.x.qv_detail_size());
    this.x.qv_section();
    const section = {text: this.output(), status: this.x.qv_section_status()};
    return {json, bins, readFailed: source.failed, outcome, detail, section};
  }

  // The case report of the given files' parts, by the same writer as
  // quorvex-check --report.
  caseReport(details, sections, ended) {
    this.setInput(details.join('\0'));
    this.x.qv_report_begin();
    for (const s of sections) {
      this.setInput(s.text);
      this.x.qv_report_add(s.status, s.skipped ? 1 : 0);
    }
    this.setInput(ended);
    this.x.qv_report_end();
    return this.output();
  }

  // The summary's words for each outcome, in the summary line's order.
  outcomeWords() {
    const words = [];
    for (let i = 0; i < this.x.qv_outcome_count(); ++i) {
      const at = this.x.qv_outcome_words(i);
      const bytes = new Uint8Array(this.x.memory.buffer, at);
      words.push(new TextDecoder().decode(bytes.subarray(0, bytes.indexOf(0))));
    }
    return words;
  }

  joinArray(elements) {
    this.x.qv_array_reset();
    for (const e of elements) {
      this.setInput(e);
      this.x.qv_array_add();
    }
    this.x.qv_array_close();
    return this.output();
  }
}

// In the worker: checks one file at a time for the page. Reads go to the
// File straight away; where the browser refuses that in a worker (WebKit,
// for a worker of a page opened from disk), the page reads the slices and
// posts their bytes, and the worker asks it from then on.
if (typeof WorkerGlobalScope !== 'undefined' && self instanceof WorkerGlobalScope) {
  // The engine's instance, once made: a message may come in before.
  let engine = null;
  let module = null;
  let jspi = false;
  let throughPage = false;
  const sliceWaiters = new Map();
  let nextSlice = 1;

  const pageSlice = (id) => (pos, end) => new Promise((resolve, reject) => {
    const req = nextSlice++;
    sliceWaiters.set(req, {resolve, reject});
    self.postMessage({type: 'slice', id, req, pos, end});
  });

  self.onmessage = async (event) => {
    const m = event.data;
    if (m.type === 'init') {
      module = m.module;
      jspi = m.jspi && typeof WebAssembly.Suspending === 'function';
      engine = Engine.create(module, jspi);
      await engine;
      self.postMessage({type: 'ready'});
    } else if (m.type === 'slice') {
      const w = sliceWaiters.get(m.req);
      sliceWaiters.delete(m.req);
      if (w && m.bytes) w.resolve(new Uint8Array(m.bytes));
      else if (w) w.reject(new Error(m.error || 'read failed'));
    } else if (m.type === 'check') {
      let last = 0;
      const progress = (done, total) => {
        const now = performance.now();
        if (now - last < PROGRESS_MS) return;
        last = now;
        self.postMessage({type: 'progress', id: m.id, done, total});
      };
      const source = throughPage ? new FileSource(m.file, pageSlice(m.id))
                                 : new FileSource(m.file, (pos, end) => readSlice(m.file, pos, end),
                                                  pageSlice(m.id));
      try {
        if (m.fail) throw new Error(m.fail);
        const result = await (await engine).check(m.path, source, progress, m.hash);
        if (!throughPage && source.fallback === null) {
          throughPage = true;
          self.postMessage({type: 'read-path', path: 'page'});
        }
        self.postMessage({type: 'result', id: m.id, ...result});
      } catch (e) {
        // An exception or a trap in the module: this file's check ends with
        // it, and a fresh instance checks the next.
        self.postMessage({type: 'failed', id: m.id, message: String(e && e.message || e)});
        engine = Engine.create(module, jspi);
      }
    }
  };
}
