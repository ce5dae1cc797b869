#!/usr/bin/python3
"""`ostrivane --serve` inside the test namespace, scraped by a real Prometheus.

serve_e2e_test.py BINARY: enters netns_run.sh's namespace itself. The exporter
checks a listed (192.0.2.10) and a clean (192.0.2.20) address against test
zones of dns_server.py; a Prometheus server (Debian's `prometheus`) on
loopback scrapes it every second, and its query API must give back the right
ostrivane_listed values. Then the exporter is attacked (many connections, a
1 MB request, a header that never ends, malformed requests, too many probes)
and must keep serving within bounded memory, and end at SIGTERM. Everything
stays on 127.0.0.1.
"""

import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

import in_namespace
import urllib.error
import urllib.parse
import urllib.request

BINARY = None
LISTED, CLEAN, ADDED = "192.0.2.10", "192.0.2.20", "192.0.2.11"
KEY = "testkey42"  # dns_server.py answers for Spamhaus ZEN under this key only
RULES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "packaging",
                     "prometheus", "ostrivane-rules.yml")
# The exporter's config file: its targets and lists, and a list of its own whose
# meaning needs escaping in a label. ZEN is asked through its key.
CONFIG = """lists = ["bl.test", "bl2.test", "empty.test", "spamhaus-zen"]
targets = [{targets}]
[[list]]
id = "bl-test"
name = "Test list"
zone = "bl.test"
kinds = ["ipv4", "ipv6"]
answer = [{{ code = "127.0.0.4", class = "listing", meaning = "caught in the \\"trap\\" \\\\ 4" }}]
"""


def config_text(*targets):
    return CONFIG.format(targets=", ".join(f'"{t}"' for t in targets))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def get(port, path, headers=None, timeout=10):
    """(status, body) of GET http://127.0.0.1:port/path."""
    request = urllib.request.Request(f"http://127.0.0.1:{port}{path}", headers=headers or {})
    try:
        with urllib.request.urlopen(request, timeout=timeout) as reply:
            return reply.status, reply.read().decode("utf-8", "replace")
    except urllib.error.HTTPError as error:
        return error.code, error.read().decode("utf-8", "replace")


