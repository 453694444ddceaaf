// The privacy methods from the real application's page: the items a page
// lists, a clean it asks for, and the items measured again afterwards.
import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import { join } from 'node:path';
import { launch } from '../node/lib/driver.mjs';
import { freshUser, scratch } from '../e2e/lib/fixture.mjs';

const bin = join(process.env.TW_BUILD_DIR, 'bin');
const running = [];
after(() => running.forEach((app) => app.kill()));

function write(file, size) {
  fs.mkdirSync(join(file, '..'), { recursive: true });
  fs.writeFileSync(file, Buffer.alloc(size, 1));
  return file;
}

test('a page lists the eight privacy items, cleans some and sees what is left', async () => {
  const user = freshUser('privacy');
  const temp = scratch('privacy-tmp');
  const cache = user.env.XDG_CACHE_HOME;
  write(join(cache, 'thumbnails', 'normal', 'a.png'), 1000);
  write(join(cache, 'google-chrome', 'Default', 'Cache', 'Cache_Data', 'data_0'), 2000);
  const old = write(join(temp, 'old.bin'), 300);
  const twoHoursAgo = new Date(Date.now() - 2 * 3600 * 1000);
  fs.utimesSync(old, twoHoursAgo, twoHoursAgo);
  const fresh = write(join(temp, 'fresh.bin'), 40);
  execFileSync('gio', ['trash', write(join(user.home, 'report.txt'), 50)], { env: { ...process.env, ...user.env } });

  const app = await launch({ program: join(bin, 'Tidewell-app.exe'), cwd: temp, env: { ...user.env, TMPDIR: temp } });
  running.push(app);
  const page = await app.page({ urlIncludes: 'main.html', timeoutMs: 30000 });
  await page.waitFor('document.readyState === "complete"', 10000);

  const items = async () => Object.fromEntries(
    JSON.parse(await page.eval('NativeUtil.getPrivacyItems()')).list.map((item) => [item.type, item]));
  const before = JSON.parse(await page.eval('NativeUtil.getPrivacyItems()')).list;
  assert.deepEqual(before.map((item) => item.type),
    ['thumbcache', 'recent', 'temp', 'prefetch', 'recyclebin', 'chrome', 'edge', 'firefox']);
  assert.deepEqual(Object.keys(before[0]), ['description', 'name', 'path', 'size', 'type']);
  assert.equal(before[0].name, '缩略图缓存');
  const sizes = Object.fromEntries(before.map((item) => [item.type, item.size]));
  assert.equal(sizes.thumbcache, 1000);
  assert.equal(sizes.chrome, 2000);
  assert.equal(sizes.temp, 300, 'only the old file counts');
  assert.ok(sizes.recyclebin > 50, `trash ${sizes.recyclebin}`);
  assert.equal(sizes.prefetch, 0);

  assert.equal(await page.eval(`NativeUtil.cleanPrivacyItems('["thumbcache","temp","recyclebin","chrome"]')`), true);
  const afterClean = await items();
  for (const type of ['thumbcache', 'temp', 'recyclebin', 'chrome'])
    assert.equal(afterClean[type].size, 0, type);
  assert.ok(fs.existsSync(fresh), 'a fresh temporary file stays');
  assert.ok(!fs.existsSync(old));
  assert.deepEqual(fs.readdirSync(join(user.data, 'Trash', 'info')), []);
  assert.ok(fs.existsSync(join(cache, 'google-chrome', 'Default', 'Cache')), 'the cache folder itself stays');

  // The bridge refuses a path holding NUL, which the kernel would end early.
  const victim = write(join(user.home, 'outside', 'victim.txt'), 5);
  fs.mkdirSync(join(user.home, 'outside', 'x'));
  const cut = JSON.stringify(`${join(user.home, 'outside')}\0/x/../victim.txt`);
  assert.equal(await page.eval(`NativeUtil.removeFile(${cut})`), false);
  assert.equal(await page.eval(`NativeUtil.getFileSha256(${cut})`), '');
  assert.ok(fs.existsSync(victim));

  await page.eval('setTimeout(() => Window.this.close(), 20), true');
  assert.equal(await app.exit(15000), 0);
});

