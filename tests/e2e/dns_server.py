#!/usr/bin/python3
"""A small authoritative DNS server for the end-to-end tests.

It answers from the fixed tables below, over UDP, one thread per query so that
a delayed answer holds up nobody else. Answers always list their records in
the order of the tables (nothing is ever rotated or sorted), carry TTL 0 and
the authoritative flag. Every name not served below is NXDOMAIN.

OSTRIVANE_DNS_DELAY_MS in the environment delays every answer by that many
milliseconds on top of the tables' delays (a realistic round trip for the
benchmark); netns_run.sh passes it through. While the file named by
OSTRIVANE_DNS_HOLD exists, an answer that waits for a delay waits for the
file to go as well (a test holds late answers back until it has seen what
comes before them).

With --query-log PATH every question is written there as it arrives, before
it is answered ("NAME TYPE", one a line, in order of arrival): a test that has
the answer to a question of its own knows that every question which came
before it is in the file (see in_namespace.py).

Run it with Debian's interpreter, /usr/bin/python3, which sees python3-dnslib.
"""

import argparse
import ipaddress
import os
import signal
import socket
import socketserver
import sys
import struct
import threading
import time

from dnslib import AAAA, CNAME, QTYPE, RCODE, RR, SOA, TXT, A, DNSHeader, DNSRecord

# --------------------------------------------------------------------------
# What is served
# --------------------------------------------------------------------------

# Host names: their A and AAAA records (each type in exactly this order), the
# delay in seconds before the answer, and optionally their TXT records (an SPF
# record makes the name a mail domain). "nowhere.test" is deliberately absent.
HOSTS = {
    #  name           addresses, in answer order        delay
    "listed.test": (["192.0.2.10"], 0),
    "two.test": (["192.0.2.11", "192.0.2.10"], 0),
    "slow.test": (["192.0.2.10"], 3),
    "clean.test": (["192.0.2.20"], 0),
    "v6.test": (["2001:db8::99", "192.0.2.20", "2001:db8::20"], 0),
    # Mail domains without MX: a /31 holding the listed 192.0.2.10, and a /23
    # (512 addresses: more than one probe of the exporter may ask about).
    "narrow-spf.test": ([], 0, ["v=spf1 ip4:192.0.2.10/31 -all"]),
    "wide-spf.test": ([], 0, ["v=spf1 ip4:198.51.100.0/23 -all"]),
}

# Who a healthy test list lists: host address -> the answer it gives.
# IPv6 test point of RFC 5782 (::FFFF:7F00:2), as host_address_of writes it.
V6_TEST_POINT = "::ffff:7f00:2"
BL_TEST_LISTINGS = {
    "127.0.0.2": "127.0.0.2",
    V6_TEST_POINT: "127.0.0.2",
    "192.0.2.10": "127.0.0.4",
    "192.0.2.11": "127.0.0.5",
    "2001:db8::99": "127.0.0.6",  # asked by its 32 reversed nibbles
}
# A list of IPv4 addresses only: every IPv6 question is NXDOMAIN.
V4ONLY_TEST_LISTINGS = {
    "127.0.0.2": "127.0.0.2",
    "192.0.2.10": "127.0.0.3",
}
# A list of IPv6 addresses only: it does not list 127.0.0.2.
V6ONLY_TEST_LISTINGS = {
    V6_TEST_POINT: "127.0.0.2",
    "2001:db8::99": "127.0.0.6",
}
# A list whose answers for some addresses are not what they seem: FOREIGN
# answers an A record of another name only, LOOP a CNAME loop, and CHAIN a
# CNAME to a listed name (a listing, once the chain is followed).
FOREIGN, LOOP, CHAIN = "foreign", "loop", "chain"
TRICKY_TEST_LISTINGS = {
    "127.0.0.2": "127.0.0.2",
    "192.0.2.30": FOREIGN,
    "192.0.2.31": LOOP,
    "192.0.2.32": CHAIN,
}
# What a list that refuses us says in its TXT record beside its error code.
REFUSAL_TXT = "Query refused: your resolver is not allowed"
BL2_TEST_LISTINGS = {
    "127.0.0.2": "127.0.0.2",
    "192.0.2.10": "127.0.0.10",
}
# A domain list (RFC 5782 section 5): it lists "test" and not "invalid".
DBL_TEST_LISTINGS = {"test": "127.0.1.2"}
# The default rows of the program's table: each lists the usual test address.
DEFAULT_LISTINGS = {"127.0.0.2": "127.0.0.2"}
# Spamhaus ZEN answers codes with meanings: 192.0.2.10 is in the PBL (an
# end-user range), 192.0.2.11 in the SBL.
ZEN_LISTINGS = {"127.0.0.2": "127.0.0.2", "192.0.2.10": "127.0.0.10", "192.0.2.11": "127.0.0.2"}
# The key the end-to-end tests give for Spamhaus: its zone answers only there.
TEST_KEY = "testkey42"

