#!/usr/bin/python3
"""The simulator's sandbox page in headless Chromium, with real tills paying against it: pay,
decline, expiry by hand and by time while zorvik-till waits, who sent each order and when, a
page-chosen fault that spoils exactly the next answer of its stage and shows by its word, one
order's requests with their bodies and the credentials masked, refusals in the page's words,
markup that stays text, a screenshot of orders in every state, a reset of the books and a
simulator that stops answering. Waits for conditions with generous bounds; nothing is timed."""

import argparse
import contextlib
import json
import os
import subprocess
import sys
import tempfile
import urllib.request

from selenium import webdriver  # Debian's python3-selenium
from selenium.common.exceptions import StaleElementReferenceException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.expected_conditions import alert_is_present
from selenium.webdriver.support.ui import Select, WebDriverWait

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
EXPIRY_SECONDS = 20
# Bounds for waiting, far above what any step needs; never asserted as durations.
WAIT_SECONDS = 120
INJECTED_CODE = "<img src=x onerror=alert(1)>"
API_KEY = "sandbox-key-0042"
RECEIPT = {"shopCode": 12, "cashCode": 3, "posId": "0003", "cashierId": 42, "positions": [
    {"barcode": "4601234567890", "posnum": 1, "name": "Молоко 1 л", "quantity": 2, "sum": 100.0},
    {"barcode": "", "posnum": 2, "name": "Хлеб", "quantity": 1, "sum": 50.5}]}


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


class Sandbox:
    def __init__(self, arguments, folder):
        self.arguments = arguments
        self.folder = folder
        # Every order waits for the customer's decision on the page.
        self.simulator = subprocess.Popen(
            [arguments.simulator, "--manual", "--listen", "127.0.0.1:0",
             "--order-expiry", str(EXPIRY_SECONDS)], stdout=subprocess.PIPE, text=True)
        line = self.simulator.stdout.readline().strip()
        check(line.startswith("listening on "), f"zorvik-sim did not start: {line!r}")
        self.url = line[len("listening on "):]
        for name, text in (("zorvikcpqr.ini", f"[zorvikcpqr]\nurl={self.url}\napiKey={API_KEY}\n"
                                              "statusRequestInterval=1\nstatusRequestDelay=0\n"),
                           ("receipt.json", json.dumps(RECEIPT, ensure_ascii=False))):
            with open(os.path.join(folder, name), "w", encoding="utf-8") as file:
                file.write(text)
        self.tills = []

    def close(self):
        for till in self.tills:
            till.kill()  # nothing to do for one that has ended
        self.simulator.terminate()
        self.simulator.wait(WAIT_SECONDS)

    def pay(self, kopecks, code):
        """A zorvik-till paying in the background; its one JSON line comes with finish()."""
        name = f"till-{len(self.tills)}"
        till = subprocess.Popen(
            [self.arguments.till, "--json", "--config", "zorvikcpqr.ini", "--receipt",
             "receipt.json", "--queue", name + ".sqlite", "--log", name + ".log",
             "pay", str(kopecks), code], cwd=self.folder, stdout=subprocess.PIPE, text=True)
        self.tills.append(till)
        return till

    def request(self, method, path, body=None):
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(self.url.rstrip("/") + path, data=data, method=method,
                                         headers={"Content-Type": "application/json"})
        try:
            with urllib.request.urlopen(request, timeout=WAIT_SECONDS) as answer:
                return answer.status, answer.read()
        except urllib.error.HTTPError as error:
            return error.code, error.read()

    def transaction_of(self, code):
        """The transaction of the order paid with CODE, once the service has it."""
        def order(_):
            orders = json.loads(self.request("GET", "/sim/state")[1])["orders"]
            return next((order for order in orders if order["cpqr_payload"] == code), None)
        return WebDriverWait(None, WAIT_SECONDS, poll_frequency=0.2).until(
            order, f"no order for {code}")["client_transaction"]

    def create_order(self, code, transaction, title="Сыр"):
        """An order made as a till would, straight over HTTP."""
        session = json.loads(self.request("POST", "/cpqr/start_session", {"cpqr_payload": code})[1])
        return self.request("POST", "/cpqr/operation/create", {
            "cpqr_payload": code, "quickpay_id": session["quickpay_id"],
            "client_transaction": transaction, "cost": 10.0, "posId": "1", "cashierId": "7",
            "cart": {"items": [{"productId": "1", "quantity": {"count": 1}, "title": title,
                                "cost": 10.0}]}})


