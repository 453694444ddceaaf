// The real programs under Xvfb, driven over the DevTools protocol: start-up,
// the script globals, conversions, log, timers, callbacks and the engine
// binding's failures.
import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, execFile } from 'node:child_process';
import { copyFile, mkdtemp, readdir, readFile, writeFile } from 'node:fs/promises';
import { join } from 'node:path';
import { launch } from '../../node/lib/driver.mjs';

const bin = join(process.env.TW_BUILD_DIR, 'bin');
const tmp = process.env.TMPDIR ?? '/tmp';
const hostTest = join(bin, 'Tidewell-hosttest.exe');
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const running = [];

async function start(program = hostTest) {
  const app = await launch({ program, cwd: tmp });
  running.push(app);
  return app;
}

async function startTestPage() {
  const app = await start();
  const page = await app.page({ urlIncludes: 'this://app/test/host.html', timeoutMs: 30000 });
  await page.waitFor('document.readyState === "complete"', 10000);
  return { app, page };
}

after(() => running.forEach((app) => app.kill()));

// Closed a moment later, so the evaluation's answer gets out before the window goes.
const closeWindow = (page) => page.eval('setTimeout(() => Window.this.close(), 50), true');

function run(program, { cwd, env = {} } = {}) {
  return new Promise((resolve) => {
    const child = spawn(program, [], { cwd, env: { ...process.env, ...env } });
    let stderr = '';
    child.stderr.setEncoding('utf8');
    child.stderr.on('data', (text) => (stderr += text));
    child.on('exit', (code) => resolve({ code, stderr }));
  });
}

function closeWindowTitled(title, timeoutMs) {
  return new Promise((resolve) => {
    execFile(join(bin, 'close-window'), [title, String(timeoutMs)], (error, stdout, stderr) =>
      resolve({ closed: !error, seen: Number(stdout.trim()), status: error?.code ?? 0, stderr }));
  });
}

const methodNames = [
  'log', 'is64BitOS', 'isWindows7', 'isInternetAvailable', 'getRegistryStringValue',
  'createDesktopShortcut', 'setTrayIcon', 'getDesktopPath', 'getCommandLine', 'isProcessRunning',
  'getProcessIDList', 'getProcessNameList', 'killProcess', 'getSecondsSinceEpoch', 'OS',
  'cpuArchitecture', 'kernelType', 'kernelVersion', 'appDataPath', 'programsPath', 'selectFolder',
  'isNetworkConnected', 'copyFile', 'launch', 'setSharedMemoryValue', 'getSharedMemoryValue',
  'language', 'mkdir', 'arguments', 'getDiskList', 'getMemeryBits', 'getSystemDriveFreeBits',
  'getSystemDriveTotalBits', 'getLogicalDrives', 'getInstalledPrograms', 'uninstallProgram',
  'scanLargeFiles', 'startScanLargeFiles', 'stopScanLargeFiles', 'addScanLargeFilesFolder',
  'findDuplicateFiles', 'startScanDuplicateFiles', 'stopScanDuplicateFiles',
  'addScanDuplicateFilesFolder', 'getStartupItems', 'removeStartupItem', 'getPrivacyItems',
  'cleanPrivacyItems', 'getPagefileSize', 'migratePagefile', 'getFileSha256', 'setRegistryString',
  'setRegistryIntValue', 'removeRegistry', 'removeRegistryKey', 'removeFile', 'removeDir',
  'openFolder', 'getTempPath', 'toBase64Str', 'getCursorX', 'getCursorY', 'getMonitorCount',
  'processFolder', 'checkUpdate', 'getVersionList', 'getAppInfo', 'submitFeedback', 'reportEvent',
  'getClientId', 'openUrl', 'copyToClipboard', 'downloadUpdate', 'exitApp', 'getSetting',
  'setSetting', 'isStartupOnBoot', 'setStartupOnBoot', 'setMinimizeOnClose', 'setInterval',
  'clearInterval', 'setTimeout', 'clearTimeout', 'enableMenuOutsideClickClose',
  'disableMenuOutsideClickClose',
  // Beyond the service table: deletion of what a scan showed, checked again
  // and stoppable, the files a privacy category holds, the cleaners measured
  // and cleaned, and undo from the history.
  'deleteScannedFiles', 'stopDeleteScannedFiles', 'getPrivacyItemFiles', 'getCleaners',
  'cleanCleaners', 'measureCleaners', 'cleanItems', 'undoCleaning', 'clearCleaningRecords',
  'installUpdate', 'installedPackage',
  // The space map: a background scan, a folder's items, and forgetting what was deleted.
  'startScanSpaceMap', 'stopScanSpaceMap', 'spaceMapChildren', 'forgetSpaceMapItem',
];
const propertyNames = [
  'isDebug', 'isAutoReload', 'canMainWindowTopmost', 'nativeVersion', 'mainWindowPath',
  'updateWindowPath', 'historyWindowPath', 'hotkeyWindowPath',
];

