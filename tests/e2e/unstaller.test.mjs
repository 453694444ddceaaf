// The uninstaller from a payload copy, against installations made by hand.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { spawnSync } from 'node:child_process';
import { launch } from '../node/lib/driver.mjs';
import {
  INSTALLER, UNSTALLER, APP,
  payloadDir, freshUser, copyPayload, payloadFiles, scratch, writeFile, listTree, startProgram, closeProgram, shot,
  registryValues, registryImport, regString, recordProgress, progressSteps, pageState, loggedMessages, fakeProcess, sleep,
} from './lib/fixture.mjs';

// An uninstaller beside its engine only: run from a folder without the
// application, it looks for the installation elsewhere.
function uninstallerCopy(name) {
  return copyPayload(name, [UNSTALLER, payloadFiles().find((f) => f.startsWith('libtidewell-engine'))]);
}

// The registration as the installer writes it.
function register(user, installDir) {
  registryImport(user, { DisplayName: '潮井', InstallLocation: installDir, NoModify: 1 });
}

function desktopEntry(user) {
  writeFile(user.shortcut, '[Desktop Entry]\nType=Application\nName=潮井\nExec=/bin/true\n');
}

async function runToEnd(page) {
  await page.click('#unstallBtn');
  await page.waitFor('document.getElementById("unstallBtn").textContent === "完成"', 20000);
}

// A real installation of the payload and a folder of data.
async function install(user) {
  const source = copyPayload(`payload-${path.basename(user.root)}`);
  writeFile(path.join(source, 'data', 'nested', 'readme.txt'), 'readme');
  writeFile(path.join(source, 'data', 'table.bin'), 'table');
  const { app, page } = await startProgram(source, INSTALLER, user);
  try {
    await page.click('#installBtn');
    await page.waitFor('document.getElementById("installBtn").textContent === "打开"', 30000);
  } finally {
    await closeProgram(app);
  }
}

test('a recorded installation loses only its own files; the user\'s files, their folders and the count stay', async () => {
  const user = freshUser('recorded');
  await install(user);
  const record = path.join(user.config, 'Tidewell', 'install-record.json');
  const menuEntry = path.join(user.data, 'applications', '潮井.desktop');
  assert.equal(registryValues(user).InstallRecord, regString(record));
  assert.ok(fs.existsSync(user.shortcut) && fs.existsSync(menuEntry));
  // The user's own: a file at the top, one in a folder the installer made,
  // a folder of their own, and a recorded file they replaced by a link.
  const sub = 'data';
  const relinked = 'data/table.bin';
  const outside = path.join(scratch('outside'), 'precious.txt');
  writeFile(outside, 'keep me');
  fs.rmSync(path.join(user.installDir, relinked));
  fs.symlinkSync(outside, path.join(user.installDir, relinked));
  const mine = ['notes.txt', `${sub}/mine.dat`, 'Saves/game.sav'];
  for (const file of mine) writeFile(path.join(user.installDir, file), 'mine');

  // The application's own start-on-boot entry, made by the installed program.
  const autostart = path.join(user.config, 'autostart', 'Tidewell.desktop');
  const installed = await launch({ program: path.join(user.installDir, APP), cwd: user.installDir, env: user.env });
  try {
    const main = await installed.page({ urlIncludes: 'main.html', timeoutMs: 20000 });
    assert.equal(await main.eval('NativeUtil.setStartupOnBoot(true)'), true);
    assert.ok(fs.readFileSync(autostart, 'utf8').includes(`Exec=${path.join(user.installDir, APP)}`));
  } finally {
    await closeProgram(installed);
  }

  const { app, page } = await startProgram(user.installDir, UNSTALLER, user);
  try {
    await runToEnd(page);
    assert.ok(!fs.existsSync(autostart), 'the start-on-boot entry went with the program');
    assert.equal(await page.eval('document.getElementById("keptNote").hidden'), false);
    assert.equal(await page.eval('document.getElementById("keptNote").textContent'),
      `已保留您的设置、清理记录和日志，重新安装后可继续使用。设置与清理记录位于 ${user.config}/Tidewell`);
    await shot(page, 'unstaller-kept');
    assert.deepEqual(listTree(user.installDir), [...mine, relinked].sort());
    assert.equal(fs.readFileSync(outside, 'utf8'), 'keep me');
    assert.ok(!fs.existsSync(user.shortcut) && !fs.existsSync(menuEntry));
    assert.equal(registryValues(user), null);
    assert.ok(!fs.existsSync(record));
    const { toasts } = await pageState(page);
    assert.equal(toasts.length, 1, JSON.stringify(toasts));
    assert.equal(toasts[0].type, 'info');
    assert.ok(toasts[0].text.startsWith('以下文件不是潮井安装的，已保留（共 4 个）：'), toasts[0].text);
  } finally {
    await closeProgram(app);
  }
});

