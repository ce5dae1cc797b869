#!/bin/bash
# systemd_unit_test.sh BINARY UNIT: the exporter's unit passes
# `systemd-analyze verify` (with ExecStart pointing at the built program, as
# the package's /usr/bin/ostrivane is not installed here) and its exposure in
# `systemd-analyze security` is below 3.0. Skipped (77) without systemd-analyze.
# Then the README's recipe for the unit runs step by step with the built
# program in the test namespace (service_recipe.py; the package test runs it
# again on the unpacked package).
set -euo pipefail
binary=$1 unit=$2
command -v systemd-analyze >/dev/null || { echo "no systemd-analyze: skipped"; exit 77; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
copy="$scratch/$(basename "$unit")"
sed "s#/usr/bin/ostrivane#$binary#" "$unit" >"$copy"

out=$(systemd-analyze verify --man=no "$copy" 2>&1) || { echo "verify failed: $out"; exit 1; }
[ -z "$out" ] || { echo "verify complained: $out"; exit 1; }

# --threshold takes the exposure times ten: 29 is 2.9.
report=$(systemd-analyze security --offline=true --threshold=29 "$copy" 2>&1) || {
    echo "$report" | tail -3
    echo "exposure 3.0 or above"
    exit 1
}
echo "$report" | tail -1

readme="$(dirname "$unit")/../../README.md"
here=$(cd "$(dirname "$0")" && pwd)
"$here/netns_run.sh" /usr/bin/python3 "$here/service_recipe.py" "$binary" "$unit" "$readme"