test('an application cache is cleaned from the page', async () => {
  const user = freshUser('cleaners');
  const pip = write(join(user.env.XDG_CACHE_HOME, 'pip', 'http', 'a', 'body'), 6000);
  const kept = write(join(user.home, 'keep', 'mine.bin'), 10);
  fs.symlinkSync(join(user.home, 'keep'), join(user.env.XDG_CACHE_HOME, 'pip', 'outside'));
  const log = write(join(user.home, '.local', 'state', 'tool', 'tool.log.1'), 700);
  // A Firefox whose profile lock names a live process: its cache is skipped, with the reason on its card.
  write(join(user.env.XDG_CACHE_HOME, 'mozilla', 'firefox', 'a.default', 'cache2', 'entries', 'e1'), 300);
  fs.mkdirSync(join(user.home, '.mozilla', 'firefox', 'a.default'), { recursive: true });
  fs.symlinkSync(`127.0.0.1:+${process.pid}`, join(user.home, '.mozilla', 'firefox', 'a.default', 'lock'));

  const temp = scratch('cleaners-tmp');
  const app = await launch({ program: join(bin, 'Tidewell-app.exe'), cwd: temp, env: { ...user.env, TMPDIR: temp } });
  running.push(app);
  const page = await app.page({ urlIncludes: 'main.html', timeoutMs: 30000 });
  await page.waitFor('document.readyState === "complete"', 10000);
  const sizes = async () => Object.fromEntries(
    JSON.parse(await page.eval('NativeUtil.getCleaners()')).list.map((item) => [item.id, item.size]));
  const before = await sizes();
  assert.ok(Object.keys(before).length >= 12, Object.keys(before).join());
  assert.equal(before['pip-cache'], 6000);
  assert.equal(before['rotated-logs'], 700);
  // The command line finds what the page's methods find.
  const cli = JSON.parse(execFileSync(join(bin, 'tidewell-clean'), ['--preview', '--json', 'pip-cache', 'rotated-logs'],
    { env: { ...process.env, ...user.env, TMPDIR: temp } })).cleaners;
  for (const cleaner of cli) {
    assert.equal(cleaner.size, before[cleaner.id], cleaner.id);
    const listed = JSON.parse(await page.eval(`NativeUtil.getPrivacyItemFiles(${JSON.stringify(cleaner.id)})`));
    assert.equal(listed.count, cleaner.count);
    const files = (list) => list.map((f) => `${f.path} ${f.size}`).sort();
    assert.deepEqual(files(listed.list), files(cleaner.files));
  }

  await page.click('.nav-item[data-section="privacy"]');
  await page.waitFor(`document.getElementById('section-privacy').classList.contains('active') && !document.getElementById('privacyRefreshBtn').disabled`, 60000);
  assert.match(await page.eval(`document.querySelector('[data-type="firefox-cache"] .item-skipped').textContent`),
    /^已跳过：正在运行（.*a\.default\/lock 被占用）$/);
  const selected = await page.eval(`[...document.querySelectorAll('#privacyList .item-card.selected')].map((c) => c.dataset.type)`);
  // The application's own renderer may have filled Mesa's shader cache by now.
  assert.deepEqual(selected.filter((type) => type !== 'mesa-shader-cache'), ['pip-cache'],
    'a log that cannot be had back is offered, not selected');

  await page.click('#privacyCleanBtn');
  await page.waitFor(`document.querySelector('.dialog')`);
  assert.match(await page.eval(`document.querySelector('.dialog-message').textContent`), /· pip 下载缓存 {2}5\.86 KB/);
  await page.click('.dialog [data-answer="yes"]');
  await page.waitFor(`/已释放/.test(document.getElementById('privacyStatus').textContent)`, 30000);
  assert.ok(!fs.existsSync(pip));
  assert.ok(fs.existsSync(kept), 'the link went, not what it pointed at');
  assert.ok(fs.existsSync(log), 'an unselected cleaner leaves its files');
  assert.equal((await sizes())['pip-cache'], 0);

  await page.eval('setTimeout(() => Window.this.close(), 20), true');
  assert.equal(await app.exit(15000), 0);
});
