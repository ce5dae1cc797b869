#!/usr/bin/python3
"""mx:, spf: and mail: targets against real servers (see domains_e2e_test.sh).

domains_e2e_test.py BINARY, inside the namespace that domains_e2e_test.sh sets
up: nsd serves the mail domains of tests/e2e/nsd/, rbldnsd the address list
bl.test and the domain list dbl.test, unbound resolves on OSTRIVANE_RESOLVER.
The table's cases run in JSON; the text and Nagios outputs must say the same.
"""

import json
import os
import subprocess
import sys
import tempfile
import time
import unittest

BINARY = None
RESOLVER = os.environ.get("OSTRIVANE_RESOLVER", "127.0.0.2:53")
DOMAIN_LIST_DATA = os.environ.get("OSTRIVANE_DOMAIN_LIST_DATA")

OWNER_28 = ["192.0.2.%d" % n for n in range(16, 32)]
OWNER_V6 = ["2001:db8:5::", "2001:db8:5::1", "2001:db8:5::2", "2001:db8:5::3"]
PROVIDER_30 = ["198.51.100.%d" % n for n in range(64, 68)]
ELEVEN_A = ["203.0.113.%d" % n for n in range(1, 11)]

# target(s) -> every address checked (each once), vias of some, domain-list
# verdicts {name: (verdict, answers)}, fragments of the target's findings,
# the status of text/json.
CASES = [
    ("mail: MX hosts with A and AAAA, SPF ip4 /28, ip6 /126, a:, include:, mx; the domain listed",
     ["mail:owner.test"],
     OWNER_28 + OWNER_V6 + PROVIDER_30 +
     ["198.51.100.7", "192.0.2.40", "2001:db8:6::20", "2001:db8:6::40"],
     {"192.0.2.20": ["mx mx1.owner.test", "spf ip4:192.0.2.16/28", "spf mx mx1.owner.test"],
      "198.51.100.66": ["spf include:_spf.provider.test ip4:198.51.100.64/30"],
      "198.51.100.7": ["spf a:relay.owner.test"],
      "2001:db8:5::2": ["spf ip6:2001:db8:5::/126"],
      "2001:db8:6::40": ["mx mx2.owner.test", "spf mx mx2.owner.test"]},
     {"owner.test": ("listed", ["127.0.1.2"]), "mx1.owner.test": ("not-listed", []),
      "mx2.owner.test": ("listed", ["127.0.1.4"])},
     [], 1),
    ("mx: only the MX hosts' addresses, no domain list",
     ["mx:owner.test"],
     ["192.0.2.20", "2001:db8:6::20", "192.0.2.40", "2001:db8:6::40"],
     {"192.0.2.40": ["mx mx2.owner.test"]}, {}, [], 1),
    ("11 terms that cause lookups: permerror, what came before is checked",
     ["spf:lookups.spfbad.test"], ["192.0.2.60"] + ELEVEN_A, {}, {},
     ["more than 10 terms that cause DNS lookups (the 11th is spf a:h11.spfbad.test)"], 4),
    ("an include loop",
     ["spf:loop.spfbad.test"], ["192.0.2.61"], {}, {},
     ["an include loop: loop.spfbad.test -> loop2.spfbad.test -> loop.spfbad.test"], 4),
    ("three void lookups",
     ["spf:void.spfbad.test"], [], {}, {}, ["more than 2 void lookups"], 4),
    ("a /8, ptr and a macro are named, the rest checked",
     ["spf:wide.spfbad.test"], ["192.0.2.63"], {}, {},
     ["10.0.0.0/8 not checked: 16,777,216 addresses, wider than the /20 limit",
      "spf ptr: not checked", "spf exists:%{i}._spf.spfbad.test: not checked"], 0),
    ("no MX and no SPF: said, not an error; the domain clean on the domain list",
     ["mail:plain.owner.test"], [], {}, {"plain.owner.test": ("not-listed", [])},
     ["plain.owner.test has no MX record", "plain.owner.test publishes no SPF record"], 0),
    ("mixed with an address and a host name; an address reached twice is asked once",
     ["192.0.2.20", "mx:owner.test"],
     ["192.0.2.20", "2001:db8:6::20", "192.0.2.40", "2001:db8:6::40"],
     {"192.0.2.20": ["mx mx1.owner.test"]}, {}, [], 1),
]


