#!/usr/bin/python3
"""The history of `ostrivane --check`, end to end (run by history_e2e_test.sh).

history_e2e_test.py PROGRAM WORK, inside netns_run.sh, with the test DNS
server reading the listings of changing.test from WORK/listings at every query.
bl.test lists 192.0.2.10 (127.0.0.4) and 192.0.2.11 (127.0.0.5) for good.
"""

import html.parser
import json
import os
import random
import sqlite3
import subprocess
import sys
import time
import unittest

PROGRAM, WORK = sys.argv[1], sys.argv[2]
LISTINGS = os.path.join(WORK, "listings")
ZONES = ["--zone", "changing.test", "--zone", "bl.test"]
ADDRESSES = ["192.0.2.10", "192.0.2.30", "192.0.2.31", "192.0.2.20"]
MARKUP = '<b class="x">relay</b> & "more"'
CHECK_BOUND_S = 30


def set_listings(*lines):
    """The listings changing.test answers from now on: "ADDRESS ANSWER [REASON]"."""
    with open(LISTINGS + ".new", "w", encoding="utf-8") as listings:
        listings.write("".join(line + "\n" for line in lines))
    os.replace(LISTINGS + ".new", LISTINGS)


def check(*args, env=None):
    """(status, stdout, stderr) of `ostrivane --check ARGS`."""
    done = subprocess.run(
        [PROGRAM, "--check", *args],
        capture_output=True,
        text=True,
        timeout=CHECK_BOUND_S,
        env={**os.environ, "XDG_STATE_HOME": os.path.join(WORK, "state"), **(env or {})},
    )
    return done.returncode, done.stdout, done.stderr


def check_json(history, *extra):
    status, out, err = check(*ZONES, "--history", history, "--format", "json", *extra, *ADDRESSES)
    try:
        document = json.loads(out)
    except json.JSONDecodeError as error:
        raise AssertionError(f"not JSON ({error}); stdout:\n{out}\nstderr:\n{err}")
    return status, document, err


def by_address_and_zone(document):
    return {(result["address"], result["zone"]): result for result in document["results"]}


def change_and_since(result):
    return result.get("change"), result.get("since")


def history_path(name):
    return os.path.join(WORK, name)


def whole_runs(path):
    """(integrity, runs, runs whose counts do not add up to their results).

    The store is opened as the next run opens it, able to write: a run killed
    mid-transaction leaves a journal that only a writer may roll back, and a
    read-only reader then fails where the next run would see whole runs."""
    with sqlite3.connect(path) as db:
        integrity = db.execute("PRAGMA integrity_check").fetchone()[0]
        tables = db.execute("SELECT count(*) FROM sqlite_schema WHERE name = 'runs'").fetchone()
        # A run killed while it made the file leaves it without tables: no run.
        rows = db.execute("SELECT result_count, counts FROM runs").fetchall() if tables[0] else []
    partial = 0
    for result_count, counts in rows:
        total = sum(int(pair.split("=")[1]) for pair in counts.split())
        partial += total != result_count
    return integrity, len(rows), partial


