"""Runs an end-to-end test script inside netns_run.sh's namespace.

A script calls `in_namespace.main(globals(), own_dns_server=...)` from its
`__main__` block: outside the namespace it runs itself again through
netns_run.sh (77: skipped) and returns that run's status; inside, it sets the
script's BINARY from its first argument and runs its unittest cases.

With own_dns_server each case gets a DNS server of its own on 127.0.0.1:53
(dns_server.py, started before the case and stopped after it), so no question
of an earlier case, nor a late answer to one, ever reaches it; and
`with questions() as asked:` gives the questions that server got while the
block ran, in order of arrival, each "NAME TYPE" with NAME ending in a dot;
`with late_answers_held():` keeps every answer that waits for a delay (the
tables' delays of dns_server.py) from being sent before the block ends.
"""

import contextlib
import itertools
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
PYTHON = "/usr/bin/python3"
# Only a bound against hanging: the server is ready in well under a second.
SERVER_START_BOUND_S = 60
# The harness's own questions that frame a block; every name under this
# zone is NXDOMAIN, and none is ever a program's question.
MARK_ZONE = "mark.harness.invalid"


def enter(script, own_dns_server):
    """Runs `script` again inside the namespace with the same arguments."""
    command = [os.path.join(HERE, "netns_run.sh"), PYTHON, os.path.abspath(script),
               *sys.argv[1:]]
    environment = dict(os.environ)
    if own_dns_server:
        environment["OSTRIVANE_NETNS_DNS_SERVER"] = "none"
    return subprocess.run(command, env=environment).returncode


class DnsServer:
    """dns_server.py on 127.0.0.1:53 with a query log, for one test case."""

    def __init__(self):
        self.folder = tempfile.mkdtemp(prefix="ostrivane-dns-")
        self.query_log = os.path.join(self.folder, "questions")
        self.hold = os.path.join(self.folder, "hold")
        ready = os.path.join(self.folder, "ready")
        log = os.path.join(self.folder, "log")
        with open(log, "w") as output:
            # Ends with this process, even when it is killed outright.
            self.process = subprocess.Popen(
                ["setpriv", "--pdeathsig", "TERM", PYTHON, os.path.join(HERE, "dns_server.py"),
                 "--address", "127.0.0.1", "--port", "53", "--ready-file", ready,
                 "--query-log", self.query_log],
                stdin=subprocess.DEVNULL, stdout=output, stderr=subprocess.STDOUT,
                env=dict(os.environ, OSTRIVANE_DNS_HOLD=self.hold))
        deadline = time.monotonic() + SERVER_START_BOUND_S
        while not os.path.exists(ready):
            if self.process.poll() is not None or time.monotonic() > deadline:
                with open(log) as said:
                    text = said.read()
                self.stop()
                raise RuntimeError(f"the test DNS server did not start:\n{text}")
            time.sleep(0.05)

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait()
        shutil.rmtree(self.folder, ignore_errors=True)


server = None  # the running case's DnsServer
marks = itertools.count()


class OwnServerResult(unittest.TextTestResult):
    """Gives each case a fresh DnsServer for as long as it runs."""

    def startTest(self, test):
        global server
        server = DnsServer()
        super().startTest(test)

    def stopTest(self, test):
        global server
        super().stopTest(test)
        server.stop()
        server = None


def mark():
    """The query log's line of a question of the harness's own, once answered.

    The server writes each question before it answers it, and reads them in
    order: with the answer here, every question that came before is written.
    """
    from dnslib import DNSRecord  # netns_run.sh makes sure it is there

    name = f"{next(marks)}.{MARK_ZONE}"
    for _ in range(10):  # loopback does not lose packets; bounded all the same
        try:
            DNSRecord.question(name, "A").send("127.0.0.1", 53, timeout=5)
            return f"{name}. A"
        except socket.timeout:
            continue
    raise RuntimeError(f"the test DNS server did not answer {name}")


@contextlib.contextmanager
def questions():
    """The list of questions asked between the block's start and its end."""
    asked = []
    start = mark()
    yield asked
    end = mark()
    with open(server.query_log, encoding="utf-8") as log:
        lines = log.read().splitlines()
    between = lines[lines.index(start) + 1:lines.index(end)]
    asked.extend(line for line in between if not line.split(" ")[0].endswith(f".{MARK_ZONE}."))


@contextlib.contextmanager
def late_answers_held():
    """Within the block, delayed answers wait for its end too."""
    open(server.hold, "w").close()
    try:
        yield
    finally:
        os.unlink(server.hold)


def main(script_globals, own_dns_server=False):
    """The exit status of the script whose globals these are."""
    script = script_globals["__file__"]
    if len(sys.argv) < 2:
        print(f"usage: {os.path.basename(script)} BINARY [unittest arguments]", file=sys.stderr)
        return 2
    if os.environ.get("OSTRIVANE_NETNS") != "1":
        return enter(script, own_dns_server)
    script_globals["BINARY"] = sys.argv[1]
    runner = unittest.TextTestRunner(
        verbosity=2, resultclass=OwnServerResult if own_dns_server else None)
    program = unittest.main(argv=[sys.argv[0], *sys.argv[2:]], exit=False, testRunner=runner)
    return 0 if program.result.wasSuccessful() else 1
