#!/usr/bin/python3
"""The test DNS server answers what the end-to-end tests rely on.

Starts dns_server.py on a free loopback port and asks it directly; needs no
namespace, since nothing but 127.0.0.1 is ever addressed.
"""

import os
import subprocess
import sys
import tempfile
import threading
import time
import unittest

try:
    from dnslib import RCODE, DNSRecord
except ImportError:
    print("dns_server_test.py: /usr/bin/python3 cannot import dnslib: skipping", file=sys.stderr)
    sys.exit(77)

HERE = os.path.dirname(os.path.abspath(__file__))
SLOW_DELAY = 3

server = None
port = None
changing_listings = None  # the file behind changing.test


def ask(name, qtype="A", timeout=2.0):
    """(rcode name, [answer data as text]) or None when no answer came."""
    try:
        packet = DNSRecord.question(name, qtype).send("127.0.0.1", port, timeout=timeout)
    except TimeoutError:
        return None
    reply = DNSRecord.parse(packet)
    return RCODE.get(reply.header.rcode), [str(record.rdata) for record in reply.rr]


def txt(zone, address):
    return f'"Listed for testing, see https://{zone}/lookup?ip={address}"'


# name, type, (rcode, answers)
ANSWERS = [
    ("listed.test", "A", ("NOERROR", ["192.0.2.10"])),
    ("LISTED.Test.", "A", ("NOERROR", ["192.0.2.10"])),
    ("listed.test", "AAAA", ("NOERROR", [])),
    ("clean.test", "A", ("NOERROR", ["192.0.2.20"])),
    ("nowhere.test", "A", ("NXDOMAIN", [])),
    ("nowhere.test", "AAAA", ("NXDOMAIN", [])),
    ("2.0.0.127.bl.test", "A", ("NOERROR", ["127.0.0.2"])),
    ("2.0.0.127.bl.test", "TXT", ("NOERROR", [txt("bl.test", "127.0.0.2")])),
    ("10.2.0.192.bl.test", "A", ("NOERROR", ["127.0.0.4"])),
    ("11.2.0.192.bl.test", "A", ("NOERROR", ["127.0.0.5"])),
    ("11.2.0.192.bl.test", "TXT", ("NOERROR", [txt("bl.test", "192.0.2.11")])),
    ("1.0.0.127.bl.test", "A", ("NXDOMAIN", [])),
    ("20.2.0.192.bl.test", "A", ("NXDOMAIN", [])),
    ("bl.test", "A", ("NOERROR", [])),
    ("2.0.0.127.bl2.test", "A", ("NOERROR", ["127.0.0.2"])),
    ("10.2.0.192.bl2.test", "A", ("NOERROR", ["127.0.0.10"])),
    ("10.2.0.192.bl2.test", "TXT", ("NOERROR", [txt("bl2.test", "192.0.2.10")])),
    ("11.2.0.192.bl2.test", "A", ("NXDOMAIN", [])),
    ("2.0.0.127.servfail.test", "A", ("SERVFAIL", [])),
    ("2.0.0.127.servfail.test", "TXT", ("SERVFAIL", [])),
    ("1.0.0.127.refuse.test", "A", ("NOERROR", ["127.255.255.254"])),
    ("20.2.0.192.wild.test", "A", ("NOERROR", ["127.0.0.2"])),
    ("2.0.0.127.empty.test", "A", ("NXDOMAIN", [])),
    ("2.0.0.127.l2.spews.dnsbl.sorbs.net", "A", ("NOERROR", ["127.0.0.2"])),
    ("2.0.0.127.psbl.surriel.com", "TXT", ("NOERROR", [txt("psbl.surriel.com", "127.0.0.2")])),
    ("1.0.0.127.psbl.surriel.com", "A", ("NXDOMAIN", [])),
    ("example.com", "A", ("NXDOMAIN", [])),
    ("v6.test", "A", ("NOERROR", ["192.0.2.20"])),
    ("v6.test", "AAAA", ("NOERROR", ["2001:db8::99", "2001:db8::20"])),
    ("9.9.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.8.b.d.0.1.0.0.2.bl.test", "A",
     ("NOERROR", ["127.0.0.6"])),
    ("9.9.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.8.b.d.0.1.0.0.2.v4only.test", "A",
     ("NXDOMAIN", [])),
    ("10.2.0.192.v4only.test", "A", ("NOERROR", ["127.0.0.3"])),
    ("20.2.0.192.parked.test", "A", ("NOERROR", ["198.51.100.80"])),
]


