// One background scan of each kind, started from a page of the real
// application under Xvfb: progress messages, then one "done", each with a
// symbol type, the scan's id and JSON text as data. And the deletion of
// duplicates from the page when another program changed the kept file.
import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { closeSync, existsSync, ftruncateSync, linkSync, openSync, readFileSync, statSync, writeSync } from 'node:fs';
import { mkdtemp, mkdir, utimes, writeFile } from 'node:fs/promises';
import { join } from 'node:path';
import { launch } from '../node/lib/driver.mjs';
import { shot } from '../e2e/lib/fixture.mjs';

const bin = join(process.env.TW_BUILD_DIR, 'bin');
const tmp = process.env.TMPDIR ?? '/tmp';
const running = [];
after(() => running.forEach((app) => app.kill()));

// "pair": two equal files and one large file; "spread": 3,000 files of
// distinct sizes below the large file's, which keep both scans busy past their
// progress intervals (walked many times over).
async function makeTree() {
  const root = await mkdtemp(join(tmp, 'disk-scans-'));
  await mkdir(join(root, 'pair'));
  await mkdir(join(root, 'spread'));
  await writeFile(join(root, 'pair', 'a.txt'), 'same content');
  await writeFile(join(root, 'pair', 'b.txt'), 'same content');
  await writeFile(join(root, 'pair', 'big.bin'), Buffer.alloc(8192, 7));
  for (let start = 1; start <= 3000; start += 500) {
    const batch = [];
    for (let size = start; size < start + 500; size++)
      batch.push(writeFile(join(root, 'spread', `f${size}`), Buffer.alloc(size, 1)));
    await Promise.all(batch);
  }
  return root;
}

test('background scans report progress and end once, from a page', async () => {
  const root = await makeTree();
  const pair = join(root, 'pair');
  const spread = join(root, 'spread');
  const app = await launch({ program: join(bin, 'Tidewell-app.exe'), cwd: tmp });
  running.push(app);
  const page = await app.page({ urlIncludes: 'main.html', timeoutMs: 30000 });
  await page.waitFor('document.readyState === "complete"', 10000);

  const scan = (start) => page.eval(`new Promise((resolve) => {
    const messages = [];
    const id = (${start})((e) => {
      messages.push({ type: e.type, typeOf: typeof e.type, id: e.id, data: e.data, dataOf: typeof e.data });
      if (e.type !== 'progress') resolve({ id, messages });
    });
    if (!(id >= 1)) resolve({ id, messages }); // not started: no message will come
  })`);

  const largeFolders = JSON.stringify([pair, ...Array(400).fill(spread)]);
  const large = await scan(`(f) => NativeUtil.startScanLargeFiles(${JSON.stringify(largeFolders)}, 5000, f)`);
  const duplicateFolders = JSON.stringify([pair, ...Array(1000).fill(spread)]);
  const duplicates = await scan(`(f) => NativeUtil.startScanDuplicateFiles(${JSON.stringify(duplicateFolders)}, f)`);

  for (const [name, result, key] of [['large', large, 'list'], ['duplicates', duplicates, 'groups']]) {
    const { id, messages } = result;
    assert.ok(id >= 1, `${name}: id ${id}`);
    assert.ok(messages.length >= 2, `${name}: ${messages.length} messages`);
    messages.forEach((m, i) => {
      assert.equal(m.type, i === messages.length - 1 ? 'done' : 'progress', name);
      assert.equal(m.typeOf, 'string');
      assert.equal(m.dataOf, 'string');
      assert.equal(m.id, id);
      assert.ok(Array.isArray(JSON.parse(m.data)[key]), `${name}: ${m.data.slice(0, 80)}`);
    });
  }
  const listed = JSON.parse(large.messages.at(-1).data).list;
  assert.equal(listed.length, 1);
  assert.deepEqual(Object.keys(listed[0]), ['modifiedTime', 'name', 'path', 'size']);
  assert.equal(listed[0].path, join(pair, 'big.bin'));
  assert.equal(listed[0].size, 8192);
  const groups = JSON.parse(duplicates.messages.at(-1).data).groups;
  assert.equal(groups.length, 1);
  assert.deepEqual(groups[0].files.map((f) => f.name).sort(), ['a.txt', 'b.txt']);
  assert.equal(groups[0].size, 12);
  assert.equal(await page.eval(`NativeUtil.stopScanLargeFiles(${large.id})`), false);
  assert.equal(await page.eval(`NativeUtil.addScanDuplicateFilesFolder(${duplicates.id}, "/")`), false);

  await page.eval('setTimeout(() => Window.this.close(), 20), true');
  assert.equal(await app.exit(15000), 0);
});

