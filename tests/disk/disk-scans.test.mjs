// One background scan of each kind, started from a page of the real
// application under Xvfb: progress messages, then one "done", each with a
// symbol type, the scan's id and JSON text as data. And the deletion of
// duplicates from the page when another program changed the kept file.
import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import { existsSync } from 'node:fs';
import { mkdtemp, mkdir, utimes, writeFile } from 'node:fs/promises';
import { join } from 'node:path';
import { launch } from '../node/lib/driver.mjs';

const bin = join(process.env.TW_BUILD_DIR, 'bin');
const tmp = process.env.TMPDIR ?? '/tmp';
const running = [];
after(() => running.forEach((app) => app.kill()));

// "pair": two equal files and one large file; "spread": 3,000 files of
// distinct sizes below the large file's, which keep both scans busy past their
// progress intervals (walked many times, or paused for 1 ms per new file).
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
  const duplicates = await scan(`(f) => NativeUtil.startScanDuplicateFiles(${JSON.stringify(`${pair},${spread}`)}, f)`);

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
  await page.click('.dialog [data-answer="yes"]');
  await page.waitFor(`/已释放/.test(document.getElementById('dupStatus').textContent)`, 20000);

  assert.ok(existsSync(join(root, 'one/old.txt')), 'the only copy of the original text stays');
  assert.ok(!existsSync(join(root, 'two/old.dat')), 'the unchanged group loses its older copy');
  assert.ok(existsSync(join(root, 'two/new.dat')));
  const rows = await page.eval(`[...document.querySelectorAll('#dupList .vlist-row')].map((r) => r.textContent)`);
  assert.equal(rows.length, 3, JSON.stringify(rows));
  assert.match(rows[0], /保留的文件已改变，此组未删除/);
  assert.match(await page.eval(`document.getElementById('dupStatus').textContent`), /已释放 4\.88 KB，1 组未删除/);
  const toasts = await page.eval(`[...document.querySelectorAll('.toast-message')].map((t) => t.textContent)`);
  assert.ok(toasts.some((t) => /1 组未删除/.test(t)), JSON.stringify(toasts));

  await page.eval('setTimeout(() => Window.this.close(), 20), true');
  assert.equal(await app.exit(15000), 0);
});
