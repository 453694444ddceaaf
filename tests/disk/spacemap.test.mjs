// The space map as a user meets it in the real application under Xvfb: the
// home folder mapped on first opening, its totals equal to du's on a tree
// with sparse files, hard links, a link to elsewhere and a mount inside, in
// both size modes; drilling down and back up; and an item moved to the Trash
// from the map, after which the totals follow without a new scan.
import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { closeSync, existsSync, ftruncateSync, linkSync, mkdirSync, mkdtempSync, openSync, symlinkSync, writeFileSync, writeSync } from 'node:fs';
import { join } from 'node:path';
import { launch } from '../node/lib/driver.mjs';
import { shot } from '../e2e/lib/fixture.mjs';

const bin = join(process.env.TW_BUILD_DIR, 'bin');
const tmp = process.env.TMPDIR ?? '/tmp';
const home = process.env.HOME;
const cleanups = [];
after(() => cleanups.reverse().forEach((step) => step()));

const du = (flag, path) => Number(execFileSync('du', ['-x', '-s', flag, path], { encoding: 'utf8' }).split('\t')[0]);

function makeTree() {
  const tree = join(home, 'tree');
  const write = (name, bytes) => {
    mkdirSync(join(tree, name, '..'), { recursive: true });
    writeFileSync(join(tree, name), Buffer.alloc(bytes, 5));
  };
  write('videos/clip.mp4', 3 << 20);
  // Sparse: 64 MiB long, 8 KiB written; apparent size makes it the largest.
  const sparse = openSync(join(tree, 'videos', 'disk.img'), 'w');
  writeSync(sparse, Buffer.alloc(8192, 1), 0, 8192, 32 << 20);
  ftruncateSync(sparse, 64 << 20);
  closeSync(sparse);
  // More files than a folder keeps by name: the rest is summed.
  for (let i = 0; i < 90; i++) write(`photos/p${i}.jpg`, 1000 + i * 1500);
  write('docs/report.pdf', 1 << 20);
  mkdirSync(join(tree, 'docs', 'old'));
  linkSync(join(tree, 'docs', 'report.pdf'), join(tree, 'docs', 'old', 'report-copy.pdf'));
  linkSync(join(tree, 'docs', 'report.pdf'), join(tree, 'docs', 'again.pdf'));
  symlinkSync('/usr', join(tree, 'docs', 'usr-link'));
  symlinkSync('../videos', join(tree, 'photos', 'videos-link'));
  return tree;
}

// A tmpfs bound into the tree: another file system, neither entered nor
// counted (as du -x).
function bindMount(tree) {
  const other = mkdtempSync(join(tmp, 'spacemap-other-'));
  const mount = (...args) => spawnSync('mount', args, { stdio: 'ignore' }).status === 0;
  if (process.getuid() !== 0 || !mount('-t', 'tmpfs', 'none', other)) return 'mounting is not allowed here';
  cleanups.push(() => spawnSync('umount', [other]));
  writeFileSync(join(other, 'elsewhere.bin'), Buffer.alloc(2 << 20, 3));
  mkdirSync(join(tree, 'videos', 'bound'));
  if (!mount('--bind', other, join(tree, 'videos', 'bound'))) return 'a bind mount is not allowed here';
  cleanups.push(() => spawnSync('umount', [join(tree, 'videos', 'bound')]));
  return '';
}

