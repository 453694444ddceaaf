// Native objects, values, callbacks and page facilities of the engine,
// driven in the real test host over DevTools.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { readFileSync, writeFileSync } from 'node:fs';
import { chmod, lstat, mkdir, readdir, readFile, readlink, stat, symlink, writeFile } from 'node:fs/promises';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';
import { closeMainWindow, startHost } from './host.mjs';

const root = process.env.TW_TEST_ROOT;

describe('native objects and values', () => {
  let app;
  let page;
  before(async () => {
    app = await startHost();
    page = await app.page({ urlIncludes: 'index.html' });
    await page.waitFor('window.ready');
  });
  after(async () => {
    try {
      await closeMainWindow(page);
      assert.equal(await app.exit(15000), 0);
    } finally {
      app.kill();
    }
  });

  test('native objects and Window.this exist before the first script line', async () => {
    assert.deepEqual(await page.eval('window.firstLine'), { native: 'object', window: 'object' });
  });

  test('every argument kind arrives as its engine value', async () => {
    const kinds = await page.eval(`[
      TestNative.kindOf(1), TestNative.kindOf(-2147483648), TestNative.kindOf(1.5),
      TestNative.kindOf(3000000000), TestNative.kindOf(true), TestNative.kindOf('x'),
      TestNative.kindOf(null), TestNative.kindOf(undefined), TestNative.kindOf([1, [2, 3]]),
      TestNative.kindOf({ a: 1 }), TestNative.kindOf(() => 1).split(':')[0], TestNative.kindOf(NaN)]`);
    assert.deepEqual(kinds, [
      'int:1', 'int:-2147483648', 'float:1.5', 'float:3000000000', 'bool:true', 'string:x',
      'null:null', 'undefined:undefined', 'array:1,2,3', 'map:[object Object]', 'function', 'float:NaN',
    ]);
  });

  test('values come back unchanged through a native echo', async () => {
    const value = { n: 1, f: -0.25, s: '潮井 "q" \\ \u2028', b: false, z: null, list: [1, 'two', [3]], big: 2 ** 40 };
    assert.deepEqual(await page.eval(`TestNative.echo(${JSON.stringify(value)})`), value);
    assert.deepEqual(await page.eval('Object.keys(TestNative.echo({ z: 1, a: 2, m: 3 }))'), ['z', 'a', 'm']);
    assert.equal(await page.eval('TestNative.echo(undefined) === undefined'), true);
    assert.equal(await page.eval('Number.isNaN(TestNative.echo(NaN)) && TestNative.echo(-Infinity) === -Infinity'), true);
    assert.equal(await page.eval('(() => { const f = () => 1; return TestNative.echo(f) === f; })()'), true);
  });

  test('arguments far longer than a prompt text arrive whole, surrogate pairs kept', async () => {
    // Emoji at every offset put a pair across each 8 KiB part boundary somewhere.
    const checks = await page.eval(`[30000, 1 << 20].map((n) => {
      const text = '😀a'.repeat(n / 3) + '潮';
      const back = TestNative.echo(text);
      return back.length === text.length && back === text;
    })`);
    assert.deepEqual(checks, [true, true]);
    assert.equal(await page.eval('TestNative.echo("x".repeat(20000)).length'), 20000);
  });

  test('every result kind reaches the script', async () => {
    const results = await page.eval(`['undefined', 'null', 'true', 'int', 'float', 'big', 'string', 'symbol', 'array', 'map']
      .map((k) => { const v = TestNative.make(k); return [k, v === undefined ? 'undefined' : v]; })`);
    assert.deepEqual(Object.fromEntries(results), {
      undefined: 'undefined',
      null: null,
      true: true,
      int: -42,
      float: 2.5,
      big: 5000000000,
      string: '潮井 text',
      symbol: 'progress',
      array: [1, 2, 3],
      map: { type: 'done', total: 1e10, data: '{"list":[]}' },
    });
  });

  test('an error value is thrown as an Error with its message', async () => {
    assert.deepEqual(await page.eval(`(() => {
      try { TestNative.fail('disk 潮 full'); return 'no throw'; }
      catch (e) { return [e instanceof Error, e.message]; } })()`), [true, 'disk 潮 full']);
    await assert.rejects(page.eval("TestNative.make('error')"), /made to fail/);
    await assert.rejects(page.eval("TestNative.make('no such kind')"), /TestNative.make failed/);
  });

  test('a method receives exactly its declared number of arguments', async () => {
    assert.equal(await page.eval('TestNative.argumentKinds()'), '3:undefined,undefined,undefined');
    assert.equal(await page.eval("TestNative.argumentKinds(1, 'a', 2.5, 4, 5)"), '3:int,string,float');
  });

  test('properties are read-only and the object is sealed', async () => {
    assert.equal(await page.eval('TestNative.version'), '1.0');
    await assert.rejects(page.eval("'use strict'; TestNative.version = 'x'"), /TypeError/);
    await assert.rejects(page.eval("'use strict'; TestNative.echo = null"), /TypeError/);
    assert.equal(await page.eval("TestNative.version = 'x', TestNative.version"), '1.0');
    assert.equal(await page.eval('typeof TestNative.echo'), 'function');
  });

  test('the window interface answers Window.this.xcall', async () => {
    assert.equal(await page.eval("Window.this.xcall('sum', 2, 40)"), 42);
    assert.equal(await page.eval("Window.this.xcall('title')"), 'test window');
    await assert.rejects(page.eval("Window.this.xcall('nothing')"), /no method nothing/);
  });

  test('kept functions are counted and the last clear releases them', async () => {
    const runtime = 'globalThis[Symbol.for("tidewell.runtime")]';
    await page.waitFor(`${runtime}.keptFunctions() === 0`);
    await page.eval(`window.keptCalls = []; TestNative.keep((x) => window.keptCalls.push(x))`);
    await page.eval('TestNative.echo(() => 0)'); // given, not kept
    await page.waitFor(`${runtime}.keptFunctions() === 1`);
    assert.equal(await page.eval("TestNative.callKept('a')"), 1);
    await page.waitFor('window.keptCalls.length === 1');
    assert.deepEqual(await page.eval('window.keptCalls'), ['a']);
    await page.eval('TestNative.releaseKept()');
    await page.waitFor(`${runtime}.keptFunctions() === 0`);
    // Functions past the declared arguments never reach native code, so
    // nothing is left holding them.
    await page.eval('TestNative.echo(1, () => 0, () => 1), TestNative.releaseKept(() => 2)');
    await page.eval('new Promise((resolve) => setTimeout(resolve, 100))');
    assert.equal(await page.eval(`${runtime}.keptFunctions()`), 0);
  });

  test('10,000 calls from a worker thread arrive in order, none lost', async () => {
    const result = await page.eval(`new Promise((resolve) => {
      const got = [];
      TestNative.callFromThread((v) => {
        if (v === 'end') resolve({ count: got.length, ordered: got.every((x, i) => x === i) });
        else got.push(v);
      }, 10000);
    })`);
    assert.deepEqual(result, { count: 10000, ordered: true });
  });

  test('ES modules load with relative, absolute and extensionless URLs', async () => {
    assert.deepEqual(await page.eval('window.moduleResults'), { twice: 42, three: 3 });
  });

  test('every resource request goes to the host callback', async () => {
    const loaded = (await page.eval('TestNative.loaded()')).split('\n');
    for (const uri of ['this://app/index.html', 'this://app/js/main.js', 'this://app/js/Helper'])
      assert.ok(loaded.includes(uri), `${uri} in ${loaded}`);
    assert.ok(!loaded.some((u) => u.includes('@tidewell')));
    assert.match(app.stdout, /data loaded this:\/\/app\/index.html \d+/);
  });

  test('@env gives the user folders and the platform', async () => {
    const env = await page.eval(`({ appdata: env.path('appdata'), home: env.path('home'),
      desktop: env.path('desktop'), temp: env.path('temp'), platform: env.PLATFORM, unknown: env.path('nowhere') ?? 'none' })`);
    assert.equal(env.appdata, `${process.env.XDG_DATA_HOME}/`);
    assert.equal(env.home, process.env.HOME);
    assert.ok(env.desktop.length > 0 && env.temp.length > 0);
    assert.equal(env.platform, 'Linux');
    assert.equal(env.unknown, 'none');
  });

  test('@sys reads folders, makes folders and copies files', async () => {
    const base = path.join(root, 'sys');
    await mkdir(path.join(base, 'src', 'sub'), { recursive: true });
    await writeFile(path.join(base, 'src', 'a.txt'), 'hello');
    await writeFile(path.join(base, 'src', 'tool.sh'), '#!/bin/sh\n');
    await chmod(path.join(base, 'src', 'tool.sh'), 0o755);
    await symlink(path.join(base, 'src', 'sub'), path.join(base, 'src', 'link'));
    const result = await page.eval(`(() => {
      const fs = sys.fs;
      const base = ${JSON.stringify(base)};
      const listing = fs.sync.readdir(base + '/src');
      const st = fs.sync.stat(base + '/src/a.txt');
      const dirSt = fs.sync.stat(base + '\\\\src');
      fs.sync.mkdir(base + '/made/deep');
      fs.sync.mkdir(base + '/made/deep');
      fs.sync.copyfile(base + '/src/a.txt', base + '/made/deep/a.txt');
      fs.sync.copyfile(base + '/src/tool.sh', base + '/made/tool.sh');
      return {
        listing,
        dirBit: listing.find((e) => e.name === 'sub').type & fs.UV_DIRENT_DIR,
        fileBit: listing.find((e) => e.name === 'a.txt').type & fs.UV_DIRENT_FILE,
        size: st.st_size, isDirectory: st.isDirectory, dirIsDirectory: dirSt.isDirectory,
        mtime: typeof st.st_mtime, mode: st.st_mode & 0o170000,
        missing: fs.sync.stat(base + '/nothing'), noListing: fs.sync.readdir(base + '/nothing'),
      };
    })()`);
    assert.deepEqual(result.listing, [
      { name: 'a.txt', type: 1, size: 5 }, // a file's entry carries its size
      { name: 'link', type: 3 }, // a link to a folder is a link
      { name: 'sub', type: 2 },
      { name: 'tool.sh', type: 1, size: 10 },
    ]);
    assert.equal(result.dirBit, 2);
    assert.equal(result.fileBit, 1);
    assert.equal(result.size, 5);
    assert.equal(result.isDirectory, false);
    assert.equal(result.dirIsDirectory, true);
    assert.equal(result.mtime, 'number');
    assert.equal(result.mode, 0o100000);
    assert.equal(result.missing, null);
    assert.equal(result.noListing, null);
    assert.equal(await readFile(path.join(base, 'made', 'deep', 'a.txt'), 'utf8'), 'hello');
    assert.equal((await stat(path.join(base, 'made', 'tool.sh'))).mode & 0o777, 0o755);
  });

  test('copyfile replaces the destination and names the cause of a failure', async () => {
    const base = path.join(root, 'copy');
    await mkdir(base, { recursive: true });
    await writeFile(path.join(base, 'new.txt'), 'new content');
    await writeFile(path.join(base, 'old.txt'), 'old content that is longer');
    await page.eval(`sys.fs.sync.copyfile(${JSON.stringify(`${base}/new.txt`)}, ${JSON.stringify(`${base}/old.txt`)})`);
    assert.equal(await readFile(path.join(base, 'old.txt'), 'utf8'), 'new content');
    const failure = await page.eval(`(() => { try { sys.fs.sync.copyfile(${JSON.stringify(`${base}/absent.txt`)}, ${JSON.stringify(`${base}/x.txt`)}); }
      catch (e) { return [e instanceof Error, e.message]; } })()`);
    assert.equal(failure[0], true);
    assert.match(failure[1], /no such file: .*absent\.txt/);
    await assert.rejects(page.eval(`sys.fs.sync.copyfile(${JSON.stringify(`${base}/new.txt`)}, ${JSON.stringify(`${base}/no/folder/x.txt`)})`), /does not exist/);
    // A NUL would end the path at the kernel: out/old.txt is never the one written.
    await mkdir(path.join(base, 'out'));
    await writeFile(path.join(base, 'out', 'old.txt'), 'victim');
    const cut = JSON.stringify(`${base}/out\0/x/../old.txt`);
    await assert.rejects(page.eval(`sys.fs.sync.copyfile(${JSON.stringify(`${base}/new.txt`)}, ${cut})`), /NUL/);
    assert.equal(await page.eval(`sys.fs.sync.stat(${cut})`), null);
    assert.equal(await readFile(path.join(base, 'out', 'old.txt'), 'utf8'), 'victim');
  });
  test('rmdir removes an empty folder only; writefile replaces a link, never writes through it', async () => {
    const base = path.join(root, 'record');
    await mkdir(path.join(base, 'full'), { recursive: true });
    await mkdir(path.join(base, 'empty'));
    await writeFile(path.join(base, 'full', 'mine.txt'), 'mine');
    await writeFile(path.join(base, 'target.txt'), 'target');
    await symlink('empty', path.join(base, 'folder-link'));
    await symlink('target.txt', path.join(base, 'record.json'));
    const result = await page.eval(`(() => {
      const fs = sys.fs.sync;
      const base = ${JSON.stringify(base)};
      const removed = ['full', 'folder-link', 'empty', 'empty'].map((name) => fs.rmdir(base + '/' + name));
      const throughLink = fs.readfile(base + '/record.json');
      fs.writefile(base + '/record.json', '{"a":"é"}');
      return { removed, throughLink, text: fs.readfile(base + '/record.json'), missing: fs.readfile(base + '/none') };
    })()`);
    assert.deepEqual(result.removed, [false, false, true, false]);
    assert.deepEqual([result.throughLink, result.text, result.missing], [null, '{"a":"é"}', null]);
    assert.equal(await readFile(path.join(base, 'target.txt'), 'utf8'), 'target');
    assert.equal((await lstat(path.join(base, 'record.json'))).mode & 0o170777, 0o100600);
    assert.deepEqual((await readdir(base)).sort(), ['folder-link', 'full', 'record.json', 'target.txt']);
  });

  test('@sys keeps links as links, refuses what is no file and round-trips names that are not UTF-8', async () => {
    const base = path.join(root, 'edges');
    await mkdir(path.join(base, 'src', 'sub'), { recursive: true });
    await writeFile(path.join(base, 'src', 'lib.so.1'), 'library');
    await symlink('lib.so.1', path.join(base, 'src', 'lib.so'));
    await symlink('sub', path.join(base, 'src', 'folder-link'));
    await symlink('missing', path.join(base, 'src', 'dangling'));
    execFileSync('mkfifo', [path.join(base, 'src', 'pipe')]);
    // A Windows-1252 name, as unpacked from a zip made on Windows.
    const raw = Buffer.concat([Buffer.from(path.join(base, 'src') + '/caf'), Buffer.from([0xe9]), Buffer.from('.txt')]);
    writeFileSync(raw, 'bytes');
    await mkdir(path.join(base, 'out'));
    const started = Date.now();
    const result = await page.eval(`(() => {
      const fs = sys.fs;
      const base = ${JSON.stringify(base)};
      const names = fs.sync.readdir(base + '/src').map((e) => [e.name, e.type]);
      for (const name of ['lib.so', 'folder-link', 'dangling']) fs.sync.copyfile(base + '/src/' + name, base + '/out/' + name);
      const odd = names.find(([name]) => name.startsWith('caf'))[0];
      fs.sync.copyfile(base + '/src/' + odd, base + '/out/' + odd);
      const failure = (call) => { try { call(); return null; } catch (e) { return e.message; } };
      return {
        names,
        pipe: failure(() => fs.sync.copyfile(base + '/src/pipe', base + '/out/pipe')),
        ontoFolder: failure(() => fs.sync.copyfile(base + '/src/lib.so.1', base + '/src/sub')),
        real: fs.sync.realpath(base + '/src/folder-link/../folder-link'),
        oddSize: fs.sync.stat(base + '/out/' + odd).st_size,
      };
    })()`);
    assert.ok(Date.now() - started < 10000, 'nothing blocked on the FIFO');
    assert.deepEqual(result.names, [
      ['caf\uefe9.txt', 1], ['dangling', 3], ['folder-link', 3], ['lib.so', 3], ['lib.so.1', 1], ['pipe', 0], ['sub', 2],
    ]);
    assert.equal(await readlink(path.join(base, 'out', 'lib.so')), 'lib.so.1');
    assert.equal(await readlink(path.join(base, 'out', 'folder-link')), 'sub');
    assert.equal(await readlink(path.join(base, 'out', 'dangling')), 'missing');
    assert.match(result.pipe, /cannot copy .*pipe: it is not a regular file/);
    assert.match(result.ontoFolder, /cannot replace .*: the destination is a folder/);
    assert.equal(result.real, path.join(base, 'src', 'sub'));
    assert.equal(result.oddSize, 5);
    const copiedName = Buffer.concat([Buffer.from(path.join(base, 'out') + '/caf'), Buffer.from([0xe9]), Buffer.from('.txt')]);
    assert.equal(readFileSync(copiedName, 'utf8'), 'bytes');
  });
});

