// The page: one card per chosen file, checked one at a time by the engine in
// a worker. The results are the console program's JSON elements, made by the
// engine itself; the page only reads them.
'use strict';

const STATUS_WORDS = {
  intact: ['✓', 'Intact: sealed and unchanged'],
  damaged: ['✗', 'Damaged: a seal does not match'],
  unsealed: ['✗', 'Unsealed: the file carries no seal'],
  invalid: ['✗', 'Invalid: not a recording of this recorder'],
  unsupported_version: ['✗', 'Unsupported version: the recording is refused'],
  unknown_kind: ['?', 'Not a snapshot or recording of a known kind'],
  unreadable: ['!', 'Could not be read'],
};
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
const modulePromise = WebAssembly.compile(wasmBytes);
document.documentElement.dataset.suspension = jspi ? 'jspi' : 'asyncify';
const workerUrl = URL.createObjectURL(new Blob(
    [document.getElementById('quorvex-worker').textContent], {type: 'text/javascript'}));

const cardsList = document.getElementById('cards');
const saveButton = document.getElementById('save');
const saveReportButton = document.getElementById('save-report');
const statusLine = document.getElementById('status');
const PAGE_VERSION = '1.0.0.11';
const entries = [];  // every card in the order the files were chosen
const waiting = [];
let running = null;
let worker = null;
let workerReady = null;
let nextId = 1;
let joinRequest = null;

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

function makeCard(file) {
  const entry = {id: nextId++, file, result: null, json: null, state: 'waiting'};
  const li = el('li', {class: 'card waiting', 'aria-labelledby': `name-${entry.id}`});
  const heading = el('h2', {id: `name-${entry.id}`, text: file.name});
  const badge = el('p', {class: 'badge', text: 'Waiting'});
  const facts = el('dl', {class: 'facts'});
  const progress = el('progress', {max: '1', value: '0', 'aria-label': `Progress of ${file.name}`});
  const percent = el('span', {class: 'percent', text: ''});
  const cancel = el('button', {type: 'button', class: 'cancel', text: 'Cancel'});
  cancel.setAttribute('aria-label', `Cancel the check of ${file.name}`);
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

function showResult(entry, json, bins, readFailed) {
  const r = JSON.parse(json);
  entry.result = r;
  entry.json = json;
  entry.state = 'done';
  entry.bar.remove();
  const [icon, words] = STATUS_WORDS[r.status] || ['?', r.status];
  entry.li.className = `card done status-${r.status}`;
  entry.badge.textContent = '';
  entry.badge.append(el('span', {class: 'icon', 'aria-hidden': 'true', text: icon}), ` ${words}`);
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
  if (r.read_error !== null && r.read_error !== undefined) {
    addFact(entry, 'Reading', `The browser could not read the file at byte ${r.read_error.toLocaleString('en-US')}; the check stopped there.`);
  } else if (readFailed) {
    addFact(entry, 'Reading', 'The browser could not read the whole file.');
  }
  entry.body.append(el('h3', {text: 'Result'}),
      el('pre', {class: 'result', text: fields.IDC_RESULT || '(no result: the dialog shows none for this file)'}));
  if (r.status !== 'unreadable' && r.status !== 'unknown_kind') {
    addFact(entry, 'Seals cover', coverageText(r.coverage));
  }
  if (r.kind === 'avi' && r.walk_end !== null) {
    entry.body.append(timelineFigure(r, bins, evidenceOf(r)));
  }
  if (fields.detail_enabled) {
    entry.body.append(el('details', {class: 'detail'},
        el('summary', {text: `Detail: ${r.frames_failed} failed frame${r.frames_failed === 1 ? '' : 's'}`}),
        el('pre', {text: fields.error_list})));
  }
  saveButton.disabled = false;
  saveReportButton.disabled = false;
}

function finishEntry(entry, words, className) {
  entry.state = className;
  entry.li.className = `card ${className}`;
  entry.badge.textContent = words;
  entry.bar.remove();
}

function startWorker() {
  worker = new Worker(workerUrl);
  worker.onmessage = (e) => onWorkerMessage(e.data);
  worker.onerror = (e) => {
    if (running) {
      finishEntry(running, `The check failed in the browser: ${e.message || 'error'}`, 'failed');
      running = null;
    }
    worker.terminate();
    worker = null;
    pump();
  };
  const w = worker;
  workerReady = modulePromise.then((module) => w.postMessage({type: 'init', module, jspi}));
}

// Messages wait until the worker has its module.
function send(message) {
  const w = worker;
  workerReady.then(() => w.postMessage(message));
}

function onWorkerMessage(m) {
  if (m.type === 'progress' && running && m.id === running.id) {
    const fraction = m.total > 0 ? m.done / m.total : 0;
    running.progress.value = fraction;
    running.percent.textContent = `${Math.floor(fraction * 100)} %`;
  } else if (m.type === 'result' && running && m.id === running.id) {
    running.section = m.section;
    showResult(running, m.json, m.bins, m.readFailed);
    running = null;
    pump();
  } else if (m.type === 'joined' && joinRequest && m.id === joinRequest.id) {
    joinRequest.resolve(m.text);
    joinRequest = null;
  }
}

function pump() {
  if (running || waiting.length === 0) {
    updateStatus();
    return;
  }
  if (!worker) startWorker();
  running = waiting.shift();
  running.state = 'running';
  running.li.className = 'card running';
  running.li.setAttribute('aria-busy', 'true');
  running.badge.textContent = 'Checking…';
  send({type: 'check', id: running.id, file: running.file});
  updateStatus();
}

function cancelEntry(entry) {
  if (entry === running) {
    worker.terminate();
    worker = null;
    running = null;
    // A save under way went with the worker.
    if (joinRequest) {
      joinRequest.reject(new Error('cancelled'));
      joinRequest = null;
    }
  } else {
    const i = waiting.indexOf(entry);
    if (i >= 0) waiting.splice(i, 1);
  }
  finishEntry(entry, 'Cancelled: not checked', 'cancelled');
  pump();
}

function updateStatus() {
  const done = entries.filter((e) => e.state === 'done').length;
  const left = waiting.length + (running ? 1 : 0);
  statusLine.textContent = left > 0 ? `Checking: ${done} done, ${left} to go.`
                                    : entries.length > 0 ? `${done} ${done === 1 ? 'file' : 'files'} checked.` : '';
  for (const e of entries) if (e.state !== 'running') e.li.removeAttribute('aria-busy');
}

function addFiles(files) {
  for (const file of files) {
    const entry = makeCard(file);
    entries.push(entry);
    waiting.push(entry);
    cardsList.append(entry.li);
  }
  pump();
}

// The JSON array of every finished result, in the order the files were
// chosen, put together by the engine's own writer in the worker.
function joinedResults() {
  const elements = entries.filter((e) => e.state === 'done').map((e) => e.json);
  if (!worker) startWorker();
  return new Promise((resolve, reject) => {
    joinRequest = {id: nextId++, resolve, reject};
    send({type: 'join', id: joinRequest.id, elements});
  });
}

saveButton.addEventListener('click', async () => {
  let text;
  try {
    text = await joinedResults();
  } catch (e) {
    return;
  }
  const url = URL.createObjectURL(new Blob([text], {type: 'application/json'}));
  const a = el('a', {href: url, download: 'quorvex-results.json'});
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 10000);
});

