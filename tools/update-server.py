#!/usr/bin/env python3
"""A small update endpoint of Kestrow's own, for tests, the demo and anyone trying Kestrow.

It answers the update-check form on POST /updater/check.php and serves packages from a
folder, over plain HTTP and, when asked, over HTTPS with a test CA that it makes itself
with openssl.

The check: the form's CHECK_CODE is recomputed from ACCESS_ID; a form without a matching
code is answered 403. Otherwise the answer is that of --answer-file when that file
exists (JSON: {"status": 200, "body": "...", "delay_ms": 0}; "{base}" in the body becomes
the URL of the listener that was asked; the answer waits delay_ms first, as a slow
endpoint would), else 200 with the URL of --package under /packages/, else 404.

Paths of the package side (NAME is a file of --packages):
  /packages/NAME           the file with its length
  /nolength/NAME           the file without a length, the connection closed at its end
  /chunked/NAME            the file in chunked transfer coding, in uneven pieces
  /half/NAME               the full length announced, half the file sent, then closed
  /stall/NAME              the full length announced, half sent, then --stall-seconds of
                           silence before the connection closes
  /slow/NAME               the file in pieces of 64 KiB, --slow-ms apart
  /huge/NAME               a length of 4 GiB announced, nothing sent
  /any/ANYTHING            a short body with its length, whatever the name
  /status/CODE             that status with a short text body
  /redirect/CODE/REST      a redirect with that status to /REST
  /redirect-to?url=URL     a 302 redirect to URL as it stands

Every request is logged to --log, one a line: scheme, method, path, the Content-Type
header and the body, separated by tabs (a tab, line end or backslash within them is
written as \\t, \\n or \\\\).

The listeners' ports go to --run-file once they all listen, as "name=port" lines (http,
https, untrusted: an HTTPS listener whose certificate no trusted CA signed, and closed: a
port on which nothing listens). The server ends when that file is removed, when the
process that started it ends, or after --max-seconds.
"""

import argparse
import hashlib
import json
import os
import socket
import ssl
import subprocess
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

CHECK_PATH = "/updater/check.php"
CHECK_PREFIX = "QVX"
CHECK_SUFFIX = "RelayWarehouses"


def check_code(access_id):
    return hashlib.sha1((CHECK_PREFIX + access_id + CHECK_SUFFIX).encode("latin-1")).hexdigest()


