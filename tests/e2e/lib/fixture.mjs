// Shared set-up for the end-to-end tests of the installer and uninstaller:
// per-test user folders, payload copies, the registry tool, progress records.
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { launch } from '../../node/lib/driver.mjs';

export const buildDir = process.env.TW_BUILD_DIR;
if (!buildDir) throw new Error('TW_BUILD_DIR is not set');
export const binDir = path.join(buildDir, 'bin');
export const payloadDir = path.join(buildDir, 'payload');
export const screenshotDir = path.join(buildDir, 'screenshots');
fs.mkdirSync(screenshotDir, { recursive: true });

export const INSTALLER = 'Tidewell-installer.exe';
export const APP = 'Tidewell-app.exe';
export const UNSTALLER = 'Tidewell-unstaller.exe';
export const UNINSTALL_KEY = 'HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tidewell';

const scratchRoot = fs.mkdtempSync(path.join(process.env.TMPDIR || '/tmp', 'e2e-'));

export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

let caseNumber = 0;
export function scratch(name) {
  caseNumber += 1;
  const dir = path.join(scratchRoot, `${caseNumber}-${name}`);
  fs.mkdirSync(dir, { recursive: true });
  return dir;
}

// A user of our own per test: HOME, XDG folders and the paths the pages derive from them.
export function freshUser(name, { dataHome } = {}) {
  const root = scratch(`user-${name}`);
  const user = {
    root,
    home: path.join(root, 'home'),
    config: path.join(root, 'config'),
    data: dataHome ?? path.join(root, 'data'),
    runtime: path.join(root, 'runtime'),
  };
  for (const dir of [path.join(user.home, 'Desktop'), user.config, path.join(root, 'cache'), user.runtime]) {
    fs.mkdirSync(dir, { recursive: true });
  }
  if (!dataHome) fs.mkdirSync(user.data, { recursive: true });
  fs.chmodSync(user.runtime, 0o700);
  user.env = {
    HOME: user.home,
    XDG_CONFIG_HOME: user.config,
    XDG_DATA_HOME: user.data,
    XDG_CACHE_HOME: path.join(root, 'cache'),
    XDG_STATE_HOME: path.join(root, 'state'),
    XDG_RUNTIME_DIR: user.runtime,
  };
  user.installDir = path.join(user.data, 'Tidewell');
  user.shortcut = path.join(user.home, 'Desktop', '潮井.desktop');
  return user;
}

export function payloadFiles() {
  return listTree(payloadDir);
}

// Copies the payload (or the named files of it) into a new folder.
export function copyPayload(name, only) {
  const dir = scratch(name);
  for (const file of only ?? payloadFiles()) {
    const from = path.join(payloadDir, file);
    const to = path.join(dir, file);
    fs.mkdirSync(path.dirname(to), { recursive: true });
    fs.copyFileSync(from, to);
    fs.chmodSync(to, fs.statSync(from).mode);
  }
  return dir;
}

export function writeFile(file, content) {
  fs.mkdirSync(path.dirname(file), { recursive: true });
  fs.writeFileSync(file, content);
}

// Relative paths of every file below dir, sorted.
export function listTree(dir, prefix = '') {
  if (!fs.existsSync(dir)) return [];
  const out = [];
  for (const entry of fs.readdirSync(dir, { withFileTypes: true })) {
    const rel = prefix + entry.name;
    if (entry.isDirectory()) out.push(...listTree(path.join(dir, entry.name), rel + '/'));
    else out.push(rel);
  }
  return out.sort();
}

// Links count nothing, as in the size the installer registers.
export function treeBytes(dir) {
  return listTree(dir).reduce((sum, rel) => {
    const status = fs.lstatSync(path.join(dir, rel));
    return sum + (status.isSymbolicLink() ? 0 : status.size);
  }, 0);
}

export async function startProgram(folder, program, user, extraEnv = {}) {
  const app = await launch({ program: path.join(folder, program), cwd: folder, env: { ...user.env, ...extraEnv } });
  const page = await app.page({ urlIncludes: program === INSTALLER ? 'installer.html' : 'unstaller.html', timeoutMs: 20000 });
  await page.waitFor('document.readyState === "complete"', 10000);
  return { app, page };
}

export async function closeProgram(app) {
  app.kill();
  await app.exited;
}

export async function shot(page, name) {
  await page.screenshot(path.join(screenshotDir, name + '.png'));
}

// The values of one key as regtool exports them: { name: text after "=" }.
export function registryValues(user, key = UNINSTALL_KEY) {
  const result = spawnSync(path.join(binDir, 'regtool'), ['export', key], {
    env: { ...process.env, ...user.env },
    encoding: 'utf8',
  });
  if (result.status !== 0) return null;
  const values = {};
  let inKey = false;
  for (const line of result.stdout.split(/\r?\n/)) {
    if (line.startsWith('[')) inKey = line.slice(1, -1).toLowerCase() === key.toLowerCase();
    else if (inKey) {
      const match = /^"((?:[^"\\]|\\.)*)"=(.*)$/.exec(line);
      if (match) values[match[1]] = match[2];
    }
  }
  return Object.keys(values).length ? values : null;
}