class Changes(unittest.TestCase):
    maxDiff = None

    def test_new_ongoing_cleared_and_the_status_of_changes(self):
        history = history_path("changes.sqlite")
        set_listings("192.0.2.10 127.0.0.3", "192.0.2.30 127.0.0.7")
        status, first, err = check_json(history)
        self.assertEqual(status, 1, err)
        results = by_address_and_zone(first)
        self.assertEqual(len(results), 8)
        for key in [("192.0.2.10", "changing.test"), ("192.0.2.30", "changing.test"),
                    ("192.0.2.10", "bl.test")]:
            with self.subTest(key=key):
                self.assertEqual(results[key]["verdict"], "listed")
                self.assertEqual(results[key]["change"], "new")
                self.assertTrue(results[key]["since"])
        for key in [("192.0.2.31", "changing.test"), ("192.0.2.20", "bl.test")]:
            self.assertEqual(results[key]["verdict"], "not-listed")
            self.assertIsNone(results[key].get("change"))
        began = results[("192.0.2.10", "changing.test")]["since"]

        # 192.0.2.30 is delisted, 192.0.2.31 listed.
        set_listings("192.0.2.10 127.0.0.3", "192.0.2.31 127.0.0.9")
        status, second, err = check_json(history)
        self.assertEqual(status, 1, err)
        results = by_address_and_zone(second)
        self.assertEqual(change_and_since(results[("192.0.2.10", "changing.test")]),
                         ("ongoing", began))
        self.assertEqual(results[("192.0.2.10", "bl.test")]["change"], "ongoing")
        self.assertEqual(results[("192.0.2.30", "changing.test")]["verdict"], "not-listed")
        self.assertEqual(results[("192.0.2.30", "changing.test")]["change"], "cleared")
        self.assertEqual(results[("192.0.2.31", "changing.test")]["change"], "new")
        self.assertIsNone(results[("192.0.2.20", "changing.test")].get("change"))

        # Nothing changed, though still listed: --changes is quiet, status 0.
        status, out, err = check(*ZONES, "--history", history, "--changes", *ADDRESSES)
        self.assertEqual(status, 0, out + err)
        self.assertNotIn("192.0.2.10", out)  # still listed, but not news
        # A new listing: status 1, and it is named.
        set_listings("192.0.2.10 127.0.0.3", "192.0.2.31 127.0.0.9", "192.0.2.20 127.0.0.2")
        status, out, err = check(*ZONES, "--history", history, "--changes", *ADDRESSES)
        self.assertEqual(status, 1, out + err)
        self.assertIn("192.0.2.20", out)

        # The timeline has them all: 192.0.2.30's listing ended, the others go on.
        done = subprocess.run([PROGRAM, "--timeline", "--history", history], capture_output=True,
                              text=True, timeout=CHECK_BOUND_S)
        self.assertEqual(done.returncode, 0, done.stderr)
        lines = done.stdout.splitlines()
        self.assertEqual(len(lines), 1 + 5, done.stdout)
        ended = [line for line in lines if line.startswith("192.0.2.30 ")]
        self.assertEqual(len(ended), 1, done.stdout)
        self.assertNotIn(" now ", ended[0])
        done = subprocess.run([PROGRAM, "--timeline", "--history", history, "192.0.2.10"],
                              capture_output=True, text=True, timeout=CHECK_BOUND_S)
        self.assertEqual(len(done.stdout.splitlines()), 1 + 2, done.stdout)

    def test_two_runs_at_once_are_both_recorded(self):
        history = history_path("together.sqlite")
        set_listings("192.0.2.10 127.0.0.3")
        check_json(history)
        command = [PROGRAM, "--check", *ZONES, "--history", history, "--format", "json", *ADDRESSES]
        runs = [subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
                for _ in range(2)]
        for run in runs:
            out, err = run.communicate(timeout=CHECK_BOUND_S)
            self.assertEqual(run.returncode, 1, err)
            self.assertEqual(err, "")
        self.assertEqual(whole_runs(history), ("ok", 3, 0))

    def test_runs_killed_while_writing_leave_whole_runs(self):
        history = history_path("killed.sqlite")
        set_listings(*[f"192.0.2.{i} 127.0.0.2" for i in range(0, 256, 3)])
        command = [PROGRAM, "--check", *ZONES, "--history", history, "--format", "json",
                   "192.0.2.0/24"]
        for _ in range(6):
            run = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            time.sleep(random.uniform(0.0, 0.4))
            run.kill()
            run.wait()
            if os.path.exists(history):
                integrity, _, partial = whole_runs(history)
                self.assertEqual((integrity, partial), ("ok", 0))
        status, _, err = check_json(history)
        self.assertIn(status, (0, 1), err)
        self.assertEqual(err, "")


