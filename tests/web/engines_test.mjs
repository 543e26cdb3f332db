// The page in each browser engine (Chromium, Firefox, WebKit), opened from
// disk and from a local server: what it saves must be, byte for byte, what
// the console program prints for the same files, for folders as `-r` walks
// them, and a check that fails in the browser must end its card and leave
// the other files checked.
//   node --test engines_test.mjs -- --page P --check C --samples S --data D --artifacts A
//   ENGINES=chromium,webkit picks engines; LARGE=0 leaves out the large recordings
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import {test} from 'node:test';
import {parseArgs} from 'node:util';
import {ENGINES, launch} from './drivers.mjs';

const {values: opt} = parseArgs({
  options: {
    page: {type: 'string'}, check: {type: 'string'}, samples: {type: 'string'},
    data: {type: 'string'}, artifacts: {type: 'string'},
  },
  strict: false,
});
for (const k of Object.keys(opt)) opt[k] = path.resolve(opt[k]);
const pageUrl = `file://${path.resolve(opt.page)}`;
const engines = process.env.ENGINES ? process.env.ENGINES.split(',') : ENGINES;
const large = process.env.LARGE !== '0';
const samples = fs.readdirSync(opt.samples)
    .filter((f) => !/\.(cpp|h|txt)$/.test(f) && f !== 'CMakeLists.txt').sort();
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

function consoleRun(dir, args) {
  try {
    return execFileSync(opt.check, args, {cwd: dir, encoding: 'utf8'});
  } catch (e) {
    if (e.status === 1) return e.stdout;
    throw e;
  }
}
const consoleJson = (dir, names) => consoleRun(dir, ['--json', ...names]);
const consoleSummary = (dir, args) => consoleRun(dir, args).trimEnd().split('\n').pop();

// Catches what "Save results" hands to the browser, without a download.
const SAVE_HOOK = `(() => {
  if (window.savedByTest) return true;
  window.savedByTest = [];
  const create = URL.createObjectURL.bind(URL);
  URL.createObjectURL = (b) => {
    if (b && b.type === 'application/json') b.text().then((t) => window.savedByTest.push(t));
    return create(b);
  };
  const click = HTMLAnchorElement.prototype.click;
  HTMLAnchorElement.prototype.click = function () { if (!this.download) click.call(this); };
  return true;
})()`;

async function saved(p) {
  await p.evaluate(SAVE_HOOK);
  const n = await p.evaluate('window.savedByTest.length');
  await p.evaluate(`(document.getElementById('save').click(), true)`);
  for (let i = 0; i < 200; ++i) {
    if (await p.evaluate('window.savedByTest.length') > n) {
      return p.evaluate(`window.savedByTest[${n}]`);
    }
    await sleep(50);
  }
  throw new Error('nothing was saved');
}

async function untilSettled(p, ms) {
  const end = Date.now() + ms;
  await sleep(100);
  while (await p.evaluate(`document.querySelectorAll('.card.waiting, .card.running').length`) > 0) {
    if (Date.now() > end) throw new Error('the checks did not finish in time');
    await sleep(150);
  }
}

async function freshPage(p, url = pageUrl) {
  await p.goto(url);
  // The page's own engine is ready once the summary's words are there.
  for (let i = 0; i < 100; ++i) {
    if (await p.evaluate('outcomeWords !== null')) return;
    await sleep(100);
  }
  throw new Error('the page did not start');
}

const state = (p) => p.evaluate(`({
  status: document.getElementById('status').textContent,
  summary: document.getElementById('summary').textContent,
  attention: Array.from(document.querySelectorAll('#attention a')).map((a) => a.textContent),
  readPath: document.documentElement.dataset.readPath || 'file',
  checkedBy: document.documentElement.dataset.checkedBy || '',
  suspension: document.documentElement.dataset.suspension,
  cards: Array.from(document.querySelectorAll('.card')).map((c) => ({
    path: c.querySelector('h2').textContent, badge: c.querySelector('.badge').textContent,
    runs: Array.from(c.querySelectorAll('.runs li')).map((l) => l.textContent),
  })),
})`);

