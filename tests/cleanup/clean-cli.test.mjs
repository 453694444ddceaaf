// tidewell-clean on a prepared home, without a display: the list, a preview
// saved and cleaned later, what changed or appeared meanwhile left, a
// running browser's cache skipped, and the exit codes.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import { join, relative } from 'node:path';
import { freshUser, scratch } from '../e2e/lib/fixture.mjs';

const program = join(process.env.TW_BUILD_DIR, 'bin', 'tidewell-clean');

function write(file, size) {
  fs.mkdirSync(join(file, '..'), { recursive: true });
  fs.writeFileSync(file, Buffer.alloc(size, 7));
  return file;
}

// Every file below folder, by path, with its size.
function manifest(folder, into = new Map()) {
  for (const entry of fs.readdirSync(folder, { withFileTypes: true })) {
    const path = join(folder, entry.name);
    if (entry.isDirectory()) manifest(path, into);
    else if (entry.isFile()) into.set(path, fs.statSync(path).size);
  }
  return into;
}

test('list, preview, clean exactly what was previewed, and skip a running browser', () => {
  const user = freshUser('clean-cli');
  const temp = scratch('clean-cli-tmp');
  const env = { ...process.env, ...user.env, TMPDIR: temp };
  delete env.DISPLAY;
  const run = (...args) => {
    const result = spawnSync(program, args, { env, encoding: 'utf8' });
    return { code: result.status, out: result.stdout, json: args.includes('--json') && result.status !== 2 && result.status !== 3 ? JSON.parse(result.stdout) : null };
  };
  const cache = user.env.XDG_CACHE_HOME;
  const wheel = write(join(cache, 'pip', 'wheels', 'a', 'tool.whl'), 5000);
  fs.linkSync(wheel, join(cache, 'pip', 'wheels', 'again.whl'));
  const body = write(join(cache, 'pip', 'http', '1', 'body'), 700);
  write(join(cache, 'thumbnails', 'normal', 'x.png'), 300);
  const chromeCache = write(join(cache, 'google-chrome', 'Default', 'Cache', 'data_0'), 2000);
  fs.mkdirSync(join(user.config, 'google-chrome'), { recursive: true });
  // A lock naming this host and a live process: the browser runs.
  fs.symlinkSync(`${os.hostname()}-${process.pid}`, join(user.config, 'google-chrome', 'SingletonLock'));
  const recent = write(join(user.data, 'recently-used.xbel'), 90);
  const oldTemp = write(join(temp, 'old', 'left.bin'), 40);
  const weekAgo = new Date(Date.now() - 8 * 86400 * 1000);
  fs.utimesSync(oldTemp, weekAgo, weekAgo);

  const list = run('--list', '--json').json.list;
  assert.ok(list.length >= 40, `${list.length} cleaners`);
  const byId = Object.fromEntries(list.map((c) => [c.id, c]));
  assert.equal(byId['pip-cache'].preselected, true);
  assert.equal(byId['recent-files'].preselected, false);
  assert.match(byId['recent-files'].warning, /最近使用/);
  assert.equal(byId['old-temp-files'].needsRoot, false);
  assert.ok(list.every((c) => c.nameEn && c.descriptionEn), 'English texts for every cleaner');
  assert.match(run('--list').out, /^pip-cache\s+preselected\s+pip 下载缓存$/m);

  // Without ids the preselected set; the running browser's cache is skipped with its reason.
  const preview = run('--preview', '--json');
  assert.equal(preview.code, 0);
  const found = Object.fromEntries(preview.json.cleaners.map((c) => [c.id, c]));
  assert.ok(!('recent-files' in found) && !('old-temp-files' in found), 'only the preselected ones');
  assert.match(found['chrome-cache'].skipped, /SingletonLock/);
  assert.deepEqual(found['chrome-cache'].files, []);
  assert.equal(found['pip-cache'].size, 5700, 'a hard-linked file once');
  const measured = run('--measure', '--json').json.cleaners;
  assert.equal(measured.length, list.length, 'every cleaner measured');
  assert.equal(measured.find((c) => c.id === 'pip-cache').size, 5700);
  const previewed = preview.json.cleaners.flatMap((c) => c.files.map((f) => f.path));
  assert.equal(preview.json.total, preview.json.cleaners.reduce((s, c) => s + c.size, 0));
  const saved = join(temp, 'preview.json');
  fs.writeFileSync(saved, preview.out);

  // Between the preview and the clean a listed file changes and a new one appears.
  const before = manifest(user.root);
  fs.appendFileSync(body, 'more');
  const appeared = write(join(cache, 'pip', 'http', '2', 'new'), 10);
  const cleaned = run('--clean', '--json', '--from', saved);
  assert.equal(cleaned.code, 1, 'a changed file stayed');
  const pip = cleaned.json.cleaners.find((c) => c.id === 'pip-cache');
  assert.deepEqual([pip.deleted, pip.failed, pip.changed, pip.freed], [2, 0, 1, 5000]);
  const after = manifest(user.root);
  const gone = [...before.keys()].filter((path) => !after.has(path)).sort();
  const expected = new Set([...previewed.filter((path) => path !== body), wheel, join(cache, 'pip', 'wheels', 'again.whl')]);
  assert.deepEqual(gone, [...expected].sort(), 'exactly the previewed files went, with the other name of a listed file');
  for (const kept of [body, appeared, chromeCache, recent, oldTemp]) assert.ok(fs.existsSync(kept), relative(user.root, kept));

  // Old temporary files: the user's own, a week old; /var/tmp is the machine's, so only previewed.
  const temps = run('--preview', '--json', 'old-temp-files').json.cleaners[0].files.map((f) => f.path);
  assert.ok(temps.includes(oldTemp) && !temps.includes(saved), temps.join());

  // Named cleaners, the browser still running: its files stay, the exit says so.
  const second = run('--clean', 'pip-cache', 'recent-files', 'chrome-cache');
  assert.equal(second.code, 1);
  assert.match(second.out, /^chrome-cache: 0 deleted.*skipped: 正在运行/m);
  for (const goneNow of [body, appeared, recent]) assert.ok(!fs.existsSync(goneNow), relative(user.root, goneNow));
  assert.ok(fs.existsSync(chromeCache));
  fs.unlinkSync(join(user.config, 'google-chrome', 'SingletonLock'));
  assert.equal(run('--clean', 'chrome-cache').code, 0, 'done once the browser is gone');
  assert.ok(!fs.existsSync(chromeCache));

  assert.equal(run('--preview', 'no-such-cleaner').code, 3);
  assert.equal(run('--list', '--clean').code, 2);
  assert.equal(run('--bogus').code, 2);
  assert.match(run('--help').out, /Exit codes:/);
});

