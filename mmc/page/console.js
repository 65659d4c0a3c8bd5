// Draws the windows the console host holds and sends back clicks and typing. Nothing of the
// console's behaviour lives here: every change comes back from the host as a new picture.
'use strict';
(() => {
  const X = 1.5;    // pixels per horizontal dialog unit
  const Y = 1.625;  // pixels per vertical dialog unit
  const TITLE = 18;
  const base = location.pathname.endsWith('/') ? location.pathname : location.pathname + '/';
  const desktop = document.getElementById('desktop');
  const statusLine = document.getElementById('status');
  const frames = new Map();  // window handle -> { el, key }
  const placed = new Map();  // window handle -> { x, y }
  let version = 0;
  let lastOpening = null;
  let cascade = 0;
  let queue = Promise.resolve();

  // Inputs go one after another, in the order the user made them.
  function send(fields) {
    queue = queue.then(() => fetch(base + 'input', {
      method: 'POST',
      headers: { 'Content-Type': 'application/x-www-form-urlencoded' },
      body: new URLSearchParams(fields),
    }).catch(() => {}));
    return queue;
  }

  function make(tag, className, text) {
    const el = document.createElement(tag);
    if (className) el.className = className;
    if (text !== undefined) el.textContent = text;
    return el;
  }

  function place(el, c, dx, dy) {
    el.style.left = Math.round((c.x + dx) * X) + 'px';
    el.style.top = Math.round((c.y + dy) * Y) + 'px';
    el.style.width = Math.round(c.cx * X) + 'px';
    el.style.height = Math.round(c.cy * Y) + 'px';
  }

  function listBox(c) {
    const box = make('div', 'control listbox');
    box.setAttribute('role', 'listbox');
    c.items.forEach((item, index) => {
      const row = make('div', item.selected ? 'selected' : '', item.text);
      row.setAttribute('role', 'option');
      row.setAttribute('aria-selected', item.selected ? 'true' : 'false');
      row.addEventListener('click', (e) => {
        send({ action: 'select', target: c.handle, index, extend: e.ctrlKey || e.metaKey || e.shiftKey ? '1' : '0' });
      });
      row.addEventListener('dblclick', () => send({ action: 'dblclick', target: c.handle, index }));
      box.appendChild(row);
    });
    if (c.extent > 0) {
      const spacer = make('div');
      spacer.style.width = c.extent + 'px';
      spacer.style.height = '0';
      box.appendChild(spacer);
    }
    return box;
  }

  function tree(c) {
    const box = make('div', 'control tree');
    box.setAttribute('role', 'tree');
    for (const item of c.tree) {
      const row = make('div');
      row.setAttribute('role', 'treeitem');
      row.style.paddingLeft = (2 + item.depth * 14) + 'px';
      const toggle = make('span', 'toggle', item.hasChildren ? (item.expanded ? '-' : '+') : ' ');
      toggle.addEventListener('click', () => send({ action: 'tree-toggle', target: c.handle, item: item.handle }));
      const label = make('span', item.selected ? 'selected' : '', item.text);
      label.addEventListener('click', () => send({ action: 'tree-select', target: c.handle, item: item.handle }));
      label.addEventListener('dblclick', () => send({ action: 'tree-dblclick', target: c.handle, item: item.handle }));
      row.append(toggle, label);
      box.appendChild(row);
    }
    return box;
  }

  function button(c) {
    const type = c.style & 0xF;
    if (type === 7) {  // group box
      const box = make('div', 'control groupbox');
      box.appendChild(make('span', '', c.text));
      return box;
    }
    if (type === 3 || type === 9) {  // check box, radio button
      const label = make('label', 'control');
      const input = make('input');
      input.type = type === 3 ? 'checkbox' : 'radio';
      input.checked = c.check === 1;
      input.disabled = !c.enabled;
      input.addEventListener('click', (e) => {
        e.preventDefault();  // the host decides what is checked
        send({ action: 'click', target: c.handle });
      });
      label.append(input, document.createTextNode(c.text));
      return label;
    }
    const push = make('button', 'control' + ((c.style & 0xF) === 1 ? ' default' : ''), c.text);
    push.type = 'button';
    push.disabled = !c.enabled;
    push.addEventListener('click', () => send({ action: 'click', target: c.handle }));
    return push;
  }

  function control(c) {
    switch (c.cls) {
      case 'Button': return button(c);
      case 'Static': {
        if ((c.style & 0xF) === 3) {
          const img = make('img', 'control');
          img.alt = '';
          if (c.icon) img.src = 'data:image/svg+xml,' + encodeURIComponent(c.icon);
          return img;
        }
        return make('div', 'control static' + ((c.style & 0xF) === 1 ? ' center' : ''), c.text);
      }
      case 'Edit': {
        const input = make('input', 'control');
        input.type = 'text';
        input.value = c.text;
        input.disabled = !c.enabled;
        if (c.style & 0x2000) input.inputMode = 'numeric';
        input.addEventListener('change', () => send({ action: 'type', target: c.handle, text: input.value }));
        return input;
      }
      case 'ListBox': return listBox(c);
      case 'ComboBox': {
        const select = make('select', 'control');
        select.disabled = !c.enabled;
        c.items.forEach((item) => select.appendChild(make('option', '', item.text)));
        select.selectedIndex = c.current;
        select.addEventListener('change', () => send({ action: 'select', target: c.handle, index: select.selectedIndex }));
        return select;
      }
      case 'SysTreeView32': return tree(c);
      case 'msctls_trackbar32': {
        const range = make('input', 'control');
        range.type = 'range';
        range.min = c.min;
        range.max = c.max;
        range.value = c.pos;
        range.disabled = !c.enabled;
        range.addEventListener('change', () => send({ action: 'slider', target: c.handle, index: range.value }));
        return range;
      }
      default: return make('div', 'control', c.text);
    }
  }

  function addControls(client, controls, dx, dy) {
    for (const c of controls) {
      if (!c.visible) continue;
      const el = control(c);
      // A drop-down list's template height includes its dropped list.
      place(el, c.cls === 'ComboBox' ? { ...c, cy: 12 } : c, dx, dy);
      el.dataset.id = c.id;
      if (!c.enabled) el.classList.add('disabled');
      client.appendChild(el);
    }
  }

  function position(w) {
    if (placed.has(w.handle)) return placed.get(w.handle);
    const owner = frames.get(w.owner);
    let spot;
    if (owner) {
      const o = placed.get(w.owner);
      spot = { x: o.x + Math.max(20, (owner.el.offsetWidth - w.cx * X) / 2), y: o.y + Math.max(24, (owner.el.offsetHeight - w.cy * Y) / 3) };
    } else {
      spot = { x: 20 + 40 * cascade, y: 20 + 30 * cascade };
      cascade = (cascade + 1) % 8;
    }
    placed.set(w.handle, spot);
    return spot;
  }

  function drawWindow(w) {
    const el = make('div', 'window' + (w.active ? '' : ' inactive'));
    el.dataset.handle = w.handle;
    el.dataset.caption = w.caption;
    el.dataset.role = w.role;
    el.setAttribute('role', 'dialog');
    el.setAttribute('aria-label', w.caption);
    const spot = position(w);
    el.style.left = spot.x + 'px';
    el.style.top = spot.y + 'px';
    el.style.width = Math.round(w.cx * X) + 'px';
    const bar = make('div', 'titlebar');
    bar.appendChild(make('span', '', w.caption));
    const close = make('button', '', 'x');
    close.type = 'button';
    close.title = 'Close';
    close.addEventListener('click', () => send({ action: 'close', target: w.handle }));
    bar.appendChild(close);
    const client = make('div', 'client');
    client.style.height = Math.round(w.cy * Y) + 'px';
    let clickTarget = w.handle;
    if (w.role === 'sheet') {
      const tabs = make('div', 'tabs');
      tabs.style.left = Math.round(7 * X) + 'px';
      tabs.style.top = Math.round(6 * Y) + 'px';
      w.pages.forEach((p, index) => {
        const tab = make('div', 'tab' + (index === w.activePage ? ' active' : ''));
        tab.setAttribute('role', 'tab');
        if (p.icon) {
          const img = make('img');
          img.alt = '';
          img.src = 'data:image/svg+xml,' + encodeURIComponent(p.icon);
          tab.appendChild(img);
        }
        tab.appendChild(make('span', '', p.title));
        tab.addEventListener('click', () => send({ action: 'page', target: w.handle, index }));
        tabs.appendChild(tab);
      });
      const frame = make('div', 'pageframe');
      place(frame, { x: 5, y: 18, cx: w.cx - 10, cy: w.cy - 40 }, 0, 0);
      client.append(tabs, frame);
      const page = w.pages[w.activePage];
      if (page) {
        addControls(client, page.controls, 7, 20);
        clickTarget = page.handle;
      }
    }
    addControls(client, w.controls, 0, 0);
    client.addEventListener('mousedown', (e) => {
      if (e.target === client || e.target.classList.contains('pageframe')) send({ action: 'mousedown', target: clickTarget });
    });
    el.append(bar, client);
    return el;
  }

  function render(screen) {
    document.body.classList.toggle('wait', screen.cursor === 'wait');
    const live = new Set();
    screen.windows.forEach((w, z) => {
      live.add(w.handle);
      const key = JSON.stringify(w);
      let f = frames.get(w.handle);
      if (!f || f.key !== key) {
        const el = drawWindow(w);
        if (f) f.el.replaceWith(el);
        else desktop.appendChild(el);
        f = { el, key };
        frames.set(w.handle, f);
      }
      f.el.style.zIndex = String(10 + z);
    });
    for (const [handle, f] of frames) {
      if (live.has(handle)) continue;
      f.el.remove();
      frames.delete(handle);
      placed.delete(handle);
    }
    // Files the console opened with the shell open in a new tab; those opened before this
    // page loaded are not opened again.
    const serials = screen.openings.map((o) => o.serial);
    if (lastOpening === null) lastOpening = serials.length ? Math.max(...serials) : 0;
    for (const o of screen.openings) {
      if (o.serial <= lastOpening) continue;
      lastOpening = o.serial;
      window.open(base + 'open/' + o.serial, '_blank');
    }
    document.body.dataset.version = screen.version;
  }

  const pause = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

  async function poll() {
    for (;;) {
      try {
        const response = await fetch(base + 'screen?since=' + version);
        if (!response.ok) {
          statusLine.textContent = 'console host answered ' + response.status;
          await pause(2000);
          continue;
        }
        const screen = await response.json();
        version = screen.version;
        render(screen);
        statusLine.textContent = '';
      } catch (e) {
        statusLine.textContent = 'console host not reachable';
        await pause(1000);
      }
    }
  }

  poll();
})();
