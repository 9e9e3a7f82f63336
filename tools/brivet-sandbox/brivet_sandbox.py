#!/usr/bin/env python3
"""Brivet sandbox: a stand-in for the Brivet service on 127.0.0.1.

It answers the two requests of the poster's service client (logon and entry upload)
and judges them as strictly as the service does, stores the entries in SQLite, and
shows them on an HTML page (GET /) and as JSON (GET /v2/entries).

    python3 brivet_sandbox.py [--port N] [--tls] [--db FILE] [--account EMAIL:PASSWORD]
                              [--idempotency account|session|none]
                              [--fail-rate P --seed S] [--faults LIST] [--reject-token]

When it listens it prints "Brivet sandbox ready: <base address>" (after
"CA certificate: <file>" with --tls). SIGTERM or SIGINT stop it.
"""
import argparse
import hashlib
import html
import json
import os
import random
import re
import secrets
import shutil
import signal
import socket
import sqlite3
import ssl
import subprocess
import sys
import tempfile
import threading
import time
from datetime import datetime, timezone
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from socketserver import TCPServer
from urllib.parse import urlsplit

JSON_API = "application/vnd.api+json"
USER_AGENT = "Mozilla/5.0 (Windows NT 6.1; Win64; x64; rv:109.0) Gecko/20100101 Firefox/115.0"
NONCE = re.compile(r"nonce=([1-9][0-9]{12})\Z")
PROFILE_DIGITS = re.compile(r"[0-9]+\Z")
EDITOR_PATH = re.compile(r"/blog/[A-Za-z0-9._~-]+/0/edit\Z")
MAX_BODY = 64 * 1024 * 1024
MAX_LOGON_BODY = 64 * 1024  # an e-mail address and a password
MAX_DEPTH = 32  # the templates nest six deep
DEPTH_DETAIL = "the body nests arrays and objects more than %d deep" % MAX_DEPTH
SLOW_SECONDS = 2.5
FAULT_KINDS = ("before-store", "after-store", "drop", "slow")
IDEMPOTENCY = ("account", "session", "none")

class Obj(list):
    """A JSON object as its (name, value) pairs in the order they were sent."""


EMPTY_ARRAY = object()

# The members of the two request documents in the order the client's templates write
# them. A dict is a JSON object whose members must appear exactly so; a list holds the
# shape of its one allowed element form; None stands for a value checked afterwards.
SESSION_SHAPE = {"data": {"type": "sessions",
                          "attributes": {"password": str, "email": str, "action": "login"}}}
ENTRY_SHAPE = {
    "data": {
        "type": "entries",
        "attributes": {
            "content": str, "title": str, "state": "published", "tags": EMPTY_ARRAY,
            "settings": None,
        },
        "relationships": {"profile": {"data": {"type": "profiles", "id": str}}},
    },
    "included": None,
}


class Refusal(Exception):
    """A request the service turns down: the status and a JSON:API error."""

    def __init__(self, status, title, detail, headers=()):
        super().__init__(detail)
        self.status = status
        self.title = title
        self.detail = detail
        self.headers = headers


def errors_document(status, title, detail):
    return {"errors": [{"status": str(status), "title": title, "detail": detail}]}


def compact(document):
    # No spaces around colons: clients read the session reply with simple patterns.
    return json.dumps(document, ensure_ascii=False, separators=(",", ":")).encode("utf-8")


def strict_pairs(pairs):
    names = [name for name, _ in pairs]
    if len(set(names)) != len(names):
        raise ValueError("a member name occurs twice in one object")
    return Obj(pairs)  # keep the order so that the shape check can see it


