#!/bin/bash
# unattended_e2e_test.sh PATH-OF-OSTRIVANE
#
# Runs the real program unattended, as a cron job would, against the test DNS
# server inside a private network namespace (netns_run.sh; exit 77 = skipped
# where no namespace can be made). Each copy of the program lives in its own
# temporary folder with its own sbllist.txt, and runs from another folder that
# holds a decoy list, so a list read from the current folder would show.
# No display: DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM are unset.

set -u

readonly here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
readonly self="$here/$(basename "${BASH_SOURCE[0]}")"

(($# == 1)) || {
    echo "usage: $0 PATH-OF-OSTRIVANE" >&2
    exit 2
}
program=$(realpath "$1") || exit 2

if [[ "${OSTRIVANE_NETNS:-}" != 1 ]]; then
    exec "$here/netns_run.sh" /bin/bash "$self" "$program"
fi

unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

tmp=$(mktemp -d "${TMPDIR:-/tmp}/ostrivane-unattended.XXXXXX") || exit 125
trap 'rm -rf "$tmp"' EXIT

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# install_copy FOLDER [LIST-FILE-BYTES]: the program in FOLDER, with a list
# file beside it when bytes are given.
install_copy() {
    mkdir -p "$1" && cp "$program" "$1/ostrivane" || exit 125
    if (($# > 1)); then
        printf '%b' "$2" >"$1/sbllist.txt" || exit 125
    fi
}

install_copy "$tmp/prog" 'Test BL\r\nbl.test\r\nSecond BL\r\nbl2.test\r\n'
cp "$tmp/prog/sbllist.txt" "$tmp/sbllist.original" || exit 125
install_copy "$tmp/prog-servfail" 'Test BL\r\nbl.test\r\nBroken BL\r\nservfail.test\r\n'
install_copy "$tmp/prog-defaults"
mkdir -p "$tmp/elsewhere" && printf 'Decoy\r\nservfail.test\r\n' >"$tmp/elsewhere/sbllist.txt"
printf 'a file where a folder should be' >"$tmp/blocker"

report="$tmp/out/report.html"  # its folder does not exist yet
export OSTRIVANE_REPORT="$report"

# check NAME EXPECTED-STATUS PROGRAM [ARGS...]: runs PROGRAM from the decoy
# folder and keeps its output in $out and $err.
out="$tmp/stdout"
err="$tmp/stderr"
check() {
    local name=$1 expected=$2 program=$3
    shift 3
    rm -f "$report"
    (cd "$tmp/elsewhere" && "$program" "$@" >"$out" 2>"$err")
    local status=$?
    if ((status != expected)); then
        fail "$name: exit status $status, expected $expected; standard error:"
        cat "$err" >&2
    fi
}

expect_silent() {
    [[ ! -s "$out" ]] || fail "$1: printed on standard output: $(cat "$out")"
    [[ ! -s "$err" ]] || fail "$1: printed on standard error: $(cat "$err")"
}

report_has() {
    grep -qF -- "$2" "$report" 2>/dev/null || fail "$1: the report lacks '$2'"
}

report_lacks() {
    if grep -qF -- "$2" "$report" 2>/dev/null; then
        fail "$1: the report holds '$2'"
    fi
}

# A listed host: the first row is in the report, listed.
check listed 1 "$tmp/prog/ostrivane" 127.0.0.2
expect_silent listed
report_has listed "Server: 127.0.0.2<p>"
report_has listed "Listed: 127.0.0.2"
report_has listed "Test BL</td><td>"
report_has listed "<a href=\"https://www.google.com/search?q=Test%20BL\">"
report_lacks listed "Decoy"
[[ "$(head -c 8 "$report" 2>/dev/null | od -An -c | tr -s ' ')" == " < h t m l > \r \n" ]] ||
    fail "listed: the report's first line is not <html> with CR LF"

# A clean host, written as a name's address would be.
check clean 0 "$tmp/prog/ostrivane" 127.0.0.1
expect_silent clean
report_has clean "Not Found"
report_lacks clean "Listed"

# A host name that resolves: the server line carries its address.
check "clean name" 0 "$tmp/prog/ostrivane" clean.test
expect_silent "clean name"
report_has "clean name" "Server: clean.test (192.0.2.20)<p>"

# A host that does not resolve: the message, and a report with no results.
check unresolved 2 "$tmp/prog/ostrivane" nowhere.test
grep -qF "Unable to resolve nowhere.test" "$err" || fail "unresolved: no message on standard error"
[[ ! -s "$out" ]] || fail "unresolved: printed on standard output"
report_has unresolved "Server: nowhere.test<p>"
report_lacks unresolved "Not Found"
report_lacks unresolved "Listed"

# A report that cannot be written: its path and the reason on standard error.
OSTRIVANE_REPORT="$tmp/blocker/report.html" check "unwritable report" 3 "$tmp/prog/ostrivane" 127.0.0.2
grep -qF "$tmp/blocker/report.html: " "$err" ||
    fail "unwritable report: the message does not name the report: $(cat "$err")"
[[ "$(cat "$tmp/blocker")" == "a file where a folder should be" ]] ||
    fail "unwritable report: the file in the way was changed"

# A list that cannot answer: the check is incomplete.
check servfail 4 "$tmp/prog-servfail/ostrivane" 127.0.0.1
report_has servfail "Lookup failed"
grep -qF "servfail.test" "$err" || fail "servfail: the failing zone is not named on standard error"
[[ ! -s "$out" ]] || fail "servfail: printed on standard output"

# A blank host: a usage error, but the report is still written.
check "blank host" 3 "$tmp/prog/ostrivane" " "
[[ -s "$err" ]] || fail "blank host: nothing said on standard error"
[[ -f "$report" ]] || fail "blank host: no report"

# No list file: the 16 default rows, each listing 127.0.0.2; no list is made.
check defaults 1 "$tmp/prog-defaults/ostrivane" 127.0.0.2
expect_silent defaults
listed=$(grep -c "^Listed: 127.0.0.2" "$report" 2>/dev/null)
[[ "$listed" == 16 ]] || fail "defaults: $listed rows listed, expected 16"
[[ ! -e "$tmp/prog-defaults/sbllist.txt" ]] || fail "defaults: an unattended run wrote a list file"

check help 0 "$tmp/prog/ostrivane" --help
grep -qF "OSTRIVANE_REPORT" "$out" || fail "help: the usage does not mention OSTRIVANE_REPORT"
check version 0 "$tmp/prog/ostrivane" --version
grep -q "^ostrivane [0-9]" "$out" || fail "version: printed '$(cat "$out")'"

cmp -s "$tmp/prog/sbllist.txt" "$tmp/sbllist.original" ||
    fail "the list file beside the program changed"
leftovers=$(find "$tmp/prog" "$tmp/out" -name '*.tmp')
[[ -z "$leftovers" ]] || fail "temporary files left behind: $leftovers"

if ((failures > 0)); then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "all unattended checks passed"