test('closing the window while scans run ends the program with 0', async () => {
  const root = await makeTree();
  const spread = join(root, 'spread');
  // Closed at several points of the scans' lives: just started, walking, hashing.
  for (const wait of [0, 300, 900]) {
    const app = await launch({ program: join(bin, 'Tidewell-app.exe'), cwd: tmp });
    running.push(app);
    const page = await app.page({ urlIncludes: 'main.html', timeoutMs: 30000 });
    await page.waitFor('document.readyState === "complete"', 10000);
    const folders = JSON.stringify(Array(400).fill(spread));
    await page.eval(`NativeUtil.startScanLargeFiles(${JSON.stringify(folders)}, 0, () => {}),
      NativeUtil.startScanDuplicateFiles(${JSON.stringify(spread)}, () => {}), true`);
    await new Promise((resolve) => setTimeout(resolve, wait));
    await page.eval('setTimeout(() => Window.this.close(), 20), true');
    assert.equal(await app.exit(15000), 0, `closed after ${wait} ms\n${app.stderr}`);
  }
});

test('the page deletes no copy whose kept file another program changed after the scan', async () => {
  const root = await mkdtemp(join(tmp, 'disk-delete-'));
  const file = async (name, content, year) => {
    await mkdir(join(root, name, '..'), { recursive: true });
    await writeFile(join(root, name), content);
    await utimes(join(root, name), new Date(`${year}-01-01`), new Date(`${year}-01-01`));
  };
  await file('one/old.txt', 'group one text', 2020);
  await file('one/new.txt', 'group one text', 2024);
  await file('two/old.dat', 'B'.repeat(5000), 2021);
  await file('two/new.dat', 'B'.repeat(5000), 2023);
  const app = await launch({ program: join(bin, 'Tidewell-app.exe'), cwd: tmp });
  running.push(app);
  const page = await app.page({ urlIncludes: 'main.html', timeoutMs: 30000 });
  await page.waitFor('document.readyState === "complete"', 10000);

  await page.click('.nav-item[data-section="dup"]');
  await page.eval(`(() => {
    const input = document.querySelector('#dupFolders .folder-input');
    input.value = ${JSON.stringify(root)};
    input.dispatchEvent(new KeyboardEvent('keydown', { key: 'Enter' }));
    return true;
  })()`);
  await page.click('#dupScanBtn');
  await page.waitFor(`/扫描完成：找到 2 组/.test(document.getElementById('dupStatus').textContent)`, 30000);
  await page.click('#dupKeepNewest');
  // Another program writes the kept file of group one: same size, other text.
  await writeFile(join(root, 'one/new.txt'), 'GROUP ONE TEXT');
  await page.click('#dupDeleteBtn');
  await page.waitFor(`document.querySelector('.dialog')`);
  await page.click('.dialog [data-answer="alternative"]');
  await page.waitFor(`/已释放/.test(document.getElementById('dupStatus').textContent)`, 20000);

  assert.ok(existsSync(join(root, 'one/old.txt')), 'the only copy of the original text stays');
  assert.ok(!existsSync(join(root, 'two/old.dat')), 'the unchanged group loses its older copy');
  assert.ok(existsSync(join(root, 'two/new.dat')));
  const rows = await page.eval(`[...document.querySelectorAll('#dupList .vlist-row')].map((r) => r.textContent)`);
  assert.equal(rows.length, 3, JSON.stringify(rows));
  assert.match(rows[0], /保留的文件已改变，此组未删除/);
  // Freed: the blocks the deleted copy held, its size beside.
  assert.match(await page.eval(`document.getElementById('dupStatus').textContent`), /已释放 \S+ KB（文件大小共 4\.88 KB），1 组未删除/);
  const toasts = await page.eval(`[...document.querySelectorAll('.toast-message')].map((t) => t.textContent)`);
  assert.ok(toasts.some((t) => /1 组未删除/.test(t)), JSON.stringify(toasts));

  await page.eval('setTimeout(() => Window.this.close(), 20), true');
  assert.equal(await app.exit(15000), 0);
});


