// The page in headless Chromium: what it saves must be, byte for byte, what
// `quorvex-check --json NAME...` prints in the files' folder, its "Save report"
// the same report as `quorvex-check --report`, and it must ask for nothing
// over the network; its layouts, keyboard, cancelling and the asyncify
// build. engines_test.mjs tests it in every engine.
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import {test} from 'node:test';
import {parseArgs} from 'node:util';
import {chromium} from 'playwright-core';

const {values: opt} = parseArgs({
  options: {
    page: {type: 'string'}, check: {type: 'string'}, samples: {type: 'string'},
    data: {type: 'string'}, artifacts: {type: 'string'},
  },
});
const pageUrl = `file://${path.resolve(opt.page)}`;
const browserPath = process.env.CHROMIUM || '/usr/bin/chromium';
const samples = fs.readdirSync(opt.samples)
    .filter((f) => !/\.(cpp|h|txt)$/.test(f) && f !== 'CMakeLists.txt').sort();
const JSPI_OFF = ['--js-flags=--no-experimental-wasm-jspi',
                  '--disable-features=WebAssemblyJSPromiseIntegration'];

function consoleJson(dir, names) {
  try {
    return execFileSync(opt.check, ['--json', ...names], {cwd: dir, encoding: 'utf8'});
  } catch (e) {
    if (e.status === 1) return e.stdout;
    throw e;
  }
}

// A page with every request but the page itself refused and recorded.
async function openPage(browser, url, contextOptions = {}, initScript = null) {
  const context = await browser.newContext({acceptDownloads: true, ...contextOptions});
  const requests = [];
  const allowed = (u) => u === url || u.startsWith('blob:') || u.startsWith('data:');
  context.on('request', (r) => {
    if (!allowed(r.url())) requests.push(r.url());
  });
  await context.route('**/*', (route) => {
    if (allowed(route.request().url())) return route.continue();
    return route.abort();
  });
  if (initScript) await context.addInitScript(initScript);
  const page = await context.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  await page.goto(url);
  return {page, context, requests, errors};
}

async function untilSettled(page, timeoutMs) {
  const end = Date.now() + timeoutMs;
  while ((await page.locator('.card.waiting, .card.running').count()) > 0) {
    if (Date.now() > end) throw new Error('the checks did not finish in time');
    await new Promise((r) => setTimeout(r, 100));
  }
}

// What the page says of each status, as the status table words it.
const STATUS_WORDS = {
  intact: 'Intact: sealed and unchanged',
  damaged: 'Damaged: a seal does not match',
  unsealed: 'Unsealed: the file carries no seal',
  invalid: 'Invalid: not a recording of this recorder',
  unsupported_version: 'Unsupported version: the recording is refused',
  unknown_kind: 'Not a snapshot or recording of a known kind',
  unreadable: 'Could not be read',
};

// Every saved document holds to the --json output's schema.
const here = path.dirname(new URL(import.meta.url).pathname);
function assertHoldsToSchema(text) {
  execFileSync('/usr/bin/python3', [path.join(here, '../validate_json.py'),
    path.join(here, '../../report/quorvex-check.schema.json'), '-'], {input: text});
}

async function saved(page) {
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#save')]);
  const text = fs.readFileSync(await download.path(), 'utf8');
  assertHoldsToSchema(text);
  return text;
}

async function withBrowser(args, body) {
  const browser = await chromium.launch({executablePath: browserPath, headless: true, args});
  try {
    await body(browser);
  } finally {
    await browser.close();
  }
}

const shot = (page, name) =>
  page.screenshot({path: path.join(opt.artifacts, `${name}.png`), fullPage: true});

const layouts = [
  {name: 'normal', options: {viewport: {width: 1280, height: 900}}},
  {name: 'phone', options: {viewport: {width: 390, height: 844}, deviceScaleFactor: 2,
                            isMobile: true, hasTouch: true}},
  // What a 1280-pixel window shows at 200 % zoom.
  {name: 'zoom-200', options: {viewport: {width: 640, height: 900}, deviceScaleFactor: 2}},
];

