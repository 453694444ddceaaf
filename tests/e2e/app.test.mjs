// The application driven as a user drives it: scans of a generated tree,
// deletion of exactly the selected files, privacy cleaning, start-up items,
// settings across a restart, the history and the other windows.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { launch } from '../node/lib/driver.mjs';
import { APP, UNSTALLER, freshUser, copyPayload, processesOf, registryImport, shot, sleep, writeFile } from './lib/fixture.mjs';

const MB = 1024 * 1024;

async function startApp(user, folder = copyPayload('installed-app')) {
  const app = await launch({ program: path.join(folder, APP), cwd: folder, env: user.env });
  const page = await app.page({ urlIncludes: 'main.html', timeoutMs: 20000 });
  await page.waitFor('document.getElementById("osName") && document.getElementById("osName").textContent !== ""', 15000);
  return { app, page, folder };
}

async function stopApp(app) {
  app.kill();
  await app.exited;
}

const text = (page, selector) => page.eval(`document.querySelector(${JSON.stringify(selector)}).textContent`);
const toasts = (page) =>
  page.eval(`[...document.querySelectorAll('.toast')].map((t) => t.className.replace(/.*toast-(\\w+).*/, '$1') + ':' + t.querySelector('.toast-message').textContent)`);

async function section(page, name) {
  await page.click(`.nav-item[data-section="${name}"]`);
  // 系统清理 measures in the background, its refresh button off meanwhile.
  await page.waitFor(`document.getElementById('section-${name}').classList.contains('active') && !document.querySelector('.busy-overlay.show') && !document.getElementById('privacyRefreshBtn').disabled`, 60000);
}

// Replaces the chosen folders of a scan section with one typed path.
async function chooseFolder(page, containerId, folder) {
  await page.eval(`(() => {
    for (const b of [...document.querySelectorAll('#${containerId} [data-remove]')].reverse()) b.click();
    return true;
  })()`);
  await page.click(`#${containerId} .folder-input`);
  await page.eval(`document.querySelector('#${containerId} .folder-input').value = ${JSON.stringify(folder)}; true`);
  await page.eval(`document.querySelector('#${containerId} .folder-input').dispatchEvent(new KeyboardEvent('keydown', { key: 'Enter' })); true`);
  const chips = await page.eval(`[...document.querySelectorAll('#${containerId} .chip')].map((c) => c.textContent.replace(/[\\u200e×]/g, ''))`);
  assert.deepEqual(chips, [folder]);
}


function sparseFile(file, size, fill) {
  writeFile(file, '');
  const fd = fs.openSync(file, 'r+');
  fs.writeSync(fd, Buffer.from(fill));
  fs.ftruncateSync(fd, size);
  fs.closeSync(fd);
}