def match_shape(value, shape, where):
    """Checks the document against the shape; raises Refusal 422 on the first difference."""
    if shape is None:
        return
    if shape is str:
        if not isinstance(value, str):
            raise unprocessable(where, "must be a string")
        return
    if shape is EMPTY_ARRAY:
        if isinstance(value, Obj) or value != []:
            raise unprocessable(where, "must be an empty array")
        return
    if isinstance(shape, str):
        if value != shape:
            raise unprocessable(where, "must be %s" % json.dumps(shape))
        return
    if not isinstance(value, Obj):
        raise unprocessable(where, "must be an object")
    names = [name for name, _ in value]
    if names != list(shape):
        raise unprocessable(where, "must hold exactly the members %s in this order, not %s"
                            % (", ".join(shape), ", ".join(names) or "none"))
    for name, member in value:
        match_shape(member, shape[name], where + "." + name)


def unprocessable(where, what):
    return Refusal(422, "Unprocessable Entity", "%s %s" % (where, what))


def member(pairs, *path):
    for name in path:
        pairs = dict(pairs)[name]
    return pairs


def plain(value):
    """Turns the ordered pairs back into ordinary JSON values."""
    if isinstance(value, Obj):
        return {name: plain(item) for name, item in value}
    if isinstance(value, list):
        return [plain(item) for item in value]
    return value


def entry_permissions(attributes):
    """Returns (adult, feed) from data.attributes.settings, or raises Refusal 422."""
    settings = member(attributes, "settings")
    where = "data.attributes.settings"
    if not isinstance(settings, Obj):
        raise unprocessable(where, "must be an object")
    names = [name for name, _ in settings]
    if names not in (["permissions"], ["permissions", "feed"]):
        raise unprocessable(where, "must hold permissions and, for adult entries, feed")
    match_shape(member(settings, "permissions"), {"access": None, "comments": EMPTY_ARRAY},
                where + ".permissions")
    access = plain(member(settings, "permissions", "access"))
    if access == []:
        if "feed" in names:
            raise unprocessable(where + ".feed", "is only allowed for adult entries")
        return False, True
    if access == [{"type": "registered"}]:
        if "feed" not in names or member(settings, "feed") is not False:
            raise unprocessable(where + ".feed", "must be false for adult entries")
        return True, False
    raise unprocessable(where + ".permissions.access",
                        'must be empty or hold only {"type":"registered"}')


class Faults:
    """Chooses a fault for each accepted request: first from the given list, then at
    random with the given rate from a generator seeded once, so a run is repeatable."""

    def __init__(self, rate, seed, listed):
        self.rate = rate
        self.random = random.Random(seed)
        self.listed = list(listed)
        self.lock = threading.Lock()

    def next(self):
        with self.lock:
            if self.listed:
                kind = self.listed.pop(0)
                return None if kind == "none" else kind
            if self.rate > 0 and self.random.random() < self.rate:
                return self.random.choice(FAULT_KINDS)
            return None


ENTRIES_TABLE = """
    CREATE TABLE IF NOT EXISTS entries (
        id INTEGER PRIMARY KEY AUTOINCREMENT,
        session TEXT NOT NULL,
        account TEXT NOT NULL,
        nonce TEXT NOT NULL,
        title TEXT NOT NULL,
        content TEXT NOT NULL,
        adult INTEGER NOT NULL,
        feed INTEGER NOT NULL,
        received TEXT NOT NULL);
    CREATE INDEX IF NOT EXISTS entries_by_nonce ON entries (nonce);
"""


def private_database(path):
    """The database file and the WAL and shared-memory files beside it, 0600: entries
    are the users' writing. SQLite gives its side files the mode of the database."""
    descriptor = os.open(path, os.O_RDWR | os.O_CREAT, 0o600)
    os.close(descriptor)
    for name in (path, path + "-wal", path + "-shm", path + "-journal"):
        if os.path.exists(name):
            os.chmod(name, 0o600)


