#!/bin/bash
# unattended_e2e_test.sh PATH-OF-OSTRIVANE
#
# Runs the real program unattended, as a cron job would, against the test DNS
# server inside a private network namespace (netns_run.sh; exit 77 = skipped
# where no namespace can be made). Each copy of the program lives in its own
# temporary folder with its own sbllist.txt, and runs from another folder that
# holds a decoy list, so a list read from the current folder would show.
# No display: DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM are unset.
#
# One table holds the cases: the command line, the exit status, standard
# error, and what is at the report path after the run. Before every case the
# report path holds a published page, so a run that must leave the report
# alone shows when it did not.

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

unset DISPLAY WAYLAND_DISPLAY WAYLAND_SOCKET QT_QPA_PLATFORM

tmp=$(mktemp -d "${TMPDIR:-/tmp}/ostrivane-unattended.XXXXXX") || exit 125
trap 'rm -rf "$tmp"' EXIT

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# install_copy NAME [LIST-FILE-BYTES]: the program in $tmp/NAME, with a list
# file beside it when bytes are given (printf %b escapes).
install_copy() {
    mkdir -p "$tmp/$1" && cp "$program" "$tmp/$1/ostrivane" || exit 125
    if (($# > 1)); then
        printf '%b' "$2" >"$tmp/$1/sbllist.txt" || exit 125
    fi
}

install_copy prog 'Test BL\r\nbl.test\r\nSecond BL\r\nbl2.test\r\n'
cp "$tmp/prog/sbllist.txt" "$tmp/sbllist.original" || exit 125
install_copy servfail 'Test BL\r\nbl.test\r\nBroken BL\r\nservfail.test\r\n'
install_copy parked 'Test BL\r\nbl.test\r\nParked\r\nparked.test\r\n'
install_copy broken 'Wild\r\nwild.test\r\nEmpty\r\nempty.test\r\nTest BL\r\nbl.test\r\n'
install_copy defaults
install_copy blank-line '\r\n'
install_copy bom-only '\xef\xbb\xbf'
install_copy names-only 'Test BL\r\n\r\nSecond BL\r\n'
install_copy nuls '\0\0\0\0'
mkdir -p "$tmp/elsewhere" && printf 'Decoy\r\nservfail.test\r\n' >"$tmp/elsewhere/sbllist.txt"
printf 'a file where a folder should be' >"$tmp/blocker"

published='<html>the published page</html>'
report="$tmp/out/report.html"
export OSTRIVANE_REPORT="$report"

out="$tmp/stdout"
err="$tmp/stderr"
windowed=false
"$tmp/prog/ostrivane" --help | grep -qF "Without HOST the window opens" && windowed=true

# run_case NAME STATUS STDERR REPORT COPY [ARGS...]
#   Runs $tmp/COPY/ostrivane ARGS from the decoy folder, stdout to $out (or to
#   $stdout_to), stderr to $err.
#   STDERR  a glob that the whole of standard error must match ('' = silent)
#   REPORT  what $OSTRIVANE_REPORT holds afterwards (when it is a regular path):
#           kept        the published page, unchanged
#           has:TEXT    a new report that holds TEXT
#           -           not checked here
run_case() {
    local name=$1 expected=$2 stderr_glob=$3 report_check=$4 copy=$5
    shift 5
    local path=${OSTRIVANE_REPORT}
    if [[ "$path" == "$report" ]]; then
        mkdir -p "$(dirname "$report")" && printf '%s' "$published" >"$report"
    fi
    (cd "$tmp/elsewhere" && "$tmp/$copy/ostrivane" "$@" >"${stdout_to:-$out}" 2>"$err")
    local status=$?
    local stderr_text
    stderr_text=$(cat "$err")
    ((status == expected)) || fail "$name: exit status $status, expected $expected"
    # shellcheck disable=SC2053 # the expectation is a glob
    [[ "$stderr_text" == $stderr_glob ]] ||
        fail "$name: standard error is '$stderr_text', expected '$stderr_glob'"
    case $report_check in
    kept)
        printf '%s' "$published" | cmp -s - "$path" || fail "$name: the report was changed"
        ;;
    has:*)
        [[ -f "$path" && ! -L "$path" ]] || fail "$name: no regular file at the report path"
        printf '%s' "$published" | cmp -s - "$path" && fail "$name: no new report"
        grep -qF -- "${report_check#has:}" "$path" 2>/dev/null ||
            fail "$name: the report lacks '${report_check#has:}'"
        ;;
    esac
}

unreadable="cannot create its folder $tmp/blocker: Not a directory"

