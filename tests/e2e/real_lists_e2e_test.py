#!/usr/bin/python3
"""`ostrivane --check` against rbldnsd's own data formats (real_lists_e2e_test.sh
starts the servers): every case is asked of rbldnsd directly and through
unbound, and both must give the verdicts of the table, each list's state per
address family, and the exit status. Then the one-host mode (`ostrivane HOST`)
and the window (window_lookup_driver, where the build has one) look the same
hosts up through the system resolver, unbound on 127.0.0.2:53, and must agree
with `--check` on every zone: each row's text and the exit status.
"""

import html
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

BINARY = None
WINDOW = None  # window_lookup_driver; None in a build without the window
SERVERS = {"rbldnsd": os.environ.get("OSTRIVANE_RBLDNSD"),
           "unbound": os.environ.get("OSTRIVANE_UNBOUND")}

# zone -> (ipv4 state, ipv6 state). rbldnsd's IPv4 datasets answer an IPv6
# question about an IPv4-mapped address (::FFFF:7F00:2) as they would the
# IPv4 address, so by RFC 5782's test points they cover both families.
STATES = {
    "v4set.rbl.test": ("healthy", "healthy"),
    "v4trie.rbl.test": ("healthy", "healthy"),
    "v6trie.rbl.test": ("empty-or-dead", "healthy"),
    "v6tset.rbl.test": ("empty-or-dead", "healthy"),
    "combined.rbl.test": ("healthy", "healthy"),
    "everything.rbl.test": ("lists-everything", "lists-everything"),
    "no-test-point.rbl.test": ("empty-or-dead", "empty-or-dead"),
    "refuse.rbl.test": ("refuses-us", "refuses-us"),
}

# zone (or zones), addresses -> {address (or (address, zone)): (verdict,
# answers; None: not compared)}, exit status
CASES = [
    ("ip4set: an address, a range, an exclusion in it, an address outside",
     "v4set.rbl.test", ["192.0.2.10", "192.0.2.65", "192.0.2.70", "192.0.2.200"],
     {"192.0.2.10": ("listed", ["127.0.0.2"]), "192.0.2.65": ("listed", ["127.0.0.3"]),
      "192.0.2.70": ("not-listed", []), "192.0.2.200": ("not-listed", [])}, 1),
    ("ip4set: an IPv6 address it does not list",
     "v4set.rbl.test", ["2001:db8:1::25"], {"2001:db8:1::25": ("not-listed", [])}, 0),
    ("an ip6trie list beside an ip4set list: each address judged by each",
     ["v6trie.rbl.test", "v4set.rbl.test"], ["2001:db8:1::25", "192.0.2.10"],
     {("2001:db8:1::25", "v6trie.rbl.test"): ("listed", ["127.0.0.10"]),
      ("2001:db8:1::25", "v4set.rbl.test"): ("not-listed", []),
      ("192.0.2.10", "v6trie.rbl.test"): ("not-covered", []),
      ("192.0.2.10", "v4set.rbl.test"): ("listed", ["127.0.0.2"])}, 1),
    ("ip4trie: a network with its own answer and an exclusion",
     "v4trie.rbl.test", ["198.51.100.5", "198.51.100.7", "203.0.113.1"],
     {"198.51.100.5": ("listed", ["127.0.0.4"]), "198.51.100.7": ("not-listed", []),
      "203.0.113.1": ("not-listed", [])}, 1),
    ("ip6trie: an address, a /48, an exclusion in it; IPv4 not covered",
     "v6trie.rbl.test", ["2001:db8:1::25", "2001:db8:2::1", "2001:db8:2::7", "2001:db8:9::1",
                         "192.0.2.10"],
     {"2001:db8:1::25": ("listed", ["127.0.0.10"]), "2001:db8:2::1": ("listed", ["127.0.0.10"]),
      "2001:db8:2::7": ("not-listed", []), "2001:db8:9::1": ("not-listed", []),
      "192.0.2.10": ("not-covered", [])}, 1),
    ("ip6tset: a /64 and an exclusion in it",
     "v6tset.rbl.test", ["2001:db8:3:1::1", "2001:db8:3:1::9", "2001:db8:3:2::1"],
     {"2001:db8:3:1::1": ("listed", ["127.0.0.11"]), "2001:db8:3:1::9": ("not-listed", []),
      "2001:db8:3:2::1": ("not-listed", [])}, 1),
    ("combined: both families",
     "combined.rbl.test", ["192.0.2.10", "2001:db8:1::25", "192.0.2.20"],
     {"192.0.2.10": ("listed", ["127.0.0.2"]), "2001:db8:1::25": ("listed", ["127.0.0.2"]),
      "192.0.2.20": ("not-listed", [])}, 1),
    ("a list that lists 127.0.0.1 lists everything: no listing counts",
     "everything.rbl.test", ["192.0.2.10"], {"192.0.2.10": ("broken-zone", None)}, 4),
    ("a list without 127.0.0.2 is empty or dead",
     "no-test-point.rbl.test", ["192.0.2.10"], {"192.0.2.10": ("broken-zone", None)}, 4),
]


