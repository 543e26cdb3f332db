// The page's worker: runs the engine module over one File at a time. The
// module reads through `read_at`, which starts an asynchronous read of the
// File and suspends the module until the bytes are there (by the browser,
// JSPI, or by the module itself, asyncify), so that a file of any size is
// read piece by piece with bounded memory.
'use strict';

// Bytes kept from just behind the stream's position: the engine's window
// steps back a little in front of each new fill.
const KEEP_BYTES = 64 * 1024;
// A jump forward up to this far reads on; a longer one opens a new stream.
const SKIP_LIMIT = 4 * 1024 * 1024;
// The stream is read ahead of the engine in pieces of this size, at most
// AHEAD_PIECES of them, while the engine works on what it has: large reads
// are much faster than small ones, and reading overlaps the checksums.
const PIECE_BYTES = 4 * 1024 * 1024;
const AHEAD_PIECES = 3;
const PROGRESS_MS = 100;

// Reads a File by position: sequentially from one Blob stream, read ahead in
// large BYOB reads into reused buffers where the browser offers them, and a
// new stream from a slice after a jump. Memory stays bounded by the pieces
// read ahead, whatever the size of the file.
class FileSource {
  constructor(file) {
    this.file = file;
    this.stream = null;
    this.streamPos = 0;
    this.kept = new Uint8Array(KEEP_BYTES);
    this.keptLen = 0;
    this.spare = [];
    this.failed = false;
  }

  // Stops reading the current stream, and lets its reading ahead end.
  close() {
    const st = this.stream;
    if (!st) return;
    st.closed = true;
    st.pieces = [];
    if (st.filling) st.filling();
    this.stream = null;
  }

  open(pos) {
    this.close();
    const body = this.file.slice(pos).stream();
    let reader;
    let byob = true;
    try {
      reader = body.getReader({mode: 'byob'});
    } catch (e) {
      reader = body.getReader();
      byob = false;
    }
    // Pieces read and not yet handed on; `ended` once the stream is done.
    this.stream = {reader, byob, pieces: [], ended: false, closed: false, wake: null,
                   filling: null};
    this.streamPos = pos;
    this.keptLen = 0;
    this.fill(this.stream);
  }

  // Reads pieces ahead until AHEAD_PIECES wait or the stream ends.
  async fill(st) {
    try {
      while (!st.closed && !st.ended) {
        if (st.pieces.length >= AHEAD_PIECES) {
          await new Promise((resolve) => { st.filling = resolve; });
          continue;
        }
        let value;
        let done;
        if (st.byob) {
          const buffer = this.spare.pop() || new ArrayBuffer(PIECE_BYTES);
          ({value, done} = await st.reader.read(new Uint8Array(buffer, 0, PIECE_BYTES)));
        } else {
          ({value, done} = await st.reader.read());
        }
        if (done || !value) st.ended = true;
        else st.pieces.push(value);
        if (st.wake) st.wake();
      }
    } catch (e) {
      this.failed = true;
      st.ended = true;
      if (st.wake) st.wake();
    }
    if (st.closed) st.reader.cancel().catch(() => {});
  }

  keep(bytes) {
    if (bytes.length >= KEEP_BYTES) {
      this.kept.set(bytes.subarray(bytes.length - KEEP_BYTES));
      this.keptLen = KEEP_BYTES;
      return;
    }
    const old = Math.min(this.keptLen, KEEP_BYTES - bytes.length);
    this.kept.copyWithin(0, this.keptLen - old, this.keptLen);
    this.kept.set(bytes, old);
    this.keptLen = old + bytes.length;
  }

  // The next bytes of the stream, at most `want`; empty at its end. The
  // bytes stay valid until the next call.
  async pull(want) {
    const st = this.stream;
    while (st.pieces.length === 0 && !st.ended) {
      await new Promise((resolve) => { st.wake = resolve; });
      st.wake = null;
    }
    if (st.pieces.length === 0) return new Uint8Array(0);
    const piece = st.pieces[0];
    const bytes = piece.subarray(0, want);
    if (bytes.length < piece.length) {
      st.pieces[0] = piece.subarray(bytes.length);
    } else {
      st.pieces.shift();
      if (st.byob && piece.buffer.byteLength === PIECE_BYTES) this.spareLater = piece.buffer;
      if (st.filling) {
        st.filling();
        st.filling = null;
      }
    }
    this.keep(bytes);
    this.streamPos += bytes.length;
    return bytes;
  }

