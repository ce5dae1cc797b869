#!/usr/bin/env bash
# package_e2e_test.sh SOURCE_DIR PROJECT_VERSION
# Makes both Debian packages with scripts/package (a Release build of its own,
# in a temporary copy of the tree), unpacks them into scratch roots (dpkg -x,
# nothing is installed on the machine), runs the unpacked program alone, with
# no window module, unattended against the test DNS server, checks what each
# package holds and depends on, and runs lintian and the desktop and AppStream
# validators when they are installed.
set -euo pipefail

source_dir=$(realpath "$1")
project_version=$2
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/ostrivane-package-test.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

version=$(dpkg-parsechangelog -l "$source_dir/debian/changelog" -S Version)
[ "${version%-*}" = "$project_version" ] ||
    fail "debian/changelog is at $version, the project at $project_version"
grep -q "<release version=\"$project_version\"" "$source_dir/packaging/ostrivane.metainfo.xml" ||
    fail "the AppStream metainfo has no release $project_version"

if [ "$(id -u)" -ne 0 ] && ! (cd "$source_dir" && dpkg-checkbuilddeps) 2>/dev/null; then
    echo "SKIP: the build dependencies are missing and only root may install them" >&2
    exit 77
fi
"$source_dir/scripts/package" --out "$scratch/out" --no-lintian >"$scratch/package.log" 2>&1 ||
    fail "scripts/package failed: $(tail -n 30 "$scratch/package.log")"
server="$scratch/out/ostrivane_${version}_$(dpkg --print-architecture).deb"
window="$scratch/out/ostrivane-gui_${version}_$(dpkg --print-architecture).deb"
[ -f "$server" ] && [ -f "$window" ] || fail "missing packages: $(ls "$scratch/out")"

# A server installs only `ostrivane`: it must not pull in Qt.
depends=$(dpkg-deb --field "$server" Depends)
grep -q 'libc6' <<<"$depends" || fail "ostrivane's Depends lacks the C library: $depends"
! grep -qi 'qt' <<<"$depends" || fail "ostrivane depends on Qt: $depends"
recommends=$(dpkg-deb --field "$server" Recommends)
! grep -qi 'qt\|ostrivane-gui' <<<"$recommends" || fail "ostrivane recommends the window: $recommends"
# What apt would install on a machine with nothing installed yet: no Qt library.
# (Only where apt knows the archive's packages, i.e. after apt-get update.)
: >"$scratch/empty-status"
if apt-get -s -o Dir::State::status="$scratch/empty-status" install "$server" \
    >"$scratch/apt.log" 2>&1; then
    installs=$(grep '^Inst' "$scratch/apt.log")
    grep -q '^Inst ostrivane ' <<<"$installs" || fail "apt would not install ostrivane: $installs"
    ! grep -qi 'qt' <<<"$installs" || fail "apt install of ostrivane pulls in Qt: $installs"
fi
depends=$(dpkg-deb --field "$window" Depends)
for wanted in "ostrivane (= $version)" fonts-liberation2 libqt6widgets6; do
    grep -qF "$wanted" <<<"$depends" || fail "ostrivane-gui's Depends lacks $wanted: $depends"
done
for deb in "$server" "$window"; do
    control=$(dpkg-deb --ctrl-tarfile "$deb" | tar -xOf -)
    ! grep -q ldconfig <<<"$control" || fail "$(basename "$deb") runs ldconfig for a private module"
done

# The program alone, as a server has it.
dpkg -x "$server" "$scratch/server"
root="$scratch/server/usr"
for file in bin/ostrivane share/man/man1/ostrivane.1.gz share/doc/ostrivane/copyright \
    share/ostrivane/catalog.toml \
    share/doc/ostrivane/changelog.Debian.gz share/doc/ostrivane/examples/ostrivane-check@.timer; do
    [ -f "$root/$file" ] || fail "ostrivane lacks /usr/$file"
done
[ ! -e "$root/lib/ostrivane" ] || fail "ostrivane holds the window module"
unit="$scratch/server/lib/systemd/system/ostrivane-exporter.service"
[ -f "$unit" ] || fail "ostrivane lacks /lib/systemd/system/ostrivane-exporter.service"
postinst=$(dpkg-deb --ctrl-tarfile "$server" | tar -xOf - ./postinst 2>/dev/null || true)
! grep -q 'deb-systemd-invoke.*start' <<<"$postinst" || fail "the exporter starts before it has targets"