# Zone by zone, the one-host mode and the window against --check: a case's
# zones are one row each, asked about one IPv4 host; the status all agree on.
ALL_ZONES = list(STATES)
AGREEMENT = [
    ("listed on an ip4set", ["v4set.rbl.test"], "192.0.2.10", 1),
    ("not listed, an exclusion", ["v4set.rbl.test"], "192.0.2.70", 0),
    ("a network of an ip4trie", ["v4trie.rbl.test"], "198.51.100.5", 1),
    ("combined", ["combined.rbl.test"], "192.0.2.10", 1),
    ("a list that lists 127.0.0.1", ["everything.rbl.test"], "192.0.2.20", 4),
    ("a list without 127.0.0.2 that lists the host", ["no-test-point.rbl.test"], "192.0.2.10", 4),
    ("a list that refuses us", ["refuse.rbl.test"], "192.0.2.10", 4),
    ("IPv6-only lists", ["v6trie.rbl.test", "v6tset.rbl.test"], "192.0.2.10", 4),
    ("a broken list beside one that lists the host", ["everything.rbl.test", "v4set.rbl.test"],
     "192.0.2.10", 1),
    ("every zone of the set, a listed host", ALL_ZONES, "192.0.2.10", 1),
    ("every zone of the set, a clean host", ALL_ZONES, "203.0.113.9", 4),
]

# What the one-host mode and the window show for --check's verdict of a zone:
# both ask IPv4 test points after the run, so a zone that does not work for
# IPv4 (not-covered by --check for an IPv4 address) is "not a working list".
BROKEN_ROWS = {"lists-everything": "List error: lists everything",
               "empty-or-dead": "List error: not a working list"}


def row_text(result, zone_state):
    verdict = result["verdict"]
    if verdict == "listed":
        return "Listed: " + result["answers"][0]
    if verdict == "list-error":
        return "List error: " + result["answers"][0]
    if verdict == "broken-zone":
        return BROKEN_ROWS[zone_state["ipv4"]]
    return {"not-listed": "Not Found", "no-answer": "Lookup failed",
            "not-covered": "List error: not a working list"}[verdict]


def one_host(zones, host, scratch):
    """The one-host mode from a copy beside its own list file: (status, {zone: row text})."""
    shutil.copy(BINARY, os.path.join(scratch, "ostrivane"))
    with open(os.path.join(scratch, "sbllist.txt"), "w", newline="") as list_file:
        list_file.write("".join(f"{zone}\r\n{zone}\r\n" for zone in zones))
    report = os.path.join(scratch, "report.html")
    done = subprocess.run([os.path.join(scratch, "ostrivane"), host], capture_output=True,
                          text=True, timeout=60, env=dict(os.environ, OSTRIVANE_REPORT=report))
    with open(report, newline="") as page:
        text = page.read()
    rows = {zone: html.unescape(re.search(re.escape(zone) + r"</td><td>\r\n(.*?)\r\n", text)[1])
            for zone in zones}
    return done.returncode, rows, done.stderr