test('the globals are defined on the first script line and hold the passport', async () => {
  const { app, page } = await startTestPage();
  assert.deepEqual(await page.eval('window.firstLine'), { nativeUtil: 'object', virtualKey: 'object' });
  assert.deepEqual(await page.eval('Object.keys(NativeUtil)'), [...methodNames, ...propertyNames]);
  assert.equal(await page.eval('NativeUtil.isDebug'), false);
  assert.equal(await page.eval('NativeUtil.isAutoReload'), false);
  assert.equal(await page.eval('NativeUtil.canMainWindowTopmost'), true);
  assert.equal(await page.eval('NativeUtil.nativeVersion'), '2.0.0');
  assert.equal(await page.eval('NativeUtil.mainWindowPath'), 'this://app/main/main.html');
  assert.equal(await page.eval('NativeUtil.hotkeyWindowPath'), 'this://app/app/hotkey.html');
  assert.equal(await page.eval('try { NativeUtil.nativeVersion = "9"; } catch (e) {} NativeUtil.nativeVersion'), '2.0.0');
  assert.equal(await page.eval('try { NativeUtil.isDebug = true; } catch (e) {} NativeUtil.isDebug'), false);
  assert.deepEqual(await page.eval('[VirtualKey.F1, VirtualKey.F12, VirtualKey.ESC]'), [112, 123, 27]);
  assert.deepEqual(await page.eval('Object.keys(VirtualKey)'),
    [...Array.from({ length: 12 }, (_, i) => `F${i + 1}`), 'ESC']);
  assert.equal(await page.eval('Window.this.xcall("showOnLoaded")'), true);
  await closeWindow(page);
  assert.equal(await app.exit(15000), 0, 'closing the window ends the program with 0');
});

test('the window interface: hwnd, setTitle and hideFromTaskBar', async () => {
  const { app, page } = await startTestPage();
  const handle = await page.eval('Window.this.xcall("hwnd")');
  assert.ok(Number.isInteger(handle) && handle !== 0, `hwnd ${handle}`);
  assert.equal(await page.eval('Window.this.xcall("hwnd")'), handle);
  const title = `tw-host-${process.pid}`;
  await page.eval(`Window.this.xcall("setTitle", ${JSON.stringify(title)})`);
  // The title reaches the native window: closing it by that title ends the program.
  const box = await closeWindowTitled(title, 10000);
  assert.equal(box.closed, true, `no window titled ${title} (${JSON.stringify(box)}): ${await windowNames()}`);
  assert.equal(await app.exit(15000), 0);
});

test('hideFromTaskBar hides the window and answers true', async () => {
  const { app, page } = await startTestPage();
  assert.equal(await page.eval('Window.this.xcall("hideFromTaskBar")'), true);
  assert.equal(await page.eval('document.visibilityState'), 'hidden');
  await closeWindow(page);
  assert.equal(await app.exit(15000), 0);
});

test('arguments are converted by their declared kind', async () => {
  const { app, page } = await startTestPage();
  const folder = await mkdtemp(join(tmp, 'convert-'));
  const source = join(folder, 'source.txt');
  const target = join(folder, 'target.txt');
  await writeFile(source, 'new');
  const copy = async (third) => {
    await writeFile(target, 'old');
    const result = await page.eval(`NativeUtil.copyFile(${JSON.stringify(source)}, ${JSON.stringify(target)}, ${third})`);
    return { result, content: await readFile(target, 'utf8') };
  };
  assert.deepEqual(await copy('1'), { result: true, content: 'new' });
  assert.deepEqual(await copy('true'), { result: true, content: 'new' });
  assert.deepEqual(await copy('0'), { result: false, content: 'old' });
  assert.deepEqual(await copy('"yes"'), { result: false, content: 'old' }, 'an unreadable boolean is false');
  assert.deepEqual(await copy('1.5'), { result: false, content: 'old' }, 'a float is not read as an integer');
  // A number where a string is declared arrives as its text.
  assert.equal(await page.eval('NativeUtil.toBase64Str(12.5)'), Buffer.from('12.5').toString('base64'));
  assert.equal(await page.eval('NativeUtil.toBase64Str(7)'), Buffer.from('7').toString('base64'));
  // An unreadable integer arrives as 0: the interval "300" runs every millisecond.
  const calls = await page.eval(`new Promise((resolve) => {
    let n = 0;
    const id = NativeUtil.setInterval(() => n++, "300");
    setTimeout(() => { NativeUtil.clearInterval(id); resolve(n); }, 400);
  })`);
  assert.ok(calls >= 5, `interval "300" was read as ${calls > 1 ? 'small' : '300'} (${calls} calls)`);
  await closeWindow(page);
  assert.equal(await app.exit(15000), 0);
});

