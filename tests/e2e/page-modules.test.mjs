// Toasts and tooltips of the shared page modules, in the real engine, on the installer page.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { INSTALLER, freshUser, copyPayload, startProgram, closeProgram, sleep } from './lib/fixture.mjs';

let program;
async function installerPage() {
  if (!program) {
    program = await startProgram(copyPayload('payload-modules'), INSTALLER, freshUser('modules'));
    await program.page.eval('import("/common/js/toast.js").then((m) => { window.__toast = m; return true; })');
    await program.page.eval('import("/common/js/tooltip.js").then((m) => { window.__tooltip = m; return true; })');
  }
  return program.page;
}

test.after(async () => {
  if (program) await closeProgram(program.app);
});

test('toasts show markup as text, stack 12 px apart, and stay with duration 0', async () => {
  const page = await installerPage();
  const shown = await page.eval(`(() => {
    const a = __toast.showToast('<b>bold</b> & "quoted"', 'info', 0);
    const b = __toast.showError('second', 700);
    return new Promise((resolve) => setTimeout(() => {
      const ra = a.getBoundingClientRect(), rb = b.getBoundingClientRect();
      resolve({
        text: a.querySelector('.toast-message').textContent,
        markup: a.querySelector('.toast-message b') !== null,
        gap: Math.round(rb.top - ra.bottom),
        centred: Math.abs((ra.left + ra.right) / 2 - innerWidth / 2) < 2,
        classes: [a.className, b.className],
        closeTip: a.querySelector('.toast-close').getAttribute('data-tooltip'),
      });
    }, 400));
  })()`);
  assert.deepEqual(shown, {
    text: '<b>bold</b> & "quoted"',
    markup: false,
    gap: 12,
    centred: true,
    classes: ['toast toast-info show', 'toast toast-error show'],
    closeTip: '关闭',
  });
  // The 700 ms toast is gone 300 ms after it hid; the one without duration stays.
  await page.waitFor('document.querySelectorAll(".toast").length === 1', 3000);
  await sleep(500);
  assert.deepEqual(await page.eval('[...document.querySelectorAll(".toast")].map((t) => t.textContent.includes("bold"))'), [true]);
  await page.click('.toast .toast-close');
  await page.waitFor('document.querySelectorAll(".toast").length === 0', 2000);
});

test('a toast container removed from the document is made again', async () => {
  const page = await installerPage();
  const count = await page.eval(`(() => {
    __toast.showInfo('one', 0);
    document.querySelector('.toast-container').remove();
    __toast.showWarning('two', 0);
    const containers = document.querySelectorAll('.toast-container');
    const n = [containers.length, containers[0].querySelectorAll('.toast').length];
    containers[0].remove();
    return n;
  })()`);
  assert.deepEqual(count, [1, 1]);
});

const hover = (selector) => `(() => {
  document.querySelector(${JSON.stringify(selector)}).dispatchEvent(new MouseEvent('mouseenter'));
  return new Promise((resolve) => setTimeout(() => {
    const tip = document.querySelector('.custom-tooltip');
    const el = document.querySelector(${JSON.stringify(selector)}).getBoundingClientRect();
    if (!tip || !tip.classList.contains('show')) return resolve({ shown: false });
    const r = tip.getBoundingClientRect();
    resolve({ shown: true, text: tip.textContent, above: r.bottom <= el.top, below: r.top >= el.bottom,
              left: parseFloat(tip.style.left), top: parseFloat(tip.style.top), elTop: el.top,
              height: tip.offsetHeight, posTop: tip.classList.contains('pos-top') });
  }, 400));
})()`;

const leave = (selector) =>
  `document.querySelector(${JSON.stringify(selector)}).dispatchEvent(new MouseEvent('mouseleave')); new Promise((r) => setTimeout(r, 250))`;

test('tooltips: above near the bottom, 8 px in near the left edge, nothing for spaces, later elements too', async () => {
  const page = await installerPage();
  await page.eval(`(() => {
    const add = (id, css, tip) => {
      const el = document.createElement('div');
      el.id = id;
      el.style.cssText = 'position:fixed;width:40px;height:20px;' + css;
      el.setAttribute('data-tooltip', tip);
      document.body.appendChild(el);
    };
    add('tipBottom', 'left:300px;bottom:2px', '底部提示');
    add('tipLeft', 'left:0;top:200px', '一段较长的左侧提示文字');
    add('tipBlank', 'left:300px;top:200px', '   ');
    return new Promise((r) => setTimeout(r, 50)); // the mutation observer binds them
  })()`);

  const bottom = await page.eval(hover('#tipBottom'));
  assert.equal(bottom.shown, true);
  assert.equal(bottom.text, '底部提示');
  assert.ok(bottom.above && bottom.posTop, JSON.stringify(bottom));
  assert.equal(bottom.top, bottom.elTop - bottom.height - 8);
  await page.eval(leave('#tipBottom'));

  const left = await page.eval(hover('#tipLeft'));
  assert.equal(left.shown, true);
  assert.equal(left.left, 8);
  assert.ok(left.below, JSON.stringify(left));
  await page.eval(leave('#tipLeft'));
  assert.equal(await page.eval('document.querySelector(".custom-tooltip").classList.contains("show")'), false);

  assert.deepEqual(await page.eval(hover('#tipBlank')), { shown: false });

  // createTooltip binds an element that has no attribute yet; markup stays text.
  await page.eval(`(() => {
    const el = document.createElement('span');
    el.id = 'tipMade';
    el.style.cssText = 'position:fixed;left:300px;top:100px;width:40px;height:20px';
    document.body.appendChild(el);
    __tooltip.createTooltip(el, '<i>x</i>');
    return true;
  })()`);
  const made = await page.eval(hover('#tipMade'));
  assert.equal(made.text, '<i>x</i>');
  // A click anywhere hides it at once.
  await page.eval('document.body.click(); document.querySelector(".custom-tooltip").classList.contains("show")').then((v) =>
    assert.equal(v, false),
  );
});

test('the close button of the installer shows its tooltip on a real hover', async () => {
  const page = await installerPage();
  const { x, y } = await page.centreOf('#closeBtn');
  await page.send('Input.dispatchMouseEvent', { type: 'mouseMoved', x, y });
  await page.waitFor('document.querySelector(".custom-tooltip.show")?.textContent === "关闭"', 3000);
  await page.send('Input.dispatchMouseEvent', { type: 'mouseMoved', x: 5, y: 300 });
  await page.waitFor('!document.querySelector(".custom-tooltip.show")', 3000);
});