const shot = (p, engine, name) => p.screenshot(path.join(opt.artifacts, `${engine}-${name}.png`));

// A folder as a recorder's export might look: sub-folders, names whose
// byte-wise order differs from other orders, a file of no known kind (left
// out of the cards, kept in the JSON) and an empty folder.
function makeExport(root) {
  const dir = path.join(root, 'export');
  fs.rmSync(dir, {recursive: true, force: true});
  const copy = (sample, to) => {
    fs.mkdirSync(path.dirname(path.join(dir, to)), {recursive: true});
    fs.copyFileSync(path.join(opt.samples, sample), path.join(dir, to));
  };
  copy('snapshot-intact.jpg', 'cam1/snap-b.jpg');
  copy('snapshot-damaged.jpg', 'cam1/Snap-a.jpg');
  copy('snapshot-intact.png', 'cam1/\u00e4rger.png');
  copy('recording-h264-damaged.avi', 'cam2/rec 1.avi');
  copy('snapshot-intact.bmp', 'cam10.bmp');
  fs.writeFileSync(path.join(dir, 'notes.txt'), 'not a recording\n');
  fs.mkdirSync(path.join(dir, 'empty'), {recursive: true});
  const files = [];
  const walk = (rel) => {
    for (const e of fs.readdirSync(path.join(root, rel), {withFileTypes: true})) {
      const r = `${rel}/${e.name}`;
      if (e.isDirectory()) walk(r);
      else files.push(r);
    }
  };
  walk('export');
  return {dir, files};
}

// Drops the folder as the browser hands a dropped folder over: entries of
// the file system, listed in batches and in no particular order.
function dropExpression(rels) {
  return `(async () => {
    const files = Array.from(document.getElementById('test-drop').files);
    const rels = ${JSON.stringify(rels)};
    const folder = (name, fullPath) => ({name, fullPath, isFile: false, isDirectory: true,
      kids: new Map(),
      createReader() {
        const all = Array.from(this.kids.values()).reverse();
        const batches = [all.slice(0, 2), all.slice(2), []];
        return {readEntries: (ok) => setTimeout(() => ok(batches.shift() || []), 0)};
      }});
    const root = folder(rels[0].split('/')[0], '/' + rels[0].split('/')[0]);
    rels.forEach((rel, i) => {
      const parts = rel.split('/');
      let at = root;
      for (let k = 1; k < parts.length - 1; ++k) {
        if (!at.kids.has(parts[k])) {
          at.kids.set(parts[k], folder(parts[k], '/' + parts.slice(0, k + 1).join('/')));
        }
        at = at.kids.get(parts[k]);
      }
      const name = parts[parts.length - 1];
      at.kids.set(name, {name, fullPath: '/' + rel, isFile: true, isDirectory: false,
                         file: (ok) => setTimeout(() => ok(files[i]), 0)});
    });
    root.kids.set('empty', folder('empty', '/export/empty'));
    await addDropped({items: [{kind: 'file', webkitGetAsEntry: () => root}], files: []});
    return true;
  })()`;
}

// Makes the worker's engine fail for files whose names say so: an exception
// or trap in the module ("trap"), the worker stopping ("crash").
const FAILING_WORKER = `(() => {
  const failing = () => {
    const check = Engine.prototype.check;
    Engine.prototype.check = function (p, ...rest) {
      if (p.includes('trap')) return Promise.reject(new WebAssembly.RuntimeError('unreachable'));
      if (p.includes('crash')) {
        setTimeout(() => { throw new Error('the worker fell over'); }, 0);
        return new Promise(() => {});
      }
      return check.call(this, p, ...rest);
    };
  };
  const source = document.getElementById('quorvex-worker').textContent + '\\n;(' + failing + ')();';
  const url = URL.createObjectURL(new Blob([source], {type: 'text/javascript'}));
  const Real = Worker;
  window.Worker = function () { return new Real(url); };
  worker.terminate();
  worker = null;
  return true;
})()`;

