// Puts the page together: style, script, worker source and both builds of
// the module (as base64) inlined into one HTML file that needs nothing else.
//   node bundle.mjs WEB_DIR JSPI.wasm ASYNCIFY.wasm VERSION OUT.html
import {readFileSync, writeFileSync} from 'node:fs';
import {join} from 'node:path';

const [dir, jspiPath, asyncifyPath, version, outPath] = process.argv.slice(2);
if (!/^\d+\.\d+\.\d+\.\d+$/.test(version ?? '')) throw new Error(`version '${version}' is not four numbers`);
const read = (name) => readFileSync(join(dir, name), 'utf8');
const script = read('page.js');
if (!script.includes("'/*VERSION*/'")) throw new Error('page.js names no version');
const parts = {
  '/*STYLE*/': read('page.css'),
  // The page tells the version of the build it belongs to.
  '/*SCRIPT*/': script.replace("'/*VERSION*/'", () => `'${version}'`),
  '/*WORKER*/': read('worker.js'),
  // The same engine runs on the page, for joining the results and where no
  // worker can start.
  '/*ENGINE*/': read('worker.js'),
  '/*WASM_JSPI*/': readFileSync(jspiPath).toString('base64'),
  '/*WASM_ASYNCIFY*/': readFileSync(asyncifyPath).toString('base64'),
};
let html = read('page.html');
for (const [mark, text] of Object.entries(parts)) {
  if (/<\/script/i.test(text)) throw new Error(`${mark} holds a closing script tag`);
  html = html.replace(mark, () => text);
}
writeFileSync(outPath, html);