// Writes values under key with regtool import; values are { name: string | number }.
export function registryImport(user, values, key = UNINSTALL_KEY) {
  const lines = ['Windows Registry Editor Version 5.00', '', `[${key}]`];
  for (const [name, value] of Object.entries(values)) {
    lines.push(`${regString(name)}=${typeof value === 'number' ? regDword(value) : regString(value)}`);
  }
  const file = path.join(scratch('reg'), 'values.reg');
  fs.writeFileSync(file, lines.join('\r\n') + '\r\n');
  const result = spawnSync(path.join(binDir, 'regtool'), ['import', file], { env: { ...process.env, ...user.env }, encoding: 'utf8' });
  if (result.status !== 0) throw new Error(`regtool import failed: ${result.stdout}${result.stderr}`);
}

export function regString(text) {
  return '"' + text.replace(/\\/g, '\\\\').replace(/"/g, '\\"') + '"';
}

export function regDword(n) {
  return 'dword:' + n.toString(16).padStart(8, '0');
}

// Starts recording every text the progress tip and percentage take, in order.
export async function recordProgress(page) {
  await page.eval(`(() => {
    window.__progress = [['progressPercent', document.getElementById('progressPercent').textContent]];
    const area = document.getElementById('progressArea');
    new MutationObserver((records) => {
      for (const r of records) {
        if (r.type === 'characterData') window.__progress.push([r.target.parentNode.id, r.target.data]);
        else for (const n of r.addedNodes) window.__progress.push([r.target.id, n.textContent]);
      }
    }).observe(area, { childList: true, characterData: true, subtree: true });
    return true;
  })()`);
}

// The recorded [tip, percent] pairs: one each time the tip is written, with
// the percentage shown then (the page writes it only when it changes, and
// before the tip).
export async function progressSteps(page) {
  const records = await page.eval('window.__progress');
  const steps = [];
  let percent = '';
  for (const [id, text] of records) {
    if (id === 'progressPercent') percent = text;
    else if (id === 'progressTip') steps.push([text, percent]);
  }
  return steps;
}

export const pageState = (page) =>
  page.eval(`(() => {
    const $ = (id) => document.getElementById(id);
    const btn = $('installBtn') || $('unstallBtn');
    const group = $('dirGroup') || $('infoGroup');
    return {
      button: btn.textContent.trim(),
      buttonEnabled: !btn.disabled,
      buttonFinish: btn.classList.contains('finish'),
      changeEnabled: $('changeDirBtn') ? !$('changeDirBtn').disabled : null,
      groupShown: getComputedStyle(group).display !== 'none',
      progressShown: getComputedStyle($('progressArea')).display !== 'none',
      tip: $('progressTip').textContent,
      percent: $('progressPercent').textContent,
      fill: $('progressFill').style.width,
      toasts: [...document.querySelectorAll('.toast')].map((t) => ({
        type: t.className.replace(/.*toast-(info|success|warning|error).*/, '$1'),
        text: t.querySelector('.toast-message').textContent,
      })),
    };
  })()`);

// Script lines the page logged: NativeUtil.log also writes "[tag]: \t message" to stderr.
export function loggedMessages(app, message) {
  return app.stderr.split('\n').filter((line) => line.includes(message)).length;
}

// Processes whose program file is exe, with their working folders. A child
// of one of them that still shares its program file is a fork on its way to
// start another program, not an instance of its own.
export function processesOf(exe) {
  const found = [];
  for (const pid of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(pid)) continue;
    try {
      if (fs.readlinkSync(`/proc/${pid}/exe`) !== exe) continue;
      const parent = Number(/^PPid:\s+(\d+)/m.exec(fs.readFileSync(`/proc/${pid}/status`, 'utf8'))[1]);
      found.push({ pid: Number(pid), parent, cwd: fs.readlinkSync(`/proc/${pid}/cwd`) });
    } catch {
      // gone, or not ours
    }
  }
  const pids = new Set(found.map((p) => p.pid));
  return found.filter((p) => !pids.has(p.parent)).map(({ pid, cwd }) => ({ pid, cwd }));
}

// A process whose program file is named name (a copy of sleep), as the running application.
export function fakeProcess(name) {
  const dir = scratch('fake');
  const exe = path.join(dir, name);
  fs.copyFileSync('/bin/sleep', exe);
  fs.chmodSync(exe, 0o755);
  const child = spawn(exe, ['120'], { stdio: 'ignore' });
  return { child, stop: () => child.kill('SIGKILL') };
}

export function desktopFileValid(file) {
  const result = spawnSync('desktop-file-validate', [file], { encoding: 'utf8' });
  return { ok: result.status === 0, output: (result.stdout + result.stderr).trim() };
}
