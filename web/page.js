// The page: one card per chosen file, checked one at a time by the engine in
// a worker. The results are the console program's JSON elements, made by the
// engine itself; the page only reads them.
'use strict';

// Each status's mark and words, from the engine's own status table (filled
// before the first worker starts).
let STATUS_WORDS = {};
async function statusWordsOf(module) {
  const stubs = {};
  for (const i of WebAssembly.Module.imports(module)) {
    if (i.module === 'wasi_snapshot_preview1') stubs[i.name] = () => 52;  // ENOSYS
  }
  const never = () => { throw new Error('the status table reads no file'); };
  const instance = await WebAssembly.instantiate(
      module, {quorvex: {read_at: never, progress: never}, wasi_snapshot_preview1: stubs});
  const x = instance.exports;
  x._initialize();
  x.qv_status_table();
  return JSON.parse(new TextDecoder().decode(
      new Uint8Array(x.memory.buffer, x.qv_output(), x.qv_output_size())));
}
const KIND_WORDS = {
  avi: 'Recording (AVI)', jpg: 'Snapshot (JPEG)', png: 'Snapshot (PNG)', bmp: 'Snapshot (BMP)',
  '': 'Unknown',
};

// The browser suspends the plain module itself where it can (JSPI); elsewhere
// the module built with asyncify suspends itself.
const jspi = typeof WebAssembly.Suspending === 'function' &&
             typeof WebAssembly.promising === 'function';
const wasmBytes = Uint8Array.from(
    atob(document.getElementById(jspi ? 'quorvex-wasm-jspi' : 'quorvex-wasm-asyncify')
             .textContent.trim()),
    (c) => c.charCodeAt(0));
const modulePromise = WebAssembly.compile(wasmBytes).then(async (module) => {
  STATUS_WORDS = await statusWordsOf(module);
  return module;
});
document.documentElement.dataset.suspension = jspi ? 'jspi' : 'asyncify';
const workerUrl = URL.createObjectURL(new Blob(
    [document.getElementById('quorvex-worker').textContent], {type: 'text/javascript'}));
// The engine on the page itself: it joins the results, gives the summary's
// words, and checks the files where no worker can start.
const pageEngine = modulePromise.then((module) => Engine.create(module, jspi));

const cardsList = document.getElementById('cards');
const saveButton = document.getElementById('save');
const saveReportButton = document.getElementById('save-report');
const hashInput = document.getElementById('report-hash');
const PAGE_VERSION = '/*VERSION*/';
const saveNote = document.getElementById('save-note');
const statusLine = document.getElementById('status');
const summaryLine = document.getElementById('summary');
const attention = document.getElementById('attention');
const onlyAttention = document.getElementById('only-attention');
const entries = [];  // every card in the order the files were chosen and walked
const waiting = [];
let running = null;
let worker = null;
let workerReady = null;
let workerStarted = false;  // a worker has answered once
let noWorker = false;       // none can start: the page checks the files itself
let nextId = 1;
let outcomeWords = null;

function el(tag, attrs = {}, ...children) {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(attrs)) {
    if (k === 'class') e.className = v;
    else if (k === 'text') e.textContent = v;
    else e.setAttribute(k, v);
  }
  for (const c of children) if (c != null) e.append(c);
  return e;
}

const svgNs = 'http://www.w3.org/2000/svg';
function svgEl(tag, attrs = {}, ...children) {
  const e = document.createElementNS(svgNs, tag);
  for (const [k, v] of Object.entries(attrs)) e.setAttribute(k, v);
  for (const c of children) e.append(c);
  return e;
}

function formatBytes(n) {
  const units = ['bytes', 'KB', 'MB', 'GB', 'TB'];
  let v = n;
  let u = 0;
  while (v >= 1000 && u < units.length - 1) {
    v /= 1000;
    u += 1;
  }
  const exact = `${n.toLocaleString('en-US')} bytes`;
  return u === 0 ? exact : `${exact} (${v.toFixed(2)} ${units[u]})`;
}

function formatSeconds(s) {
  const m = Math.floor(s / 60);
  const rest = s - m * 60;
  return `${m}:${rest.toFixed(1).padStart(4, '0')}`;
}

function fieldText(text) {
  return text.replace(/\n$/, '');
}

