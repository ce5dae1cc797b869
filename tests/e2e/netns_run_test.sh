#!/bin/bash
# What other tests rely on in netns_run.sh: CMD's status and streams pass
# through, only loopback and the test DNS server are reachable inside, and
# nothing is left behind (files, processes, the host's resolv.conf), even when
# CMD or the wrapper itself is killed.

set -u

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd) || exit 1
readonly run="$here/netns_run.sh"

failures=0
fail() {
    echo "FAIL: $1" >&2
    failures=$((failures + 1))
}
expect_eq() {
    if [[ "$2" == "$3" ]]; then
        echo "ok: $1"
    else
        fail "$1"$'\n'"  expected: $(printf '%q' "$2")"$'\n'"  actual:   $(printf '%q' "$3")"
    fi
}

scratch=$(mktemp -d "${TMPDIR:-/tmp}/ostrivane-netns-test.XXXXXX") || exit 1
trap 'rm -rf "$scratch"' EXIT
# Each run makes its temporary files here, so leftovers are easy to see.
export TMPDIR="$scratch/tmp"
mkdir "$TMPDIR"
printf '%s\n' "$TMPDIR" >"$scratch/pattern"
cp /etc/resolv.conf "$scratch/host-resolv.conf"

"$run" true
status=$?
if ((status == 77)); then
    echo "netns_run.sh cannot make a namespace here: skipping" >&2
    exit 77
fi
expect_eq "a command that succeeds" 0 "$status"

expect_nothing_left() {
    local left processes
    left=$(ls -A "$TMPDIR")
    expect_eq "$1: no temporary files left" "" "$left"
    # The path comes from a file so that grep's own command line lacks it.
    processes=$(grep -l -F -f "$scratch/pattern" /proc/[0-9]*/cmdline 2>/dev/null)
    expect_eq "$1: no process left" "" "$processes"
    if cmp -s /etc/resolv.conf "$scratch/host-resolv.conf"; then
        echo "ok: $1: the host's resolv.conf is unchanged"
    else
        fail "$1: the host's /etc/resolv.conf changed"
    fi
}

"$run" >/dev/null 2>&1
expect_eq "no command is a usage error" 2 $?

"$run" sh -c 'exit 3'
expect_eq "the command's status is passed on" 3 $?
expect_nothing_left "after a failing command"

# shellcheck disable=SC2016 # expanded by the shell inside
inside=$(cd "$scratch" && echo through | "$run" sh -c '
    echo "netns=$OSTRIVANE_NETNS"
    echo "cwd=$(pwd)"
    echo "stdin=$(cat)"
    echo "links=$(ip -o link show | wc -l)"
    echo "resolv=$(tr "\n" "|" </etc/resolv.conf)"
    echo "listed=$(getent hosts listed.test | tr -s " ")"
    getent hosts nowhere.test >/dev/null
    echo "nowhere=$?"')
expect_eq "what the command sees inside" "netns=1
cwd=$scratch
stdin=through
links=1
resolv=nameserver 127.0.0.1|options timeout:1 attempts:2|
listed=192.0.2.10 listed.test
nowhere=2" "$inside"

"$run" sh -c 'kill -KILL $$' 2>/dev/null
expect_eq "a killed command's status" 137 $?
expect_nothing_left "after a killed command"

# The wrapper killed outright: the server must still go.
"$run" sh -c "echo \$\$ >'$scratch/command.pid'; exec sleep 30" &
wrapper=$!
for _ in $(seq 600); do  # bounded against hanging only
    [[ -s "$scratch/command.pid" ]] && break
    sleep 0.1
done
kill -KILL "$wrapper"
wait "$wrapper" 2>/dev/null
kill -KILL "$(cat "$scratch/command.pid")" 2>/dev/null
# The server ends on its own once the wrapper is gone, however long that
# takes on a busy machine (bounded against hanging only).
for _ in $(seq 600); do
    grep -q -F -f "$scratch/pattern" /proc/[0-9]*/cmdline 2>/dev/null || break
    sleep 0.1
done
expect_nothing_left "after the wrapper was killed"

OSTRIVANE_DNS_LOG="$scratch/dns.log" "$run" getent hosts clean.test >/dev/null
grep -q "clean.test. A -> NOERROR" "$scratch/dns.log"
expect_eq "OSTRIVANE_DNS_LOG keeps the query log" 0 $?

# With the usual options the 3 s answer comes too late; longer ones wait for
# it. Both runs go side by side to save time.
first_address='import socket, sys
try:
    print(socket.gethostbyname(sys.argv[1]))
except OSError:
    print("unresolved")'
"$run" /usr/bin/python3 -c "$first_address" slow.test >"$scratch/slow.usual" &
usual=$!
OSTRIVANE_RESOLV_OPTIONS="timeout:5 attempts:1" \
    "$run" /usr/bin/python3 -c "$first_address" slow.test >"$scratch/slow.patient"
wait "$usual"
expect_eq "slow.test is given up with the usual options" "unresolved" "$(cat "$scratch/slow.usual")"
expect_eq "slow.test arrives with OSTRIVANE_RESOLV_OPTIONS" "192.0.2.10" \
    "$(cat "$scratch/slow.patient")"

# A machine that refuses namespaces skips rather than fails.
mkdir "$scratch/bin"
printf '#!/bin/sh\necho "unshare failed: Operation not permitted" >&2\nexit 1\n' >"$scratch/bin/unshare"
chmod +x "$scratch/bin/unshare"
message=$(PATH="$scratch/bin:$PATH" "$run" true 2>&1)
expect_eq "refused namespaces give the skip status" 77 $?
[[ "$message" == *"cannot create a private network namespace"*"Operation not permitted"* ]]
expect_eq "refused namespaces are explained" 0 $?

expect_nothing_left "at the end"
if ((failures > 0)); then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "all checks passed"
