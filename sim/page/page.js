'use strict';
// The sandbox page. Everything that came from a request is put in as text (textContent), never
// as markup.

const LatestCount = 100;
// Longer than any answer of the state takes; a simulator slower than that counts as gone.
const StateTimeoutMs = 4000;
const Stages = [['order', 'Order creation'], ['status', 'Status request'], ['return', 'Return']];
const StageNames = {order: 'order creation', status: 'status request', return: 'return'};

// The simulator's error codes as the page words them; the service's own texts are Russian.
const ErrorTexts = {
  100: 'the simulator found the request malformed',
  140: 'there is no such order',
  170: 'the order no longer waits for payment',
  180: 'that request is no longer kept',
  404: 'the simulator does not know this action',
};

function element(tag, className, text) {
  const made = document.createElement(tag);
  if (className)
    made.className = className;
  if (text !== undefined && text !== null)
    made.textContent = String(text);
  return made;
}

function button(text, className, action) {
  const made = element('button', className, text);
  made.type = 'button';
  made.addEventListener('click', action);
  return made;
}

function cell(label, content, className) {
  const td = element('td', className);
  td.dataset.label = label;
  if (content instanceof Node)
    td.append(content);
  else
    td.textContent = content === undefined || content === null ? '' : String(content);
  return td;
}

function roubles(value) {
  return Number(value || 0).toFixed(2);
}

// The browser's local time of an ISO time of the simulator; empty for none.
function clockTime(iso) {
  return iso ? new Date(iso).toLocaleTimeString('en-GB', {hour12: false}) : '';
}

function showProblem(text) {
  document.getElementById('problem-text').textContent = text || '';
  document.getElementById('problem').hidden = !text;
}

function refusalText(what, answer) {
  const reason = ErrorTexts[answer.codeError] || 'the simulator refused it';
  return what + ': ' + reason + ' (error ' + answer.codeError + ').';
}

// True when the simulator did it.
async function post(path, body, what) {
  let done = false;
  try {
    const response = await fetch(path, {
      method: 'POST',
      headers: {'Content-Type': 'application/json'},
      body: JSON.stringify(body),
    });
    const answer = await response.json();
    done = !answer.codeError;
    showProblem(done ? '' : refusalText(what, answer));
  } catch (error) {
    showProblem(what + ': the simulator did not answer.');
  }
  refresh();
  return done;
}

// Rows kept by key and rebuilt only when what they show changed, so that a button is not
// replaced under the pointer. Items come newest first; an item may take several rows.
class KeyedRows {
  constructor(selector) {
    this.body = document.querySelector(selector + ' tbody');
    this.entries = new Map();
  }

  show(items, keyOf, signatureOf, build) {
    const shown = new Set();
    let previous = null;
    for (const item of items) {
      const key = keyOf(item);
      const signature = signatureOf(item);
      let entry = this.entries.get(key);
      if (!entry || entry.signature !== signature) {
        if (entry)
          entry.rows.forEach(row => row.remove());
        entry = {rows: build(item), signature: signature};
        this.entries.set(key, entry);
      }
      this.place(entry.rows, previous);
      previous = entry.rows[entry.rows.length - 1];
      shown.add(key);
    }
    for (const [key, entry] of this.entries) {
      if (!shown.has(key)) {
        entry.rows.forEach(row => row.remove());
        this.entries.delete(key);
      }
    }
  }

  place(rows, previous) {
    const inPlace = previous ? previous.nextSibling === rows[0] : this.body.firstChild === rows[0];
    if (!inPlace)
      previous ? previous.after(...rows) : this.body.prepend(...rows);
  }

  firstRow(key) {
    const entry = this.entries.get(key);
    return entry ? entry.rows[0] : null;
  }
}

function showEmpty(id, isEmpty, text) {
  const note = document.getElementById(id);
  if (text)
    note.textContent = text;
  note.hidden = !isEmpty;
}

// ---- Orders

function cartList(cart) {
  const list = element('ul', 'cart');
  const items = cart && Array.isArray(cart.items) ? cart.items : [];
  for (const item of items) {
    const count = item.quantity && item.quantity.count !== undefined ? item.quantity.count : '';
    list.append(element('li', '', item.title + ' × ' + count + ' = ' + roubles(item.cost)));
  }
  return list;
}