test('log with only a message writes one line', async () => {
  const { app, page } = await startTestPage();
  const marker = `host-e2e-${process.pid}-${Date.now()}`;
  assert.equal(await page.eval(`NativeUtil.log(${JSON.stringify(marker)})`), 0);
  await closeWindow(page);
  assert.equal(await app.exit(15000), 0);
  const folder = join(process.env.XDG_STATE_HOME, 'Tidewell', 'logs');
  const files = (await readdir(folder)).filter((name) => /^Tidewell-\d{4}-\d\d-\d\d\.log$/.test(name));
  assert.equal(files.length, 1);
  const lines = (await readFile(join(folder, files[0]), 'utf8')).split('\n').filter((l) => l.includes(marker));
  assert.equal(lines.length, 1);
  assert.match(lines[0], new RegExp(`\\[Tidewell-hosttest\\.exe\\].*\\] ${marker}`));
});

test('timers: shared ids, a timeout once after its delay, an interval at once then per period', async () => {
  const { app, page } = await startTestPage();
  assert.deepEqual(await page.eval(`[NativeUtil.setInterval(() => {}, -1), NativeUtil.setTimeout(() => {}, -1),
    NativeUtil.setInterval(() => { window.neverCalled = true; }, -1)]`), [1, 2, 3]);
  const timeout = await page.eval(`new Promise((resolve) => {
    const start = performance.now(); const at = [];
    NativeUtil.setTimeout(() => at.push(performance.now() - start), 300);
    setTimeout(() => resolve(at), 2000);
  })`);
  assert.equal(timeout.length, 1, 'called once, never twice');
  assert.ok(timeout[0] >= 280 && timeout[0] < 1500, `called after ${timeout[0]} ms`);
  const interval = await page.eval(`new Promise((resolve) => {
    const start = performance.now(); const at = [];
    const id = NativeUtil.setInterval(() => at.push(performance.now() - start), 200);
    setTimeout(() => { NativeUtil.clearTimeout(id); const n = at.length;
      setTimeout(() => resolve({ at, afterClear: at.length - n }), 500); }, 1100);
  })`);
  assert.ok(interval.at[0] < 150, `first call after ${interval.at[0]} ms`);
  // About one call per period: never closer than the period, on average not much further.
  const gaps = interval.at.slice(1).map((t, i) => t - interval.at[i]);
  assert.ok(gaps.length >= 3, `${interval.at.length} calls in 1.1 s`);
  for (const gap of gaps) assert.ok(gap >= 150, `calls ${gap} ms apart`);
  const mean = gaps.reduce((a, b) => a + b, 0) / gaps.length;
  assert.ok(mean < 400, `calls ${mean} ms apart on average`);
  assert.equal(interval.afterClear, 0);
  assert.equal(await page.eval('window.neverCalled === undefined'), true, 'interval -1 never calls');
  assert.equal(await page.eval('NativeUtil.clearInterval(12345)'), true);
  await closeWindow(page);
  assert.equal(await app.exit(15000), 0);
});

async function threadCpuTicks(pid, name) {
  for (const task of await readdir(`/proc/${pid}/task`)) {
    const comm = (await readFile(`/proc/${pid}/task/${task}/comm`, 'utf8')).trim();
    if (comm === name) {
      const stat = await readFile(`/proc/${pid}/task/${task}/stat`, 'utf8');
      const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
      return Number(fields[11]) + Number(fields[12]);
    }
  }
  return null;
}

test('an idle 1000 ms interval leaves the timer thread asleep', async () => {
  const { app, page } = await startTestPage();
  await page.eval('window.ticks = 0; NativeUtil.setInterval(() => window.ticks++, 1000)');
  await sleep(300);
  const before = await threadCpuTicks(app.child.pid, 'tw-timers');
  assert.notEqual(before, null, 'the timer thread runs');
  await sleep(2000);
  const used = (await threadCpuTicks(app.child.pid, 'tw-timers')) - before;
  assert.ok(used < 4, `timer thread used ${used} clock ticks (of 200) in 2 s`);
  assert.ok(await page.eval('window.ticks') >= 2);
  await closeWindow(page);
  assert.equal(await app.exit(15000), 0);
});

