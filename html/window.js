// The window page's only script. The module owns every page: this script writes the
// frame documents it receives, applies the module's patches, and forwards the user's
// events (with the state of the frame's form controls) to the module. It decides
// nothing itself.
'use strict';
(() => {
  const bytes = new Uint8Array(16);
  crypto.getRandomValues(bytes);
  const pageId = Array.from(bytes, (b) => b.toString(16).padStart(2, '0')).join('');
  const dialogs = new Map();  // open dialogs by id
  let followNext = null;      // an element whose own action the module allowed
  let completed = false;
  let closed = false;
  let sending = Promise.resolve();

  const $ = (id) => document.getElementById(id);

  // ---- Sending to the module ------------------------------------------------------------

  function post(path, body) {
    // One request at a time, so the module receives the events in their order.
    const next = sending.then(() => fetch(path, {
      method: 'POST',
      headers: { 'Content-Type': 'application/json' },
      body: JSON.stringify(body),
      credentials: 'same-origin',
      cache: 'no-store',
    })).catch(() => null);
    sending = next;
    return next;
  }

  // Password fields travel only with clicks (the button that uses them), never with keys.
  function controlsOf(doc, passwords) {
    const out = [];
    if (!doc) return out;
    for (const el of doc.querySelectorAll('input[id], select[id], textarea[id]')) {
      const state = { id: el.id };
      const tag = el.tagName.toLowerCase();
      if (tag === 'select') {
        state.selected = Array.from(el.options).flatMap((o, i) => (o.selected ? [i] : []));
      } else if (el.type === 'checkbox' || el.type === 'radio') {
        state.checked = el.checked;
      } else if (el.type !== 'file' && (el.type !== 'password' || passwords)) {
        state.value = el.value;
      }
      out.push(state);
    }
    return out;
  }

  function send(frame, doc, kind, e) {
    if (closed) return;
    let el = e && e.target;
    if (el && el.nodeType !== 1) el = el.parentElement;
    // The window's own dialogs are not the module's page.
    if (frame === 'window' && el && el.closest && el.closest('#dialogs, #closed')) return;
    const body = { page: pageId, frame, kind, id: '', tag: '', type: '', form: '' };
    if (el && el.tagName) {
      body.id = el.id || '';
      body.tag = el.tagName.toLowerCase();
      body.type = typeof el.type === 'string' ? el.type : (el.getAttribute('type') || '');
      body.form = el.form && el.form.id ? el.form.id : '';
    }
    if (e && 'key' in e) {
      body.key = e.key || '';
      body.ctrl = !!e.ctrlKey;
      body.alt = !!e.altKey;
      body.shift = !!e.shiftKey;
    }
    if (kind === 'error' && e) body.message = String(e.message || '');
    body.controls = controlsOf(doc, kind === 'click');
    post('/event', body);
  }

  function isReload(e) {
    return e.key === 'F5' || ((e.ctrlKey || e.metaKey) && (e.key === 'r' || e.key === 'R'));
  }

  // Keys whose browser action the window replaces: a reload, and F1 (the module's help
  // rather than the browser's).
  function isWindowKey(e) {
    return isReload(e) || e.key === 'F1';
  }

  // A click's own action (following a link, submitting) waits for the module's word.
  function cancelsDefault(el) {
    if (!el || !el.closest) return false;
    if (el.closest('a, area')) return true;
    const tag = el.tagName.toLowerCase();
    if (tag === 'button') return true;
    return tag === 'input' && ['submit', 'image', 'reset'].includes(el.type);
  }

  function hook(frame, doc, win) {
    doc.addEventListener('click', (e) => {
      let el = e.target;
      if (el && el.nodeType !== 1) el = el.parentElement;
      if (followNext && el === followNext) {
        followNext = null;
        return;
      }
      if (cancelsDefault(el)) e.preventDefault();
      send(frame, doc, 'click', e);
    }, true);
    doc.addEventListener('contextmenu', (e) => {
      e.preventDefault();
      send(frame, doc, 'contextmenu', e);
    }, true);
    doc.addEventListener('keydown', (e) => {
      if (isWindowKey(e)) e.preventDefault();
      send(frame, doc, 'keydown', e);
    }, true);
    doc.addEventListener('keyup', (e) => send(frame, doc, 'keyup', e), true);
    doc.addEventListener('change', (e) => send(frame, doc, 'change', e), true);
    doc.addEventListener('input', (e) => send(frame, doc, 'input', e), true);
    doc.addEventListener('submit', (e) => e.preventDefault(), true);
    if (win) {
      win.addEventListener('error', (e) => {
        e.preventDefault();
        send(frame, doc, 'error', e);
      });
    }
  }

  // ---- Frames -----------------------------------------------------------------------------

  function frameElement(name) {
    for (const f of $('frameset').querySelectorAll('iframe')) {
      if (f.name === name) return f;
    }
    return null;
  }

  function ensureFrames(names) {
    const set = $('frameset');
    const have = Array.from(set.querySelectorAll('iframe'), (f) => f.name);
    if (have.join(',') === names.join(',')) return;
    set.textContent = '';
    for (const name of names) {
      const f = document.createElement('iframe');
      f.name = name;
      f.id = name;
      f.title = name;
      set.appendChild(f);
    }
  }

  function writeFrame(name, html) {
    const f = frameElement(name);
    if (!f) return;
    const doc = f.contentDocument;
    doc.open();
    doc.write(html);
    doc.close();
    // Writing a document drops its listeners: hook it again.
    hook(name, doc, f.contentWindow);
  }

  function docOf(frame) {
    if (frame === 'window') return document;
    const f = frameElement(frame);
    return f ? f.contentDocument : null;
  }

  function targetOf(doc, target) {
    if (!doc) return null;
    if (target === '!body') return doc.body;
    return doc.getElementById(target);
  }

  function applyPatch(p) {
    if (p.kind === 'document') {
      if (p.frame !== 'window') writeFrame(p.frame, p.value);
      return;
    }
    const el = targetOf(docOf(p.frame), p.target);
    if (!el) return;
    switch (p.kind) {
      case 'html': el.innerHTML = p.value; break;
      case 'attr': el.setAttribute(p.name, p.value); break;
      case 'rmattr': el.removeAttribute(p.name); break;
      case 'width': el.style.width = p.value; break;
      case 'value': el.value = p.value; break;
      case 'checked': el.checked = p.value === '1'; break;
      case 'selected': {
        const chosen = p.value === '' ? [] : p.value.split(',').map(Number);
        Array.from(el.options || []).forEach((o, i) => { o.selected = chosen.includes(i); });
        break;
      }
      default: break;
    }
    if (p.frame === 'window') {
      layout();
      applyFont();
    }
  }

  // ---- The window page's own elements -----------------------------------------------------

  function applyWindow(items) {
    for (const item of items) {
      const el = $(item.id);
      if (!el) continue;
      if (!('hidden' in item.attrs)) el.removeAttribute('hidden');
      for (const [k, v] of Object.entries(item.attrs)) {
        if (k === 'id' || k === 'data-keep' || k.startsWith('on')) continue;
        el.setAttribute(k, v);
      }
      if (typeof item.html === 'string') el.innerHTML = item.html;
    }
    layout();
    applyFont();
  }

  // The host's font for the window's own controls (menu bar, dialogs), and its reading
  // order, as the module put them on the "hostfont" element.
  function applyFont() {
    const font = $('hostfont');
    if (!font) return;
    const style = document.body.style;
    if (font.dataset.family) style.setProperty('--host-font-family', font.dataset.family);
    if (font.dataset.size) style.setProperty('--host-font-size', font.dataset.size);
    document.body.dir = font.dataset.dir === 'rtl' ? 'rtl' : 'ltr';
  }

  // ---- Where the window is ------------------------------------------------------------------

  // The module keeps the window's place and size for the next time; the page tells it
  // when they changed (a move fires no event, so they are looked at now and then).
  let lastGeometry = '';
  function reportGeometry() {
    if (closed || !completed) return;
    const g = {
      left: window.screenX, top: window.screenY,
      width: window.outerWidth, height: window.outerHeight,
      screenWidth: screen.availWidth, screenHeight: screen.availHeight,
    };
    g.maximized = g.width >= g.screenWidth && g.height >= g.screenHeight;
    const text = JSON.stringify(g);
    if (text === lastGeometry || !g.width || !g.height) return;
    lastGeometry = text;
    post('/event', { page: pageId, frame: 'window', kind: 'geometry', ...g });
  }

  function rowsTemplate(rows) {
    return rows.split(',').map((r) => {
      const t = r.trim();
      if (t === '*' || t === '') return 'minmax(0, 1fr)';
      if (t.endsWith('*')) return `minmax(0, ${Number(t.slice(0, -1)) || 1}fr)`;
      if (t.endsWith('%')) return t;
      return `${Number(t) || 0}px`;
    }).join(' ');
  }

  function layout() {
    const set = $('frameset');
    const rows = set.getAttribute('rows');
    if (rows) set.style.gridTemplateRows = rowsTemplate(rows);
    const panel = $('panel');
    const shown = !panel.hasAttribute('hidden');
    $('browser1').hidden = shown;
    const address = panel.getAttribute('data-address') || '';
    const frame = $('panelframe');
    if (shown && /^https?:/i.test(address) && frame.getAttribute('src') !== address) {
      frame.setAttribute('src', address);
    }
  }

  // ---- Dialogs ------------------------------------------------------------------------------

  const ICONS = { information: 'i', exclamation: '!', critical: '\u00d7', question: '?' };
  const LABELS = { ok: 'OK', cancel: 'Cancel', yes: 'Yes', no: 'No' };

  function make(tag, cls, text) {
    const el = document.createElement(tag);
    if (cls) el.className = cls;
    if (text !== undefined) el.textContent = text;
    return el;
  }

  function answer(spec, button, text, secret) {
    return post('/answer', { page: pageId, dialog: spec.id, button, text: text || '',
                             secret: secret || '' });
  }

  // The password and dealer dialogs: their fields carry no id, so no event of the page
  // ever reports them; a password field is never read but for the answer itself.
  function labelled(text, input) {
    const label = make('label', 'dialog-field');
    label.appendChild(make('span', '', text || ''));
    label.appendChild(input);
    return label;
  }

  function credentialsForm(spec, col) {
    const labels = spec.labels || {};
    const pw = make('input', 'dialog-input');
    pw.type = 'password';
    pw.autocomplete = 'off';
    if (spec.kind === 'password') {
      col.appendChild(make('div', 'dialog-text', spec.text));
      col.appendChild(pw);
      return { text: () => '', secret: () => pw.value };
    }
    const frame = make('fieldset', 'dialog-frame');
    frame.appendChild(make('legend', '', labels.frame || ''));
    frame.appendChild(make('div', 'dialog-text', spec.text));
    const email = make('input', 'dialog-input');
    email.type = 'text';
    email.autocomplete = 'off';
    email.value = spec.value || '';
    frame.appendChild(labelled(labels.email, email));
    frame.appendChild(labelled(labels.password, pw));
    const forgot = make('div', 'dialog-forgot');
    forgot.appendChild(make('span', '', `${labels.forgot || ''} `));
    const link = make('a', 'dialog-link', labels.link || '');
    link.href = '#';
    link.title = labels.tip || '';
    link.addEventListener('click', (e) => {
      e.preventDefault();
      e.stopPropagation();
      if (spec.link) post('/answer', { page: pageId, dialog: spec.id, button: 'link' });
    });
    forgot.appendChild(link);
    frame.appendChild(forgot);
    col.appendChild(frame);
    return { text: () => email.value, secret: () => pw.value };
  }

  function closeDialog(id) {
    const d = dialogs.get(id);
    if (!d) return;
    d.remove();
    dialogs.delete(id);
  }

  function showDialog(spec) {
    if (dialogs.has(spec.id)) return;
    const backdrop = make('div', 'dialog-backdrop');
    backdrop.dataset.dialog = String(spec.id);
    const box = make('div', 'dialog');
    box.setAttribute('role', 'dialog');
    box.setAttribute('aria-modal', 'true');
    box.dataset.kind = spec.kind;
    const title = make('div', 'dialog-title');
    title.appendChild(make('span', '', spec.title || 'LarkEDI'));
    const x = make('button', 'dialog-close', '\u00d7');
    x.title = 'Close';
    x.dataset.button = 'close';
    title.appendChild(x);
    box.appendChild(title);
    const body = make('div', 'dialog-body');
    const buttons = make('div', 'dialog-buttons');
    let readText = () => '';
    let readSecret = () => '';
    let picker = null;
    if (spec.kind === 'password' || spec.kind === 'dealer') {
      const col = make('div', '');
      const form = credentialsForm(spec, col);
      readText = form.text;
      readSecret = form.secret;
      body.appendChild(col);
    } else if (spec.kind === 'msgbox' || spec.kind === 'input') {
      if (spec.icon) body.appendChild(make('div', `dialog-icon icon-${spec.icon}`, ICONS[spec.icon] || ''));
      const col = make('div', '');
      col.appendChild(make('div', 'dialog-text', spec.text));
      if (spec.kind === 'input') {
        const input = make('input', 'dialog-input');
        input.type = 'text';
        input.value = spec.value || '';
        col.appendChild(input);
        readText = () => input.value;
      }
      body.appendChild(col);
    } else {
      picker = buildPicker(spec, body);
      readText = () => picker.value();
    }
    box.appendChild(body);
    spec.buttons.forEach((b, i) => {
      const button = make('button', '', (spec.labels && spec.labels[b]) || LABELS[b] || b);
      button.dataset.button = b;
      if (i === spec.default) button.classList.add('default');
      buttons.appendChild(button);
    });
    box.appendChild(buttons);
    backdrop.appendChild(box);
    $('dialogs').appendChild(backdrop);
    dialogs.set(spec.id, backdrop);

    const choose = async (b) => {
      const keep = b !== 'close' && b !== 'cancel';
      const res = await answer(spec, keep ? b : 'cancel', keep ? readText() : '',
                               keep ? readSecret() : '');
      if (res && res.ok) {
        closeDialog(spec.id);
      } else if (picker) {
        picker.error(spec.kind === 'folder' ? 'Choose a folder.' : 'Choose a file.');
      }
    };
    box.addEventListener('click', (e) => {
      const b = e.target.closest('button[data-button]');
      if (b) choose(b.dataset.button);
    });
    box.addEventListener('keydown', (e) => {
      if (e.key === 'Escape') {
        e.preventDefault();
        choose('close');
      } else if (e.key === 'Enter' && !(e.target.tagName === 'BUTTON')) {
        e.preventDefault();
        choose(spec.buttons[spec.default] || spec.buttons[0]);
      }
    });
    const empty = spec.kind === 'dealer' && (spec.value || '') !== '' ? 'input[type="password"]' : 'input';
    const focus = box.querySelector(empty) || buttons.children[spec.default] || buttons.firstChild;
    if (focus) focus.focus();
  }

  function buildPicker(spec, body) {
    const wrap = make('div', 'picker');
    const where = make('input', 'picker-path');
    where.type = 'text';
    const list = make('div', 'picker-list');
    const filters = make('select', 'picker-filter');
    const error = make('div', 'picker-error');
    const parts = (spec.filter || '').split('|');
    for (let i = 0; i + 1 < parts.length; i += 2) {
      const o = make('option', '', parts[i]);
      o.value = parts[i + 1];
      filters.appendChild(o);
    }
    wrap.appendChild(make('div', 'dialog-text', spec.text || ''));
    wrap.appendChild(where);
    wrap.appendChild(list);
    if (spec.kind === 'file' && filters.options.length) wrap.appendChild(filters);
    wrap.appendChild(error);
    body.appendChild(wrap);
    let folder = spec.folder || '/';
    let chosen = '';

    async function open(path) {
      const q = new URLSearchParams({ path, files: spec.kind === 'file' ? '1' : '0',
                                      filter: (filters.value || '').replace(/,/g, ';') });
      let res = null;
      try { res = await fetch(`/fs?${q}`, { credentials: 'same-origin', cache: 'no-store' }); } catch (e) { res = null; }
      if (!res || !res.ok) {
        error.textContent = `${path}: cannot be opened.`;
        return;
      }
      const data = await res.json();
      folder = data.path;
      chosen = spec.kind === 'folder' ? folder : '';
      where.value = folder;
      error.textContent = '';
      list.textContent = '';
      const up = make('div', 'folder', '..');
      up.dataset.path = data.parent;
      list.appendChild(up);
      for (const name of data.folders) {
        const d = make('div', 'folder', name);
        d.dataset.path = `${folder === '/' ? '' : folder}/${name}`;
        list.appendChild(d);
      }
      for (const name of data.files) {
        const f = make('div', 'file', name);
        f.dataset.file = `${folder === '/' ? '' : folder}/${name}`;
        list.appendChild(f);
      }
    }
    list.addEventListener('click', (e) => {
      const item = e.target.closest('div[data-path], div[data-file]');
      if (!item) return;
      list.querySelectorAll('.selected').forEach((s) => s.classList.remove('selected'));
      item.classList.add('selected');
      chosen = item.dataset.file || item.dataset.path;
      where.value = chosen;
    });
    list.addEventListener('dblclick', (e) => {
      const item = e.target.closest('div[data-path]');
      if (item) open(item.dataset.path);
    });
    where.addEventListener('keydown', (e) => {
      if (e.key === 'Enter' && spec.kind === 'folder') {
        e.stopPropagation();
        e.preventDefault();
        open(where.value);
      }
    });
    filters.addEventListener('change', () => open(folder));
    open(folder);
    return {
      value: () => where.value || chosen,
      error: (t) => { error.textContent = t; },
    };
  }

  // ---- The event stream -----------------------------------------------------------------------

  function handle(msg) {
    switch (msg.op) {
      case 'state': {
        ensureFrames(msg.frames.map((f) => f.name));
        for (const f of msg.frames) writeFrame(f.name, f.html);
        applyWindow(msg.window);
        for (const id of Array.from(dialogs.keys())) closeDialog(id);
        for (const spec of msg.dialogs) showDialog(spec);
        if (msg.closed) showClosed();
        if (!completed) {
          completed = true;
          send('window', document, 'complete', null);
          reportGeometry();
        }
        break;
      }
      case 'patch': applyPatch(msg); break;
      case 'follow': {
        const el = targetOf(docOf(msg.frame), msg.target);
        // Only an action the page held back is run now; a check box already changed.
        if (el && cancelsDefault(el)) {
          followNext = el;
          el.click();
          followNext = null;
        }
        break;
      }
      case 'dialog': showDialog(msg.dialog); break;
      case 'dialog-close': closeDialog(msg.id); break;
      case 'print': $('printframe').setAttribute('src', msg.url); break;
      case 'open': window.open(msg.url, 'larkedi-help'); break;
      case 'focus': {
        window.focus();
        const d = document.querySelector('#dialogs .dialog button.default, #dialogs .dialog input');
        if (d) d.focus();
        break;
      }
      case 'close': showClosed(); break;
      default: break;
    }
  }

  function showClosed() {
    closed = true;
    $('closed').hidden = false;
    if (source) source.close();
    window.close();
  }

  hook('window', document, null);
  window.addEventListener('error', (e) => {
    e.preventDefault();
    send('window', document, 'error', e);
  });
  window.addEventListener('resize', reportGeometry);
  setInterval(reportGeometry, 2000);
  document.documentElement.dataset.page = pageId;
  const source = new EventSource(`/events?page=${pageId}`);
  source.onmessage = (e) => {
    let msg = null;
    try { msg = JSON.parse(e.data); } catch (err) { msg = null; }
    if (msg) handle(msg);
  };
})();