class Faults(unittest.TestCase):
    def refused_stores(self, name):
        """(what, history path, file that must stay byte-identical, name said) per refused store."""
        folder = history_path(name)
        os.makedirs(folder)
        path = lambda file: os.path.join(folder, file)
        with open(path("garbage.sqlite"), "wb") as file:
            file.write(b"SQLite format 3\x00" + bytes(range(256)) * 16)
        with sqlite3.connect(path("damaged.sqlite")) as db:
            db.executescript(
                "PRAGMA page_size = 4096; PRAGMA application_id = 1332966518;"
                "PRAGMA user_version = 3; CREATE TABLE runs (id INTEGER PRIMARY KEY, b BLOB);"
                "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 200)"
                " INSERT INTO runs SELECT i, randomblob(200) FROM n;")
        db.close()
        with open(path("damaged.sqlite"), "r+b") as file:
            file.seek(5 * 4096)
            file.write(b"\xee" * 4096)
        foreign = sqlite3.connect(path("foreign.sqlite"))
        foreign.execute("PRAGMA application_id = 1234")
        foreign.execute("VACUUM")
        foreign.close()
        open(path("empty-target"), "wb").close()
        set_listings()
        self.assertEqual(check(*ZONES, "--history", path("other.sqlite"), *ADDRESSES)[0], 1)
        os.symlink(path("empty-target"), path("link-to-empty.sqlite"))
        os.symlink(path("other.sqlite"), path("link-to-store.sqlite"))
        os.symlink(path("empty-target"), path("wal-link.sqlite-wal"))
        os.symlink(path("empty-target"), path("journal-link.sqlite-journal"))
        return [
            ("garbage after the header", path("garbage.sqlite"), path("garbage.sqlite"), None),
            ("a damaged page", path("damaged.sqlite"), path("damaged.sqlite"), "is damaged"),
            ("another program's empty database", path("foreign.sqlite"),
             path("foreign.sqlite"), "another program"),
            ("a link to an empty file", path("link-to-empty.sqlite"), path("empty-target"),
             "symbolic link"),
            ("a link to another store", path("link-to-store.sqlite"), path("other.sqlite"),
             "symbolic link"),
            ("a link as the write-ahead log", path("wal-link.sqlite"), path("empty-target"),
             path("wal-link.sqlite-wal")),
            ("a link as the journal", path("journal-link.sqlite"), path("empty-target"),
             path("journal-link.sqlite-journal")),
        ]

    def test_a_store_that_is_damaged_foreign_or_a_link_is_named_and_never_written(self):
        for what, history, kept, said in self.refused_stores("refused"):
            with self.subTest(what):
                with open(kept, "rb") as file:
                    before = file.read()
                set_listings("192.0.2.10 127.0.0.3")
                status, document, err = check_json(history)
                self.assertEqual(status, 1)  # the check itself ran and found the listing
                self.assertEqual(len(document["results"]), 8)
                self.assertIn(history, err)
                if said:
                    self.assertIn(said, err)
                status, out, err = check(*ZONES, "--history", history, "--changes", *ADDRESSES)
                self.assertEqual(status, 3, out + err)
                self.assertIn(history, err)
                with open(kept, "rb") as file:
                    self.assertEqual(file.read(), before)
                self.assertFalse(os.path.exists(kept + "-wal") and not os.path.islink(kept + "-wal"))

    def test_default_history_file_and_no_history(self):
        default = os.path.join(WORK, "state", "ostrivane", "history.sqlite")
        set_listings()
        status, out, err = check(*ZONES, "--no-history", *ADDRESSES)
        self.assertEqual(status, 1, err)
        self.assertFalse(os.path.exists(default))
        status, out, err = check(*ZONES, *ADDRESSES)
        self.assertEqual(status, 1, err)
        self.assertEqual(whole_runs(default)[:2], ("ok", 1))


HERE = os.path.dirname(os.path.abspath(__file__))


def parser_state(first_line):
    """The state Perl Monitoring::Plugin::Performance reads from the perfdata."""
    done = subprocess.run(["perl", os.path.join(HERE, "perfdata_status.pl")], input=first_line,
                          capture_output=True, text=True, timeout=30)
    if done.returncode != 0:
        raise AssertionError(f"perfdata not parsed: {done.stderr}\n{first_line}")
    return int(done.stdout)


