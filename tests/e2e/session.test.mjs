// The application once per session, and its end by a signal: a second start
// brings the first window forward and leaves, so no two of them write the
// history at once; SIGTERM ends it as a close does, freeing what it holds.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { launch } from '../node/lib/driver.mjs';
import { visibleWindows } from '../node/lib/x11.mjs';
import { APP, freshUser, copyPayload, sleep } from './lib/fixture.mjs';

async function startApp(user, folder) {
  const app = await launch({ program: path.join(folder, APP), cwd: folder, env: user.env });
  const page = await app.page({ urlIncludes: 'main.html', timeoutMs: 20000 });
  await page.waitFor('document.getElementById("osName") && document.getElementById("osName").textContent !== ""', 15000);
  return { app, page };
}

// 100 history entries, one at a time, as cleanings add them; their count.
const appendHistory = (page, tag) =>
  page.eval(`import("/common/js/appkit.js").then(async (kit) => {
    for (let i = 0; i < 100; i++) {
      kit.addHistory("startup", ${tag} + i, 0);
      await new Promise((resolve) => setTimeout(resolve, 2));
    }
    return 100;
  })`);

async function until(check, what, timeoutMs = 15000) {
  const deadline = Date.now() + timeoutMs;
  while (!check()) {
    if (Date.now() > deadline) throw new Error(`not within ${timeoutMs} ms: ${what}`);
    await sleep(100);
  }
}

test('a second start brings the hidden window forward and leaves; every history entry made is kept', async () => {
  const user = freshUser('session');
  const folder = copyPayload('session-app');
  const first = await startApp(user, folder);
  let second;
  try {
    await first.page.eval('Window.this.state = Window.WINDOW_HIDDEN; true');
    await until(() => visibleWindows(first.app.child.pid).length === 0, 'the window hides');

    const appends = [appendHistory(first.page, 1000)];
    second = await launch({ program: path.join(folder, APP), cwd: folder, env: user.env });
    // A second application would append at the same time as the first.
    const page = await Promise.race([second.exited.then(() => null), second.page({ urlIncludes: 'main.html', timeoutMs: 20000 })]);
    if (page) {
      await page.waitFor('typeof NativeUtil !== "undefined"', 15000);
      appends.push(appendHistory(page, 2000));
    }
    const made = (await Promise.all(appends)).reduce((sum, n) => sum + n, 0);
    const kept = await first.page.eval(`import("/common/js/appkit.js").then((kit) => kit.readHistory().length)`);
    assert.equal(kept, made, 'entries lost between two applications');

    assert.deepEqual(await second.exited, { code: 0, signal: null }, second.stderr);
    await until(() => visibleWindows(first.app.child.pid).length > 0, 'the first window comes forward');
    assert.equal(await first.page.eval('Window.this.state'), await first.page.eval('Window.WINDOW_SHOWN'));
  } finally {
    second?.kill();
    first.app.kill();
    await first.app.exited;
  }
});

// System V segments of a process, from the kernel's own table.
function segmentsOf(pid) {
  const [header, ...rows] = fs.readFileSync('/proc/sysvipc/shm', 'utf8').trim().split('\n');
  const columns = header.trim().split(/\s+/);
  return rows
    .map((row) => Object.fromEntries(row.trim().split(/\s+/).map((value, i) => [columns[i], value])))
    .filter((segment) => Number(segment.cpid) === pid)
    .map((segment) => segment.shmid);
}

for (const signal of ['SIGTERM', 'SIGINT', 'SIGHUP']) {
  test(`${signal} ends the application as a close does and frees its shared memory`, async () => {
    const user = freshUser(`signal-${signal}`);
    const { app, page } = await startApp(user, copyPayload(`signal-${signal}`));
    try {
      const pid = app.child.pid;
      // The window system's own segments come and go beside the page's one.
      const before = new Set(segmentsOf(pid));
      assert.equal(await page.eval(`NativeUtil.setSharedMemoryValue("status", "cleaning")`), true);
      const made = segmentsOf(pid).filter((id) => !before.has(id));
      assert.equal(made.length, 1);
      app.kill(signal);
      assert.deepEqual(await app.exited, { code: 0, signal: null }, app.stderr);
      assert.deepEqual(segmentsOf(pid).filter((id) => made.includes(id)), []);
    } finally {
      app.kill();
      await app.exited;
    }
  });
}
