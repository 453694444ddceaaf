// The page runtime of program documents (origin this://app): native
// objects, Window.this, document.onGlobalEvent and the @sys/@env modules,
// all over a synchronous window.prompt bridge carrying a per-run token.
(() => {
  'use strict';
  if (location.origin !== 'this://app') return;
  const KEY = Symbol.for('tidewell.runtime');
  if (globalThis[KEY]) return;

  const MARKER = '\u0001tidewell-bridge:@@TOKEN@@';
  const prompt = window.prompt.bind(window);
  const { parse, stringify } = JSON;
  const kept = new Map();
  let nextHandle = 1;

  // Chromium cuts prompt texts at 10 KiB: longer messages go in parts, each
  // but the last marked \u0002, the last \u0003, never splitting a surrogate
  // pair. A message in one piece is unmarked.
  const PART = 8192;
  function raw(message) {
    let text = stringify(message);
    let last = '';
    while (text.length > PART) {
      let end = PART;
      const unit = text.charCodeAt(end - 1);
      if (unit >= 0xd800 && unit <= 0xdbff) end -= 1;
      if (prompt('\u0002' + text.slice(0, end), MARKER) === null)
        throw new Error('the native bridge refused the call');
      text = text.slice(end);
      last = '\u0003';
    }
    const reply = prompt(last + text, MARKER);
    if (reply === null || reply === undefined) throw new Error('the native bridge refused the call');
    return parse(reply)[0];
  }

  const info = (() => {
    try {
      return raw({ k: 'init', href: location.href });
    } catch (e) {
      return null;
    }
  })();
  if (!info) return;
  const documentId = info.doc;

  function encode(v, depth = 0) {
    switch (typeof v) {
      case 'string':
      case 'boolean':
        return v;
      case 'number':
        return Number.isInteger(v) && v >= -2147483648 && v <= 2147483647 && !Object.is(v, -0)
          ? v
          : { f: Number.isFinite(v) ? v : String(v) };
      case 'undefined':
        return { u: 1 };
      case 'bigint':
        return { f: Number(v) };
      case 'symbol':
        return v.description ?? '';
      case 'function': {
        const handle = nextHandle++;
        kept.set(handle, v);
        return { fn: handle };
      }
    }
    if (v === null) return null;
    if (depth > 64) throw new Error('value nested too deeply for a native call');
    if (Array.isArray(v)) return { a: v.map((x) => encode(x, depth + 1)) };
    return { m: Object.keys(v).map((k) => [k, encode(v[k], depth + 1)]) };
  }

  function decode(w) {
    if (w === null || typeof w !== 'object') return w;
    if ('u' in w) return undefined;
    if ('f' in w) return Number(w.f);
    if ('e' in w) return w.e;
    if ('a' in w) return w.a.map(decode);
    if ('m' in w) {
      const o = {};
      for (const [k, x] of w.m) o[k] = decode(x);
      return o;
    }
    if ('fn' in w) return w.d === documentId ? kept.get(w.fn) : undefined;
    return undefined;
  }

  // A native error value is thrown as an Error with its message.
  function send(message) {
    const w = raw(message);
    if (w !== null && typeof w === 'object' && 'e' in w) throw new Error(w.e);
    return decode(w);
  }

  const define = (target, name, value) =>
    Object.defineProperty(target, name, { value, writable: false, enumerable: false, configurable: false });

  // Native objects: each method a synchronous function, each property a getter.
  info.globals.forEach((g, gi) => {
    const object = {};
    g.m.forEach(([name, count], mi) => {
      const method = {
        // Only the declared arguments go: a function among the others would
        // stay registered with nothing native ever holding it.
        [name](...args) {
          return send({ k: 'call', g: gi, i: mi, a: args.slice(0, count).map((x) => encode(x)) });
        },
      }[name];
      Object.defineProperty(object, name, { value: method, writable: false, enumerable: true, configurable: false });
    });
    g.p.forEach(([name, writable], pi) => {
      Object.defineProperty(object, name, {
        get: () => send({ k: 'get', g: gi, i: pi }),
        set: writable ? (v) => send({ k: 'set', g: gi, i: pi, v: encode(v) }) : undefined,
        enumerable: true,
        configurable: false,
      });
    });
    if (!g.ext) Object.freeze(object);
    define(globalThis, g.n, object);
  });

  const windowOp = (op, ...a) => send({ k: 'win', op, a: a.map((x) => encode(x)) });
  const windowObject = {
    close() {
      windowOp('close');
    },
    box(part = 'xywh', edge = 'border', relativeTo = 'screen') {
      return windowOp('box', String(part), String(edge), String(relativeTo));
    },
    modal(params = {}) {
      const options = { ...params };
      if (options.url !== undefined) options.url = new URL(String(options.url), location.href).href;
      windowOp('modal', options);
    },
    selectFolder(params = {}) {
      return windowOp('selectFolder', String(params.caption ?? ''), String(params.path ?? ''));
    },
    xcall(name, ...args) {
      return send({ k: 'xcall', n: String(name), a: args.map((x) => encode(x)) });
    },
    get frameType() {
      return windowOp('frameType');
    },
    get isResizable() {
      return windowOp('isResizable');
    },
    get caption() {
      return windowOp('caption');
    },
    // One of the Window.WINDOW_* states; setting it shows, hides, minimises.
    get state() {
      return windowOp('state');
    },
    set state(value) {
      windowOp('setState', Number(value));
    },
  };
  define(Window, 'this', Object.freeze(windowObject));
  for (const [name, value] of Object.entries({
    WINDOW_MINIMIZED: 1,
    WINDOW_SHOWN: 2,
    WINDOW_MAXIMIZED: 3,
    WINDOW_HIDDEN: 4,
    WINDOW_FULL_SCREEN: 5,
  }))
    define(Window, name, value);
  // Posts an event to every window of the program, this one included: the
  // handlers from document.onGlobalEvent get the event's detail as their
  // event.data. The names of native events are reserved for native code.
  define(Window, 'post', (event) => {
    if (!(event instanceof Event)) throw new TypeError('Window.post needs an Event');
    send({ k: 'post', n: event.type, d: encode(event.detail) });
  });

  // Global events: every subscribed handler of every program document.
  const subscriptions = new Map();
  define(document, 'onGlobalEvent', (name, handler) => {
    if (typeof handler !== 'function') throw new TypeError('onGlobalEvent needs a handler function');
    const key = String(name);
    if (!subscriptions.has(key)) subscriptions.set(key, []);
    subscriptions.get(key).push(handler);
  });
  define(document, 'offGlobalEvent', (nameOrHandler) => {
    for (const [key, handlers] of subscriptions) {
      if (key === nameOrHandler) subscriptions.delete(key);
      else subscriptions.set(key, handlers.filter((h) => h !== nameOrHandler));
    }
  });

  const report = (error) => console.error(error instanceof Error ? error.stack : String(error));
  function globalEvent(name, data) {
    const handlers = subscriptions.get(name);
    if (!handlers) return;
    const event = new Event(name);
    Object.defineProperty(event, 'data', { value: decode(data), enumerable: true });
    for (const handler of [...handlers]) {
      try {
        handler.call(document, event);
      } catch (e) {
        report(e);
      }
    }
  }

  // True once the items have run: the engine's sign that the calls are done.
  function deliver(doc, items) {
    if (doc !== documentId) return false;
    for (const item of items) {
      if (item[0] === 'i') {
        const fn = kept.get(item[1]);
        if (!fn) continue;
        try {
          fn.apply(undefined, item[2].map(decode));
        } catch (e) {
          report(e);
        }
      } else if (item[0] === 'r') {
        kept.delete(item[1]);
      } else if (item[0] === 'g') {
        globalEvent(item[1], item[2]);
      }
    }
    return true;
  }

  const sysOp = (op) => (...a) => send({ k: 'sys', op, a: a.map((x) => encode(x)) });
  const envOp = (op) => (...a) => send({ k: 'env', op, a: a.map((x) => encode(x)) });
  const runtime = {
    deliver,
    keptFunctions: () => kept.size,
    sys: Object.freeze({
      fs: Object.freeze({
        sync: Object.freeze({
          readdir: sysOp('readdir'),
          stat: sysOp('stat'),
          mkdir: sysOp('mkdir'),
          copyfile: sysOp('copyfile'),
          realpath: sysOp('realpath'),
          statfs: sysOp('statfs'),
          rmdir: sysOp('rmdir'),
          readfile: sysOp('readfile'),
          writefile: sysOp('writefile'),
        }),
        UV_DIRENT_UNKNOWN: 0,
        UV_DIRENT_FILE: 1,
        UV_DIRENT_DIR: 2,
        UV_DIRENT_LINK: 3,
      }),
    }),
    env: Object.freeze({ path: envOp('path'), platform: envOp('platform') }),
  };
  define(globalThis, KEY, Object.freeze(runtime));

  // The root element's window attributes, as soon as the element exists.
  let attributesSent = false;
  function sendAttributes() {
    const root = document.documentElement;
    if (attributesSent || !root) return;
    attributesSent = true;
    const a = (name) => root.getAttribute(name);
    const icon = a('window-icon');
    windowOp('attributes', {
      width: a('window-width'),
      height: a('window-height'),
      resizable: a('window-resizable'),
      frame: a('window-frame'),
      icon: icon ? new URL(icon, location.href).href : null,
      lang: a('lang'),
    });
  }
  // In a transparent frame the root element's own background is what lies
  // outside the page's content: the body's background must not spread to
  // the whole canvas, as browsers let it. A background image on the root,
  // even a transparent one, keeps it where it is.
  function keepBodyBackgroundInside() {
    const root = document.documentElement;
    if (!root || (root.getAttribute('window-frame') ?? '').trim().toLowerCase() !== 'transparent') return;
    const style = getComputedStyle(root);
    if (style.backgroundImage !== 'none' || style.backgroundColor !== 'rgba(0, 0, 0, 0)') return;
    const sheet = new CSSStyleSheet();
    sheet.replaceSync('html { background-image: linear-gradient(transparent, transparent); }');
    document.adoptedStyleSheets = [...document.adoptedStyleSheets, sheet];
  }
  document.addEventListener('DOMContentLoaded', keepBodyBackgroundInside);

  if (document.documentElement) sendAttributes();
  else {
    const observer = new MutationObserver(() => {
      if (!document.documentElement) return;
      observer.disconnect();
      sendAttributes();
    });
    observer.observe(document, { childList: true });
  }
  document.addEventListener('DOMContentLoaded', sendAttributes);
  // The window follows a language or title a script sets at once, not only
  // when the browser reports the title.
  let sentLang = null;
  let sentTitle = '';
  new MutationObserver(() => {
    const root = document.documentElement;
    if (!attributesSent || !root) return;
    const lang = root.getAttribute('lang');
    const title = document.title;
    if (lang === sentLang && (title === sentTitle || !title)) return;
    sentLang = lang;
    sentTitle = title || sentTitle;
    windowOp('attributes', { lang, title: sentTitle || null });
  }).observe(document, { subtree: true, childList: true, characterData: true, attributes: true, attributeFilter: ['lang'] });

  // A user's click on a web link opens it in the user's browser: the window
  // itself never leaves the program. Page handlers run first and may keep it.
  window.addEventListener('click', (e) => {
    if (e.defaultPrevented || !e.isTrusted || e.button !== 0 || !(e.target instanceof Element)) return;
    const link = e.target.closest('a[href]');
    if (!link) return;
    const url = new URL(link.getAttribute('href'), location.href);
    if (url.protocol !== 'http:' && url.protocol !== 'https:') return;
    e.preventDefault();
    windowOp('openLink', url.href);
  });

  // An element with role="window-caption" drags the window, except from the
  // controls inside it.
  const CONTROLS = 'button,input,select,textarea,a[href],label,[role^="window-"]:not([role="window-caption"])';
  document.addEventListener(
    'pointerdown',
    (e) => {
      if (e.button !== 0 || !e.isPrimary || !(e.target instanceof Element)) return;
      const caption = e.target.closest('[role="window-caption"]');
      if (!caption) return;
      const control = e.target.closest(CONTROLS);
      if (control && caption.contains(control)) return;
      if (windowOp('drag') === 'system') return;
      const [x0, y0] = windowObject.box('position', 'border', 'screen');
      const sx = e.screenX;
      const sy = e.screenY;
      caption.setPointerCapture(e.pointerId);
      const move = (m) => windowOp('move', x0 + m.screenX - sx, y0 + m.screenY - sy);
      const end = () => {
        caption.removeEventListener('pointermove', move);
        caption.removeEventListener('pointerup', end);
        caption.removeEventListener('pointercancel', end);
      };
      caption.addEventListener('pointermove', move);
      caption.addEventListener('pointerup', end);
      caption.addEventListener('pointercancel', end);
    },
    true,
  );
})();