# The catalog's domain list under its real zone name (served in the namespace
# only): lists chosen -> target, the domain lists asked, each name's verdict
# with (answer, class, meaning) of its answers, fragments of the findings, the
# status. No lists chosen: the catalog's default set.
DBL = "dbl.spamhaus.org"
BOTNET = ("127.0.1.6", "listing", "DBL: a botnet controller domain")
CATALOG_CASES = [
    ("a catalog domain list by id, beside an address list; decoded",
     ["--zone", "bl.test", "--zone", "spamhaus-dbl"], "mail:owner.test", [DBL],
     {"owner.test": ("listed", [("127.0.1.2", "listing", "DBL: a spam domain")]),
      "mx1.owner.test": ("not-listed", []), "mx2.owner.test": ("listed", [BOTNET])}, [], 1),
    ("the list's own error code from the catalog; --domain-zone takes the catalog's zone",
     ["--zone", "bl.test", "--domain-zone", DBL], "mail:plain.owner.test", [DBL],
     {"plain.owner.test": ("list-error", [("127.0.1.255", "list-error",
                                           "an address was asked of a domain list")])}, [], 4),
    ("no list named: the default set, its domain list included",
     [], "mail:owner.test", [DBL],
     {"owner.test": ("listed", [("127.0.1.2", "listing", "DBL: a spam domain")]),
      "mx1.owner.test": ("not-listed", []), "mx2.owner.test": ("listed", [BOTNET])}, [], 1),
    ("address lists only: the names are not checked, and the run says so",
     ["--zone", "bl.test"], "mail:plain.owner.test", [], {},
     ["no domain list among the lists chosen"], 0),
]


def run(args, stdin=None, history=None, lists=("--zone", "bl.test", "--domain-zone", "dbl.test")):
    command = [BINARY, "--check", "--server", RESOLVER, "--timeout", "3", *lists]
    command += ["--history", history] if history else ["--no-history"]
    return subprocess.run(command + args, input=stdin, capture_output=True, text=True,
                          timeout=60)


def wait_for_nxdomain(name):
    """Asks the resolver until the name is gone (rbldnsd re-reads a changed
    file within a second or so; bounded against hanging only)."""
    from dnslib import RCODE, DNSRecord

    address, port = RESOLVER.rsplit(":", 1)
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline:
        try:
            reply = DNSRecord.question(name, "A").send(address, int(port), timeout=2)
            if DNSRecord.parse(reply).header.rcode == RCODE.NXDOMAIN:
                return
        except OSError:  # includes socket.timeout: asked again
            pass
        time.sleep(0.2)
    raise AssertionError(f"{name} is still answered")