class DnsServer(unittest.TestCase):
    maxDiff = None

    def test_answers(self):
        for name, qtype, expected in ANSWERS:
            with self.subTest(name=name, type=qtype):
                self.assertEqual(ask(name, qtype), expected)

    def test_changing_zone_follows_its_file(self):
        reason = '<b class="x">relay</b> & more'
        with open(changing_listings, "w", encoding="utf-8") as listings:
            listings.write(f"# listed now\n192.0.2.30 127.0.0.3 {reason}\n192.0.2.31 127.0.0.4\n")
        self.assertEqual(ask("30.2.0.192.changing.test"), ("NOERROR", ["127.0.0.3"]))
        self.assertEqual(ask("30.2.0.192.changing.test", "TXT")[1], [f'"{reason}"'])
        self.assertEqual(ask("31.2.0.192.changing.test", "TXT")[1],
                         [txt("changing.test", "192.0.2.31")])
        with open(changing_listings, "w", encoding="utf-8") as listings:
            listings.write("192.0.2.31 127.0.0.4\n")
        self.assertEqual(ask("30.2.0.192.changing.test"), ("NXDOMAIN", []))
        self.assertEqual(ask("2.0.0.127.changing.test"), ("NOERROR", ["127.0.0.2"]))
        self.assertEqual(ask("1.0.0.127.changing.test"), ("NXDOMAIN", []))

    def test_addresses_keep_their_order(self):
        for _ in range(5):
            self.assertEqual(ask("two.test"), ("NOERROR", ["192.0.2.11", "192.0.2.10"]))

    def test_silent_zone_never_answers(self):
        self.assertIsNone(ask("2.0.0.127.silent.test", timeout=1.0))

    def test_mute_txt_zone_lists_but_never_explains(self):
        self.assertEqual(ask("2.0.0.127.mutetxt.test"), ("NOERROR", ["127.0.0.2"]))
        self.assertIsNone(ask("2.0.0.127.mutetxt.test", qtype="TXT", timeout=1.0))

    def test_slow_answers_hold_up_nobody_else(self):
        slow = {}

        def ask_slowly(name):
            started = time.monotonic()
            slow[name] = (ask(name, timeout=SLOW_DELAY + 3), time.monotonic() - started)

        threads = [
            threading.Thread(target=ask_slowly, args=(name,))
            for name in ("slow.test", "2.0.0.127.slowbl.test", "1.0.0.127.slowbl.test")
        ]
        for thread in threads:
            thread.start()
        self.assertEqual(ask("listed.test"), ("NOERROR", ["192.0.2.10"]))
        # Answered while the slow answers still wait: a server that answered
        # one question after another would answer it after them.
        self.assertEqual([thread.is_alive() for thread in threads], [True] * 3)
        for thread in threads:
            thread.join()

        self.assertEqual(slow["slow.test"][0], ("NOERROR", ["192.0.2.10"]))
        self.assertEqual(slow["2.0.0.127.slowbl.test"][0], ("NOERROR", ["127.0.0.2"]))
        self.assertEqual(slow["1.0.0.127.slowbl.test"][0], ("NXDOMAIN", []))
        # The delay is the least an answer waits: no load can shorten it.
        for name, (_, seconds) in slow.items():
            with self.subTest(name):
                self.assertGreaterEqual(seconds, SLOW_DELAY - 0.1)


def start_server(directory):
    global server, port, changing_listings
    ready = os.path.join(directory, "ready")
    changing_listings = os.path.join(directory, "changing-listings")
    with open(os.path.join(directory, "log"), "w") as log:
        server = subprocess.Popen(
            [sys.executable, os.path.join(HERE, "dns_server.py"), "--port", "0",
             "--ready-file", ready],
            stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL,
            stderr=log,
            env={**os.environ, "OSTRIVANE_CHANGING_LISTINGS": changing_listings},
        )
    deadline = time.monotonic() + 10
    while not os.path.exists(ready):
        if server.poll() is not None or time.monotonic() > deadline:
            with open(os.path.join(directory, "log")) as log:
                raise RuntimeError(f"the DNS server did not start:\n{log.read()}")
        time.sleep(0.05)
    with open(ready) as text:
        port = int(text.read().split()[1])


def main():
    with tempfile.TemporaryDirectory(prefix="ostrivane-dns-") as directory:
        start_server(directory)
        try:
            program = unittest.main(argv=[sys.argv[0], "-v", *sys.argv[1:]], exit=False)
        finally:
            server.terminate()
            server.wait(timeout=10)
        return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
