// The page in each browser engine, side by side with that engine reading the
// same file alone: the seconds from choosing the 1 GiB recording to its
// verdict, against reading it by the same slices with no check (in a worker
// where the engine lets a worker read, else on the page, as the page does);
// and the browser's total memory, all its processes (proportional set size,
// so that shared pages count once), above its idle figure while the page
// checks the sparse recording over 4 GiB.
//   node web_bench.mjs ROOT PAGE DATA_DIR RUNS [ENGINE...]
import fs from 'node:fs';
import path from 'node:path';

const [root, pagePath, dataDir, runsText, ...picked] = process.argv.slice(2);
const {ENGINES, launch} = await import(path.join(root, 'tests/web/drivers.mjs'));
const engines = picked.length > 0 ? picked : ENGINES;
const runs = Number(runsText);
const big = path.join(dataDir, 'recording-1gib.avi');
const sparse = path.join(dataDir, 'recording-sparse-4gib.avi');
const pageUrl = `file://${path.resolve(pagePath)}`;
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

function totalMiB(pids) {
  let kb = 0;
  for (const pid of pids) {
    try {
      const m = /^Pss:\s+(\d+) kB/m.exec(fs.readFileSync(`/proc/${pid}/smaps_rollup`, 'utf8'));
      if (m) kb += Number(m[1]);
    } catch (e) { /* gone */ }
  }
  return kb / 1024;
}

async function ready(p) {
  await p.goto(pageUrl);
  for (let i = 0; i < 200 && !(await p.evaluate('outcomeWords !== null')); ++i) await sleep(50);
  await sleep(300);
}

// Seconds from choosing `file` to its verdict, and the peak of the
// browser's memory above what it held just before.
async function checkOnce(p, file) {
  await ready(p);
  const idle = totalMiB(p.pids());
  let peak = idle;
  let done = false;
  const sampler = (async () => {
    while (!done) {
      peak = Math.max(peak, totalMiB(p.pids()));
      await sleep(100);
    }
  })();
  const t0 = performance.now();
  await p.setFiles('#files', [file]);
  while (await p.evaluate(`document.querySelectorAll('.card.done').length`) === 0) await sleep(20);
  const seconds = (performance.now() - t0) / 1000;
  done = true;
  await sampler;
  const status = await p.evaluate(`document.querySelector('.card .badge').textContent`);
  return {seconds, above: peak - idle, idle, status};
}

// The engine reading the file alone, by the page's slices and read-ahead.
const READ_ALONE = `(async () => {
  const file = document.getElementById('bench-file').files[0];
  const source = \`onmessage = async (e) => {
    const file = e.data;
    const t0 = performance.now();
    try {
      await (\${readAll})(file);
      postMessage((performance.now() - t0) / 1000);
    } catch (err) {
      postMessage(null);
    }
  };\`;
  const w = new Worker(URL.createObjectURL(new Blob([source], {type: 'text/javascript'})));
  let seconds = await new Promise((resolve) => {
    w.onmessage = (e) => resolve(e.data);
    w.postMessage(file);
  });
  w.terminate();
  let where = 'worker';
  if (seconds === null) {
    where = 'page';
    const t0 = performance.now();
    await readAll(file);
    seconds = (performance.now() - t0) / 1000;
  }
  return {seconds, where};
})()`;
const READ_ALL = `async function readAll(file) {
  const piece = 4 * 1024 * 1024;
  const ahead = [];
  let next = 0;
  const more = () => {
    while (ahead.length < 3 && next < file.size) {
      ahead.push(file.slice(next, next + piece).arrayBuffer());
      next += piece;
    }
  };
  more();
  while (ahead.length > 0) {
    await ahead.shift();
    more();
  }
}`;

async function readOnce(p, file) {
  await ready(p);
  await p.evaluate(`(document.body.append(Object.assign(document.createElement('input'),
      {type: 'file', id: 'bench-file'})), window.readAll = ${READ_ALL}, true)`);
  await p.setFiles('#bench-file', [file]);
  return p.evaluate(READ_ALONE.replace('${readAll}', '${window.readAll}'));
}

const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];
const size = fs.statSync(big).size;
const sparseSize = fs.statSync(sparse).size;
const loadBefore = fs.readFileSync('/proc/loadavg', 'utf8').split(' ').slice(0, 3).join(' ');
const rows = [];
for (const engine of engines) {
  const p = await launch(engine);
  try {
    const checks = [];
    const reads = [];
    const sparseRuns = [];
    let where = '';
    for (let i = 0; i < runs; ++i) {
      const r = await readOnce(p, big);
      reads.push(r.seconds);
      where = r.where;
      checks.push(await checkOnce(p, big));
      sparseRuns.push(await checkOnce(p, sparse));
    }
    for (const r of [...checks, ...sparseRuns]) {
      if (!/Damaged/.test(r.status)) throw new Error(`${engine}: unexpected verdict ${r.status}`);
    }
    const suspension = await p.evaluate('document.documentElement.dataset.suspension');
    const readPath = await p.evaluate('document.documentElement.dataset.readPath || "worker"');
    const c = median(checks.map((r) => r.seconds));
    const rd = median(reads);
    rows.push({engine, check: c, read: rd, ratio: rd / c, where, suspension, readPath,
               bigAbove: median(checks.map((r) => r.above)),
               sparseAbove: median(sparseRuns.map((r) => r.above)),
               sparseSeconds: median(sparseRuns.map((r) => r.seconds)),
               idle: median(sparseRuns.map((r) => r.idle))});
  } finally {
    await p.close();
  }
}
const loadAfter = fs.readFileSync('/proc/loadavg', 'utf8').split(' ').slice(0, 3).join(' ');

const gbs = (s) => (size / s / 1e9).toFixed(2);
console.log(`The page from file://, 1 GiB recording (${size} bytes), median of ${runs}; ` +
            `load average ${loadBefore} before, ${loadAfter} after`);
console.log(`  ${'engine'.padEnd(10)}${'check s'.padStart(9)}${'GB/s'.padStart(7)}` +
            `${'read s'.padStart(9)}${'GB/s'.padStart(7)}${'ratio'.padStart(7)}  how` +
            '                          target: ratio >= 0.80');
for (const r of rows) {
  console.log(`  ${r.engine.padEnd(10)}${r.check.toFixed(3).padStart(9)}${gbs(r.check).padStart(7)}` +
              `${r.read.toFixed(3).padStart(9)}${gbs(r.read).padStart(7)}${r.ratio.toFixed(2).padStart(7)}` +
              `  ${r.suspension}, reads in the ${r.readPath === 'page' ? 'page' : 'worker'}`);
}
console.log(`Browser memory above idle, all processes (PSS, MiB), median of ${runs}; ` +
            'target: below 300 MiB for the sparse recording');
console.log(`  ${'engine'.padEnd(10)}${'idle'.padStart(8)}${'1 GiB'.padStart(8)}` +
            `${`sparse ${sparseSize}`.padStart(20)}${'sparse s'.padStart(10)}`);
for (const r of rows) {
  console.log(`  ${r.engine.padEnd(10)}${r.idle.toFixed(0).padStart(8)}${r.bigAbove.toFixed(0).padStart(8)}` +
              `${r.sparseAbove.toFixed(0).padStart(20)}${r.sparseSeconds.toFixed(2).padStart(10)}`);
}
