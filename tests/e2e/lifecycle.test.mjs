// An installation's whole life as a user clicks it: odd folder names, live
// progress, closing mid-run, the launchers, the installed uninstaller, the log.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {
  INSTALLER, APP, UNSTALLER,
  freshUser, copyPayload, scratch, writeFile, listTree, startProgram, closeProgram, shot,
  registryValues, pageState, desktopFileValid, sleep,
} from './lib/fixture.mjs';

async function install(page, folder) {
  await page.eval(`document.getElementById("installDir").value = ${JSON.stringify(folder)}`);
  await page.click('#installBtn');
  await page.waitFor('document.getElementById("installBtn").textContent === "打开"', 60000).catch(async (e) => {
    throw new Error(`${e.message}\nstate ${JSON.stringify(await pageState(page))}`);
  });
}

function addFiles(folder, count) {
  for (let i = 0; i < count; i++) writeFile(path.join(folder, 'data', `d${i % 20}`, `f${i}.bin`), 'x'.repeat(64));
}

test('folders named C#项目, why?, 100% and a%20b install exactly there', async () => {
  const user = freshUser('odd-names');
  const source = copyPayload('payload-odd');
  const { app, page } = await startProgram(source, INSTALLER, user);
  try {
    for (const name of ['C#项目', 'why?', '100%', 'a%20b']) {
      const parent = path.join(user.root, name);
      fs.mkdirSync(parent);
      // What the folder dialog hands the page for this folder.
      const url = 'file://' + parent.split('/').map(encodeURIComponent).join('/');
      const folder = await page.eval(`import("/common/js/wizard.js").then((m) => m.installDirFromChoice(${JSON.stringify(url)}))`);
      assert.equal(folder, path.join(parent, 'Tidewell'));
      await install(page, folder);
      assert.ok(fs.existsSync(path.join(parent, 'Tidewell', APP)), name);
      assert.deepEqual(fs.readdirSync(parent), ['Tidewell'], name);
      await page.eval('location.reload()');
      await page.waitFor('document.readyState === "complete" && document.getElementById("installBtn").textContent === "开始安装"', 15000);
    }
  } finally {
    await closeProgram(app);
  }
});

test('a custom folder installs with both launchers and is removed by its own uninstaller, programs last', async () => {
  const user = freshUser('custom');
  const source = copyPayload('payload-custom');
  addFiles(source, 1000);
  const parent = path.join(user.root, 'My Apps');
  writeFile(path.join(parent, 'neighbour.txt'), 'keep');
  writeFile(path.join(user.home, 'note.txt'), 'keep');
  const folder = path.join(parent, 'Tidewell');
  const menuEntry = path.join(user.data, 'applications', '潮井.desktop');

  const installer = await startProgram(source, INSTALLER, user);
  try {
    await install(installer.page, folder);
  } finally {
    await closeProgram(installer.app);
  }
  // The log is state, outside every install folder; no default folder was made.
  assert.ok(listTree(path.join(user.root, 'state', 'Tidewell', 'logs')).some((f) => /^Tidewell-\d{4}-\d\d-\d\d\.log$/.test(f)));
  assert.equal(fs.existsSync(user.installDir), false);
  for (const entry of [user.shortcut, menuEntry]) {
    const validation = desktopFileValid(entry);
    assert.ok(validation.ok, validation.output);
    const text = fs.readFileSync(entry, 'utf8');
    const icon = /^Icon=(.*)$/m.exec(text)[1];
    assert.equal(icon, path.join(folder, 'Tidewell.png'));
    assert.equal(fs.readFileSync(icon).subarray(1, 4).toString(), 'PNG');
    assert.match(text, /^Categories=Utility;$/m);
    assert.match(text, /^Comment=.+$/m);
    assert.match(text, /^StartupWMClass=Tidewell-app\.exe$/m);
  }
  // Marked trusted wherever gio can keep the mark (it needs the session's metadata service).
  const gioEnv = { ...process.env, ...user.env };
  const probe = path.join(scratch('gio'), 'probe.desktop');
  writeFile(probe, '');
  const markable = spawnSync('gio', ['set', probe, 'metadata::trusted', 'true'], { env: gioEnv }).status === 0
    && /metadata::trusted: true/.test(spawnSync('gio', ['info', '-a', 'metadata::trusted', probe], { encoding: 'utf8', env: gioEnv }).stdout);
  if (markable) {
    assert.match(spawnSync('gio', ['info', '-a', 'metadata::trusted', user.shortcut], { encoding: 'utf8', env: gioEnv }).stdout, /metadata::trusted: true/);
  }

  // Closed halfway: the programs are still there, the uninstaller finishes the job.
  let unstaller = await startProgram(folder, UNSTALLER, user);
  try {
    assert.equal(await unstaller.page.eval('document.getElementById("installDir").textContent'), folder);
    await unstaller.page.click('#unstallBtn');
    await unstaller.page.waitFor('(() => { const m = /\\((\\d+)\\//.exec(document.getElementById("progressTip").textContent); return m && Number(m[1]) >= 20; })()', 30000);
    await shot(unstaller.page, 'unstaller-interrupted');
    unstaller.page.click('#closeBtn').catch(() => {}); // the window closes under the click
    await unstaller.app.exit(10000);
  } finally {
    await closeProgram(unstaller.app);
  }
  assert.ok(fs.existsSync(path.join(folder, APP)), 'the application is removed last but one');
  assert.ok(fs.existsSync(path.join(folder, UNSTALLER)), 'the uninstaller is removed last');
  assert.ok(listTree(folder).length < 1000, 'the run had begun');
  assert.ok(registryValues(user), 'the registration goes at the end');
  unstaller = await startProgram(folder, UNSTALLER, user);
  try {
    await unstaller.page.click('#unstallBtn');
    await unstaller.page.waitFor('document.getElementById("unstallBtn").textContent === "完成"', 60000);
    await shot(unstaller.page, 'unstaller-custom-finished');
  } finally {
    await closeProgram(unstaller.app);
  }
  assert.equal(fs.existsSync(folder), false);
  assert.deepEqual(listTree(parent), ['neighbour.txt']);
  assert.ok(fs.existsSync(path.join(user.home, 'note.txt')));
  assert.equal(fs.existsSync(user.shortcut), false);
  assert.equal(fs.existsSync(menuEntry), false);
  assert.equal(registryValues(user), null);
});