test('a page busy for 2 s with a 50 ms interval gets one late call, not forty', async () => {
  const { app, page } = await startTestPage();
  const result = await page.eval(`new Promise((resolve) => {
    const at = [];
    const id = NativeUtil.setInterval(() => at.push(performance.now()), 50);
    setTimeout(() => {
      const start = performance.now();
      while (performance.now() - start < 2000);
      const end = performance.now();
      setTimeout(() => { NativeUtil.clearInterval(id); resolve({ at, start, end }); }, 400);
    }, 300);
  })`);
  const afterBusy = result.at.filter((t) => t >= result.end);
  assert.ok(afterBusy.length >= 3, `${afterBusy.length} calls in the 400 ms after`);
  const burst = afterBusy.filter((t) => t < result.end + 30).length;
  assert.equal(burst, 1, `calls right after the busy page: ${afterBusy.map((t) => Math.round(t - result.end))}`);
  const gaps = afterBusy.slice(1).map((t, i) => t - afterBusy[i]);
  // Calls made up for would come back to back; a loaded machine delays single calls by a few ms.
  for (const gap of gaps) assert.ok(gap >= 25, `calls ${gap} ms apart after the late one`);
  await closeWindow(page);
  assert.equal(await app.exit(15000), 0);
});

async function timerThreadWakes(pid) {
  for (const task of await readdir(`/proc/${pid}/task`)) {
    const comm = (await readFile(`/proc/${pid}/task/${task}/comm`, 'utf8')).trim();
    if (comm === 'tw-timers') {
      const status = await readFile(`/proc/${pid}/task/${task}/status`, 'utf8');
      return Number(/voluntary_ctxt_switches:\s+(\d+)/.exec(status)[1]);
    }
  }
  return null;
}

test('a reload drops the old document\'s intervals: the timer thread stops waking for them', async () => {
  const { app, page } = await startTestPage();
  await page.eval('window.ticks = 0; for (let i = 0; i < 3; i++) NativeUtil.setInterval(() => window.ticks++, 20)');
  await page.waitFor('window.ticks > 10');
  const busy = await timerThreadWakes(app.child.pid);
  await sleep(1000);
  const wakesWhileLive = (await timerThreadWakes(app.child.pid)) - busy;
  assert.ok(wakesWhileLive >= 40, `${wakesWhileLive} wakes a second for three live intervals`);
  await page.eval('setTimeout(() => location.reload(), 20), true');
  await sleep(500);
  await page.waitFor('document.readyState === "complete" && window.ticks === undefined');
  const before = await timerThreadWakes(app.child.pid);
  await sleep(1000);
  const wakes = (await timerThreadWakes(app.child.pid)) - before;
  assert.ok(wakes <= 2, `the timer thread woke ${wakes} times in a second after the reload`);
  // The new document's timers still run.
  await page.eval('window.fresh = 0; NativeUtil.setInterval(() => window.fresh++, 20)');
  await page.waitFor('window.fresh > 3');
  await closeWindow(page);
  assert.equal(await app.exit(15000), 0);
});

test('closing the window while a 1 ms interval runs ends the program cleanly', async () => {
  for (let round = 0; round < 3; round++) {
    const { app, page } = await startTestPage();
    await page.eval('window.ticks = 0; NativeUtil.setInterval(() => window.ticks++, 1); NativeUtil.setInterval(() => {}, 0)');
    await page.waitFor('window.ticks > 50');
    await page.eval('setTimeout(() => Window.this.close(), 5), true');
    assert.equal(await app.exit(15000), 0, app.stderr);
    assert.doesNotMatch(app.stderr, /Sanitizer|QObject|invokeMethod/);
  }
});

test('10,000 callback messages from a worker thread arrive in order', async () => {
  const { app, page } = await startTestPage();
  const result = await page.eval(`new Promise((resolve) => {
    const ids = []; let types = new Set();
    HostTest.emitFromWorker((e) => {
      types.add(typeof e.type);
      if (e.type === 'done') resolve({ count: ids.length, ordered: ids.every((id, i) => id === i + 1),
        types: [...types], total: e.total });
      else ids.push(e.id);
    }, 10000);
  })`);
  assert.deepEqual(result, { count: 10000, ordered: true, types: ['string'], total: 5000000000 });
  await closeWindow(page);
  assert.equal(await app.exit(15000), 0);
});