  // Reads up to `count` bytes at `pos` into the module's memory at `out`.
  async read(memory, pos, out, count) {
    await yieldToTasks();
    let done = 0;
    const behind = this.streamPos - pos;
    if (this.stream && behind > 0 && behind <= this.keptLen) {
      const n = Math.min(count, behind);
      const from = this.keptLen - behind;
      new Uint8Array(memory.buffer, out, n).set(this.kept.subarray(from, from + n));
      done = n;
      pos += n;
    }
    if (done === count) return done;
    if (!this.stream || pos < this.streamPos || pos - this.streamPos > SKIP_LIMIT) this.open(pos);
    while (this.streamPos < pos) {
      if ((await this.pull(pos - this.streamPos)).length === 0) return done;
      this.recycle();
    }
    while (done < count) {
      const bytes = await this.pull(count - done);
      if (bytes.length === 0) break;
      new Uint8Array(memory.buffer, out + done, bytes.length).set(bytes);
      done += bytes.length;
      this.recycle();
    }
    // A stream that broke off (the file was changed or removed, or the
    // disk failed) is a read error, told to the module as -(bytes read + 1).
    return this.failed && done < count ? -(done + 1) : done;
  }

  // A piece handed on whole goes back to be read into again.
  recycle() {
    if (this.spareLater) {
      this.spare.push(this.spareLater);
      this.spareLater = null;
    }
  }
}

// Lets the worker's pending tasks run, among them the delivery of the
// stream's data: awaiting a promise that has already settled would go on at
// once, and the reading ahead would stall while the engine works.
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
  constructor(module, jspi) {
    this.jspi = jspi;
    this.source = null;
    this.onProgress = () => {};
    this.unwinding = false;
    this.rewinding = false;
    this.pending = null;
    this.result = 0;
    this.instance = new WebAssembly.Instance(module, {
      quorvex: {
        read_at: jspi ? new WebAssembly.Suspending(
                            (pos, out, count) => this.read(pos, out, count))
                      : (pos, out, count) => this.readAt(pos, out, count),
        progress: (done, total) => this.onProgress(done, total),
      },
      wasi_snapshot_preview1: systemStubs(module),
    });
    this.x = this.instance.exports;
    this.x._initialize();
    this.checkPromising = jspi ? WebAssembly.promising(this.x.qv_check) : null;
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

  output() {
    const bytes = new Uint8Array(this.x.memory.buffer, this.x.qv_output(), this.x.qv_output_size());
    return new TextDecoder().decode(bytes);
  }

  async check(file, onProgress) {
    this.source = new FileSource(file);
    this.onProgress = onProgress;
    this.setInput(file.name);
    if (this.jspi) await this.checkPromising(file.size);
    else await this.run(() => this.x.qv_check(file.size));
    const count = this.x.qv_bin_count();
    const bins = Array.from(new Float32Array(this.x.memory.buffer, this.x.qv_bins(), count));
    const failed = this.source.failed;
    this.source.close();
    this.source = null;
    const json = this.output();
    this.x.qv_section();
    const section = {text: this.output(), status: this.x.qv_section_status()};
    return {json, bins, readFailed: failed, section};
  }

  // The case report of the given files' parts, by the same writer as
  // quorvex-check --report.
  caseReport(details, sections, ended) {
    this.setInput(details.join('\0'));
    this.x.qv_report_begin();
    for (const s of sections) {
      this.setInput(s.text);
      this.x.qv_report_add(s.status);
    }
    this.setInput(ended);
    this.x.qv_report_end();
    return this.output();
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

let engine = null;
let joiner = null;

self.onmessage = async (event) => {
  const m = event.data;
  if (m.type === 'init') {
    const jspi = m.jspi && typeof WebAssembly.Suspending === 'function';
    engine = new Engine(m.module, jspi);
    joiner = new Engine(m.module, jspi);
    self.postMessage({type: 'ready'});
  } else if (m.type === 'check') {
    let last = 0;
    const progress = (done, total) => {
      const now = performance.now();
      if (now - last < PROGRESS_MS) return;
      last = now;
      self.postMessage({type: 'progress', id: m.id, done, total});
    };
    const result = await engine.check(m.file, progress);
    self.postMessage({type: 'result', id: m.id, ...result});
  } else if (m.type === 'report') {
    self.postMessage({type: 'joined', id: m.id,
                      text: joiner.caseReport(m.details, m.sections, m.ended)});
  } else if (m.type === 'join') {
    self.postMessage({type: 'joined', id: m.id, text: joiner.joinArray(m.elements)});
  }
};