// Where each failed frame of a recording lies on its timeline: at its time
// when the recording names its frame rate, else at its chunk's position in
// the file.
function evidenceOf(r) {
  const byTime = r.frame_rate !== null && r.failed_frames.every((f) => f.time !== null);
  const length = byTime ? Math.max(r.video_chunks / r.frame_rate, ...r.failed_frames.map((f) => f.time), 1e-9)
                        : Math.max(r.size, 1);
  const marks = r.failed_frames.map((f) => ({
    frame: f.frame,
    at: (byTime ? f.time : f.offset) / length,
    label: byTime ? `frame ${f.frame} at ${formatSeconds(f.time)}`
                  : `frame ${f.frame} at byte ${f.offset.toLocaleString('en-US')}`,
  }));
  return {byTime, length, marks};
}

// The share of the file that the seals cover, rounded down as the console
// program prints it, so that 100.0 % means all of it.
function coverageText(coverage) {
  return `${(Math.floor(coverage * 1000) / 10).toFixed(1)} % of the file`;
}

function timelineFigure(r, bins, ev) {
  const W = 1000;
  const H = 48;
  const svg = svgEl('svg', {
    viewBox: `0 0 ${W} ${H}`, preserveAspectRatio: 'none', class: 'timeline', role: 'img',
    'aria-label': `Timeline of ${r.name}: ${ev.marks.length} failed frames` +
        `, seals cover ${coverageText(r.coverage)}`,
  });
  svg.append(svgEl('rect', {x: 0, y: 0, width: W, height: H, class: 'track'}));
  // One shape for each run of bins that are covered alike.
  for (let i = 0; i < bins.length;) {
    const opacity = (0.25 + 0.75 * (1 - bins[i])).toFixed(2);
    let j = i + 1;
    while (j < bins.length && (0.25 + 0.75 * (1 - bins[j])).toFixed(2) === opacity) j += 1;
    if (bins[i] < 0.999) {
      svg.append(svgEl('rect', {
        x: (i * W) / bins.length, y: 0, width: ((j - i) * W) / bins.length, height: H,
        class: 'uncovered', 'fill-opacity': opacity,
      }));
    }
    i = j;
  }
  for (const m of ev.marks) {
    const x = Math.min(W - 1, Math.max(1, m.at * W));
    svg.append(svgEl('line', {x1: x, x2: x, y1: 0, y2: H, class: 'failed'},
                     svgEl('title', {}, m.label)));
    svg.append(svgEl('path', {d: `M${x - 8} ${H} L${x + 8} ${H} L${x} ${H - 10} Z`, class: 'failed-mark'}));
  }
  // The ends of the axis as text beside the drawing, so that they keep their
  // size however wide the drawing is.
  const end = ev.byTime ? formatSeconds(ev.length) : formatBytes(ev.length).replace(/ \(.*/, '');
  const axis = el('div', {class: 'axis', 'aria-hidden': 'true'},
                  el('span', {text: ev.byTime ? '0:00.0' : '0'}), el('span', {text: end}));
  const caption = el('figcaption', {},
      `Timeline ${ev.byTime ? 'by time' : 'by position in the file'}. `,
      el('span', {class: 'key-failed', text: '▲ red line'}), ': a failed frame. ',
      el('span', {class: 'key-uncovered', text: 'Grey'}), ': no seal covers this stretch.');
  return el('figure', {}, svg, axis, caption);
}

// One entry per file: `path` as the console program would name it, `inWalk`
// when it was found in a folder (a file of no known kind found there is left
// out of the cards and the summary, and keeps its place in the saved JSON).
function makeCard(file, path, inWalk) {
  const entry = {id: nextId++, file, path, inWalk, result: null, json: null, outcome: null,
                 state: 'waiting'};
  const li = el('li', {class: 'card waiting', id: `card-${entry.id}`,
                       'aria-labelledby': `name-${entry.id}`});
  const heading = el('h2', {id: `name-${entry.id}`, text: path});
  const badge = el('p', {class: 'badge', text: 'Waiting'});
  const facts = el('dl', {class: 'facts'});
  const progress = el('progress', {max: '1', value: '0', 'aria-label': `Progress of ${path}`});
  const percent = el('span', {class: 'percent', text: ''});
  const cancel = el('button', {type: 'button', class: 'cancel', text: 'Cancel'});
  cancel.setAttribute('aria-label', `Cancel the check of ${path}`);
  cancel.addEventListener('click', () => cancelEntry(entry));
  const bar = el('div', {class: 'progress-row'}, progress, percent, cancel);
  const body = el('div', {class: 'body'});
  li.append(heading, badge, bar, facts, body);
  Object.assign(entry, {li, badge, facts, progress, percent, bar, body, cancel});
  addFact(entry, 'Size', formatBytes(file.size));
  return entry;
}

function addFact(entry, term, value) {
  entry.facts.append(el('dt', {text: term}), el('dd', {text: value}));
}

// The failed frames as the console program's --detail lists them: one line
// for each run of consecutive frames, with times and chunk positions.
function runsList(entry, detail) {
  const lines = detail.split('\n').map((l) => l.trim()).filter((l) => l !== '');
  if (lines.length === 0) return null;
  return el('ul', {class: 'runs', id: `runs-${entry.id}`},
            ...lines.map((l) => el('li', {text: l})));
}

function skippedOutcome(entry) {
  return entry.inWalk && entry.result && entry.result.status === 'unknown_kind';
}

function showResult(entry, m) {
  const r = JSON.parse(m.json);
  Object.assign(entry, {result: r, json: m.json, outcome: m.outcome, section: m.section,
                        state: 'done'});
  entry.bar.remove();
  entry.li.removeAttribute('aria-busy');
  if (skippedOutcome(entry)) {
    // As the console program leaves it out of a walk's report.
    entry.li.remove();
    return;
  }
  const [icon, words] = STATUS_WORDS[r.status] || ['?', r.status];
  entry.li.className = `card done status-${r.status}`;
  entry.badge.textContent = '';
  entry.badge.append(el('span', {class: 'icon', 'aria-hidden': 'true', text: icon}), ` ${words}`);
  if (m.failure) {
    addFact(entry, 'Error', `The check failed in the browser: ${m.failure}. ` +
                            'The file is saved in the results as one that could not be read.');
    entry.li.classList.add('failed');
  }
  addFact(entry, 'Kind', KIND_WORDS[r.kind] ?? r.kind);
  const fields = r.fields;
  if (r.video_format !== null) addFact(entry, 'Video', fieldText(fields.IDC_VIDEO_FORMAT));
  if (r.audio_format !== null) addFact(entry, 'Audio', fieldText(fields.IDC_AUDIO_FORMAT));
  if (fields.IDC_PROGRESS) addFact(entry, 'Progress', fields.IDC_PROGRESS);
  if (r.video_format !== null) {
    const unchecked = typeof r.unchecked_video_chunks === 'number' && r.unchecked_video_chunks > 0
        ? `; ${r.unchecked_video_chunks.toLocaleString('en-US')} video chunks not checked` : '';
    addFact(entry, 'Frames', `${r.frames_failed.toLocaleString('en-US')} failed of ${r.frames_checked.toLocaleString('en-US')} checked${unchecked}`);
  }
  if (m.failure) {
    // Nothing was read as it is.
  } else if (r.read_error !== null && r.read_error !== undefined) {
    addFact(entry, 'Reading', `The browser could not read the file at byte ${r.read_error.toLocaleString('en-US')}; the check stopped there.`);
  } else if (m.readFailed) {
    addFact(entry, 'Reading', 'The browser could not read the whole file.');
  }
  entry.body.append(el('h3', {text: 'Result'}),
      el('pre', {class: 'result', text: fields.IDC_RESULT || '(no result: the dialog shows none for this file)'}));
  if (r.status !== 'unreadable' && r.status !== 'changed' && r.status !== 'unknown_kind') {
    addFact(entry, 'Seals cover', coverageText(r.coverage));
  }
  const runs = runsList(entry, m.detail || '');
  if (r.kind === 'avi' && r.walk_end !== null) {
    const figure = timelineFigure(r, m.bins, evidenceOf(r));
    if (runs) figure.querySelector('svg').setAttribute('aria-describedby', runs.id);
    entry.body.append(figure);
  }
  if (fields.detail_enabled || runs) {
    const n = r.frames_failed;
    entry.body.append(el('details', {class: 'detail'},
        el('summary', {text: `Detail: ${n} failed frame${n === 1 ? '' : 's'}`}),
        runs ? el('h4', {text: 'Failed frames, with their times and chunk positions'}) : null, runs,
        fields.detail_enabled ? el('h4', {text: 'The dialog\'s list'}) : null,
        fields.detail_enabled ? el('pre', {class: 'error-list', text: fields.error_list}) : null));
  }
}

function finishEntry(entry, words, className) {
  entry.state = className;
  entry.li.className = `card ${className}`;
  entry.li.removeAttribute('aria-busy');
  entry.badge.textContent = words;
  entry.bar.remove();
}

// A check that failed in the browser (an exception or trap in the engine, a
// worker that stopped) ends that file's card with the error; its result is
// the one of a file that cannot be read, made by the engine on the page.
async function failEntry(entry, message) {
  entry.state = 'failing';
  let result;
  try {
    const engine = await pageEngine;
    result = await engine.check(entry.path, new FailingSource(entry.file), () => {}, entry.hash);
  } catch (e) {
    finishEntry(entry, `The check failed in the browser: ${message}`, 'failed');
    return;
  }
  showResult(entry, {...result, failure: message});
}

function startWorker() {
  let w;
  try {
    w = new Worker(workerUrl);
  } catch (e) {
    noWorker = true;
    document.documentElement.dataset.checkedBy = 'page';
    return;
  }
  worker = w;
  w.onmessage = (e) => onWorkerMessage(w, e.data);
  w.onerror = (e) => {
    e.preventDefault();
    workerLost(w, e.message || 'the worker stopped');
  };
  w.onmessageerror = () => workerLost(w, 'a message from the worker could not be read');
  workerReady = modulePromise.then((module) => w.postMessage({type: 'init', module, jspi}));
}

// A worker that stopped: the file it checked fails, and a new worker checks
// the rest; if none has ever answered, the page checks them itself.
function workerLost(w, message) {
  if (w !== worker) return;
  w.terminate();
  worker = null;
  if (!workerStarted) {
    noWorker = true;
    document.documentElement.dataset.checkedBy = 'page';
  }
  if (running) {
    const entry = running;
    running = null;
    failEntry(entry, message).then(pump);
  } else {
    pump();
  }
}

// Messages wait until the worker has its module.
function send(message) {
  const w = worker;
  workerReady.then(() => w.postMessage(message));
}

function onWorkerMessage(w, m) {
  if (w !== worker) return;
  if (m.type === 'ready') {
    workerStarted = true;
    document.documentElement.dataset.checkedBy = 'worker';
  } else if (m.type === 'read-path') {
    document.documentElement.dataset.readPath = m.path;
  } else if (m.type === 'slice') {
    // The worker may not read the file here: the page reads the slice and
    // hands its bytes over.
    const entry = running && running.id === m.id ? running : null;
    if (!entry) {
      w.postMessage({type: 'slice', req: m.req, error: 'cancelled'});
      return;
    }
    readSlice(entry.file, m.pos, m.end).then(
        (bytes) => w.postMessage({type: 'slice', req: m.req, bytes: bytes.buffer}, [bytes.buffer]),
        (e) => w.postMessage({type: 'slice', req: m.req, error: String(e && e.message || e)}));
  } else if (m.type === 'progress' && running && m.id === running.id) {
    showProgress(running, m.done, m.total);
  } else if (m.type === 'result' && running && m.id === running.id) {
    showResult(running, m);
    running = null;
    pump();
  } else if (m.type === 'failed' && running && m.id === running.id) {
    const entry = running;
    running = null;
    failEntry(entry, m.message).then(pump);
  }
}

function showProgress(entry, done, total) {
  const fraction = total > 0 ? done / total : 0;
  entry.progress.value = fraction;
  entry.percent.textContent = `${Math.floor(fraction * 100)} %`;
}

// Where no worker can start, the page checks the file itself, reading it by
// slices; the engine is suspended at every read, so the page goes on
// answering between them.
async function checkOnPage(entry) {
  let result;
  try {
    const engine = await pageEngine;
    if (entry !== running) return;
    const source = new FileSource(entry.file, (pos, end) => readSlice(entry.file, pos, end));
    entry.source = source;
    result = await engine.check(entry.path, source, (done, total) => showProgress(entry, done, total),
                                entry.hash);
  } catch (e) {
    if (entry !== running) return;
    running = null;
    await failEntry(entry, String(e && e.message || e));
    pump();
    return;
  }
  if (entry !== running) return;
  showResult(entry, result);
  running = null;
  pump();
}

function pump() {
  if (running || waiting.length === 0) {
    updateStatus();
    return;
  }
  if (!worker && !noWorker) startWorker();
  running = waiting.shift();
  running.state = 'running';
  running.li.className = 'card running';
  running.li.setAttribute('aria-busy', 'true');
  running.badge.textContent = 'Checking…';
  running.hash = hashInput.checked;
  if (noWorker) checkOnPage(running);
  else send({type: 'check', id: running.id, path: running.path, file: running.file,
             hash: running.hash});
  updateStatus();
}

function cancelEntry(entry) {
  if (entry === running) {
    if (worker) {
      worker.terminate();
      worker = null;
    } else if (entry.source) {
      // The check on the page ends at its next read.
      entry.source.close();
    }
    running = null;
  } else {
    const i = waiting.indexOf(entry);
    if (i < 0) return;
    waiting.splice(i, 1);
  }
  finishEntry(entry, 'Cancelled: not checked', 'cancelled');
  pump();
}

// The counts of the console program's summary line, in its words, and the
// files that are not intact one link away.
function updateStatus() {
  const counted = entries.filter((e) => e.state === 'done');
  const done = counted.length;
  const left = waiting.length + (running ? 1 : 0) +
               entries.filter((e) => e.state === 'failing').length;
  const cancelled = entries.filter((e) => e.state === 'cancelled').length;
  statusLine.textContent = left > 0 ? `Checking: ${done} done, ${left} to go.`
      : entries.length > 0 ? `${done} ${done === 1 ? 'file' : 'files'} checked` +
                              `${cancelled > 0 ? `, ${cancelled} cancelled` : ''}.` : '';
  if (outcomeWords && done > 0) {
    const counts = outcomeWords.map(() => 0);
    let skipped = 0;
    for (const e of counted) {
      if (skippedOutcome(e)) skipped += 1;
      else counts[e.outcome] += 1;
    }
    const total = counts.reduce((a, b) => a + b, 0);
    summaryLine.textContent = `${total} files: ` +
        // As the console program's line: "partly checked" only when there are any.
        counts.map((n, i) => `${n} ${outcomeWords[i]}`)
            .filter((text, i) => counts[i] > 0 || outcomeWords[i] !== 'partly checked')
            .join(', ') +
        (skipped > 0 ? `, ${skipped} of no known kind skipped` : '');
  } else {
    summaryLine.textContent = '';
  }
  const notIntact = counted.filter((e) => !skippedOutcome(e) && e.result.status !== 'intact');
  attention.replaceChildren();
  if (notIntact.length > 0) {
    attention.append(`Not intact (${notIntact.length}): `);
    notIntact.forEach((e, i) => {
      if (i > 0) attention.append(', ');
      attention.append(el('a', {href: `#card-${e.id}`, text: e.path}));
    });
  }
  onlyAttention.parentElement.hidden = notIntact.length === 0 || notIntact.length === counted.length;
  saveButton.disabled = done === 0;
  saveReportButton.disabled = done === 0;
  if (saveNote.dataset.missing && missingEntries().length === 0) saveNote.replaceChildren();
}

function addFile(file, path, inWalk) {
  const entry = makeCard(file, path, inWalk);
  entries.push(entry);
  waiting.push(entry);
  cardsList.append(entry.li);
  pump();
}

function addFiles(files) {
  for (const file of files) addFile(file, file.name, false);
}

// Names in byte-wise order of their UTF-8 bytes, as the console program's
// walk takes them.
const utf8 = new TextEncoder();
function compareNames(a, b) {
  const x = utf8.encode(a);
  const y = utf8.encode(b);
  for (let i = 0; i < x.length && i < y.length; ++i) if (x[i] !== y[i]) return x[i] - y[i];
  return x.length - y.length;
}

// Relative paths in the order of a depth-first walk with each folder's
// entries in byte-wise order: folder by folder, name by name.
function comparePaths(a, b) {
  const x = a.split('/');
  const y = b.split('/');
  for (let i = 0; i < x.length && i < y.length; ++i) {
    const c = compareNames(x[i], y[i]);
    if (c !== 0) return c;
  }
  return x.length - y.length;
}

// A chosen folder: the browser gives every file with its path from the
// folder's parent.
function addChosenFolder(files) {
  const list = files.map((file) => ({file, path: file.webkitRelativePath || file.name}));
  list.sort((a, b) => comparePaths(a.path, b.path));
  for (const {file, path} of list) addFile(file, path, true);
}

// A dropped folder, walked as the console program walks one: one folder
// listed at a time, its entries in byte-wise order, each folder's contents
// at its place.
async function walkDropped(entry, path) {
  if (entry.isFile) {
    const file = await new Promise((resolve, reject) => entry.file(resolve, reject));
    addFile(file, path, true);
    return;
  }
  if (!entry.isDirectory) return;
  const reader = entry.createReader();
  const children = [];
  for (;;) {
    const batch = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
    if (batch.length === 0) break;
    children.push(...batch);
  }
  children.sort((a, b) => compareNames(a.name, b.name));
  for (const child of children) await walkDropped(child, `${path}/${child.name}`);
}

async function addDropped(dataTransfer) {
  const items = Array.from(dataTransfer.items || []).filter((i) => i.kind === 'file');
  const found = items.map((i) => (typeof i.webkitGetAsEntry === 'function' ? i.webkitGetAsEntry() : null));
  if (found.length === 0 || found.some((e) => e === null)) {
    addFiles(Array.from(dataTransfer.files));
    return;
  }
  const files = Array.from(dataTransfer.files);
  for (let i = 0; i < found.length; ++i) {
    const e = found[i];
    if (e.isDirectory) {
      try {
        await walkDropped(e, e.name);
      } catch (err) {
        statusLine.textContent = `The folder ${e.name} could not be read whole.`;
      }
    } else {
      addFile(files[i] || await new Promise((res, rej) => e.file(res, rej)), e.name, false);
    }
  }
}

function missingEntries() {
  return entries.filter((e) => e.state !== 'done');
}

const MISSING_WORDS = {waiting: 'waiting', running: 'still being checked',
                       failing: 'still being checked', cancelled: 'cancelled',
                       failed: 'its check failed'};

// The JSON array of every finished result, in the order the files were
// chosen and walked, put together by the engine's own writer.
async function saveResults() {
  saveNote.replaceChildren();
  delete saveNote.dataset.missing;
  const elements = entries.filter((e) => e.state === 'done').map((e) => e.json);
  download((await pageEngine).joinArray(elements), 'application/json', 'quorvex-results.json');
}

// Hands `text` to the browser as a file to save.
function download(text, type, name) {
  const url = URL.createObjectURL(new Blob([text], {type}));
  const a = el('a', {href: url, download: name});
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 10000);
}