class MailDomains(unittest.TestCase):
    def test_cases_in_json(self):
        for name, targets, addresses, vias, domains, findings, status in CASES:
            with self.subTest(name):
                done = run(["--format", "json"] + targets)
                self.assertEqual(done.returncode, status, done.stdout + done.stderr)
                document = json.loads(done.stdout)
                on_bl = [r for r in document["results"] if r["zone"] != "dbl.test"]
                self.assertEqual(sorted({r["address"] for r in on_bl}), sorted(addresses))
                asked = [r["address"] for r in on_bl]
                self.assertEqual(len(asked), len(set(asked)), "an address asked twice")
                by_address = {r["address"]: r for r in on_bl}
                for address, via in vias.items():
                    self.assertEqual(by_address[address]["via"], via, address)
                on_dbl = {r["address"]: (r["verdict"], r["answers"])
                          for r in document["results"] if r["zone"] == "dbl.test"}
                self.assertEqual(on_dbl, domains)
                texts = [f["text"] for f in document["findings"]]
                for fragment in findings:
                    self.assertTrue(any(fragment in t for t in texts), (fragment, texts))

    def test_domain_lists_from_the_catalog(self):
        defaults = [line.split() for line in os.environ["OSTRIVANE_DEFAULT_ZONES"].splitlines()]
        for name, lists, target, domain_zones, names, findings, status in CATALOG_CASES:
            with self.subTest(name):
                done = run(["--format", "json", target], lists=lists)
                self.assertEqual(done.returncode, status, done.stdout + done.stderr)
                document = json.loads(done.stdout)
                kinds = {zone["zone"]: zone["kind"] for zone in document["zones"]}
                self.assertEqual([z for z, kind in kinds.items() if kind == "domains"],
                                 domain_zones)
                if not lists:
                    self.assertEqual(sorted(kinds), sorted(zone for zone, _ in defaults))
                on_domain_lists = {
                    r["address"]: (r["verdict"], [(a, m["class"], m["meaning"]) for a, m in
                                                  zip(r["answers"], r["answer_meanings"])])
                    for r in document["results"] if kinds[r["zone"]] == "domains"}
                self.assertEqual(on_domain_lists, names)
                texts = [f["text"] for f in document["findings"]]
                for fragment in findings:
                    self.assertTrue(any(fragment in t for t in texts), (fragment, texts))
        nagios = run(["--format", "nagios", "mail:plain.owner.test"],
                     lists=["--zone", "bl.test", "--zone", "spamhaus-dbl"])
        self.assertEqual(nagios.returncode, 1, nagios.stdout + nagios.stderr)
        self.assertIn("\nno verdict from dbl.spamhaus.org: 127.0.1.255 list-error: an address was "
                      "asked of a domain list\n", nagios.stdout)

    def test_a_domain_list_alone_leaves_the_addresses_unasked(self):
        done = run(["192.0.2.20"], lists=["--zone", "spamhaus-dbl"])
        self.assertEqual(done.returncode, 3, done.stdout + done.stderr)
        self.assertIn("no list for addresses: the lists chosen are domain lists", done.stderr)

    def test_the_page_shows_meanings_and_vias(self):
        with tempfile.TemporaryDirectory() as scratch:
            page = os.path.join(scratch, "page.html")
            done = run(["--page", page, "mail:owner.test"],
                       lists=["--zone", "bl.test", "--zone", "spamhaus-dbl"])
            self.assertEqual(done.returncode, 1, done.stdout + done.stderr)
            with open(page, encoding="utf-8") as html:
                text = html.read()
        for part in ('owner.test <span class="targets">(mail:owner.test)</span>'
                     '<span class="via">via domain</span>',
                     '<div class="meaning">127.0.1.2 listing: DBL: a spam domain</div>',
                     '<div class="meaning">127.0.1.6 listing: DBL: a botnet controller domain',
                     '192.0.2.40 <span class="targets">(mail:owner.test)</span><span class="via">'
                     'via mx mx2.owner.test; spf mx mx2.owner.test</span>',
                     '<td>owner.test</td><td>1</td><td>0</td><td>1</td><td>0</td>',
                     '<a href="https://www.spamhaus.org/blocklists/domain-blocklist/">'
                     'Spamhaus DBL</a>'):
            self.assertIn(part, text)

    def test_a_key_asks_the_domain_list_through_its_zone_and_is_never_shown(self):
        key = "testkey42"
        with tempfile.TemporaryDirectory() as scratch:
            history, page = os.path.join(scratch, "h.sqlite"), os.path.join(scratch, "p.html")
            shown = []
            for fmt in ("text", "json", "nagios"):
                command = [BINARY, "--check", "--server", RESOLVER, "--timeout", "3", "--zone",
                           "bl.test", "--zone", "spamhaus-dbl", "--history", history, "--page",
                           page, "--format", fmt, "mail:owner.test"]
                done = subprocess.run(command, capture_output=True, text=True, timeout=60,
                                      env=dict(os.environ, OSTRIVANE_KEY_SPAMHAUS=key))
                self.assertEqual(done.returncode, 2 if fmt == "nagios" else 1, done.stderr)
                shown += [done.stdout, done.stderr]
            self.assertIn("dbl.dq.spamhaus.net", shown[0])
            self.assertIn("127.0.1.2 listing: DBL: a spam domain", shown[0])
            for stored in (history, page):
                with open(stored, "rb") as data:
                    shown.append(data.read().decode("latin-1"))
        for text in shown:
            self.assertNotIn(key, text)

    def test_text_and_nagios_show_the_way_each_subject_was_reached(self):
        text = run(["mail:owner.test"]).stdout
        self.assertIn("192.0.2.20 (mail:owner.test) via mx mx1.owner.test; "
                      "spf ip4:192.0.2.16/28; spf mx mx1.owner.test\n", text)
        self.assertIn("owner.test (mail:owner.test) via domain\n", text)
        nagios = run(["--format", "nagios", "spf:lookups.spfbad.test"])
        self.assertEqual(nagios.returncode, 1, nagios.stdout)
        self.assertTrue(nagios.stdout.startswith("OSTRIVANE WARNING - "), nagios.stdout)
        self.assertIn("incomplete spf:lookups.spfbad.test", nagios.stdout.splitlines()[0])
        self.assertIn("spf:lookups.spfbad.test: SPF permerror: more than 10 terms", nagios.stdout)
        listed = run(["--format", "nagios", "mail:owner.test"]).stdout.splitlines()
        self.assertIn("192.0.2.40 listed on bl.test (127.0.0.2) via mx mx2.owner.test; "
                      "spf mx mx2.owner.test: Listed, see https://bl.test/192.0.2.40", listed[1:])

    def test_targets_on_standard_input(self):
        done = run(["--format", "json", "-"], stdin="# mail\nspf:loop.spfbad.test\n192.0.2.60\n")
        document = json.loads(done.stdout)
        self.assertEqual(sorted(r["address"] for r in document["results"]),
                         ["192.0.2.60", "192.0.2.61"])
        self.assertEqual(done.returncode, 4, done.stdout)

    def test_a_domain_listing_starts_and_ends_in_the_history(self):
        """changing.owner.test is listed until its line leaves the list's data."""
        with tempfile.TemporaryDirectory() as scratch:
            history = os.path.join(scratch, "history.sqlite")
            first = run(["--changes", "mail:changing.owner.test"], history=history)
            self.assertRegex(first.stdout,
                             r"changing\.owner\.test \(mail:changing\.owner\.test\) via domain\n"
                             r"\s+dbl\.test\s+listed\s+127\.0\.1\.5\s+new")
            with open(DOMAIN_LIST_DATA, encoding="utf-8") as data:
                listed = data.read()
            loaded = os.stat(DOMAIN_LIST_DATA).st_mtime
            with open(DOMAIN_LIST_DATA, "w", encoding="utf-8") as data:
                data.write(listed.replace("\nchanging.owner.test ", "\n# changing.owner.test "))
            # rbldnsd notices a change by the file's time, in whole seconds:
            # another one than it loaded, however fast this ran.
            os.utime(DOMAIN_LIST_DATA, (loaded + 2, loaded + 2))
            wait_for_nxdomain("changing.owner.test.dbl.test")
            second = run(["--changes", "mail:changing.owner.test"], history=history)
            self.assertRegex(second.stdout,
                             r"changing\.owner\.test \(mail:changing\.owner\.test\) via domain\n"
                             r"\s+dbl\.test\s+not-listed\s.*cleared")
            timeline = subprocess.run([BINARY, "--timeline", "mail:changing.owner.test",
                                       "--history", history],
                                      capture_output=True, text=True, timeout=30)
            self.assertEqual(timeline.returncode, 0, timeline.stderr)
            self.assertRegex(timeline.stdout, r"\nchanging\.owner\.test\s+dbl\.test\s+[-\d]+ [:\d]+ UTC"
                             r"\s+[-\d]+ [:\d]+ UTC\s+\S+\s+Malware domain\n")

if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: domains_e2e_test.py BINARY")
    BINARY = sys.argv.pop(1)
    unittest.main(verbosity=2)
