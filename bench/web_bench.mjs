// Times the page checking the 1 GiB recording and reads the renderer's peak
// resident memory (VmHWM) while it checks the sparse recording over 4 GiB.
//   node web_bench.mjs ROOT PAGE DATA_DIR RUNS
import fs from 'node:fs';
import {createRequire} from 'node:module';
import path from 'node:path';

const [root, pagePath, dataDir, runsText] = process.argv.slice(2);
const {chromium} = createRequire(path.join(root, 'tests/web/package.json'))('playwright-core');
const runs = Number(runsText);
const big = path.join(dataDir, 'recording-1gib.avi');
const sparse = path.join(dataDir, 'recording-sparse-4gib.avi');

// Every renderer process started under this one.
function rendererPids() {
  const parent = new Map();
  for (const pid of fs.readdirSync('/proc').filter((d) => /^\d+$/.test(d))) {
    try {
      const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
      parent.set(Number(pid), Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]));
    } catch (e) { /* gone */ }
  }
  const under = (pid) => {
    for (let p = pid; p > 1; p = parent.get(p) ?? 0) if (p === process.pid) return true;
    return false;
  };
  return [...parent.keys()].filter((pid) => {
    if (!under(pid)) return false;
    try {
      return fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8').includes('--type=renderer');
    } catch (e) {
      return false;
    }
  });
}

function peakMiB(pids) {
  let peak = 0;
  for (const pid of pids) {
    try {
      const m = /VmHWM:\s+(\d+) kB/.exec(fs.readFileSync(`/proc/${pid}/status`, 'utf8'));
      if (m) peak = Math.max(peak, Number(m[1]) / 1024);
    } catch (e) { /* gone */ }
  }
  return peak;
}

// Checks `file` in a fresh browser; returns the seconds from choosing the file
// to its verdict, and the renderer's peak memory.
async function checkOnce(file) {
  const browser = await chromium.launch({executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
                                         headless: true});
  try {
    const page = await browser.newPage();
    await page.goto(`file://${path.resolve(pagePath)}`);
    await page.locator('#save').waitFor();
    await new Promise((r) => setTimeout(r, 300));
    const t0 = performance.now();
    await page.setInputFiles('#files', file);
    while ((await page.locator('.card.done').count()) === 0) {
      await new Promise((r) => setTimeout(r, 10));
    }
    const seconds = (performance.now() - t0) / 1000;
    const status = await page.locator('.card .badge').textContent();
    return {seconds, peak: peakMiB(rendererPids()), status};
  } finally {
    await browser.close();
  }
}

// The browser's own speed at reading the file in a worker, through the same
// kind of stream and reads as the page, with nothing else: what the check's
// speed is to be compared with on a given machine.
async function readOnce(file) {
  const browser = await chromium.launch({executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
                                         headless: true});
  try {
    const page = await browser.newPage();
    await page.setContent('<input type="file" id="f">');
    await page.setInputFiles('#f', file);
    const seconds = await page.evaluate(async () => {
      const source = `onmessage = async (e) => {
        const size = 4 << 20;
        const reader = e.data.stream().getReader({mode: 'byob'});
        let buffer = new ArrayBuffer(size);
        const t0 = performance.now();
        for (;;) {
          const {value, done} = await reader.read(new Uint8Array(buffer, 0, size));
          if (done) break;
          buffer = value.buffer;
        }
        postMessage((performance.now() - t0) / 1000);
      }`;
      const worker = new Worker(URL.createObjectURL(new Blob([source])));
      return new Promise((resolve) => {
        worker.onmessage = (e) => resolve(e.data);
        worker.postMessage(document.getElementById('f').files[0]);
      });
    });
    return {seconds, peak: peakMiB(rendererPids())};
  } finally {
    await browser.close();
  }
}

const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];
const bigRuns = [];
const sparseRuns = [];
const readRuns = [];
for (let i = 0; i < runs; ++i) {
  readRuns.push(await readOnce(big));
  bigRuns.push(await checkOnce(big));
  sparseRuns.push(await checkOnce(sparse));
}
for (const r of [...bigRuns, ...sparseRuns]) {
  if (!/Damaged/.test(r.status)) throw new Error(`unexpected verdict: ${r.status}`);
}
const row = (name, size, rs, target) => {
  const s = median(rs.map((r) => r.seconds));
  return `  ${name.padEnd(28)}${String(size).padStart(12)}${s.toFixed(3).padStart(9)}` +
         `${(size / s / 1e9).toFixed(2).padStart(8)}${median(rs.map((r) => r.peak)).toFixed(0).padStart(11)}` +
         `   ${target}`;
};
console.log(`The page in headless Chromium, from choosing the file to its verdict (median of ${runs})`);
console.log(`  ${'file'.padEnd(28)}${'bytes'.padStart(12)}${'wall s'.padStart(9)}${'GB/s'.padStart(8)}` +
            `${'peak MiB'.padStart(11)}   target`);
console.log(row('recording-1gib.avi', fs.statSync(big).size, bigRuns, '>= 0.5 GB/s'));
console.log(row('  (stream read alone)', fs.statSync(big).size, readRuns,
                'the browser reading the file, no check'));
console.log(row('recording-sparse-4gib.avi', fs.statSync(sparse).size, sparseRuns,
                'renderer peak < 300 MiB'));