function lines(...parts) {
  const box = element('div');
  box.append(...parts.filter(part => part));
  return box;
}

function orderCell(order) {
  return lines(element('div', 'code', order.client_transaction),
               element('div', 'when', 'created ' + clockTime(order.createdAt)));
}

function sentBy(order) {
  return lines(element('div', '', 'till ' + (order.posId || '–') + ', cashier ' + (order.cashierId || '–')),
               element('div', 'code', order.cpqr_payload),
               order.comment ? element('div', 'comment', order.comment) : null);
}

function stateCell(order) {
  return lines(element('span', 'state state-' + order.state, order.state),
               order.decidedAt ? element('div', 'when', 'at ' + clockTime(order.decidedAt)) : null);
}

function orderActions(order) {
  const box = element('div', 'actions');
  const transaction = order.client_transaction;
  if (order.state === 'registered') {
    box.append(
      button('Pay', 'pay', () => post('/sim/phone', {client_transaction: transaction, state: 'paid'},
                                      'Pay ' + transaction)),
      button('Decline', 'decline', () => post('/sim/phone', {client_transaction: transaction, state: 'declined'},
                                              'Decline ' + transaction)),
      button('Expire now', 'expire', () => post('/sim/expire', {client_transaction: transaction},
                                                'Expire ' + transaction)));
  }
  box.append(button('Requests', 'show-requests', () => filterRequests(transaction)));
  return box;
}

function timeLeft(order) {
  return order.secondsLeft === undefined ? '' : Math.ceil(order.secondsLeft) + ' s';
}

function orderRow(order) {
  const row = element('tr');
  row.dataset.transaction = order.client_transaction;
  row.append(cell('Order', orderCell(order)),
             cell('Sent by', sentBy(order)),
             cell('Amount', roubles(order.cost)),
             cell('Cart', cartList(order.cart)),
             cell('State', stateCell(order)),
             cell('Expires in', timeLeft(order), 'expires'),
             cell('Returned', roubles(order.returned)),
             cell('Actions', orderActions(order)));
  return [row];
}

const orderRows = new KeyedRows('#orders');

function renderOrders(orders) {
  const newestFirst = orders.slice().reverse();
  // What the row shows but the time left: a till asking for the state changes nothing here.
  orderRows.show(newestFirst, order => order.client_transaction,
                 order => JSON.stringify([order.state, order.cost, order.cart, order.returned, order.decidedAt]),
                 orderRow);
  for (const order of newestFirst)
    orderRows.firstRow(order.client_transaction).querySelector('.expires').textContent = timeLeft(order);
  showEmpty('no-orders', orders.length === 0);
}

// ---- Requests

let requestFilter = '';
// Bodies asked for, by request id: null while they load.
const openBodies = new Map();
const requestRows = new KeyedRows('#requests');

function setRequestFilter(transaction) {
  requestFilter = transaction;
  document.getElementById('request-order').value = transaction;
  refresh();
}

function filterRequests(transaction) {
  setRequestFilter(transaction);
  document.getElementById('requests').scrollIntoView();
}

function bodyBlock(title, body) {
  const shown = body.cut ? ', the first 64 KiB shown' : '';
  let text = body.text;
  try {
    text = JSON.stringify(JSON.parse(text), null, 2);
  } catch (notJson) {
    // shown as it came
  }
  return lines(element('div', 'body-title', title + ' (' + body.bytes + ' bytes' + shown + ')'),
               body.bytes ? element('pre', '', text) : null);
}

function detailsRow(details) {
  const row = element('tr', 'details');
  const td = element('td');
  td.colSpan = 6;
  if (!details) {
    td.textContent = 'Loading…';
  } else if (details.problem) {
    td.textContent = details.problem;
  } else {
    const headers = details.headers.map(([name, value]) => name + ': ' + value).join('\n');
    td.append(element('div', 'body-title', 'Request headers'), element('pre', '', headers),
              bodyBlock('Request body', details.requestBody),
              bodyBlock('Answer body', details.answerBody));
  }
  row.append(td);
  return row;
}

