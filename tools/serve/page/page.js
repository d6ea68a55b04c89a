// page.js - the device page: every text from the device is put in as text,
// never as markup; the device's state comes as server-sent events.
'use strict';

const token = new URLSearchParams(location.search).get('token') || '';
const $ = (id) => document.getElementById(id);
const logPage = 100;

function el(tag, text, className) {
  const e = document.createElement(tag);
  if (text !== undefined && text !== null) e.textContent = String(text);
  if (className) e.className = className;
  return e;
}

function address(path, params) {
  const q = new URLSearchParams();
  for (const [k, v] of Object.entries(params || {})) if (v !== '' && v !== null && v !== undefined) q.set(k, v);
  q.set('token', token);
  return path + '?' + q;
}

async function post(path, body) {
  const r = await fetch(address(path), {
    method: 'POST', headers: {'Content-Type': 'application/json'}, body: JSON.stringify(body)});
  let data = {};
  try { data = await r.json(); } catch (e) { /* an answer without a body */ }
  return {ok: r.ok, status: r.status, data};
}

function say(where, text, bad) {
  where.textContent = text;
  where.classList.toggle('bad', !!bad);
}

// ---- views ------------------------------------------------------------------
function showView() {
  const name = (location.hash || '#settings').slice(1);
  for (const v of document.querySelectorAll('.view')) v.classList.toggle('current', v.id === name + '-view');
  for (const a of document.querySelectorAll('#tabs a')) a.classList.toggle('current', a.dataset.view === name);
}

// ---- settings ---------------------------------------------------------------
// Each record's form; an input whose text is still the device's follows the
// device, one the user has changed keeps the user's text until saved.
const records = new Map();
let settingsShape = '';

const recordName = (g, rec) => g.name + (rec.recipient ? '#' + rec.recipient : '');
const valueText = (v) => (v === undefined || v === null ? '' : String(v));

function buildSettings(groups) {
  const box = $('groups');
  box.replaceChildren();
  records.clear();
  for (const g of groups) {
    for (const rec of g.records) {
      const name = recordName(g, rec);
      const form = el('form');
      form.id = 'record-' + name;
      const set = el('fieldset');
      set.append(el('legend', name), el('p', g.summary, 'summary'));
      const inputs = new Map();
      const errors = new Map();
      for (const f of rec.fields) {
        const row = el('div', null, 'field');
        const input = el('input');
        input.id = 'f-' + name + '-' + f.name;
        input.name = f.name;
        input.autocomplete = 'off';
        input.spellcheck = false;
        if (f.secret) {
          input.type = 'password';
          input.placeholder = 'unchanged';
          input.autocomplete = 'new-password';
        }
        input.readOnly = !g.writable;
        input.dataset.device = f.secret ? '' : valueText(f.value);
        input.value = input.dataset.device;
        const label = el('label', f.name);
        label.htmlFor = input.id;
        const error = el('span', '', 'error');
        error.id = 'e-' + name + '-' + f.name;
        row.append(label, input, error);
        set.append(row);
        inputs.set(f.name, input);
        errors.set(f.name, error);
      }
      if (g.writable) {
        const actions = el('div', null, 'actions');
        const button = el('button', 'Save');
        button.type = 'submit';
        button.id = 'save-' + name;
        const result = el('span', '', 'result');
        result.id = 'result-' + name;
        actions.append(button, result);
        set.append(actions);
        form.addEventListener('submit', (ev) => {
          ev.preventDefault();
          save(g.name, rec.recipient, inputs, errors, result);
        });
      }
      form.append(set);
      box.append(form);
      records.set(name, inputs);
    }
  }
}

function showSettings(groups) {
  const shape = JSON.stringify(groups.map((g) => [g.name, g.records.map((r) => [r.recipient, r.fields.map((f) => f.name)])]));
  if (shape !== settingsShape) {
    settingsShape = shape;
    buildSettings(groups);
    return;
  }
  for (const g of groups) {
    for (const rec of g.records) {
      const inputs = records.get(recordName(g, rec));
      for (const f of rec.fields) {
        if (f.secret) continue;
        const input = inputs.get(f.name);
        const text = valueText(f.value);
        if (input.value === input.dataset.device && document.activeElement !== input) input.value = text;
        input.dataset.device = text;
      }
    }
  }
}

