// The installer from a payload copy: a whole installation, the open action,
// the registration, the desktop launcher, and the path logic of the change button.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {
  INSTALLER, APP, UNSTALLER,
  payloadDir, freshUser, copyPayload, payloadFiles, writeFile, listTree, treeBytes, startProgram, closeProgram, shot,
  registryValues, registryImport, regString, regDword, recordProgress, progressSteps, pageState, processesOf,
  desktopFileValid, sleep, loggedMessages,
} from './lib/fixture.mjs';

const kib = (bytes) => Math.floor((bytes + 512) / 1024);

test('installs the payload into the default folder and opens the application', async () => {
  const user = freshUser('default');
  const source = copyPayload('payload-full');
  writeFile(path.join(source, 'data', 'nested', 'readme.txt'), 'nested file\n');
  fs.copyFileSync(path.join(source, INSTALLER), path.join(source, 'data', INSTALLER));

  const { app, page } = await startProgram(source, INSTALLER, user);
  try {
    assert.equal(await page.eval('document.getElementById("installDir").value'), user.installDir);
    assert.equal(await page.eval('document.title'), '潮井安装向导');
    assert.equal(await page.eval('document.getElementById("installerTitle").textContent'), '潮井');
    const ready = await pageState(page);
    assert.deepEqual(
      [ready.button, ready.buttonEnabled, ready.groupShown, ready.progressShown, ready.tip, ready.percent],
      ['开始安装', true, true, false, '准备安装...', '0%'],
    );
    await shot(page, 'installer-ready');

    await recordProgress(page);
    await page.click('#installBtn');
    await shot(page, 'installer-running');
    await page.waitFor('document.getElementById("installBtn").textContent === "打开"', 30000).catch(async (e) => {
      throw new Error(`${e.message}\nstate ${JSON.stringify(await pageState(page))}\nsteps ${JSON.stringify(await progressSteps(page))}\n${app.stderr}`);
    });
    await sleep(400); // let the fill's width transition end before the picture
    await shot(page, 'installer-done');

    const done = await pageState(page);
    assert.deepEqual(
      [done.tip, done.percent, done.fill, done.buttonEnabled, done.groupShown, done.progressShown, done.changeEnabled],
      ['安装完成', '100%', '100%', true, false, true, false],
    );
    const steps = await progressSteps(page);
    const expectedTotal = payloadFiles().length + 2; // two copies of the installer, one more file
    assert.deepEqual(steps[0], ['正在扫描安装文件...', '5%']);
    assert.deepEqual(steps.at(-1), ['安装完成', '100%']);
    const copySteps = steps.slice(1, -1);
    assert.equal(copySteps.length, expectedTotal - 2);
    copySteps.forEach(([tip, percent], i) => {
      assert.equal(tip, `正在复制文件 (${i + 1}/${expectedTotal})...`);
      assert.equal(percent, `${5 + Math.floor(((i + 1) / expectedTotal) * 90)}%`);
    });

    // Every payload file but the installer, the subfolder too; the installer nowhere.
    const installed = listTree(user.installDir).filter((f) => !f.startsWith('logs/'));
    const expected = listTree(source).filter((f) => path.basename(f) !== INSTALLER);
    assert.deepEqual(installed, expected);
    for (const file of expected) {
      assert.ok(fs.readFileSync(path.join(user.installDir, file)).equals(fs.readFileSync(path.join(source, file))), file);
    }
    assert.ok(fs.statSync(path.join(user.installDir, APP)).mode & 0o100, 'the application stays executable');

    // The desktop launcher.
    assert.ok(fs.existsSync(user.shortcut), 'desktop entry written');
    const validation = desktopFileValid(user.shortcut);
    assert.ok(validation.ok, validation.output);
    const entry = fs.readFileSync(user.shortcut, 'utf8');
    assert.match(entry, /^Name=潮井$/m);
    assert.ok(entry.includes(path.join(user.installDir, APP)), entry);

    // Open: the application from the install folder, in it; the installer ends with 0.
    const appExe = path.join(user.installDir, APP);
    page.click('#installBtn').catch(() => {}); // the window closes under the click
    assert.equal(await app.exit(10000), 0);
    let started = [];
    for (let i = 0; i < 50 && !started.length; i++, await sleep(100)) started = processesOf(appExe);
    for (const { pid } of started) process.kill(pid, 'SIGKILL');
    assert.equal(started.length, 1, 'the application runs');
    assert.equal(started[0].cwd, user.installDir);

    // The registration; the log folder lives inside the default folder here, so its size floats.
    const values = registryValues(user);
    assert.ok(values, 'uninstall key present');
    assert.equal(values.DisplayName, regString('潮井'));
    assert.equal(values.UninstallString, regString(path.join(user.installDir, UNSTALLER)));
    assert.equal(values.InstallLocation, regString(user.installDir));
    assert.equal(values.DisplayIcon, regString(path.join(user.installDir, APP)));
    assert.equal(values.Publisher, regString('Marrowfield Inc., Ltd'));
    assert.match(values.DisplayVersion, /^"\d+\.\d+\.\d+"$/);
    assert.equal(values.NoModify, regDword(1));
    assert.equal(values.NoRepair, regDword(1));
    const size = parseInt(values.EstimatedSize.replace('dword:', ''), 16);
    const copiedBytes = expected.reduce((sum, f) => sum + fs.statSync(path.join(source, f)).size, 0);
    assert.ok(size >= kib(copiedBytes) && size <= kib(treeBytes(user.installDir)), `EstimatedSize ${size}`);
    // Beside them, the record of what was installed: outside the install folder, the user's alone.
    const record = path.join(user.config, 'Tidewell', 'install-record.json');
    assert.equal(values.InstallRecord, regString(record));
    assert.equal(fs.statSync(record).mode & 0o777, 0o600);
    const recorded = JSON.parse(fs.readFileSync(record, 'utf8'));
    assert.deepEqual([...recorded.files, ...recorded.links].sort(), expected);
    assert.deepEqual(recorded.launchers, [path.join(user.data, 'applications', '潮井.desktop'), user.shortcut]);
    assert.equal(Object.keys(values).length, 10);
  } finally {
    await closeProgram(app);
  }
});