#        name               status stderr (glob)                                                    report after            copy        arguments
run_case listed             1 ''                                                                    'has:Listed: 127.0.0.2' prog        127.0.0.2
run_case clean              0 ''                                                                    'has:Not Found'         prog        127.0.0.1
run_case "clean name"       0 ''                                                                    'has:Server: clean.test (192.0.2.20)<p>' prog clean.test
run_case "no such name"     2 'Unable to resolve nowhere.test: the name does not exist'             'has:Server: nowhere.test<p>' prog nowhere.test
run_case "no DNS answer"    2 'Unable to resolve x.servfail.test: the DNS gave no answer (?*)'      'has:Server: x.servfail.test<p>' prog x.servfail.test
run_case "list failing"     4 'No verdict from servfail.test (Broken BL): Lookup failed'            'has:Lookup failed'     servfail    127.0.0.1
run_case "parked list"      4 'No verdict from parked.test (Parked): List error: 198.51.100.80'     'has:List error: 198.51.100.80' parked 127.0.0.1
run_case "parked, listed"   1 'No verdict from parked.test (Parked): List error: 198.51.100.80'     'has:Listed: 127.0.0.2' parked      127.0.0.2
# After the run each list's test points: wild.test lists everything, empty.test nothing.
broken_lists='No verdict from wild.test (Wild): List error: lists everything'$'\n''No verdict from empty.test (Empty): List error: not a working list'
run_case "broken lists"     4 "$broken_lists"                                                       'has:List error: lists everything' broken 192.0.2.20
run_case "broken, listed"   1 "$broken_lists"                                                       'has:Listed: 127.0.0.4' broken      192.0.2.10
run_case defaults           1 ''                                                                    'has:Listed: 127.0.0.2' defaults    127.0.0.2
for copy in blank-line bom-only names-only nuls; do
    run_case "$copy list"   4 "No blacklist to check: no row of $tmp/$copy/sbllist.txt has a zone" 'has:Server: 127.0.0.2<p>' "$copy" 127.0.0.2
done
run_case "blank host"       3 'ostrivane: the host is blank'$'\n'"Try 'ostrivane --help'." kept                    prog        " "
run_case "empty host"       3 'ostrivane: the host is blank'$'\n'"Try 'ostrivane --help'." kept                    prog        ""
run_case "unset \$HOST"     3 'ostrivane: the host is blank'$'\n'"Try 'ostrivane --help'." kept                    prog        "" ""
run_case "IPv6 address"     3 'Cannot check 2001:db8::1: this mode checks IPv4 addresses and host names only; `ostrivane --check 2001:db8::1` checks an IPv6 address' kept prog 2001:db8::1
run_case "unknown option"   3 'ostrivane: unknown option -x'$'\n'"Try 'ostrivane --help'." kept                    prog        -x 127.0.0.2
run_case "option with more" 3 'ostrivane: --help takes no arguments'$'\n'"Try 'ostrivane --help'." kept                    prog        --help me
run_case "-h"               0 ''                                                                    kept                    prog        -h
grep -qF "OSTRIVANE_REPORT" "$out" || fail "-h: the usage does not mention OSTRIVANE_REPORT"
run_case "--help"           0 ''                                                                    kept                    prog        --help
run_case "-V"               0 ''                                                                    kept                    prog        -V
grep -q "^ostrivane [0-9]" "$out" || fail "-V: printed '$(cat "$out")'"
run_case "--version"        0 ''                                                                    kept                    prog        --version
stdout_to=/dev/full run_case "help to a full disk" 3 'ostrivane: cannot write to standard output: No space left on device' kept prog --help
if $windowed; then
    nodisplay='Cannot open the window: no display. Give a host to check it unattended.'
    run_case "no display"       3 "$nodisplay"                                                  kept                    prog
    DISPLAY=:97 run_case "X display nobody serves" 3 "$nodisplay"                              kept                    prog
    XDG_RUNTIME_DIR=$tmp WAYLAND_DISPLAY=wayland-97 run_case "Wayland display nobody serves" 3 "$nodisplay" kept prog
fi

# The report's first bytes, and the list read from beside the program.
run_case "report format"    1 ''                                                                    'has:Test BL</td><td>'  prog        127.0.0.2
[[ "$(head -c 8 "$report" | od -An -c | tr -s ' ')" == " < h t m l > \r \n" ]] ||
    fail "report format: the first line is not <html> with CR LF"
grep -qF "Decoy" "$report" && fail "report format: the decoy list in the current folder was read"

# A report whose folder does not exist yet.
OSTRIVANE_REPORT="$tmp/new/sub/report.html" run_case "new folder" 1 '' 'has:Listed: 127.0.0.2' prog 127.0.0.2

