// The application's first page: what it shows, and its button that starts the uninstaller.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { launch } from '../node/lib/driver.mjs';
import { APP, UNSTALLER, freshUser, copyPayload, processesOf, shot, sleep } from './lib/fixture.mjs';

test('the first page shows the system and the install folder, and starts the uninstaller beside it', async () => {
  const user = freshUser('app');
  const folder = copyPayload('installed-app');
  const app = await launch({ program: path.join(folder, APP), cwd: folder, env: user.env });
  try {
    const page = await app.page({ urlIncludes: 'main.html', timeoutMs: 20000 });
    await page.waitFor('document.getElementById("osName").textContent !== ""', 10000);
    const shown = await page.eval(`(() => {
      const t = (id) => document.getElementById(id).textContent;
      return { os: t("osName"), arch: t("cpuArch"), kernel: t("kernel"), folder: t("installFolder") };
    })()`);
    assert.equal(shown.folder, folder);
    assert.equal(shown.kernel, `linux ${os.release()}`);
    assert.ok(shown.os.length > 0 && shown.arch.length > 0, JSON.stringify(shown));
    await sleep(300);
    await shot(page, 'app-main');

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
    app.kill();
    await app.exited;
  }
});