def make_tls(folder, crl_base):
    """A test CA, a loopback certificate that it signs, and an untrusted one (self-made).

    The certificates name a revocation list under crl_base, which the server serves (an
    empty list signed by the CA), so that a client that checks revocation can."""
    os.makedirs(folder, exist_ok=True)

    def run(*args):
        subprocess.run(["openssl", *args], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def path(name):
        return os.path.join(folder, name)

    key = ["-newkey", "rsa:2048", "-nodes"]
    for ca in ("ca", "rogue-ca"):
        run("req", "-x509", *key, "-days", "2", "-subj", "/CN=Kestrow test " + ca, "-keyout", path(ca + ".key"),
            "-out", path(ca + ".pem"), "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
        with open(path(ca + ".cnf"), "w") as config:
            config.write("[ca]\ndefault_ca = test\n[test]\ndatabase = %s\ncrlnumber = %s\n"
                         "default_md = sha256\ndefault_crl_days = 2\n"
                         % (path(ca + ".index"), path(ca + ".crlnumber")))
        open(path(ca + ".index"), "w").close()
        with open(path(ca + ".crlnumber"), "w") as number:
            number.write("01\n")
        run("ca", "-gencrl", "-config", path(ca + ".cnf"), "-keyfile", path(ca + ".key"), "-cert", path(ca + ".pem"),
            "-out", path(ca + ".crl.pem"))
        run("crl", "-in", path(ca + ".crl.pem"), "-outform", "DER", "-out", path(ca + ".crl"))
    for name, ca in (("server", "ca"), ("untrusted", "rogue-ca")):
        run("req", *key, "-subj", "/CN=localhost", "-keyout", path(name + ".key"), "-out", path(name + ".csr"))
        with open(path(name + ".ext"), "w") as ext:
            ext.write("subjectAltName=DNS:localhost,IP:127.0.0.1\nextendedKeyUsage=serverAuth\n"
                      "basicConstraints=CA:FALSE\ncrlDistributionPoints=URI:%s/crl/%s.crl\n" % (crl_base, ca))
        run("x509", "-req", "-in", path(name + ".csr"), "-CA", path(ca + ".pem"), "-CAkey", path(ca + ".key"),
            "-CAcreateserial", "-days", "2", "-extfile", path(name + ".ext"), "-out", path(name + ".pem"))


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "KestrowUpdateServer/1"

    def log_message(self, format, *args):
        pass

    def log_request_record(self, body):
        options = self.server.options
        if not options.log:
            return
        fields = [self.server.scheme, self.command, self.path, self.headers.get("Content-Type", ""),
                  body.decode("latin-1")]
        line = "\t".join(f.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n") for f in fields)
        with self.server.log_lock, open(options.log, "a", encoding="latin-1") as log:
            log.write(line + "\n")

    def base(self):
        host, port = self.server.server_address[:2]
        return "%s://%s:%d" % (self.server.scheme, host, port)

    def send_text(self, status, text, extra=()):
        data = text.encode("latin-1", "replace")
        self.send_response(status)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(data)))
        for name, value in extra:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(data)

    def read_body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def do_POST(self):
        body = self.read_body()
        self.log_request_record(body)
        self.route(body)

    def do_GET(self):
        self.log_request_record(b"")
        self.route(b"")

    def route(self, body):
        path = urllib.parse.urlsplit(self.path).path
        if path.startswith("/redirect/"):
            code, _, rest = path[len("/redirect/"):].partition("/")
            self.send_text(int(code), "moved", [("Location", "/" + rest)])
        elif path == "/redirect-to":
            query = urllib.parse.parse_qs(urllib.parse.urlsplit(self.path).query)
            self.send_text(302, "moved", [("Location", query.get("url", [""])[0])])
        elif path.startswith("/status/"):
            self.send_text(int(path[len("/status/"):]), "status")
        elif path.startswith("/crl/") and self.server.options.tls:
            self.serve_file(os.path.join(self.server.options.tls, os.path.basename(path)), "application/pkix-crl")
        elif path.startswith("/any/"):
            self.send_text(200, "any package body")
        elif path == CHECK_PATH and self.command == "POST":
            self.answer_check(body)
        else:
            kind, _, name = path.lstrip("/").partition("/")
            self.serve_package(kind, urllib.parse.unquote(name))

    def answer_check(self, body):
        options = self.server.options
        fields = urllib.parse.parse_qs(body.decode("latin-1"), keep_blank_values=True, encoding="latin-1")
        access_id = fields.get("ACCESS_ID", [""])[0]
        if fields.get("CHECK_CODE", [None])[0] != check_code(access_id):
            self.send_text(403, "check code does not match")
            return
        if options.answer_file and os.path.exists(options.answer_file):
            with open(options.answer_file) as answer:
                spec = json.load(answer)
            time.sleep(max(0, int(spec.get("delay_ms", 0))) / 1000.0)
            self.send_text(int(spec.get("status", 200)), spec.get("body", "").replace("{base}", self.base()))
        elif options.package:
            self.send_text(200, "%s/packages/%s" % (self.base(), urllib.parse.quote(options.package)))
        else:
            self.send_text(404, "no update")

    def serve_file(self, file, content_type):
        if not os.path.isfile(file):
            self.send_text(404, "not found")
            return
        with open(file, "rb") as source:
            data = source.read()
        self.send_response(200)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def serve_package(self, kind, name):
        options = self.server.options
        file = os.path.join(options.packages or "", name)
        if not options.packages or not name or "/" in name or "\\" in name or not os.path.isfile(file):
            self.send_text(404, "not found")
            return
        size = os.path.getsize(file)
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if kind == "huge":
            self.send_header("Content-Length", str(4 * 1024 ** 3))
            self.end_headers()
            self.close_connection = True
            return
        if kind == "nolength":
            self.send_header("Connection", "close")
            self.close_connection = True
        elif kind == "chunked":
            self.send_header("Transfer-Encoding", "chunked")
        else:
            self.send_header("Content-Length", str(size))
        self.end_headers()
        with open(file, "rb") as package:
            if kind in ("half", "stall"):
                self.wfile.write(package.read(size // 2))
                self.wfile.flush()
                if kind == "stall":
                    time.sleep(options.stall_seconds)
                self.close_connection = True
            elif kind == "chunked":
                sizes = [1, 7, 4093, 65536, 300]
                index = 0
                while True:
                    piece = package.read(sizes[index % len(sizes)])
                    index += 1
                    if not piece:
                        break
                    self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
                    if index % 16 == 0:
                        self.wfile.flush()
                        time.sleep(0.01)
                self.wfile.write(b"0\r\n\r\n")
            elif kind == "slow":
                while True:
                    piece = package.read(65536)
                    if not piece:
                        break
                    self.wfile.write(piece)
                    self.wfile.flush()
                    time.sleep(options.slow_ms / 1000.0)
            else:
                while True:
                    piece = package.read(1 << 20)
                    if not piece:
                        break
                    self.wfile.write(piece)


class Server(ThreadingHTTPServer):
    daemon_threads = True
    # Many connections at once from the tests, without refusals.
    request_queue_size = 64

    def __init__(self, options, scheme, context=None):
        super().__init__((options.bind, 0), Handler)
        self.options = options
        self.scheme = scheme
        self.context = context
        self.log_lock = threading.Lock()

    def handle_error(self, request, client_address):
        # Clients that go away early (a cancel, a refused certificate) are part of the tests.
        if not isinstance(sys.exc_info()[1], (ConnectionError, ssl.SSLError, TimeoutError)):
            super().handle_error(request, client_address)

    def finish_request(self, request, client_address):
        # The handshake runs on the request's own thread, so a slow client holds up no other.
        if self.context is not None:
            try:
                request = self.context.wrap_socket(request, server_side=True)
            except (ssl.SSLError, OSError):
                return  # a client that refused the certificate
        super().finish_request(request, client_address)


def tls_context(folder, name):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(folder, name + ".pem"), os.path.join(folder, name + ".key"))
    return context


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bind", default="127.0.0.1")
    parser.add_argument("--packages", help="folder of the packages served")
    parser.add_argument("--package", help="the package that a check is answered with")
    parser.add_argument("--answer-file", help="JSON answer to the check, read at each check")
    parser.add_argument("--tls", metavar="FOLDER", help="make a test CA and certificates there and listen on HTTPS too")
    parser.add_argument("--log", help="file that every request is appended to")
    parser.add_argument("--run-file", required=True)
    parser.add_argument("--stall-seconds", type=float, default=3.0)
    parser.add_argument("--slow-ms", type=float, default=50.0)
    parser.add_argument("--max-seconds", type=float, default=600.0)
    options = parser.parse_args()

    servers = {"http": Server(options, "http")}
    if options.tls:
        servers["https"] = Server(options, "https")
        servers["untrusted"] = Server(options, "https")
        make_tls(options.tls, "http://%s:%d" % (options.bind, servers["http"].server_address[1]))
        servers["https"].context = tls_context(options.tls, "server")
        servers["untrusted"].context = tls_context(options.tls, "untrusted")
    for server in servers.values():
        threading.Thread(target=server.serve_forever, daemon=True).start()

    with socket.socket() as probe:
        probe.bind((options.bind, 0))
        closed_port = probe.getsockname()[1]
    lines = ["%s=%d\n" % (name, server.server_address[1]) for name, server in servers.items()]
    lines.append("closed=%d\n" % closed_port)
    temporary = options.run_file + ".tmp"
    with open(temporary, "w") as run:
        run.writelines(lines)
    os.replace(temporary, options.run_file)

    # A parent that ends without removing the run file (a crashed test) ends the server too.
    parent = os.getppid()
    deadline = time.monotonic() + options.max_seconds
    while os.path.exists(options.run_file) and time.monotonic() < deadline and os.getppid() == parent:
        time.sleep(0.1)
    for server in servers.values():
        server.shutdown()
    return 0


if __name__ == "__main__":
    sys.exit(main())