# How a zone answers:
#   LIST      the reversed listed addresses answer A (and TXT, see txt_for);
#             every other name under the zone is NXDOMAIN
#   SERVFAIL  every query SERVFAIL
#   EVERY     every A query answers the given address (other types: no data)
#   NXDOMAIN  every query NXDOMAIN
#   SILENT    no answer at all: the query is dropped
#   MUTE_TXT  a LIST whose TXT questions are dropped: listings without a reason
#   SLOW_TAIL like LIST, but only the questions about IPv4 addresses whose last
#             byte is 128 or more wait for the delay: the first half of a /24
#             is answered at once, the second half late
#   LIST_FROM_FILE  like LIST, but the listings are read, at every query, from
#             the file named by the environment variable given as data (see
#             listings_from_file), so that a test can change them between runs
LIST, SERVFAIL, EVERY, NXDOMAIN, SILENT = "list", "servfail", "every", "nxdomain", "silent"
MUTE_TXT = "mute-txt"
SLOW_TAIL = "slow-tail"
LIST_FROM_FILE = "list-from-file"
CHANGING_LISTINGS = "OSTRIVANE_CHANGING_LISTINGS"

ZONES = [
    #  zone               kind       data                      delay
    ("bl.test", LIST, BL_TEST_LISTINGS, 0),
    ("bl2.test", LIST, BL2_TEST_LISTINGS, 0),
    ("servfail.test", SERVFAIL, None, 0),
    ("refuse.test", EVERY, "127.255.255.254", 0),  # a list refusing a public resolver
    ("wild.test", EVERY, "127.0.0.2", 0),  # a dead domain that lists everything
    ("empty.test", NXDOMAIN, None, 0),  # a dead list
    ("slowbl.test", LIST, BL_TEST_LISTINGS, 3),
    ("silent.test", SILENT, None, 0),
    ("mutetxt.test", MUTE_TXT, DEFAULT_LISTINGS, 0),
    ("silent2.test", SILENT, None, 0),
    ("silent3.test", SILENT, None, 0),
    ("v4only.test", LIST, V4ONLY_TEST_LISTINGS, 0),
    ("delayed.test", LIST, BL_TEST_LISTINGS, 0.5),
    ("slowtail.test", SLOW_TAIL, BL_TEST_LISTINGS, 1.5),
    ("parked.test", EVERY, "198.51.100.80", 0),  # a parked domain's web server answers every name
    ("v6only.test", LIST, V6ONLY_TEST_LISTINGS, 0),
    ("tricky.test", LIST, TRICKY_TEST_LISTINGS, 0),
    ("changing.test", LIST_FROM_FILE, CHANGING_LISTINGS, 0),
    ("dbl.test", LIST, DBL_TEST_LISTINGS, 0),
    # The 16 default rows, in row order.
    ("cbl.abuseat.org", LIST, DEFAULT_LISTINGS, 0),
    ("sbl.spamhaus.org", LIST, DEFAULT_LISTINGS, 0),
    ("xbl.spamhaus.org", LIST, DEFAULT_LISTINGS, 0),
    ("pbl.spamhaus.org", LIST, DEFAULT_LISTINGS, 0),
    ("bl.spamcop.net", LIST, DEFAULT_LISTINGS, 0),
    ("list.dsbl.org", LIST, DEFAULT_LISTINGS, 0),
    ("dnsbl.sorbs.net", LIST, DEFAULT_LISTINGS, 0),
    ("dnsbl.njabl.org", LIST, DEFAULT_LISTINGS, 0),
    ("dynablock.njabl.org", LIST, DEFAULT_LISTINGS, 0),
    ("cbl.anti-spam.org.cn", LIST, DEFAULT_LISTINGS, 0),
    ("l1.spews.dnsbl.sorbs.net", LIST, DEFAULT_LISTINGS, 0),
    ("l2.spews.dnsbl.sorbs.net", LIST, DEFAULT_LISTINGS, 0),
    ("dnsbl-1.uceprotect.net", LIST, DEFAULT_LISTINGS, 0),
    ("dnsbl-2.uceprotect.net", LIST, DEFAULT_LISTINGS, 0),
    ("dnsbl-3.uceprotect.net", LIST, DEFAULT_LISTINGS, 0),
    ("psbl.surriel.com", LIST, DEFAULT_LISTINGS, 0),
    # The catalog's default set (data/catalog.toml) beside those above, under
    # their real names; and Spamhaus ZEN as asked with a key.
    ("zen.spamhaus.org", LIST, ZEN_LISTINGS, 0),
    (f"{TEST_KEY}.zen.dq.spamhaus.net", LIST, ZEN_LISTINGS, 0),
    ("bl.mailspike.net", LIST, DEFAULT_LISTINGS, 0),
    ("dnsbl.dronebl.org", LIST, DEFAULT_LISTINGS, 0),
    ("all.s5h.net", LIST, DEFAULT_LISTINGS, 0),
    ("bl.nordspam.com", LIST, DEFAULT_LISTINGS, 0),
]


