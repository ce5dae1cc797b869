#!/bin/bash
# check_zones_e2e_test.sh BINARY
#
# `ostrivane --check-zones` against the test DNS server: a copy of BINARY runs
# in a temporary directory beside a list file naming one zone of each kind
# that dns_server.py serves, inside netns_run.sh's private network namespace.
# Checks every row's state and answers, the summary, the exit status 4
# although one server never answers, and that it neither wrote a report nor
# touched the list file.
# Then its options, one row each of the table CASES (name|arguments, DIR
# standing for the work folder), checked against the table of the same names
# below: --format json, --list, --timeout, --server and their usage errors.
#
# Exit: 0 passed, 1 failed, 77 skipped (no network namespace on this machine).

set -u

readonly here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
readonly python=/usr/bin/python3

(($# == 1)) || {
    echo "usage: $0 BINARY" >&2
    exit 2
}
binary=$1
[[ -x "$binary" ]] || {
    echo "FAIL: $binary is not an executable" >&2
    exit 1
}

work=$(mktemp -d "${TMPDIR:-/tmp}/ostrivane-check-zones.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
cp "$binary" "$work/ostrivane" || exit 1

# 20 rows, name then zone, CRLF. Row 8 has a name and no zone (not checked);
# row 9's name carries a terminal escape sequence that must be printed
# escaped; row 20 has a zone and no name (checked like any other).
rows=(
    "Healthy list" bl.test
    "Wildcard list" wild.test
    "Empty list" empty.test
    "Refusing list" refuse.test
    "Silent list" silent.test
    "Failing list" servfail.test
    "Parked domain" parked.test
    "Name only" ""
    $'Esc\e[31mred' bl.test
    "IPv6 only" v6only.test
    "IPv4 only" v4only.test
    "Domain list" dbl.test
)
for ((i = 12; i < 19; i++)); do
    rows+=("" "")
done
rows+=("" bl.test)
((${#rows[@]} == 40)) || {
    echo "FAIL: the test's list has ${#rows[@]} lines, not 40" >&2
    exit 1
}
printf '%s\r\n' "${rows[@]}" >"$work/sbllist.txt"

# A catalog drop-in that knows two of the zones: the wildcard one is said to
# look dead once, though the list holds it once; the healthy one is not.
mkdir -p "$work/etc/lists.d"
cat >"$work/etc/lists.d/test.toml" <<'TOML'
[[list]]
id = "wild"
name = "Wild list"
zone = "wild.test"
kinds = ["ipv4"]

[[list]]
id = "healthy"
name = "Healthy list"
zone = "bl.test"
kinds = ["ipv4"]

[[list]]
id = "domains"
name = "Domain list"
zone = "dbl.test"
kinds = ["domains"]
TOML
cp "$work/sbllist.txt" "$work/sbllist.before"
printf 'Healthy list\r\nbl.test\r\n' >"$work/healthy.txt"
# slowbl.test answers after 3 s: in time for the default time-out of 5 s,
# too late for --timeout 0.5.
printf 'Slow list\r\nslowbl.test\r\n' >"$work/slow.txt"
cat >"$work/cases" <<'CASES'
json|--format json --timeout 1
json-equals|--format=json --list DIR/sbllist.txt --timeout=1
list-healthy|--list DIR/healthy.txt
timeout|--list DIR/slow.txt --timeout 0.5
server|--list DIR/healthy.txt --server 127.0.0.1:53 --timeout 1
no-server|--list DIR/healthy.txt --server 127.0.0.1:5353 --timeout 1
help|--help
missing-list|--list DIR/missing.txt
bad-format|--format nagios
bad-timeout|--timeout 0
bad-server|--server ns.example
no-value|--list
target|192.0.2.1
unknown|--zone bl.test
CASES

OSTRIVANE_CONFIG_DIR="$work/etc" OSTRIVANE_REPORT="$work/report.html" "$here/netns_run.sh" /bin/bash -c '
    "$1/ostrivane" --check-zones >"$1/stdout" 2>"$1/stderr"
    echo $? >"$1/status"
    "$1/ostrivane" --check-zones >/dev/full 2>"$1/stderr-full"
    echo $? >"$1/status-full"
    while IFS="|" read -r name args; do
        read -r -a argv <<<"${args//DIR/$1}"
        "$1/ostrivane" --check-zones "${argv[@]}" >"$1/case-$name.out" 2>"$1/case-$name.err"
        echo $? >"$1/case-$name.status"
    done <"$1/cases"
' check_zones "$work"
netns_status=$?
if ((netns_status == 77)); then
    exit 77
fi
if ((netns_status != 0)) || [[ ! -s "$work/status" ]]; then
    echo "FAIL: netns_run.sh exited $netns_status" >&2
    exit 1
fi

"$python" - "$work" <<'EOF'
import json
import os
import re
import sys

work = sys.argv[1]
status = int(open(os.path.join(work, "status")).read())
stdout = open(os.path.join(work, "stdout")).read()
stderr = open(os.path.join(work, "stderr")).read()
failures = []

STATES = "healthy|lists everything|empty or dead|refuses us"
ANSWER = r"\s{2,}(\S.*?)"
LINE = re.compile(rf"^\s*(\d+)  (.*?)\s+(\S+)\s{{2,}}({STATES}){ANSWER}{ANSWER}"
                  rf"\s{{2,}}({STATES})\s{{2,}}({STATES}){ANSWER}{ANSWER}"
                  rf"(?:\s{{2,}}({STATES}){ANSWER}{ANSWER})?$")

# row -> (name, zone, state, allowed answers for 127.0.0.2, for 127.0.0.1)
SILENT = {"timed out", "no answer"}  # the resolver may give up before we do
expected = {
    1: ("Healthy list", "bl.test", "healthy", {"127.0.0.2"}, {"not listed"}),
    2: ("Wildcard list", "wild.test", "lists everything", {"127.0.0.2"}, {"127.0.0.2"}),
    3: ("Empty list", "empty.test", "empty or dead", {"not listed"}, {"not listed"}),
    4: ("Refusing list", "refuse.test", "refuses us", {"127.255.255.254"}, {"127.255.255.254"}),
    5: ("Silent list", "silent.test", "empty or dead", SILENT, SILENT),
    6: ("Failing list", "servfail.test", "empty or dead", {"no answer"}, {"no answer"}),
    7: ("Parked domain", "parked.test", "refuses us", {"198.51.100.80"}, {"198.51.100.80"}),
    9: ("Esc\\x1b[31mred", "bl.test", "healthy", {"127.0.0.2"}, {"not listed"}),
    10: ("IPv6 only", "v6only.test", "healthy", {"not listed"}, {"not listed"}),
    11: ("IPv4 only", "v4only.test", "healthy", {"127.0.0.2"}, {"not listed"}),
    12: ("Domain list", "dbl.test", "healthy", {"not listed"}, {"not listed"}),
    20: ("", "bl.test", "healthy", {"127.0.0.2"}, {"not listed"}),
}
# row -> (IPv4 state, IPv6 state, answers for ::ffff:7f00:2, for ::ffff:7f00:1);
# any other row: both families in the row's state, with its IPv4 answers.
FAMILIES = {
    10: ("empty or dead", "healthy", {"127.0.0.2"}, {"not listed"}),
    11: ("healthy", "empty or dead", {"not listed"}, {"not listed"}),
    12: ("empty or dead", "empty or dead", {"not listed"}, {"not listed"}),
}
# row -> (state as a domain list, answers for "test", "invalid"); None: no domain list
DOMAINS = {12: ("healthy", "127.0.1.2", "not listed")}


def families(row):
    name, zone, state, for2, for1 = expected[row]
    return FAMILIES.get(row, (state, state, for2, for1))


def families_match(row, ipv4, ipv6, v6for2, v6for1, *domains):
    want = families(row)
    return (ipv4, ipv6) == want[:2] and v6for2 in want[2] and v6for1 in want[3] \
        and DOMAINS.get(row) == (tuple(domains) if any(domains) else None)

seen = {}
for line in stdout.splitlines():
    match = LINE.match(line)
    if match:
        row, name, zone, state, for2, for1, *family = match.groups()
        seen[int(row)] = (name.strip(), zone, state, for2, for1, *family)

for row, (name, zone, state, for2, for1) in expected.items():
    if row not in seen:
        failures.append(f"row {row} ({zone}) is missing")
        continue
    got = seen[row]
    if got[:3] != (name, zone, state) or got[3] not in for2 or got[4] not in for1 \
            or not families_match(row, *got[5:]):
        failures.append(
            f"row {row}: expected {(name, zone, state)} with answers {sorted(for2)} / "
            f"{sorted(for1)}, got {got}"
        )
for row in sorted(set(seen) - set(expected)):
    failures.append(f"row {row} should not be checked: {seen[row]}")

summary = "6 of 12 lists healthy; lists everything: 1, empty or dead: 3, refuses us: 2"
if stdout.splitlines()[-1:] != [summary]:
    failures.append(f"the last line is not {summary!r}")
if "\x1b" in stdout:
    failures.append("a raw escape character reached standard output")
status_full = int(open(os.path.join(work, "status-full")).read())
stderr_full = open(os.path.join(work, "stderr-full")).read()
if status_full != 3 or not stderr_full.endswith(
    "ostrivane: cannot write to standard output: No space left on device\n"
):
    failures.append(f"to /dev/full: exit status {status_full}, standard error {stderr_full!r}")
if status != 4:
    failures.append(f"exit status {status}, expected 4")
dead = "ostrivane --check-zones: Wild list (wild.test) looks dead (it lists every address"
if stderr.count(dead) != 1 or stderr.count("looks dead") != 1:
    failures.append(f"standard error should say once that Wild list looks dead: {stderr!r}")
if os.path.exists(os.path.join(work, "report.html")):
    failures.append("a report was written")
if open(os.path.join(work, "sbllist.txt"), "rb").read() != open(
    os.path.join(work, "sbllist.before"), "rb"
).read():
    failures.append("the list file changed")


def case(name):
    read = lambda suffix: open(os.path.join(work, f"case-{name}.{suffix}")).read()
    return int(read("status")), read("out"), read("err")


def json_rows(out):
    document = json.loads(out)
    rows = {
        z["row"]: (z["name"], z["zone"], z["state"].replace("-", " "), z["127.0.0.2"], z["127.0.0.1"],
                   z["ipv4"].replace("-", " "), z["ipv6"].replace("-", " "), z["::ffff:7f00:2"],
                   z["::ffff:7f00:1"], z.get("domains", "").replace("-", " ") or None,
                   z.get("test"), z.get("invalid"))
        for z in document["zones"]
    }
    return rows, document["summary"]


def json_matches_table(out):
    rows, summary = json_rows(out)
    wanted = {"zones": 12, "healthy": 6, "lists_everything": 1, "empty_or_dead": 3, "refuses_us": 2}
    for row, (name, zone, state, for2, for1) in expected.items():
        name = name.replace("\\x1b", "\x1b")  # JSON carries the character itself
        if row not in rows or rows[row][:3] != (name, zone, state) or rows[row][3] not in for2 \
                or rows[row][4] not in for1 or not families_match(row, *rows[row][5:]):
            return f"row {row}: {rows.get(row)}"
    return None if summary == wanted and len(rows) == 12 else f"summary {summary}, {len(rows)} rows"


def text_ends(line):
    return lambda out: None if out.splitlines()[-1:] == [line] else f"last line not {line!r}"


def usage(words):
    hint = "Try 'ostrivane --check-zones --help'."
    return lambda err: None if err.startswith("ostrivane --check-zones: ") and words in err \
        and err.splitlines()[1:] == [hint] else f"no {words!r} in a two-line usage error"


def answers(allowed):
    def check(out):
        lines = [LINE.match(line) for line in out.splitlines()]
        got = [m.groups()[4:6] for m in lines if m]
        return None if len(got) == 1 and set(got[0]) <= allowed else f"answers {got}"
    return check


# name -> (status, check of standard output, check of standard error)
CASES = {
    "json": (4, json_matches_table, None),
    "json-equals": (4, json_matches_table, None),
    "list-healthy": (0, text_ends("1 of 1 list healthy"), None),
    "timeout": (4, answers({"timed out"}), None),
    "server": (0, text_ends("1 of 1 list healthy"), None),
    "no-server": (4, answers({"no answer", "timed out"}), None),
    "help": (0, lambda out: None if out.startswith("Usage: ostrivane --check-zones [OPTIONS]\n")
             else "no usage", None),
    "missing-list": (3, None, usage("--list: ")),
    "bad-format": (3, None, usage("--format nagios: the format is text or json")),
    "bad-timeout": (3, None, usage("--timeout 0: the timeout must be")),
    "bad-server": (3, None, usage("--server ns.example: not ADDRESS[:PORT]")),
    "no-value": (3, None, usage("--list: needs a value")),
    "target": (3, None, usage("192.0.2.1: --check-zones takes no targets")),
    "unknown": (3, None, usage("--zone: unknown option")),
}
for name, (want_status, check_out, check_err) in CASES.items():
    got_status, out, err = case(name)
    problems = [f"exit status {got_status}, expected {want_status}"] if got_status != want_status else []
    if check_out:
        problems.append(check_out(out))
    elif out:
        problems.append(f"standard output {out!r}")
    if check_err:
        problems.append(check_err(err))
    failures += [f"case {name}: {p}" for p in problems if p]
    print(f"case {name}: exit status {got_status}")

print(stdout, end="")
print(f"(exit status {status})")
if stderr:
    print("standard error:\n" + stderr, end="")
for failure in failures:
    print("FAIL: " + failure)
sys.exit(1 if failures else 0)
EOF
