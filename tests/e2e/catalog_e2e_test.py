#!/usr/bin/python3
"""The catalog of lists, keys and the config file, through the real program.

catalog_e2e_test.py BINARY: enters netns_run.sh's namespace itself, each case
with a DNS server of its own whose questions it reads. The server serves the
catalog's default set under the lists' real names (dns_server.py), so a run
without --zone asks exactly those; Spamhaus ZEN answers 127.0.0.10 (PBL) for
192.0.2.10, and answers with the test key only under
testkey42.zen.dq.spamhaus.net.
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import in_namespace

BINARY = None
KEY = "testkey42"


class Scratch:
    """A config folder (OSTRIVANE_CONFIG_DIR), a user config home and a state home."""

    def __init__(self):
        self.root = tempfile.mkdtemp(prefix="ostrivane-catalog-e2e.")
        self.etc = os.path.join(self.root, "etc")
        os.makedirs(os.path.join(self.etc, "lists.d"))
        self.env = {k: v for k, v in os.environ.items() if not k.startswith("OSTRIVANE_KEY_")}
        self.env.update(OSTRIVANE_CONFIG_DIR=self.etc,
                        XDG_CONFIG_HOME=os.path.join(self.root, "config"),
                        XDG_STATE_HOME=os.path.join(self.root, "state"))

    def write(self, relative, text, mode=0o600):
        path = os.path.join(self.root, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8") as out:
            out.write(text)
        os.chmod(path, mode)
        return path

    def run(self, args, **extra_env):
        env = dict(self.env, **extra_env)
        done = subprocess.run([BINARY, *args], capture_output=True, text=True, timeout=60, env=env)
        return done.returncode, done.stdout, done.stderr

    def close(self):
        shutil.rmtree(self.root, ignore_errors=True)


def names_asked(questions):
    """The names of the address (A) questions among in_namespace.questions()."""
    return [name.rstrip(".") for name, kind in (q.split(" ") for q in questions) if kind == "A"]


def catalog_defaults(scratch):
    code, out, err = scratch.run(["--lists", "--format", "json"])
    assert code == 0, err
    document = json.loads(out)
    return {entry["zone"] for entry in document["lists"]
            if entry["default"] and entry["status"] == "alive" and not entry["needs_key"]
            and {"ipv4", "ipv6"} & set(entry["kinds"])}


class CatalogTest(unittest.TestCase):
    def setUp(self):
        self.scratch = Scratch()

    def tearDown(self):
        self.scratch.close()

    def test_without_a_zone_the_default_set_is_asked_and_pbl_decoded(self):
        defaults = catalog_defaults(self.scratch)
        self.assertIn("zen.spamhaus.org", defaults)
        with in_namespace.questions() as asked:
            code, out, err = self.scratch.run(["--check", "--format", "json", "192.0.2.10"])
        self.assertEqual(code, 1, err)
        document = json.loads(out)
        self.assertEqual({zone["zone"] for zone in document["zones"]}, defaults)
        asked_zones = {zone for zone in defaults
                       if any(name.endswith("." + zone) for name in names_asked(asked))}
        self.assertEqual(asked_zones, defaults)
        for name in names_asked(asked):
            self.assertTrue(any(name.endswith("." + zone) for zone in defaults), name)
        zen = [r for r in document["results"] if r["zone"] == "zen.spamhaus.org"][0]
        self.assertEqual(zen["answers"], ["127.0.0.10"])
        self.assertEqual(zen["answer_meanings"][0]["class"], "policy-listing")
        self.assertIn("PBL", zen["answer_meanings"][0]["meaning"])
        self.assertEqual(zen["verdict"], "listed")

        for fmt, expected in (("text", "127.0.0.10 policy-listing: PBL"),
                              ("nagios", "listed on zen.spamhaus.org (127.0.0.10 policy-listing: PBL"),
                              ("openmetrics", 'zone="zen.spamhaus.org",list="Spamhaus ZEN",'
                               'answer="127.0.0.10",class="policy-listing",meaning="PBL')):
            code, out, err = self.scratch.run(["--check", "--format", fmt, "192.0.2.10"])
            self.assertIn(expected, out, fmt)
            if fmt == "openmetrics" and shutil.which("promtool"):
                lint = subprocess.run(["promtool", "check", "metrics"], input=out,
                                      capture_output=True, text=True)
                self.assertEqual((lint.returncode, lint.stdout + lint.stderr), (0, ""))

    def test_a_key_is_asked_through_its_zone_and_never_shown(self):
        history = os.path.join(self.scratch.root, "history.sqlite")
        page = os.path.join(self.scratch.root, "page.html")
        outputs = []
        for fmt in ("text", "json", "nagios"):
            with in_namespace.questions() as asked:
                code, out, err = self.scratch.run(
                    ["--check", "--format", fmt, "--zone", "zen.spamhaus.org", "--history",
                     history, "--page", page, "192.0.2.10", "192.0.2.11"],
                    OSTRIVANE_KEY_SPAMHAUS=KEY)
            self.assertIn(code, (1, 2), err)
            self.assertIn(f"10.2.0.192.{KEY}.zen.dq.spamhaus.net", names_asked(asked))
            self.assertNotIn("10.2.0.192.zen.spamhaus.org", names_asked(asked))
            self.assertIn("zen.dq.spamhaus.net", out)
            outputs += [out, err]
        code, out, err = self.scratch.run(["--timeline", "--history", history])
        outputs += [out, err]
        for stored in (history, page):
            with open(stored, "rb") as data:
                outputs.append(data.read().decode("latin-1"))
        for text in outputs:
            self.assertNotIn(KEY, text)

    def test_config_file_faults_give_status_3_naming_file_and_line(self):
        config = self.scratch.write("bad.toml", "# lists\n\nlists = [\"psbl\"]\n\n[history]\ndays = 3\n"
                                    "timeout = \"soon\"\n")
        for fmt in ("text", "nagios"):
            code, out, err = self.scratch.run(["--check", "--config", config, "--format", fmt, "192.0.2.10"])
            self.assertEqual(code, 3)
            self.assertIn(f"{config}: line 7:", err)
            if fmt == "nagios":
                self.assertTrue(out.startswith("OSTRIVANE UNKNOWN - "), out)
        code, _, err = self.scratch.run(["--lists", "--config", os.path.join(self.scratch.root, "none.toml")])
        self.assertEqual(code, 3)
        self.assertIn("none.toml", err)
        typo = self.scratch.write("typo.toml", "lists = [\"psbl\", \"spamhaus-zn\"]\n")
        code, _, err = self.scratch.run(["--check", "--config", typo, "192.0.2.10"])
        self.assertEqual(code, 3)
        self.assertIn(f"{typo}: line 1: \"spamhaus-zn\"", err)
        self.assertIn("the nearest id is \"spamhaus-zen\"", err)

    def test_config_lists_servers_and_keys_and_the_command_line_wins(self):
        self.scratch.write("etc/ostrivane.toml", "lists = [\"psbl\", \"spamhaus-zen\"]\ntimeout = 3\n"
                           "[keys]\nspamhaus = \"" + KEY + "\"\n", mode=0o644)
        code, out, err = self.scratch.run(["--check", "--format", "json", "192.0.2.10"])
        self.assertEqual(code, 1, err)
        zones = [zone["zone"] for zone in json.loads(out)["zones"]]
        self.assertEqual(zones, ["psbl.surriel.com", "zen.dq.spamhaus.net"])
        self.assertEqual(err.count("every user of this machine can read it"), 1, err)
        self.assertNotIn(KEY, err)
        code, out, err = self.scratch.run(["--check", "--format", "json", "--zone", "bl.spamcop.net",
                                           "192.0.2.10"])
        self.assertEqual([zone["zone"] for zone in json.loads(out)["zones"]], ["bl.spamcop.net"])

    def test_drop_ins_override_and_notices_come_once_per_list(self):
        self.scratch.write("etc/lists.d/50-local.toml", """
