#!/usr/bin/python3
"""`ostrivane --check` against the test DNS server (dns_server.py).

check_e2e_test.py BINARY: enters netns_run.sh's namespace itself, each case
with a DNS server of its own whose questions it reads. Every case of
the table runs in all three formats; the verdicts, the exit statuses and the
shape of each output must agree. Then the run with dead zones must ask a
dead zone few questions, the JSON output must follow its schema, and usage
errors must check nothing.
"""

import atexit
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

import in_namespace

BINARY = None

V6_99 = "2001:db8::99"
V6_20 = "2001:db8::20"

OPENMETRICS_LISTED = re.compile(
    r'^ostrivane_listed\{subject="([^"]*)",target="[^"]*",zone="([^"]*)",list="[^"]*"\} (\d)$',
    re.M)

# zones, targets, stdin -> {(address, zone): verdict}, text/json status, nagios status
CASES = [
    ("listed on two lists, clean on one",
     ["bl.test", "bl2.test", "v4only.test"], ["192.0.2.10"], None,
     {("192.0.2.10", "bl.test"): "listed", ("192.0.2.10", "bl2.test"): "listed",
      ("192.0.2.10", "v4only.test"): "listed"}, 1, 2),
    ("clean address",
     ["bl.test", "bl2.test"], ["192.0.2.20"], None,
     {("192.0.2.20", "bl.test"): "not-listed", ("192.0.2.20", "bl2.test"): "not-listed"}, 0, 0),
    # Each family is judged by its own test points (RFC 5782): a list that
    # does not list ::FFFF:7F00:2 does not cover IPv6 addresses.
    ("every address of a host, IPv6 by nibbles; an IPv4-only list does not cover IPv6",
     ["bl.test", "v4only.test"], ["v6.test"], None,
     {(V6_99, "bl.test"): "listed", (V6_99, "v4only.test"): "not-covered",
      (V6_20, "bl.test"): "not-listed", (V6_20, "v4only.test"): "not-covered",
      ("192.0.2.20", "bl.test"): "not-listed", ("192.0.2.20", "v4only.test"): "not-listed"},
     1, 2),
    # A parked domain answers every name with its web server's address: no
    # blacklist answers outside 127.0.0.0/8, so like an error code that is a
    # list error, whatever the zone's state.
    ("broken zones: lists everything, empty, dead; refusing and parked zones",
     ["bl.test", "wild.test", "parked.test", "empty.test", "servfail.test", "refuse.test"],
     ["192.0.2.20"], None,
     {("192.0.2.20", "bl.test"): "not-listed", ("192.0.2.20", "wild.test"): "broken-zone",
      ("192.0.2.20", "parked.test"): "list-error", ("192.0.2.20", "empty.test"): "broken-zone",
      ("192.0.2.20", "servfail.test"): "broken-zone",
      ("192.0.2.20", "refuse.test"): "list-error"}, 4, 1),
    ("a listing on a list that lists everything is no listing",
     ["wild.test"], ["192.0.2.10"], None,
     {("192.0.2.10", "wild.test"): "broken-zone"}, 4, 1),
    ("an unresolvable host beside a clean address",
     ["bl.test"], ["nowhere.test", "192.0.2.20"], None,
     {("192.0.2.20", "bl.test"): "not-listed"}, 2, 3),
    ("a listing wins over an unresolvable host",
     ["bl.test"], ["nowhere.test", "192.0.2.11"], None,
     {("192.0.2.11", "bl.test"): "listed"}, 1, 2),
    ("a block, with an address given twice (by host and by address)",
     ["bl.test"], ["192.0.2.10/31", "listed.test", "192.0.2.10"], None,
     {("192.0.2.10", "bl.test"): "listed", ("192.0.2.11", "bl.test"): "listed"}, 1, 2),
    ("targets on standard input, comments and blank lines skipped",
     ["bl2.test"], ["-"], "# mail servers\n\n  192.0.2.10  \nclean.test\n",
     {("192.0.2.10", "bl2.test"): "listed", ("192.0.2.20", "bl2.test"): "not-listed"}, 1, 2),
    # Host names go through c-ares, all at once: names under the silent zones
    # never get an answer, which is no answer (incomplete), not "does not resolve".
    ("host names whose lookup gets no answer beside a clean address",
     ["bl.test"], ["a.silent.test", "b.silent2.test", "192.0.2.20"], None,
     {("192.0.2.20", "bl.test"): "not-listed"}, 4, 1),
    ("a listing wins over a host name without an answer",
     ["bl.test"], ["a.silent.test", "192.0.2.11"], None,
     {("192.0.2.11", "bl.test"): "listed"}, 1, 2),
    ("an IPv6-only list lists IPv6 addresses and does not cover IPv4 ones",
     ["v6only.test", "bl2.test"], [V6_99, "192.0.2.10"], None,
     {(V6_99, "v6only.test"): "listed", (V6_99, "bl2.test"): "not-covered",
      ("192.0.2.10", "v6only.test"): "not-covered", ("192.0.2.10", "bl2.test"): "listed"}, 1, 2),
    ("an address that no working list covers is incomplete",
     ["v4only.test", "bl2.test"], [V6_20], None,
     {(V6_20, "v4only.test"): "not-covered", (V6_20, "bl2.test"): "not-covered"}, 4, 1),
    # Only NXDOMAIN or no record for the name asked is not listed: an A
    # record of another name and a CNAME loop are no answer; a CNAME chain
    # to a listing is followed.
    ("foreign records and CNAME loops are no answer; a CNAME chain is followed",
     ["tricky.test"], ["192.0.2.30", "192.0.2.31", "192.0.2.32"], None,
     {("192.0.2.30", "tricky.test"): "no-answer", ("192.0.2.31", "tricky.test"): "no-answer",
      ("192.0.2.32", "tricky.test"): "listed"}, 1, 2),
    ("an IPv6 block of two",
     ["bl.test"], ["2001:db8::98/127"], None,
     {("2001:db8::98", "bl.test"): "not-listed", (V6_99, "bl.test"): "listed"}, 1, 2),
    # silent.test drops every question: its SPF (TXT) and MX lookups time out.
    ("a mail domain whose lookups get no answer is incomplete, beside a clean address",
     ["bl.test"], ["mail:silent.test", "192.0.2.20"], None,
     {("192.0.2.20", "bl.test"): "not-listed"}, 4, 1),
    ("an unanswered mail domain on standard input, and a listing that outranks it",
     ["bl.test"], ["-"], "mx:silent.test\nlisted.test\n",
     {("192.0.2.10", "bl.test"): "listed"}, 1, 2),
]

