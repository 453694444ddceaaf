// The main job without a display: installs build/payload for the current user
// by clicking through the installer over the inspector, then shows the result.
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { launch } from './lib/driver.mjs';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const build = process.env.TW_BUILD_DIR || path.join(root, 'build');
const payload = path.join(build, 'payload');
const shots = path.join(build, 'screenshots');
fs.mkdirSync(shots, { recursive: true });
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

function dataHome() {
  return process.env.XDG_DATA_HOME || path.join(os.homedir(), '.local', 'share');
}

function tree(dir, prefix = '') {
  if (!fs.existsSync(dir)) return [];
  return fs.readdirSync(dir, { withFileTypes: true }).sort((a, b) => a.name.localeCompare(b.name)).flatMap((e) => {
    const rel = prefix + e.name;
    if (e.isDirectory()) return tree(path.join(dir, e.name), rel + '/');
    return [`${String(fs.statSync(path.join(dir, e.name)).size).padStart(12)}  ${rel}`];
  });
}

const installer = await launch({ program: path.join(payload, 'Tidewell-installer.exe'), cwd: payload });
let exitCode = 1;
try {
  const page = await installer.page({ urlIncludes: 'installer.html', timeoutMs: 30000 });
  await page.waitFor('document.readyState === "complete"', 15000);
  const installDir = await page.eval('document.getElementById("installDir").value');
  const desktop = await page.eval('NativeUtil.getDesktopPath()');
  console.log(`Installing for user ${os.userInfo().username} into ${installDir}, the installer's default folder.`);
  await page.screenshot(path.join(shots, 'main-job-1-ready.png'));
  await page.click('#installBtn');
  await page.screenshot(path.join(shots, 'main-job-2-running.png'));
  const outcome = await waitForOutcome(page);
  await sleep(400);
  await page.screenshot(path.join(shots, 'main-job-3-done.png'));
  if (outcome.state !== '打开') {
    const what = outcome.state === 'refused' ? 'The installer refused' : 'The installation failed';
    throw new Error(`${what}: "${outcome.toasts.join(' / ')}"`);
  }

  const app = path.join(installDir, 'Tidewell-app.exe');
  if (!fs.existsSync(app)) throw new Error(`The installer reported success, but ${app} is missing`);
  console.log(`\nInstalled files (${installDir}):`);
  for (const line of tree(installDir)) console.log(line);
  const menuEntry = path.join(dataHome(), 'applications', '潮井.desktop');
  if (!fs.existsSync(menuEntry)) throw new Error(`The application menu entry ${menuEntry} is missing`);
  const shortcut = desktop ? path.join(desktop, '潮井.desktop') : '';
  if (shortcut && !fs.existsSync(shortcut)) throw new Error(`The desktop launcher ${shortcut} is missing`);
  for (const [what, file] of [['Desktop launcher', shortcut], ['Application menu entry', menuEntry]]) {
    if (!file) continue;
    console.log(`\n${what} ${file}:`);
    console.log(fs.readFileSync(file, 'utf8').trimEnd());
  }
  const key = 'HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tidewell';
  const exported = spawnSync(path.join(build, 'bin', 'regtool'), ['export', key], { encoding: 'utf8' });
  console.log(`\nregtool export ${key}:`);
  console.log((exported.stdout + exported.stderr).trimEnd());

  // "打开" starts the installed application and closes the installer.
  page.click('#installBtn').catch(() => {}); // the window closes under the click
  exitCode = await installer.exit(15000);
  console.log(`\nThe installer closed with exit code ${exitCode}; the application starts from ${installDir}.`);
  await showApplication(installDir);
  console.log(`\nThe application is installed in ${installDir}.`);
  console.log(shortcut
    ? `Its launchers are ${shortcut} on the desktop and ${menuEntry} in the application menu.`
    : `There is no desktop folder, so there is no desktop launcher; the launcher is ${menuEntry} in the application menu.`);
  console.log(`To remove it, run ${path.join(installDir, 'Tidewell-unstaller.exe')} and click "开始卸载".`);
} finally {
  installer.kill();
}
process.exit(exitCode);

function toastsOf(page) {
  return page.eval('[...document.querySelectorAll(".toast-message")].map((t) => t.textContent)');
}

// Waits for the run to end, printing the page's progress at least every
// 10 s; a refusal (the warning toast, nothing running) ends it at once.
async function waitForOutcome(page) {
  const started = Date.now();
  let lastLine = 0;
  for (;;) {
    const state = await page.eval(`(() => {
      const $ = (id) => document.getElementById(id);
      return { button: $("installBtn").textContent, disabled: $("installBtn").disabled,
               running: $("progressArea").classList.contains("active"),
               tip: $("progressTip").textContent, percent: $("progressPercent").textContent };
    })()`);
    if (state.button === '打开' || state.button === '重新安装') return { state: state.button, toasts: await toastsOf(page) };
    const toasts = await toastsOf(page);
    if (!state.running && toasts.length) return { state: 'refused', toasts };
    if (Date.now() - lastLine >= 10000 || lastLine === 0) {
      console.log(`  ${state.percent.padStart(4)}  ${state.tip}  (${Math.round((Date.now() - started) / 1000)} s)`);
      lastLine = Date.now();
    }
    if (Date.now() - started > 600000) throw new Error('the installation did not end within 10 minutes');
    await sleep(500);
  }
}

function processesOf(exe) {
  return fs.readdirSync('/proc').filter((pid) => /^\d+$/.test(pid)).flatMap((pid) => {
    try {
      return fs.readlinkSync(`/proc/${pid}/exe`) === exe ? [{ pid: Number(pid), cwd: fs.readlinkSync(`/proc/${pid}/cwd`) }] : [];
    } catch {
      return [];
    }
  });
}

// The application that "打开" started, then a look at its first page in an instance of our own.
async function showApplication(installDir) {
  const exe = path.join(installDir, 'Tidewell-app.exe');
  let started = [];
  for (let i = 0; i < 50 && !started.length; i++, await sleep(100)) started = processesOf(exe);
  if (!started.length) throw new Error(`"打开" did not start ${exe}`);
  console.log(`The application runs (process ${started[0].pid}, working folder ${started[0].cwd}).`);
  for (const { pid } of started) process.kill(pid, 'SIGTERM');
  // The application runs once per session: ours starts after that one has gone.
  for (let i = 0; i < 100 && processesOf(exe).length; i++) await sleep(100);
  if (processesOf(exe).length) throw new Error(`${exe} did not end on SIGTERM`);
  const app = await launch({ program: exe, cwd: installDir });
  try {
    const page = await app.page({ urlIncludes: 'main.html', timeoutMs: 20000 });
    await page.waitFor('document.readyState === "complete"', 10000);
    await sleep(500);
    await page.screenshot(path.join(shots, 'main-job-4-application.png'));
    console.log('Its first page: build/screenshots/main-job-4-application.png');
  } finally {
    app.kill();
  }
}
