#!/usr/bin/python3
"""A stand-in for SNDS on 127.0.0.1, over HTTPS, for the fetcher's test.

snds_https_server.py CERT KEY LOG

Prints its port, then answers until it is ended (or for a minute at most, so
that a test that dies leaves no server behind): /snds/ipStatus.aspx and
/snds/data.aspx with a line of CSV each, /deny/... with 403, /big/... with
64 KiB, /slow/... a byte every tenth of a second. Each request's path (the
key in it) is appended to LOG.
"""

import http.server
import os
import ssl
import sys
import threading
import time

cert, key, log = sys.argv[1:4]


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        with open(log, "a") as out:
            out.write(self.path + "\n")
        if self.path.startswith("/deny/"):
            self.send_response(403)
            body = b"no"
        elif self.path.startswith("/slow/"):
            self.send_response(200)
            self.send_header("Content-Length", "50")
            self.end_headers()
            for _ in range(50):
                self.wfile.write(b"x")
                self.wfile.flush()
                time.sleep(0.1)
            return
        elif self.path.startswith("/big/"):
            self.send_response(200)
            body = b"x" * 65536
        else:
            self.send_response(200)
            name = self.path.split("?")[0].rsplit("/", 1)[-1]
            body = name.encode() + b",192.0.2.1\r\n"
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(cert, key)
server.socket = context.wrap_socket(server.socket, server_side=True)
threading.Timer(60, os._exit, [0]).start()
print(server.server_address[1], flush=True)
server.serve_forever()
