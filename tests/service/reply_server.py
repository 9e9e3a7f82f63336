#!/usr/bin/env python3
"""Answers every POST on 127.0.0.1 with a fixed status (201 unless given) and a fixed
body, for the client's handling of session replies that the sandbox service never sends.

  reply_server.py BODY-FILE [STATUS]     prints "port N" when ready
"""
import http.server
import sys


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def do_POST(self):
        self.rfile.read(int(self.headers.get("Content-Length", 0)))
        with open(sys.argv[1], "rb") as reply:
            body = reply.read()
        self.send_response(int(sys.argv[2]) if len(sys.argv) > 2 else 201)
        self.send_header("Content-Type", "application/vnd.api+json")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
print("port %d" % server.server_address[1], flush=True)
server.serve_forever()
