#!/bin/bash
# real_lists_e2e_test.sh BINARY
#
# `ostrivane --check` against rbldnsd, the server many lists run, with its own
# data files (tests/e2e/rbldnsd/: ip4set, ip4trie, ip6trie, ip6tset, combined,
# an acl that refuses us), asked directly and through unbound as the resolver,
# inside netns_run.sh's namespace; the cases are in real_lists_e2e_test.py.
# The one-host mode and the window ask through the system resolver, which is
# pointed at a second unbound on 127.0.0.2:53 for the rest of the namespace.
#
# Exit: 0 passed, 1 failed, 77 skipped (no namespace, or a server missing).

set -u
readonly here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

if [[ "${OSTRIVANE_NETNS:-}" != 1 ]]; then
    exec "$here/netns_run.sh" /bin/bash "${BASH_SOURCE[0]}" "$@"
fi

# shellcheck source=real_dns.sh
source "$here/real_dns.sh"
real_dns_init || exit $?
trap real_dns_stop EXIT

readonly rbldnsd_port=5301 unbound_port=5302
real_dns_start_rbldnsd "$rbldnsd_port" \
    v4set.rbl.test:ip4set:v4set \
    v4trie.rbl.test:ip4trie:v4trie \
    v6trie.rbl.test:ip6trie:v6trie \
    v6tset.rbl.test:ip6tset:v6tset \
    combined.rbl.test:combined:combined \
    everything.rbl.test:ip4trie:everything \
    no-test-point.rbl.test:ip4set:no-test-point \
    refuse.rbl.test:ip4set:v4set \
    refuse.rbl.test:acl:refuse.acl || exit $?
real_dns_start_unbound "$unbound_port" "rbl.test=127.0.0.1@$rbldnsd_port" || exit $?
# The system resolver of the one-host mode and the window: unbound on port 53
# of another loopback address (the test server keeps 127.0.0.1:53).
real_dns_start_unbound 127.0.0.2:53 "rbl.test=127.0.0.1@$rbldnsd_port" || exit $?
real_dns_wait "$rbldnsd_port" 2.0.0.127.v4set.rbl.test A || exit $?
real_dns_wait "$unbound_port" 2.0.0.127.v4set.rbl.test A || exit $?
real_dns_wait 127.0.0.2:53 2.0.0.127.v4set.rbl.test A || exit $?
real_dns_use_resolver 127.0.0.2 || exit $?

OSTRIVANE_RBLDNSD="127.0.0.1:$rbldnsd_port" OSTRIVANE_UNBOUND="127.0.0.1:$unbound_port" \
    /usr/bin/python3 "$here/real_lists_e2e_test.py" "$@"