describe('a reload', () => {
  test('drops the old document\'s functions and never calls its successor with them', async (t) => {
    const app = await startHost();
    t.after(() => app.kill());
    let page = await app.page({ urlIncludes: 'index.html' });
    await page.waitFor('window.ready');
    await page.eval("TestNative.keep(() => { document.title = 'old document called'; })");
    await page.eval('location.reload()');
    await page.waitFor("window.ready && document.title === 'engine test'");
    // The first function of the new document gets the same handle number.
    await page.eval('window.calls = []; TestNative.keep((x) => window.calls.push(x))');
    assert.equal(await page.eval("TestNative.callKept('after reload')"), 2);
    await page.waitFor('window.calls.length === 1');
    await new Promise((resolve) => setTimeout(resolve, 300));
    assert.deepEqual(await page.eval('window.calls'), ['after reload']);
    assert.equal(await page.eval('document.title'), 'engine test');
    await closeMainWindow(page);
    assert.equal(await app.exit(15000), 0);
  });
});

describe('a delayed answer', () => {
  test('given later from another thread completes the request', async (t) => {
    const app = await startHost({ args: ['--delay', 'js/relative.js'] });
    t.after(() => app.kill());
    const page = await app.page({ urlIncludes: 'index.html' });
    await page.waitFor('window.ready');
    assert.deepEqual(await page.eval('window.moduleResults'), { twice: 42, three: 3 });
    await closeMainWindow(page);
    assert.equal(await app.exit(15000), 0);
  });
});

