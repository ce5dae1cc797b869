#!/bin/bash
# real_dns.sh — start and stop real DNS servers for the end-to-end tests.
#
# A library: source it in a script that runs inside netns_run.sh's namespace
# (it refuses to start anything elsewhere), then
#
#   real_dns_init                      a scratch folder for configurations and logs
#   real_dns_start_rbldnsd PORT ZONE…  rbldnsd on 127.0.0.1:PORT with the data files
#                                      of tests/e2e/rbldnsd/; ZONE is rbldnsd's
#                                      ZONE:TYPE:FILE[,FILE] (e.g. v4set.rbl.test:ip4set:v4set)
#   real_dns_start_unbound [ADDRESS:]PORT ZONE=ADDRESS@PORT…
#                                      unbound on 127.0.0.1:PORT (or another loopback
#                                      ADDRESS), the resolver in front, with a stub
#                                      zone for each ZONE
#   real_dns_use_resolver ADDRESS      the system resolver of this namespace asks
#                                      ADDRESS (port 53) from now on
#   real_dns_wait [ADDRESS:]PORT NAME [TYPE]
#                                      waits (at most 10 s) until the server on
#                                      127.0.0.1:PORT (or ADDRESS:PORT) answers NAME
#   real_dns_stop                      stops every server started, removes the folder
#
# Servers listen on 127.0.0.1 only; each dies with the script that started it
# (setpriv --pdeathsig), and real_dns_stop is meant for an EXIT trap. Start
# functions return 77 when the server's program is missing (the test skips)
# and 125 when it does not start.

real_dns_here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
real_dns_dir=""
real_dns_pids=()

real_dns_init() {
    if [[ "${OSTRIVANE_NETNS:-}" != 1 ]]; then
        echo "real_dns.sh: not inside the test namespace: nothing is started" >&2
        return 125
    fi
    real_dns_dir=$(mktemp -d "${TMPDIR:-/tmp}/ostrivane-real-dns.XXXXXX") || return 125
}

real_dns_stop() {
    local pid
    for pid in "${real_dns_pids[@]}"; do
        kill -TERM "$pid" 2>/dev/null
    done
    for pid in "${real_dns_pids[@]}"; do
        wait "$pid" 2>/dev/null
    done
    real_dns_pids=()
    [[ -z "$real_dns_dir" ]] || rm -rf "$real_dns_dir"
    real_dns_dir=""
}

# real_dns_spawn NAME LOG COMMAND…: starts COMMAND in the background, tied to
# this shell's life.
real_dns_spawn() {
    local name=$1 log=$2
    shift 2
    setpriv --pdeathsig TERM "$@" </dev/null >"$log" 2>&1 &
    real_dns_pids+=("$!")
    sleep 0.05
    if ! kill -0 "$!" 2>/dev/null; then
        echo "real_dns.sh: $name exited at once; its log:" >&2
        cat "$log" >&2
        return 125
    fi
}

real_dns_start_rbldnsd() {
    local port=$1
    shift
    command -v rbldnsd >/dev/null || { echo "real_dns.sh: rbldnsd is not installed" >&2; return 77; }
    if ! id -u rbldns >/dev/null 2>&1 || [[ "$(awk '{print $3; exit}' /proc/self/uid_map)" == 1 ]]; then
        echo "real_dns.sh: no user rbldns in this namespace for rbldnsd to run as" >&2
        return 77
    fi
    # -n: stay in front; -u rbldns: it will not run as root (where the namespace maps
    # only the test's own user to root, no other user exists and the test skips);
    # -t 1: next to nothing is cached between two questions of a test.
    real_dns_spawn rbldnsd "$real_dns_dir/rbldnsd-$port.log" \
        rbldnsd -n -u rbldns -t 1 -b "127.0.0.1/$port" -w "$real_dns_here/rbldnsd" "$@"
}

real_dns_start_unbound() {
    local port=${1##*:} address=127.0.0.1
    [[ "$1" != *:* ]] || address=${1%:*}
    shift
    [[ "$address" == 127.* ]] || { echo "real_dns.sh: $address is not a loopback address" >&2; return 125; }
    command -v unbound >/dev/null || { echo "real_dns.sh: unbound is not installed" >&2; return 77; }
    local conf="$real_dns_dir/unbound-$address-$port.conf" stub zone
    {
        cat <<CONF
server:
    interface: $address
    port: $port
    do-ip6: no
    do-daemonize: no
    username: ""
    chroot: ""
    directory: "$real_dns_dir"
    pidfile: ""
    use-syslog: no
    verbosity: 0
    module-config: "iterator"
    access-control: 127.0.0.0/8 allow
    do-not-query-localhost: no
    qname-minimisation: no
    cache-max-ttl: 0
    cache-max-negative-ttl: 0
CONF
        # Test names end in .test, which unbound answers itself unless told not to.
        local -A tlds=()
        for stub in "$@"; do
            zone=${stub%%=*}
            tlds[${zone##*.}]=1
            printf '    domain-insecure: "%s"\n' "$zone"
        done
        for zone in "${!tlds[@]}"; do
            printf '    local-zone: "%s." nodefault\n' "$zone"
        done
        for stub in "$@"; do
            printf 'stub-zone:\n    name: "%s"\n    stub-addr: %s\n' "${stub%%=*}" "${stub#*=}"
        done
    } >"$conf"
    unbound-checkconf "$conf" >/dev/null || return 125
    real_dns_spawn unbound "$real_dns_dir/unbound-$address-$port.log" unbound -d -c "$conf"
}

# The namespace's /etc/resolv.conf is netns_run.sh's own bind mount of a file
# already deleted, which cannot be mounted over: it is taken away (in this
# private mount namespace only) and another takes its place, for as long as
# the namespace lasts.
real_dns_use_resolver() {
    local address=$1
    [[ "$address" == 127.* ]] || { echo "real_dns.sh: $address is not a loopback address" >&2; return 125; }
    printf 'nameserver %s\noptions timeout:1 attempts:2\n' "$address" >"$real_dns_dir/resolv.conf" &&
        umount /etc/resolv.conf && mount --bind "$real_dns_dir/resolv.conf" /etc/resolv.conf ||
        { echo "real_dns.sh: cannot mount a resolv.conf naming $address" >&2; return 125; }
}

real_dns_wait() {
    local port=${1##*:} address=127.0.0.1 name=$2 type=${3:-SOA}
    [[ "$1" != *:* ]] || address=${1%:*}
    /usr/bin/python3 - "$address" "$port" "$name" "$type" <<'PY' && return 0
import socket, sys, time
from dnslib import DNSRecord
address, port, name, qtype = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
deadline = time.monotonic() + 10
while time.monotonic() < deadline:
    try:
        DNSRecord.parse(DNSRecord.question(name, qtype).send(address, port, timeout=0.2))
        sys.exit(0)
    except (socket.timeout, OSError):
        time.sleep(0.05)
sys.exit(1)
PY
    echo "real_dns.sh: nothing answered $name on $address:$port within 10 s" >&2
    return 125
}