def finish(till):
    output, _ = till.communicate(timeout=WAIT_SECONDS)
    lines = [line for line in output.splitlines() if line.strip()]
    check(len(lines) == 1, f"the till printed {lines!r}")
    return json.loads(lines[0])


def start_browser(folder):
    for program in (CHROMIUM, CHROMEDRIVER):
        check(os.access(program, os.X_OK), f"{program} is missing; install chromium-driver")
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--window-size=1280,1400", "--user-data-dir=" + os.path.join(folder, "chromium")):
        options.add_argument(flag)
    return webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)


class Page:
    def __init__(self, browser, url):
        self.browser = browser
        # A row is rebuilt when its order changes; a look that met the old one is repeated.
        self.wait = WebDriverWait(browser, WAIT_SECONDS,
                                  ignored_exceptions=(StaleElementReferenceException,))
        browser.get(url)
        self.wait.until(lambda b: b.find_elements(By.ID, "arm-status"))

    def row(self, transaction):
        selector = f'#orders tr[data-transaction="{transaction}"]'
        return next(iter(self.browser.find_elements(By.CSS_SELECTOR, selector)), None)

    def wait_for_state(self, transaction, state):
        self.wait.until(lambda b: self.row(transaction) and self.row(transaction).find_element(
            By.CSS_SELECTOR, ".state").text == state, f"order {transaction} never showed {state}")

    def press(self, transaction, button):
        self.wait_for_state(transaction, "registered")
        self.wait.until(lambda _: self.row(transaction).find_element(
            By.XPATH, f'.//button[text()="{button}"]').click() or True)

    def armed_text(self, stage):
        return self.browser.find_element(By.CSS_SELECTOR, f"#stage-{stage} .armed").text

    def text(self, selector):
        return self.browser.find_element(By.CSS_SELECTOR, selector).text

    def shown(self, element_id):
        return self.browser.find_element(By.ID, element_id).is_displayed()

    def request_rows(self):
        return self.browser.find_elements(By.CSS_SELECTOR, "#requests tbody tr[data-id]")

    def logged(self, transaction):
        """The requests of the order in the log on the page, oldest first: (request, fault)."""
        rows = [row for row in self.request_rows()
                if row.find_element(By.CSS_SELECTOR, '[data-label="Order"]').text == transaction]
        return [(row.find_element(By.CSS_SELECTOR, '[data-label="Request"]').text,
                 row.find_element(By.CSS_SELECTOR, '[data-label="Fault"]').text)
                for row in reversed(rows)]


def decided_from_the_page(sandbox, page, code, button, state):
    """A till pays CODE; the customer presses BUTTON on the page; the till's result."""
    till = sandbox.pay(15050, code)
    transaction = sandbox.transaction_of(code)
    page.press(transaction, button)
    result = finish(till)
    page.wait_for_state(transaction, state)
    return transaction, result


def paid_and_declined_from_the_page(sandbox, page):
    transaction, result = decided_from_the_page(sandbox, page, "ZVQR1", "Pay", "paid")
    check(result["status"] == 0 and result["operationId"] == transaction,
          f"the till did not report the payment of {transaction}: {result}")
    check("Молоко 1 л" in json.dumps(result["additionalData"], ensure_ascii=False),
          f"the till's result lacks the paid cart: {result}")
    # Till 0003 of shop 12, cashier 42: the receipt's; "0012 03" is the default order comment.
    row = page.row(transaction).text
    for shown in ("till 0003, cashier 42", "ZVQR1", "0012 03", "created ", "at "):
        check(shown in row, f"the paid order's row lacks {shown!r}: {row!r}")
    _, result = decided_from_the_page(sandbox, page, "ZVQR2", "Decline", "declined")
    check(result["status"] == 1 and result["message"]["text"] == "Оплата отклонена",
          f"the till did not report the decline: {result}")
    return transaction


