// Benchmark (not a test): installs a payload of 2,000 data files (100 KiB
// each) with the real installer and copies the same tree with a native loop
// (readdir, mkdir and copyFileSync in this process), alternating the two,
// each run on a freshly written tree, nothing deleted between runs. Prints
// min, median and max of each, the installer's round trips (counted in the
// page over DevTools) and their mean cost beyond the native copy and the
// page's pauses, and a no-op round trip in the installer page during a copy
// beside a bare window.prompt round trip (engine-bench-peer).
import { spawnSync } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import { INSTALLER, binDir, payloadDir, freshUser, copyPayload, scratch, listTree, treeBytes, startProgram, closeProgram, sleep } from './lib/fixture.mjs';

const RUNS = Math.max(5, Number(process.env.TW_BENCH_RUNS) || 5);
const FOLDERS = 20;
const FILES_PER_FOLDER = 100;
const FILE_BYTES = 100 * 1024;
const PAUSES_MS = 600; // the page's 300 ms pauses at 5 % and at 100 %

const programFiles = listTree(payloadDir).length;

// A new payload folder for every run, its data files freshly written and
// flushed, so that no run copies what the run before it left in the page
// cache's dirty pages. Nothing is deleted until all runs are done: on an
// ext4 without a journal, every inode deleted in the last 30 seconds is
// skipped, one by one, by each inode allocation that follows, which would
// make every run pay for the deletions of the runs before it.
function freshPayload() {
  const source = copyPayload('bench-payload');
  const block = crypto.randomBytes(FILE_BYTES);
  for (let d = 0; d < FOLDERS; d++) {
    const dir = path.join(source, 'data', `part${String(d).padStart(2, '0')}`);
    fs.mkdirSync(dir, { recursive: true });
    for (let f = 0; f < FILES_PER_FOLDER; f++) {
      block.writeUInt32LE(d * FILES_PER_FOLDER + f, 0);
      fs.writeFileSync(path.join(dir, `file${String(f).padStart(3, '0')}.bin`), block);
    }
  }
  spawnSync('sync');
  return source;
}

// The installer's copies without the page: every entry but the installer.
function nativeCopy(from, to) {
  fs.mkdirSync(to, { recursive: true });
  for (const entry of fs.readdirSync(from, { withFileTypes: true })) {
    if (entry.name === INSTALLER) continue;
    const a = path.join(from, entry.name);
    const b = path.join(to, entry.name);
    if (entry.isDirectory()) nativeCopy(a, b);
    else fs.copyFileSync(a, b);
  }
}

function timeNative() {
  const source = freshPayload();
  const dest = path.join(scratch('bench-native'), 'Tidewell');
  const start = process.hrtime.bigint();
  nativeCopy(source, dest);
  return Number(process.hrtime.bigint() - start) / 1e9;
}

// One installation in a new process; before(page) runs before the click,
// during(page) while it goes on, after(page) once it is done.
async function install({ before, during, after } = {}) {
  const source = freshPayload();
  const user = freshUser('bench');
  const target = path.join(user.root, 'Bench', 'Tidewell');
  const { app, page } = await startProgram(source, INSTALLER, user);
  try {
    // A user's installer has no DevTools client: no dialog events go out.
    await page.send('Page.disable');
    await page.eval(`(() => {
      document.getElementById("installDir").value = ${JSON.stringify(target)};
      const button = document.getElementById("installBtn");
      button.addEventListener("click", () => { window.__start = performance.now(); }, true);
      new MutationObserver(() => { if (button.textContent === "打开") window.__end = performance.now(); })
        .observe(button, { childList: true, characterData: true, subtree: true });
      return true;
    })()`);
    if (before) await before(page);
    await page.click('#installBtn');
    const extra = during ? await during(page) : undefined;
    await page.waitFor('window.__end !== undefined || document.getElementById("installBtn").textContent === "重新安装"', 600000);
    const outcome = await page.eval('({ ms: window.__end - window.__start, button: document.getElementById("installBtn").textContent })');
    if (outcome.button !== '打开') throw new Error(`the installation failed\n${app.stderr}`);
    return { seconds: outcome.ms / 1000, extra, done: after ? await after(page) : undefined, installed: listTree(target).length };
  } finally {
    await closeProgram(app);
  }
}

const stats = (values) => {
  const sorted = [...values].sort((a, b) => a - b);
  return { min: sorted[0], median: sorted[sorted.length >> 1], max: sorted[sorted.length - 1] };
};
const row = (name, s, unit = 's', digits = 3) =>
  `${name.padEnd(34)} ${[s.min, s.median, s.max].map((v) => v.toFixed(digits).padStart(9)).join(' ')}  ${unit}`;