# The README's recipe for the unit, step by step, with the unpacked program
# and unit, in the test namespace (service_recipe.py).
status=0
"$here/netns_run.sh" /usr/bin/python3 "$here/service_recipe.py" "$root/bin/ostrivane" "$unit" \
    "$source_dir/README.md" >"$scratch/recipe.log" 2>&1 || status=$?
[ "$status" -ne 77 ] || exit 77
[ "$status" -eq 0 ] || fail "the README's recipe for the unit: $(cat "$scratch/recipe.log")"
needed=$(readelf -d "$root/bin/ostrivane" | grep NEEDED)
! grep -qi 'qt' <<<"$needed" || fail "the program links Qt: $needed"

# The installed program reads the catalog installed beside it.
catalog_etc="$scratch/catalog-etc"
mkdir -p "$catalog_etc/lists.d"
printf '[[list]]\nid = "psbl"\nname = "Installed catalog read"\n' >"$catalog_etc/lists.d/x.toml"
# The output is taken whole before it is searched: a grep -q that stops
# reading early would end the program on a broken pipe.
lists=$(OSTRIVANE_CONFIG_DIR="$catalog_etc" "$root/bin/ostrivane" --lists)
grep -q 'Installed catalog read' <<<"$lists" || fail "--lists did not read the catalog and lists.d"
mv "$root/share/ostrivane/catalog.toml" "$scratch/catalog.toml"
printf 'reviewed = "2000-01-01"\n' >"$root/share/ostrivane/catalog.toml"
lists=$(OSTRIVANE_CONFIG_DIR="$scratch/no-etc" "$root/bin/ostrivane" --lists)
head -1 <<<"$lists" | grep -q 'reviewed 2000-01-01' ||
    fail "--lists read another catalog than the installed one"
mv "$scratch/catalog.toml" "$root/share/ostrivane/catalog.toml"

version_line=$("$root/bin/ostrivane" --version)
[ "$version_line" = "ostrivane $project_version" ] || fail "--version printed '$version_line'"

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

# The window package: module, desktop entry, icons and AppStream metadata.
dpkg -x "$window" "$scratch/window"
root="$scratch/window/usr"
metainfo="$root/share/metainfo/example.ostrivane.ostrivane.metainfo.xml"
for file in lib/ostrivane/ostrivane_window.so share/applications/ostrivane.desktop \
    share/icons/hicolor/scalable/apps/ostrivane.svg share/doc/ostrivane-gui/copyright \
    "${metainfo#"$root/"}"; do
    [ -f "$root/$file" ] || fail "ostrivane-gui lacks /usr/$file"
done
for size in 16 32 48 64 128 256; do
    icon="$root/share/icons/hicolor/${size}x$size/apps/ostrivane.png"
    file "$icon" | grep -q "PNG image data, $size x $size" || fail "no $size px icon: $(file "$icon")"
done
if command -v desktop-file-validate >/dev/null; then
    out=$(desktop-file-validate "$root/share/applications/ostrivane.desktop" 2>&1) &&
        [ -z "$out" ] || fail "desktop-file-validate: $out"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net --pedantic "$metainfo" >"$scratch/appstream.log" 2>&1 ||
        fail "appstreamcli validate: $(cat "$scratch/appstream.log")"
    ! grep -q '^[EW]:' "$scratch/appstream.log" || fail "appstreamcli: $(cat "$scratch/appstream.log")"
fi

# lintian: no error and no warning; every override says why on the line above.
for overrides in "$source_dir"/debian/*.lintian-overrides; do
    awk -v file="$overrides" '
        !/^#/ && NF && previous !~ /^#/ { print file ": no reason above: " $0; bad = 1 }
        { previous = $0 }
        END { exit bad }' "$overrides" || fail "an override without a reason"
done
if command -v lintian >/dev/null; then
    tags=$(lintian --pedantic "$server" "$window" 2>&1 | grep -v '^running with root') || true
    ! grep -q '^[EW]:' <<<"$tags" || fail "lintian: $tags"
    echo "lintian --pedantic: no errors, no warnings${tags:+ ($(wc -l <<<"$tags") other tags)}"
fi
echo "packages: $(basename "$server") runs alone; $(basename "$window") holds the window"