test('large and duplicate files of a generated tree are found, shown, and only the selected ones deleted', async () => {
  const user = freshUser('app-scan');
  const tree = path.join(user.home, 'tree');
  // Large files: three above 10 MB (sparse, so cheap), one below.
  sparseFile(path.join(tree, 'video', 'big-a.bin'), 40 * MB, 'a');
  sparseFile(path.join(tree, 'video', 'deep', 'er', 'big-b.bin'), 25 * MB, 'b');
  sparseFile(path.join(tree, 'iso', 'big-c.bin'), 12 * MB, 'c');
  sparseFile(path.join(tree, 'small.bin'), 2 * MB, 'd');
  // Duplicate groups: three copies of one text, two of another, and a same-size stranger.
  const dups = path.join(user.home, 'dups');
  for (const [name, content] of [
    ['one/a.txt', 'same content, group one'],
    ['two/a-copy.txt', 'same content, group one'],
    ['three/a-again.txt', 'same content, group one'],
    ['one/b.dat', 'B'.repeat(5000)],
    ['two/b.dat', 'B'.repeat(5000)],
    ['two/stranger.dat', 'C'.repeat(5000)],
  ]) writeFile(path.join(dups, name), content);
  fs.utimesSync(path.join(dups, 'one/a.txt'), new Date('2020-01-01'), new Date('2020-01-01'));
  fs.utimesSync(path.join(dups, 'two/a-copy.txt'), new Date('2022-01-01'), new Date('2022-01-01'));
  fs.utimesSync(path.join(dups, 'three/a-again.txt'), new Date('2024-01-01'), new Date('2024-01-01'));
  fs.utimesSync(path.join(dups, 'one/b.dat'), new Date('2021-01-01'), new Date('2021-01-01'));
  fs.utimesSync(path.join(dups, 'two/b.dat'), new Date('2023-01-01'), new Date('2023-01-01'));

  const { app, page } = await startApp(user);
  try {
    // The system drive's free space is what df says the user can write.
    const shown = /可用 ([\d.]+) (B|KB|MB|GB|TB)/.exec(await text(page, '#drives .drive-space'));
    const available = Number(execFileSync('df', ['-B1', '--output=avail', '/'], { encoding: 'utf8' }).split('\n')[1]);
    const bytes = Number(shown[1]) * 1024 ** ['B', 'KB', 'MB', 'GB', 'TB'].indexOf(shown[2]);
    assert.ok(Math.abs(bytes - available) <= available * 0.01, `shown ${shown[0]}, df ${available}`);

    // One click measures the home folder: no file reaches 100 MB, the extra copies waste 5046 bytes.
    await page.click('#measureAllBtn');
    await page.waitFor(`document.getElementById('measureAllBtn').textContent === '重新扫描'`, 60000);
    assert.equal(await text(page, '#measureLarge'), '0 B');
    assert.equal(await text(page, '#measureDup'), '4.93 KB');
    assert.match(await text(page, '#heroTitle'), /^可释放 /);
    await shot(page, 'app-overview');

    // 大文件
    await section(page, 'large');
    await chooseFolder(page, 'largeFolders', tree);
    await page.eval(`document.getElementById('largeMin').value = '10'; true`);
    await page.click('#largeScanBtn');
    await page.waitFor(`document.getElementById('largeScanBtn').textContent === '开始扫描' && /扫描完成/.test(document.getElementById('largeStatus').textContent)`, 30000);
    const rows = await page.eval(`[...document.querySelectorAll('#largeList .vlist-row')].map((r) => [...r.children].slice(1, 5).map((c) => c.textContent))`);
    assert.deepEqual(rows.map((r) => r[0]), ['big-a.bin', 'big-b.bin', 'big-c.bin'], 'largest first, the small file left out');
    assert.deepEqual(rows.map((r) => r[1]), ['40.0 MB', '25.0 MB', '12.0 MB']);
    assert.equal(rows[1][3], path.join(tree, 'video', 'deep', 'er'));
    assert.match(rows[0][2], /^\d{4}-\d\d-\d\d \d\d:\d\d$/);
    assert.match(await text(page, '#largeStatus'), /3 个文件，共 77\.0 MB/);

    // Select the first and the third, then delete after the confirmation.
    await page.click('#largeList .vlist-row[data-index="0"] .check');
    await page.click('#largeList .vlist-row[data-index="2"] .check');
    assert.equal(await text(page, '#largeSelection'), '已选择 2 个文件，共 52.0 MB');
    // Sparse: the space freed is the blocks they hold, their sizes beside it.
    const blocks = ['video/big-a.bin', 'iso/big-c.bin'].reduce((sum, f) => sum + fs.statSync(path.join(tree, f)).blocks * 512, 0);
    const freed = await page.eval(`import('/common/js/appkit.js').then((m) => m.formatBytes(${blocks}))`);
    await page.click('#largeDeleteBtn');
    await page.waitFor(`document.querySelector('.dialog')`);
    assert.match(await text(page, '.dialog-message'), /所选的 2 个文件（共 52\.0 MB）/);
    await shot(page, 'app-large-confirm');
    await page.click('.dialog [data-answer="alternative"]');
    await page.waitFor(`document.querySelectorAll('#largeList .vlist-row').length === 1`, 10000);
    assert.ok(!fs.existsSync(path.join(tree, 'video', 'big-a.bin')));
    assert.ok(!fs.existsSync(path.join(tree, 'iso', 'big-c.bin')));
    assert.ok(fs.existsSync(path.join(tree, 'video', 'deep', 'er', 'big-b.bin')), 'the unselected file stays');
    assert.ok(fs.existsSync(path.join(tree, 'small.bin')));
    assert.ok((await toasts(page)).includes(`success:已删除 2 个文件，释放 ${freed}（文件大小共 52.0 MB）`), JSON.stringify(await toasts(page)));
    await shot(page, 'app-large');

    // Cancelling the confirmation deletes nothing.
    await page.click('#largeList .vlist-row[data-index="0"] .check');
    await page.click('#largeDeleteBtn');
    await page.waitFor(`document.querySelector('.dialog')`);
    await page.key('Escape');
    await page.waitFor(`!document.querySelector('.dialog')`);
    assert.ok(fs.existsSync(path.join(tree, 'video', 'deep', 'er', 'big-b.bin')), 'Escape cancels');

    // 重复文件
    await section(page, 'dup');
    await chooseFolder(page, 'dupFolders', dups);
    await page.click('#dupScanBtn');
    await page.waitFor(`/扫描完成/.test(document.getElementById('dupStatus').textContent)`, 30000);
    const groups = await page.eval(`[...document.querySelectorAll('#dupList .vlist-row')].map((r) => r.classList.contains('group') ? '#' + r.textContent : r.children[1].textContent)`);
    assert.equal(groups.filter((g) => g.startsWith('#')).length, 2, JSON.stringify(groups));
    assert.ok(!groups.includes('stranger.dat'), 'a same-size file with other content is no duplicate');
    assert.match(await text(page, '#dupStatus'), /2 组重复文件（5 个文件），可释放 4\.93 KB/);
    await page.click('#dupKeepNewest');
    assert.equal(await text(page, '#dupSelection'), '已选择 3 个文件，共 4.93 KB', 'two older copies of one group, one of the other');
    await shot(page, 'app-duplicates');
    await page.click('#dupDeleteBtn');
    await page.waitFor(`document.querySelector('.dialog')`);
    await page.click('.dialog [data-answer="alternative"]');
    await page.waitFor(`/已释放/.test(document.getElementById('dupStatus').textContent)`, 10000);
    const left = fs.readdirSync(dups, { recursive: true }).filter((f) => /\.(txt|dat)$/.test(f)).sort();
    assert.deepEqual(left, ['three/a-again.txt', 'two/b.dat', 'two/stranger.dat'], 'the newest of each group and the stranger stay');
    assert.equal(await page.eval(`document.querySelectorAll('#dupList .vlist-row').length`), 0);
  } finally {
    await stopApp(app);
  }
});