# Reports that cannot be written name every listing first.
listings='Listed on bl.test (Test BL): 127.0.0.2'$'\n''Listed on bl2.test (Second BL): 127.0.0.2'
OSTRIVANE_REPORT="$tmp/blocker/report.html" run_case "unwritable report" 3 \
    "$listings"$'\n'"Report not written: $tmp/blocker/report.html: $unreadable" - prog 127.0.0.2
[[ "$(cat "$tmp/blocker")" == "a file where a folder should be" ]] ||
    fail "unwritable report: the file in the way was changed"
# Devices of our own, never the system's: a program that wrongly replaced its
# report path would otherwise replace the machine's /dev/null for everyone.
if mknod "$tmp/full" c 1 7 && mknod "$tmp/null" c 1 3 && printf x >"$tmp/null"; then
    OSTRIVANE_REPORT="$tmp/full" run_case "report to a full device" 3 \
        "$listings"$'\n'"Report not written: $tmp/full: cannot write: No space left on device" - prog 127.0.0.2
    [[ -c "$tmp/full" ]] || fail "report to a full device: it is no longer a device"
    OSTRIVANE_REPORT="$tmp/null" run_case "report to a null device" 1 '' - prog 127.0.0.2
    [[ -c "$tmp/null" ]] || fail "report to a null device: it is no longer a device"
else
    echo "device cases skipped: cannot make device nodes here" >&2
fi

# A FIFO is written to, with a reader; without one it is an error, not a hang.
mkfifo "$tmp/fifo" || exit 125
timeout 20 cat "$tmp/fifo" >"$tmp/from-fifo" &  # bounded: a run that replaced the FIFO never opens it
reader=$!
# The run must find the reader there: on a busy machine cat may not be waiting
# in its open of the FIFO yet when the run opens it (bounded against hanging
# only: 60 s).
for ((i = 0; i < 1200; i++)); do
    cat_pid=$(pgrep -P "$reader" | head -1)
    [[ -n "$cat_pid" && "$(cat "/proc/$cat_pid/wchan" 2>/dev/null)" == wait_for_partner ]] && break
    sleep 0.05
done
OSTRIVANE_REPORT="$tmp/fifo" run_case "report to a FIFO" 1 '' - prog 127.0.0.2
wait "$reader"
grep -qF "Listed: 127.0.0.2" "$tmp/from-fifo" || fail "report to a FIFO: the reader got no report"
[[ -p "$tmp/fifo" ]] || fail "report to a FIFO: it is no longer a FIFO"
OSTRIVANE_REPORT="$tmp/fifo" run_case "FIFO nobody reads" 3 \
    "$listings"$'\n'"Report not written: $tmp/fifo: cannot open it: nothing reads it" - prog 127.0.0.2

# A link into a web folder stays a link; the page it points to is replaced.
mkdir -p "$tmp/www" && printf '%s' "$published" >"$tmp/www/page.html"
ln -s ../www/page.html "$tmp/out/link.html"
OSTRIVANE_REPORT="$tmp/out/link.html" run_case "report through a link" 1 '' - prog 127.0.0.2
[[ -L "$tmp/out/link.html" ]] || fail "report through a link: the link was replaced"
grep -qF "Listed: 127.0.0.2" "$tmp/www/page.html" || fail "report through a link: the page is stale"

# Temporaries of killed runs are removed by the next run; a running one's are kept.
sleep 60 &
sleeper=$!
(exit 0) &
ended=$!
wait "$ended"
printf 'left by a killed run' >"$tmp/out/report.html.$ended.tmp"
printf 'being written' >"$tmp/out/report.html.$sleeper.tmp"
run_case "stale temporaries" 1 '' 'has:Listed: 127.0.0.2' prog 127.0.0.2
[[ ! -e "$tmp/out/report.html.$ended.tmp" ]] || fail "stale temporaries: a killed run's temporary is still there"
[[ -e "$tmp/out/report.html.$sleeper.tmp" ]] || fail "stale temporaries: a running process's temporary was removed"
kill "$sleeper"
rm -f "$tmp/out/report.html.$sleeper.tmp"

cmp -s "$tmp/prog/sbllist.txt" "$tmp/sbllist.original" ||
    fail "the list file beside the program changed"
[[ ! -e "$tmp/defaults/sbllist.txt" ]] || fail "defaults: an unattended run wrote a list file"
leftovers=$(find "$tmp" -name '*.tmp')
[[ -z "$leftovers" ]] || fail "temporary files left behind: $leftovers"

if ((failures > 0)); then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "all unattended checks passed"