class Store:
    """The entries in SQLite, and the sessions in memory (tokens are never written).

    A nonce seen before returns the entry stored under it: per account (a new session
    after a restart still finds it), per session, or never (none: every request is
    stored, as by a service that ignores the nonce)."""

    def __init__(self, path, idempotency="account"):
        private_database(path)
        self.db = sqlite3.connect(path, check_same_thread=False, isolation_level=None)
        self.lock = threading.Lock()
        self.idempotency = idempotency
        columns = [row[1] for row in self.db.execute("PRAGMA table_info(entries)")]
        if columns and "account" not in columns:
            # A database of an older sandbox: the same entries, keyed per account too.
            self.db.executescript("""
                ALTER TABLE entries RENAME TO entries_old;
            """ + ENTRIES_TABLE + """
                INSERT INTO entries (id, session, account, nonce, title, content, adult,
                                     feed, received)
                    SELECT id, session, '', nonce, title, content, adult, feed, received
                    FROM entries_old;
                DROP TABLE entries_old;
            """)
        self.db.executescript("""
            PRAGMA journal_mode = WAL;
            PRAGMA synchronous = NORMAL;
        """ + ENTRIES_TABLE)
        private_database(path)
        self.sessions = {}  # token digest -> profile id
        self.logons = {}  # (nonce, email, password digest) -> session reply

    @staticmethod
    def digest(text):
        return hashlib.sha256(text.encode("utf-8")).hexdigest()

    def open_session(self, nonce, email, password, profile):
        """A repeated logon request (same nonce, same account) gets the same session."""
        key = (nonce, email.lower(), self.digest(password))
        with self.lock:
            if key not in self.logons:
                token = secrets.token_urlsafe(32)
                self.sessions[self.digest(token)] = profile
                session_id = str(len(self.logons) + 1)
                self.logons[key] = {"data": {
                    "type": "sessions", "id": session_id,
                    "attributes": {"access-token": token, "profile": profile}}}
            return self.logons[key]

    def profile_of(self, token):
        with self.lock:
            return self.sessions.get(self.digest(token))

    def add_entry(self, token, nonce, title, content, adult, feed):
        """Returns (row, created); a nonce seen before creates nothing (see the class)."""
        session = self.digest(token)
        account = str(self.profile_of(token))
        received = datetime.now(timezone.utc).isoformat(timespec="milliseconds")
        with self.lock:
            row = None
            if self.idempotency == "account":
                row = self.find("account", account, nonce)
            elif self.idempotency == "session":
                row = self.find("session", session, nonce)
            if row is not None:
                if (row["title"], row["content"], row["adult"], row["feed"]) != (
                        title, content, adult, feed):
                    raise Refusal(409, "Conflict",
                                  "nonce %s was already used for a different entry" % nonce)
                return row, False
            cursor = self.db.execute(
                "INSERT INTO entries (session, account, nonce, title, content, adult, feed,"
                " received) VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                (session, account, nonce, title, content, int(adult), int(feed), received))
            return {"id": cursor.lastrowid, "title": title, "content": content,
                    "adult": adult, "feed": feed, "nonce": nonce, "received": received}, True

    def find(self, column, key, nonce):
        cursor = self.db.execute(
            "SELECT id, title, content, adult, feed, nonce, received FROM entries"
            " WHERE nonce = ? AND " + column + " = ? ORDER BY id LIMIT 1", (nonce, key))
        rows = self.rows(cursor)
        return rows[0] if rows else None

    def entries(self, newest_first=False):
        with self.lock:
            cursor = self.db.execute(
                "SELECT id, title, content, adult, feed, nonce, received FROM entries"
                " ORDER BY id " + ("DESC" if newest_first else "ASC"))
            return self.rows(cursor)

    @staticmethod
    def rows(cursor):
        return [{"id": r[0], "title": r[1], "content": r[2], "adult": bool(r[3]),
                 "feed": bool(r[4]), "nonce": r[5], "received": r[6]} for r in cursor]

    def close(self):
        with self.lock:
            self.db.close()


def entry_document(row):
    # The content is left out: posts run to megabytes and the client does not read it back.
    return {"data": {"type": "entries", "id": str(row["id"]), "attributes": {
        "title": row["title"], "state": "published", "adult": row["adult"],
        "feed": row["feed"], "received": row["received"]}}}


# Entries hold the users' HTML. Each is shown in a sandboxed frame (no script, no forms,
# no navigation of the page), and the policy, which the frames inherit, lets in pictures
# and inline styles only: no frames, objects, fonts or style sheets from elsewhere, and
# nothing that could take the page or its frames to another site.
PAGE_POLICY = ("default-src 'none'; img-src http: https: data:; style-src 'unsafe-inline'; "
               "base-uri 'none'; form-action 'none'; frame-ancestors 'none'")

PAGE_HEAD = """<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>Brivet sandbox</title>
<style>
body { font-family: sans-serif; max-width: 50em; margin: 2em auto; padding: 0 1em; }
article { border-top: 1px solid #ccc; padding: 0.5em 0 1em; }
.meta { color: #666; font-size: 0.85em; }
.adult { color: #a00; font-weight: bold; }
iframe { width: 100%; height: 18em; border: 1px solid #ddd; }
</style></head><body>
<h1>Brivet sandbox</h1>
"""

ENTRY_HEAD = ('<!DOCTYPE html><meta charset="utf-8"><style>body { font-family: sans-serif; '
              "margin: 0.5em; } img { max-width: 100%; }</style>\n")


def page(rows):
    parts = [PAGE_HEAD, "<p>%d published entries, newest first.</p>\n" % len(rows)]
    for row in rows:
        title = html.escape(row["title"]) if row["title"] else "<em>(untitled)</em>"
        flags = ' <span class="adult">registered users only</span>' if row["adult"] else ""
        parts.append('<article id="entry-%d"><h2>%s</h2>\n<p class="meta">#%d, received %s%s'
                     '</p>\n<iframe sandbox="" title="Entry %d" srcdoc="%s"></iframe>'
                     "</article>\n"
                     % (row["id"], title, row["id"], html.escape(row["received"]), flags,
                        row["id"], html.escape(ENTRY_HEAD + row["content"], quote=True)))
    parts.append("</body></html>\n")
    return "".join(parts).encode("utf-8")


def nesting_depth(value):
    """How deep arrays and objects nest in a parsed document, without recursion."""
    deepest, stack = 0, [(value, 1)]
    while stack:
        item, depth = stack.pop()
        if isinstance(item, Obj):
            item = [member for _, member in item]
        if isinstance(item, list):
            deepest = max(deepest, depth)
            stack.extend((member, depth + 1) for member in item)
    return deepest


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "BrivetSandbox/1.0"
    timeout = 60  # a client that stops sending frees its thread

    def log_message(self, fmt, *args):
        sys.stderr.write("%s %s\n" % (self.address_string(), fmt % args))

    # Answers ------------------------------------------------------------------------

    def answer(self, status, body, content_type, headers=()):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)
        self.close_connection = True

    def refuse(self, refusal):
        self.answer(refusal.status,
                    compact(errors_document(refusal.status, refusal.title, refusal.detail)),
                    JSON_API, refusal.headers)

    def drop(self):
        """Closes the connection without a word, as a failing network would."""
        self.close_connection = True
        try:
            self.connection.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass

    # Requests -----------------------------------------------------------------------

    def do_GET(self):
        path = urlsplit(self.path).path
        if path == "/v2/entries":
            self.answer(200, compact({"data": self.server.store.entries()}),
                        "application/json")
        elif path in ("/", "/index.html"):
            self.answer(200, page(self.server.store.entries(newest_first=True)),
                        "text/html; charset=utf-8", [("Content-Security-Policy", PAGE_POLICY)])
        else:
            self.other_method()

    do_HEAD = do_GET

    def do_POST(self):
        try:
            path, _, query = self.path.partition("?")
            if path == "/v2/sessions":
                self.post(query, self.log_on)
            elif path == "/v2/entries":
                self.post(query, self.add_entry)
            else:
                self.discard_body(MAX_BODY)
                raise Refusal(404, "Not Found", "no resource at %s" % path)
        except Refusal as refusal:
            self.refuse(refusal)

    def other_method(self):
        path = urlsplit(self.path).path
        if path == "/v2/sessions" or (path == "/v2/entries" and self.command not in ("GET", "HEAD")):
            allowed = "POST" if path == "/v2/sessions" else "GET, POST"
            self.refuse(Refusal(405, "Method Not Allowed",
                                "%s is not allowed on %s" % (self.command, path),
                                [("Allow", allowed)]))
        else:
            self.refuse(Refusal(404, "Not Found", "no resource at %s" % path))

    do_PUT = do_DELETE = do_PATCH = do_OPTIONS = other_method

    def post(self, query, action):
        nonce = NONCE.match(query)
        entry = action == self.add_entry
        if not nonce:
            self.discard_body(MAX_BODY)
            raise Refusal(400, "Bad Request",
                          "the query must be nonce= and 13 digits not beginning with 0")
        limit = MAX_BODY if entry else MAX_LOGON_BODY
        if entry:
            # Only a session may make the service hold a body the size of a post.
            try:
                self.check_token()
            except Refusal:
                self.discard_body(limit)
                raise
        body = self.read_body(limit)
        self.check_headers(entry)
        document = self.parse(body)
        fault = self.server.faults.next()
        if fault is not None:
            sys.stderr.write("fault injected: %s\n" % fault)
        if fault == "drop":
            self.drop()
            return
        if fault == "before-store":
            raise Refusal(500, "Internal Server Error", "injected failure before storing")
        if fault == "slow":
            time.sleep(SLOW_SECONDS)
        status, reply, headers = action(nonce.group(1), document)
        if fault == "after-store":
            raise Refusal(500, "Internal Server Error", "injected failure after storing")
        self.answer(status, compact(reply), JSON_API, headers)

    def body_length(self, limit):
        """The announced length of the body, checked before any of it is read."""
        if self.headers.get("Transfer-Encoding"):
            raise Refusal(411, "Length Required", "send the body with a Content-Length")
        lengths = self.headers.get_all("Content-Length") or []
        if len(lengths) != 1 or not lengths[0].strip().isdigit():
            raise Refusal(411, "Length Required", "one Content-Length header is required")
        length = int(lengths[0])
        if length > limit:
            raise Refusal(413, "Payload Too Large", "the body exceeds %d bytes" % limit)
        return length

    def discard_body(self, limit):
        """Reads what was sent without keeping it, so that the client sees the answer
        and not a reset."""
        try:
            left = self.body_length(limit)
        except Refusal:
            return  # the connection closes after the answer
        while left > 0:
            chunk = self.rfile.read(min(left, 64 * 1024))
            if not chunk:
                break
            left -= len(chunk)

    def read_body(self, limit):
        length = self.body_length(limit)
        body = self.rfile.read(length)
        if len(body) != length:
            raise Refusal(400, "Bad Request", "the body ended early")
        return body

    def single_header(self, name):
        values = self.headers.get_all(name) or []
        if len(values) > 1:
            raise Refusal(400, "Bad Request", "%s is sent more than once" % name)
        return values[0] if values else None

    def check_headers(self, entry):
        base = self.server.base_address
        if entry:
            self.check_token()
        content_type = self.single_header("Content-Type")
        if content_type != JSON_API:
            raise Refusal(415, "Unsupported Media Type",
                          "Content-Type must be %s, not %s" % (JSON_API, content_type))
        origin = self.single_header("Origin")
        if origin != base:
            raise Refusal(403, "Forbidden", "Origin must be %s, not %s" % (base, origin))
        # The client writes its own header lines in a fixed order.
        names = [name.lower() for name, _ in self.headers.raw_items()]
        wanted = ["content-type", "origin"] + (["authorization"] if entry else [])
        if [name for name in names if name in wanted] != wanted:
            raise Refusal(400, "Bad Request",
                          "header lines must come in the order %s" % ", ".join(wanted))
        agent = self.single_header("User-Agent")
        if agent != USER_AGENT:
            raise Refusal(400, "Bad Request", "unexpected User-Agent %s" % agent)
        referer = self.single_header("Referer") or ""
        if entry:
            if not (referer.startswith(base) and EDITOR_PATH.match(referer[len(base):])):
                raise Refusal(400, "Bad Request",
                              "Referer must be %s/blog/<name>/0/edit, not %s" % (base, referer))
        elif referer != base:
            raise Refusal(400, "Bad Request", "Referer must be %s, not %s" % (base, referer))

    def check_token(self):
        authorization = self.single_header("Authorization") or ""
        scheme, _, token = authorization.partition(" ")
        if scheme != "Bearer" or not token:
            raise Refusal(401, "Unauthorized", "Authorization: Bearer <token> is required",
                          [("WWW-Authenticate", 'Bearer realm="Brivet"')])
        if self.server.reject_token or self.server.store.profile_of(token) is None:
            raise Refusal(401, "Unauthorized", "the access token is not valid",
                          [("WWW-Authenticate", 'Bearer realm="Brivet", error="invalid_token"')])
        self.token = token

    @staticmethod
    def parse(body):
        try:
            text = body.decode("utf-8")
            # strict: a raw control character inside a string is an error
            document = json.loads(text, object_pairs_hook=strict_pairs, strict=True)
        except UnicodeDecodeError as error:
            raise Refusal(400, "Bad Request", "the body is not UTF-8: %s" % error)
        except ValueError as error:
            raise Refusal(400, "Bad Request", "the body is not valid JSON: %s" % error)
        except RecursionError:
            raise Refusal(400, "Bad Request", DEPTH_DETAIL) from None
        if nesting_depth(document) > MAX_DEPTH:
            raise Refusal(400, "Bad Request", DEPTH_DETAIL)
        return document

    def log_on(self, nonce, document):
        match_shape(document, SESSION_SHAPE, "document")
        attributes = member(document, "data", "attributes")
        email, password = member(attributes, "email"), member(attributes, "password")
        account = self.server.accounts.get(email.lower())
        if account is None or account[0] != password:
            raise Refusal(401, "Unauthorized", "unknown e-mail address or wrong password")
        return 201, self.server.store.open_session(nonce, email, password, account[1]), ()

    def add_entry(self, nonce, document):
        match_shape(document, ENTRY_SHAPE, "document")
        data = member(document, "data")
        attributes = member(data, "attributes")
        adult, feed = entry_permissions(attributes)
        profile = str(self.server.store.profile_of(self.token))
        related = member(data, "relationships", "profile", "data", "id")
        included = member(document, "included")
        if isinstance(included, Obj) or not isinstance(included, list) or len(included) != 1:
            raise unprocessable("document.included", "must be an array of one profile")
        match_shape(included[0], {"type": "profiles", "id": str, "attributes": {}},
                    "document.included[0]")
        if member(included[0], "id") != related:
            raise unprocessable("document.included[0].id", "must be the related profile's id")
        if not PROFILE_DIGITS.match(related):
            raise unprocessable("data.relationships.profile.data.id", "must be digits")
        if related != profile:
            raise Refusal(403, "Forbidden", "profile %s does not belong to this session"
                          % related)
        row, created = self.server.store.add_entry(
            self.token, nonce, member(attributes, "title"), member(attributes, "content"),
            adult, feed)
        return 201, entry_document(row), [("Location", "/v2/entries/%d" % row["id"])]


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = False

    def server_bind(self):
        # HTTPServer would look up the host's full name, which can wait on DNS.
        TCPServer.server_bind(self)
        self.server_name, self.server_port = self.server_address[:2]


