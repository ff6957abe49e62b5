// The console page: lists the host's services and libraries, reads, writes and watches properties,
// calls methods from forms built from their signatures, and charts the dispatcher's figures.
// Everything goes to the origin that served the page: JSON over /v1/..., live updates over the
// WebSocket /v1/socket. Requests are lines of the request syntax, run with POST /v1/run.
'use strict';

// ---- Small DOM helpers ----------------------------------------------------------------------

// el('td', {class: 'x', 'data-value': ''}, 'text', child) -> element. Attributes with the value
// null or undefined are left out; children may be strings, nodes or null.
function el(tag, attrs, ...children) {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(attrs || {})) {
    if (value !== null && value !== undefined) node.setAttribute(key, value);
  }
  for (const child of children) {
    if (child !== null && child !== undefined) node.append(child);
  }
  return node;
}

const $ = (selector, root = document) => root.querySelector(selector);

// ---- HTTP -----------------------------------------------------------------------------------

// Answers the parsed JSON body whatever the status; a body that is not JSON becomes a failure.
async function request(method, path, body) {
  const options = body === undefined ? { method } : { method, body: JSON.stringify(body),
    headers: { 'Content-Type': 'application/json' } };
  let response;
  try {
    response = await fetch(path, options);
  } catch (e) {
    return { status: 0, data: { ok: false, error: `the console cannot be reached (${e.message})` } };
  }
  let data;
  try {
    data = await response.json();
  } catch (e) {
    data = { ok: false, error: `HTTP ${response.status} ${response.statusText}` };
  }
  if (response.status === 401 && !(data && data.error)) {
    data = { ok: false, error: 'not signed in: open the login link the console printed' };
  }
  return { status: response.status, data };
}

// GET that throws on failure, with the server's message.
async function getJson(path) {
  const { status, data } = await request('GET', path);
  if (status < 200 || status >= 300) throw new Error((data && data.error) || `HTTP ${status}`);
  return data;
}

// Runs one line; answers the result object ({ok, type, text, value} or {ok:false, error, why}).
async function runLine(line) {
  const { data } = await request('POST', '/v1/run', { line });
  if (!data || typeof data.ok !== 'boolean') return { ok: false, error: 'unexpected answer' };
  return data;
}

// ---- Request syntax -------------------------------------------------------------------------