async function openApp() {
  const app = await launch({ program: join(bin, 'Tidewell-app.exe'), cwd: tmp });
  running.push(app);
  const page = await app.page({ urlIncludes: 'main.html', timeoutMs: 30000 });
  await page.waitFor('document.readyState === "complete"', 10000);
  return { app, page };
}

// The chooser of a section holding exactly these folders.
async function chooseFolders(page, section, folders) {
  await page.eval(`(() => {
    const chooser = document.getElementById(${JSON.stringify(section)});
    while (chooser.querySelector('[data-remove]')) chooser.querySelector('[data-remove]').click();
    const input = chooser.querySelector('.folder-input');
    for (const folder of ${JSON.stringify(folders)}) {
      input.value = folder;
      input.dispatchEvent(new KeyboardEvent('keydown', { key: 'Enter' }));
    }
    return true;
  })()`);
}

const rowsOf = (page, list) => page.eval(`[...document.querySelectorAll('#${list} .vlist-row')].map((r) => ({
  text: r.textContent, folder: r.querySelector('.path') && r.querySelector('.path').title,
  name: r.querySelector('.ellipsis') && r.querySelector('.ellipsis').textContent,
  checked: !!(r.querySelector('input') && r.querySelector('input').checked) }))`);

test('duplicates: no empty-file group, largest waste first, keep rules to the second', async () => {
  const root = await mkdtemp(join(tmp, 'disk-dup-'));
  const put = async (name, content, time) => {
    await mkdir(join(root, name, '..'), { recursive: true });
    await writeFile(join(root, name), content);
    if (time) await utimes(join(root, name), time, time);
  };
  await put('pkg/a/__init__.py', '');
  await put('pkg/b/__init__.py', '');
  for (const n of [1, 2, 3]) await put(`three/${n}/part.bin`, Buffer.alloc(20000, 3));
  for (const n of [1, 2]) await put(`two/${n}/part.bin`, Buffer.alloc(30000, 2));
  // One minute, 40 s apart; the older copy first in one group, last in the other.
  const early = new Date('2024-05-01T10:00:05'), late = new Date('2024-05-01T10:00:45');
  await put('x/1/photo.jpg', 'x'.repeat(3000), early);
  await put('x/2/photo.jpg', 'x'.repeat(3000), late);
  await put('y/1/photo.jpg', 'y'.repeat(3000), late);
  await put('y/2/photo.jpg', 'y'.repeat(3000), early);
  const { app, page } = await openApp();
  await page.click('.nav-item[data-section="dup"]');
  await chooseFolders(page, 'dupFolders', [root]);
  await page.click('#dupScanBtn');
  await page.waitFor(`/扫描完成：找到 4 组/.test(document.getElementById('dupStatus').textContent)`, 30000);

  const rows = await rowsOf(page, 'dupList');
  const groups = rows.filter((r) => !r.name).map((r) => r.text);
  assert.equal(groups.length, 4, JSON.stringify(rows));
  assert.match(groups[0], /3 个相同文件.*可释放 39\.1 KB/);
  assert.match(groups[1], /2 个相同文件.*可释放 29\.3 KB/);
  assert.ok(!rows.some((r) => r.name === '__init__.py'), 'no group of empty files');

  const chosen = async (button) => {
    await page.click(button);
    return (await rowsOf(page, 'dupList')).filter((r) => r.checked && r.name === 'photo.jpg').map((r) => r.folder.slice(root.length + 1)).sort();
  };
  assert.deepEqual(await chosen('#dupKeepNewest'), ['x/1', 'y/2']);
  await shot(page, 'disk-dup-keep-newest');
  assert.deepEqual(await chosen('#dupKeepOldest'), ['x/2', 'y/1']);

  await page.eval('setTimeout(() => Window.this.close(), 20), true');
  assert.equal(await app.exit(15000), 0);
});