test('start-up entries are listed and removed, installed programs searched and uninstalled, F5 reloads', async () => {
  const user = freshUser('app-system');
  const autostart = path.join(user.config, 'autostart');
  const machineDir = path.join(user.root, 'xdg', 'autostart');
  const entry = (name) => `[Desktop Entry]\nType=Application\nName=${name}\nExec=/bin/true\n`;
  writeFile(path.join(autostart, 'notes.desktop'), entry('Notes'));
  writeFile(path.join(autostart, 'chat.desktop'), entry('Chat'));
  writeFile(path.join(machineDir, 'agent.desktop'), entry('Agent'));
  const marker = path.join(user.root, 'uninstalled');
  // The uninstaller the program brought along, inside its install folder.
  const demo = path.join(user.root, 'Demo Editor');
  writeFile(path.join(demo, 'uninstall'), `#!/bin/sh\ntouch "$1"\n`);
  fs.chmodSync(path.join(demo, 'uninstall'), 0o755);
  registryImport(user, {
    DisplayName: 'Demo Editor',
    Publisher: 'Demo Works',
    DisplayVersion: '3.1.4',
    EstimatedSize: 20480,
    InstallLocation: demo,
    UninstallString: `"${path.join(demo, 'uninstall')}" ${marker}`,
  }, 'HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\DemoEditor');
  user.env.XDG_CONFIG_DIRS = path.join(user.root, 'xdg');
  user.env.XDG_CURRENT_DESKTOP = undefined;
  const { app, page } = await startApp(user);
  try {
    await section(page, 'startup');
    const names = () => page.eval(`[...document.querySelectorAll('#startupList .item-name')].map((n) => n.textContent)`);
    const listed = await names();
    assert.deepEqual([...listed].sort(), ['Agent已启用所有用户', 'Chat已启用当前用户', 'Notes已启用当前用户']);
    await shot(page, 'app-startup');
    const row = listed.findIndex((n) => n.startsWith('Notes'));
    await page.click(`#startupList [data-remove="${row}"]`);
    await page.waitFor(`document.querySelector('.dialog')`);
    assert.match(await text(page, '.dialog-message'), /“Notes”/);
    await page.click('.dialog [data-answer="yes"]');
    await page.waitFor(`document.querySelectorAll('#startupList .item-card').length === 2`);
    assert.ok(!fs.existsSync(path.join(autostart, 'notes.desktop')), 'the removed entry is gone');
    assert.ok(fs.existsSync(path.join(autostart, 'chat.desktop')), 'the other entry stays');
    assert.ok((await toasts(page)).some((t) => t === 'success:已移除启动项“Notes”'));

    // A system entry is masked, never edited; it stays listed as disabled without a remove button.
    const agent = (await names()).findIndex((n) => n.startsWith('Agent'));
    await page.click(`#startupList [data-remove="${agent}"]`);
    await page.waitFor(`document.querySelector('.dialog')`);
    await page.click('.dialog [data-answer="yes"]');
    await page.waitFor(`[...document.querySelectorAll('#startupList .item-name')].some((n) => n.textContent === 'Agent已禁用当前用户')`);
    assert.equal(fs.readFileSync(path.join(machineDir, 'agent.desktop'), 'utf8'), entry('Agent'));
    assert.equal(await page.eval(`document.querySelectorAll('#startupList [data-remove]').length`), 1);

    // F5 reads the list again.
    writeFile(path.join(autostart, 'late.desktop'), entry('Late'));
    await page.key('F5');
    await page.waitFor(`[...document.querySelectorAll('#startupList .item-name')].some((n) => n.textContent.startsWith('Late'))`);

    await section(page, 'programs');
    await page.waitFor(`document.querySelectorAll('#programList .vlist-row').length > 0`, 20000);
    await page.eval(`(() => { const s = document.getElementById('programSearch'); s.value = 'demo works'; s.dispatchEvent(new Event('input')); return true; })()`);
    const programs = await page.eval(`[...document.querySelectorAll('#programList .vlist-row')].map((r) => [...r.children].slice(1, 5).map((c) => c.textContent))`);
    assert.deepEqual(programs, [['Demo Editor', 'Demo Works', '3.1.4', '20.0 MB']]);
    await shot(page, 'app-programs');
    await page.click('#programList .vlist-row .uninstall');
    await page.waitFor(`document.querySelector('.dialog')`);
    await page.click('.dialog [data-answer="no"]');
    await sleep(300);
    assert.ok(!fs.existsSync(marker), 'cancelled: nothing started');
    await page.click('#programList .vlist-row .uninstall');
    await page.waitFor(`document.querySelector('.dialog')`);
    await page.click('.dialog [data-answer="yes"]');
    for (let i = 0; i < 50 && !fs.existsSync(marker); i++) await sleep(100);
    assert.ok(fs.existsSync(marker), 'the program\'s own uninstall command ran');
  } finally {
    await stopApp(app);
  }
});

