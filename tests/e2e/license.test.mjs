// The licence window over the installer.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { INSTALLER, freshUser, copyPayload, startProgram, closeProgram, shot, loggedMessages, sleep } from './lib/fixture.mjs';

const ARTICLES = ['一', '二', '三', '四', '五', '六', '七', '八', '九'].map((n) => `第${n}条`);

async function openLicense(app, installer) {
  await installer.click('#licenseLink');
  const license = await app.page({ urlIncludes: 'license.html', timeoutMs: 10000 });
  await license.waitFor('document.readyState === "complete" && document.querySelector("#licenseText h3")', 10000);
  return license;
}

// Closing the window ends the DevTools session, maybe before the input command answers.
async function closeBy(app, action) {
  action.catch(() => {});
  await waitClosed(app);
}

async function waitClosed(app) {
  for (let i = 0; i < 100; i++, await sleep(100)) {
    const targets = await app.targets();
    if (!targets.some((t) => t.url.includes('license.html'))) return;
  }
  throw new Error('the licence window stayed open');
}

test('the licence window opens centred, renders the articles and closes by button and Escape', async () => {
  const user = freshUser('license');
  const source = copyPayload('payload-license');
  const { app, page } = await startProgram(source, INSTALLER, user);
  try {
    const license = await openLicense(app, page);
    await sleep(300);
    const outer = await page.eval('Window.this.box("xywh", "border", "screen")');
    const inner = await license.eval('Window.this.box("xywh", "border", "screen")');
    assert.deepEqual(inner, [
      outer[0] + Math.round((outer[2] - 500) / 2),
      outer[1] + Math.round((outer[3] - 400) / 2),
      500,
      400,
    ]);
    const text = await license.eval(`(() => ({
      title: document.title,
      h3: [...document.querySelectorAll('#licenseText h3')].map((h) => h.textContent),
      h4: [...document.querySelectorAll('#licenseText h4')].map((h) => h.querySelector('strong').textContent),
      paragraphs: document.querySelectorAll('#licenseText p').length,
      other: document.querySelectorAll('#licenseText > :not(h3):not(h4):not(p)').length,
    }))()`);
    assert.equal(text.title, '许可协议');
    assert.deepEqual(text.h3, ['最终用户许可协议']);
    assert.deepEqual(text.h4, ARTICLES);
    assert.ok(text.paragraphs >= 9);
    assert.equal(text.other, 0);
    await shot(license, 'license');
    // Two documents import the tooltip module: each logs its two lines once.
    assert.equal(loggedMessages(app, 'tooltip script tag'), 2);
    assert.equal(loggedMessages(app, 'tooltip init'), 2);

    await closeBy(app, license.click('#closeBtn'));

    const again = await openLicense(app, page);
    // Input.dispatchKeyEvent never answers in this engine, so page.key cannot be used:
    // the key press is made in the page, as the document would receive it.
    await closeBy(app, again.eval(`document.activeElement.dispatchEvent(
      new KeyboardEvent("keydown", { key: "Escape", code: "Escape", keyCode: 27, bubbles: true })), true`));

    const third = await openLicense(app, page);
    await closeBy(app, third.click('#agreeBtn'));
    assert.equal(await page.eval('document.getElementById("installBtn").textContent'), '开始安装');
  } finally {
    await closeProgram(app);
  }
});