test('three entries with the installer give the tips (1/3) and (2/3); halves of a KiB round up', async () => {
  const user = freshUser('small');
  const engine = payloadFiles().find((f) => f.startsWith('libtidewell-engine'));
  const source = copyPayload('payload-three', [INSTALLER, APP, engine]);
  // Trailing bytes leave the program intact and make the copied size end in half a KiB.
  const copied = fs.statSync(path.join(source, APP)).size + fs.statSync(path.join(source, engine)).size;
  fs.appendFileSync(path.join(source, APP), Buffer.alloc((512 - (copied % 1024) + 1024) % 1024));

  const { app, page } = await startProgram(source, INSTALLER, user);
  try {
    // A folder picked outside the data folder keeps the log out of the installation.
    const chosen = path.join(user.root, 'Apps', 'Tidewell');
    await page.eval(`document.getElementById("installDir").value = ${JSON.stringify(chosen)}`);
    await recordProgress(page);
    await page.click('#installBtn');
    await page.waitFor('document.getElementById("installBtn").textContent === "打开"', 20000);
    const steps = await progressSteps(page);
    assert.deepEqual(steps, [
      ['正在扫描安装文件...', '5%'],
      ['正在复制文件 (1/3)...', '35%'],
      ['正在复制文件 (2/3)...', '65%'],
      ['安装完成', '100%'],
    ]);
    assert.deepEqual(listTree(chosen), [APP, engine].sort());
    const bytes = treeBytes(chosen);
    const values = registryValues(user);
    assert.equal(values.InstallLocation, regString(chosen));
    assert.equal(values.EstimatedSize, regDword(kib(bytes)));
    assert.equal(bytes % 1024, 512);
  } finally {
    await closeProgram(app);
  }
});

test('a payload of the installer alone installs nothing and registers no size', async () => {
  const user = freshUser('empty');
  const source = copyPayload('payload-alone', [INSTALLER]);
  // The engine comes from the build's payload through the library path instead of from beside it.
  const { app, page } = await startProgram(source, INSTALLER, user, { LD_LIBRARY_PATH: payloadDir });
  try {
    const chosen = path.join(user.root, 'Empty', 'Tidewell');
    await page.eval(`document.getElementById("installDir").value = ${JSON.stringify(chosen)}`);
    await recordProgress(page);
    await page.click('#installBtn');
    await page.waitFor('document.getElementById("installBtn").textContent === "打开"', 20000);
    assert.deepEqual(await progressSteps(page), [['正在扫描安装文件...', '5%'], ['安装完成', '100%']]);
    assert.deepEqual(listTree(chosen), []);
    const values = registryValues(user);
    assert.equal(values.InstallLocation, regString(chosen));
    assert.equal(values.EstimatedSize, undefined);
    assert.equal(Object.keys(values).length, 9);
  } finally {
    await closeProgram(app);
  }
});

test('an install folder inside the payload folder is not copied into itself', async () => {
  const user = freshUser('inside');
  const source = copyPayload('payload-inside');
  const { app, page } = await startProgram(source, INSTALLER, user);
  try {
    const chosen = path.join(source, 'Tidewell');
    await page.eval(`document.getElementById("installDir").value = ${JSON.stringify(chosen)}`);
    await page.click('#installBtn');
    await page.waitFor('document.getElementById("installBtn").textContent === "打开"', 20000);
    const expected = listTree(source).filter((f) => !f.startsWith('Tidewell/') && f !== INSTALLER);
    assert.deepEqual(listTree(chosen).filter((f) => !f.startsWith('logs/')), expected);
  } finally {
    await closeProgram(app);
  }
});