test('the space map of a folder matches du, drills down and follows a move to the Trash', async (t) => {
  const tree = makeTree();
  const skipped = bindMount(tree);
  if (skipped) t.diagnostic(`bind mount part skipped: ${skipped}`);

  const app = await launch({ program: join(bin, 'Tidewell-app.exe'), cwd: tmp });
  cleanups.push(() => app.kill());
  const page = await app.page({ urlIncludes: 'main.html', timeoutMs: 30000 });
  await page.waitFor('document.readyState === "complete"', 10000);
  await page.click('[data-section="spacemap"]');
  await page.waitFor('document.getElementById("mapStatus").textContent.startsWith("扫描完成")', 60000);

  // The first space map scan of the process has id 1.
  const children = (path, apparent) => page.eval(`JSON.parse(NativeUtil.spaceMapChildren(1, ${JSON.stringify(path)}, ${apparent}))`);
  const rowNames = () => page.eval('[...document.querySelectorAll("#mapList .vlist-row .ellipsis")].map((e) => e.textContent)');
  const clickRow = async (name) => {
    const index = (await rowNames()).indexOf(name);
    assert.ok(index >= 0, `${name} in ${await rowNames()}`);
    await page.click(`#mapList .vlist-row:nth-child(${index + 1}) .ellipsis`);
  };
  const crumbs = () => page.eval('[...document.querySelectorAll("#mapCrumbs .crumb")].map((e) => e.textContent)');

  const check = async (apparent) => {
    const flag = apparent ? '-b' : '-B1';
    const key = apparent ? 'apparent' : 'allocated';
    const top = await children(tree, apparent);
    assert.equal(top[key], du(flag, tree), `${key} of the tree`);
    const names = top.items.map((i) => i.name);
    assert.deepEqual([...names].sort(), ['docs', 'photos', 'videos']);
    for (const item of top.items) assert.equal(item[key], du(flag, join(tree, item.name)), `${key} of ${item.name}`);
    assert.deepEqual(top.items.map((i) => i[key]), top.items.map((i) => i[key]).sort((a, b) => b - a), 'largest first');
    return top;
  };
  await check(false);
  const apparentTop = await check(true);
  assert.equal(apparentTop.items[0].name, 'videos');

  const photos = await children(join(tree, 'photos'), false);
  assert.equal(photos.items.filter((i) => i.kind === 'image').length, 64);
  assert.equal(photos.rest.count, 90 + 1 - 64); // the link is one of its entries
  assert.ok(photos.items.every((i) => i.kind !== 'folder'), 'the link to videos is not followed');
  const videos = await children(join(tree, 'videos'), true);
  assert.equal(videos.items[0].name, 'disk.img');
  assert.equal(videos.items[0].apparent, 64 << 20);
  assert.ok(videos.items[0].allocated < 1 << 20, 'a sparse file holds what was written');
  assert.equal(videos.items.some((i) => i.name === 'bound'), false, 'a mount inside is left out');

  // Home → tree → videos by clicks; the breadcrumbs lead back.
  await clickRow('tree');
  await page.waitFor(`document.querySelectorAll("#mapCrumbs .crumb").length === 2`);
  await page.waitFor('document.querySelectorAll("#mapView .map-cell").length >= 3');
  const videoCell = await page.eval(`[...document.querySelectorAll("#mapView .map-cell")].findIndex((c) => c.textContent.startsWith("videos"))`);
  assert.ok(videoCell >= 0, 'videos is labelled on the map');
  const { x, y } = await page.centreOf(`#mapView [data-cell="${videoCell}"] .cell-name`);
  await page.send('Input.dispatchMouseEvent', { type: 'mouseMoved', x, y });
  const tip = await page.waitFor('!document.getElementById("mapTip").hidden && document.getElementById("mapTip").innerText');
  assert.match(tip, /^videos\n文件夹\n占用空间 [\d.]+ MB，文件大小 67\.0 MB\n占tree的 \d+%$/);
  await shot(page, 'spacemap-top');
  await page.click(`#mapView [data-cell="${videoCell}"]`);
  await page.waitFor(`document.querySelectorAll("#mapCrumbs .crumb").length === 3`);
  assert.deepEqual((await crumbs()).slice(1), ['tree', 'videos']);
  assert.equal((await rowNames())[0], 'clip.mp4', 'on disk, the sparse file is not the largest');
  await page.click('#mapMode [data-mode="apparent"]');
  await page.waitFor('document.querySelector("#mapList .vlist-row .ellipsis").textContent === "disk.img"');
  await shot(page, 'spacemap-videos');
  await page.click('#mapMode [data-mode="allocated"]');
  await page.click('#mapCrumbs .crumb:nth-of-type(2)');
  await page.waitFor(`document.querySelectorAll("#mapCrumbs .crumb").length === 2`);

  // photos to the Trash from its row; the map follows without a new scan.
  const index = (await rowNames()).indexOf('photos');
  await page.click(`#mapList .vlist-row:nth-child(${index + 1}) .remove`);
  await page.waitFor('document.querySelector(".dialog [data-answer=yes]")');
  await page.click('.dialog [data-answer="yes"]');
  await page.waitFor('!document.querySelector(".dialog") && !document.querySelector(".busy-overlay.show")', 15000);
  await page.waitFor('![...document.querySelectorAll("#mapList .ellipsis")].some((e) => e.textContent === "photos")');
  assert.equal(existsSync(join(tree, 'photos')), false);
  assert.ok(existsSync(join(process.env.XDG_DATA_HOME, 'Trash', 'files', 'photos', 'p0.jpg')));
  const left = await children(tree, false);
  assert.equal(left.allocated, du('-B1', tree));
  assert.equal((await children(tree, true)).apparent, du('-b', tree));
  assert.deepEqual(left.items.map((i) => i.name).sort(), ['docs', 'videos']);
  assert.equal(await page.eval(`NativeUtil.forgetSpaceMapItem(1, ${JSON.stringify(join(tree, 'docs'))})`), false, 'what is still there stays');

  await page.eval('setTimeout(() => Window.this.close(), 20), true');
  assert.equal(await app.exit(15000), 0);
});
