// The 系统清理 section as a user walks it, in a home of its own: the overview
// counts the caches, the rows come grouped by application with the system's
// own cleaners marked as needing root, a row shows its files, and cleaning
// after the confirmation tells what the file system got back.
import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import { join } from 'node:path';
import { launch } from '../node/lib/driver.mjs';
import { freshUser, scratch, screenshotDir } from '../e2e/lib/fixture.mjs';

const bin = join(process.env.TW_BUILD_DIR, 'bin');
const shots = process.env.TW_SHOTS_DIR || screenshotDir;
const running = [];
after(() => running.forEach((app) => app.kill()));

function write(file, size) {
  fs.mkdirSync(join(file, '..'), { recursive: true });
  fs.writeFileSync(file, Buffer.alloc(size, 1));
  return file;
}

const UNITS = { B: 1, KB: 1024, MB: 1024 ** 2, GB: 1024 ** 3, TB: 1024 ** 4 };
function bytesOf(text) {
  const [, value, unit] = /([\d.]+) (B|KB|MB|GB|TB)/.exec(text);
  return Number(value) * UNITS[unit];
}

test('the 系统清理 section measures, previews and cleans grouped rows', async () => {
  const user = freshUser('syscleaners');
  const cache = user.env.XDG_CACHE_HOME;
  const pip = write(join(cache, 'pip', 'http', 'a', 'body'), 6000);
  const npm = write(join(user.home, '.npm', '_cacache', 'content-v2', 'x'), 3000);
  const thumb = write(join(cache, 'thumbnails', 'normal', 'a.png'), 1000);
  const log = write(join(user.home, '.local', 'state', 'tool', 'tool.log.1'), 700);
  const temp = scratch('syscleaners-tmp');

  const app = await launch({ program: join(bin, 'Tidewell-app.exe'), cwd: temp, env: { ...user.env, TMPDIR: temp } });
  running.push(app);
  const page = await app.page({ urlIncludes: 'main.html', timeoutMs: 30000 });
  await page.waitFor('document.readyState === "complete"', 10000);
  const text = (id) => page.eval(`document.getElementById(${JSON.stringify(id)}).textContent`);

  // The overview's sure figure holds the caches selected for the user.
  await page.click('#measureAllBtn');
  await page.waitFor(`/扫描完成/.test(document.getElementById('measureStatus').textContent)`, 120000);
  assert.ok(bytesOf(await text('heroTitle')) >= 10000, await text('heroTitle'));

  await page.click('.nav-item[data-section="privacy"]');
  await page.waitFor(`document.getElementById('section-privacy').classList.contains('active')`, 10000);
  assert.equal(await text('sectionTitle'), '系统清理');
  assert.match(await page.eval(`document.querySelector('.nav-item[data-section="privacy"]').textContent`), /系统清理/);
  const groups = await page.eval(`[...document.querySelectorAll('#privacyList .item-group')].map((g) => g.dataset.group)`);
  assert.equal(groups[0], '隐私痕迹');
  for (const name of ['pip', 'npm', 'Flatpak', 'systemd 日志', 'APT', 'Snap', '系统'])
    assert.ok(groups.includes(name), `group ${name} in ${groups}`);
  assert.equal(new Set(groups).size, groups.length, 'each application once');
  const rows = await page.eval(`[...document.querySelectorAll('#privacyList .item-card')].map((c) => ({
    type: c.dataset.type, selected: c.classList.contains('selected'), absent: c.classList.contains('absent'),
    lock: /需要授权/.test(c.textContent), size: c.querySelector('.item-size').textContent }))`);
  const row = Object.fromEntries(rows.map((r) => [r.type, r]));
  for (const type of ['apt-archives', 'journal-system', 'system-coredumps', 'system-rotated-logs', 'snap-disabled', 'flatpak-unused-system'])
    assert.ok(row[type].lock && !row[type].selected, `${type} is marked and never chosen for the user`);
  assert.ok(!row['journal-user'].lock && !row['flatpak-unused-user'].lock);
  if (!fs.existsSync('/usr/bin/flatpak')) assert.ok(row['flatpak-unused-user'].absent && row['flatpak-unused-user'].size === '—');
  assert.equal(row['pip-cache'].size, '5.86 KB');
  assert.ok(row['pip-cache'].selected && row.thumbcache.selected && !row['rotated-logs'].selected);

  // Only pip's cache and the thumbnails: the others are deselected by hand.
  for (const r of rows)
    if (r.selected && !['pip-cache', 'thumbcache'].includes(r.type))
      await page.eval(`document.querySelector('[data-type="${r.type}"]').click()`);
  await page.eval(`document.querySelector('[data-open="pip-cache"]').click()`);
  await page.waitFor(`document.querySelector('[data-files="pip-cache"]')`, 10000);
  assert.ok((await page.eval(`document.querySelector('[data-files="pip-cache"]').textContent`)).includes(pip));
  // A root row previews as any other; what it holds depends on the machine.
  if (row['system-rotated-logs'].size !== '无') {
    await page.eval(`document.querySelector('[data-open="system-rotated-logs"]').click()`);
    await page.waitFor(`document.querySelector('[data-files="system-rotated-logs"] .item-file')`, 30000);
    assert.match(await page.eval(`document.querySelector('[data-files="system-rotated-logs"] .item-file').textContent`), /\/var\/log\//);
  }
  // The list scrolls, not the window.
  const scrollTo = (selector) => page.eval(`(() => { const list = document.getElementById('privacyList');
    list.scrollTop += document.querySelector(${JSON.stringify(selector)}).getBoundingClientRect().top - list.getBoundingClientRect().top;
    return true; })()`);
  await scrollTo('[data-group="pip"]');
  await page.screenshot(join(shots, 'syscleaners-1-before.png'));
  await scrollTo('[data-group="APT"]');
  await page.screenshot(join(shots, 'syscleaners-2-before-system.png'));

  await page.click('#privacyCleanBtn');
  await page.waitFor(`document.querySelector('.dialog')`);
  const message = await page.eval(`document.querySelector('.dialog-message').textContent`);
  assert.match(message, /· pip 下载缓存 {2}5\.86 KB\n/);
  assert.match(message, /确定要清理以下 2 项吗/);
  await page.click('.dialog [data-answer="yes"]');
  await page.waitFor(`/已释放/.test(document.getElementById('privacyStatus').textContent)`, 60000);
  assert.equal(await text('privacyStatus'), '已释放 6.84 KB。', 'what the two held, measured');
  assert.ok(!fs.existsSync(pip) && !fs.existsSync(thumb));
  assert.ok(fs.existsSync(npm) && fs.existsSync(log), 'rows not chosen keep their files');
  assert.equal(await page.eval(`document.querySelector('[data-type="pip-cache"] .item-size').textContent`), '无');
  await scrollTo('[data-group="pip"]');
  await page.screenshot(join(shots, 'syscleaners-3-after.png'));

  await page.eval('setTimeout(() => Window.this.close(), 20), true');
  assert.equal(await app.exit(15000), 0);
});
