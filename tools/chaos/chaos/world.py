"""The real parts a schedule plays against: one zorvik-sim, zorvik-till processes, the files."""

import json
import os
import queue
import re
import resource
import signal
import sqlite3
import subprocess
import threading
import time
import urllib.request

JOURNAL_NAME = "zorvikcpqr-journal.sqlite"
# Answers of the slow fault come a little after the till's time-out of 1 s.
TILL_TIMEOUT_SECONDS = 1
SLOW_DELAY_SECONDS = 1.4
ORDER_EXPIRY_SECONDS = 3
RECEIPT = {
    "shopCode": 12,
    "cashCode": 3,
    "posId": "0003",
    "cashierId": 42,
    "positions": [
        {"barcode": "4601234567890", "posnum": 1, "name": "Молоко 1 л", "quantity": 1.5, "sum": 100.0},
        {"barcode": "4601234567891", "posnum": 2, "name": "Хлеб", "quantity": 1, "sum": 50.5},
    ],
}


class SetupError(Exception):
    """A part of the campaign could not be set up: the campaign fails, it proves nothing."""


class Simulator:
    def __init__(self, build_dir, folder):
        self.folder = folder
        self.log = open(os.path.join(folder, "sim.out"), "ab")
        self.process = subprocess.Popen(
            [os.path.join(build_dir, "zorvik-sim"), "--listen", "127.0.0.1:0",
             "--slow-delay", str(SLOW_DELAY_SECONDS), "--order-expiry", str(ORDER_EXPIRY_SECONDS)],
            stdout=subprocess.PIPE, stderr=self.log)
        self.url = self._address()

    def _address(self):
        lines = queue.Queue()
        threading.Thread(target=lambda: lines.put(self.process.stdout.readline()), daemon=True).start()
        try:
            line = lines.get(timeout=10).decode()
        except queue.Empty:
            line = ""
        match = re.search(r"http://127\.0\.0\.1:(\d+)/", line)
        if not match:
            self.stop()
            raise SetupError(f"zorvik-sim did not start: {line.strip() or 'no address printed'}")
        url = match.group(0)
        try:
            json.loads(urllib.request.urlopen(url + "sim/state", timeout=5).read())
        except (OSError, ValueError) as error:
            self.stop()
            raise SetupError(f"zorvik-sim at {url} does not answer as the simulator: {error}")
        return url

    def state(self):
        return self._call("sim/state?latest=1000")

    def phone(self, client_transaction, decision):
        return self._call("sim/phone", {"client_transaction": client_transaction, "state": decision})

    def arm(self, stage, word):
        answer = self._call("sim/fault", {"stage": stage, "fault": word})
        if answer.get("fault") != word:
            raise SetupError(f"the simulator refused the fault {stage} {word}: {answer}")

    def _call(self, path, body=None):
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(self.url + path, data=data,
                                         headers={"Content-Type": "application/json"})
        with urllib.request.urlopen(request, timeout=10) as answer:
            return json.loads(answer.read())

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.log.close()


class TillProcess:
    """One zorvik-till reading commands on standard input, one JSON answer per command."""

    def __init__(self, command, log, disk_full=False):
        self.log = log
        self.process = subprocess.Popen(
            command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
            preexec_fn=_unable_to_grow_files if disk_full else None)
        self.answers = queue.Queue()
        threading.Thread(target=self._read_answers, daemon=True).start()
        threading.Thread(target=self._copy_log, daemon=True).start()

    def _read_answers(self):
        for line in self.process.stdout:
            self.answers.put(json.loads(line))
        self.answers.put(None)

    def _copy_log(self):
        for line in self.process.stderr:
            self.log.write(line)
            self.log.flush()

    def send(self, command):
        self.process.stdin.write((command + "\n").encode())
        self.process.stdin.flush()

    def answer(self, timeout):
        """The next answer; None when the process ended first."""
        try:
            return self.answers.get(timeout=timeout)
        except queue.Empty:
            raise SetupError(f"zorvik-till gave no answer within {timeout} s")

    def alive(self):
        return self.process.poll() is None

    def kill(self):
        self.process.send_signal(signal.SIGKILL)
        return self.process.wait(10) == -signal.SIGKILL

    def interrupt(self):
        self.process.send_signal(signal.SIGINT)

    def close(self):
        if self.alive():
            self.process.stdin.close()
            try:
                self.process.wait(60)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
                raise SetupError("zorvik-till did not end after its input closed")


def _unable_to_grow_files():
    # A full disk as root can make it: no file may grow past a page, and the signal that would
    # kill the process is ignored, so writes fail with EFBIG as they do with ENOSPC.
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    resource.setrlimit(resource.RLIMIT_FSIZE, (4096, 4096))


class Files:
    """The queue and the journal of one worker, and another writer that holds one busy."""

    def __init__(self, folder):
        self.folder = folder
        self.queue = os.path.join(folder, "queue.sqlite")
        self.journal = os.path.join(folder, JOURNAL_NAME)
        self._holder = None

    def path(self, which):
        return self.queue if which == "queue" else self.journal

    def hold(self, which):
        """Takes the file's write lock; False when the file is not there yet."""
        path = self.path(which)
        if not os.path.exists(path):
            return False
        self._holder = sqlite3.connect(path, timeout=10, isolation_level=None)
        self._holder.execute("BEGIN IMMEDIATE")
        return True

    def release(self):
        if self._holder is not None:
            self._holder.execute("ROLLBACK")
            self._holder.close()
            self._holder = None

    def store_old_message(self, request):
        """A cancellation as an older plug-in stored it: without a refund id."""
        message = {"request": request, "valutCode": 643}
        with sqlite3.connect(self.queue, timeout=10) as database:
            database.execute(
                "INSERT INTO messages (queue, message, text, created_at) VALUES (?, ?, '', ?)",
                ("processing", json.dumps(message, separators=(",", ":")), int(time.time() * 1000)))
        database.close()

    def rows(self, which):
        """Every row of every table of the file, by table."""
        path = self.path(which)
        if not os.path.exists(path):
            return {}
        database = sqlite3.connect(f"file:{path}?mode=ro", uri=True, timeout=10)
        try:
            tables = [name for (name,) in database.execute(
                "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%'")]
            return {table: database.execute(f'SELECT * FROM "{table}"').fetchall() for table in tables}
        finally:
            database.close()
