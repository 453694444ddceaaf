// The installer's refusals and failures, and installing over an installation.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {
  INSTALLER, APP,
  freshUser, copyPayload, payloadFiles, writeFile, listTree, startProgram, closeProgram, shot,
  registryValues, regDword, treeBytes, pageState, fakeProcess, loggedMessages, sleep,
} from './lib/fixture.mjs';

test('with the application running only the warning toast appears', async () => {
  const user = freshUser('running');
  const source = copyPayload('payload-running');
  const running = fakeProcess(APP);
  const { app, page } = await startProgram(source, INSTALLER, user);
  try {
    await sleep(200);
    await page.click('#installBtn');
    await page.waitFor('document.querySelector(".toast.show")', 3000);
    const state = await pageState(page);
    assert.deepEqual(state.toasts, [{ type: 'warning', text: '主程序正在运行，请先退出主程序，再进行安装。' }]);
    assert.deepEqual(
      [state.button, state.buttonEnabled, state.changeEnabled, state.groupShown, state.progressShown],
      ['开始安装', true, true, true, false],
    );
    assert.deepEqual(listTree(user.installDir).filter((f) => !f.startsWith('logs/')), []);
    assert.equal(registryValues(user), null);
    assert.equal(fs.existsSync(user.shortcut), false);
  } finally {
    running.stop();
    await closeProgram(app);
  }
});

test('an install folder that cannot be created fails the run; each retry is one run', async () => {
  const user = freshUser('uncreatable');
  const source = copyPayload('payload-uncreatable');
  const blocker = path.join(user.root, 'not-a-folder');
  writeFile(blocker, 'a file where a folder should be');
  const target = path.join(blocker, 'Tidewell');
  const { app, page } = await startProgram(source, INSTALLER, user);
  try {
    await page.eval(`document.getElementById("installDir").value = ${JSON.stringify(target)}`);
    await page.click('#installBtn');
    await page.waitFor('document.getElementById("installBtn").textContent === "重新安装"', 5000);
    await sleep(400);
    await shot(page, 'installer-failed');
    let state = await pageState(page);
    assert.deepEqual(state.toasts, [{ type: 'error', text: '安装失败：创建安装目录失败：' + target }]);
    assert.deepEqual(
      [state.tip, state.percent, state.buttonEnabled, state.changeEnabled, state.groupShown, state.progressShown],
      ['安装失败', '0%', true, true, true, true],
    );
    assert.equal(loggedMessages(app, 'start run install'), 1);

    await page.click('#installBtn');
    await page.waitFor('document.querySelectorAll(".toast-error").length === 2', 5000);
    await sleep(500);
    state = await pageState(page);
    assert.equal(loggedMessages(app, 'start run install'), 2);
    assert.equal(state.button, '重新安装');
    assert.equal(state.toasts.length, 2);
    assert.equal(registryValues(user), null);
  } finally {
    await closeProgram(app);
  }
});

test('installing over an installation replaces the copied files and keeps the others', async () => {
  const user = freshUser('over');
  const source = copyPayload('payload-over');
  writeFile(path.join(user.installDir, APP), 'an older application');
  writeFile(path.join(user.installDir, 'settings', 'user.ini'), 'kept=1\n');
  // The older version's record: what it installed stays ours after the new one.
  const record = path.join(user.config, 'Tidewell', 'install-record.json');
  const older = { installDir: user.installDir, rootCreated: true, files: [APP, 'plugin.so'], links: [], folders: [], launchers: [] };
  writeFile(record, JSON.stringify(older));
  const { app, page } = await startProgram(source, INSTALLER, user);
  try {
    await page.click('#installBtn');
    await page.waitFor('document.getElementById("installBtn").textContent === "打开"', 30000);
    for (const file of payloadFiles().filter((f) => path.basename(f) !== INSTALLER)) {
      assert.ok(fs.readFileSync(path.join(user.installDir, file)).equals(fs.readFileSync(path.join(source, file))), file);
    }
    assert.equal(fs.readFileSync(path.join(user.installDir, 'settings', 'user.ini'), 'utf8'), 'kept=1\n');
    const merged = JSON.parse(fs.readFileSync(record, 'utf8'));
    const copied = payloadFiles().filter((f) => path.basename(f) !== INSTALLER);
    assert.deepEqual(merged.files, [...copied, 'plugin.so'].sort());
    assert.equal(merged.rootCreated, true);
    // The registered size counts the replaced files at their new size and the kept ones too.
    assert.equal(registryValues(user).EstimatedSize, regDword(Math.floor((treeBytes(user.installDir) + 512) / 1024)));
  } finally {
    await closeProgram(app);
  }
});

test('a registration the store refuses is logged as failed, and the install still finishes', async () => {
  const user = freshUser('no-registry');
  const source = copyPayload('payload-no-registry');
  writeFile(path.join(user.config, 'Tidewell'), 'a file where the store folder belongs');
  const { app, page } = await startProgram(source, INSTALLER, user);
  try {
    await page.click('#installBtn');
    await page.waitFor('document.getElementById("installBtn").textContent === "打开"', 30000);
    await sleep(200);
    assert.equal(loggedMessages(app, 'create uninstall registry failed: '), 1, app.stderr);
    assert.equal(loggedMessages(app, 'create uninstall registry success'), 0);
  } finally {
    await closeProgram(app);
  }
});