test('large files: each listed once, freed space as the disk counts it, hidden folders offered', async () => {
  const base = await mkdtemp(join(tmp, 'disk-large-'));
  const home = join(base, 'home');
  const MB = 1024 * 1024;
  await mkdir(join(home, 'dl'), { recursive: true });
  await mkdir(join(home, '.local/share'), { recursive: true });
  await mkdir(join(base, 'elsewhere'));
  // 120 MB long, 1 MB written.
  const sparse = join(home, 'dl/disk.img');
  const fd = openSync(sparse, 'w');
  ftruncateSync(fd, 120 * MB);
  writeSync(fd, Buffer.alloc(MB, 5), 0, MB, 50 * MB);
  closeSync(fd);
  await writeFile(join(home, 'dl/plain.bin'), Buffer.alloc(11 * MB, 1));
  await writeFile(join(home, 'dl/linked.bin'), Buffer.alloc(12 * MB, 2));
  linkSync(join(home, 'dl/linked.bin'), join(base, 'elsewhere/linked.bin'));
  await writeFile(join(home, '.local/share/hidden.bin'), Buffer.alloc(13 * MB, 3));
  const freed = statSync(sparse).blocks * 512 + statSync(join(home, 'dl/plain.bin')).blocks * 512;

  const { app, page } = await openApp();
  await page.click('.nav-item[data-section="large"]');
  await chooseFolders(page, 'largeFolders', [home, join(home, 'dl')]);
  await page.eval(`document.getElementById('largeMin').value = '10', true`);
  const scan = async (button, count) => {
    await page.click(button);
    await page.waitFor(`/扫描完成：找到 ${count} 个文件/.test(document.getElementById('largeStatus').textContent)`, 30000);
    return (await rowsOf(page, 'largeList')).map((r) => r.name).sort();
  };
  assert.deepEqual(await scan('#largeScanBtn', 3), ['disk.img', 'linked.bin', 'plain.bin']);
  assert.match(await page.eval(`document.getElementById('largeHiddenText').textContent`), /已跳过 1 个隐藏/);
  await shot(page, 'disk-large-hidden-skipped');

  await page.click('#largeAll + span');
  await page.click('#largeDeleteBtn');
  await page.waitFor(`document.querySelector('.dialog')`);
  await page.click('.dialog [data-answer="alternative"]');
  await page.waitFor(`/已释放/.test(document.getElementById('largeStatus').textContent)`, 30000);
  assert.ok(!existsSync(sparse) && existsSync(join(base, 'elsewhere/linked.bin')));
  const history = JSON.parse(await page.eval(`NativeUtil.getSetting('cleanHistory', '[]')`)).at(-1);
  assert.deepEqual([history.count, history.bytes, history.failed], [3, freed, 0]);
  const [shown, size] = await page.eval(`import('/common/js/appkit.js').then((m) => [m.formatBytes(${freed}), m.formatBytes(${143 * MB})])`);
  assert.equal(await page.eval(`document.getElementById('largeStatus').textContent`), `已释放 ${shown}（文件大小共 ${size}）`);
  await shot(page, 'disk-large-freed');

  assert.deepEqual(await scan('#largeHiddenBtn', 1), ['hidden.bin']);
  assert.equal(await page.eval(`document.getElementById('largeHiddenNote').hidden`), true);
  await page.eval('setTimeout(() => Window.this.close(), 20), true');
  assert.equal(await app.exit(15000), 0);
});