test('an uninstaller in a copy of the payload removes nothing and says it is no installation', async () => {
  const user = freshUser('downloads');
  const copy = path.join(user.home, 'Downloads', 'Tidewell');
  fs.cpSync(payloadDir, copy, { recursive: true });
  writeFile(path.join(copy, 'mine.txt'), 'mine');
  // An older installation elsewhere is no reason to touch this folder, nor itself.
  writeFile(path.join(user.installDir, APP), 'app');
  register(user, user.installDir);
  const before = listTree(copy);
  const { app, page } = await startProgram(copy, UNSTALLER, user);
  try {
    await page.click('#unstallBtn');
    await page.waitFor('document.querySelector(".toast.show")', 5000);
    const state = await pageState(page);
    assert.deepEqual(state.toasts, [{ type: 'warning', text: '此文件夹不是潮井的安装目录，未删除任何文件：' + copy }]);
    assert.deepEqual([state.button, state.progressShown], ['开始卸载', false]);
    await sleep(300);
    assert.deepEqual(listTree(copy), before);
    assert.deepEqual(listTree(user.installDir), [APP]);
    assert.ok(registryValues(user));
  } finally {
    await closeProgram(app);
  }
});

test('three files: tips at 31, 58 and 85 %, then everything is gone and 完成 closes', async () => {
  const user = freshUser('three');
  const source = uninstallerCopy('payload-three');
  fs.mkdirSync(user.installDir, { recursive: true });
  writeFile(path.join(user.installDir, APP), 'app');
  const { app, page } = await startProgram(source, UNSTALLER, user);
  try {
    assert.equal(await page.eval('document.title'), '潮井卸载向导');
    assert.equal(await page.eval('document.getElementById("uninstallerTitle").textContent'), '卸载潮井');
    assert.equal(await page.eval('document.getElementById("installDir").textContent'), user.installDir);
    // The program's own log may already live in the folder: fill it up to three files.
    assert.deepEqual(listTree(user.installDir), [APP], 'no log in the install folder');
    for (let i = 0; i < 2; i++) writeFile(path.join(user.installDir, `file${i}.dat`), 'x'.repeat(100 * i));
    desktopEntry(user);
    register(user, user.installDir);
    assert.ok(registryValues(user));

    const ready = await pageState(page);
    assert.deepEqual([ready.button, ready.groupShown, ready.progressShown], ['开始卸载', false, false]);
    await shot(page, 'unstaller-ready');

    await recordProgress(page);
    await runToEnd(page);
    await sleep(400);
    await shot(page, 'unstaller-finished');
    const steps = await progressSteps(page);
    assert.deepEqual(steps, [
      ['正在扫描安装目录...', '5%'],
      ['正在删除文件 (1/3)...', '31%'],
      ['正在删除文件 (2/3)...', '58%'],
      ['正在删除文件 (3/3)...', '85%'],
      ['正在清理残留项...', '90%'],
      ['卸载完成', '100%'],
    ]);
    const done = await pageState(page);
    assert.deepEqual([done.buttonFinish, done.buttonEnabled, done.tip, done.percent], [true, true, '卸载完成', '100%']);
    assert.equal(fs.existsSync(user.installDir), false);
    assert.equal(fs.existsSync(user.shortcut), false);

    page.click('#unstallBtn').catch(() => {}); // the window closes under the click
    assert.equal(await app.exit(10000), 0);
    assert.equal(loggedMessages(app, 'click finish button'), 1);
    assert.equal(registryValues(user), null);
  } finally {
    await closeProgram(app);
  }
});

