// Benchmark (not a test): the time from starting the application to its
// overview shown, and the frame times while a result list of 100,000
// entries scrolls, beside the cost of building the same rows as plain DOM.
import path from 'node:path';
import { launch } from '../node/lib/driver.mjs';
import { APP, freshUser, copyPayload } from './lib/fixture.mjs';

const ROWS = 100000;
const RUNS = 3;
const folder = copyPayload('bench-app');

async function startOnce() {
  const user = freshUser('bench-app');
  const started = process.hrtime.bigint();
  const app = await launch({ program: path.join(folder, APP), cwd: folder, env: user.env });
  const page = await app.page({ urlIncludes: 'main.html', timeoutMs: 30000 });
  await page.waitFor(`document.querySelectorAll('#drives .drive').length > 0`, 30000);
  const ms = Number(process.hrtime.bigint() - started) / 1e6;
  const phases = await page.eval(`(() => { const t = performance.timing; return t.domContentLoadedEventEnd - t.domInteractive; })()`);
  return { app, page, ms, phases };
}

const starts = [];
const loads = [];
let session;
for (let i = 0; i < RUNS; i++) {
  session = await startOnce();
  starts.push(session.ms);
  loads.push(session.phases);
  if (i < RUNS - 1) {
    session.app.kill();
    await session.app.exited;
  }
}
const { app, page } = session;
try {
  await page.click('.nav-item[data-section="large"]');
  const figures = await page.eval(`(async () => {
    const { largeFiles } = await import('/main/js/large.js');
    const rows = [];
    for (let i = 0; i < ${ROWS}; i++)
      rows.push({ name: 'file-' + i + '.bin', path: '/data/folder-' + (i % 97) + '/file-' + i + '.bin', size: ${ROWS} - i, modifiedTime: '2024-01-01 12:00' });
    const t0 = performance.now();
    largeFiles().setItems(rows);
    const setMs = performance.now() - t0;
    const list = document.getElementById('largeList');
    const frames = [];
    let last = performance.now();
    await new Promise((resolve) => {
      let step = 0;
      const tick = (now) => {
        frames.push(now - last);
        last = now;
        list.scrollTop += 1800; // about fifty rows a frame, a fast fling
        if (++step < 600) requestAnimationFrame(tick);
        else resolve();
      };
      requestAnimationFrame(tick);
    });
    frames.shift();
    frames.sort((a, b) => a - b);
    const rendered = list.querySelectorAll('.vlist-row').length;
    // The same rows as plain DOM, for comparison.
    const plain = document.createElement('div');
    const t1 = performance.now();
    let html = '';
    for (const r of rows) html += '<div class="row"><span>' + r.name + '</span><span>' + r.size + '</span><span>' + r.path + '</span></div>';
    plain.innerHTML = html;
    document.body.appendChild(plain);
    void plain.offsetHeight;
    const plainMs = performance.now() - t1;
    plain.remove();
    return {
      setMs, rendered,
      mean: frames.reduce((s, f) => s + f, 0) / frames.length,
      p95: frames[Math.floor(frames.length * 0.95)],
      max: frames[frames.length - 1],
      plainMs,
    };
  })()`);
  const sorted = [...starts].sort((a, b) => a - b);
  console.log(`start to overview shown (${RUNS} runs): median ${sorted[Math.floor(RUNS / 2)].toFixed(0)} ms, best ${sorted[0].toFixed(0)} ms; interactive to content loaded: median ${[...loads].sort((a, b) => a - b)[Math.floor(RUNS / 2)]} ms`);
  console.log(`${ROWS} entries: list filled in ${figures.setMs.toFixed(1)} ms, ${figures.rendered} rows in the DOM`);
  console.log(`scrolling 600 frames: mean ${figures.mean.toFixed(1)} ms, p95 ${figures.p95.toFixed(1)} ms, max ${figures.max.toFixed(1)} ms per frame`);
  console.log(`beside it, the same rows built as plain DOM: ${figures.plainMs.toFixed(0)} ms`);
} finally {
  app.kill();
  await app.exited;
}