VERDICTS = {"listed", "not-listed", "no-answer", "list-error", "broken-zone", "not-covered"}
TEXT_LINE = re.compile(r"^  (\S+)\s+(" + "|".join(sorted(VERDICTS, key=len, reverse=True)) + r")\b")
NAGIOS_FIRST = re.compile(
    r"^OSTRIVANE (OK|WARNING|CRITICAL|UNKNOWN) - [^|\n]+ \| listed=(\d+);;0;0;(\d+) "
    r"no_answer=(\d+) broken_zones=(\d+) incomplete=(\d+);0;;0;\d+ time=\d+\.\d{3}s$")
NAGIOS_STATES = ["OK", "WARNING", "CRITICAL", "UNKNOWN"]


# Every run records its history, as it would from cron; here in a folder of
# the test's own, never in the history of whoever runs the tests.
STATE_HOME = tempfile.mkdtemp(prefix="ostrivane-check-state.")
atexit.register(shutil.rmtree, STATE_HOME, ignore_errors=True)
os.environ["XDG_STATE_HOME"] = STATE_HOME
# Nor the machine's or the user's config files and keys.
os.environ["OSTRIVANE_CONFIG_DIR"] = os.path.join(STATE_HOME, "etc")
os.environ["XDG_CONFIG_HOME"] = os.path.join(STATE_HOME, "config")
for variable in [name for name in os.environ if name.startswith("OSTRIVANE_KEY_")]:
    del os.environ[variable]


def run(args, stdin=None):
    done = subprocess.run([BINARY, "--check", *args], input=stdin or "", capture_output=True,
                          text=True, timeout=60)
    return done.returncode, done.stdout, done.stderr


def zone_args(zones):
    return [arg for zone in zones for arg in ("--zone", zone)]


