// The node's page: status live over a WebSocket, the history log and its statistics, and the controls for
// operators. Everything a station or a caller sent is shown with textContent, never as markup.
'use strict';

const state = { csrf: '', role: '', user: '', socket: null, retry: 1000, pttStart: 0, status: null };
const $ = (id) => document.getElementById(id);

function show(id, visible) { $(id).hidden = !visible; }

async function api(path, options = {}) {
  const init = { credentials: 'same-origin', headers: {}, ...options };
  if (init.body !== undefined) {
    init.method = 'POST';
    init.headers['Content-Type'] = 'application/json';
    init.headers['X-CSRF-Token'] = state.csrf;
    init.body = JSON.stringify(init.body);
  }
  const response = await fetch(path, init);
  let data = {};
  try { data = await response.json(); } catch (e) { data = {}; }
  return { status: response.status, data };
}

function openPage(name) {
  for (const page of document.querySelectorAll('.page')) page.hidden = page.id !== name;
  for (const tab of document.querySelectorAll('.tab')) tab.classList.toggle('current', tab.dataset.page === name);
  if (name === 'history') loadHistory();
  if (name === 'statistics') loadStatistics();
  if (name === 'settings') loadSettings();
}

function signedIn(session) {
  state.csrf = session.csrfToken || '';
  state.role = session.role || '';
  state.user = session.user || '';
  show('login', false);
  show('nav', true);
  show('logout', !!state.user);
  show('control-tab', state.role === 'operator' || state.role === 'admin');
  show('settings-tab', state.role === 'admin');
  $('who').textContent = state.user ? state.user + ' (' + state.role + ')' : '';
  openPage('status');
  connect();
}

function signedOut(publicStatus) {
  state.csrf = state.role = state.user = '';
  show('login', true);
  show('nav', false);
  for (const page of document.querySelectorAll('.page')) page.hidden = true;
  if (publicStatus) { show('status', true); connect(); }
}

function connect() {
  if (state.socket) return;
  const socket = new WebSocket((location.protocol === 'https:' ? 'wss://' : 'ws://') + location.host + '/ws');
  state.socket = socket;
  socket.onopen = () => { state.retry = 1000; $('link').textContent = 'live'; };
  socket.onmessage = (event) => {
    let message;
    try { message = JSON.parse(event.data); } catch (e) { return; }
    if (message.type === 'status') render(message);
  };
  socket.onclose = () => {
    state.socket = null;
    $('link').textContent = 'connection lost: trying again…';
    setTimeout(() => { if (!$('status').hidden) connect(); }, state.retry);
    state.retry = Math.min(state.retry * 2, 30000);
  };
}

function setTile(id, on) { $(id).classList.toggle('on', on); }

function render(s) {
  state.status = s;
  $('callsign').textContent = s.callsign || 'Quillmere';
  document.title = (s.callsign || 'Quillmere') + (s.ptt ? ' — TX' : '');
  $('ptt').textContent = s.ptt ? 'keyed' + (s.pttBy ? ' (' + (KEYED_BY[s.pttBy] || s.pttBy) + ')' : '') : 'released';
  state.pttStart = s.ptt ? Date.now() - (s.pttSeconds || 0) * 1000 : 0;
  tick();
  setTile('tile-ptt', !!s.ptt);
  $('carrier').textContent = s.carrier ? 'present' : 'none';
  setTile('tile-carrier', !!s.carrier);
  $('dtmf').textContent = s.dtmfControl ? 'on' : 'off';
  $('counter').textContent = s.timeoutCounter || '';
  $('call').textContent = s.call ? (s.call.incoming ? 'from ' : '') + s.call.number + ' — ' + s.call.state.toLowerCase() +
      (s.call.duration ? ' — ' + s.call.duration + ' s' : '') : 'none';
  const list = $('stations');
  list.replaceChildren();
  for (const station of s.stations || []) {
    const item = document.createElement('li');
    item.textContent = station;
    list.appendChild(item);
  }
  $('station-count').textContent = '(' + (s.stations || []).length + ')';
  $('directory').textContent = s.directory || '';
  renderLevels(s.levels);
  $('registration').textContent = s.registration || '';
  show('tile-sip', !!s.registration);
  setTile('tile-sip', !!s.registration && s.registration !== 'registered' && s.registration !== 'off');
  renderStationControls(s.stations || []);
  show('inhibit-banner', !!s.inhibit);
  $('problem').textContent = s.problem || '';
  show('problem', !!s.problem);
}

const KEYED_BY = { speech: 'speech', morse: 'Morse', station: 'a station', call: 'the call', node: 'the node' };

function renderLevels(levels) {
  show('tile-levels', !!levels);
  if (!levels) return;
  for (const name of ['radioIn', 'radioOut', 'callIn', 'callOut']) {
    const meter = $('level-' + name);
    meter.value = Math.max(-60, levels[name]);
    meter.nextElementSibling.textContent = levels[name] <= -120 ? '—' : levels[name] + ' dBFS';
  }
}

// One "Disconnect" button a station, on the control page.
function renderStationControls(stations) {
  const list = $('control-stations');
  const shown = [...list.children].map((item) => item.dataset.station);
  if (shown.length === stations.length && shown.every((call, i) => call === stations[i])) return;
  list.replaceChildren();
  for (const station of stations) {
    const item = document.createElement('li');
    item.dataset.station = station;
    const name = document.createElement('span');
    name.textContent = station;
    const button = document.createElement('button');
    button.type = 'button';
    button.textContent = 'Disconnect';
    button.addEventListener('click', () => command('disconnect', { station }));
    item.append(name, button);
    list.appendChild(item);
  }
  if (!stations.length) list.textContent = 'none connected';
}