def window(zones, host):
    """The real window looking the host up: {zone: row text}."""
    done = subprocess.run([WINDOW, host, *zones], capture_output=True, text=True, timeout=60)
    if done.returncode != 0:
        raise AssertionError(f"window_lookup_driver: {done.returncode} {done.stderr}")
    return dict(line.split("\t", 1) for line in done.stdout.splitlines())


def check(server, zones, targets):
    with tempfile.TemporaryDirectory() as state:
        done = subprocess.run(
            [BINARY, "--check", "--format", "json", "--no-history", "--server", server,
             *[arg for zone in zones for arg in ("--zone", zone)], *targets],
            capture_output=True, text=True, timeout=60,
            env=dict(os.environ, XDG_STATE_HOME=state))
    return done.returncode, json.loads(done.stdout or "null"), done.stderr


class RealLists(unittest.TestCase):
    maxDiff = None

    def test_table_directly_and_through_unbound(self):
        for via, server in SERVERS.items():
            for name, zones, targets, verdicts, status in CASES:
                zones = [zones] if isinstance(zones, str) else zones
                with self.subTest(name, via=via):
                    code, document, err = check(server, zones, targets)
                    self.assertEqual(code, status, err)
                    got = {}
                    for r in document["results"]:
                        key = r["address"] if len(zones) == 1 else (r["address"], r["zone"])
                        answers = None if verdicts[key][1] is None else r["answers"]
                        got[key] = (r["verdict"], answers)
                    self.assertEqual(got, verdicts)
                    for state in document["zones"]:
                        self.assertEqual((state["ipv4"], state["ipv6"]), STATES[state["zone"]])
                    for result in document["results"]:
                        if result["verdict"] == "listed":
                            self.assertIn(result["address"], result["reason"])

    def test_a_refusing_list_says_why(self):
        for via, server in SERVERS.items():
            with self.subTest(via=via):
                code, document, err = check(server, ["refuse.rbl.test"], ["192.0.2.10"])
                self.assertEqual(code, 4, err)
                [result] = document["results"]
                self.assertEqual(result["verdict"], "list-error")
                self.assertEqual(result["reason"], "Query refused: your resolver is not allowed")

    def test_a_burst_loses_no_question(self):
        # Questions at once against rbldnsd's default receive buffer: every one
        # must be answered (pacing and re-asks), none lost; the larger run
        # keeps losing some to the buffer all along, and their re-asks must
        # not wait behind the copies given up as lost.
        zones = ["v4set.rbl.test", "v4trie.rbl.test", "combined.rbl.test", "v6trie.rbl.test"]
        for block, addresses in (("192.0.2.0/24", 256), ("10.1.0.0/18", 16384)):
            with self.subTest(block):
                code, document, err = check(SERVERS["rbldnsd"], zones, [block])
                self.assertIn(code, (0, 1), err)
                verdicts = [r["verdict"] for r in document["results"]]
                self.assertEqual(len(verdicts), 4 * addresses)
                self.assertEqual(verdicts.count("no-answer"), 0)
                self.assertEqual(verdicts.count("not-covered"), addresses)


class OneTruth(unittest.TestCase):
    maxDiff = None

    def test_every_mode_agrees_with_check(self):
        for name, zones, host, status in AGREEMENT:
            with self.subTest(name), tempfile.TemporaryDirectory() as scratch:
                code, document, err = check(SERVERS["unbound"], zones, [host])
                self.assertEqual(code, status, err)
                states = {zone["zone"]: zone for zone in document["zones"]}
                want = {r["zone"]: row_text(r, states[r["zone"]]) for r in document["results"]}
                code, rows, err = one_host(zones, host, scratch)
                self.assertEqual((code, rows), (status, want), err)
                if WINDOW:
                    self.assertEqual(window(zones, host), want)


def main():
    global BINARY, WINDOW
    if len(sys.argv) < 2 or None in SERVERS.values():
        print("usage: real_lists_e2e_test.sh BINARY (it starts the servers)", file=sys.stderr)
        return 2
    BINARY = sys.argv[1]
    WINDOW = os.environ.get("OSTRIVANE_WINDOW_DRIVER") or None
    program = unittest.main(argv=[sys.argv[0], "-v", *sys.argv[2:]], exit=False)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
