#!/usr/bin/env python3
"""A small HTTP(S) server on 127.0.0.1 for the request tests.

Prints "PORT <n>" once it listens. Paths:
  /echo...          answers 200 with what it received: method, path, header lines in
                    order, then an empty line and the body, byte for byte
  /status/<code>    answers <code> with the body "error body <code>"
  /cookies/set      sets a session cookie and one with an expiry time
  /cookies/echo     answers with the Cookie header it received
  /form             parses the body as a form (form_parser.py) and answers its JSON
  /slow/<ms>/...    waits <ms> milliseconds, then goes on with the rest of the path
  .../auth/...      asks for Basic authentication (401) while no Authorization came
  /bytes/<n>        answers 200 with n bytes "x"
  /trickle/<ms>     answers 200 and then one byte every <ms> milliseconds, for ever
  /endless          answers 200 and then bytes as fast as it can, for ever
  /redirect/<code>?to=<url>   answers <code> with Location <url>
  /seen             what the server received before (method, path and header lines of
                    each request, one request a paragraph); not itself recorded
A proxy's absolute address is read by its path, so the server can stand as a proxy.
"""
import http.server
import json
import socketserver
import ssl
import sys
import time
import urllib.parse

import form_parser


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def _body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length else b""

    def _answer(self, code, body, headers=()):
        self.send_response(code)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(body)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)

    seen = []

    def _handle(self):
        body = self._body()
        split = urllib.parse.urlsplit(self.path)
        path = split.path
        if path == "/seen":
            self._answer(200, "\n\n".join(Handler.seen).encode("latin-1"))
            return
        Handler.seen.append("\n".join(["%s %s" % (self.command, self.path)] +
                                       ["%s: %s" % item for item in self.headers.raw_items()]))
        if path.startswith("/bytes/"):
            self._answer(200, b"x" * int(path.split("/")[2]))
            return
        if path.startswith("/trickle/") or path == "/endless":
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.end_headers()
            pause = int(path.split("/")[2]) / 1000.0 if path.startswith("/trickle/") else 0
            chunk = b"x" if pause else b"x" * 65536
            try:
                while True:
                    self.wfile.write(chunk)
                    self.wfile.flush()
                    if pause:
                        time.sleep(pause)
            except OSError:
                return
        if path.startswith("/redirect/"):
            target = urllib.parse.parse_qs(split.query).get("to", [""])[0]
            self._answer(int(path.split("/")[2]), b"moved", [("Location", target)])
            return
        if path.startswith("/slow/"):
            time.sleep(int(path.split("/")[2]) / 1000.0)
        if "/auth/" in path and not self.headers.get("Authorization"):
            # Said outright, so that wget does not try the closed connection again.
            self._answer(401, b"who are you", [("WWW-Authenticate", 'Basic realm="test"'),
                                                ("Connection", "close")])
            return
        if path.startswith("/status/"):
            code = int(self.path.split("/")[2])
            self._answer(code, b"error body %d" % code)
        elif self.path == "/cookies/set":
            self._answer(200, b"cookies set", [
                ("Set-Cookie", "session=abc123; Path=/"),
                ("Set-Cookie", "persistent=xyz; Path=/; Expires=Wed, 01 Jan 2042 00:00:00 GMT"),
            ])
        elif self.path == "/form":
            parsed = form_parser.parse(self.headers.get("Content-Type") or "", body)
            self._answer(200, json.dumps(parsed).encode("ascii"))
        elif self.path == "/cookies/echo":
            self._answer(200, (self.headers.get("Cookie") or "").encode("latin-1"))
        else:
            lines = ["METHOD %s" % self.command, "PATH %s" % self.path]
            lines += ["%s: %s" % (k, v) for k, v in self.headers.raw_items()]
            self._answer(200, ("\n".join(lines) + "\n\n").encode("latin-1") + body)

    do_GET = do_POST = do_PUT = do_DELETE = do_PATCH = _handle

    def do_HEAD(self):
        self._answer(200, b"")


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    server = Server(("127.0.0.1", 0), Handler)
    if len(sys.argv) == 4 and sys.argv[1] == "--tls":
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(sys.argv[2], sys.argv[3])
        server.socket = context.wrap_socket(server.socket, server_side=True)
    print("PORT %d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
