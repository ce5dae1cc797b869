"""Runs an end-to-end test script inside netns_run.sh's namespace.

A script calls `in_namespace.main(globals(), keep_dns_log=...)`
from its `__main__` block: outside the namespace it runs itself again through
netns_run.sh (77: skipped) and returns that run's status; inside, it sets the
script's BINARY from its first argument and runs its unittest cases.
"""

import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))


def enter(script, keep_dns_log):
    """Runs `script` again inside the namespace with the same arguments.

    With keep_dns_log the DNS server's query log goes to a temporary file named
    by OSTRIVANE_DNS_LOG, which the script reads.
    """
    command = [os.path.join(HERE, "netns_run.sh"), sys.executable, os.path.abspath(script),
               *sys.argv[1:]]
    if not keep_dns_log:
        return subprocess.run(command).returncode
    name = os.path.splitext(os.path.basename(script))[0]
    with tempfile.NamedTemporaryFile(prefix=f"ostrivane-{name}-dns-", suffix=".log") as log:
        return subprocess.run(command, env=dict(os.environ, OSTRIVANE_DNS_LOG=log.name)).returncode


def main(script_globals, keep_dns_log=False):
    """The exit status of the script whose globals these are."""
    script = script_globals["__file__"]
    if len(sys.argv) < 2:
        print(f"usage: {os.path.basename(script)} BINARY [unittest arguments]", file=sys.stderr)
        return 2
    if os.environ.get("OSTRIVANE_NETNS") != "1":
        return enter(script, keep_dns_log)
    script_globals["BINARY"] = sys.argv[1]
    program = unittest.main(argv=[sys.argv[0], "-v", *sys.argv[2:]], exit=False)
    return 0 if program.result.wasSuccessful() else 1
