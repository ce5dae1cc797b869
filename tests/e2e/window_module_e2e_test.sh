#!/usr/bin/env bash
# window_module_e2e_test.sh PROGRAM MODULE
# The program opens its window through the module beside it, says why when the
# module is missing, and an unattended run loads no Qt library at all.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
dir=$(mktemp -d "${TMPDIR:-/tmp}/ostrivane-module.XXXXXX")
trap 'rm -rf "$dir"' EXIT
cp "$1" "$2" "$dir/"
program="$dir/$(basename "$1")"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Whether the process catches both SIGHUP (bit 0 of SigCgt) and SIGTERM (bit 14).
catches_close_signals() {
    local caught
    caught=$(awk '$1 == "SigCgt:" { print $2 }' "/proc/$1/status" 2>/dev/null)
    [[ -n "$caught" ]] && (((16#$caught & 0x4001) == 0x4001))
}

# The window stays open until a signal closes it as the user would: SIGTERM
# and SIGHUP save the list (a missing one is created with the defaults; an
# unedited one is left byte for byte, whatever its encoding), then exit 0.
# The signal goes once the window handles it, however long the start takes
# (bounded against hanging only).
close_window_by() {
    local signal=$1 pid status=0 tenths
    QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$dir" "$program" 2>"$dir/err" &
    pid=$!
    for ((tenths = 0; tenths < 600; tenths++)); do
        catches_close_signals "$pid" && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    catches_close_signals "$pid" || fail "the window did not stay open: $(cat "$dir/err")"
    kill "-$signal" "$pid"
    wait "$pid" || status=$?
    [ "$status" -eq 0 ] || fail "$signal: exit $status, not 0: $(cat "$dir/err")"
}
close_window_by TERM
cmp -s "$dir/sbllist.txt" "$here/../data/default_sbllist.txt" ||
    fail "SIGTERM did not save the default list"
printf 'Liste f\xfcr Spam\nbl.test\n"open\nx\n' >"$dir/sbllist.txt"
cp "$dir/sbllist.txt" "$dir/before.txt"
close_window_by HUP
cmp -s "$dir/sbllist.txt" "$dir/before.txt" || fail "SIGHUP rewrote an unedited list file"
rm "$dir/sbllist.txt" "$dir/before.txt"

rm "$dir/$(basename "$2")"
status=0
QT_QPA_PLATFORM=offscreen "$program" 2>"$dir/err" || status=$?
[ "$status" -eq 3 ] || fail "without the module: exit $status, not 3"
grep -q "cannot open the window: .*ostrivane_window" "$dir/err" || fail "no reason given: $(cat "$dir/err")"

# Which shared objects an unattended run maps, as the dynamic loader reports them.
status=0
OSTRIVANE_REPORT="$dir/report.html" LD_DEBUG=files LD_DEBUG_OUTPUT="$dir/ld" \
    "$here/netns_run.sh" "$program" 127.0.0.2 || status=$?
[ "$status" -ne 77 ] || exit 77
[ "$status" -eq 1 ] || fail "unattended 127.0.0.2 exited $status, not 1"
cat "$dir"/ld.* | grep -q "needed by $program" || fail "the loader reported nothing"
if cat "$dir"/ld.* | grep -q 'libQt6'; then
    fail "an unattended run loaded Qt: $(cat "$dir"/ld.* | grep -m1 libQt6)"
fi
echo "window module: opens the window, closes on SIGTERM and SIGHUP; unattended runs load no Qt"