test('nested folders are emptied depth first, each removed after its content', async () => {
  const user = freshUser('nested');
  const source = uninstallerCopy('payload-nested');
  writeFile(path.join(user.installDir, 'a', 'b', 'deep.txt'), 'deep');
  writeFile(path.join(user.installDir, 'a', 'mid.txt'), 'mid');
  writeFile(path.join(user.installDir, 'top.txt'), 'top');
  writeFile(path.join(user.installDir, APP), 'app');
  const { app, page } = await startProgram(source, UNSTALLER, user);
  try {
    // Watch the removals as the kernel reports them, folder by folder.
    const removed = [];
    const watchers = [['~', ''], ['a', 'a'], ['b', 'a/b']].map(([label, rel]) =>
      fs.watch(path.join(user.installDir, rel), (event, name) => {
        if (event === 'rename' && ['a', 'b', 'deep.txt', 'mid.txt', 'top.txt'].includes(name)) removed.push(`${label}:${name}`);
      }).on('error', () => {}),
    );
    try {
      await runToEnd(page);
      await sleep(200);
    } finally {
      for (const watcher of watchers) watcher.close();
    }
    const order = (item) => {
      assert.ok(removed.includes(item), `${item} in ${removed.join(', ')}`);
      return removed.indexOf(item);
    };
    assert.ok(order('b:deep.txt') < order('a:b'), removed.join(', '));
    assert.ok(order('a:b') < order('~:a'), removed.join(', '));
    assert.ok(order('a:mid.txt') < order('~:a'), removed.join(', '));
    order('~:top.txt');
    assert.equal(fs.existsSync(user.installDir), false);
  } finally {
    await closeProgram(app);
  }
});

test('a link inside the install folder is removed, never followed', async () => {
  const user = freshUser('links');
  const source = uninstallerCopy('payload-links');
  const outside = path.join(scratch('outside'), 'kept');
  writeFile(path.join(outside, 'precious.txt'), 'keep me');
  writeFile(path.join(user.installDir, 'app.txt'), 'app');
  writeFile(path.join(user.installDir, APP), 'app');
  fs.symlinkSync(outside, path.join(user.installDir, 'linked-folder'));
  fs.symlinkSync(path.join(outside, 'precious.txt'), path.join(user.installDir, 'linked-file'));
  const { app, page } = await startProgram(source, UNSTALLER, user);
  try {
    await runToEnd(page);
    assert.equal(fs.existsSync(user.installDir), false);
    assert.equal(fs.readFileSync(path.join(outside, 'precious.txt'), 'utf8'), 'keep me');
  } finally {
    await closeProgram(app);
  }
});

test('without an install folder the launcher and the registration still go', async () => {
  // A data folder below a plain file cannot exist, not even for root: no install folder, no log.
  const blocker = path.join(scratch('nodata'), 'file');
  writeFile(blocker, '');
  const user = freshUser('none', { dataHome: path.join(blocker, 'data') });
  const source = uninstallerCopy('payload-none');
  desktopEntry(user);
  // Another copy's start-on-boot entry is not this installation's.
  const foreign = path.join(user.config, 'autostart', 'Tidewell.desktop');
  writeFile(foreign, `[Desktop Entry]\nType=Application\nName=Tidewell\nExec=${path.join(source, APP)}\n`);
  const { app, page } = await startProgram(source, UNSTALLER, user);
  try {
    register(user, user.installDir);
    await runToEnd(page);
    assert.ok(fs.existsSync(foreign), 'a foreign start-on-boot entry stays');
    const state = await pageState(page);
    assert.deepEqual([state.tip, state.percent], ['卸载完成', '100%']);
    assert.equal(fs.existsSync(user.shortcut), false);
    assert.equal(loggedMessages(app, 'install dir not found: ' + user.installDir), 1);
    assert.equal(registryValues(user), null);
  } finally {
    await closeProgram(app);
  }
});