for (const layout of layouts) {
  test(`samples at ${layout.name} width: saved JSON equals the console program's`, async () => {
    await withBrowser([], async (browser) => {
      const {page, requests, errors} = await openPage(browser, pageUrl, layout.options);
      assert.equal(await page.locator('html').getAttribute('data-suspension'), 'jspi');
      await page.setInputFiles('#files', samples.map((f) => path.join(opt.samples, f)));
      await untilSettled(page, 30000);
      assert.equal(await saved(page), consoleJson(opt.samples, samples));
      const expected = JSON.parse(consoleJson(opt.samples, samples));
      const cards = page.locator('.card');
      assert.equal(await cards.count(), samples.length);
      for (let i = 0; i < samples.length; ++i) {
        const card = cards.nth(i);
        assert.equal(await card.locator('h2').textContent(), samples[i]);
        const shown = await card.locator('pre.result').textContent();
        if (expected[i].fields.IDC_RESULT) assert.equal(shown, expected[i].fields.IDC_RESULT);
        // The verdict in words, not by colour alone: the engine's words.
        assert.ok((await card.locator('.badge').textContent()).endsWith(
                      ` ${STATUS_WORDS[expected[i].status]}`),
                  `${samples[i]}: ${await card.locator('.badge').textContent()}`);
        if (expected[i].fields.detail_enabled) {
          assert.equal(await card.locator('details pre').textContent(),
                       expected[i].fields.error_list);
        }
      }
      const overflow = await page.evaluate(
          () => document.documentElement.scrollWidth - document.documentElement.clientWidth);
      assert.ok(overflow <= 0, `the page is ${overflow} px wider than the screen`);
      const detail = page.locator('details summary').first();
      await detail.focus();
      await page.keyboard.press('Enter');
      await shot(page, `samples-${layout.name}`);
      assert.deepEqual(requests, []);
      assert.deepEqual(errors, []);
    });
  });
}

test('an empty file and a file of no known kind: saved JSON equals the console program\'s',
     async () => {
       const dir = fs.mkdtempSync(path.join(opt.artifacts, 'odd-'));
       try {
         fs.writeFileSync(path.join(dir, 'empty.avi'), '');
         fs.writeFileSync(path.join(dir, 'notes.txt'), 'not a recording\n');
         fs.writeFileSync(path.join(dir, 'cut.avi'), fs.readFileSync(
             path.join(opt.samples, 'recording-h264-intact.avi')).subarray(0, 5000));
         const names = ['empty.avi', 'notes.txt', 'cut.avi'];
         await withBrowser([], async (browser) => {
           const {page, errors} = await openPage(browser, pageUrl);
           await page.setInputFiles('#files', names.map((f) => path.join(dir, f)));
           await untilSettled(page, 30000);
           assert.equal(await saved(page), consoleJson(dir, names));
           assert.deepEqual(errors, []);
         });
       } finally {
         fs.rmSync(dir, {recursive: true});
       }
     });

// Marks by time when the recording names its frame rate, else by position
// in the file; coverage rounded down, as the console program prints it.
const timelineCases = [
  {name: 'by time', result: {size: 1000, frame_rate: 25, video_chunks: 100,
                             failed_frames: [{frame: 50, offset: 900, time: 2}]},
   byTime: true, at: [0.5]},
  {name: 'by position without a frame rate',
   result: {size: 1000, frame_rate: null, video_chunks: 100,
            failed_frames: [{frame: 50, offset: 900, time: null}]},
   byTime: false, at: [0.9]},
];
const coverageCases = [[1, '100.0 % of the file'], [0.99999, '99.9 % of the file'],
                       [0, '0.0 % of the file'], [0.5, '50.0 % of the file']];
test('the timeline places failed frames', async (t) => {
  await withBrowser([], async (browser) => {
    const {page} = await openPage(browser, pageUrl);
    for (const c of timelineCases) {
      await t.test(c.name, async () => {
        const ev = await page.evaluate((r) => evidenceOf(r), c.result);
        assert.equal(ev.byTime, c.byTime);
        assert.deepEqual(ev.marks.map((m) => m.at), c.at);
      });
    }
    for (const [coverage, text] of coverageCases) {
      assert.equal(await page.evaluate((c) => coverageText(c), coverage), text);
    }
  });
});

test('the controls are reached with the keyboard', async () => {
  await withBrowser([], async (browser) => {
    const {page} = await openPage(browser, pageUrl);
    await page.setInputFiles('#files', [path.join(opt.samples, 'recording-h264-damaged.avi')]);
    await untilSettled(page, 30000);
    const reached = [];
    for (let i = 0; i < 6; ++i) {
      await page.keyboard.press('Tab');
      reached.push(await page.evaluate(() => {
        const e = document.activeElement;
        return e.id ? `#${e.id}` : e.tagName.toLowerCase();
      }));
    }
    for (const want of ['#files', '#save', 'summary']) assert.ok(reached.includes(want), want);
    await page.locator('details summary').focus();
    await page.keyboard.press('Enter');
    assert.equal(await page.locator('details').getAttribute('open'), '');
  });
});

