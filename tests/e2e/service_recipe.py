#!/usr/bin/python3
"""The README's recipe for the exporter's unit, step by step, on an unpacked package.

service_recipe.py BINARY UNIT README: run inside netns_run.sh's namespace
(package_e2e_test.sh does). Reads the shell block of the README's "As a
service" section and runs each of its steps as systemd and the shell would on
a fresh install: files under /etc and /var/lib go to a scratch root, and
`systemctl enable --now` starts the unit's ExecStart with the unit's
Environment= and EnvironmentFile= (systemd's ${VAR} and $VAR expansion). A
step this script does not know fails the test, so the recipe cannot grow a
step that nothing tries. The DNS server of the namespace serves the catalog's
default lists under their own names; everything stays on 127.0.0.1.
"""

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.request

UNIT_NAME = "ostrivane-exporter.service"
# How long a step may wait for the exporter: a bound against hanging only.
HANG_BOUND_S = 60


def recipe_steps(readme):
    """The commands of the first sh block after the heading "### As a service"."""
    with open(readme, encoding="utf-8") as text:
        lines = text.read().split("\n")
    start = lines.index("### As a service")
    begin = lines.index("```sh", start) + 1
    end = lines.index("```", begin)
    steps, pending = [], ""
    for line in lines[begin:end]:
        line = re.sub(r"\s+#.*$", "", line)
        if line.endswith("\\"):
            pending += line[:-1]
            continue
        if (pending + line).strip():
            steps.append((pending + line).strip())
        pending = ""
    return steps


def unit_service(unit):
    """The [Service] section's settings: {name: [values in order]}."""
    settings, section = {}, None
    with open(unit, encoding="utf-8") as text:
        for line in text:
            line = line.strip()
            if line.startswith("["):
                section = line
            elif section == "[Service]" and "=" in line and not line.startswith("#"):
                name, value = line.split("=", 1)
                settings.setdefault(name, []).append(value)
    return settings


def expand(command, environment):
    """systemd's expansion: ${VAR} within a word, $VAR alone splits into words."""
    words = []
    for word in command.split():
        whole = re.fullmatch(r"\$([A-Za-z_][A-Za-z0-9_]*)", word)
        if whole:
            words += environment.get(whole.group(1), "").split()
        else:
            words.append(re.sub(r"\$\{([A-Za-z_][A-Za-z0-9_]*)\}",
                                lambda m: environment.get(m.group(1), ""), word))
    return words


class Machine:
    """A fresh install: /etc and /var/lib in a scratch root, the unit not running."""

    def __init__(self, binary, unit):
        self.binary, self.unit = binary, unit
        self.root = tempfile.mkdtemp(prefix="ostrivane-recipe-")
        self.process = None
        self.log = os.path.join(self.root, "journal")

    def path(self, text):
        for prefix in ("/etc/", "/var/lib/"):
            text = text.replace(prefix, self.root + prefix)
        return text

    def environment(self, service):
        environment = {"PATH": "/usr/bin:/bin",
                       # The program's own folder under /etc is the scratch one.
                       "OSTRIVANE_CONFIG_DIR": self.path("/etc/ostrivane")}
        for setting in service.get("Environment", []):
            name, value = setting.split("=", 1)
            environment[name] = self.path(value)
        for file in service.get("EnvironmentFile", []):
            optional = file.startswith("-")
            file = self.path(file.lstrip("-"))
            if optional and not os.path.exists(file):
                continue
            with open(file, encoding="utf-8") as values:
                for line in values:
                    if "=" in line and not line.lstrip().startswith("#"):
                        name, value = line.strip().split("=", 1)
                        environment[name] = value.strip('"')
        return environment

    def start(self):
        service = unit_service(self.unit)
        for folder in service.get("StateDirectory", []):
            os.makedirs(self.path("/var/lib/" + folder), exist_ok=True)
        words = expand(service["ExecStart"][0], self.environment(service))
        assert words[0] == "/usr/bin/ostrivane", words
        words = [self.binary] + [self.path(word) for word in words[1:]]
        with open(self.log, "a") as journal:
            self.process = subprocess.Popen(words, stdout=journal, stderr=subprocess.STDOUT,
                                            env=self.environment(service))

    def journal(self):
        with open(self.log, encoding="utf-8", errors="replace") as journal:
            return journal.read()

    def running(self):
        if self.process is None or self.process.poll() is not None:
            raise AssertionError(f"the exporter is not running: {self.journal()}")

    def get(self, url):
        with urllib.request.urlopen(url, timeout=5) as reply:
            return reply.read().decode("utf-8", "replace")

    def checks(self):
        body = self.get("http://127.0.0.1:9716/metrics")
        return float(re.search(r"^ostrivane_checks_total (\S+)$", body, re.M).group(1))

    def stop(self):
        if self.process is not None and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            status = self.process.wait(timeout=HANG_BOUND_S)
            assert status == 0, f"SIGTERM: status {status}"
        shutil.rmtree(self.root, ignore_errors=True)


def wait_for(what, predicate):
    deadline = time.monotonic() + HANG_BOUND_S
    while time.monotonic() < deadline:
        try:
            if predicate():
                return
        except OSError:  # not listening yet
            pass
        time.sleep(0.25)
    raise AssertionError(f"timed out: {what}")


def mkdir(machine, folder):
    os.makedirs(machine.path(folder), exist_ok=True)


def write(machine, text, mode, file):
    with open(machine.path(file), "a" if mode == ">>" else "w", encoding="utf-8") as out:
        out.write(text + "\n")


def enable_now(machine):
    machine.start()


def curl_grep(machine, url, pattern):
    def found():
        machine.running()
        return any(pattern in line for line in machine.get(url).splitlines())
    wait_for(f"{pattern} in {url}", found)


def reload(machine):
    before = machine.checks()
    machine.process.send_signal(signal.SIGHUP)
    wait_for("a check after the reload", lambda: machine.checks() > before)
    machine.running()
    assert "settings re-read" in machine.journal(), machine.journal()


# Each step the recipe may hold: its pattern and what it does here.
STEPS = [
    (r"mkdir -p (\S+)", mkdir),
    (r"echo '([^']*)' (>>?) (\S+)", write),
    (r"systemctl enable --now " + re.escape(UNIT_NAME), enable_now),
    (r"curl -s (\S+) \| grep (\S+)", curl_grep),
    (r"systemctl reload " + re.escape(UNIT_NAME), reload),
]


def main():
    if len(sys.argv) != 4:
        print("usage: service_recipe.py BINARY UNIT README", file=sys.stderr)
        return 2
    if os.environ.get("OSTRIVANE_NETNS") != "1":
        print("service_recipe.py: run me through netns_run.sh", file=sys.stderr)
        return 2
    binary, unit, readme = sys.argv[1:]
    machine = Machine(binary, unit)
    try:
        steps = recipe_steps(readme)
        for step in steps:
            action = next(((act, m) for pattern, act in STEPS
                           if (m := re.fullmatch(pattern, step))), None)
            if action is None:
                print(f"FAIL: the recipe's step '{step}' is not one this test runs",
                      file=sys.stderr)
                return 1
            action[0](machine, *action[1].groups())
            print(f"ok: {step}")
        if machine.process is None:
            print("FAIL: the recipe never starts the unit", file=sys.stderr)
            return 1
        print("the exporter said:\n" + machine.journal())
    except AssertionError as failure:
        print(f"FAIL: {failure}", file=sys.stderr)
        return 1
    finally:
        machine.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