const NO_WORKER = `(() => {
  window.Worker = function () { throw new Error('workers are not allowed here'); };
  worker.terminate();
  worker = null;
  return true;
})()`;

for (const engine of engines) {
  test(engine, async (t) => {
    const p = await launch(engine);
    try {
      await t.test('every sample from file://: saved JSON and summary equal the console program\'s',
                   async () => {
        await freshPage(p);
        await p.setFiles('#files', samples.map((f) => path.join(opt.samples, f)));
        await untilSettled(p, 60000);
        assert.equal(await saved(p), consoleJson(opt.samples, samples));
        const s = await state(p);
        assert.equal(s.summary, consoleSummary(opt.samples, samples));
        assert.equal(s.cards.length, samples.length);
        const expected = JSON.parse(consoleJson(opt.samples, samples));
        assert.deepEqual(s.attention, expected.filter((r) => r.status !== 'intact').map((r) => r.path));
        // The failed frames with their times, as --detail lists them.
        const detail = consoleRun(opt.samples, ['--detail', 'recording-h264-damaged.avi'])
            .split('\n').filter((l) => /^ {2}frames? /.test(l)).map((l) => l.trim());
        assert.ok(detail.length > 0);
        assert.deepEqual(s.cards[samples.indexOf('recording-h264-damaged.avi')].runs, detail);
        t.diagnostic(`${engine}: ${s.suspension}, reads through the ${s.readPath === 'page' ? 'page' : 'worker'}`);
        await shot(p, engine, 'samples');
      });

      await t.test('a chosen and a dropped folder are walked as -r walks them', async (tt) => {
        const {dir, files} = makeExport(opt.artifacts);
        const root = path.dirname(dir);
        const want = consoleRun(root, ['--json', '-r', 'export']);
        const summary = consoleSummary(root, ['-r', 'export']);

        await freshPage(p);
        await p.evaluate(`(document.body.append(Object.assign(document.createElement('input'),
            {type: 'file', id: 'test-drop', multiple: true})), true)`);
        await p.setFiles('#test-drop', files.map((f) => path.join(root, f)));
        await p.evaluate(dropExpression(files));
        await untilSettled(p, 30000);
        assert.equal(await saved(p), want);
        const s = await state(p);
        assert.equal(s.summary, summary);
        assert.ok(!s.cards.some((c) => c.path.endsWith('notes.txt')), 'a file of no known kind has a card');
        await shot(p, engine, 'folder-dropped');

        // Only playwright hands a folder to a folder chooser; geckodriver's
        // BiDi refuses a folder and WebKitWebDriver hands it over as one file.
        if (!p.choosesFolders) {
          tt.diagnostic(`${engine}: the driver cannot choose a folder; the drop walk is tested`);
          return;
        }
        await freshPage(p);
        await p.setFiles('#folder', [dir]);
        await untilSettled(p, 30000);
        assert.equal(await saved(p), want);
        assert.equal((await state(p)).summary, summary);
      });

      await t.test('a check that fails in the worker ends its card; the rest go on', async () => {
        const dir = fs.mkdtempSync(path.join(opt.artifacts, 'fail-'));
        const names = ['trap.jpg', 'snapshot-intact.jpg', 'crash.png', 'recording-h264-damaged.avi'];
        fs.copyFileSync(path.join(opt.samples, 'snapshot-damaged.jpg'), path.join(dir, names[0]));
        fs.copyFileSync(path.join(opt.samples, names[1]), path.join(dir, names[1]));
        fs.copyFileSync(path.join(opt.samples, 'snapshot-intact.png'), path.join(dir, names[2]));
        fs.copyFileSync(path.join(opt.samples, names[3]), path.join(dir, names[3]));
        await freshPage(p);
        await p.evaluate(FAILING_WORKER);
        await p.setFiles('#files', names.map((f) => path.join(dir, f)));
        await untilSettled(p, 60000);
        await shot(p, engine, 'worker-failures');
        const got = JSON.parse(await saved(p));
        const want = JSON.parse(consoleJson(dir, names));
        for (const i of [0, 2]) {
          assert.equal(got[i].path, names[i]);
          assert.equal(got[i].status, 'unreadable');
          assert.equal(got[i].read_error, 0);
          assert.equal(got[i].verdict, "Can't read the file.");
          assert.equal(got[i].size, want[i].size);
        }
        assert.deepEqual([got[1], got[3]], [want[1], want[3]]);
        const s = await state(p);
        assert.match(s.cards[0].badge, /Could not be read/);
        assert.match(s.summary, /2 could not be checked/);

        // No worker at all: the page checks the files itself.
        await freshPage(p);
        await p.evaluate(NO_WORKER);
        const few = ['recording-h264-damaged.avi', 'snapshot-intact.png'];
        await p.setFiles('#files', few.map((f) => path.join(opt.samples, f)));
        await untilSettled(p, 60000);
        assert.equal((await state(p)).checkedBy, 'page');
        assert.equal(await saved(p), consoleJson(opt.samples, few));
        fs.rmSync(dir, {recursive: true});
      });

      await t.test('"Save results" names the files that are missing', async () => {
        await freshPage(p);
        const files = [path.join(opt.samples, 'snapshot-intact.jpg'),
                       path.join(opt.data, 'recording-1gib.avi')];
        await p.setFiles('#files', files);
        for (let i = 0; i < 200 && (await state(p)).cards[1].badge !== 'Checking…'; ++i) await sleep(50);
        await p.evaluate(SAVE_HOOK);
        await p.evaluate(`(document.getElementById('save').click(), true)`);
        const note = await p.evaluate(`document.getElementById('save-note').textContent`);
        assert.match(note, /1 file is not in the results: recording-1gib\.avi \(still being checked\)/);
        assert.equal(await p.evaluate('window.savedByTest.length'), 0);
        await p.evaluate(`(document.querySelector('.card.running button.cancel').click(), true)`);
        await untilSettled(p, 10000);
        await p.evaluate(`(document.getElementById('save').click(), true)`);
        assert.match(await p.evaluate(`document.getElementById('save-note').textContent`),
                     /recording-1gib\.avi \(cancelled\)/);
        await p.evaluate(`(document.getElementById('save-anyway').click(), true)`);
        for (let i = 0; i < 100 && await p.evaluate('window.savedByTest.length') === 0; ++i) await sleep(50);
        assert.equal(await p.evaluate('window.savedByTest[0]'),
                     consoleJson(opt.samples, ['snapshot-intact.jpg']));
      });

      await t.test('from a local web server the page asks for nothing but itself', async () => {
        const asked = [];
        const server = http.createServer((req, res) => {
          asked.push(req.url);
          if (req.url !== '/quorvex.html') {
            res.writeHead(404).end();
            return;
          }
          res.writeHead(200, {'content-type': 'text/html'});
          fs.createReadStream(opt.page).pipe(res);
        });
        await new Promise((r) => server.listen(0, '127.0.0.1', r));
        try {
          await freshPage(p, `http://127.0.0.1:${server.address().port}/quorvex.html`);
          const few = ['recording-h264-damaged.avi', 'snapshot-damaged.jpg'];
          await p.setFiles('#files', few.map((f) => path.join(opt.samples, f)));
          await untilSettled(p, 30000);
          assert.equal(await saved(p), consoleJson(opt.samples, few));
          assert.deepEqual(asked.filter((u) => u !== '/favicon.ico'), ['/quorvex.html']);
        } finally {
          server.close();
        }
      });

      if (large) {
        await t.test('a 1 GiB recording and a sparse one over 4 GiB from file://', async () => {
          const names = ['recording-1gib.avi', 'recording-sparse.avi'];
          await freshPage(p);
          const t0 = Date.now();
          await p.setFiles('#files', names.map((f) => path.join(opt.data, f)));
          await untilSettled(p, 240000);
          t.diagnostic(`${engine}: both large recordings in ${((Date.now() - t0) / 1000).toFixed(1)} s`);
          assert.equal(await saved(p), consoleJson(opt.data, names));
          await shot(p, engine, 'large-recordings');
        });
      }
    } finally {
      await p.close();
    }
  });
}