class Monitor(unittest.TestCase):
    def test_a_perfdata_parser_reads_the_plugins_own_state(self):
        # listings -> (options, the plugin's state); 192.0.2.10 is always on bl.test.
        cases = [
            ("listed, default thresholds", ["192.0.2.30 127.0.0.2"], [], 2),
            ("clean", [], ["--zone", "changing.test", "192.0.2.20"], 0),
            ("incomplete", [], ["--zone", "changing.test", "--zone", "silent.test",
                                "192.0.2.20"], 1),
            ("two listings, warning above 1", ["192.0.2.30 127.0.0.2"],
             ["-w", "1", "-c", "5"], 1),
            # The Perl parser does not read "@" in perfdata (the guidelines allow
            # it): the plugin's own state is checked, the parser's is not.
            ("two listings, critical inside 2:3", ["192.0.2.30 127.0.0.2"],
             ["-w", "~:0", "-c", "@2:3"], 2),
            ("two listings, warning at most 0", ["192.0.2.30 127.0.0.2"],
             ["-w", "~:0", "-c", "2"], 1),
            ("two listings, no alert below 3", ["192.0.2.30 127.0.0.2"],
             ["-c", "3", "--timeout", "1"], 0),
        ]
        for what, listings, options, state in cases:
            with self.subTest(what):
                set_listings(*listings)
                targets = [] if "192.0.2.20" in options else [*ZONES, *ADDRESSES]
                status, out, err = check("--format", "nagios", "--no-history", *options,
                                         *targets)
                first = out.splitlines()[0]
                self.assertEqual(status, state, out + err)
                if "@" not in " ".join(options):
                    self.assertEqual(parser_state(first), state, first)
                self.assertLess(len(first), 200)

    def test_sixteen_silent_lists_make_a_short_status_line(self):
        zones = [arg for i in range(16) for arg in ("--zone", f"z{i:02d}.silent-lists-are-long.test")]
        status, out, err = check("--format", "nagios", "--no-history", "--timeout", "0.5",
                                 *zones, "192.0.2.20")
        lines = out.splitlines()
        self.assertEqual(status, 1, out + err)
        self.assertLess(len(lines[0]), 200, lines[0])
        self.assertIn("and 1", lines[0])  # the first few lists, then "and N more"
        self.assertEqual(sum("no verdict from" in line for line in lines[1:]), 16)

    def test_changes_prints_nothing_when_nothing_changed(self):
        history = history_path("quiet-changes.sqlite")
        set_listings()
        check(*ZONES, "--history", history, *ADDRESSES)
        status, out, err = check(*ZONES, "--history", history, "--changes", *ADDRESSES)
        self.assertEqual((status, out), (0, ""), err)
        set_listings("192.0.2.31 127.0.0.2")
        status, out, err = check(*ZONES, "--history", history, "--changes", *ADDRESSES)
        self.assertEqual(status, 1, err)
        self.assertIn("192.0.2.31", out)
        self.assertIn("new", out)

    def failures(self):
        """(what, command, stdout, environment) rows whose runs must fail loudly."""
        fifo = os.path.join(WORK, "list.fifo")
        if not os.path.exists(fifo):
            os.mkfifo(fifo)
        # A file where a folder should be: refused even to root.
        unwritable = os.path.join(WORK, "a-file")
        open(unwritable, "w").close()
        history = history_path("failures.sqlite")
        check(*ZONES, "--history", history, *ADDRESSES)
        full = open("/dev/full", "w")
        self.addCleanup(full.close)
        escape = "\x1b]0;owned\x07"
        return [
            # what, arguments, stdout, expected status, part of stderr, part of stdout
            ("--check into /dev/full", ["--check", *ZONES, "--history", history, *ADDRESSES],
             full, 3, "cannot write to standard output", None),
            ("--timeline into /dev/full", ["--timeline", "--history", history], full, 3,
             "cannot write to standard output", None),
            ("--timeline of an address never checked",
             ["--timeline", "--history", history, "198.51.100.7"], subprocess.PIPE, 2,
             "198.51.100.7: no check", None),
            ("--check --list of a FIFO without a writer",
             ["--check", "--list", fifo, "--no-history", "192.0.2.20"], subprocess.PIPE, 3,
             "not a regular file", None),
            ("a target that would retitle the terminal",
             ["--check", *ZONES, "--no-history", escape], subprocess.PIPE, 3, "\\x1b]0;owned",
             None),
            ("a status page that cannot be written",
             ["--check", "--format", "nagios", "--zone", "changing.test", "--no-history",
              "--page", os.path.join(unwritable, "sub", "page.html"), "192.0.2.20"],
             subprocess.PIPE, 3, "Status page not written", "OSTRIVANE UNKNOWN - "),
            ("a history that cannot be written, said in the long output",
             ["--check", "--format", "nagios", "--zone", "changing.test", "--history",
              os.path.join(unwritable, "sub", "history.sqlite"), "192.0.2.20"],
             subprocess.PIPE, 0, "history file", "history file"),
        ]

    def test_failures_are_loud(self):
        set_listings()
        for what, args, stdout, status, in_err, in_out in self.failures():
            with self.subTest(what):
                done = subprocess.run([PROGRAM, *args], stdout=stdout, stderr=subprocess.PIPE,
                                      stdin=subprocess.DEVNULL, timeout=CHECK_BOUND_S,
                                      env={**os.environ,
                                           "XDG_STATE_HOME": os.path.join(WORK, "state")})
                err = done.stderr.decode("utf-8", "replace")
                out = done.stdout.decode("utf-8", "replace") if done.stdout else ""
                self.assertEqual(done.returncode, status, out + err)
                self.assertIn(in_err, err)
                self.assertNotIn("\x1b", err)
                if in_out:
                    self.assertIn(in_out, out)

    def test_the_page_shows_a_bidirectional_override_instead_of_obeying_it(self):
        set_listings("192.0.2.30 127.0.0.2 \u202eevil")
        page = os.path.join(WORK, "bidi.html")
        status, out, err = check(*ZONES, "--no-history", "--page", page, *ADDRESSES)
        self.assertEqual(status, 1, out + err)
        with open(page, encoding="utf-8") as file:
            source = file.read()
        self.assertNotIn("\u202e", source)
        self.assertIn("\\u202eevil", source)
        self.assertIn("4 addresses, 2 lists; 2 listings.", source)  # no "(0 new)"

    def test_a_run_piped_into_head_still_records(self):
        history = history_path("head.sqlite")
        set_listings("192.0.2.30 127.0.0.2")
        for round in range(1, 4):
            reader, writer = os.pipe()
            os.close(reader)  # the reader is gone before the first line
            done = subprocess.run([PROGRAM, "--check", *ZONES, "--history", history, *ADDRESSES],
                                  stdout=writer, stderr=subprocess.PIPE, timeout=CHECK_BOUND_S)
            os.close(writer)
            self.assertEqual(done.returncode, 3, done.stderr)
            self.assertIn(b"cannot write to standard output", done.stderr)
            self.assertEqual(whole_runs(history), ("ok", round, 0))



