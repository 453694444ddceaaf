// Start-up items and start-on-boot from a page of the real application:
// the four methods over the autostart folders of a user of our own.
import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import { mkdtemp, mkdir, writeFile, readFile, access } from 'node:fs/promises';
import { join } from 'node:path';
import { launch } from '../node/lib/driver.mjs';

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
  const app = await launch({
    program: join(bin, 'Tidewell-app.exe'),
    cwd: tmp,
    env: { XDG_CONFIG_HOME: config, XDG_CONFIG_DIRS: join(root, 'xdg'), XDG_CURRENT_DESKTOP: undefined },
  });
  running.push(app);
  const page = await app.page({ urlIncludes: 'main.html', timeoutMs: 30000 });
  await page.waitFor('document.readyState === "complete"', 10000);

  const listed = JSON.parse(await page.eval('NativeUtil.getStartupItems()')).list;
  assert.deepEqual(listed, [
    { command: join(machine, 'agent.desktop'), enabled: true, location: machine, name: 'agent.desktop', scope: 'machine', type: 'folder' },
  ]);
  const { type, location, name } = listed[0];
  assert.equal(await page.eval(`NativeUtil.removeStartupItem(${JSON.stringify(type)}, ${JSON.stringify(location)}, ${JSON.stringify(name)})`), true);
  assert.equal(await readFile(join(machine, 'agent.desktop'), 'utf8'), system);
  const after = JSON.parse(await page.eval('NativeUtil.getStartupItems()')).list;
  assert.deepEqual(after.map((item) => [item.scope, item.name, item.enabled]), [['user', 'agent.desktop', false]]);

  const entry = join(config, 'autostart', 'Tidewell.desktop');
  assert.equal(await page.eval('NativeUtil.isStartupOnBoot()'), false);
  assert.equal(await page.eval('NativeUtil.setStartupOnBoot(true)'), true);
  assert.equal(await page.eval('NativeUtil.isStartupOnBoot()'), true);
  assert.match(await readFile(entry, 'utf8'), new RegExp(`^Exec=${join(bin, 'Tidewell-app.exe').replace(/[.]/g, '\\.')}$`, 'm'));
  assert.equal(await page.eval('NativeUtil.setStartupOnBoot(false)'), true);
  assert.equal(await exists(entry), false);
  assert.equal(await page.eval('NativeUtil.isStartupOnBoot()'), false);
});
