// The program windows belong to the product: a transparent frame around the
// card where a compositor runs, no browser menu, no way out by a drop or a
// script, and an uninstall run that goes on through all of them.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import { dragOnto, visibleWindows, windowPixels } from '../node/lib/x11.mjs';
import fs from 'node:fs';
import path from 'node:path';
import {
  INSTALLER, UNSTALLER, freshUser, copyPayload, payloadFiles, writeFile, startProgram, closeProgram, shot,
  registryImport, registryValues, sleep,
} from './lib/fixture.mjs';

async function shownWindow(app) {
  let windows = [];
  for (let i = 0; i < 100 && windows.length !== 1; i++, await sleep(100)) windows = visibleWindows(app.child.pid);
  assert.equal(windows.length, 1, `one window shown: ${windows}`);
  return windows[0];
}

// Pixels as AARRGGBB read from the X server, at the corners and the centre.
function cornerPixels(window) {
  const geometry = execFileSync('xdotool', ['getwindowgeometry', '--shell', window], { encoding: 'utf8' });
  const width = Number(/WIDTH=(\d+)/.exec(geometry)[1]);
  const height = Number(/HEIGHT=(\d+)/.exec(geometry)[1]);
  const points = [[0, 0], [width - 1, 0], [0, height - 1], [width - 1, height - 1], [width >> 1, height >> 1]];
  const [a, b, c, d, centre] = windowPixels(window, points);
  return { corners: [a, b, c, d], centre };
}

test('the installer frame: transparent corners with a compositor, the card on white without one', async () => {
  const user = freshUser('frame');
  const folder = copyPayload('payload-frame');
  {
    const { app, page } = await startProgram(folder, INSTALLER, user);
    try {
      await sleep(500);
      const { corners, centre } = cornerPixels(await shownWindow(app));
      assert.deepEqual(corners, Array(4).fill('ffffffff'), 'no compositor: opaque white, never black');
      assert.equal(centre.slice(0, 2), 'ff');
    } finally {
      await closeProgram(app);
    }
  }
  const compositor = spawn('xcompmgr', [], { stdio: 'ignore' });
  try {
    await sleep(500);
    assert.equal(compositor.exitCode, null, 'xcompmgr runs');
    const { app, page } = await startProgram(folder, INSTALLER, user);
    try {
      await sleep(500);
      const { corners, centre } = cornerPixels(await shownWindow(app));
      for (const corner of corners) assert.equal(corner.slice(0, 2), '00', `corner ${corner} is transparent`);
      assert.equal(centre, 'ffffffff', 'the card itself is opaque');
      await shot(page, 'installer-composited');
    } finally {
      await closeProgram(app);
    }
  } finally {
    compositor.kill();
  }
});

test('an uninstall run survives a right click, a dropped file and a script leaving the page', async () => {
  const user = freshUser('survive');
  // The uninstaller alone: beside Tidewell-app.exe it would remove its own folder.
  const source = copyPayload('payload-survive', [UNSTALLER, payloadFiles().find((f) => f.startsWith('libtidewell-engine'))]);
  for (let i = 0; i < 40; i++) writeFile(path.join(user.installDir, `f${i}.dat`), 'x'.repeat(1000));
  writeFile(path.join(user.installDir, 'Tidewell-app.exe'), 'x');
  writeFile(user.shortcut, '[Desktop Entry]\nType=Application\nName=潮井\nExec=/bin/true\n');
  registryImport(user, { DisplayName: '潮井', InstallLocation: user.installDir, NoModify: 1 });
  const { app, page } = await startProgram(source, UNSTALLER, user);
  try {
    const window = await shownWindow(app);
    await page.eval('window.sameDocument = true');
    await page.click('#unstallBtn');
    execFileSync('xdotool', ['mousemove', '--window', window, '350', '120', 'click', '3']);
    await sleep(300);
    assert.deepEqual(visibleWindows(app.child.pid), [window], 'no menu opened');
    assert.equal(await dragOnto(window, `file://${user.shortcut}`), 0, 'the drop is not taken');
    await page.eval("location.href = 'https://example.invalid/'");
    await page.waitFor('document.getElementById("unstallBtn").textContent === "完成"', 30000);
    assert.equal(await page.eval('window.sameDocument'), true, 'the page stayed where it was');
    assert.equal(fs.existsSync(user.installDir), false);
    assert.equal(fs.existsSync(user.shortcut), false);
    assert.equal(registryValues(user), null);
  } finally {
    await closeProgram(app);
  }
});