class PageParser(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.tags = []
        self.attributes = []
        self.text = []

    def handle_starttag(self, tag, attrs):
        self.tags.append(tag)
        self.attributes += attrs

    def handle_data(self, data):
        self.text.append(data)


class Page(unittest.TestCase):
    def test_page_is_self_contained_and_escapes_every_value(self):
        name = 'Evil <i>"list"</i> & co'
        rows = [name, "changing.test", "Test list", "bl.test"] + [""] * 36
        list_file = os.path.join(WORK, "page-list.txt")
        with open(list_file, "w", encoding="utf-8", newline="") as file:
            file.write("".join(row + "\r\n" for row in rows))
        set_listings(f"192.0.2.30 127.0.0.7 {MARKUP}")
        page = os.path.join(WORK, "status.html")
        history = history_path("page.sqlite")
        for _ in range(2):
            status, out, err = check("--list", list_file, "--history", history, "--page", page,
                                     *ADDRESSES)
            self.assertEqual(status, 1, out + err)
        with open(page, encoding="utf-8") as file:
            source = file.read()
        parser = PageParser()
        parser.feed(source)
        parser.close()
        text = "".join(parser.text)

        # Every value shows as text, none as markup.
        self.assertIn(MARKUP, text)
        self.assertIn(name, text)
        self.assertNotIn("i", parser.tags)
        self.assertNotIn("b", parser.tags)
        for tag in ("script", "link", "img", "iframe", "object", "embed"):
            self.assertNotIn(tag, parser.tags)
        # Nothing outside the page but the lists' information pages.
        for attribute, value in parser.attributes:
            self.assertNotEqual(attribute, "src")
            self.assertFalse(attribute.startswith("on"), attribute)
            if attribute == "href":
                self.assertTrue(value.startswith("https://"), value)
        # The two listings under what needs action, then both lists of each
        # listed address (192.0.2.10 and 192.0.2.30); clean addresses are counted.
        self.assertEqual(sum(1 for a, _ in parser.attributes if a == "href"), 2 + 2 * 2)
        self.assertIn("192.0.2.0/244220", text.replace(" ", ""))
        self.assertNotIn("url(", source)
        self.assertNotIn("@import", source)
        # The listing and its 30-day strip.
        self.assertIn("192.0.2.30", text)
        self.assertIn("listed", text)
        self.assertGreaterEqual(source.count('class="day listed"'), 1)


if __name__ == "__main__":
    program = unittest.main(argv=[sys.argv[0], "-v"], exit=False)
    sys.exit(0 if program.result.wasSuccessful() else 1)