// Every file once all are done; otherwise the page says which are missing
// and saves only when asked again.
saveButton.addEventListener('click', () => {
  const missing = missingEntries();
  if (missing.length === 0) {
    saveResults();
    return;
  }
  const names = missing.slice(0, 10).map((e) => `${e.path} (${MISSING_WORDS[e.state]})`).join(', ');
  const more = missing.length > 10 ? ` and ${missing.length - 10} more` : '';
  const anyway = el('button', {type: 'button', id: 'save-anyway', text: 'Save without them'});
  anyway.addEventListener('click', saveResults);
  saveNote.dataset.missing = 'true';
  saveNote.replaceChildren(
      `${missing.length} ${missing.length === 1 ? 'file is' : 'files are'} not in the results: ` +
      `${names}${more}. `, anyway);
  anyway.focus();
});

onlyAttention.addEventListener('change', () => {
  cardsList.classList.toggle('only-attention', onlyAttention.checked);
});

// The case report of every finished result, written by the engine's own
// report writer: the same as quorvex-check --report.
function utcNow() {
  return new Date().toISOString().replace(/\.\d+Z$/, 'Z');
}
const pageStarted = utcNow();
saveReportButton.addEventListener('click', async () => {
  const sections = entries.filter((e) => e.state === 'done' && e.section)
      .map((e) => ({...e.section, skipped: skippedOutcome(e)}));
  const value = (id) => document.getElementById(id).value;
  const details = [value('report-case'), value('report-examiner'), value('report-note'),
    PAGE_VERSION, `WebAssembly (wasm32) in ${navigator.userAgent}`,
    `Quorvex page ${PAGE_VERSION} (${location.protocol === 'file:' ? 'opened from a file' : location.origin})`,
    pageStarted];
  download((await pageEngine).caseReport(details, sections, utcNow()), 'text/html',
           'quorvex-report.html');
});

const input = document.getElementById('files');
input.addEventListener('change', () => {
  addFiles(Array.from(input.files));
  input.value = '';
});
const folderInput = document.getElementById('folder');
folderInput.addEventListener('change', () => {
  addChosenFolder(Array.from(folderInput.files));
  folderInput.value = '';
});
// A browser without a folder chooser shows no button for it.
if (!('webkitdirectory' in folderInput)) folderInput.parentElement.hidden = true;
const dropZone = document.getElementById('choose');
document.addEventListener('dragover', (e) => {
  e.preventDefault();
  dropZone.classList.add('dragging');
});
document.addEventListener('dragleave', () => dropZone.classList.remove('dragging'));
document.addEventListener('drop', (e) => {
  e.preventDefault();
  dropZone.classList.remove('dragging');
  addDropped(e.dataTransfer);
});
pageEngine.then((engine) => {
  outcomeWords = engine.outcomeWords();
  updateStatus();
});
startWorker();
