#!/usr/bin/python3
"""Lookups through the system resolver, answered by the test DNS server.

    netns_run.sh /usr/bin/python3 lookup_e2e_test.py PATH/TO/lookup_driver

The names and what they answer are the tables at the top of dns_server.py.
"""

import os
import subprocess
import sys
import unittest
from dataclasses import dataclass, field

ROW_COUNT = 20
PLAIN = ("white", "black")
LISTED = ("darkred", "white")

driver = None  # set from the command line


@dataclass
class Row:
    name: str
    zone: str
    result: str
    colours: tuple


@dataclass
class DriverRun:
    host: str = ""
    outcome: str = ""
    summary: tuple = ()
    rows: list = field(default_factory=list)
    resolved: tuple = ()
    stderr: str = ""


def run_driver(*args):
    done = subprocess.run(
        [driver, *args], capture_output=True, text=True, timeout=30, check=False
    )
    if done.returncode != 0:
        raise AssertionError(f"lookup_driver {args} exited {done.returncode}: {done.stderr}")
    run = DriverRun(stderr=done.stderr)
    for line in done.stdout.splitlines():
        kind, *fields = line.split("\t")
        if kind == "host":
            run.host = fields[0]
        elif kind == "outcome":
            run.outcome = fields[0]
        elif kind == "summary":
            run.summary = tuple(int(count) for count in fields)
        elif kind == "row":
            _, name, zone, result, background, text = fields
            run.rows.append(Row(name, zone, result, (background, text)))
        elif kind == "resolve":
            run.resolved = tuple(fields)
    return run


def summary_of(results):
    """Queried, listed, list errors, unanswered: what the verdicts add up to."""
    texts = [text for text, _ in results]
    return (
        sum(1 for text in texts if text),
        sum(1 for text in texts if text.startswith("Listed: ")),
        sum(1 for text in texts if text.startswith("List error: ")),
        texts.count("Lookup failed"),
    )


# host typed, zones of rows 0.., host field after the run, (result, colours) per zone row
LOOKUPS = [
    (
        "a listed address on two healthy lists keeps its host text",
        "127.0.0.2",
        ["bl.test", "bl2.test"],
        "127.0.0.2",
        [("Listed: 127.0.0.2", LISTED), ("Listed: 127.0.0.2", LISTED)],
    ),
    (
        "an address no list holds",
        "127.0.0.1",
        ["bl.test", "bl2.test"],
        "127.0.0.1",
        [("Not Found", PLAIN), ("Not Found", PLAIN)],
    ),
    (
        "a name is shown with its address and each list answers its own code",
        "listed.test",
        ["bl.test", "bl2.test", "empty.test"],
        "listed.test (192.0.2.10)",
        [("Listed: 127.0.0.4", LISTED), ("Listed: 127.0.0.10", LISTED), ("Not Found", PLAIN)],
    ),
    (
        # bl2.test lists only the second address: sorting would turn it red.
        "a name with two addresses uses the first one as served",
        "two.test",
        ["bl.test", "bl2.test"],
        "two.test (192.0.2.11)",
        [("Listed: 127.0.0.5", LISTED), ("Not Found", PLAIN)],
    ),
    (
        "broken lists each give their own verdict and an empty row is skipped",
        "clean.test",
        ["bl.test", "servfail.test", "refuse.test", "wild.test", "empty.test", "", "bl2.test"],
        "clean.test (192.0.2.20)",
        [
            ("Not Found", PLAIN),
            ("Lookup failed", PLAIN),
            ("List error: 127.255.255.254", PLAIN),
            ("Listed: 127.0.0.2", LISTED),
            ("Not Found", PLAIN),
            ("", PLAIN),
            ("Not Found", PLAIN),
        ],
    ),
    (
        # The resolver gives up after its timeouts (about 2 s).
        "a list that never answers is not taken for one that does not list",
        "127.0.0.2",
        ["silent.test", "bl.test"],
        "127.0.0.2",
        [("Lookup failed", PLAIN), ("Listed: 127.0.0.2", LISTED)],
    ),
]

# name, status, first address
RESOLUTIONS = [
    ("listed.test", "Resolved", "192.0.2.10"),
    ("two.test", "Resolved", "192.0.2.11"),
    ("127.0.0.2", "Resolved", "127.0.0.2"),
    ("nowhere.test", "NotFound", "-"),
    ("1.0.0.127.bl.test", "NotFound", "-"),
    ("2.0.0.127.servfail.test", "NoAnswer", "-"),
    ("2.0.0.127.refuse.test", "Resolved", "127.255.255.254"),
]


class LookupEndToEnd(unittest.TestCase):
    maxDiff = None

    def assertRows(self, run, zones, results):
        self.assertEqual(len(run.rows), ROW_COUNT)
        expected = [Row(zone, zone, text, colours) for zone, (text, colours) in zip(zones, results)]
        expected += [Row("", "", "", PLAIN)] * (ROW_COUNT - len(zones))
        self.assertEqual(run.rows, expected)

    def test_lookups(self):
        for what, host, zones, host_after, results in LOOKUPS:
            with self.subTest(what):
                run = run_driver(host, *zones)
                self.assertEqual(run.stderr, "")
                self.assertEqual(run.outcome, "Completed")
                self.assertEqual(run.host, host_after)
                self.assertRows(run, zones, results)
                self.assertEqual(run.summary, summary_of(results))

    def test_unresolvable_host_says_so_and_leaves_every_row_empty(self):
        zones = ["bl.test", "bl2.test", "wild.test"]
        run = run_driver("nowhere.test", *zones)
        self.assertEqual(run.stderr, "Unable to resolve nowhere.test\n")
        self.assertEqual(run.outcome, "HostUnresolved")
        self.assertEqual(run.host, "nowhere.test")
        self.assertRows(run, zones, [("", PLAIN)] * len(zones))

    def test_every_default_row_is_served(self):
        # Fails when the program's default zones and the server's drift apart.
        run = run_driver("--defaults", "127.0.0.2")
        self.assertEqual(run.outcome, "Completed")
        self.assertEqual(len(run.rows), ROW_COUNT)
        for index, row in enumerate(run.rows):
            with self.subTest(row=index, zone=row.zone):
                if index < 16:
                    self.assertNotEqual(row.name, "")
                    self.assertEqual((row.result, row.colours), ("Listed: 127.0.0.2", LISTED))
                else:
                    self.assertEqual(row, Row("", "", "", PLAIN))

    def test_system_resolver(self):
        for name, status, address in RESOLUTIONS:
            with self.subTest(name):
                self.assertEqual(run_driver("--resolve", name).resolved, (name, status, address))


def main():
    global driver
    if os.environ.get("OSTRIVANE_NETNS") != "1":
        print(
            "lookup_e2e_test.py: run me through netns_run.sh; outside it the lookups "
            "would reach the machine's real DNS",
            file=sys.stderr,
        )
        return 2
    if len(sys.argv) < 2:
        print("usage: lookup_e2e_test.py PATH/TO/lookup_driver [unittest options]", file=sys.stderr)
        return 2
    driver = sys.argv[1]
    program = unittest.main(argv=[sys.argv[0], "-v", *sys.argv[2:]], exit=False)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