test('large files go to the Trash by default, where trash-cli lists and restores them', async () => {
  const folder = await mkdtemp(join(process.env.HOME, 'trash-'));
  const video = join(folder, 'holiday video.bin');
  await writeFile(video, Buffer.alloc(11 * 1024 * 1024, 4));
  const { app, page } = await openApp();
  await page.click('.nav-item[data-section="large"]');
  await chooseFolders(page, 'largeFolders', [folder]);
  await page.eval(`document.getElementById('largeMin').value = '10', true`);
  await page.click('#largeScanBtn');
  await page.waitFor(`/扫描完成：找到 1 个文件/.test(document.getElementById('largeStatus').textContent)`, 30000);
  await page.click('#largeAll + span');
  await page.click('#largeDeleteBtn');
  await page.waitFor(`document.querySelector('.dialog')`);
  assert.match(await page.eval(`document.querySelector('.dialog').textContent`), /移到回收站吗.*空间在清空回收站后才释放.*永久删除/s);
  await shot(page, 'disk-large-trash-confirm');
  await page.click('.dialog [data-answer="yes"]');
  await page.waitFor(`/回收站/.test(document.getElementById('largeStatus').textContent)`, 30000);
  assert.equal(await page.eval(`document.getElementById('largeStatus').textContent`), '已移到回收站，清空回收站后释放 11.0 MB');
  assert.ok(!existsSync(video));
  const trash = join(process.env.XDG_DATA_HOME, 'Trash');
  assert.match(readFileSync(join(trash, 'info', 'holiday video.bin.trashinfo'), 'latin1'), new RegExp(`Path=${folder}/holiday%20video\\.bin\n`));
  assert.match(execFileSync('trash-list', { encoding: 'utf8' }), new RegExp(`${folder}/holiday video\\.bin`));
  execFileSync('trash-restore', [video], { input: '0\n' });
  assert.equal(statSync(video).size, 11 * 1024 * 1024);
  await page.eval('setTimeout(() => Window.this.close(), 20), true');
  assert.equal(await app.exit(15000), 0);
});

test('the overview counts each file once and tells what is sure from what is chosen', async () => {
  const home = process.env.HOME;
  const MB = 1024 * 1024;
  const sized = (name, size) => {
    const fd = openSync(join(home, name), 'w');
    ftruncateSync(fd, size);
    closeSync(fd);
  };
  await mkdir(join(home, 'a'), { recursive: true });
  await mkdir(join(home, 'b'), { recursive: true });
  sized('a/movie.mkv', 110 * MB); // a copy of b/movie.mkv
  sized('b/movie.mkv', 110 * MB);
  sized('a/disk.iso', 105 * MB);
  const { app, page } = await openApp();
  await page.click('#measureAllBtn');
  await page.waitFor(`/扫描完成/.test(document.getElementById('measureStatus').textContent)`, 60000);
  const text = (id) => page.eval(`document.getElementById('${id}').textContent`);
  assert.equal(await text('measureLarge'), '215 MB');
  assert.equal(await text('measureDup'), '110 MB');
  assert.match(await text('measureChoice'), /另有 215 MB 大文件(和回收站)?由您决定/);
  await shot(page, 'disk-overview');
  await page.eval('setTimeout(() => Window.this.close(), 20), true');
  assert.equal(await app.exit(15000), 0);
});

