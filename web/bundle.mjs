// Puts the page together: style, script, worker source and the module (as
// base64) inlined into one HTML file that needs nothing else.
//   node bundle.mjs WEB_DIR MODULE.wasm OUT.html
import {readFileSync, writeFileSync} from 'node:fs';
import {join} from 'node:path';

const [dir, wasmPath, outPath] = process.argv.slice(2);
const read = (name) => readFileSync(join(dir, name), 'utf8');
const parts = {
  '/*STYLE*/': read('page.css'),
  '/*SCRIPT*/': read('page.js'),
  '/*WORKER*/': read('worker.js'),
  '/*WASM*/': readFileSync(wasmPath).toString('base64'),
};
let html = read('page.html');
for (const [mark, text] of Object.entries(parts)) {
  if (/<\/script/i.test(text)) throw new Error(`${mark} holds a closing script tag`);
  html = html.replace(mark, () => text);
}
writeFileSync(outPath, html);
