"""The invariants of money, checked against the service's books and what the host was told."""

import json
import sqlite3

from .record import SUCCESS

UNPAID = ("declined", "expired", "cancelled")


def kopecks(roubles):
    return round(roubles * 100)


def check(orders, state, queue_rows, journal_tables, deferred_after_made):
    """The broken invariants, one text each; empty when the money is exact. deferred_after_made:
    (order, amount) of deferrals stored after the service had made such a return."""
    told = {order.code: order for order in orders}
    known = {order["client_transaction"]: order for order in state["orders"]}
    broken = []
    queued = [json.loads(row[2]).get("request", {}) for row in queue_rows]
    for booked in state["orders"]:
        still_queued = {q.get("amount") for q in queued
                        if q.get("operationId") == booked["client_transaction"]}
        broken += check_order(booked, told.get(booked["cpqr_payload"]), still_queued)
    lost = {(order.client_transaction, ret.amount) for order in orders for ret in order.returns
            if order.lost_answer(ret.amount)}
    separate = {(order.client_transaction, ret.amount) for order in orders for ret in order.returns
                if ret.after_settled or ret.legacy} | deferred_after_made
    broken += check_queue(queue_rows, known, separate)
    broken += check_journal(journal_tables, lost)
    return broken


def check_order(booked, host, still_queued):
    name = f"order {booked['cpqr_payload']} ({booked['client_transaction'][:8]})"
    cost, returned, state = kopecks(booked["cost"]), kopecks(booked["returned"]), booked["state"]
    paid = state == "paid"
    broken = []
    if state == "registered":
        broken.append(f"settled: {name} stays registered")
    if returned > cost:
        broken.append(f"returns: {name} returned {returned / 100:.2f} of {cost / 100:.2f} paid")
    if not paid and returned:
        broken.append(f"returns: {name} is {state} yet {returned / 100:.2f} was returned")
    if host is None:
        broken.append(f"host: {name} is at the service, no payment of the host made it")
        return broken
    asked = min(host.asked(), cost)
    if host.payment == SUCCESS:
        if not paid:
            broken.append(f"host: {name} reported paid, the service has it {state}")
        elif returned > asked:
            broken.append(f"host: {name} reported paid, returned {returned / 100:.2f} while the "
                          f"host asked {asked / 100:.2f}")
    elif paid and returned != cost:
        broken.append(f"host: {name} reported {host.payment}, yet the customer paid "
                      f"{cost / 100:.2f} and got back {returned / 100:.2f}")
    reported = host.reported_returned(still_queued)
    if paid and reported > returned:
        broken.append(f"host: {name} was told {reported / 100:.2f} returned, the service "
                      f"returned {returned / 100:.2f}")
    return broken


def check_queue(queue_rows, known, separate):
    """The queue is empty, but for what the README says may stay: a message of an order the
    service never saw (a till killed before the registration left the machine), and a return
    asked after one of the same order and amount was settled when the order has nothing left
    (the service refuses it; support deletes it)."""
    broken = []
    for row in queue_rows:
        request = json.loads(row[2]).get("request", {})
        booked = known.get(request.get("operationId", ""))
        amount = request.get("amount")
        if booked is None or nothing_left_after_same(booked, amount, separate):
            continue
        broken.append(f"queue: the cancellation of {booked['client_transaction'][:8]} stays "
                      f"(attempts {row[4]})")
    return broken


def nothing_left_after_same(booked, amount, separate):
    left = kopecks(booked["cost"]) - kopecks(booked["returned"])
    return left < amount and (booked["client_transaction"], amount) in separate


def check_journal(journal_tables, lost):
    """Every table of the journal is empty, but for a noted return whose answer was lost and
    that nobody asked again (the README says it stays noted). The settled returns are the ids
    the service has decided, kept for good: history, not money in flight."""
    broken = []
    for table, rows in journal_tables.items():
        if table == "settled_returns":
            continue
        for row in rows:
            if table == "returns" and (row[0], row[1]) in lost:
                continue
            broken.append(f"journal: a row of {table} stays ({str(row[0])[:8]})")
    return broken


def journal_durability(path):
    """Why a commit of the journal may not survive a power cut; empty when it does. In the
    rollback-journal mode a commit ends by deleting the rollback file, a deletion SQLite does not
    sync: a power cut right after it brings the file back and undoes the commit. WAL needs no
    such deletion."""
    database = sqlite3.connect(f"file:{path}?mode=ro", uri=True, timeout=10)
    try:
        mode = database.execute("PRAGMA journal_mode").fetchone()[0]
    finally:
        database.close()
    if mode == "wal":
        return ""
    return (f"durability: the journal commits in {mode} mode: a power cut right after a "
            f"commit can undo it (the rollback file's deletion is not synced)")