def raw(port, data, read=True, timeout=10):
    """Sends bytes as they are; the status line's code, or None when cut off."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        try:
            s.sendall(data)
            if not read:
                return None
            reply = s.recv(4096)
        except (ConnectionResetError, BrokenPipeError, socket.timeout):
            return None
    parts = reply.split(b" ", 2)
    return int(parts[1]) if len(parts) > 1 and parts[1].isdigit() else None


def at_once(count, request):
    """What request(index) gives, made from `count` threads at once."""
    results = []
    lock = threading.Lock()

    def one(index):
        result = request(index)
        with lock:
            results.append(result)

    threads = [threading.Thread(target=one, args=(index,)) for index in range(count)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    return results


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


# How long the test waits for something to happen before it fails: a bound
# against hanging only, never a measure of speed.
HANG_BOUND_S = 60


def wait_until(what, predicate):
    deadline = time.monotonic() + HANG_BOUND_S
    while time.monotonic() < deadline:
        try:
            value = predicate()
        except OSError:  # refused, cut off or timed out: not yet
            value = None
        if value:
            return value
        time.sleep(0.2)
    raise AssertionError(f"timed out waiting for {what}")


class Exporter(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="ostrivane-serve-")
        cls.history = os.path.join(cls.scratch, "history.sqlite")
        cls.port = free_port()
        cls.config = os.path.join(cls.scratch, "ostrivane.toml")
        cls.write_config(config_text(LISTED, CLEAN))
        cls.log = open(os.path.join(cls.scratch, "serve.log"), "w+")
        environment = dict(os.environ, OSTRIVANE_KEY_SPAMHAUS=KEY,
                           OSTRIVANE_CONFIG_DIR=os.path.join(cls.scratch, "etc"))
        cls.process = subprocess.Popen(
            [BINARY, "--serve", f"127.0.0.1:{cls.port}", "--config", cls.config,
             "--server", "127.0.0.1", "--timeout", "1", "--history", cls.history],
            stdout=cls.log, stderr=subprocess.STDOUT, env=environment)
        wait_until("the first check", lambda: cls.healthy_with_results())

    @classmethod
    def write_config(cls, text):
        with open(cls.config, "w") as out:
            out.write(text)

    @classmethod
    def healthy_with_results(cls):
        try:
            return get(cls.port, "/healthz", timeout=2) == (200, "ok\n")
        except OSError:
            return False

    @classmethod
    def tearDownClass(cls):
        if cls.process.poll() is None:
            cls.process.kill()
            cls.process.wait()
        cls.log.close()
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def assertServing(self, after):
        status, body = get(self.port, "/metrics")
        self.assertEqual(status, 200, after)
        self.assertIn(f'ostrivane_listed{{subject="{LISTED}"', body, after)

    # ---- what it serves ------------------------------------------------

    def test_01_metrics_pass_promtool(self):
        status, body = get(self.port, "/metrics")
        self.assertEqual(status, 200)
        lint = subprocess.run(["promtool", "check", "metrics"], input=body, text=True,
                              capture_output=True)
        self.assertEqual((lint.returncode, lint.stdout + lint.stderr), (0, ""), body)

    def test_02_paths(self):
        cases = [
            ("/", 200, 'href="metrics"'),
            ("/healthz", 200, "ok"),
            ("/nothing-here", 404, "Not found"),
            ("/metrics/", 404, "Not found"),
            (f"/probe?target={LISTED}&zone=bl.test", 200,
             f'ostrivane_listed{{subject="{LISTED}",target="{LISTED}",zone="bl.test",'
             'list="Test list"} 1'),
            # A mail target: every address its SPF record authorises.
            (f"/probe?target=spf:narrow-spf.test&zone=bl.test", 200,
             f'ostrivane_listed{{subject="{LISTED}",target="spf:narrow-spf.test",zone="bl.test",'
             'list="Test list"} 1'),
        ]
        for path, code, text in cases:
            status, body = get(self.port, path)
            self.assertEqual(status, code, path)
            self.assertIn(text, body, path)

    def test_03_prometheus_reads_listed_and_clean(self):
        prometheus = shutil.which("prometheus")
        if prometheus is None:
            self.skipTest("prometheus is not installed (scripts/lib.sh installs it)")
        web = free_port()
        folder = os.path.join(self.scratch, "prometheus")
        os.mkdir(folder)
        config = os.path.join(folder, "prometheus.yml")
        with open(config, "w") as out:
            out.write("global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
                      f"rule_files:\n  - {RULES}\n"
                      "scrape_configs:\n  - job_name: ostrivane\n"
                      f"    static_configs:\n      - targets: ['127.0.0.1:{self.port}']\n")
        with open(os.path.join(folder, "log"), "w") as log:
            server = subprocess.Popen(
                [prometheus, f"--config.file={config}", f"--storage.tsdb.path={folder}/data",
                 f"--web.listen-address=127.0.0.1:{web}"], stdout=log, stderr=subprocess.STDOUT)
        try:
            def value(query):
                path = "/api/v1/query?" + urllib.parse.urlencode({"query": query})
                try:
                    status, body = get(web, path, timeout=2)
                except OSError:
                    return None
                result = json.loads(body)["data"]["result"] if status == 200 else []
                return result[0]["value"][1] if result else None

            cases = [
                (f'ostrivane_listed{{subject="{LISTED}",zone="bl.test"}}', "1"),
                (f'ostrivane_listed{{subject="{LISTED}",zone="bl2.test"}}', "1"),
                (f'ostrivane_listed{{subject="{CLEAN}",zone="bl.test"}}', "0"),
                ('ostrivane_list_healthy{zone="empty.test",family="ipv4"}', "0"),
                ('ostrivane_last_check_results{verdict="broken-zone"}', "2"),
                ('up{job="ostrivane"}', "1"),
            ]
            for query, expected in cases:
                wait_until(query, lambda: value(query) is not None)
                self.assertEqual(value(query), expected, query)

            # The README's alerting rules: the listing fires at once, the
            # dead list waits for its hour.
            def alerts():
                status, body = get(web, "/api/v1/alerts", timeout=2)
                found = json.loads(body)["data"]["alerts"] if status == 200 else []
                return sorted((a["labels"]["alertname"], a["labels"].get("subject", ""),
                               a["labels"]["zone"], a["state"]) for a in found)

            expected = [("OstrivaneListBroken", "", "empty.test", "pending"),
                        ("OstrivaneNewListing", LISTED, "bl.test", "firing"),
                        ("OstrivaneNewListing", LISTED, "bl2.test", "firing"),
                        ("OstrivaneNewListing", LISTED, "zen.dq.spamhaus.net", "firing")]
            wait_until("the alerts", lambda: alerts() == expected)
        finally:
            server.terminate()
            server.wait(timeout=20)

    def test_04_history_is_recorded_as_check_records_it(self):
        timeline = subprocess.run([BINARY, "--timeline", "--history", self.history, LISTED],
                                  capture_output=True, text=True)
        self.assertEqual(timeline.returncode, 0, timeline.stderr)
        self.assertIn("bl.test", timeline.stdout)

    def test_05_answers_carry_the_catalogs_meaning_and_no_key(self):
        _, body = get(self.port, "/metrics")
        cases = [
            ("the config's own list, its meaning escaped",
             f'ostrivane_answer_info{{subject="{LISTED}",zone="bl.test",list="Test list",'
             'answer="127.0.0.4",class="listing",meaning="caught in the \\"trap\\" \\\\ 4"} 1'),
            ("a catalog list asked with its key, shown without it",
             f'ostrivane_answer_info{{subject="{LISTED}",zone="zen.dq.spamhaus.net",'
             'list="Spamhaus ZEN",answer="127.0.0.10",class="policy-listing",'
             'meaning="PBL set by the ISP: an end-user range that should not send mail directly"} 1'),
            ("a list the catalog does not know: the class by range",
             f'ostrivane_answer_info{{subject="{LISTED}",zone="bl2.test",list="",'
             'answer="127.0.0.10",class="listing",meaning=""} 1'),
        ]
        for what, line in cases:
            self.assertIn(line, body, what)
        self.assertNotIn(KEY, body)

    def test_06_a_config_it_cannot_use_at_the_start_is_status_3(self):
        cases = [
            ("a bad target", config_text(LISTED, "mail!"), "line 2: target 'mail!'"),
            ("no target", "lists = [\"bl.test\"]\n", "no target given"),
            ("an interval too short", "targets = [\"192.0.2.1\"]\ninterval = 5\n",
             "line 2: \"interval\" must be whole seconds, at least 60"),
        ]
        config = os.path.join(self.scratch, "bad.toml")
        for what, text, said in cases:
            with open(config, "w") as out:
                out.write(text)
            done = subprocess.run([BINARY, "--serve", f"127.0.0.1:{free_port()}", "--config",
                                   config, "--no-history"], capture_output=True, text=True,
                                  timeout=10)
            self.assertEqual(done.returncode, 3, what)
            self.assertIn(said, done.stderr, what)
            if what != "no target":
                self.assertIn(f"{config}: {said}", done.stderr, what)

    # ---- abuse ---------------------------------------------------------

    def test_10_many_connections_at_once(self):
        before = rss_kib(self.process.pid)
        codes = at_once(
            200, lambda _: raw(self.port, b"GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n", timeout=15))
        self.assertEqual(len(codes), 200)
        self.assertTrue(set(codes) <= {200, 503, None}, codes)
        self.assertGreater(codes.count(200), 0)
        self.assertServing("after 200 connections")
        self.assertLess(rss_kib(self.process.pid) - before, 64 * 1024)

    def test_11_idle_connections_are_cut_off(self):
        held = [socket.create_connection(("127.0.0.1", self.port)) for _ in range(100)]
        try:
            # Each gets at most 5 s to send its request, counted from its
            # acceptance: then they are cut off and it serves again.
            wait_until("serving again", lambda: get(self.port, "/healthz", timeout=2)[0] == 200)
        finally:
            for s in held:
                s.close()
        self.assertServing("after 100 idle connections")

    def test_12_oversized_requests(self):
        megabyte = b"a" * (1 << 20)
        cases = [
            ("1 MB request line", b"GET /metrics?" + megabyte + b" HTTP/1.1\r\n\r\n", {414, 400, None}),
            ("1 MB body", b"POST /metrics HTTP/1.1\r\nContent-Length: 1048576\r\n\r\n" + megabyte,
             {413, 404, 400, None}),
            ("1 MB of headers", b"GET /metrics HTTP/1.1\r\n" + b"X-A: b\r\n" * 131072 + b"\r\n",
             {400, 431, None}),
        ]
        before = rss_kib(self.process.pid)
        for what, data, codes in cases:
            self.assertIn(raw(self.port, data), codes, what)
            self.assertServing(what)
        self.assertLess(rss_kib(self.process.pid) - before, 32 * 1024)

    def test_13_a_header_that_never_ends(self):
        before = rss_kib(self.process.pid)
        sent = 0
        with socket.create_connection(("127.0.0.1", self.port), timeout=10) as s:
            s.sendall(b"GET /metrics HTTP/1.1\r\nX-Endless: ")
            chunk = b"a" * 65536
            try:
                for _ in range(1600):  # up to 100 MB, if nobody stops us
                    s.sendall(chunk)
                    sent += len(chunk)
            except (ConnectionResetError, BrokenPipeError, socket.timeout):
                pass
        self.assertLess(sent, 16 << 20, "the server kept reading a header without end")
        self.assertServing("after a header without end")
        self.assertLess(rss_kib(self.process.pid) - before, 32 * 1024)

    def test_14_malformed_requests(self):
        cases = [
            (b"GET /probe?target=%zz HTTP/1.1\r\n\r\n", {400}),
            (b"GET /probe?=&&&= HTTP/1.1\r\n\r\n", {400}),
            (b"GET /probe?target HTTP/1.1\r\n\r\n", {400}),
            (b"GET /probe?target=1.2.3.4&target=5.6.7.8 HTTP/1.1\r\n\r\n", {400}),
            (b"GET /probe?target=192.0.2.10&zone=elsewhere.example HTTP/1.1\r\n\r\n", {400}),
            (b"GET /probe?target=%00 HTTP/1.1\r\n\r\n", {400}),
            (b"GET /probe?target=\xff\xfe HTTP/1.1\r\n\r\n", {400}),
            (b"GET /probe?target=- HTTP/1.1\r\n\r\n", {400}),
            (b"GET /probe?target=10.0.0.0/8 HTTP/1.1\r\n\r\n", {400}),
            (b"GET /probe?target=192.0.2.10&module=dns HTTP/1.1\r\n\r\n", {400}),
            (b"GARBAGE\r\n\r\n", {400, None}),
            (b"GET\r\n\r\n", {400, None}),
            (b"GET /metrics HTTP/9.9\r\n\r\n", {200, 400, 505, None}),
            (b"\r\n\r\n\r\n", {400, None}),
            (b"GET /probe?target=192.0.2.10 HTTP/1.1\r\nContent-Length: -5\r\n\r\n", {400, 200, None}),
        ]
        for request, codes in cases:
            self.assertIn(raw(self.port, request), codes, request)
        self.assertServing("after malformed requests")

    def test_15_probes_beyond_the_rate_get_429(self):
        time.sleep(2.5)  # the bucket fills up again: a burst of 10
        probe = f"/probe?target={CLEAN}&zone=bl.test"
        codes = [get(self.port, probe)[0] for _ in range(8)]
        self.assertEqual(codes, [200] * 8, codes)
        # Then 40 at once: however slowly this machine serves them, they come
        # faster than the 5 a second the bucket gains.
        flood = at_once(40, lambda _: get(self.port, probe)[0])
        self.assertIn(429, flood)
        self.assertTrue(set(flood) <= {200, 429}, flood)
        _, body = get(self.port, "/metrics")
        self.assertRegex(body, r'ostrivane_probes_total\{outcome="rate-limited"\} [1-9]')

    def test_16_a_probe_asks_about_few_addresses(self):
        time.sleep(2.5)  # the bucket fills up again
        cases = [
            ("a block of 512 addresses", "198.51.100.0/23", "a probe asks about at most 256"),
            ("a mail domain whose SPF record authorises 512 addresses", "mail:wide-spf.test",
             "covers 512 addresses, more than the 256 allowed"),
        ]
        for what, target, reason in cases:
            status, body = get(self.port, "/probe?" + urllib.parse.urlencode({"target": target}))
            self.assertEqual(status, 422, what)
            self.assertIn(reason, body, what)
        _, body = get(self.port, "/metrics")
        self.assertIn('ostrivane_probes_total{outcome="too-large"} 2', body)

    def test_17_a_bounded_number_of_probes_at_once(self):
        # Host names that never get an answer hold each probe for its
        # time-out: of 8 at once, 4 run and the others are turned away.
        time.sleep(2.5)
        codes = at_once(8, lambda index: get(self.port, f"/probe?target=p{index}.silent.test",
                                             timeout=15)[0])
        self.assertEqual(sorted(set(codes)), [200, 429], codes)
        self.assertLessEqual(codes.count(200), 4, codes)
        _, body = get(self.port, "/metrics")
        self.assertRegex(body, r'ostrivane_probes_total\{outcome="busy"\} [1-9]')

    # ---- signals -------------------------------------------------------

    def checks(self):
        _, body = get(self.port, "/metrics")
        line = next(l for l in body.splitlines() if l.startswith("ostrivane_checks_total"))
        return float(line.split()[1])

    def test_20_sighup_rereads_the_config(self):
        before = self.checks()
        self.write_config(config_text(LISTED, CLEAN, ADDED))
        self.process.send_signal(signal.SIGHUP)
        wait_until("a check after SIGHUP", lambda: self.checks() > before)
        _, body = get(self.port, "/metrics")
        self.assertIn(f'ostrivane_listed{{subject="{ADDED}",target="{ADDED}",zone="bl.test"', body)

    def test_21_a_broken_config_keeps_the_previous_one(self):
        cases = [
            # what, config text, the line and problem said
            ("a bad target", config_text(LISTED, "mail!"), "line 2: target 'mail!'"),
            ("a syntax error", "lists = [\n", "line 1: "),
            ("an unknown list of the catalog's", "targets = [\"192.0.2.1\"]\n[[list]]\nid = 3\n",
             "line 3"),
        ]
        for count, (what, text, said) in enumerate(cases, start=1):
            before = self.checks()
            # What the exporter says from here on is about this case: it said
            # the previous case's problem before it checked again.
            log_mark = os.path.getsize(self.log.name)
            self.write_config(text)
            self.process.send_signal(signal.SIGHUP)
            wait_until(what, lambda: self.checks() > before)
            _, body = get(self.port, "/metrics")
            self.assertIn(f'ostrivane_errors_total{{kind="config"}} {count}', body, what)
            # The previous settings still check the added target.
            self.assertIn(f'ostrivane_listed{{subject="{ADDED}"', body, what)
            with open(self.log.name) as log:
                log.seek(log_mark)
                said_since = log.read()
            self.assertIn(f"the previous ones stay: {self.config}: {said}", said_since, what)

    def test_99_sigterm_ends_it(self):
        self.process.send_signal(signal.SIGTERM)
        self.assertEqual(self.process.wait(timeout=HANG_BOUND_S), 0)


if __name__ == "__main__":
    sys.exit(in_namespace.main(globals()))