test('a 2,000-file copy shows its progress as it goes, and a close click stops it within a second', async () => {
  const user = freshUser('live');
  const source = copyPayload('payload-live');
  addFiles(source, 2000);
  const { app, page } = await startProgram(source, INSTALLER, user);
  try {
    const folder = path.join(user.root, 'Live', 'Tidewell');
    await page.eval(`document.getElementById("installDir").value = ${JSON.stringify(folder)}`);
    await page.click('#installBtn');
    // What the window shows, read between its frames.
    const seen = new Set();
    const started = Date.now();
    while (seen.size < 6 && Date.now() - started < 60000) {
      const percent = await page.eval('document.getElementById("progressPercent").textContent');
      if (percent !== '100%') seen.add(percent);
      else break;
      await sleep(20);
    }
    assert.ok(seen.size >= 6, `percentages seen: ${[...seen].join(' ')}`);
    await shot(page, 'installer-copying');
    page.click('#closeBtn').catch(() => {}); // the window closes under the click
    // Within a second the copy has stopped: nothing more arrives after it.
    await sleep(1000);
    const copied = listTree(folder).length;
    await sleep(1000);
    assert.equal(listTree(folder).length, copied);
    assert.ok(copied < 2000, `${copied} files copied`);
    await app.exit(10000);
  } finally {
    await closeProgram(app);
  }
});

test('a payload larger than a small tmpfs fails before copying, with both figures', async (t) => {
  const target = scratch('small-fs');
  if (spawnSync('mount', ['-t', 'tmpfs', '-o', 'size=1m', 'tmpfs', target]).status !== 0) {
    return t.skip('mounting a tmpfs is not allowed here');
  }
  const user = freshUser('small-fs');
  const source = copyPayload('payload-big');
  try {
    const { app, page } = await startProgram(source, INSTALLER, user);
    try {
      await page.eval(`document.getElementById("installDir").value = ${JSON.stringify(path.join(target, 'Tidewell'))}`);
      await page.click('#installBtn');
      await page.waitFor('document.getElementById("installBtn").textContent === "重新安装"', 30000);
      await sleep(400);
      await shot(page, 'installer-no-room');
      const state = await pageState(page);
      const toast = state.toasts.find((x) => x.type === 'error');
      assert.match(toast.text, /^安装失败：磁盘空间不足：需要 [\d.]+ MB，可用 [\d.]+ (KB|MB)$/);
      assert.deepEqual(fs.readdirSync(target), [], 'nothing written');
    } finally {
      await closeProgram(app);
    }
  } finally {
    spawnSync('umount', [target]);
  }
});
