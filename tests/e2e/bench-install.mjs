// Benchmark (not a test): installs a payload of 2,000 files (200 MB) with the
// real installer and copies the same folder with cp -r, side by side. The
// installer's extra cost is its bridge round trips, counted and timed here.
import { spawnSync } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import { INSTALLER, freshUser, copyPayload, scratch, listTree, startProgram, closeProgram } from './lib/fixture.mjs';

const FOLDERS = 20;
const FILES_PER_FOLDER = 100;
const FILE_BYTES = 100 * 1024;

const source = copyPayload('bench-payload');
const programFiles = listTree(source).length;
const block = crypto.randomBytes(FILE_BYTES);
for (let d = 0; d < FOLDERS; d++) {
  const dir = path.join(source, 'data', `part${String(d).padStart(2, '0')}`);
  fs.mkdirSync(dir, { recursive: true });
  for (let f = 0; f < FILES_PER_FOLDER; f++) {
    block.writeUInt32LE(d * FILES_PER_FOLDER + f, 0); // every file different
    fs.writeFileSync(path.join(dir, `file${String(f).padStart(3, '0')}.bin`), block);
  }
}
const files = listTree(source).length;
const bytes = listTree(source).reduce((sum, f) => sum + fs.statSync(path.join(source, f)).size, 0);

function timeCp() {
  const dest = path.join(scratch('bench-cp'), 'copy');
  const start = process.hrtime.bigint();
  const result = spawnSync('cp', ['-r', source, dest]);
  const seconds = Number(process.hrtime.bigint() - start) / 1e9;
  if (result.status !== 0) throw new Error('cp -r failed');
  fs.rmSync(dest, { recursive: true, force: true });
  return seconds;
}
timeCp(); // warm the page cache for both contenders
const cpSeconds = Math.min(timeCp(), timeCp());

const user = freshUser('bench');
const target = path.join(user.root, 'Bench', 'Tidewell');
const { app, page } = await startProgram(source, INSTALLER, user);
let report;
try {
  await page.eval(`(() => {
    document.getElementById("installDir").value = ${JSON.stringify(target)};
    const button = document.getElementById("installBtn");
    button.addEventListener("click", () => { window.__start = performance.now(); }, true);
    new MutationObserver(() => { if (button.textContent === "打开") window.__end = performance.now(); })
      .observe(button, { childList: true, characterData: true, subtree: true });
    return true;
  })()`);
  await page.click('#installBtn');
  await page.waitFor('window.__end !== undefined || document.getElementById("installBtn").textContent === "重新安装"', 600000);
  const outcome = await page.eval('({ ms: window.__end - window.__start, button: document.getElementById("installBtn").textContent })');
  if (outcome.button !== '打开') throw new Error('the installation failed');
  // The price of one round trip on its own: a stat of a file that exists, a listing of 100 entries.
  const probe = JSON.stringify(path.join(target, 'data', 'part00', 'file000.bin'));
  const folder = JSON.stringify(path.join(target, 'data', 'part00'));
  const copies = JSON.stringify(path.join(user.root, 'probe-copies'));
  const perCallMs = await page.eval(`import("@sys").then((sys) => {
    let t = performance.now();
    for (let i = 0; i < 2000; i++) sys.fs.sync.stat(${probe});
    const stat = (performance.now() - t) / 2000;
    t = performance.now();
    for (let i = 0; i < 200; i++) sys.fs.sync.readdir(${folder});
    const readdir = (performance.now() - t) / 200;
    sys.fs.sync.mkdir(${copies});
    t = performance.now();
    for (let i = 0; i < 200; i++) sys.fs.sync.copyfile(${probe}, ${copies} + "/" + i);
    return { stat, readdir, copyfile: (performance.now() - t) / 200 };
  })`);
  report = { ...outcome, perCallMs };
} finally {
  await closeProgram(app);
}

// The installer's calls follow from the trees: a listing per folder to count, a listing,
// a stat and a mkdir per folder and a copy per file to copy, a listing per folder and a
// stat per file to size the result, and 15 service calls around them.
const folders = (dir) => 1 + fs.readdirSync(dir, { withFileTypes: true })
  .filter((e) => e.isDirectory()).reduce((n, e) => n + folders(path.join(dir, e.name)), 0);
const sourceFolders = folders(source);
const installed = listTree(target).length;
const calls = {
  'sys.fs.sync.readdir': 2 * sourceFolders + folders(target),
  'sys.fs.sync.stat': sourceFolders - 1 + installed,
  'sys.fs.sync.mkdir': sourceFolders - 1,
  'sys.fs.sync.copyfile': installed,
  'NativeUtil (log, checks, shortcut, registry)': 15,
};
const roundTrips = Object.values(calls).reduce((sum, n) => sum + n, 0);
const bridgeMs = roundTrips * report.perCallMs.stat;
const installSeconds = report.ms / 1000;
const fixedWaitMs = 600; // the 300 ms pauses at 5 % and at 100 %
console.log(`payload: ${files} files (${files - programFiles} data files + ${programFiles} program files), ${(bytes / 1e6).toFixed(1)} MB in ${sourceFolders} folders; installed ${installed} files`);
console.log('');
console.log('                      seconds   ratio');
console.log(`cp -r               ${cpSeconds.toFixed(3).padStart(9)}   1.00`);
console.log(`Tidewell installer  ${installSeconds.toFixed(3).padStart(9)}   ${(installSeconds / cpSeconds).toFixed(2)}   (click to "打开", ${fixedWaitMs} ms of it the two progress pauses)`);
console.log('');
console.log(`bridge round trips: ${roundTrips}; one stat round trip ${(report.perCallMs.stat * 1000).toFixed(0)} µs, one listing of 100 entries ${(report.perCallMs.readdir * 1000).toFixed(0)} µs`);
console.log(`one copyfile of a 100 KB file ${(report.perCallMs.copyfile * 1000).toFixed(0)} µs: ${installed} copies take about ${((installed * report.perCallMs.copyfile) / 1000).toFixed(3)} s`);
console.log(`round-trip overhead: about ${(bridgeMs / 1000).toFixed(3)} s, ${((bridgeMs / report.ms) * 100).toFixed(0)} % of the run`);
for (const [name, n] of Object.entries(calls)) console.log(`  ${name.padEnd(46)} ${String(n).padStart(6)}`);