async function save(group, recipient, inputs, errors, result) {
  const values = {};
  for (const [name, input] of inputs) {
    const changed = input.type === 'password' ? input.value !== '' : input.value !== input.dataset.device;
    if (changed) values[name] = input.value;
  }
  for (const e of errors.values()) e.textContent = '';
  if (Object.keys(values).length === 0) return say(result, 'nothing changed');
  const body = {group, values};
  if (recipient) body.recipient = recipient;
  const r = await post('/api/set', body);
  if (r.data.refused) {
    for (const [name, why] of Object.entries(r.data.refused)) {
      const e = errors.get(name);
      if (e) e.textContent = why;
    }
    return say(result, 'nothing written', true);
  }
  if (!r.ok) return say(result, r.data.error || 'failed: HTTP ' + r.status, true);
  for (const input of inputs.values()) if (input.type === 'password') input.value = '';
  const failed = (r.data.failed || []).length ? '; failed: ' + r.data.failed.join(', ') : '';
  say(result, r.data.result + failed, !String(r.data.result).startsWith('ENTMLST_OK'));
}

// ---- jobs, faults, status ---------------------------------------------------
// A table row of texts; the cells at the indexes in wrap may wrap.
function row(cells, wrap) {
  const tr = el('tr');
  cells.forEach((c, i) => tr.append(c instanceof Node ? c : el('td', c, wrap && wrap.includes(i) ? 'wrap' : '')));
  return tr;
}

function showJobs(jobs) {
  $('no-jobs').hidden = jobs.length !== 0;
  $('jobs').hidden = jobs.length === 0;
  $('jobs').tBodies[0].replaceChildren(...jobs.map((j) => row([
    j.id, valueText(j.parent),
    Object.entries(j.values).map(([k, v]) => k + ' = ' + valueText(v)).join('\n'),
    j.links.map((l) => l.kind + ' → ' + l.id).join('\n')], [2, 3])));
}

function showFaults(faults) {
  $('no-faults').hidden = faults.length !== 0;
  $('faults').hidden = faults.length === 0;
  $('fault-clear-all').hidden = faults.length === 0;
  $('faults').tBodies[0].replaceChildren(...faults.map((f) => {
    const clear = el('button', 'Clear');
    clear.type = 'button';
    clear.addEventListener('click', () => change('/api/fault/clear', {id: f.id}, $('fault-error')));
    const cell = el('td');
    cell.append(clear);
    const tr = row([f.id, f.fault, f.hits, f.spent ? 'spent' : 'armed', cell], [1]);
    tr.id = 'fault-' + f.id;
    return tr;
  }));
}

function showStatus(status, check) {
  $('status').tBodies[0].replaceChildren(...Object.entries(status).map(([k, v]) => {
    const tr = row([valueText(v)], [0]);
    tr.prepend(el('th', k));
    return tr;
  }));
  $('check').replaceChildren(...(check.length ? check : ['ok']).map((p) => el('li', p, check.length ? 'error' : '')));
}

async function change(path, body, where) {
  const r = await post(path, body);
  say(where, r.ok ? '' : r.data.error || 'failed: HTTP ' + r.status, !r.ok);
  return r.ok;
}

// ---- log --------------------------------------------------------------------
// The page shown: the newest entries (live), or older ones reached by paging
// back; the pages passed on the way back, to come forward again.
const log = {before: null, back: [], shown: [], newest: 0};

function logFilter() {
  return {service: $('log-service').value, kind: $('log-kind').value, program: $('log-program').value.trim()};
}

// The time of day, to the millisecond; the date in the cell's title.
function timeCell(us) {
  const d = new Date(us / 1000);
  const p = (n, w) => String(n).padStart(w || 2, '0');
  const cell = el('td', `${p(d.getHours())}:${p(d.getMinutes())}:${p(d.getSeconds())}.${p(d.getMilliseconds(), 3)}`);
  cell.title = `${d.getFullYear()}-${p(d.getMonth() + 1)}-${p(d.getDate())}`;
  return cell;
}