test('the installer starts with the globals and two programs run side by side', async () => {
  const first = await start(join(bin, 'Tidewell-installer.exe'));
  const second = await start(join(bin, 'Tidewell-installer.exe'));
  const pages = [];
  for (const app of [first, second]) {
    const page = await app.page({ urlIncludes: 'this://app/installer/installer.html', timeoutMs: 30000 });
    pages.push(page);
    assert.equal(await page.eval('typeof NativeUtil + "," + typeof VirtualKey'), 'object,object');
    assert.equal(await page.eval('NativeUtil.nativeVersion'), '2.0.0');
  }
  // Reloaded with a pause before every script: each page script, the first
  // included, starts with both globals defined.
  const seen = await globalsBeforeEachScript(pages[0]);
  const pageScripts = seen.filter((s) => s.url.startsWith('this://app/'));
  assert.ok(pageScripts.some((s) => s.url === 'this://app/installer/js/installer.js'), JSON.stringify(seen));
  for (const script of pageScripts) assert.equal(script.globals, 'object,object', JSON.stringify(seen));
  for (const page of pages) await closeWindow(page);
  assert.equal(await first.exit(15000), 0);
  assert.equal(await second.exit(15000), 0);
});

test('a program without a usable engine beside it exits 255 without a word', async () => {
  // No library at all, then a library of the engine's name without SciterAPI.
  for (const library of [null, join(process.env.TW_BUILD_DIR, 'tests', 'app', 'engine-without-entry', 'libtidewell-engine.so')]) {
    const folder = await mkdtemp(join(tmp, 'no-engine-'));
    const program = join(folder, 'Tidewell-installer.exe');
    await copyFile(join(bin, 'Tidewell-installer.exe'), program);
    if (library) await copyFile(library, join(folder, 'libtidewell-engine.so'));
    await execFilePromise('chmod', ['755', program]);
    const { code, stderr } = await run(program, { cwd: folder });
    assert.equal(code, 255, String(library));
    assert.equal(stderr, '', String(library));
  }
});

test('an engine of another version is refused with one message', async () => {
  const folder = await mkdtemp(join(tmp, 'wrong-engine-'));
  const program = join(folder, 'Tidewell-installer.exe');
  await copyFile(join(bin, 'Tidewell-installer.exe'), program);
  await copyFile(join(process.env.TW_BUILD_DIR, 'tests', 'app', 'wrong-engine', 'libtidewell-engine.so'),
    join(folder, 'libtidewell-engine.so'));
  await execFilePromise('chmod', ['755', program]);
  const exited = run(program, { cwd: folder });
  const box = await closeWindowTitled('Error', 15000);
  assert.equal(box.closed, true, 'a message box titled "Error" came up');
  assert.equal(box.seen, 1);
  const { code, stderr } = await exited;
  assert.equal(code, 255);
  assert.equal(stderr.split('Sciter version mismatch, quiting').length - 1, 1);
});

async function globalsBeforeEachScript(page) {
  const seen = [];
  // Pauses before the reload has replaced the document belong to the old one.
  let replaced = false;
  page.on('Runtime.executionContextsCleared', () => (replaced = true));
  page.on('Debugger.paused', async ({ callFrames, data }) => {
    if (!replaced) {
      await page.send('Debugger.resume').catch(() => {});
      return;
    }
    let globals;
    try {
      const { result } = await page.send('Debugger.evaluateOnCallFrame', {
        callFrameId: callFrames[0].callFrameId,
        expression: 'typeof NativeUtil + "," + typeof VirtualKey',
      });
      globals = result.value;
    } catch (error) {
      globals = String(error.message);
    }
    seen.push({ url: data?.url ?? '', globals });
    await page.send('Debugger.resume').catch(() => {});
  });
  await page.send('Debugger.enable');
  await page.send('Debugger.setInstrumentationBreakpoint', { instrumentation: 'beforeScriptExecution' });
  await page.send('Page.reload', {});
  await page.waitFor('document.readyState === "complete"', 15000);
  await sleep(1000);
  await page.send('Debugger.disable');
  return seen;
}

function windowNames() {
  return new Promise((resolve) =>
    execFile('xwininfo', ['-root', '-tree'], (error, stdout) => resolve(error ? String(error) :
      stdout.split('\n').filter((l) => /0x[0-9a-f]+ "/.test(l)).join('; '))));
}

function execFilePromise(file, args) {
  return new Promise((resolve, reject) => execFile(file, args, (error) => (error ? reject(error) : resolve())));
}
