// The X server side of end-to-end tests: a program's windows, a real drag
// and drop, and pixels as the server holds them.
//
//   visibleWindows(pid)          ids of the process's mapped windows
//   await dragOnto(window, url)  drags url with the real mouse from a source
//                                window onto window (XDND); answers the drop
//                                action the window accepted, 0 for none
//   windowPixels(window, points) AARRGGBB of each [x, y] of the window
import { execFileSync, spawn } from 'node:child_process';
import path from 'node:path';

const binDir = path.join(process.env.TW_BUILD_DIR ?? path.resolve('../../build'), 'bin');
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const xdotool = (...args) => execFileSync('xdotool', args.map(String), { encoding: 'utf8' });

export function visibleWindows(pid) {
  try {
    return xdotool('search', '--onlyvisible', '--pid', pid).split('\n').filter(Boolean);
  } catch {
    return []; // xdotool exits 1 when nothing matches
  }
}

export async function dragOnto(window, url) {
  const source = spawn(path.join(binDir, 'drag-source'), [url], { stdio: ['ignore', 'pipe', 'inherit'] });
  let out = '';
  source.stdout.on('data', (chunk) => (out += chunk));
  try {
    for (let i = 0; i < 100 && !out.includes('ready'); i++) await sleep(50);
    if (!out.includes('ready')) throw new Error('the drag source did not start');
    xdotool('mousemove', 60, 60, 'mousedown', 1);
    await sleep(200);
    for (const [x, y] of [[80, 80], [200, 200], [250, 180], [300, 200], [320, 210]]) {
      xdotool('mousemove', '--window', window, x, y);
      await sleep(150);
    }
    xdotool('mouseup', 1);
    for (let i = 0; i < 100 && !/drag ended/.test(out); i++) await sleep(50);
    const ended = /drag ended (\d+)/.exec(out);
    if (!ended) throw new Error('the drag did not end');
    return Number(ended[1]);
  } finally {
    source.kill();
  }
}

export function windowPixels(window, points) {
  return execFileSync(path.join(binDir, 'window-pixels'), [window, ...points.flat().map(String)], { encoding: 'utf8' })
    .trim()
    .split('\n');
}