function quote(text) {
  const escaped = text.replace(/\\/g, '\\\\').replace(/"/g, '\\"')
    .replace(/\n/g, '\\n').replace(/\t/g, '\\t').replace(/\r/g, '\\r');
  return `"${escaped}"`;
}

// Strings (and lists of them) are always quoted; other values only when they would not survive
// as bare text (empty, spaces at an end, or a character the syntax uses).
function argumentText(type, value) {
  const textual = /string|char/i.test(type);
  return textual || value === '' || /[,()"\\]|^\s|\s$/.test(value) ? quote(value) : value;
}

// "int a, list(std::string) names" -> [{type: 'int', name: 'a'}, ...]; the name is the last word.
function parseParameters(signature) {
  return (signature || '').split(',').map((part) => part.trim()).filter(Boolean).map((part) => {
    const at = part.search(/\S+$/);
    return { type: part.slice(0, at).trim(), name: part.slice(at) };
  });
}

function methodLine(path, name, parameters, values) {
  if (parameters.length === 0) return `${path}/${name}`;
  const args = parameters.map((p, i) => `${p.name}=${argumentText(p.type, values[i])}`);
  return `${path}/${name}(${args.join(', ')})`;
}

function hintFor(type) {
  if (/^list\(.*(string|char)/i.test(type)) return 'a|b|c';
  if (/^list\(/.test(type)) return '1;2;3';
  if (type === 'bool') return 'true or false';
  return type;
}

// Puts a result into an <output>: its text, or the error and the reason behind it.
function showResult(output, result) {
  output.replaceChildren();
  output.dataset.state = result.ok ? 'ok' : 'error';
  if (result.ok) {
    output.textContent = result.text;
    output.title = result.type || '';
  } else {
    output.append(result.error || 'failed');
    if (result.why) output.append(el('span', { class: 'why', 'data-why': '' }, `why: ${result.why}`));
    output.title = '';
  }
}

// ---- WebSocket: watches and statistics ------------------------------------------------------

const socket = { ws: null, nextId: 1, pending: new Map(), retryMs: 1000 };
const watches = new Map();  // label -> {path, row}
let nextWatch = 1;

function setSocketState(state, text) {
  const node = $('#socket');
  node.dataset.state = state;
  node.textContent = `live updates: ${text}`;
}

// Sends one operation; resolves with the reply carrying the same id (or a failure after 10 s).
// A reply may come flat ({id, ok, error}) or wrapped like a call's ({id, status, body}); both
// resolve as {ok, error, ...}.
function send(message) {
  return new Promise((resolve) => {
    if (!socket.ws || socket.ws.readyState !== WebSocket.OPEN) {
      resolve({ ok: false, error: 'live updates are not connected' });
      return;
    }
    const id = socket.nextId++;
    const timer = setTimeout(() => {
      socket.pending.delete(id);
      resolve({ ok: false, error: 'no answer within 10 s' });
    }, 10000);
    socket.pending.set(id, (reply) => { clearTimeout(timer); resolve(reply); });
    socket.ws.send(JSON.stringify({ id, ...message }));
  });
}

function connectSocket() {
  const scheme = location.protocol === 'https:' ? 'wss:' : 'ws:';
  const ws = new WebSocket(`${scheme}//${location.host}/v1/socket`);
  socket.ws = ws;
  setSocketState('connecting', 'connecting…');
  ws.addEventListener('open', async () => {
    socket.retryMs = 1000;
    setSocketState('open', 'on');
    send({ op: 'stats', on: true });
    for (const [label, watch] of watches) {  // watches made before a reconnect
      const reply = await send({ op: 'watch', path: watch.path, label });
      if (!reply.ok) watches.delete(label);
      setWatchState(watch.row, reply.ok ? 'on' : 'error', reply.error);
    }
  });
  ws.addEventListener('message', (event) => {
    let message;
    try { message = JSON.parse(event.data); } catch (e) { return; }
    if (message.id !== undefined && socket.pending.has(message.id)) {
      const resolve = socket.pending.get(message.id);
      socket.pending.delete(message.id);
      const wrapped = !('ok' in message) && message.body && typeof message.body === 'object';
      resolve(wrapped ? { ...message.body, status: message.status } : message);
    } else if (message.event === 'change') {
      const watch = watches.get(message.watch);
      if (watch) showValue(watch.row, message, true);
    } else if (message.event === 'stats') {
      addStats(message.stats);
    }
  });
  ws.addEventListener('close', () => {
    for (const resolve of socket.pending.values()) resolve({ ok: false, error: 'connection closed' });
    socket.pending.clear();
    for (const watch of watches.values()) setWatchState(watch.row, 'pending');
    setSocketState('closed', `off, trying again in ${socket.retryMs / 1000} s`);
    setTimeout(connectSocket, socket.retryMs);
    socket.retryMs = Math.min(socket.retryMs * 2, 16000);
  });
}

// ---- Charts ---------------------------------------------------------------------------------

class Chart {
  constructor(canvas, digits) {
    this.canvas = canvas;
    this.digits = digits;
    this.values = [];
    this.drawn = 0;
    this.capacity = 90;
    this.draw();
  }

  add(value) {
    this.values.push(Number.isFinite(value) ? value : 0);
    if (this.values.length > this.capacity) this.values.shift();
    this.drawn += 1;
    this.canvas.dataset.points = String(this.drawn);
    this.draw();
  }

  draw() {
    const canvas = this.canvas;
    const ratio = window.devicePixelRatio || 1;
    const width = canvas.clientWidth || canvas.width;
    const height = canvas.clientHeight || canvas.height;
    if (canvas.width !== Math.round(width * ratio)) {
      canvas.width = Math.round(width * ratio);
      canvas.height = Math.round(height * ratio);
    }
    const g = canvas.getContext('2d');
    g.setTransform(ratio, 0, 0, ratio, 0, 0);
    g.clearRect(0, 0, width, height);
    const top = 16;
    const bottom = height - 4;
    const max = Math.max(1, ...this.values) * 1.1;
    g.strokeStyle = '#e3e6ea';
    g.lineWidth = 1;
    for (const f of [0, 0.5, 1]) {
      const y = Math.round(bottom - f * (bottom - top)) + 0.5;
      g.beginPath(); g.moveTo(0, y); g.lineTo(width, y); g.stroke();
    }
    g.fillStyle = '#5b6573';
    g.font = '11px system-ui, sans-serif';
    g.fillText(`max ${max.toFixed(this.digits)}`, 4, 11);
    if (this.values.length === 0) {
      g.fillText('waiting for data…', 4, bottom - 6);
      return;
    }
    const step = width / (this.capacity - 1);
    const x0 = width - (this.values.length - 1) * step;
    const y = (v) => bottom - (v / max) * (bottom - top);
    g.beginPath();
    this.values.forEach((v, i) => (i ? g.lineTo(x0 + i * step, y(v)) : g.moveTo(x0, y(v))));
    g.strokeStyle = '#2f6fdb';
    g.lineWidth = 1.5;
    g.stroke();
    g.lineTo(width, bottom); g.lineTo(x0, bottom); g.closePath();
    g.fillStyle = 'rgba(47, 111, 219, 0.12)';
    g.fill();
    const last = this.values[this.values.length - 1].toFixed(this.digits);
    g.fillStyle = '#1d2430';
    g.font = 'bold 12px system-ui, sans-serif';
    g.fillText(last, width - g.measureText(last).width - 4, 12);
  }
}

const charts = {};
let previousStats = null;  // {tasksRun, at} of the last push, for the rate

function addStats(stats) {
  const d = stats && stats.dispatcher;
  if (!d) return;
  charts.queued.add(d.queued);
  charts.wait.add(d.frontTaskWaitMs);
  const now = performance.now();
  if (previousStats && now > previousStats.at) {
    const perSecond = (d.tasksRun - previousStats.tasksRun) / ((now - previousStats.at) / 1000);
    charts.rate.add(Math.max(0, perSecond));
  }
  previousStats = { tasksRun: d.tasksRun, at: now };
}

// ---- Status, services, libraries ------------------------------------------------------------

function formatUptime(ms) {
  const s = Math.floor(ms / 1000);
  const parts = [[Math.floor(s / 3600), 'h'], [Math.floor(s / 60) % 60, 'min'], [s % 60, 's']];
  return parts.filter(([n], i) => n > 0 || i === 2).map(([n, u]) => `${n} ${u}`).join(' ');
}

async function loadStatus() {
  const node = $('#status');
  try {
    const s = await getJson('/v1/status');
    node.textContent = `${s.program} · pid ${s.pid} · ${s.endpoint} · up ${formatUptime(s.uptimeMs)}`
      + ` · secrets ${s.revealSecrets ? 'shown' : 'masked'}`;
    node.dataset.state = 'ok';
  } catch (e) {
    node.textContent = e.message;
    node.dataset.state = 'error';
  }
}

async function loadServices() {
  const list = $('#services');
  try {
    const services = await getJson('/v1/services');
    list.replaceChildren(...services.map((s) => {
      const state = !s.installed ? 'not installed' : s.loaded ? 'loaded' : 'not loaded';
      const button = el('button', { type: 'button', title: s.type }, s.name);
      button.addEventListener('click', () => openPath(s.name));
      return el('li', { 'data-service': s.name, 'data-state': state,
        'aria-current': s.name === currentService() ? 'true' : null },
      button, el('span', { class: 'badge' }, state));
    }));
  } catch (e) {
    list.replaceChildren(el('li', { class: 'error' }, e.message));
  }
}

async function loadLibraries() {
  const body = $('#libraries tbody');
  try {
    const libraries = await getJson('/v1/libraries');
    body.replaceChildren(...libraries.map((lib) => {
      const provides = (lib.provides && lib.provides.services) || [];
      return el('tr', { 'data-library': lib.name, 'data-state': lib.state, title: lib.path },
        el('td', {}, el('strong', {}, lib.name),
          provides.length ? el('small', {}, provides.join(', ')) : null,
          lib.reason ? el('small', { class: 'error', 'data-reason': '' }, lib.reason) : null),
        el('td', {}, el('span', { class: 'badge' }, lib.state)));
    }));
  } catch (e) {
    body.replaceChildren(el('tr', {}, el('td', { colspan: '2', class: 'error' }, e.message)));
  }
}

function refreshLists() {
  loadServices();
  loadLibraries();
}

// ---- One service (or object) and its members ------------------------------------------------

function currentPath() { return $('#detail').dataset.path; }
function currentService() { return currentPath().split('/')[0]; }

function setWatchState(row, state, error) {
  const button = $('button[data-watch]', row);
  button.dataset.watch = state;
  button.textContent = state === 'on' || state === 'pending' ? 'Unwatch' : 'Watch';
  button.title = error || '';
}

// Shows a result in a property's value cell; changes from a watch flash briefly.
function showValue(row, result, fromWatch) {
  const cell = $('[data-value]', row);
  showResult(cell, result);
  if (fromWatch) {
    cell.classList.remove('changed');
    void cell.offsetWidth;  // restarts the animation
    cell.classList.add('changed');
  }
}

async function readProperty(row) {
  showValue(row, await runLine(`${currentPath()}/${row.dataset.property}`), false);
}

async function toggleWatch(row) {
  const button = $('button[data-watch]', row);
  if (button.dataset.watch === 'on' || button.dataset.watch === 'pending') {
    const label = row.dataset.label;
    watches.delete(label);
    setWatchState(row, 'off');
    await send({ op: 'unwatch', label });
    return;
  }
  const label = `w${nextWatch++}`;
  const path = `${currentPath()}/${row.dataset.property}`;
  row.dataset.label = label;
  watches.set(label, { path, row });
  setWatchState(row, 'pending');
  const reply = await send({ op: 'watch', path, label });
  if (!watches.has(label)) return;  // unwatched meanwhile
  if (!reply.ok) watches.delete(label);
  setWatchState(row, reply.ok ? 'on' : 'error', reply.ok ? '' : reply.error);
}

function propertyRow(p) {
  const row = el('tr', { 'data-property': p.name, 'data-type': p.type, 'data-kind': p.kind });
  const read = el('button', { type: 'button', class: 'small', 'data-read': '', title: 'Read again' }, 'Read');
  read.addEventListener('click', () => readProperty(row));
  const actions = el('td', { class: 'actions' }, read);
  if (p.watchable) {
    const watch = el('button', { type: 'button', class: 'small', 'data-watch': 'off' }, 'Watch');
    watch.addEventListener('click', () => toggleWatch(row));
    actions.append(watch);
  }
  if (p.type === 'object') {
    const open = el('button', { type: 'button', class: 'small', title: 'Describe this object' }, 'Open');
    open.addEventListener('click', () => openPath(`${currentPath()}/${p.name}`));
    actions.append(open);
  }
  const writeCell = el('td');
  if (!p.readOnly) {
    const secret = /securestring/i.test(p.type);
    const input = el('input', { name: 'value', type: secret ? 'password' : 'text',
      placeholder: hintFor(p.type), autocomplete: 'off', 'aria-label': `New ${p.name}` });
    const output = el('output', { 'data-write-result': '' });
    const form = el('form', { 'data-write': p.name }, input, el('button', { type: 'submit' }, 'Set'), output);
    form.addEventListener('submit', async (event) => {
      event.preventDefault();
      const result = await runLine(`${currentPath()}/${p.name}(${argumentText(p.type, input.value)})`);
      showResult(output, result.ok ? { ok: true, text: '✓', type: result.type } : result);
      if (result.ok && secret) input.value = '';
      if (result.ok) readProperty(row);
    });
    writeCell.append(form);
  }
  row.append(
    el('th', { scope: 'row' }, p.name, el('small', {}, `${p.type} · ${p.kind}${p.readOnly ? ' · read-only' : ''}`)),
    el('td', {}, el('output', { class: 'value', 'data-value': '' })),
    actions, writeCell);
  return row;
}

function methodForm(m, index) {
  const parameters = parseParameters(m.parameters);
  const inputs = parameters.map((p) => el('input', { name: p.name, 'data-param': p.name,
    placeholder: hintFor(p.type), autocomplete: 'off', 'aria-label': `${p.name} (${p.type})` }));
  const output = el('output', { 'data-result': '' });
  const form = el('form', { class: 'method', 'data-method': m.name, 'data-signature': m.parameters,
    'data-overload': String(index) },
  el('div', { class: 'name' }, el('code', {}, m.name),
    el('small', {}, `(${m.parameters}) → ${m.returnType}`)),
  el('div', { class: 'call' },
    ...inputs.map((input, i) => el('label', {}, parameters[i].name, input)),
    el('button', { type: 'submit' }, 'Call'), output));
  form.addEventListener('submit', async (event) => {
    event.preventDefault();
    output.dataset.state = 'running';
    output.textContent = '…';
    showResult(output, await runLine(methodLine(currentPath(), m.name, parameters, inputs.map((i) => i.value))));
  });
  return form;
}

async function openPath(path) {
  for (const [label] of watches) send({ op: 'unwatch', label });
  watches.clear();
  const detail = $('#detail');
  detail.dataset.path = path;
  $('#detail-title').textContent = path;
  const error = $('#detail-error');
  const members = $('#members');
  for (const li of document.querySelectorAll('#services li')) {
    li.toggleAttribute('aria-current', li.dataset.service === currentService());
  }
  const { status, data } = await request('GET', `/v1/describe?path=${encodeURIComponent(path)}`);
  if (currentPath() !== path) return;  // another choice came meanwhile
  refreshLists();  // asking may have loaded the service's library, or failed to
  if (status !== 200 || !data || !Array.isArray(data.properties)) {
    members.hidden = true;
    error.hidden = false;
    error.replaceChildren();
    showResult(error, data || { ok: false, error: `HTTP ${status}` });
    return;
  }
  error.hidden = true;
  const last = path.split('/').pop();
  $('#detail-title').replaceChildren(path,
    data.interface && data.interface !== last ? el('small', {}, data.interface) : '');
  const rows = data.properties.map(propertyRow);
  $('#properties tbody').replaceChildren(...rows);
  const seen = {};
  $('#methods').replaceChildren(...data.methods.map((m) => {
    seen[m.name] = (seen[m.name] || 0) + 1;
    return methodForm(m, seen[m.name] - 1);
  }));
  members.hidden = false;
  await Promise.all(rows.map(readProperty));
}

// ---- Start ----------------------------------------------------------------------------------

document.addEventListener('DOMContentLoaded', () => {
  charts.queued = new Chart($('#chart-queued'), 0);
  charts.wait = new Chart($('#chart-wait'), 1);
  charts.rate = new Chart($('#chart-rate'), 1);
  $('#refresh').addEventListener('click', refreshLists);
  loadStatus();
  setInterval(loadStatus, 5000);
  refreshLists();
  connectSocket();
});