def txt_for(zone, host_address):
    """The TXT record beside every listing, the way real lists explain one."""
    return f"Listed for testing, see https://{zone}/lookup?ip={host_address}"


def listings_from_file(variable):
    """{address: (answer, reason or None)} from the file named by the variable.

    One listing a line: ADDRESS ANSWER [REASON...]; the reason (the TXT record,
    which may hold any text, markup included) defaults to txt_for's. Blank
    lines and # comments are skipped. 127.0.0.2 is always listed, so the zone
    stays healthy; a missing file or variable lists nothing else.
    """
    listings = {"127.0.0.2": ("127.0.0.2", None)}
    path = os.environ.get(variable)
    try:
        with open(path, encoding="utf-8") as lines:
            for line in lines:
                fields = line.strip().split(None, 2)
                if len(fields) >= 2 and not fields[0].startswith("#"):
                    listings[fields[0]] = (fields[1], fields[2] if len(fields) == 3 else None)
    except (OSError, TypeError):
        pass
    return listings


# --------------------------------------------------------------------------
# Answering
# --------------------------------------------------------------------------

RECEIVE_BUFFER_BYTES = 8 * 1024 * 1024

TTL = 0  # nothing may be cached between two runs of a test


def find_zone(name):
    """The most specific served zone holding the name, or None."""
    best = None
    for entry in ZONES:
        zone = entry[0]
        if name == zone or name.endswith("." + zone):
            if best is None or len(zone) > len(best[0]):
                best = entry
    return best


def host_address_of(prefix):
    """"10.2.0.192" -> "192.0.2.10"; 32 reversed nibbles -> "2001:db8::99";
    None for anything else."""
    labels = prefix.split(".")
    if len(labels) == 4 and all(label.isdigit() for label in labels):
        return ".".join(reversed(labels))
    if len(labels) == 32 and all(len(label) == 1 and label in "0123456789abcdef" for label in labels):
        nibbles = "".join(reversed(labels))
        return str(ipaddress.IPv6Address(int(nibbles, 16)))
    return None


def soa_of(zone):
    return RR(
        zone,
        QTYPE.SOA,
        ttl=TTL,
        rdata=SOA(f"ns.{zone}", f"hostmaster.{zone}", (1, 3600, 600, 86400, TTL)),
    )


class Answer:
    """What one query gets: an rcode and records, after a delay; or nothing."""

    def __init__(self, rcode=RCODE.NOERROR, records=(), delay=0, dropped=False, soa_zone="test"):
        self.rcode = rcode
        self.records = list(records)
        self.delay = delay
        self.dropped = dropped
        self.soa_zone = soa_zone


def records_for(name, qtype, a_addresses, txts=()):
    """The records of an existing name for the asked type, in table order."""
    records = []
    v4 = [address for address in a_addresses if ":" not in address]
    v6 = [address for address in a_addresses if ":" in address]
    if qtype in (QTYPE.A, QTYPE.ANY):
        records += [RR(name, QTYPE.A, ttl=TTL, rdata=A(address)) for address in v4]
    if qtype in (QTYPE.AAAA, QTYPE.ANY):
        records += [RR(name, QTYPE.AAAA, ttl=TTL, rdata=AAAA(address)) for address in v6]
    if qtype in (QTYPE.TXT, QTYPE.ANY):
        records += [RR(name, QTYPE.TXT, ttl=TTL, rdata=TXT(text)) for text in txts]
    return records