function tick() {
  $('ptt-time').textContent = state.pttStart ? Math.floor((Date.now() - state.pttStart) / 1000) + ' s keyed' : '';
}
setInterval(tick, 500);

async function loadHistory() {
  const q = $('history-filter').value;
  const { status, data } = await api('/api/history?q=' + encodeURIComponent(q));
  const list = $('history-lines');
  list.replaceChildren();
  if (status !== 200) return;
  for (const line of data.lines || []) {
    const item = document.createElement('li');
    item.textContent = line;
    list.appendChild(item);
  }
}

function duration(seconds) {
  if (seconds < 60) return seconds + ' s';
  if (seconds < 3600) return Math.floor(seconds / 60) + ' min ' + (seconds % 60) + ' s';
  return Math.floor(seconds / 3600) + ' h ' + Math.floor((seconds % 3600) / 60) + ' min';
}

function callsText(calls) {
  return Object.entries(calls || {}).map(([result, n]) => n + ' ' + result).join(', ');
}

function cell(row, text, tag = 'td') {
  const c = document.createElement(tag);
  c.textContent = text;
  row.appendChild(c);
  return c;
}

function statisticsTable(table, buckets, label) {
  table.replaceChildren();
  const head = table.createTHead().insertRow();
  for (const h of [label, 'Transmit time', 'Carrier time', 'Carriers', 'Kerchunks', 'Connects', 'Stations', 'DTMF', 'Calls'])
    cell(head, h, 'th');
  const most = Math.max(1, ...buckets.map((b) => b.carrierSeconds));
  const body = table.createTBody();
  for (const b of buckets.slice().reverse()) {
    const row = body.insertRow();
    cell(row, label === 'Hour' ? b.start.slice(5) : b.start);
    cell(row, b.transmitSeconds ? duration(Math.round(b.transmitSeconds)) + ' (' + b.transmissions + '×)' : '');
    const time = cell(row, b.carrierSeconds ? duration(b.carrierSeconds) : '');
    const bar = document.createElement('span');
    bar.className = 'bar';
    bar.style.width = Math.round((b.carrierSeconds / most) * 100) + '%';
    time.appendChild(bar);
    for (const n of [b.carriers, b.kerchunks, b.connects, b.stations.length, b.dtmfStrings]) cell(row, n ? String(n) : '');
    cell(row, callsText(b.calls));
  }
}

async function loadStatistics() {
  const { status, data } = await api('/api/statistics');
  if (status !== 200) return;
  const hours = data.hours || [];
  const sum = (key) => hours.reduce((n, b) => n + b[key], 0);
  const stations = new Set(hours.flatMap((b) => b.stations));
  const calls = {};
  for (const b of hours) for (const [result, n] of Object.entries(b.calls)) calls[result] = (calls[result] || 0) + n;
  const totals = $('stat-totals');
  totals.replaceChildren();
  for (const [title, value] of [['Transmit time, 24 h', duration(Math.round(sum('transmitSeconds')))],
    ['Carrier time, 24 h', duration(sum('carrierSeconds'))], ['Carriers', sum('carriers')],
    ['Kerchunks', sum('kerchunks')], ['Stations', stations.size + ' (' + sum('connects') + ' connects)'],
    ['DTMF strings', sum('dtmfStrings')], ['Calls', callsText(calls) || 'none']]) {
    const tile = document.createElement('div');
    tile.className = 'tile';
    const h = document.createElement('h3');
    h.textContent = title;
    const p = document.createElement('p');
    p.textContent = String(value);
    tile.append(h, p);
    totals.appendChild(tile);
  }
  statisticsTable($('stat-hours'), hours, 'Hour');
  statisticsTable($('stat-days'), data.days || [], 'Day');
}

async function command(name, extra = {}) {
  $('command-message').textContent = '…';
  const { status, data } = await api('/api/command', { body: { command: name, ...extra } });
  $('command-message').textContent = status === 200 ? 'Done: ' + name + (extra.station ? ' ' + extra.station : '')
      : (data.error || ('refused (' + status + ')'));
}

document.addEventListener('DOMContentLoaded', async () => {
  $('login-form').addEventListener('submit', async (event) => {
    event.preventDefault();
    const { status, data } = await api('/api/login', { body: { user: $('user').value, password: $('password').value } });
    $('password').value = '';
    if (status === 200) { $('login-message').textContent = ''; signedIn(data); return; }
    $('login-message').textContent = status === 429 ? 'Too many wrong passwords: try again later'
        : status === 401 ? 'Wrong user name or password' : (data.error || 'Login failed');
  });
  $('logout').addEventListener('click', async () => {
    await api('/api/logout', { body: {} });
    if (state.socket) state.socket.close();
    location.reload();
  });
  for (const tab of document.querySelectorAll('.tab')) tab.addEventListener('click', () => openPage(tab.dataset.page));
  for (const button of document.querySelectorAll('[data-command]'))
    button.addEventListener('click', () => command(button.dataset.command));
  $('history-form').addEventListener('submit', (event) => { event.preventDefault(); loadHistory(); });
  const { status, data } = await api('/api/session');
  if (status === 200) signedIn(data); else signedOut(!!data.publicStatus);
});