// The case report of every finished result, written by the engine's own
// report writer in the worker: the same as quorvex-check --report.
function utcNow() {
  return new Date().toISOString().replace(/\.\d+Z$/, 'Z');
}
const pageStarted = utcNow();
saveReportButton.addEventListener('click', () => {
  const sections = entries.filter((e) => e.state === 'done' && e.section).map((e) => e.section);
  const value = (id) => document.getElementById(id).value;
  const details = [value('report-case'), value('report-examiner'), value('report-note'),
    PAGE_VERSION, `WebAssembly (wasm32) in ${navigator.userAgent}`,
    `Quorvex page ${PAGE_VERSION} (${location.protocol === 'file:' ? 'opened from a file' : location.origin})`,
    pageStarted];
  if (!worker) startWorker();
  new Promise((resolve, reject) => {
    joinRequest = {id: nextId++, resolve, reject};
    send({type: 'report', id: joinRequest.id, details, sections, ended: utcNow()});
  }).then((text) => {
    const url = URL.createObjectURL(new Blob([text], {type: 'text/html'}));
    const a = el('a', {href: url, download: 'quorvex-report.html'});
    document.body.append(a);
    a.click();
    a.remove();
    setTimeout(() => URL.revokeObjectURL(url), 10000);
  }, () => {});
});

const input = document.getElementById('files');
input.addEventListener('change', () => {
  addFiles(Array.from(input.files));
  input.value = '';
});
const dropZone = document.getElementById('choose');
document.addEventListener('dragover', (e) => {
  e.preventDefault();
  dropZone.classList.add('dragging');
});
document.addEventListener('dragleave', () => dropZone.classList.remove('dragging'));
document.addEventListener('drop', (e) => {
  e.preventDefault();
  dropZone.classList.remove('dragging');
  addFiles(Array.from(e.dataTransfer.files));
});
startWorker();