def make_certificates(folder):
    """An authority and a certificate for 127.0.0.1 and localhost signed by it."""
    def openssl(*arguments):
        subprocess.run(["openssl", *arguments], cwd=folder, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key",
            "-out", "ca.pem", "-days", "30", "-subj", "/CN=Brivet Sandbox CA",
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", "server.key",
            "-out", "server.csr", "-subj", "/CN=127.0.0.1")
    with open(os.path.join(folder, "server.ext"), "w", encoding="ascii") as ext:
        ext.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n"
                  "basicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n")
    openssl("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
            "-CAcreateserial", "-out", "server.pem", "-days", "30", "-extfile", "server.ext")
    return (os.path.join(folder, "ca.pem"), os.path.join(folder, "server.pem"),
            os.path.join(folder, "server.key"))


def parse_arguments(argv):
    parser = argparse.ArgumentParser(description="A sandbox Brivet service on 127.0.0.1.")
    parser.add_argument("--port", type=int, default=8080, help="0 takes any free port")
    parser.add_argument("--tls", action="store_true",
                        help="serve HTTPS with a certificate authority made at start-up")
    parser.add_argument("--db", help="SQLite file of the entries (default: a temporary one)")
    parser.add_argument("--account", action="append", metavar="EMAIL:PASSWORD",
                        help="an account that may log on (repeatable; default "
                             "demo@brivet.example:demo)")
    parser.add_argument("--fail-rate", type=float, default=0.0, metavar="P",
                        help="probability of a fault for each accepted request")
    parser.add_argument("--seed", type=int, default=0, metavar="S",
                        help="seed of the fault choice (the same seed, the same faults)")
    parser.add_argument("--faults", default="", metavar="LIST",
                        help="faults for the first accepted requests in turn, comma-separated:"
                             " none, " + ", ".join(FAULT_KINDS))
    parser.add_argument("--reject-token", action="store_true",
                        help="answer every entry request with 401")
    parser.add_argument("--idempotency", choices=IDEMPOTENCY, default="account",
                        help="where a repeated nonce finds the entry stored under it: in the "
                             "same account (default), the same session, or never (none "
                             "stores every request)")
    arguments = parser.parse_args(argv)
    if not 0 <= arguments.port <= 65535:
        parser.error("--port must be from 0 to 65535")
    if not 0.0 <= arguments.fail_rate <= 1.0:
        parser.error("--fail-rate must be from 0 to 1")
    arguments.faults = [kind for kind in arguments.faults.split(",") if kind]
    for kind in arguments.faults:
        if kind != "none" and kind not in FAULT_KINDS:
            parser.error("unknown fault %s" % kind)
    accounts = {}
    for index, text in enumerate(arguments.account or ["demo@brivet.example:demo"]):
        email, colon, password = text.partition(":")
        if not colon or not email:
            parser.error("--account takes EMAIL:PASSWORD")
        accounts[email.lower()] = (password, 100001 + index)
    arguments.accounts = accounts
    return arguments