// Deletions made just before the benchmark (a test run's clean-up) would
// weigh on its first runs in the same way: on a disk they age out first.
const TMPFS_MAGIC = 0x01021994;
const where = fs.statfsSync(scratch('bench-where'));
const inMemory = where.type === TMPFS_MAGIC;
// Every run keeps its payload and its copy until the end.
const needed = (2 * RUNS + 2) * 2 * (treeBytes(payloadDir) + FOLDERS * FILES_PER_FOLDER * FILE_BYTES);
if (where.bavail * where.bsize < needed) {
  console.log(`skipped: ${process.env.TMPDIR} has ${(where.bavail * where.bsize / 1e9).toFixed(1)} GB free, the runs need ${(needed / 1e9).toFixed(1)} GB`);
  process.exit(0);
}
if (!inMemory) {
  const expireSeconds = Number(fs.readFileSync('/proc/sys/vm/dirty_expire_centisecs', 'utf8')) / 100;
  spawnSync('sync');
  console.log(`waiting ${expireSeconds + 5} s for earlier deletions to age out`);
  await sleep((expireSeconds + 5) * 1000);
}

// Alternating, so that both meet the same state of the machine.
const nativeSeconds = [];
const installSeconds = [];
let installed = 0;
for (let run = 0; run < RUNS; run++) {
  const pair = [() => nativeSeconds.push(timeNative()), async () => {
    const result = await install();
    installSeconds.push(result.seconds);
    installed = result.installed;
  }];
  if (run % 2) pair.reverse();
  for (const step of pair) await step();
}

// The round trips of one installation, counted in the page: every bridge
// message goes through the runtime's raw(), a long one as several prompts.
const counted = await install({
  before: async (page) => {
    await page.send('Profiler.enable');
    await page.send('Profiler.startPreciseCoverage', { callCount: true, detailed: false });
  },
  after: async (page) => (await page.send('Profiler.takePreciseCoverage')).result,
});
const coverage = counted.done;
const calls = {};
for (const script of coverage) {
  if (!script.url.includes('tidewell-runtime')) continue;
  for (const fn of script.functions) calls[fn.functionName] = (calls[fn.functionName] ?? 0) + fn.ranges[0].count;
}
const roundTrips = calls.raw ?? 0;

// No-op round trips in the installer page: bursts while the copy runs (the
// page takes them between its time slices), then the idle page after it.
const NOOP = `(n) => { const t = new Float64Array(n); for (let i = 0; i < n; i++) { const s = performance.now(); Window.this.frameType; t[i] = performance.now() - s; } return [...t]; }`;
const probed = await install({
  during: async (page) => {
    const times = [];
    for (;;) {
      const burst = await page.eval(`(() => {
        const tip = document.getElementById("progressTip").textContent;
        if (document.getElementById("installBtn").textContent === "打开") return { done: true };
        if (!tip.startsWith("正在复制文件")) return { times: [] };
        return { times: (${NOOP})(20) };
      })()`);
      if (burst.done) return times;
      times.push(...burst.times);
      await sleep(5);
    }
  },
  after: (page) => page.eval(`(${NOOP})(500), (${NOOP})(3000)`),
});
const idle = probed.done;
const median = (values) => [...values].sort((a, b) => a - b)[values.length >> 1] * 1000;
const noopDuring = median(probed.extra);
const noopIdle = median(idle);

// A bare Qt WebEngine page answering window.prompt, in its own process.
const peer = spawnSync(path.join(binDir, 'engine-bench-peer'), { encoding: 'utf8' });
const peerFigures = JSON.parse(peer.stdout.trim().split('\n').pop());
const bare = peerFigures.calls[0].median;
const bareBursts = peerFigures.bursts.median;

const files = programFiles + FOLDERS * FILES_PER_FOLDER;
const native = stats(nativeSeconds);
const inst = stats(installSeconds);
const overhead = inst.median - native.median - PAUSES_MS / 1000;
console.log(`trees ${inMemory ? 'in memory (tmpfs)' : 'on the disk'} under ${process.env.TMPDIR}`);
console.log(`payload: ${files} files (${files - programFiles} data files + ${programFiles} program files); installed ${installed} files; ${RUNS} runs of each, alternating, each on a freshly written tree, nothing deleted between runs`);
console.log('');
console.log(`${''.padEnd(34)} ${['min', 'median', 'max'].map((h) => h.padStart(9)).join(' ')}`);
console.log(row('native copy loop (copyFileSync)', native));
console.log(row('Tidewell installer', inst));
console.log(`installer - (native + ${PAUSES_MS} ms of pauses): ${overhead.toFixed(3)} s (aim: within 1.5 s)`);
console.log('');
console.log(`bridge round trips in one installation: ${roundTrips} (counted in the page)`);
console.log(`mean cost of a round trip beyond the native copy and the pauses: ${roundTrips ? ((overhead / roundTrips) * 1e6).toFixed(0) : '-'} µs`);
console.log(`no-op round trip, median: bare prompt ${bare.toFixed(0)} µs back to back, ${bareBursts.toFixed(0)} µs in bursts of 20; installer page idle ${noopIdle.toFixed(0)} µs back to back`);
console.log(`  during the copy, in bursts of 20: ${noopDuring.toFixed(0)} µs (${probed.extra.length} calls), ${(noopDuring / bareBursts).toFixed(2)}× the bare prompt in bursts (aim: within 1.3×)`);
