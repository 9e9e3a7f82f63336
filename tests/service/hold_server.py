#!/usr/bin/env python3
"""A Brivet service on 127.0.0.1 that holds one kind of request: it answers it with
200 and then one byte every 200 ms, for ever, so that the client is caught in the
middle of that request.

  hold_server.py logon|entry     prints "port N" when ready
With "entry" the logon is answered at once with the token TOKEN below.
"""
import http.server
import socketserver
import sys
import time

TOKEN = "tok-SECRET-7c41e9"


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def do_POST(self):
        self.rfile.read(int(self.headers.get("Content-Length", 0)))
        held = "/v2/sessions" if sys.argv[1] == "logon" else "/v2/entries"
        if not self.path.startswith(held):
            body = ('{"data":{"type":"sessions","attributes":{"access-token":"%s",'
                    '"profile":42}}}' % TOKEN).encode("ascii")
            self.send_response(201)
            self.send_header("Content-Type", "application/vnd.api+json")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        self.send_response(200)
        self.send_header("Content-Type", "application/vnd.api+json")
        self.end_headers()
        try:
            while True:
                self.wfile.write(b" ")
                self.wfile.flush()
                time.sleep(0.2)
        except OSError:
            pass


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


server = Server(("127.0.0.1", 0), Handler)
print("port %d" % server.server_address[1], flush=True)
server.serve_forever()
