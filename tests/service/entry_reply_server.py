#!/usr/bin/env python3
"""A service on 127.0.0.1 that logs on like Brivet but answers entries with a reply
that confirms nothing, for the client's check of the entry reply.

  entry_reply_server.py KIND     KIND: html, 202, 204, redirect, entry
                                 prints "port N" when ready, then each request line

"entry" answers 201 with a JSON:API entry document, as the service does.
"""
import http.server
import json
import sys

KIND = sys.argv[1]
PAGE = b"<!DOCTYPE html>\n<html><body><h1>Welcome</h1></body></html>\n"
SESSION = {"data": {"type": "sessions", "id": "1",
                    "attributes": {"access-token": "token-1", "profile": 100001}}}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def reply(self, status, body=b"", content_type="application/vnd.api+json", headers=()):
        self.send_response(status)
        if status != 204:
            self.send_header("Content-Type", content_type)
            self.send_header("Content-Length", str(len(body)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        if status != 204:
            self.wfile.write(body)

    def do_GET(self):
        print("%s %s" % (self.command, self.path), flush=True)
        self.reply(200, PAGE, "text/html; charset=utf-8")

    def do_POST(self):
        self.rfile.read(int(self.headers.get("Content-Length", 0)))
        print("%s %s" % (self.command, self.path), flush=True)
        path = self.path.partition("?")[0]
        if path == "/v2/sessions":
            self.reply(201, json.dumps(SESSION, separators=(",", ":")).encode())
        elif path != "/v2/entries" or KIND == "html":
            self.reply(200, PAGE, "text/html; charset=utf-8")
        elif KIND == "202":
            self.reply(202, b'{"meta":{"queued":true}}')
        elif KIND == "204":
            self.reply(204)
        elif KIND == "redirect":
            self.reply(302, b"", "text/plain", [("Location", "/welcome")])
        else:
            self.reply(201, b'{"data":{"type":"entries","id":"77","attributes":{}}}')


server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
print("port %d" % server.server_address[1], flush=True)
server.serve_forever()
