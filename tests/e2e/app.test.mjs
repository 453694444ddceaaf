// The application driven as a user drives it: scans of a generated tree,
// deletion of exactly the selected files, privacy cleaning, start-up items,
// settings across a restart, the history and the other windows.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { launch } from '../node/lib/driver.mjs';
import { APP, UNSTALLER, freshUser, copyPayload, processesOf, shot, sleep, writeFile } from './lib/fixture.mjs';

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
  await page.waitFor(`document.getElementById('section-${name}').classList.contains('active') && !document.querySelector('.busy-overlay.show')`, 30000);
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


// Input.dispatchKeyEvent never answers in this engine: the key press is made
// in the page, as the document would receive it.
const press = (page, key, keyCode) =>
  page.eval(`(document.activeElement || document.body).dispatchEvent(new KeyboardEvent('keydown',
    { key: ${JSON.stringify(key)}, code: ${JSON.stringify(key)}, keyCode: ${keyCode}, bubbles: true })), true`);

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
    await page.click('#largeDeleteBtn');
    await page.waitFor(`document.querySelector('.dialog')`);
    assert.match(await text(page, '.dialog-message'), /所选的 2 个文件（共 52\.0 MB）/);
    await shot(page, 'app-large-confirm');
    await page.click('.dialog [data-answer="yes"]');
    await page.waitFor(`document.querySelectorAll('#largeList .vlist-row').length === 1`, 10000);
    assert.ok(!fs.existsSync(path.join(tree, 'video', 'big-a.bin')));
    assert.ok(!fs.existsSync(path.join(tree, 'iso', 'big-c.bin')));
    assert.ok(fs.existsSync(path.join(tree, 'video', 'deep', 'er', 'big-b.bin')), 'the unselected file stays');
    assert.ok(fs.existsSync(path.join(tree, 'small.bin')));
    assert.ok((await toasts(page)).includes('success:已删除 2 个文件，释放 52.0 MB'), JSON.stringify(await toasts(page)));
    await shot(page, 'app-large');

    // Cancelling the confirmation deletes nothing.
    await page.click('#largeList .vlist-row[data-index="0"] .check');
    await page.click('#largeDeleteBtn');
    await page.waitFor(`document.querySelector('.dialog')`);
    await press(page, 'Escape', 27);
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
    await page.click('.dialog [data-answer="yes"]');
    await page.waitFor(`/已释放/.test(document.getElementById('dupStatus').textContent)`, 10000);
    const left = fs.readdirSync(dups, { recursive: true }).filter((f) => /\.(txt|dat)$/.test(f)).sort();
    assert.deepEqual(left, ['three/a-again.txt', 'two/b.dat', 'two/stranger.dat'], 'the newest of each group and the stranger stay');
    assert.equal(await page.eval(`document.querySelectorAll('#dupList .vlist-row').length`), 0);
  } finally {
    await stopApp(app);
  }
});