def text_verdicts(stdout):
    verdicts, address = {}, None
    for line in stdout.splitlines():
        if line and not line.startswith(" ") and not line.startswith("Summary:") and ":" not in line.split(" ")[0][-1:]:
            address = line.split(" ")[0]
            continue
        match = TEXT_LINE.match(line)
        if match:
            verdicts[(address, match.group(1))] = match.group(2)
    return verdicts


def check_schema(test, document):
    """The JSON output's schema, as the manual page and README give it."""
    def is_time(value):
        return isinstance(value, str) and re.fullmatch(
            r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ", value) is not None

    test.assertEqual(set(document), {"checked_at", "duration_ms", "zones", "results",
                                     "unresolved_targets", "unanswered_targets", "findings",
                                     "notices", "summary"})
    test.assertTrue(all(isinstance(notice, str) for notice in document["notices"]))
    states = {"healthy", "lists-everything", "empty-or-dead", "refuses-us"}
    test.assertTrue(is_time(document["checked_at"]), document["checked_at"])
    test.assertIsInstance(document["duration_ms"], int)
    test.assertGreaterEqual(document["duration_ms"], 0)
    for zone in document["zones"]:
        test.assertEqual(set(zone), {"zone", "name", "state", "ipv4", "ipv6", "kind"})
        test.assertIn(zone["kind"], {"addresses", "domains"})
        test.assertIn(zone["ipv4"], states)
        test.assertIn(zone["ipv6"], states)
        test.assertEqual(zone["state"] == "healthy", "healthy" in (zone["ipv4"], zone["ipv6"]))
        test.assertIsInstance(zone["zone"], str)
        test.assertIsInstance(zone["name"], str)
        test.assertIn(zone["state"],
                      {"healthy", "lists-everything", "empty-or-dead", "refuses-us"})
    for result in document["results"]:
        test.assertEqual(set(result), {"target", "address", "zone", "verdict", "answers",
                                       "answer_meanings", "reason", "change", "since", "via"})
        # Beside each answer of a catalog list, none for another.
        test.assertIn(len(result["answer_meanings"]), {0, len(result["answers"])})
        for answer, meaning in zip(result["answers"], result["answer_meanings"]):
            test.assertEqual(meaning["answer"], answer)
            test.assertIn(meaning["class"], {"listing", "policy-listing", "list-error"})
            test.assertTrue(meaning["meaning"] is None or isinstance(meaning["meaning"], str))
        test.assertTrue(all(isinstance(way, str) for way in result["via"]))
        for key in ("target", "address", "zone"):
            test.assertIsInstance(result[key], str)
        test.assertIn(result["verdict"], VERDICTS)
        test.assertIsInstance(result["answers"], list)
        for answer in result["answers"]:
            test.assertRegex(answer, r"^\d+\.\d+\.\d+\.\d+$")
        test.assertTrue(result["reason"] is None or isinstance(result["reason"], str))
        test.assertIn(result["change"], {None, "new", "ongoing", "cleared"})
        test.assertTrue(result["since"] is None or is_time(result["since"]))
    test.assertIsInstance(document["unresolved_targets"], list)
    for finding in document["findings"]:
        test.assertEqual(set(finding), {"target", "kind", "text"})
        test.assertIn(finding["kind"], {"note", "permerror", "incomplete"})
    summary = document["summary"]
    test.assertEqual(set(summary), {"addresses", "zones", "listed", "not_listed", "no_answer",
                                    "list_error", "broken_zone", "unresolved_targets",
                                    "unanswered_targets", "not_covered", "uncovered_addresses"})
    test.assertTrue(all(isinstance(value, int) for value in summary.values()))
    verdicts = [result["verdict"] for result in document["results"]]
    for key, verdict in (("listed", "listed"), ("not_listed", "not-listed"),
                         ("no_answer", "no-answer"), ("list_error", "list-error"),
                         ("broken_zone", "broken-zone"), ("not_covered", "not-covered")):
        test.assertEqual(summary[key], verdicts.count(verdict), key)
    test.assertEqual(summary["zones"], len(document["zones"]))
    test.assertEqual(summary["addresses"], len({r["address"] for r in document["results"]}))
    for key in ("unresolved_targets", "unanswered_targets"):
        test.assertIsInstance(document[key], list)
        test.assertEqual(summary[key], len(document[key]))
    test.assertEqual(len(document["results"]), summary["addresses"] * summary["zones"])


class Check(unittest.TestCase):
    maxDiff = None

    def test_table_in_every_format(self):
        for name, zones, targets, stdin, verdicts, status, nagios in CASES:
            args = zone_args(zones) + targets
            with self.subTest(name, format="json"):
                code, out, err = run(["--format", "json", *args], stdin)
                document = json.loads(out)
                check_schema(self, document)
                got = {(r["address"], r["zone"]): r["verdict"] for r in document["results"]}
                self.assertEqual(got, verdicts)
                self.assertEqual(code, status, err)
                for result in document["results"]:
                    if result["verdict"] == "listed":
                        self.assertIn("Listed for testing", result["reason"])
            with self.subTest(name, format="text"):
                code, out, err = run(args, stdin)
                self.assertEqual(text_verdicts(out), verdicts, out)
                self.assertEqual(code, status, err)
                self.assertRegex(out.splitlines()[-1], r"^Summary: ")
            with self.subTest(name, format="openmetrics"):
                with tempfile.TemporaryDirectory() as folder:
                    path = os.path.join(folder, "textfile", "ostrivane.prom")
                    code, out, err = run(["--format", "openmetrics", "--output", path, *args],
                                         stdin)
                    self.assertEqual((code, out), (status, ""), err)
                    with open(path) as written:
                        metrics = written.read()
                    self.assertEqual(os.listdir(os.path.dirname(path)), ["ostrivane.prom"])
                self.assertTrue(metrics.endswith("# EOF\n"), metrics)
                # Listed 1, clean 0, no verdict: no sample at all.
                got = {(m.group(1), m.group(2)): m.group(3) for m in OPENMETRICS_LISTED.finditer(metrics)}
                wanted = {key: {"listed": "1", "not-listed": "0"}[verdict]
                          for key, verdict in verdicts.items() if verdict in ("listed", "not-listed")}
                self.assertEqual(got, wanted, metrics)
                if shutil.which("promtool"):
                    lint = subprocess.run(["promtool", "check", "metrics"], input=metrics,
                                          capture_output=True, text=True)
                    self.assertEqual((lint.returncode, lint.stdout + lint.stderr), (0, ""))
            with self.subTest(name, format="nagios"):
                code, out, err = run(["--format", "nagios", *args], stdin)
                lines = out.splitlines()
                match = NAGIOS_FIRST.match(lines[0])
                self.assertIsNotNone(match, lines[0])
                self.assertEqual(match.group(1), NAGIOS_STATES[nagios])
                listed = list(verdicts.values()).count("listed")
                self.assertEqual(int(match.group(2)), listed)
                self.assertEqual(int(match.group(3)), len(verdicts))
                # The long output: a line per listing, per target not resolved
                # and per list without a verdict.
                silent = {zone for (_, zone), verdict in verdicts.items()
                          if verdict not in ("listed", "not-listed", "not-covered")}
                unresolved = [line for line in lines
                              if "does not resolve" in line or "no answer to the lookup" in line
                              or "no working list of this run covers" in line
                              or line.startswith(("mx:", "spf:", "mail:"))]
                self.assertEqual(len(lines) - 1, listed + len(unresolved) + len(silent), out)
                self.assertLess(len(lines[0]), 200)
                self.assertEqual(code, nagios, err)

    def test_output_that_cannot_be_written_is_status_3(self):
        with tempfile.TemporaryDirectory() as folder:
            blocker = os.path.join(folder, "a-file")
            open(blocker, "w").close()
            for listed in ("192.0.2.10", "192.0.2.20"):
                code, out, err = run(["--format", "openmetrics", "--zone", "bl.test",
                                      "--output", os.path.join(blocker, "x.prom"), listed])
                self.assertEqual((code, out), (3, ""), listed)
                self.assertIn("Output not written", err)

    def test_quiet_prints_nothing_when_clean(self):
        code, out, _ = run(["--quiet", "--zone", "bl.test", "192.0.2.20"])
        self.assertEqual((code, out), (0, ""))
        code, out, _ = run(["--quiet", "--zone", "bl.test", "--zone", "bl2.test",
                            "192.0.2.11", "192.0.2.20"])
        self.assertEqual(code, 1)
        self.assertEqual(text_verdicts(out), {("192.0.2.11", "bl.test"): "listed"}, out)

    def test_dead_zones_cost_one_timeout(self):
        # A /24 on one healthy and three silent lists: the silent ones must not
        # be asked about every address.
        zones = ["bl.test", "silent.test", "silent2.test", "silent3.test"]
        # Five seconds, so that a loaded machine still answers all 256
        # addresses of the healthy list in time.
        with in_namespace.questions() as asked:
            code, out, err = run(["--format", "json", "--timeout", "5", *zone_args(zones),
                                  "192.0.2.0/24"])
        document = json.loads(out)
        check_schema(self, document)
        self.assertEqual(code, 1, err)
        by_zone = {}
        for result in document["results"]:
            by_zone.setdefault(result["zone"], set()).add(result["verdict"])
        self.assertEqual(by_zone, {"bl.test": {"listed", "not-listed"},
                                   "silent.test": {"broken-zone"},
                                   "silent2.test": {"broken-zone"},
                                   "silent3.test": {"broken-zone"}})
        silent = [question for question in asked if "silent" in question]
        # Four test points and at most 16 addresses, each sent at most 6 times
        # (once and five re-asks).
        self.assertLessEqual(len(silent), 3 * (4 + 16) * 6,
                             "a dead zone is asked its health questions and a few more")

    def test_results_are_printed_as_their_addresses_are_answered(self):
        # slowtail.test answers about 192.0.2.128 and above late (held back
        # until the first address is read; the time-out is long enough for
        # any wait), about the rest at once: the first address is printed
        # while the run still waits for those answers, in text, and in json,
        # whose document ends whole, with every result, the zones and the
        # summary after them.
        for form, first in (("text", "192.0.2.0 (192.0.2.0/24)\n"), ("json", '"address": "192.0.2.0"')):
            with self.subTest(form=form):
                with in_namespace.late_answers_held():
                    process = subprocess.Popen(
                        [BINARY, "--check", "--format", form, "--timeout", "60",
                         *zone_args(["bl.test", "slowtail.test"]), "192.0.2.0/24"],
                        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
                    printed = ""
                    while first not in printed:
                        line = process.stdout.readline()
                        self.assertNotEqual(line, "", "the output ended before the first address")
                        printed += line
                    waiting = process.poll() is None
                printed += process.stdout.read()
                process.stderr.read()
                self.assertEqual(process.wait(timeout=60), 1)
                self.assertTrue(waiting, "the first address waits for the last answers")
                if form == "json":
                    document = json.loads(printed)
                    check_schema(self, document)
                    self.assertEqual(len(document["results"]), 512)
                    self.assertEqual(list(document)[:3], ["checked_at", "results", "duration_ms"])
                    self.assertEqual(document["summary"]["addresses"], 256)
                    self.assertEqual([zone["zone"] for zone in document["zones"]],
                                     ["bl.test", "slowtail.test"])
                else:
                    self.assertIn("Summary: 256 addresses, 2 zones;", printed)

    def test_more_addresses_than_a_16_bit_count(self):
        # 131,072 addresses on a list that lists everything: each is counted
        # (broken-zone, nothing asked about them), in the perfdata's totals.
        code, out, err = run(["--format", "nagios", "--zone", "wild.test", "10.0.0.0/15"])
        self.assertEqual(code, 1, err)
        first = NAGIOS_FIRST.match(out.splitlines()[0])
        self.assertIsNotNone(first, out)
        self.assertEqual((first.group(3), first.group(5)), ("131072", "1"))

    def test_silent_host_names_cost_one_timeout(self):
        names = ["a.silent.test", "b.silent2.test", "c.silent3.test"]
        with in_namespace.questions() as asked:
            code, out, err = run(["--timeout", "3", "--zone", "bl.test", *names])
        # Asked at once: every question about the names is out before any is
        # asked again, as one name after another would not be.
        about = [question for question in asked if "silent" in question]
        again = [at for at, question in enumerate(about) if about.index(question) < at]
        self.assertTrue(again, about)
        self.assertLess(max(about.index(question) for question in about), min(again), about)
        self.assertEqual(code, 4, out + err)
        for name in names:
            self.assertIn(name + ": no answer to the lookup of its addresses", out)
        self.assertNotIn("does not resolve", out)

    def test_error_answers_carry_the_lists_reason(self):
        code, out, err = run(["--format", "json", "--zone", "refuse.test", "192.0.2.20"])
        self.assertEqual(code, 4, err)
        [result] = json.loads(out)["results"]
        self.assertEqual((result["verdict"], result["reason"]),
                         ("list-error", "Query refused: your resolver is not allowed"))

    def test_timeout_bounds_a_slow_list(self):
        # slowbl.test answers after 3 s: only the time-out makes it a broken zone.
        code, out, err = run(["--timeout", "0.5", "--zone", "slowbl.test", "192.0.2.10"])
        self.assertEqual(code, 4, out + err)
        self.assertIn("broken-zone", out)

    def test_usage_errors_check_nothing(self):
        cases = [
            (["192.0.0.0/11"], "192.0.0.0/11"),
            (["2001:db8::/107"], "2001:db8::/107"),
            (["not an address!"], "not an address!"),
            (["--timeout", "0", "192.0.2.1"], "--timeout 0"),
            (["--timeout", "-1", "192.0.2.1"], "--timeout -1"),
            (["--format", "xml", "192.0.2.1"], "--format xml"),
            (["--bogus", "192.0.2.1"], "--bogus"),
            (["--server", "example.com", "192.0.2.1"], "--server example.com"),
            ([], "no target"),
            (["10.0.0.0/12", "10.16.0.0/31"], "more than 1048576"),
        ]
        for args, named in cases:
            with self.subTest(args=args):
                with in_namespace.questions() as asked:
                    code, out, err = run(["--zone", "bl.test", *args])
                self.assertEqual(code, 3, err)
                problem, hint = err.splitlines()
                self.assertIn(named, problem)
                self.assertEqual(hint, "Try 'ostrivane --check --help'.")
                self.assertEqual(out, "")
                self.assertEqual(asked, [], "nothing may be asked")
        code, _, err = run(["--zone", "bl.test", "-"], "192.0.2.1\n192.0.2.300\n")
        self.assertEqual(code, 3)
        self.assertIn("standard input line 2", err)
        for args, stdin in ((["-"], "bad!\n"), (["--timeout", "0", "192.0.2.1"], None)):
            code, out, _ = run(["--format", "nagios", "--zone", "bl.test", *args], stdin)
            self.assertEqual(code, 3)
            self.assertRegex(out, r"^OSTRIVANE UNKNOWN - [^\n]+\n$")

    def test_server_option(self):
        code, out, err = run(["--server", "127.0.0.1:53", "--zone", "bl.test", "192.0.2.10"])
        self.assertEqual(code, 1, err)
        # A server where nothing listens gives no answer, within the time-out.
        code, out, err = run(["--server", "127.0.0.1:5399", "--timeout", "0.5",
                              "--zone", "bl.test", "192.0.2.10"])
        self.assertEqual(code, 4, out + err)

    def test_list_file_gives_zones_and_names(self):
        import tempfile
        with tempfile.TemporaryDirectory() as directory:
            path = os.path.join(directory, "sbllist.txt")
            rows = ["Test list", "bl.test", "Name only", "", "", "bl2.test"] + [""] * 34
            with open(path, "w", newline="") as list_file:
                list_file.write("".join(row + "\r\n" for row in rows))
            code, out, err = run(["--list", path, "--format", "json", "192.0.2.10"])
            self.assertEqual(code, 1, err)
            zones = [(z["zone"], z["name"], z["state"]) for z in json.loads(out)["zones"]]
            self.assertEqual(zones, [("bl.test", "Test list", "healthy"),
                                     ("bl2.test", "", "healthy")])
            code, out, err = run(["--list", os.path.join(directory, "missing.txt"),
                                     "192.0.2.10"])
            self.assertEqual((code, out), (3, ""))
            self.assertIn("missing.txt", err)

    def test_help(self):
        code, out, _ = run(["--help"])
        self.assertEqual(code, 0)
        self.assertIn("Usage: ostrivane --check", out)


if __name__ == "__main__":
    sys.exit(in_namespace.main(globals(), own_dns_server=True))
