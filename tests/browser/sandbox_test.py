#!/usr/bin/python3
"""The simulator's sandbox page in headless Chromium, with real tills paying against it: pay,
decline and expiry while zorvik-till waits, a page-chosen fault that spoils exactly the next
answer of its stage, markup that stays text, and a screenshot of orders in every state.
Waits for conditions with generous bounds; nothing is timed."""

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
        for name, text in (("zorvikcpqr.ini", f"[zorvikcpqr]\nurl={self.url}\n"
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
    _, result = decided_from_the_page(sandbox, page, "ZVQR2", "Decline", "declined")
    check(result["status"] == 1 and result["message"]["text"] == "Оплата отклонена",
          f"the till did not report the decline: {result}")


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
            paid_and_declined_from_the_page(sandbox, page)
            fault_spoils_exactly_the_next_answer(sandbox, page)
            markup_stays_text(sandbox, page)

            page.wait_for_state(sandbox.transaction_of("ZVQR3"), "expired")
            check(finish(expiring)["status"] == 1, "the till did not report the expired order")
            for transaction in ("cancelled-1", "waiting-1"):
                sandbox.create_order("ZVQR", transaction)
            sandbox.request("POST", "/cpqr/operation/cancel", {"client_transaction": "cancelled-1"})
            page.wait_for_state("cancelled-1", "cancelled")
            page.wait_for_state("waiting-1", "registered")
            browser.save_screenshot(arguments.screenshot)
        except Failure as failure:
            print(f"FAIL: {failure}", file=sys.stderr)
            return 1
    print("PASS: the sandbox page in headless Chromium")
    return 0


if __name__ == "__main__":
    sys.exit(main())
