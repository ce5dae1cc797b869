#!/bin/bash
# history_e2e_test.sh BINARY
#
# The history of `ostrivane --check` end to end, against the test DNS server
# inside netns_run.sh's private network namespace: listings of changing.test
# change between runs (dns_server.py reads them from the file named by
# OSTRIVANE_CHANGING_LISTINGS at every query). history_e2e_test.py holds the
# cases: new / ongoing / cleared, the status of --changes, two runs at once,
# runs killed while they write, a corrupt history file, the status page parsed
# back, the timeline and the default history file.
#
# Exit: 0 passed, 1 failed, 77 skipped (no network namespace on this machine,
# or a program without --check).

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
if ! "$binary" --check --help >/dev/null 2>&1; then
    echo "$binary has no --check mode yet: skipping" >&2
    exit 77
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/ostrivane-history-e2e.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
cp "$binary" "$work/ostrivane" || exit 1
: >"$work/listings"

OSTRIVANE_CHANGING_LISTINGS="$work/listings" \
    "$here/netns_run.sh" "$python" "$here/history_e2e_test.py" "$work/ostrivane" "$work"
