// Start-up items and start-on-boot from a page of the real application:
// the four methods over the autostart folders of a user of our own.
import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import { mkdtemp, mkdir, writeFile, readFile, access } from 'node:fs/promises';
import { join } from 'node:path';
import { launch } from '../node/lib/driver.mjs';
import { shot } from '../e2e/lib/fixture.mjs';

const bin = join(process.env.TW_BUILD_DIR, 'bin');
const tmp = process.env.TMPDIR ?? '/tmp';
const running = [];
after(() => running.forEach((app) => app.kill()));

const exists = (path) => access(path).then(() => true, () => false);

test('a page lists and removes start-up items and switches start-on-boot', async () => {
  const root = await mkdtemp(join(tmp, 'startup-'));
  const config = join(root, 'config');
  const machine = join(root, 'xdg', 'autostart');
  await mkdir(machine, { recursive: true });
  const system = '[Desktop Entry]\nType=Application\nName=Agent\nExec=true\n';
  await writeFile(join(machine, 'agent.desktop'), system);
  // The leftover of a program that was removed: listed by its name in the
  // user's language, marked, and removable.
  const user = join(config, 'autostart');
  await mkdir(user, { recursive: true });
  const gone = join(user, 'helper.desktop');
  await writeFile(gone, '[Desktop Entry]\nType=Application\nName=Old Helper\nName[zh_CN]=旧助手\nExec="/opt/gone app/bin/helper" --tray\n');
  const app = await launch({
    program: join(bin, 'Tidewell-app.exe'),
    cwd: tmp,
    env: { XDG_CONFIG_HOME: config, XDG_CONFIG_DIRS: join(root, 'xdg'), XDG_CURRENT_DESKTOP: undefined, LC_ALL: 'zh_CN.UTF-8' },
  });
  running.push(app);
  const page = await app.page({ urlIncludes: 'main.html', timeoutMs: 30000 });
  await page.waitFor('document.readyState === "complete"', 10000);

  const listed = JSON.parse(await page.eval('NativeUtil.getStartupItems()')).list;
  assert.deepEqual(listed, [
    { command: join(machine, 'agent.desktop'), enabled: true, location: machine, missing: false, name: 'agent.desktop',
      program: 'true', scope: 'machine', title: 'Agent', type: 'folder' },
    { command: gone, enabled: false, location: user, missing: true, name: 'helper.desktop',
      program: '/opt/gone app/bin/helper', scope: 'user', title: '旧助手', type: 'folder' },
  ]);
  await page.click('.nav-item[data-section="startup"]');
  await page.waitFor('document.querySelectorAll("#startupList .item-card").length === 2', 5000);
  const card = `[...document.querySelectorAll("#startupList .item-card")].find((c) => c.textContent.includes("旧助手"))`;
  assert.match(await page.eval(`${card}.textContent`), /旧助手程序已不存在.*找不到程序 \/opt\/gone app\/bin\/helper/);
  await shot(page, 'app-startup-missing');
  await page.click("#startupList .item-card:nth-child(2) [data-remove]");
  await page.click('.dialog [data-answer="yes"]');
  await page.waitFor('document.querySelectorAll("#startupList .item-card").length === 1', 5000);
  assert.equal(await exists(gone), false, 'the leftover entry is gone');

  const { type, location, name } = listed[0];
  assert.equal(await page.eval(`NativeUtil.removeStartupItem(${JSON.stringify(type)}, ${JSON.stringify(location)}, ${JSON.stringify(name)})`), true);
  assert.equal(await readFile(join(machine, 'agent.desktop'), 'utf8'), system);
  const after = JSON.parse(await page.eval('NativeUtil.getStartupItems()')).list;
  assert.deepEqual(after.map((item) => [item.scope, item.title, item.enabled, item.missing]), [['user', 'Agent', false, false]]);

  const entry = join(config, 'autostart', 'Tidewell.desktop');
  assert.equal(await page.eval('NativeUtil.isStartupOnBoot()'), false);
  assert.equal(await page.eval('NativeUtil.setStartupOnBoot(true)'), true);
  assert.equal(await page.eval('NativeUtil.isStartupOnBoot()'), true);
  assert.match(await readFile(entry, 'utf8'), new RegExp(`^Exec=${join(bin, 'Tidewell-app.exe').replace(/[.]/g, '\\.')}$`, 'm'));
  assert.equal(await page.eval('NativeUtil.setStartupOnBoot(false)'), true);
  assert.equal(await exists(entry), false);
  assert.equal(await page.eval('NativeUtil.isStartupOnBoot()'), false);
});