def expired_from_the_page(sandbox, page):
    """The service answers an expired order as declined, so that is what the till reports."""
    transaction, result = decided_from_the_page(sandbox, page, "ZVQR4", "Expire now", "expired")
    check(result["status"] == 1 and result["message"]["text"] == "Оплата отклонена",
          f"the till did not report the expired order as declined: {result}")
    check("at " in page.text(f'#orders tr[data-transaction="{transaction}"] [data-label="State"]'),
          "the expired order shows no time it ended")


def one_orders_requests(sandbox, page, transaction):
    """The order's Requests: only its own, with the full target; bodies on demand, masked."""
    page.row(transaction).find_element(By.CSS_SELECTOR, "button.show-requests").click()
    status_target = f"GET /cpqr/operation/result?client_transaction={transaction}"
    page.wait.until(lambda b: page.request_rows() and all(
        row.find_element(By.CSS_SELECTOR, '[data-label="Order"]').text == transaction
        for row in page.request_rows()) and status_target in page.text("#requests tbody"),
        "the order's requests were not shown alone")
    check(page.browser.find_element(By.ID, "request-order").get_attribute("value") == transaction,
          "the filter does not name the order")
    check(len(page.request_rows()) > 2, "the order's requests are missing")
    page.request_rows()[0].find_element(By.CSS_SELECTOR, "button.bodies").click()
    page.wait.until(lambda b: "Answer body" in page.text("#requests tr.details"),
                    "the bodies were not shown")
    details = page.text("#requests tr.details")
    check("api-key: sa… (16 characters)" in details and API_KEY not in details,
          f"the api-key was not masked: {details!r}")
    check(f'"client_transaction": "{transaction}"' in details,
          f"the answer body is missing: {details!r}")


def fault_shows_by_its_word(page):
    page.browser.find_element(By.ID, "request-order").clear()
    page.browser.find_element(By.ID, "request-order").send_keys("fault-1")
    page.wait.until(lambda b: page.logged("fault-1") == [("POST /cpqr/operation/create", "GATEWAY")],
                    "the fault armed as GATEWAY did not show as GATEWAY")
    page.browser.find_element(By.ID, "request-all").click()
    page.wait.until(lambda b: page.logged("fault-2"), "every order's requests did not come back")


def refusal_in_the_pages_words(page):
    page.browser.execute_script("post('/sim/phone', {client_transaction: 'gone-1', state: 'paid'}, "
                                "'Pay gone-1')")
    page.wait.until(lambda b: page.shown("problem"), "the refusal was not shown")
    check(page.text("#problem-text") == "Pay gone-1: there is no such order (error 140).",
          f"the refusal reads {page.text('#problem-text')!r}")
    page.browser.find_element(By.ID, "problem-close").click()
    check(not page.shown("problem"), "the refusal could not be closed")


def reset_forgets_everything(sandbox, page):
    page.browser.find_element(By.ID, "reset").click()
    page.wait.until(alert_is_present()).accept()
    page.wait.until(lambda b: page.shown("no-orders") and page.shown("no-sessions")
                    and page.shown("no-returns"), "the emptied tables did not say so")
    check(not page.browser.find_elements(By.CSS_SELECTOR, "#orders tbody tr"), "orders stayed")
    page.wait.until(lambda b: [row.find_element(By.CSS_SELECTOR, '[data-label="Request"]').text
                               for row in page.request_rows()] == ["POST /sim/reset"],
                    "the request log was not emptied down to the reset")
    state = json.loads(sandbox.request("GET", "/sim/state")[1])
    check(state["orders"] == [] and state["sessions"] == [] and state["returns"] == [],
          f"the simulator kept its books: {state}")