def answer_for(name, qtype):
    name = name.lower().rstrip(".")

    if name in HOSTS:
        addresses, delay, *txts = HOSTS[name]
        return Answer(records=records_for(name, qtype, addresses, *txts), delay=delay)

    found = find_zone(name)
    if found is None:
        return Answer(RCODE.NXDOMAIN)
    zone, kind, data, delay = found
    if kind == SLOW_TAIL:
        asked = host_address_of(name[: -len(zone) - 1]) if name != zone else None
        late = asked is not None and ":" not in asked and int(asked.split(".")[-1]) >= 128
        kind, delay = LIST, delay if late else 0

    if kind == SILENT or (kind == MUTE_TXT and qtype == QTYPE.TXT):
        return Answer(dropped=True)
    if kind == SERVFAIL:
        return Answer(RCODE.SERVFAIL, delay=delay, soa_zone=None)
    if kind == NXDOMAIN:
        return Answer(RCODE.NXDOMAIN, delay=delay, soa_zone=zone)
    if kind == EVERY:
        txts = [REFUSAL_TXT] if data.startswith("127.255.255.") else []
        return Answer(records=records_for(name, qtype, [data], txts), delay=delay, soa_zone=zone)

    # A list: the apex exists without addresses; listed names have A and TXT.
    reasons = {}
    if kind == LIST_FROM_FILE:
        listings = listings_from_file(data)
        data = {address: answer for address, (answer, _) in listings.items()}
        reasons = {address: reason for address, (_, reason) in listings.items() if reason}
    if name == zone:
        records = [soa_of(zone)] if qtype in (QTYPE.SOA, QTYPE.ANY) else []
        return Answer(records=records, delay=delay, soa_zone=zone)
    # A domain list's names are its own keys ("test", "spam.example").
    prefix = name[: -len(zone) - 1]
    host_address = host_address_of(prefix) or prefix
    if host_address not in data:
        return Answer(RCODE.NXDOMAIN, delay=delay, soa_zone=zone)
    if data[host_address] in (FOREIGN, LOOP, CHAIN):
        return Answer(records=tricky_records(name, qtype, zone, data[host_address]), delay=delay)
    reason = reasons.get(host_address) or txt_for(zone, host_address)
    records = records_for(name, qtype, [data[host_address]], [reason])
    return Answer(records=records, delay=delay, soa_zone=zone)


def tricky_records(name, qtype, zone, how):
    """The answer of a tricky.test name that is not a plain listing."""
    if how == FOREIGN:
        return [RR(f"elsewhere.{zone}", QTYPE.A, ttl=TTL, rdata=A("127.0.0.2"))]
    if how == LOOP:
        return [RR(name, QTYPE.CNAME, ttl=TTL, rdata=CNAME(f"loop.{zone}")),
                RR(f"loop.{zone}", QTYPE.CNAME, ttl=TTL, rdata=CNAME(name)),
                RR(f"loop.{zone}", QTYPE.A, ttl=TTL, rdata=A("127.0.0.2"))]
    target = f"2.0.0.127.{zone}"
    return [RR(name, QTYPE.CNAME, ttl=TTL, rdata=CNAME(target))] + records_for(
        target, qtype, ["127.0.0.3"], [txt_for(zone, "192.0.2.32")])


def reply_to(request):
    """The reply packet for a parsed request, or None to stay silent."""
    reply = DNSRecord(DNSHeader(id=request.header.id, qr=1, aa=1, ra=0, rd=request.header.rd))
    if not request.questions:
        reply.header.rcode = RCODE.FORMERR
        return reply, 0
    question = request.questions[0]
    reply.add_question(question)
    answer = answer_for(str(question.qname), question.qtype)
    if answer.dropped:
        return None, 0
    reply.header.rcode = answer.rcode
    for record in answer.records:
        reply.add_answer(record)
    # Negative answers (NXDOMAIN, or a name without the asked type) carry the
    # zone's SOA, as an authoritative server's do.
    if answer.soa_zone and not answer.records:
        reply.add_auth(soa_of(answer.soa_zone))
    return reply, answer.delay


# --------------------------------------------------------------------------
# Serving
# --------------------------------------------------------------------------

log_lock = threading.Lock()

SO_TIMESTAMPNS = getattr(socket, "SO_TIMESTAMPNS", 35)  # Linux's value

EXTRA_DELAY = int(os.environ.get("OSTRIVANE_DNS_DELAY_MS") or 0) / 1000
HOLD = os.environ.get("OSTRIVANE_DNS_HOLD")