[[list]]
id = "spamcop"
default = false

[[list]]
id = "refusing"
name = "Refusing list"
provider = "refusing"
zone = "refuse.test"
kinds = ["ipv4"]
key_zone = "{key}.refuse.test"
answer = [{ code = "127.255.255.254", class = "list-error", refusal = true, meaning = "public resolver" }]
""", mode=0o644)
        code, out, err = self.scratch.run(["--lists", "--format", "json"])
        lists = {entry["id"]: entry for entry in json.loads(out)["lists"]}
        self.assertFalse(lists["spamcop"]["default"])
        self.assertIn("refusing", lists)
        self.assertNotIn("bl.spamcop.net", catalog_defaults(self.scratch))

        code, out, err = self.scratch.run(["--check", "--zone", "refusing", "--zone", "dsbl",
                                           "192.0.2.10", "192.0.2.20", "192.0.2.11"])
        self.assertEqual(code, 4, out + err)
        self.assertEqual(err.count("refuses queries through public resolvers"), 1, err)
        self.assertIn("--server", err)
        self.assertIn("OSTRIVANE_KEY_REFUSING", err)
        self.assertEqual(err.count("looks dead"), 1, err)
        self.assertIn("DSBL (list.dsbl.org) looks dead", err)

    def test_lists_prints_the_catalog(self):
        code, out, err = self.scratch.run(["--lists"])
        self.assertEqual(code, 0, err)
        self.assertRegex(out.splitlines()[0], r"^Catalog of DNS blacklists, reviewed \d{4}-\d\d-\d\d$")
        rows = {line.split()[0]: line for line in out.splitlines()[2:] if line.strip()}
        self.assertIn("dead", rows["sorbs"])
        self.assertIn("refuses public resolvers", rows["spamhaus-zen"])
        self.assertIn("Access: barracuda: needs the resolver's address registered", out)
        code, out, err = self.scratch.run(["--lists", "--format", "json"])
        lists = {entry["id"]: entry for entry in json.loads(out)["lists"]}
        self.assertIn("Hetzner (2025)", lists["spamhaus-zen"]["refuses_networks"])
        self.assertEqual(lists["spamhaus-zen"]["units"], {"ipv4": 32, "ipv6": 64})
        self.assertEqual(lists["spamcop"]["kinds"], ["ipv4"])
        code, _, err = self.scratch.run(["--lists", "--format", "xml"])
        self.assertEqual(code, 3)
        self.assertIn("--format xml", err)


if __name__ == "__main__":
    sys.exit(in_namespace.main(globals(), own_dns_server=True))