test('old temporary files: only the user\'s own, never through a link or across a mount', (t) => {
  const user = freshUser('clean-cli-temp');
  const temp = scratch('clean-cli-temp-tmp');
  const outside = scratch('clean-cli-outside');
  const env = { ...process.env, ...user.env, TMPDIR: temp };
  const old = (file) => {
    write(file, 10);
    const weekAgo = new Date(Date.now() - 8 * 86400 * 1000);
    fs.utimesSync(file, weekAgo, weekAgo);
    return file;
  };
  const mine = old(join(temp, 'mine.bin'));
  const fresh = write(join(temp, 'fresh.bin'), 10);
  const theirs = old(join(temp, 'theirs.bin'));
  old(join(outside, 'far.bin'));
  fs.symlinkSync(outside, join(temp, 'link'));
  const listed = () => JSON.parse(spawnSync(program, ['--preview', '--json', 'old-temp-files'], { env, encoding: 'utf8' }).stdout)
    .cleaners[0].files.map((f) => f.path).filter((path) => path.startsWith(temp));
  let other = true;
  try { fs.chownSync(theirs, 65534, 65534); } catch { other = false; }
  assert.deepEqual(listed(), other ? [mine] : [mine, theirs].sort());
  assert.ok(fs.existsSync(fresh));

  fs.mkdirSync(join(temp, 'mounted'));
  if (spawnSync('mount', ['--bind', outside, join(temp, 'mounted')]).status !== 0) {
    t.skip('cannot bind-mount here');
    return;
  }
  try {
    assert.deepEqual(listed(), other ? [mine] : [mine, theirs].sort(), 'a bind mount from the same disk is not entered');
  } finally {
    spawnSync('umount', [join(temp, 'mounted')]);
  }
});
