#!/bin/bash
# domains_e2e_test.sh BINARY
#
# mx:, spf: and mail: targets of `ostrivane --check` against real servers in
# netns_run.sh's namespace, on loopback only: nsd serves the test mail
# domains (tests/e2e/nsd/), rbldnsd an address list for both families
# (bl.test) and a domain list (dbl.test) from tests/e2e/rbldnsd-domains/, and unbound on 127.0.0.2
# resolves for the program, sending each zone to its server. rbldnsd also
# serves the catalog's default set under the lists' real zone names: each
# address list with bl.test's data, and Spamhaus DBL (dbl.spamhaus.org) with
# its own codes, also through the key "testkey42"
# (testkey42.dbl.dq.spamhaus.net); these names never leave the namespace. The cases are in
# domains_e2e_test.py, which gets the resolver's address, the default zones
# and a copy of the domain list's data it may rewrite (rbldnsd reloads it
# within a second).

set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
readonly here

if [[ "${OSTRIVANE_NETNS:-}" != 1 ]]; then
    exec "$here/netns_run.sh" /bin/bash "${BASH_SOURCE[0]}" "$@"
fi
(($# == 1)) || { echo "usage: domains_e2e_test.sh BINARY" >&2; exit 2; }
for tool in nsd rbldnsd unbound; do
    command -v "$tool" >/dev/null || command -v "/usr/sbin/$tool" >/dev/null ||
        { echo "$tool is not installed: skipping" >&2; exit 77; }
done
export PATH="$PATH:/usr/sbin"

# shellcheck source=real_dns_nsd.sh
source "$here/real_dns_nsd.sh"
dir=$(mktemp -d "${TMPDIR:-/tmp}/ostrivane-domains.XXXXXX") || exit 125
chmod 755 "$dir"
pids=()
cleanup() {
    stop_nsd
    local pid
    for pid in "${pids[@]}"; do
        kill -TERM "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    rm -rf "$dir"
}
trap cleanup EXIT

start_nsd "$dir/nsd" 127.0.0.1 5301 || exit 125

# The catalog as shipped: no drop-in or config file of this machine's.
mkdir -p "$dir/etc" "$dir/config" || exit 125
export OSTRIVANE_CONFIG_DIR="$dir/etc" XDG_CONFIG_HOME="$dir/config"
default_zones=$("$1" --lists --format json | /usr/bin/python3 -c '
import json, sys
for entry in json.load(sys.stdin)["lists"]:
    if entry["default"] and entry["status"] == "alive" and not entry["needs_key"]:
        print(entry["zone"], "domains" if entry["kinds"] == ["domains"] else "addresses")
') || exit 125
grep -q '^dbl.spamhaus.org domains$' <<<"$default_zones" ||
    { echo "domains_e2e_test.sh: Spamhaus DBL is not in the default set" >&2; exit 1; }
catalog_data=()
while read -r zone kind; do
    if [[ "$kind" == domains ]]; then
        data="$zone.dnset"
        [[ -f "$here/rbldnsd-domains/$data" ]] || data=dbl.test.dnset
        catalog_data+=("$zone:dnset:$data")
    else
        catalog_data+=("$zone:ip4set:bl.test.ip4set" "$zone:ip6trie:bl.test.ip6trie")
    fi
done <<<"$default_zones"

cp "$here"/rbldnsd-domains/* "$dir/" && chmod 644 "$dir"/*.dnset "$dir"/*.ip4set "$dir"/*.ip6trie || exit 125
setpriv --pdeathsig TERM rbldnsd -n -u rbldns -c 1 -t 1 -b 127.0.0.1/5300 -w "$dir" \
    bl.test:ip4set:bl.test.ip4set bl.test:ip6trie:bl.test.ip6trie \
    dbl.test:dnset:dbl.test.dnset "${catalog_data[@]}" \
    testkey42.dbl.dq.spamhaus.net:dnset:dbl.spamhaus.org.dnset >"$dir/rbldnsd.log" 2>&1 &
pids+=($!)

{
    printf 'server:\n  interface: 127.0.0.2\n  port: 53\n  username: ""\n  chroot: ""\n'
    printf '  directory: "%s"\n  pidfile: "%s/unbound.pid"\n  use-syslog: no\n' "$dir" "$dir"
    printf '  logfile: "%s/unbound.log"\n  do-daemonize: no\n  num-threads: 1\n' "$dir"
    printf '  do-not-query-localhost: no\n  module-config: "iterator"\n'
    printf '  access-control: 127.0.0.0/8 allow\n  cache-max-ttl: 0\n'
    printf '  cache-max-negative-ttl: 0\n  qname-minimisation: no\n  local-zone: "test." nodefault\n'
    printf 'remote-control:\n  control-enable: no\n'
    for zone in $(nsd_zones); do
        printf 'stub-zone:\n  name: "%s"\n  stub-addr: 127.0.0.1@5301\n' "$zone"
    done
    for zone in bl.test dbl.test dbl.dq.spamhaus.net $(cut -d' ' -f1 <<<"$default_zones"); do
        printf 'stub-zone:\n  name: "%s"\n  stub-addr: 127.0.0.1@5300\n' "$zone"
    done
} >"$dir/unbound.conf"
setpriv --pdeathsig TERM unbound -d -c "$dir/unbound.conf" >"$dir/unbound.out" 2>&1 &
pids+=($!)

# Ready when unbound answers a name of each server.
ready() {
    /usr/bin/python3 - <<'PY' 2>/dev/null
import sys, dnslib
for name in ("owner.test", "test.dbl.test", "test.dbl.spamhaus.org"):
    q = dnslib.DNSRecord.question(name, "A" if "dbl" in name else "MX")
    r = dnslib.DNSRecord.parse(q.send("127.0.0.2", 53, timeout=0.5))
    if r.header.rcode != 0 or not r.rr:
        sys.exit(1)
PY
}
for ((tenths = 0; ; tenths++)); do
    ready && break
    if ((tenths >= 100)); then
        echo "domains_e2e_test.sh: the servers did not answer within 10 s" >&2
        cat "$dir/rbldnsd.log" "$dir/unbound.log" "$dir/unbound.out" >&2 2>/dev/null
        exit 125
    fi
    sleep 0.1
done

OSTRIVANE_RESOLVER=127.0.0.2:53 OSTRIVANE_DOMAIN_LIST_DATA="$dir/dbl.test.dnset" \
    OSTRIVANE_DEFAULT_ZONES="$default_zones" \
    /usr/bin/python3 "$here/domains_e2e_test.py" "$1"