def stale_when_the_simulator_stops(sandbox, page):
    sandbox.simulator.terminate()
    sandbox.simulator.wait(WAIT_SECONDS)
    page.wait.until(lambda b: page.shown("stale") and "stale" in b.find_element(
        By.TAG_NAME, "body").get_attribute("class"), "the page did not say the simulator stopped")
    check(not page.browser.find_element(By.ID, "reset").is_enabled(),
          "the controls of a silent simulator stayed enabled")


def fault_spoils_exactly_the_next_answer(sandbox, page):
    """Order creation: the waiting till asks for status meanwhile, but creates nothing."""
    Select(page.browser.find_element(By.ID, "fault-order")).select_by_visible_text("GATEWAY")
    page.browser.find_element(By.ID, "arm-order").click()
    page.wait.until(lambda b: page.armed_text("order") == "armed: GATEWAY")
    check(page.armed_text("status") == "" and page.armed_text("return") == "",
          "the fault was armed for another stage too")
    spoilt = sandbox.create_order("ZVQR", "fault-1")
    check(spoilt == (502, b""), f"the next order creation was not spoilt: {spoilt}")
    following = sandbox.create_order("ZVQR", "fault-2")
    check(following[0] == 200 and json.loads(following[1])["payment_status"] == "started",
          f"the answer after the spoilt one was spoilt too: {following}")
    page.wait.until(lambda b: page.armed_text("order") == "", "the used fault stayed armed")
    page.wait.until(lambda b: page.row("fault-1") and page.row("fault-2"),
                    "a fault kept an order from being registered")


def markup_stays_text(sandbox, page):
    sandbox.create_order(INJECTED_CODE, "markup-1", title=INJECTED_CODE)
    page.wait.until(lambda b: INJECTED_CODE in b.find_element(By.ID, "sessions").text,
                    "the scanned code did not show as text")
    check(INJECTED_CODE in page.row("markup-1").text, "the cart title did not show as text")
    check(not page.browser.find_elements(By.CSS_SELECTOR, "main img"),
          "the scanned code became an element")
    check(not alert_is_present()(page.browser), "a dialog opened")


def main():
    parser = argparse.ArgumentParser()
    for option in ("--simulator", "--till", "--screenshot"):
        parser.add_argument(option, required=True)
    arguments = parser.parse_args()
    with tempfile.TemporaryDirectory() as folder, contextlib.ExitStack() as cleanup:
        sandbox = Sandbox(arguments, folder)
        cleanup.callback(sandbox.close)
        try:
            expiring = sandbox.pay(5000, "ZVQR3")
            browser = start_browser(folder)
            cleanup.callback(browser.quit)
            page = Page(browser, sandbox.url)
            paid = paid_and_declined_from_the_page(sandbox, page)
            fault_spoils_exactly_the_next_answer(sandbox, page)
            fault_shows_by_its_word(page)
            markup_stays_text(sandbox, page)
            expired_from_the_page(sandbox, page)
            refusal_in_the_pages_words(page)

            page.wait_for_state(sandbox.transaction_of("ZVQR3"), "expired")
            check(finish(expiring)["status"] == 1, "the till did not report the expired order")
            check("waits for the phone" in page.text("#sessions"), "the scenario is not readable")
            for transaction in ("cancelled-1", "waiting-1"):
                sandbox.create_order("ZVQR", transaction)
            sandbox.request("POST", "/cpqr/operation/cancel", {"client_transaction": "cancelled-1"})
            page.wait_for_state("cancelled-1", "cancelled")
            page.wait_for_state("waiting-1", "registered")
            one_orders_requests(sandbox, page, paid)
            browser.set_window_size(1280, 2400)
            browser.execute_script("window.scrollTo(0, 0)")
            browser.save_screenshot(arguments.screenshot)
            reset_forgets_everything(sandbox, page)
            stale_when_the_simulator_stops(sandbox, page)
        except Failure as failure:
            print(f"FAIL: {failure}", file=sys.stderr)
            return 1
    print("PASS: the sandbox page in headless Chromium")
    return 0


if __name__ == "__main__":
    sys.exit(main())
