#!/bin/bash
# history_processes_test.sh HISTORY_BENCH
#
# The history store against real processes:
#   1. a writer killed (SIGKILL) at random moments, again and again: after each
#      kill the file passes PRAGMA integrity_check and every run in it is whole
#      (all its results there) or absent;
#   2. two writers at the same time: both record every run;
#   3. a disk that fills up (a 2 MB tmpfs in a private mount namespace): the
#      writer stops with "disk is full", the file is consistent, and it reads.
# Part 3 is skipped where no mount namespace can be made.
set -u

bench=${1:?usage: history_processes_test.sh HISTORY_BENCH}
dir=$(mktemp -d "${TMPDIR:-/tmp}/ostrivane-history-processes.XXXXXX") || exit 1
trap 'rm -rf "$dir"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# 1. Kills at random moments.
store="$dir/killed.sqlite"
for round in 1 2 3 4 5 6 7 8 9 10; do
    "$bench" loop "$store" --seed "$round" >"$dir/loop.out" 2>"$dir/loop.err" &
    writer=$!
    # Past the first run, then anywhere from 0 to 400 ms into the next ones.
    for _ in $(seq 1 100); do
        [ -s "$dir/loop.out" ] && break
        sleep 0.05
    done
    sleep "0.$((RANDOM % 400))"
    kill -KILL "$writer" 2>/dev/null
    wait "$writer" 2>/dev/null
    if ! "$bench" verify "$store" >"$dir/verify.out" 2>&1; then
        fail "after kill $round the store is not consistent:"
        cat "$dir/verify.out" >&2
    fi
done
echo "after 10 kills: $(cat "$dir/verify.out")"

# 2. Two writers at once.
store="$dir/shared.sqlite"
"$bench" loop "$store" --seed 11 --runs 40 --addresses 32 >/dev/null 2>"$dir/a.err" &
first=$!
"$bench" loop "$store" --seed 12 --runs 40 --addresses 32 >/dev/null 2>"$dir/b.err" &
second=$!
wait "$first" || fail "first writer: $(cat "$dir/a.err")"
wait "$second" || fail "second writer: $(cat "$dir/b.err")"
if ! "$bench" verify "$store" >"$dir/verify.out" 2>&1; then
    fail "two writers left the store inconsistent: $(cat "$dir/verify.out")"
fi
grep -q '^runs 80,' "$dir/verify.out" || fail "two writers of 40 runs each: $(cat "$dir/verify.out")"
echo "two writers: $(cat "$dir/verify.out")"

# 3. A full disk.
flags=(--mount --propagation private)
((EUID == 0)) || flags+=(--user --map-root-user)
if unshare "${flags[@]}" true 2>/dev/null; then
    mkdir "$dir/small"
    unshare "${flags[@]}" /bin/bash -c '
        mount -t tmpfs -o size=2m none "$1" || exit 77
        "$2" loop "$1/full.sqlite" --addresses 128 --zones 16 --seed 3 --runs 200 \
            >/dev/null 2>"$3"
        status=$?
        cat "$3" >&2
        [ "$status" = 1 ] || { echo "the writer did not stop: status $status" >&2; exit 1; }
        grep -q "disk is full" "$3" || exit 1
        "$2" verify "$1/full.sqlite"
    ' full "$dir/small" "$bench" "$dir/full.err" >"$dir/full.out" 2>&1
    status=$?
    if [ "$status" = 77 ]; then
        echo "full disk: skipped (no tmpfs could be mounted)"
    elif [ "$status" != 0 ]; then
        fail "full disk: $(cat "$dir/full.out")"
    else
        echo "full disk: $(tr '\n' ' ' <"$dir/full.out")"
    fi
else
    echo "full disk: skipped (no mount namespace here)"
fi

exit $((failures > 0))
