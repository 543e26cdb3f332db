// One way to drive the page in each of the three browser engines, all of
// them the system's own: Chromium through playwright-core, Firefox through
// puppeteer-core over WebDriver BiDi, WebKitGTK's MiniBrowser through
// WebKitWebDriver and selenium-webdriver (under Xvfb, since it needs a
// display). None of them ever downloads a browser.
import {spawn} from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import {chromium} from 'playwright-core';
import puppeteer from 'puppeteer-core';
import {Builder, By} from 'selenium-webdriver';

export const ENGINES = ['chromium', 'firefox', 'webkit'];
const CHROMIUM = process.env.CHROMIUM || '/usr/bin/chromium';
const FIREFOX = process.env.FIREFOX || '/usr/bin/firefox-esr';
const MINIBROWSER = process.env.MINIBROWSER ||
    '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser';

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

function freePort() {
  return new Promise((resolve, reject) => {
    const s = net.createServer();
    s.listen(0, '127.0.0.1', () => {
      const {port} = s.address();
      s.close(() => resolve(port));
    });
    s.on('error', reject);
  });
}

async function untilListening(port, ms) {
  const end = Date.now() + ms;
  while (Date.now() < end) {
    const ok = await new Promise((resolve) => {
      const c = net.connect(port, '127.0.0.1', () => { c.end(); resolve(true); });
      c.on('error', () => resolve(false));
    });
    if (ok) return;
    await sleep(100);
  }
  throw new Error(`nothing listens on port ${port}`);
}

// An X server of its own for WebKit, on a free display number.
async function startXvfb() {
  for (let n = 90; n < 140; ++n) {
    if (fs.existsSync(`/tmp/.X${n}-lock`)) continue;
    const proc = spawn('Xvfb', [`:${n}`, '-screen', '0', '1280x1024x24', '-nolisten', 'tcp'],
                       {stdio: 'ignore'});
    for (let i = 0; i < 50; ++i) {
      if (fs.existsSync(`/tmp/.X11-unix/X${n}`)) return {display: `:${n}`, proc};
      if (proc.exitCode !== null) break;
      await sleep(100);
    }
    proc.kill();
  }
  throw new Error('no X display could be started');
}

// What every driver offers the tests:
//   goto(url), setFiles(selector, paths), evaluate(expression) -> JSON value,
//   click(selector), screenshot(file), pids() (the browser's processes),
//   close().
class PlaywrightPage {
  static async launch({args = [], viewport, contextOptions = {}, initScript = null} = {}) {
    const browser = await chromium.launch({executablePath: CHROMIUM, headless: true, args});
    const context = await browser.newContext({acceptDownloads: true, ...contextOptions,
                                              ...(viewport ? {viewport} : {})});
    if (initScript) await context.addInitScript(initScript);
    const page = await context.newPage();
    const p = new PlaywrightPage();
    Object.assign(p, {browser, context, page, errors: [], choosesFolders: true});
    page.on('pageerror', (e) => p.errors.push(e.message));
    return p;
  }
  goto(url) { return this.page.goto(url); }
  setFiles(selector, paths) { return this.page.setInputFiles(selector, paths); }
  evaluate(expression) { return this.page.evaluate(expression); }
  click(selector) { return this.page.click(selector); }
  screenshot(file) { return this.page.screenshot({path: file, fullPage: true}); }
  pids() { return descendants(this.browser.process?.()?.pid ?? process.pid); }
  close() { return this.browser.close(); }
}

class PuppeteerPage {
  static async launch({viewport, initScript = null} = {}) {
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'quorvex-firefox-'));
    const browser = await puppeteer.launch({
      browser: 'firefox', executablePath: FIREFOX, headless: true, userDataDir: profile,
      protocol: 'webDriverBiDi', defaultViewport: viewport || {width: 1280, height: 900},
      extraPrefsFirefox: {'browser.download.dir': profile, 'browser.download.folderList': 2},
    });
    const page = (await browser.pages())[0] || await browser.newPage();
    const p = new PuppeteerPage();
    Object.assign(p, {browser, page, profile, errors: []});
    page.on('pageerror', (e) => p.errors.push(e.message));
    if (initScript) await page.evaluateOnNewDocument(initScript);
    return p;
  }
  goto(url) { return this.page.goto(url); }
  async setFiles(selector, paths) {
    const h = await this.page.$(selector);
    await h.uploadFile(...paths);
  }
  evaluate(expression) { return this.page.evaluate(expression); }
  click(selector) { return this.page.click(selector); }
  screenshot(file) { return this.page.screenshot({path: file, fullPage: true}); }
  pids() { return descendants(this.browser.process()?.pid ?? process.pid); }
  async close() {
    await this.browser.close();
    fs.rmSync(this.profile, {recursive: true, force: true});
  }
}

class SeleniumPage {
  static async launch({viewport} = {}) {
    const x = await startXvfb();
    const port = await freePort();
    const driverProc = spawn('WebKitWebDriver', [`--port=${port}`], {stdio: 'ignore',
      env: {...process.env, DISPLAY: x.display}});
    try {
      await untilListening(port, 10000);
      const driver = await new Builder().usingServer(`http://127.0.0.1:${port}`)
          .withCapabilities({browserName: 'MiniBrowser',
                             'webkitgtk:browserOptions': {binary: MINIBROWSER,
                                                          args: ['--automation']}})
          .build();
      const {width, height} = viewport || {width: 1280, height: 900};
      await driver.manage().window().setRect({width, height}).catch(() => {});
      await driver.manage().setTimeouts({script: 600000});
      const p = new SeleniumPage();
      Object.assign(p, {driver, driverProc, x, errors: []});
      return p;
    } catch (e) {
      driverProc.kill();
      x.proc.kill();
      throw e;
    }
  }
  goto(url) { return this.driver.get(url); }
  async setFiles(selector, paths) {
    const input = await this.driver.findElement(By.css(selector));
    await input.sendKeys(paths.join('\n'));
  }
  // The expression's value, through JSON; a promise is waited for.
  async evaluate(expression) {
    const source = typeof expression === 'function' ? `(${expression})()` : expression;
    const text = await this.driver.executeAsyncScript(
        `const done = arguments[arguments.length - 1];
         Promise.resolve().then(() => ${source})
             .then((v) => done(JSON.stringify({v: v === undefined ? null : v})),
                   (e) => done(JSON.stringify({error: String(e && e.stack || e)})));`);
    const r = JSON.parse(text);
    if (r.error) throw new Error(r.error);
    return r.v;
  }
  click(selector) { return this.driver.findElement(By.css(selector)).click(); }
  async screenshot(file) { fs.writeFileSync(file, await this.driver.takeScreenshot(), 'base64'); }
  pids() { return descendants(this.driverProc.pid); }
  async close() {
    await this.driver.quit().catch(() => {});
    this.driverProc.kill();
    this.x.proc.kill();
  }
}

export function launch(engine, options = {}) {
  if (engine === 'chromium') return PlaywrightPage.launch(options);
  if (engine === 'firefox') return PuppeteerPage.launch(options);
  if (engine === 'webkit') return SeleniumPage.launch(options);
  throw new Error(`no engine ${engine}`);
}

// Every process started under `root`, `root` among them.
export function descendants(root) {
  const parent = new Map();
  for (const pid of fs.readdirSync('/proc').filter((d) => /^\d+$/.test(d))) {
    try {
      const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
      parent.set(Number(pid), Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]));
    } catch (e) { /* gone */ }
  }
  return [...parent.keys()].filter((pid) => {
    for (let p = pid; p > 1; p = parent.get(p) ?? 0) if (p === root) return true;
    return false;
  });
}