test('a running check is cancelled and the next file is checked', async () => {
  await withBrowser([], async (browser) => {
    const {page} = await openPage(browser, pageUrl);
    await page.setInputFiles('#files', [path.join(opt.data, 'recording-1gib.avi'),
                                        path.join(opt.samples, 'snapshot-intact.png')]);
    const first = page.locator('.card').first();
    const end = Date.now() + 20000;
    while (Number(await first.locator('progress').getAttribute('value') ?? 1) === 0) {
      assert.ok(Date.now() < end, 'no progress');
      await new Promise((r) => setTimeout(r, 50));
    }
    await first.locator('button.cancel').focus();
    await page.keyboard.press('Enter');
    await untilSettled(page, 30000);
    assert.match(await first.locator('.badge').textContent(), /Cancelled/);
    // Saving first says which file is missing, then saves the others.
    await page.click('#save');
    assert.match(await page.locator('#save-note').textContent(), /recording-1gib\.avi \(cancelled\)/);
    const [download] = await Promise.all([page.waitForEvent('download'), page.click('#save-anyway')]);
    assert.equal(fs.readFileSync(await download.path(), 'utf8'),
                 consoleJson(opt.samples, ['snapshot-intact.png']));
  });
});

// This Chromium keeps JSPI whatever its flags say, so the page is also
// stripped of it before its script runs; it then runs the module built with
// asyncify.
test('with JSPI off the page checks by asyncify alone', async () => {
  await withBrowser(JSPI_OFF, async (browser) => {
    const {page, requests, errors} = await openPage(browser, pageUrl, {}, () => {
      delete WebAssembly.Suspending;
      delete WebAssembly.promising;
    });
    assert.equal(await page.evaluate(() => typeof WebAssembly.Suspending), 'undefined');
    assert.equal(await page.locator('html').getAttribute('data-suspension'), 'asyncify');
    const files = [path.join(opt.samples, 'recording-h264-damaged.avi'),
                   path.join(opt.data, 'recording-sparse.avi')];
    await page.setInputFiles('#files', files);
    await untilSettled(page, 60000);
    assert.equal(await saved(page), consoleJson(opt.samples, ['recording-h264-damaged.avi'])
                                         .replace(/\n\]\n$/, ',\n') +
                                     consoleJson(opt.data, ['recording-sparse.avi']).slice(2));
    await shot(page, 'jspi-off');
    assert.deepEqual(requests, []);
    assert.deepEqual(errors, []);
  });
});

test('from a local web server the page asks for nothing but itself', async () => {
  const server = http.createServer((req, res) => {
    if (req.url !== '/quorvex.html') {
      res.writeHead(404).end();
      return;
    }
    res.writeHead(200, {'content-type': 'text/html'});
    fs.createReadStream(opt.page).pipe(res);
  });
  await new Promise((r) => server.listen(0, '127.0.0.1', r));
  const url = `http://127.0.0.1:${server.address().port}/quorvex.html`;
  try {
    await withBrowser([], async (browser) => {
      const {page, requests, errors} = await openPage(browser, url);
      await page.setInputFiles('#files', [path.join(opt.samples, 'snapshot-damaged.jpg')]);
      await untilSettled(page, 30000);
      assert.equal(await saved(page), consoleJson(opt.samples, ['snapshot-damaged.jpg']));
      assert.deepEqual(requests, []);
      assert.deepEqual(errors, []);
    });
  } finally {
    server.close();
  }
});

function reportOf(dir, names, extra) {
  const file = path.join(fs.mkdtempSync(path.join(opt.artifacts, 'report-')), 'report.html');
  try {
    execFileSync(opt.check, ['--report', file, ...extra, ...names], {cwd: dir, stdio: 'ignore'});
  } catch (e) {
    if (e.status !== 1) throw e;
  }
  return fs.readFileSync(file, 'utf8');
}

const fileSections = (html) => html.match(/<section class="file [\s\S]*?<\/section>/g);
const embeddedJson = (html) => html.match(/<pre id="quorvex-results">([\s\S]*?)<\/pre>/)[1];

test('Save report writes the console program\'s report of the same files', async () => {
  await withBrowser([], async (browser) => {
    const {page, requests, errors} = await openPage(browser, pageUrl);
    await page.check('#report-hash');
    await page.setInputFiles('#files', samples.map((f) => path.join(opt.samples, f)));
    await untilSettled(page, 30000);
    await page.fill('#report-case', '2026-114 <b>Depot</b>');
    await page.fill('#report-examiner', 'J. O\'Neil');
    const [download] = await Promise.all([page.waitForEvent('download'),
                                          page.click('#save-report')]);
    const fromPage = fs.readFileSync(await download.path(), 'utf8');
    fs.writeFileSync(path.join(opt.artifacts, 'page-report.html'), fromPage);
    const fromConsole = reportOf(opt.samples, samples,
                                 ['--case', '2026-114 <b>Depot</b>', '--examiner', 'J. O\'Neil']);
    assert.deepEqual(fileSections(fromPage), fileSections(fromConsole));
    assert.equal(embeddedJson(fromPage), embeddedJson(fromConsole));
    assert.ok(fromPage.includes('<td>2026-114 &lt;b&gt;Depot&lt;/b&gt;</td>'));
    assert.ok(fromPage.includes('Quorvex page 1.0.0.11'));
    assert.deepEqual(requests, []);
    assert.deepEqual(errors, []);
  });
});
