#!/usr/bin/env python3
"""Answers every POST on 127.0.0.1 with a fixed status (201 unless given) and a fixed
body, for the client's handling of session replies that the sandbox service never sends.

  reply_server.py BODY-FILE [STATUS [CLIENT-FILE]]     prints "port N" when ready

With CLIENT-FILE, the command line and the environment of the process that sent each
request (found through its socket in /proc) are appended to that file.
"""
import http.server
import os
import sys


def client_process(port):
    """The id of the process whose socket is bound to 127.0.0.1:port, or None."""
    inodes = set()
    with open("/proc/net/tcp") as table:
        for line in table.readlines()[1:]:
            fields = line.split()
            address, local_port = fields[1].split(":")
            if address == "0100007F" and int(local_port, 16) == port:
                inodes.add("socket:[%s]" % fields[9])
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            folder = "/proc/%s/fd" % pid
            if any(os.readlink(os.path.join(folder, fd)) in inodes for fd in os.listdir(folder)):
                return pid
        except OSError:
            continue
    return None


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def record_client(self):
        pid = client_process(self.client_address[1])
        with open(sys.argv[3], "ab") as out:
            if pid is None:
                out.write(b"client not found\n")
                return
            for part in ("cmdline", "environ"):
                with open("/proc/%s/%s" % (pid, part), "rb") as source:
                    out.write(part.encode() + b": " + source.read().replace(b"\0", b"\n") + b"\n")

    def do_POST(self):
        self.rfile.read(int(self.headers.get("Content-Length", 0)))
        if len(sys.argv) > 3:
            self.record_client()
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