def describe(request):
    """"NAME TYPE" of a request's first question."""
    if not request.questions:
        return "(no question)"
    question = request.questions[0]
    return f"{question.qname} {QTYPE.get(question.qtype)}"


def question_of(data):
    """describe() of a packet as it came."""
    try:
        return describe(DNSRecord.parse(data))
    except Exception:  # a packet we cannot read
        return "(unreadable packet)"


def log(line):
    with log_lock:
        print(line, file=sys.stderr, flush=True)


class QueryHandler(socketserver.BaseRequestHandler):
    def handle(self):
        data, sock, arrived = self.request
        try:
            request = DNSRecord.parse(data)
        except Exception as error:  # a packet we cannot read gets no answer
            log(f"unreadable packet from {self.client_address}: {error}")
            return
        what = describe(request)
        reply, delay = reply_to(request)
        if reply is None:
            log(f"{what} -> dropped")
            return
        delay += EXTRA_DELAY
        if delay:
            time.sleep(max(0.0, arrived + delay - time.time()))
            while HOLD and os.path.exists(HOLD):
                time.sleep(0.02)
        log(f"{what} -> {RCODE.get(reply.header.rcode)} {[str(r.rdata) for r in reply.rr]}")
        sock.sendto(reply.pack(), self.client_address)


class ThreadedServer(socketserver.ThreadingMixIn, socketserver.UDPServer):
    daemon_threads = True
    allow_reuse_address = True
    query_log = None  # a file open for writing, or None

    def process_request(self, request, client_address):
        # Written here, by the one thread that reads the socket, before the
        # question's own thread starts: the file holds the questions in the
        # order they arrived, whatever their answers wait for.
        if self.query_log is not None:
            self.query_log.write(question_of(request[0]) + "\n")
            self.query_log.flush()
        super().process_request(request, client_address)

    def get_request(self):
        # The kernel's receive time: a burst of a thousand questions waits in
        # the socket while their threads start, and a delay counted from a
        # thread's start would answer the last of them a second late.
        data, ancillary, _flags, client = self.socket.recvmsg(self.max_packet_size,
                                                              socket.CMSG_SPACE(16))
        arrived = time.time()
        for level, kind, payload in ancillary:
            if level == socket.SOL_SOCKET and kind == SO_TIMESTAMPNS and len(payload) >= 16:
                seconds, nanoseconds = struct.unpack("qq", payload[:16])
                arrived = seconds + nanoseconds / 1e9
        return (data, self.socket, arrived), client

    def server_bind(self):
        # A check sends up to 256 questions at once: a small receive buffer
        # would drop some of them while the threads start, and the test would
        # read the server's losses as the lists' silence.
        for option in (getattr(socket, "SO_RCVBUFFORCE", None), socket.SO_RCVBUF):
            if option is None:
                continue
            try:
                self.socket.setsockopt(socket.SOL_SOCKET, option, RECEIVE_BUFFER_BYTES)
                break
            except OSError:
                continue
        self.socket.setsockopt(socket.SOL_SOCKET, SO_TIMESTAMPNS, 1)
        super().server_bind()


def write_ready_file(path, address, port):
    # Written whole, under a temporary name first, so a waiting reader never
    # sees half of it.
    partial = path + ".partial"
    with open(partial, "w", encoding="ascii") as ready:
        ready.write(f"{address} {port} {os.getpid()}\n")
    os.replace(partial, path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--address", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=53, help="0 picks a free port")
    parser.add_argument("--ready-file", help="written with 'ADDRESS PORT PID' once listening")
    parser.add_argument("--query-log", help="every question, as it arrives, one a line")
    args = parser.parse_args()

    server = ThreadedServer((args.address, args.port), QueryHandler)
    if args.query_log:
        server.query_log = open(args.query_log, "a", encoding="utf-8")
    address, port = server.server_address[:2]

    def stop(signum, _frame):
        raise SystemExit(128 + signum)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    try:
        if args.ready_file:
            write_ready_file(args.ready_file, address, port)
        log(f"serving on {address} port {port}")
        server.serve_forever(poll_interval=0.1)
    except SystemExit as stopped:
        log("stopped")
        return 0 if stopped.code in (128 + signal.SIGTERM, 128 + signal.SIGINT) else 1
    finally:
        server.server_close()
        if args.ready_file:
            try:
                os.unlink(args.ready_file)
            except FileNotFoundError:
                pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