test('links in the payload stay links, a FIFO is skipped, and a payload reached through a link is not copied into itself', async () => {
  const user = freshUser('links');
  const source = copyPayload('payload-links');
  writeFile(path.join(source, 'lib', 'libx.so.1.2'), 'library\n');
  fs.symlinkSync('libx.so.1.2', path.join(source, 'lib', 'libx.so.1'));
  fs.symlinkSync('lib', path.join(source, 'lib-folder'));
  fs.symlinkSync('nowhere', path.join(source, 'dangling'));
  execFileSync('mkfifo', [path.join(source, 'pipe')]);
  // The install folder inside the payload folder, named through a link to it.
  const alias = path.join(user.root, 'alias');
  fs.symlinkSync(source, alias);
  const { app, page } = await startProgram(source, INSTALLER, user);
  try {
    await page.eval(`document.getElementById("installDir").value = ${JSON.stringify(path.join(alias, 'Tidewell'))}`);
    await page.click('#installBtn');
    await page.waitFor('document.getElementById("installBtn").textContent === "打开"', 30000).catch(async (e) => {
      throw new Error(`${e.message}\nstate ${JSON.stringify(await pageState(page))}\n${app.stderr}`);
    });
    const installed = path.join(source, 'Tidewell');
    assert.equal(fs.readlinkSync(path.join(installed, 'lib', 'libx.so.1')), 'libx.so.1.2');
    assert.equal(fs.readFileSync(path.join(installed, 'lib', 'libx.so.1'), 'utf8'), 'library\n');
    assert.equal(fs.readlinkSync(path.join(installed, 'lib-folder')), 'lib');
    assert.equal(fs.readlinkSync(path.join(installed, 'dangling')), 'nowhere');
    assert.ok(!fs.existsSync(path.join(installed, 'pipe')), 'the FIFO is not copied');
    assert.ok(!fs.existsSync(path.join(installed, 'Tidewell')), 'the install folder is not copied into itself');
    assert.equal(loggedMessages(app, "/pipe: not a file, folder or link"), 1);
    // The folder link does not count the library twice.
    assert.equal(registryValues(user).EstimatedSize, regDword(kib(treeBytes(installed))));
  } finally {
    await closeProgram(app);
  }
});

test('the change button turns the chosen folder into a folder named Tidewell', async () => {
  const user = freshUser('paths');
  const source = copyPayload('payload-paths');
  const { app, page } = await startProgram(source, INSTALLER, user);
  try {
    const convert = (url) =>
      page.eval(`import("/common/js/wizard.js").then((m) => m.installDirFromChoice(${JSON.stringify(url)}))`);
    assert.equal(await convert('file:///opt/Apps'), '/opt/Apps/Tidewell');
    assert.equal(await convert('file:///'), '/Tidewell');
    assert.equal(await convert('file:///home/u/My%20Apps/'), '/home/u/My Apps/Tidewell');
    assert.equal(await convert('file:///home/u/%E8%BD%AF%E4%BB%B6'), '/home/u/软件/Tidewell');
    assert.equal(await convert('file:///home/u/100%'), '/home/u/100%/Tidewell');
    // The dialog's URL escapes "#", "?" and "%": each comes back as picked.
    assert.equal(await convert('file:///tmp/C%23%E9%A1%B9%E7%9B%AE'), '/tmp/C#项目/Tidewell');
    assert.equal(await convert('file:///tmp/why%3F'), '/tmp/why?/Tidewell');
    assert.equal(await convert('file:///tmp/100%25'), '/tmp/100%/Tidewell');
    assert.equal(await convert('file:///tmp/a%2520b'), '/tmp/a%20b/Tidewell');
    assert.equal(await page.eval('import("/common/js/wizard.js").then((m) => m.defaultInstallDir())'), user.installDir);
  } finally {
    await closeProgram(app);
  }
});

test('a reinstall offers the folder of the registered installation, not the default', async () => {
  const user = freshUser('reinstall');
  const source = copyPayload('payload-reinstall');
  const existing = path.join(user.home, 'Apps', 'Tidewell');
  writeFile(path.join(existing, APP), 'app');
  const field = async (page) => page.eval('document.getElementById("installDir").value');
  // A registration whose folder lost the application is no installation.
  registryImport(user, { DisplayName: '潮井', InstallLocation: path.join(user.home, 'Gone', 'Tidewell') });
  let { app, page } = await startProgram(source, INSTALLER, user);
  try {
    assert.equal(await field(page), user.installDir);
    assert.equal(await page.eval('document.getElementById("existingHint").hidden'), true);
  } finally {
    await closeProgram(app);
  }
  registryImport(user, { DisplayName: '潮井', InstallLocation: existing });
  ({ app, page } = await startProgram(source, INSTALLER, user));
  try {
    assert.equal(await field(page), existing);
    assert.equal(await page.eval('document.getElementById("existingHint").hidden'), false);
    await shot(page, 'installer-reinstall');
    await page.click('#installBtn');
    await page.waitFor('document.getElementById("installBtn").textContent === "打开"', 30000);
    assert.equal(registryValues(user).InstallLocation, regString(existing));
    assert.ok(!fs.existsSync(user.installDir), 'no second copy in the default folder');
  } finally {
    await closeProgram(app);
  }
});