async function toggleBodies(id) {
  if (openBodies.has(id)) {
    openBodies.delete(id);
    renderRequests();
    return;
  }
  openBodies.set(id, null);
  renderRequests();
  try {
    const answer = await (await fetch('/sim/request?id=' + id, {cache: 'no-store'})).json();
    openBodies.set(id, answer.codeError ? {problem: 'The bodies are gone: ' + ErrorTexts[180] + '.'} : answer);
  } catch (error) {
    openBodies.set(id, {problem: 'The simulator did not answer.'});
  }
  renderRequests();
}

function orderLink(transaction) {
  return transaction ? button(transaction, 'link code', () => filterRequests(transaction)) : '';
}

function requestRow(request) {
  const row = element('tr');
  row.dataset.id = request.id;
  const open = openBodies.has(request.id);
  row.append(cell('Time', clockTime(request.at)),
             cell('Request', request.method + ' ' + request.target, 'code'),
             cell('Order', orderLink(request.order)),
             cell('Status', request.status === 0 ? 'no answer' : request.status),
             cell('Fault', request.fault || ''),
             cell('Bodies', button(open ? 'Hide' : 'Show', 'bodies', () => toggleBodies(request.id))));
  return open ? [row, detailsRow(openBodies.get(request.id))] : [row];
}

function bodiesState(id) {
  return openBodies.has(id) ? (openBodies.get(id) ? 'shown' : 'loading') : 'closed';
}

let shownRequests = {requests: [], requestsKept: 0};

function renderRequests() {
  const {requests, requestsKept} = shownRequests;
  requestRows.show(requests, request => request.id,
                   request => bodiesState(request.id), requestRow);
  document.getElementById('request-count').textContent = requestFilter
    ? requests.length + ' latest of order ' + requestFilter
    : requests.length + ' latest of ' + requestsKept + ' kept';
  showEmpty('no-requests', requests.length === 0,
            requestFilter ? 'No requests of this order are kept.' : 'No requests yet.');
}

// ---- Sessions, returns and faults

function renderTable(selector, rows) {
  const body = document.querySelector(selector + ' tbody');
  body.replaceChildren(...rows.map(cells => {
    const row = element('tr');
    row.append(...cells);
    return row;
  }));
}

function outcomeText(scenario) {
  switch (scenario.outcome) {
  case 'paid':
    return 'paid at status request ' + scenario.atStatusRequest;
  case 'declined':
    return 'declined at status request ' + scenario.atStatusRequest;
  case 'manual':
    return 'waits for the phone';
  default:
    return 'never decided';
  }
}

const ScenarioFlags = [
  ['refuseSession', 'session refused'], ['manyLoyaltyIds', 'several loyalty ids'],
  ['withoutCards', 'no merchant payload or loyalty ids'], ['refuseOrder', 'order creation refused'],
  ['slowOrder', 'order creation SLOW'], ['refuseReturns', 'returns refused'],
];

// "status request 1: DROP" for each spoilt request of a stage.
function stageFaultTexts(scenario, stage) {
  const texts = [];
  const faults = scenario[stage + 'Faults'] || {};
  for (const request of Object.keys(faults))
    texts.push(StageNames[stage] + ' ' + request + ': ' + faults[request]);
  const slow = scenario['slow' + stage[0].toUpperCase() + stage.slice(1) + 'Requests'] || [];
  for (const request of slow)
    texts.push(StageNames[stage] + ' ' + request + ': SLOW');
  return texts;
}

function scenarioText(scenario) {
  if (!scenario)
    return '';
  const texts = [outcomeText(scenario)];
  for (const [flag, text] of ScenarioFlags) {
    if (scenario[flag])
      texts.push(text);
  }
  for (const [stage] of Stages)
    texts.push(...stageFaultTexts(scenario, stage));
  if (scenario.ignoredWords)
    texts.push('ignored words: ' + scenario.ignoredWords.join(', '));
  return texts.join('; ');
}