test('privacy categories of a prepared home are measured and the selected ones cleaned', async (t) => {
  const user = freshUser('app-privacy');
  const cacheRoot = user.env.XDG_CACHE_HOME;
  const chromeCache = path.join(cacheRoot, 'google-chrome', 'Default', 'Cache');
  const thumbs = path.join(cacheRoot, 'thumbnails', 'normal');
  writeFile(path.join(thumbs, 'a.png'), Buffer.alloc(30000, 1));
  writeFile(path.join(chromeCache, 'data_1'), Buffer.alloc(50000, 2));
  writeFile(path.join(chromeCache, 'index'), Buffer.alloc(10000, 3));
  // A temporary folder of the test's own: the scratch folders live in the usual one.
  user.env.TMPDIR = path.join(user.root, 'tmp');
  fs.mkdirSync(user.env.TMPDIR);
  const { app, page } = await startApp(user);
  try {
    const items = JSON.parse(await page.eval('NativeUtil.getPrivacyItems()')).list;
    if (!items.length) {
      t.skip('privacy cleaning is not built into this program yet');
      return;
    }
    await section(page, 'privacy');
    await shot(page, 'app-privacy');
    // The categories first; the application caches follow in a group of their own.
    const allCards = await page.eval(`[...document.querySelectorAll('#privacyList .item-card')].map((c) => [c.dataset.type, c.classList.contains('selected'), c.querySelector('.item-size').textContent])`);
    const cards = allCards.filter(([type]) => items.some((i) => i.type === type));
    assert.deepEqual(cards.map((c) => c[0]), items.map((i) => i.type).filter((type) => type !== 'prefetch'));
    for (const [type, selected] of cards) {
      const size = items.find((i) => i.type === type).size;
      assert.equal(selected, size > 0 && !['recyclebin', 'recent'].includes(type), `${type} starts selected only when it holds something`);
    }
    const chrome = cards.find((c) => c[0] === 'chrome');
    const thumb = cards.find((c) => c[0] === 'thumbcache');
    assert.ok(chrome && thumb, JSON.stringify(cards));
    // Clean the browser cache only: every other selected category is unselected.
    for (const [type, selected] of allCards) if (selected && type !== 'chrome') await page.click(`#privacyList [data-type="${type}"]`);
    assert.deepEqual(await page.eval(`[...document.querySelectorAll('#privacyList .item-card.selected')].map((c) => c.dataset.type)`), ['chrome']);
    await page.click('#privacyCleanBtn');
    await page.waitFor(`document.querySelector('.dialog')`);
    await page.click('.dialog [data-answer="yes"]');
    await page.waitFor(`/已释放/.test(document.getElementById('privacyStatus').textContent)`, 30000);
    assert.deepEqual(fs.readdirSync(chromeCache), [], 'the browser cache is emptied');
    assert.ok(fs.existsSync(path.join(thumbs, 'a.png')), 'the unselected category is untouched');
    assert.ok((await toasts(page)).some((x) => /^success:已清理 \d+ 项，释放 /.test(x)), JSON.stringify(await toasts(page)));
  } finally {
    await stopApp(app);
  }
});

