#!/usr/bin/env bash
# package_e2e_test.sh BUILD_DIR
# Makes the Debian package from a finished build, unpacks it into a scratch
# root (dpkg -x, nothing is installed on the machine) and runs the unpacked
# program unattended against the test DNS server.
set -euo pipefail

build_dir=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/ostrivane-package.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

(cd "$build_dir" && cpack -G DEB -B "$scratch/out" >/dev/null) || fail "cpack failed"
deb=$(ls "$scratch"/out/ostrivane_*.deb)
dpkg-deb --field "$deb" Depends | grep -q 'libc6' || fail "Depends lacks the C library"
dpkg -x "$deb" "$scratch/root"

root="$scratch/root/usr"
[ -x "$root/bin/ostrivane" ] || fail "no usr/bin/ostrivane"
[ -f "$root/share/man/man1/ostrivane.1" ] || fail "no man page"
if grep -q OSTRIVANE_WITH_GUI "$build_dir/CMakeCache.txt" 2>/dev/null ||
    [ -f "$build_dir/app/ostrivane_window.so" ]; then
    [ -f "$root/lib/ostrivane/ostrivane_window.so" ] || fail "no window module"
    [ -f "$root/share/applications/ostrivane.desktop" ] || fail "no desktop entry"
    [ -f "$root/share/icons/hicolor/48x48/apps/ostrivane.png" ] || fail "no icon"
    dpkg-deb --field "$deb" Depends | grep -q 'libqt6widgets6' || fail "Depends lacks Qt"
fi
if readelf -d "$root/bin/ostrivane" | grep NEEDED | grep -q 'Qt'; then
    fail "the program links Qt: unattended runs would load it"
fi

version=$("$root/bin/ostrivane" --version)
[[ "$version" == "ostrivane "* ]] || fail "--version printed '$version'"

# Installed, the program keeps its list in the user's configuration folder,
# not in its own bin folder.
mkdir -p "$scratch/config/ostrivane"
printf 'Configured list\nbl.test\n' >"$scratch/config/ostrivane/sbllist.txt"
XDG_CONFIG_HOME="$scratch/config" "$root/bin/ostrivane" --help |
    grep -qF "$scratch/config/ostrivane/sbllist.txt" || fail "--help names another list file"

status=0
XDG_CONFIG_HOME="$scratch/config" OSTRIVANE_REPORT="$scratch/report.html" "$here/netns_run.sh" \
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
    "$root/bin/ostrivane" 127.0.0.2 || status=$?
[ "$status" -ne 77 ] || exit 77
[ "$status" -eq 1 ] || fail "unattended 127.0.0.2 exited $status, not 1"
grep -q 'Listed: 127.0.0.2' "$scratch/report.html" || fail "report lacks the listing"
grep -q 'Configured list' "$scratch/report.html" || fail "the configured list was not used"
[ ! -e "$root/bin/sbllist.txt" ] || fail "a list file appeared in the bin folder"
echo "package: $(basename "$deb") unpacks and runs"