describe('global events', () => {
  // The test page and, in a second window, plain.html recording TEST_EVENT.
  async function startTwoWindows(t) {
    const app = await startHost({ args: ['--second', 'this://app/plain.html'] });
    t.after(() => app.kill());
    const main = await app.page({ urlIncludes: 'index.html' });
    const plain = await app.page({ urlIncludes: 'plain.html' });
    await main.waitFor('window.ready');
    await plain.waitFor('window.events');
    return { app, main, plain };
  }

  test('reach the subscribed pages of two windows, without data or target', async (t) => {
    const { app, main, plain } = await startTwoWindows(t);
    await main.eval("window.mainEvents = []; document.onGlobalEvent('TEST_EVENT', (e) => mainEvents.push(e.type))");
    await main.eval("document.onGlobalEvent('OTHER_EVENT', () => mainEvents.push('other'))");
    await main.eval("TestNative.fireFromThread('TEST_EVENT')");
    await plain.waitFor('window.events.length === 1');
    await main.waitFor('window.mainEvents.length === 1');
    assert.deepEqual(await plain.eval('window.events.map((e) => [e.type, e.data === undefined, e.target])'), [
      ['TEST_EVENT', true, null],
    ]);
    assert.deepEqual(await main.eval('window.mainEvents'), ['TEST_EVENT']);
    await closeMainWindow(main);
    assert.equal(await app.exit(15000), 0);
  });

  test('a page posts one to every window with its data; native names stay native', async (t) => {
    const { app, main, plain } = await startTwoWindows(t);
    await plain.eval("window.posted = []; document.onGlobalEvent('PAGE_EVENT', (e) => posted.push(e.data))");
    await plain.eval("window.forged = 0; document.onGlobalEvent('NATIVE_EXIT_APP', () => forged++)");
    await main.eval("window.posted = []; document.onGlobalEvent('PAGE_EVENT', (e) => posted.push(e.data))");
    await main.eval("Window.post(new CustomEvent('PAGE_EVENT', { detail: { n: 2, s: 'é' } })), true");
    await main.eval("Window.post(new Event('PAGE_EVENT')), true");
    await plain.waitFor('window.posted.length === 2');
    await main.waitFor('window.posted.length === 2');
    for (const page of [main, plain]) {
      assert.deepEqual(await page.eval('window.posted.map((d) => d === undefined ? "none" : d)'), [{ n: 2, s: 'é' }, 'none']);
    }
    await assert.rejects(main.eval("Window.post(new Event('NATIVE_EXIT_APP'))"), /cannot post/);
    await assert.rejects(main.eval("Window.post('PAGE_EVENT')"), /needs an Event/);
    await main.eval("Window.post(new Event('PAGE_EVENT')), true");
    await plain.waitFor('window.posted.length === 3'); // after anything posted before it
    assert.equal(await plain.eval('window.forged'), 0, 'no native event was forged');

    // A page hides and shows its own window.
    assert.equal(await plain.eval('Window.this.state'), await plain.eval('Window.WINDOW_SHOWN'));
    await plain.eval('Window.this.state = Window.WINDOW_HIDDEN');
    assert.equal(await plain.eval('Window.this.state'), 4);
    await plain.eval('Window.this.state = Window.WINDOW_SHOWN');
    assert.equal(await plain.eval('Window.this.state'), 2);
    await assert.rejects(plain.eval('Window.this.state = 9'), /no such window state/);
    await closeMainWindow(main);
    assert.equal(await app.exit(15000), 0);
  });
});

describe('script runtime features', () => {
  test('without file access, system information and eval the facilities refuse', async (t) => {
    const app = await startHost({ start: 'this://app/nofeatures.html', args: ['--features', '0'] });
    t.after(() => app.kill());
    const page = await app.page({ urlIncludes: 'nofeatures.html' });
    await page.waitFor('window.ready');
    await assert.rejects(page.eval("sys.fs.sync.readdir('/')"), /file access is not allowed/);
    assert.equal(await page.eval("env.path('appdata') === undefined && env.PLATFORM === undefined"), true);
    assert.equal(await page.eval('window.evalResult'), 'EvalError');
    assert.equal(await page.eval("fetch('http://127.0.0.1:9/').then(() => 'fetched', () => 'refused')"), 'refused');
    assert.equal(await page.eval('TestNative.version'), '1.0');
    assert.equal(await page.eval("new Promise((r) => TestNative.callFromThread((v) => v === 'end' && r('called'), 3))"), 'called');
    await closeMainWindow(page);
    assert.equal(await app.exit(15000), 0);
  });
});