test('settings survive a restart, the history lists the cleanings, the other windows open', async (t) => {
  const user = freshUser('app-settings');
  writeFile(path.join(user.home, 'big', 'one.bin'), Buffer.alloc(11 * MB, 1));
  let { app, page, folder } = await startApp(user);
  try {
    const stored = await page.eval(`NativeUtil.setSetting('probe', 'x') && NativeUtil.getSetting('probe', '') === 'x'`);

    await section(page, 'settings');
    await shot(page, 'app-settings');
    assert.equal(await page.eval(`document.getElementById('setStats').checked`), false, 'usage events start off');
    await page.click('#setStats');
    await page.eval(`(() => { const s = document.getElementById('setLargeMin'); s.value = '10'; s.dispatchEvent(new Event('change')); return true; })()`);
    await page.click('#setBoot');
    assert.ok(fs.existsSync(path.join(user.config, 'autostart', 'Tidewell.desktop')), 'start with the session writes the autostart entry');

    // A cleaning to show in the history.
    await section(page, 'large');
    await chooseFolder(page, 'largeFolders', path.join(user.home, 'big'));
    await page.eval(`document.getElementById('largeMin').value = '10'; true`);
    await page.click('#largeScanBtn');
    await page.waitFor(`/扫描完成/.test(document.getElementById('largeStatus').textContent)`, 30000);
    await page.click('#largeAll');
    await page.click('#largeDeleteBtn');
    await page.waitFor(`document.querySelector('.dialog')`);
    await page.click('.dialog [data-answer="alternative"]');
    await page.waitFor(`/已释放 11\\.0 MB/.test(document.getElementById('largeStatus').textContent)`);

    // The other windows open over the main one.
    await page.click('#hotkeyBtn');
    const hotkeys = await app.page({ urlIncludes: 'hotkey.html' });
    await hotkeys.waitFor(`document.querySelectorAll('#keyRows .key-cap').length === 5`);
    assert.deepEqual(await hotkeys.eval(`[...document.querySelectorAll('#keyRows .key-cap')].map((k) => k.textContent)`), ['F5', 'F1', 'F3', 'F9', 'Esc']);
    await hotkeys.click('#keyRows [data-action="history"]');
    await hotkeys.key('F6');
    await hotkeys.waitFor(`document.querySelector('#keyRows [data-action="history"]').textContent === 'F6'`);
    await shot(hotkeys, 'app-hotkeys');
    await hotkeys.click('#doneBtn').catch(() => {});

    await section(page, 'settings');
    await page.click('#checkUpdateBtn');
    const upgrader = await app.page({ urlIncludes: 'upgrader.html' });
    await upgrader.waitFor(`!['', '正在检查更新…'].includes(document.getElementById('state').textContent)`, 15000);
    const answer = JSON.parse(await upgrader.eval('NativeUtil.checkUpdate()'));
    if (answer.error) assert.notEqual(await upgrader.eval(`document.getElementById('state').className`), 'state', 'a failure is said in words');
    await shot(upgrader, 'app-upgrader');
    await upgrader.click('#laterBtn').catch(() => {});

    if (!stored) {
      t.skip('the settings store is not built into this program yet');
      return;
    }
    await page.click('#historyBtn');
    const history = await app.page({ urlIncludes: 'history.html' });
    await history.waitFor(`document.querySelectorAll('#historyRows tr').length > 0`);
    const rows = await history.eval(`[...document.querySelectorAll('#historyRows tr')].map((r) => [...r.children].slice(1).map((c) => c.textContent))`);
    assert.deepEqual(rows, [['大文件清理 （永久删除）', '1 个文件', '11.0 MB', '']]);
    await shot(history, 'app-history');
    await history.click('#doneBtn').catch(() => {});

    await stopApp(app);
    ({ app, page } = await startApp(user, folder));
    await section(page, 'settings');
    const settings = await page.eval(`({ stats: document.getElementById('setStats').checked, min: document.getElementById('setLargeMin').value, boot: document.getElementById('setBoot').checked })`);
    assert.deepEqual(settings, { stats: true, min: '10', boot: true });
    assert.equal(await page.eval(`document.getElementById('largeMin').value`), '10');
    assert.equal(await page.eval(`JSON.parse(NativeUtil.getSetting('hotkeys', '{}')).history`), 117);
  } finally {
    await stopApp(app);
  }
});

test('the about page starts the uninstaller beside the application and makes way for it', async () => {
  const user = freshUser('app-uninstall');
  const { app, page, folder } = await startApp(user);
  try {
    await section(page, 'settings');
    page.click('#uninstallBtn').catch(() => {}); // the window closes under the click
    assert.equal(await app.exit(10000), 0, 'the application makes way for the uninstaller');
    const uninstaller = path.join(folder, UNSTALLER);
    let started = [];
    for (let i = 0; i < 50 && !started.length; i++, await sleep(100)) started = processesOf(uninstaller);
    assert.equal(started.length, 1, 'the uninstaller runs');
    assert.equal(started[0].cwd, folder);
    for (const { pid } of started) process.kill(pid, 'SIGKILL');
    assert.ok(fs.existsSync(path.join(folder, APP)), 'starting the uninstaller removes nothing by itself');
  } finally {
    await stopApp(app);
  }
});
