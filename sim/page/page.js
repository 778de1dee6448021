'use strict';
// The sandbox page. Everything that came from a request is put in as text (textContent), never
// as markup.

const StatePath = '/sim/state?latest=100';
const Stages = [['order', 'Order creation'], ['status', 'Status request'], ['return', 'Return']];

function element(tag, className, text) {
  const made = document.createElement(tag);
  if (className)
    made.className = className;
  if (text !== undefined && text !== null)
    made.textContent = String(text);
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

function showProblem(text) {
  const problem = document.getElementById('problem');
  problem.textContent = text || '';
  problem.hidden = !text;
}

async function post(path, body) {
  try {
    const response = await fetch(path, {
      method: 'POST',
      headers: {'Content-Type': 'application/json'},
      body: JSON.stringify(body),
    });
    const answer = await response.json();
    showProblem(answer.codeError ? answer.codeError + ': ' + answer.error : '');
  } catch (error) {
    showProblem('The simulator did not answer: ' + error);
  }
  refresh();
}

function cartList(cart) {
  const list = element('ul', 'cart');
  const items = cart && Array.isArray(cart.items) ? cart.items : [];
  for (const item of items) {
    const count = item.quantity && item.quantity.count !== undefined ? item.quantity.count : '';
    list.append(element('li', '', item.title + ' × ' + count + ' = ' + roubles(item.cost)));
  }
  return list;
}

function phoneButtons(order) {
  if (order.state !== 'registered')
    return '';
  const buttons = element('span');
  const transaction = order.client_transaction;
  const pay = element('button', 'pay', 'Pay');
  pay.addEventListener('click', () => post('/sim/phone', {client_transaction: transaction, state: 'paid'}));
  const decline = element('button', 'decline', 'Decline');
  decline.addEventListener('click',
                           () => post('/sim/phone', {client_transaction: transaction, state: 'declined'}));
  buttons.append(pay, decline);
  return buttons;
}

function timeLeft(order) {
  return order.secondsLeft === undefined ? '' : Math.ceil(order.secondsLeft) + ' s';
}

// Rows are kept by order and rebuilt only when the order changed, so that a button is not
// replaced under the pointer; the time left is updated in place.
const orderRows = new Map();

function orderRow(order) {
  const row = element('tr');
  row.dataset.transaction = order.client_transaction;
  const stateBadge = element('span', 'state state-' + order.state, order.state);
  row.append(cell('Order', order.client_transaction, 'code'),
             cell('Amount', roubles(order.cost)),
             cell('Cart', cartList(order.cart)),
             cell('State', stateBadge),
             cell('Expires in', timeLeft(order), 'expires'),
             cell('Returned', roubles(order.returned)),
             cell('Phone', phoneButtons(order)));
  return row;
}

function renderOrders(orders) {
  const body = document.querySelector('#orders tbody');
  const shown = new Set();
  let previous = null;
  for (const order of orders.slice().reverse()) {
    const key = order.client_transaction;
    // What the row shows but the time left: a till asking for the state changes nothing here.
    const signature = JSON.stringify([order.state, order.cost, order.cart, order.returned]);
    let entry = orderRows.get(key);
    if (!entry || entry.signature !== signature) {
      const row = orderRow(order);
      if (entry)
        entry.row.replaceWith(row);
      entry = {row: row, signature: signature};
      orderRows.set(key, entry);
    } else {
      entry.row.querySelector('.expires').textContent = timeLeft(order);
    }
    if (previous ? previous.nextSibling !== entry.row : body.firstChild !== entry.row)
      previous ? previous.after(entry.row) : body.prepend(entry.row);
    previous = entry.row;
    shown.add(key);
  }
  for (const [key, entry] of orderRows) {
    if (!shown.has(key)) {
      entry.row.remove();
      orderRows.delete(key);
    }
  }
  document.getElementById('no-orders').hidden = orders.length > 0;
}

function renderTable(selector, rows) {
  const body = document.querySelector(selector + ' tbody');
  body.replaceChildren(...rows.map(cells => {
    const row = element('tr');
    row.append(...cells);
    return row;
  }));
}

function scenarioText(scenario) {
  return scenario ? JSON.stringify(scenario) : '';
}

// The fault controls are built once; only the armed fault shown beside them changes.
function renderFaults(state) {
  const box = document.getElementById('faults');
  if (!box.hasChildNodes()) {
    for (const [stage, title] of Stages) {
      const line = element('div', 'stage');
      line.id = 'stage-' + stage;
      const select = element('select');
      select.id = 'fault-' + stage;
      for (const word of state.faultWords)
        select.append(element('option', '', word));
      const arm = element('button', '', 'Spoil next answer');
      arm.id = 'arm-' + stage;
      arm.addEventListener('click', () => post('/sim/fault', {stage: stage, fault: select.value}));
      const clear = element('button', '', 'Clear');
      clear.id = 'clear-' + stage;
      clear.addEventListener('click', () => post('/sim/fault', {stage: stage, fault: ''}));
      line.append(element('strong', '', title), select, arm, clear, element('span', 'armed'));
      box.append(line);
    }
  }
  const armed = state.armedFaults || {};
  for (const [stage] of Stages) {
    document.querySelector('#stage-' + stage + ' .armed').textContent =
      armed[stage] ? 'armed: ' + armed[stage] : '';
  }
}

function render(state) {
  document.getElementById('mode').textContent =
    (state.manual ? 'Every order waits for the phone (--manual). '
                  : 'Orders follow their scanned codes; MANUAL ones wait for the phone. ')
    + 'Unpaid orders expire after ' + state.orderExpirySeconds + ' s.';
  renderOrders(state.orders);
  renderFaults(state);
  renderTable('#requests', state.requests.slice(0, 30).map(request => [
    cell('Time', request.time),
    cell('Request', request.method + ' ' + request.path, 'code'),
    cell('Status', request.status === 0 ? 'no answer' : request.status),
    cell('Fault', request.fault || ''),
  ]));
  renderTable('#sessions', state.sessions.slice().reverse().map(session => [
    cell('Scanned code', session.cpqr_payload, 'code'),
    cell('Quick-pay id', session.quickpay_id, 'code'),
    cell('Scenario', scenarioText(session.scenario), 'code'),
  ]));
  renderTable('#returns', state.returns.slice().reverse().map(refund => [
    cell('Refund', refund.refundId, 'code'),
    cell('Order', refund.client_transaction, 'code'),
    cell('Amount', roubles(refund.cost)),
  ]));
}

let refreshing = false;

async function refresh() {
  if (refreshing)
    return;
  refreshing = true;
  try {
    const response = await fetch(StatePath, {cache: 'no-store'});
    render(await response.json());
    document.body.dataset.updated = String(Date.now());
  } catch (error) {
    document.getElementById('mode').textContent = 'The simulator does not answer.';
  } finally {
    refreshing = false;
  }
}

refresh();
setInterval(refresh, 1000);
