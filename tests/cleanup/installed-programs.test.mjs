// After a real installation the installed-programs list shows our own
// registration, and only a string of that list starts anything.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {
  INSTALLER, APP, UNSTALLER, freshUser, copyPayload, startProgram, closeProgram,
} from '../e2e/lib/fixture.mjs';

test('the installer\'s registration is listed and its uninstaller is the one offered', async () => {
  const user = freshUser('programs');
  const source = copyPayload('payload-programs');
  const { app, page } = await startProgram(source, INSTALLER, user);
  try {
    await page.click('#installBtn');
    await page.waitFor('document.getElementById("installBtn").textContent === "打开"', 30000);
    const list = JSON.parse(await page.eval('NativeUtil.getInstalledPrograms()')).list;
    const ours = list.filter((p) => p.name === '潮井');
    assert.equal(ours.length, 1, JSON.stringify(list.map((p) => p.name)));
    const [entry] = ours;
    assert.equal(entry.uninstallString, path.join(user.installDir, UNSTALLER));
    assert.equal(entry.displayIcon, path.join(user.installDir, APP));
    assert.ok(entry.estimatedSize > 0, JSON.stringify(entry));
    assert.equal(entry.systemComponent, false);
    assert.deepEqual(Object.keys(entry), [
      'displayIcon', 'estimatedSize', 'installDate', 'name', 'publisher', 'systemComponent',
      'uninstallString', 'version',
    ]);
    const names = list.map((p) => p.name);
    assert.deepEqual(names, [...names].sort((a, b) => a.localeCompare(b, 'en', { sensitivity: 'base' })));

    // A command of the page's own making is refused and runs nothing.
    const marker = path.join(user.root, 'started');
    assert.equal(await page.eval(`NativeUtil.uninstallProgram(${JSON.stringify(`touch ${marker}`)})`), false);
    await new Promise((resolve) => setTimeout(resolve, 300));
    assert.equal(fs.existsSync(marker), false);
  } finally {
    await closeProgram(app);
  }
});
