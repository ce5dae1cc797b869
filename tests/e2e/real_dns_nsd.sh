# Sourced by end-to-end tests that need a real authoritative server for the
# test mail domains: nsd, serving every zone file of tests/e2e/nsd/ (the file
# NAME.zone is the zone NAME). Call it only inside netns_run.sh's namespace:
# it listens on loopback and nowhere else.
#
#   start_nsd DIR ADDRESS PORT   start nsd, its files in DIR; wait until it answers
#   nsd_zones                    the zones it serves, one a line
#   stop_nsd                     stop it (also done by the caller's EXIT trap if it calls it)
#
# A resolver in front of it (unbound) sends these zones to ADDRESS@PORT with
# a stub-zone each.

nsd_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
nsd_pid=""

nsd_zones() {
    local file
    for file in "$nsd_here"/nsd/*.zone; do
        basename "$file" .zone
    done
}

start_nsd() {
    local dir=$1 address=$2 port=$3 zone
    mkdir -p "$dir" || return 1
    {
        printf 'server:\n  ip-address: %s@%s\n  port: %s\n' "$address" "$port" "$port"
        printf '  username: ""\n  chroot: ""\n  database: ""\n  server-count: 1\n'
        printf '  zonesdir: "%s"\n  pidfile: "%s/nsd.pid"\n' "$nsd_here/nsd" "$dir"
        printf '  xfrdfile: "%s/xfrd.state"\n  zonelistfile: "%s/zone.list"\n' "$dir" "$dir"
        printf '  logfile: "%s/nsd.log"\n  verbosity: 1\nremote-control:\n  control-enable: no\n' "$dir"
        for zone in $(nsd_zones); do
            printf 'zone:\n  name: %s\n  zonefile: %s.zone\n' "$zone" "$zone"
        done
    } >"$dir/nsd.conf"
    nsd-checkconf "$dir/nsd.conf" || return 1
    setpriv --pdeathsig TERM nsd -d -c "$dir/nsd.conf" </dev/null >>"$dir/nsd.log" 2>&1 &
    nsd_pid=$!
    local tenths=0
    until /usr/bin/python3 - "$address" "$port" "$(nsd_zones | head -n1)" <<'PY' 2>/dev/null
import sys, dnslib
address, port, zone = sys.argv[1], int(sys.argv[2]), sys.argv[3]
reply = dnslib.DNSRecord.parse(dnslib.DNSRecord.question(zone, "SOA").send(address, port, timeout=0.5))
sys.exit(0 if reply.header.rcode == 0 and reply.rr else 1)
PY
    do
        if ! kill -0 "$nsd_pid" 2>/dev/null || ((tenths++ >= 100)); then
            echo "real_dns_nsd.sh: nsd did not start; its log:" >&2
            cat "$dir/nsd.log" >&2
            return 1
        fi
        sleep 0.1
    done
}

stop_nsd() {
    if [[ -n "$nsd_pid" ]]; then
        kill -TERM "$nsd_pid" 2>/dev/null
        wait "$nsd_pid" 2>/dev/null
        nsd_pid=""
    fi
}