test('a file that cannot be deleted fails the run; the retry after it finishes', async (t) => {
  const user = freshUser('undeletable');
  const source = uninstallerCopy('payload-undeletable');
  writeFile(path.join(user.installDir, 'a.txt'), 'a');
  writeFile(path.join(user.installDir, APP), 'app');
  const locked = path.join(user.installDir, 'sub', 'locked.txt');
  writeFile(locked, 'locked');
  // Even root cannot delete an immutable file.
  if (spawnSync('chattr', ['+i', locked]).status !== 0) return t.skip('chattr +i is not allowed here');
  const { app, page } = await startProgram(source, UNSTALLER, user);
  try {
    await page.click('#unstallBtn');
    await page.waitFor('document.getElementById("unstallBtn").textContent === "重新卸载"', 20000);
    const failed = await pageState(page);
    assert.deepEqual([failed.tip, failed.percent, failed.buttonEnabled], ['卸载失败', '0%', true]);
    assert.ok(failed.toasts.some((toast) => toast.type === 'error' && toast.text.startsWith('卸载失败：')), JSON.stringify(failed.toasts));
    assert.deepEqual(listTree(user.installDir).filter((f) => !f.startsWith('logs/')), ['sub/locked.txt']);

    spawnSync('chattr', ['-i', locked]);
    await page.click('#unstallBtn');
    await page.waitFor('document.getElementById("unstallBtn").textContent === "完成"', 20000);
    assert.equal(fs.existsSync(user.installDir), false);
  } finally {
    spawnSync('chattr', ['-i', locked]);
    await closeProgram(app);
  }
});

test('an installation registered in another folder is removed there; its parent and the home stay', async () => {
  const user = freshUser('elsewhere');
  const source = uninstallerCopy('payload-elsewhere');
  const parent = path.join(user.root, 'My Apps');
  const elsewhere = path.join(parent, 'Tidewell');
  writeFile(path.join(elsewhere, APP), 'app');
  writeFile(path.join(elsewhere, 'lib', 'data.bin'), 'data');
  writeFile(path.join(parent, 'neighbour.txt'), 'keep');
  writeFile(path.join(user.home, 'note.txt'), 'keep');
  // The default folder holds no application: not an installation, left alone.
  writeFile(path.join(user.installDir, 'other.txt'), 'keep');
  register(user, elsewhere);
  const { app, page } = await startProgram(source, UNSTALLER, user);
  try {
    assert.equal(await page.eval('document.getElementById("installDir").textContent'), elsewhere);
    await runToEnd(page);
    assert.equal(fs.existsSync(elsewhere), false);
    assert.deepEqual(listTree(parent), ['neighbour.txt']);
    assert.deepEqual(listTree(user.installDir), ['other.txt']);
    assert.ok(fs.existsSync(path.join(user.home, 'note.txt')));
    assert.equal(registryValues(user), null);
  } finally {
    await closeProgram(app);
  }
});

test('a registration naming a folder without the application deletes nothing there, nor the home', async () => {
  const user = freshUser('not-installed');
  const source = uninstallerCopy('payload-not-installed');
  const stranger = path.join(user.root, 'Documents');
  writeFile(path.join(stranger, 'thesis.txt'), 'keep');
  writeFile(path.join(user.home, 'note.txt'), 'keep');
  register(user, stranger);
  const { app, page } = await startProgram(source, UNSTALLER, user);
  try {
    await runToEnd(page);
    assert.deepEqual(listTree(stranger), ['thesis.txt']);
    assert.ok(fs.existsSync(path.join(user.home, 'note.txt')));
  } finally {
    await closeProgram(app);
  }
  // The home itself, even holding the application, is never an installation.
  writeFile(path.join(user.home, APP), 'app');
  register(user, user.home);
  const again = await startProgram(source, UNSTALLER, user);
  try {
    await runToEnd(again.page);
    assert.deepEqual(listTree(user.home).filter((f) => !f.startsWith('Desktop/')), [APP, 'note.txt']);
  } finally {
    await closeProgram(again.app);
  }
});

test('with the application running only the warning toast appears', async () => {
  const user = freshUser('unstall-running');
  const source = uninstallerCopy('payload-unstall-running');
  writeFile(path.join(user.installDir, 'keep.txt'), 'keep');
  const running = fakeProcess('Tidewell-app.exe');
  const { app, page } = await startProgram(source, UNSTALLER, user);
  try {
    await sleep(200);
    await page.click('#unstallBtn');
    await page.waitFor('document.querySelector(".toast.show")', 3000);
    const state = await pageState(page);
    assert.deepEqual(state.toasts, [{ type: 'warning', text: '主程序正在运行，请先退出主程序，再进行卸载。' }]);
    assert.deepEqual([state.button, state.buttonEnabled, state.progressShown], ['开始卸载', true, false]);
    assert.ok(fs.existsSync(path.join(user.installDir, 'keep.txt')));
  } finally {
    running.stop();
    await closeProgram(app);
  }
});
