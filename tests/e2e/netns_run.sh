#!/bin/bash
# netns_run.sh CMD [ARGS...]
#
# Runs CMD inside a private network and mount namespace whose only network is
# loopback and whose only DNS server is the test server (dns_server.py, see the
# tables at its top) on 127.0.0.1:53, so that a lookup reaches nothing but the
# names the tests serve. The resolver there reads
#     nameserver 127.0.0.1
#     options timeout:1 attempts:2
# CMD sees OSTRIVANE_NETNS=1 in its environment, inherits the standard streams
# and the working directory; the script exits with CMD's status.
#
# Exit statuses of its own:
#   77   this machine cannot make the namespace (unshare not permitted, or a
#        needed tool missing): the test is skipped (CTest SKIP_RETURN_CODE 77)
#   125  the namespace or the DNS server could not be set up
#   2    no command given
#
# Optional environment:
#   OSTRIVANE_DNS_LOG=PATH         keep the server's query log in PATH
#   OSTRIVANE_NETNS_DNS_SERVER=none  no server on 127.0.0.1:53: CMD starts
#                                  its own (in_namespace.py, one per test)
#   OSTRIVANE_DNS_DELAY_MS=N       the server delays every answer by N ms
#                                  more (a realistic round trip)
#   OSTRIVANE_RESOLV_OPTIONS=TEXT  the resolver's options line instead of
#                                  "timeout:1 attempts:2" (for example
#                                  "timeout:5 attempts:1" lets the 3 s answers
#                                  of slow.test and slowbl.test arrive)
#   OSTRIVANE_CHANGING_LISTINGS=PATH  the listings of changing.test, read at
#                                  every query (see dns_server.py)
#
# The host's /etc/resolv.conf is never written: inside the namespace a
# temporary file is bind-mounted over it, and the mount vanishes with the
# namespace. The temporary files are deleted before CMD starts (the mounts
# keep them alive), so even a killed run leaves nothing behind.

set -u

readonly me="netns_run.sh"
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd) || exit 125
self="$here/$(basename "${BASH_SOURCE[0]}")"
readonly here self
readonly python=/usr/bin/python3
readonly skip=77
readonly setup_failed=125
readonly ready_wait_tenths=100

die() {
    echo "$me: $1" >&2
    exit "$2"
}

server=""
dir=""
cleanup() {
    if [[ -n "$server" ]]; then
        kill -TERM "$server" 2>/dev/null
        wait "$server" 2>/dev/null
    fi
    [[ -z "$dir" ]] || rm -rf "$dir"
}

# Host lookups must go to the DNS server and nowhere else: not to a resolver
# daemon of the host (reached over a socket, not the network) nor to a caching
# daemon that answers from the host's view.
isolate_resolver() {
    local options="${OSTRIVANE_RESOLV_OPTIONS:-timeout:1 attempts:2}"
    if ! { printf 'nameserver 127.0.0.1\noptions %s\n' "$options" >"$dir/resolv.conf" &&
        mount --bind "$dir/resolv.conf" /etc/resolv.conf; }; then
        die "cannot bind-mount a resolv.conf over /etc/resolv.conf" "$setup_failed"
    fi
    if [[ -f /etc/nsswitch.conf ]] &&
        ! { sed 's/^hosts:.*/hosts: files dns/' /etc/nsswitch.conf >"$dir/nsswitch.conf" &&
            mount --bind "$dir/nsswitch.conf" /etc/nsswitch.conf; }; then
        die "cannot bind-mount an nsswitch.conf over /etc/nsswitch.conf" "$setup_failed"
    fi
    local nscd
    for nscd in /run/nscd /var/run/nscd; do
        if [[ -d "$nscd" ]]; then
            mount -t tmpfs none "$nscd" || die "cannot hide $nscd" "$setup_failed"
        fi
    done
}

start_dns_server() {
    local log="${OSTRIVANE_DNS_LOG:-$dir/dns_server.log}"
    # The server dies with this shell, even if the shell is killed outright.
    setpriv --pdeathsig TERM "$python" "$here/dns_server.py" --address 127.0.0.1 --port 53 \
        --ready-file "$dir/ready" </dev/null >"$log" 2>&1 &
    server=$!

    local tenths=0
    until [[ -s "$dir/ready" ]]; do
        if ! kill -0 "$server" 2>/dev/null; then
            echo "$me: the DNS server exited before it was ready; its log:" >&2
            cat "$log" >&2
            exit "$setup_failed"
        fi
        if ((tenths++ >= ready_wait_tenths)); then
            echo "$me: the DNS server was not ready within $((ready_wait_tenths / 10)) s; its log:" >&2
            cat "$log" >&2
            exit "$setup_failed"
        fi
        sleep 0.1
    done
}

# Second stage: inside the namespaces, as their root.
if [[ "${_OSTRIVANE_NETNS_STAGE:-}" == inside ]]; then
    unset _OSTRIVANE_NETNS_STAGE
    trap cleanup EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    dir=$(mktemp -d "${TMPDIR:-/tmp}/ostrivane-netns.XXXXXX") ||
        die "cannot create a temporary directory" "$setup_failed"
    ip link set lo up || die "cannot bring up loopback" "$setup_failed"
    isolate_resolver
    [[ "${OSTRIVANE_NETNS_DNS_SERVER:-}" == none ]] || start_dns_server
    rm -rf "$dir"
    dir=""

    OSTRIVANE_NETNS=1 "$@"
    exit $?
fi

# First stage, on the host: check what is needed, then enter the namespaces
# and come back here for the second stage.
(($# > 0)) || die "usage: $me CMD [ARGS...]" 2

for tool in unshare ip mount setpriv; do
    command -v "$tool" >/dev/null || die "$tool is not installed: skipping" "$skip"
done
"$python" -c 'import dnslib' 2>/dev/null ||
    die "$python cannot import dnslib (install python3-dnslib): skipping" "$skip"

unshare_flags=(--net --mount --propagation private)
if ((EUID != 0)); then
    unshare_flags+=(--map-root-user)
fi
if ! reason=$(unshare "${unshare_flags[@]}" true 2>&1); then
    die "cannot create a private network namespace (unshare ${unshare_flags[*]}: ${reason:-refused}): skipping" "$skip"
fi

_OSTRIVANE_NETNS_STAGE=inside exec unshare "${unshare_flags[@]}" /bin/bash "$self" "$@"