test('duplicates offer the Trash, deletion or links; the history undoes a trash and a link', async () => {
  const root = await mkdtemp(join(process.env.HOME, 'undo-'));
  const sha = (path) => execFileSync('sha256sum', [path], { encoding: 'utf8' }).split(' ')[0];
  const copies = ['1', '2', '3'].map((n) => join(root, 'dup', n, 'photo.jpg'));
  const old = new Date('2024-05-01T10:00:00');
  for (const [n, path] of copies.entries()) {
    await mkdir(join(path, '..'), { recursive: true });
    await writeFile(path, Buffer.alloc(64 * 1024, 9));
    await utimes(path, old, new Date(old.getTime() + n * 60000));
  }
  const before = copies.map(sha);
  const { app, page } = await openApp();
  await page.click('.nav-item[data-section="dup"]');
  await chooseFolders(page, 'dupFolders', [join(root, 'dup')]);
  await page.click('#dupScanBtn');
  await page.waitFor(`/扫描完成：找到 1 组/.test(document.getElementById('dupStatus').textContent)`, 30000);
  await page.click('#dupKeepOldest');
  await page.click('#dupDeleteBtn');
  await page.waitFor(`document.querySelector('.dialog')`);
  const buttons = await page.eval(`[...document.querySelectorAll('.dialog [data-answer]')].map((b) => b.textContent)`);
  assert.deepEqual(buttons, ['取消', '永久删除', '替换为链接', '移到回收站']);
  await shot(page, 'undo-dup-choice');
  await page.click('.dialog [data-answer="link"]');
  await page.waitFor(`/已释放/.test(document.getElementById('dupStatus').textContent)`, 30000);
  assert.deepEqual(copies.map(sha), before, 'every path reads the same bytes');
  assert.equal(new Set(copies.map((p) => statSync(p).ino)).size, 1);
  assert.equal(statSync(copies[0]).nlink, 3);
  const linked = JSON.parse(await page.eval(`NativeUtil.getSetting('cleanHistory', '[]')`)).at(-1);
  assert.equal(linked.mode, 'link');
  assert.equal(linked.bytes, 2 * 64 * 1024);

  // Two large files to the Trash; a new file takes one's place meanwhile.
  const videos = ['a.bin', 'b.bin'].map((name) => join(root, name));
  for (const video of videos) await writeFile(video, Buffer.alloc(11 * 1024 * 1024, 4));
  await page.click('.nav-item[data-section="large"]');
  await chooseFolders(page, 'largeFolders', [root]);
  await page.eval(`document.getElementById('largeMin').value = '10', true`);
  await page.click('#largeScanBtn');
  await page.waitFor(`/扫描完成：找到 2 个文件/.test(document.getElementById('largeStatus').textContent)`, 30000);
  await page.click('#largeAll + span');
  await page.click('#largeDeleteBtn');
  await page.waitFor(`document.querySelector('.dialog')`);
  await page.click('.dialog [data-answer="yes"]');
  await page.waitFor(`/回收站/.test(document.getElementById('largeStatus').textContent)`, 30000);
  assert.match(execFileSync('trash-list', { encoding: 'utf8' }), new RegExp(`${videos[1]}`));
  await writeFile(videos[1], 'new');

  await page.click('#historyBtn');
  const history = await app.page({ urlIncludes: 'history.html' });
  // Newest first: the trash, then the links (earlier tests left their own).
  await history.waitFor(`document.querySelectorAll('#historyRows [data-record]').length >= 2`);
  await history.click('#historyRows tr:first-child [data-record]');
  await history.waitFor(`!document.getElementById('undoReport').hidden`, 30000);
  const report = await history.eval(`document.getElementById('undoReport').textContent`);
  assert.match(report, /已恢复 1 个文件，1 个未能恢复/);
  assert.ok(report.includes(`${videos[1]}：原位置已有文件，未覆盖`), report);
  assert.equal(statSync(videos[0]).size, 11 * 1024 * 1024);
  assert.equal(readFileSync(videos[1], 'utf8'), 'new');
  await shot(history, 'undo-history-report');

  await history.click('#historyRows tr:nth-child(2) [data-record]');
  await history.waitFor(`/已恢复 2 个文件$/.test(document.getElementById('undoReport').textContent)`, 30000);
  assert.deepEqual(copies.map(sha), before);
  assert.equal(new Set(copies.map((p) => statSync(p).ino)).size, 3, 'each copy a file of its own again');
  assert.equal(statSync(copies[2]).mtime.getTime(), old.getTime() + 2 * 60000);
  assert.match(await history.eval(`document.getElementById('historyRows').textContent`), /替换为链接，已撤销/);
  await shot(history, 'undo-history-link-undone');
  await history.click('#doneBtn').catch(() => {});
  await page.eval('setTimeout(() => Window.this.close(), 20), true');
  assert.equal(await app.exit(15000), 0);
});