// Small numbers in decimal; IDs, areas and addresses in hex.
function argsText(e) {
  const names = Object.entries(e.names || {}).map(([i, n]) => `[${i}] ${n.join(', ')}`);
  const args = e.args.map((a) => (a < 0x10000 ? String(a) : '0x' + a.toString(16)));
  return args.join(', ') + (names.length ? '\n' + names.join('\n') : '');
}

async function loadLog() {
  const r = await fetch(address('/api/log', {...logFilter(), n: logPage, before: log.before}));
  const data = await r.json();
  if (!r.ok) return say($('log-where'), data.error, true);
  log.shown = data.entries;
  log.newest = data.newest;
  $('log').tBodies[0].replaceChildren(...data.entries.slice().reverse().map((e) => {
    const tr = row([e.seq, timeCell(e.time_us), e.pid, e.program, e.kind, e.service, argsText(e),
      e.result ? '0x' + e.result.toString(16).padStart(8, '0') : (e.done ? 'done' : ''), e.text], [6, 8]);
    if (e.result) tr.className = 'failed';
    return tr;
  }));
  const first = data.entries.length ? data.entries[0].seq : 0;
  const last = data.entries.length ? data.entries[data.entries.length - 1].seq : 0;
  say($('log-where'), data.entries.length ? `entries ${first}–${last} (newest ${data.newest})${log.before === null ? ', live' : ''}` : 'no entries');
  $('log-older').disabled = data.entries.length < logPage;
  $('log-newer').disabled = log.before === null;
}

function onNewEntries(newest) {
  if (log.before === null) return loadLog();
  say($('log-where'), `entries ${log.shown.length ? log.shown[0].seq : ''}… (newest ${newest}: go to Newest)`);
}

// ---- the device as it changes -----------------------------------------------
function showState(s) {
  $('device').textContent = s.device;
  say($('read-error'), s.read_error || '', true);
  showSettings(s.groups);
  showJobs(s.jobs);
  showFaults(s.faults);
  showStatus(s.status, s.check);
  for (const [select, names] of [[$('log-service'), s.services], [$('log-kind'), s.kinds]]) {
    if (select.options.length > 1) continue;
    for (const n of names) select.append(new Option(n, n));
  }
}

function follow() {
  const live = $('live');
  const events = new EventSource(address('/events'));
  events.addEventListener('open', () => { live.textContent = 'live'; live.classList.add('on'); });
  events.addEventListener('error', () => { live.textContent = 'reconnecting'; live.classList.remove('on'); });
  events.addEventListener('state', (ev) => showState(JSON.parse(ev.data)));
  events.addEventListener('log', (ev) => onNewEntries(JSON.parse(ev.data).newest));
}

function wire() {
  window.addEventListener('hashchange', showView);
  showView();
  $('fault-form').addEventListener('submit', async (ev) => {
    ev.preventDefault();
    if (await change('/api/fault/add', {fault: $('fault-spec').value.trim()}, $('fault-error'))) $('fault-spec').value = '';
  });
  $('fault-clear-all').addEventListener('click', () => change('/api/fault/clear', {}, $('fault-error')));
  $('reset-form').addEventListener('submit', async (ev) => {
    ev.preventDefault();
    if (!confirm('Put the device back to factory settings, clearing its log and faults?')) return;
    await change('/api/reset', {keep_jobs: $('reset-keep-jobs').checked}, $('reset-result'));
  });
  $('log-filter').addEventListener('submit', (ev) => {
    ev.preventDefault();
    log.before = null;
    log.back = [];
    loadLog();
  });
  $('log-newest').addEventListener('click', () => { log.before = null; log.back = []; loadLog(); });
  $('log-older').addEventListener('click', () => {
    if (!log.shown.length) return;
    log.back.push(log.before);
    log.before = log.shown[0].seq;
    loadLog();
  });
  $('log-newer').addEventListener('click', () => {
    log.before = log.back.length ? log.back.pop() : null;
    loadLog();
  });
  follow();
}

wire();