function faultLine(stage, title, words) {
  const line = element('div', 'stage');
  line.id = 'stage-' + stage;
  const select = element('select');
  select.id = 'fault-' + stage;
  select.setAttribute('aria-label', title + ' fault');
  for (const word of words)
    select.append(element('option', '', word));
  const arm = button('Spoil next answer', '', () => post('/sim/fault', {stage: stage, fault: select.value},
                                                         'Spoil the next ' + StageNames[stage]));
  arm.id = 'arm-' + stage;
  const clear = button('Clear', '', () => post('/sim/fault', {stage: stage, fault: ''},
                                               'Clear the ' + StageNames[stage] + ' fault'));
  clear.id = 'clear-' + stage;
  line.append(element('strong', '', title), select, arm, clear, element('span', 'armed'));
  return line;
}

// The fault controls are built once; only the armed fault shown beside them changes.
function renderFaults(state) {
  const box = document.getElementById('faults');
  if (!box.hasChildNodes()) {
    for (const [stage, title] of Stages)
      box.append(faultLine(stage, title, state.faultWords));
  }
  const armed = state.armedFaults || {};
  for (const [stage] of Stages) {
    document.querySelector('#stage-' + stage + ' .armed').textContent =
      armed[stage] ? 'armed: ' + armed[stage] : '';
  }
}

function renderMode(state) {
  const parts = state.manual
    ? ['Every order waits for the phone (', element('span', 'option', '--manual'), '). ']
    : ['Orders follow their scanned codes; MANUAL ones wait for the phone. '];
  document.getElementById('mode').replaceChildren(
    ...parts, 'Unpaid orders expire after ' + state.orderExpirySeconds + ' s.');
}

function render(state) {
  renderMode(state);
  renderOrders(state.orders);
  renderFaults(state);
  shownRequests = state;
  renderRequests();
  renderTable('#sessions', state.sessions.slice().reverse().map(session => [
    cell('Scanned code', session.cpqr_payload, 'code'),
    cell('Quick-pay id', session.quickpay_id, 'code'),
    cell('Scenario', scenarioText(session.scenario)),
  ]));
  showEmpty('no-sessions', state.sessions.length === 0);
  renderTable('#returns', state.returns.slice().reverse().map(refund => [
    cell('Refund', refund.refundId, 'code'),
    cell('Order', refund.client_transaction, 'code'),
    cell('Amount', roubles(refund.cost)),
  ]));
  showEmpty('no-returns', state.returns.length === 0);
}

// ---- Keeping up with the simulator

// Rows of a simulator that stopped answering stay as they were, marked stale, their controls
// disabled.
function showStale(stale) {
  const note = document.getElementById('stale');
  if (stale && note.hidden) {
    note.textContent = 'The simulator stopped answering at ' + clockTime(new Date().toISOString())
                       + '. What the page shows is as it was then.';
  }
  note.hidden = !stale;
  document.body.classList.toggle('stale', stale);
  for (const control of document.querySelectorAll('main button, main select, main input'))
    control.disabled = stale;
}

function statePath() {
  const order = requestFilter ? '&order=' + encodeURIComponent(requestFilter) : '';
  return '/sim/state?latest=' + LatestCount + order;
}

let refreshing = false;
let refreshAgain = false;

async function refresh() {
  if (refreshing) {
    refreshAgain = true;
    return;
  }
  refreshing = true;
  try {
    const response = await fetch(statePath(), {cache: 'no-store', signal: AbortSignal.timeout(StateTimeoutMs)});
    const state = await response.json();
    showStale(false);
    render(state);
    document.body.dataset.updated = String(Date.now());
  } catch (error) {
    showStale(true);
  } finally {
    refreshing = false;
  }
  if (refreshAgain) {
    refreshAgain = false;
    refresh();
  }
}

function setUp() {
  document.getElementById('problem-close').addEventListener('click', () => showProblem(''));
  document.getElementById('reset').addEventListener('click', async () => {
    if (!confirm('Forget every session, order, return, armed fault and request?'))
      return;
    // The orders are gone, and with them what the request filter named.
    if (await post('/sim/reset', {}, 'Reset the books')) {
      openBodies.clear();
      setRequestFilter('');
    }
  });
  const filter = document.getElementById('request-order');
  filter.addEventListener('input', () => {
    requestFilter = filter.value.trim();
    refresh();
  });
  document.getElementById('request-all').addEventListener('click', () => setRequestFilter(''));
  refresh();
  setInterval(refresh, 1000);
}

setUp();