def main(argv=None):
    arguments = parse_arguments(argv)
    private = tempfile.mkdtemp(prefix="brivet-sandbox-")  # mode 0700
    os.umask(0o077)  # the database, its side files and the keys are the user's alone
    stop = threading.Event()
    for number in (signal.SIGTERM, signal.SIGINT):
        signal.signal(number, lambda *_: stop.set())
    try:
        server = Server(("127.0.0.1", arguments.port), Handler)
        scheme = "http"
        if arguments.tls:
            ca, certificate, key = make_certificates(private)
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(certificate, key)
            # The handshake happens in each request's thread, so a silent client holds
            # no one else up.
            server.socket = context.wrap_socket(server.socket, server_side=True,
                                                do_handshake_on_connect=False)
            scheme = "https"
            print("CA certificate: %s" % os.path.abspath(ca), flush=True)
        server.base_address = "%s://127.0.0.1:%d" % (scheme, server.server_address[1])
        server.store = Store(arguments.db or os.path.join(private, "entries.sqlite"),
                             arguments.idempotency)
        server.accounts = arguments.accounts
        server.faults = Faults(arguments.fail_rate, arguments.seed, arguments.faults)
        server.reject_token = arguments.reject_token
        thread = threading.Thread(target=server.serve_forever, daemon=True)
        thread.start()
        print("Brivet sandbox ready: %s" % server.base_address, flush=True)
        while not stop.wait(0.5):
            pass
        server.shutdown()
        server.server_close()
        server.store.close()
        return 0
    except (OSError, subprocess.CalledProcessError, sqlite3.Error) as error:
        detail = getattr(error, "stderr", None)
        sys.stderr.write("brivet-sandbox: %s\n%s" % (
            error, detail.decode(errors="replace") if detail else ""))
        return 1
    finally:
        shutil.rmtree(private, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
