#!/usr/bin/env python3
"""The sandbox Brivet service judged from outside: real HTTP(S) on 127.0.0.1 through
urllib and wget, each test with its own server process and database."""
import json
import os
import re
import signal
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.error
import urllib.request
import http.client

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools",
                      "brivet-sandbox", "brivet_sandbox.py")
USER_AGENT = "Mozilla/5.0 (Windows NT 6.1; Win64; x64; rv:109.0) Gecko/20100101 Firefox/115.0"
JSON_API = "application/vnd.api+json"
LOGON = ('{"data":{"type":"sessions","attributes":{"password":"%s","email":"%s",'
         '"action":"login"}}}')
ENTRY = ('{"data":{"type":"entries","attributes":{"content":"%POST_BODY%",'
         '"title":"%POST_TITLE%","state":"published","tags":[],"settings":{"permissions":'
         '{"access":[%ACCESS_TYPE%],"comments":[]}%COMMON_FEED%}},"relationships":{"profile":'
         '{"data":{"type":"profiles","id":"%PROFILE_ID%"}}}},"included":[{"type":"profiles",'
         '"id":"%PROFILE_ID%","attributes":{}}]}')


def entry_body(profile, title="Title", content="<p>Body</p>", adult=False):
    """The entry as the client fills its template (title and content already escaped)."""
    return (ENTRY.replace("%POST_BODY%", content).replace("%POST_TITLE%", title)
            .replace("%PROFILE_ID%", str(profile))
            .replace("%ACCESS_TYPE%", '{"type":"registered"}' if adult else "")
            .replace("%COMMON_FEED%", ',"feed":false' if adult else ""))


class Sandbox:
    def __init__(self, *arguments, db=None):
        self.folder = tempfile.TemporaryDirectory()
        self.db = db or os.path.join(self.folder.name, "entries.sqlite")
        self.log = open(os.path.join(self.folder.name, "log"), "w+b")
        self.process = subprocess.Popen(
            [sys.executable, SCRIPT, "--port", "0", "--db", self.db, *arguments],
            stdout=subprocess.PIPE, stderr=self.log, text=True)
        self.ca = None
        line = self.process.stdout.readline()
        if line.startswith("CA certificate: "):
            self.ca = line[len("CA certificate: "):].strip()
            line = self.process.stdout.readline()
        match = re.fullmatch(r"Brivet sandbox ready: (https?://127\.0\.0\.1:\d+)\n", line)
        if not match:
            self.stop()
            raise AssertionError("no ready line but %r: %s" % (line, self.log_text()))
        self.base = match.group(1)
        self.nonce = 1000000000000

    def log_text(self):
        self.log.seek(0)
        return self.log.read().decode(errors="replace")

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            self.process.wait(30)
        self.process.stdout.close()
        self.log.close()
        self.folder.cleanup()
        return self.process.returncode

    def next_nonce(self):
        self.nonce += 1
        return str(self.nonce)

    def request(self, method, path, body=None, headers=()):
        """Returns (status, headers, body bytes); HTTP errors are answers too."""
        request = urllib.request.Request(self.base + path, data=body, method=method)
        for name, value in headers:
            request.add_header(name, value)
        context = None
        if self.ca:
            import ssl
            context = ssl.create_default_context(cafile=self.ca)
        try:
            with urllib.request.urlopen(request, timeout=60, context=context) as reply:
                return reply.status, reply.headers, reply.read()
        except urllib.error.HTTPError as error:
            with error:
                return error.code, error.headers, error.read()

    def headers(self, token=None, referer=None):
        headers = [("Content-Type", JSON_API), ("Origin", self.base)]
        if token is not None:
            headers.append(("Authorization", "Bearer " + token))
        headers += [("User-Agent", USER_AGENT),
                    ("Referer", referer or (self.base + "/blog/demo/0/edit" if token is not None
                                            else self.base))]
        return headers

    def log_on(self, email="demo@brivet.example", password="demo", nonce=None, headers=None):
        body = (LOGON % (password, email)).encode()
        return self.request("POST", "/v2/sessions?nonce=" + (nonce or self.next_nonce()), body,
                            headers or self.headers())

    def session(self):
        status, _, body = self.log_on()
        assert status == 201, body
        attributes = json.loads(body)["data"]["attributes"]
        return attributes["access-token"], attributes["profile"]

    def post(self, token, body, nonce=None, headers=None):
        if isinstance(body, str):
            body = body.encode()
        return self.request("POST", "/v2/entries?nonce=" + (nonce or self.next_nonce()), body,
                            headers or self.headers(token))

    def entries(self):
        status, _, body = self.request("GET", "/v2/entries")
        assert status == 200
        return json.loads(body)["data"]


class SandboxTest(unittest.TestCase):
    arguments = ()

    def setUp(self):
        self.sandbox = Sandbox(*self.arguments)
        self.addCleanup(self.sandbox.stop)

    def assertRefused(self, answer, status, detail_part=""):
        code, headers, body = answer
        self.assertEqual(code, status, body)
        self.assertEqual(headers["Content-Type"], JSON_API)
        error = json.loads(body)["errors"][0]
        self.assertEqual(error["status"], str(status))
        self.assertIn(detail_part, error["detail"])


class Logon(SandboxTest):
    arguments = ("--account", "demo@brivet.example:demo",
                 "--account", "second@brivet.example:p\"ä\\ss")

    def test_session_reply_holds_token_and_profile_as_the_client_reads_them(self):
        status, headers, body = self.sandbox.log_on()
        self.assertEqual(status, 201)
        self.assertEqual(headers["Content-Type"], JSON_API)
        text = body.decode("utf-8")
        # The client's own patterns: the first match of each, ignoring case.
        token = re.search(r'"access-token":"(.*?)"', text, re.I).group(1)
        profile = re.search(r'"profile":(\d+)', text, re.I).group(1)
        self.assertEqual(json.loads(text)["data"]["attributes"],
                         {"access-token": token, "profile": int(profile)})
        self.assertEqual(text.lower().count('"profile"'), 1)
        self.assertRegex(token, r"\A[A-Za-z0-9_-]{20,}\Z")

    def test_escaped_non_ascii_password_and_retried_nonce(self):
        status, _, body = self.sandbox.log_on("Second@Brivet.example", 'p\\"ä\\\\ss', nonce="4000000000001")
        self.assertEqual(status, 201, body)
        # Retry of the same request: the same session again.
        again = self.sandbox.log_on("Second@Brivet.example", 'p\\"ä\\\\ss', nonce="4000000000001")
        self.assertEqual(again[2], body)
        self.assertEqual(json.loads(body)["data"]["attributes"]["profile"], 100002)

    def test_wrong_accounts_and_malformed_requests_are_refused(self):
        s = self.sandbox
        good = (LOGON % ("demo", "demo@brivet.example")).encode()
        shuffled = [h for h in s.headers() if h[0] == "Origin"] + \
                   [h for h in s.headers() if h[0] != "Origin"]
        cases = [
            ("wrong password", s.log_on(password="Demo"), 401, "wrong password"),
            ("unknown account", s.log_on(email="nobody@brivet.example"), 401, ""),
            ("12-digit nonce", s.log_on(nonce="123456789012"), 400, "nonce"),
            ("leading zero", s.log_on(nonce="0123456789012"), 400, "nonce"),
            ("extra query", s.log_on(nonce="1234567890123&x=1"), 400, "nonce"),
            ("no query", s.request("POST", "/v2/sessions", good, s.headers()), 400, "nonce"),
            ("form type", s.log_on(headers=[("Content-Type", "application/json")]
                                   + s.headers()[1:]), 415, ""),
            ("charset", s.log_on(headers=[("Content-Type", JSON_API + "; charset=utf-8")]
                                 + s.headers()[1:]), 415, ""),
            ("no origin", s.log_on(headers=[h for h in s.headers() if h[0] != "Origin"]),
             403, "Origin"),
            ("localhost origin", s.log_on(headers=[
                (n, v.replace("127.0.0.1", "localhost") if n == "Origin" else v)
                for n, v in s.headers()]), 403, "Origin"),
            ("slash origin", s.log_on(headers=[
                (n, v + "/" if n == "Origin" else v) for n, v in s.headers()]), 403, ""),
            ("header order", s.log_on(headers=shuffled), 400, "order"),
            ("user agent", s.log_on(headers=[
                (n, "wget" if n == "User-Agent" else v) for n, v in s.headers()]), 400, ""),
            ("referer", s.log_on(headers=[
                (n, v + "/x" if n == "Referer" else v) for n, v in s.headers()]), 400, ""),
            ("raw tab", s.log_on(password="de\tmo"), 400, "JSON"),
            ("raw LF", s.log_on(password="de\nmo"), 400, "JSON"),
            ("bad escape", s.log_on(password="de\\mo"), 400, "JSON"),
            ("latin-1", s.request("POST", "/v2/sessions?nonce=1234567890123",
                                  (LOGON % ("dä", "x")).encode("latin-1"), s.headers()),
             400, "UTF-8"),
            ("twice", s.request("POST", "/v2/sessions?nonce=1234567890123",
                                good.replace(b'"action"', b'"email":"a","action"'),
                                s.headers()), 400, "twice"),
            ("order", s.request("POST", "/v2/sessions?nonce=1234567890123",
                                b'{"data":{"attributes":{"password":"demo","email":'
                                b'"demo@brivet.example","action":"login"},"type":"sessions"}}',
                                s.headers()), 422, "order"),
            ("action", s.request("POST", "/v2/sessions?nonce=1234567890123",
                                 good.replace(b"login", b"logout"), s.headers()), 422, "action"),
            ("number", s.request("POST", "/v2/sessions?nonce=1234567890123",
                                 good.replace(b'"demo"', b"1", 1), s.headers()), 422, "string"),
            ("spaced JSON is still JSON", s.request(
                "POST", "/v2/sessions?nonce=1234567890124",
                good.replace(b":", b": "), s.headers()), 201, None),
            ("GET", s.request("GET", "/v2/sessions"), 405, "GET"),
            ("unknown path", s.request("POST", "/v2/session?nonce=1234567890123", good,
                                       s.headers()), 404, ""),
        ]
        for name, answer, status, detail in cases:
            with self.subTest(name):
                if detail is None:
                    self.assertEqual(answer[0], status, answer[2])
                else:
                    self.assertRefused(answer, status, detail)
        self.assertEqual(self.sandbox.entries(), [])


class Entries(SandboxTest):
    def test_adult_and_other_entries_are_stored_with_their_permissions_in_order(self):
        token, profile = self.sandbox.session()
        adult = self.sandbox.post(token, entry_body(profile, "Adult", "<b>a</b>", adult=True))
        other = self.sandbox.post(token, entry_body(profile, "", "plain"))
        for answer in (adult, other):
            self.assertEqual(answer[0], 201, answer[2])
            self.assertEqual(answer[1]["Content-Type"], JSON_API)
        entries = self.sandbox.entries()
        self.assertEqual([(e["id"], e["title"], e["content"], e["adult"], e["feed"])
                          for e in entries],
                         [(1, "Adult", "<b>a</b>", True, False), (2, "", "plain", False, True)])
        self.assertEqual(json.loads(adult[2])["data"]["id"], "1")
        for entry in entries:
            self.assertRegex(entry["nonce"], r"\A\d{13}\Z")
            self.assertRegex(entry["received"], r"\A\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d")

    def test_escapes_arrive_decoded(self):
        token, profile = self.sandbox.session()
        status, _, body = self.sandbox.post(token, entry_body(
            profile, 'a\\tb\\"c\\\\d\\r\\n\\u001fé/', "Привет<br />\\nмир"))
        self.assertEqual(status, 201, body)
        entry = self.sandbox.entries()[0]
        self.assertEqual(entry["title"], 'a\tb"c\\d\r\n\x1fé/')
        self.assertEqual(entry["content"], "Привет<br />\nмир")

    def test_malformed_entries_are_refused_and_nothing_is_stored(self):
        s = self.sandbox
        token, profile = s.session()
        good = entry_body(profile)
        adult = entry_body(profile, adult=True)
        cases = [
            ("no token", s.post(None, good, headers=[h for h in s.headers(token)
                                                     if h[0] != "Authorization"]), 401, ""),
            ("unknown token", s.post("x" + token, good), 401, "not valid"),
            ("basic", s.post(token, good, headers=[
                (n, "Basic " + token if n == "Authorization" else v)
                for n, v in s.headers(token)]), 401, ""),
            ("other profile", s.post(token, good.replace(str(profile), "100002")), 403,
             "profile"),
            ("included differs", s.post(token, good.replace(
                '"id":"%s","attributes"' % profile, '"id":"7","attributes"')), 422, "included"),
            ("profile as number", s.post(token, good.replace(
                '"id":"%s"' % profile, '"id":%s' % profile)), 422, ""),
            ("draft", s.post(token, good.replace("published", "draft")), 422, "state"),
            ("tags", s.post(token, good.replace('"tags":[]', '"tags":["x"]')), 422, "tags"),
            ("tags object", s.post(token, good.replace('"tags":[]', '"tags":{}')), 422, "tags"),
            ("adult without feed", s.post(token, adult.replace(',"feed":false', "")), 422,
             "feed"),
            ("feed true", s.post(token, adult.replace('"feed":false', '"feed":true')), 422,
             "feed"),
            ("feed on other", s.post(token, good.replace(
                '"comments":[]}', '"comments":[]},"feed":false')), 422, "feed"),
            ("other access", s.post(token, adult.replace("registered", "friends")), 422,
             "access"),
            ("comments", s.post(token, good.replace('"comments":[]', '"comments":[{}]')), 422,
             "comments"),
            ("raw tab", s.post(token, entry_body(profile, "a\tb")), 400, "JSON"),
            ("raw CR", s.post(token, entry_body(profile, content="a\rb")), 400, "JSON"),
            ("no content-type", s.post(token, good, headers=[
                h for h in s.headers(token) if h[0] != "Content-Type"]), 415, ""),
            ("auth first", s.post(token, good, headers=[s.headers(token)[2]]
                                  + s.headers(token)[:2] + s.headers(token)[3:]), 400, "order"),
            ("logon referer", s.post(token, good, headers=s.headers(token, s.base)), 400,
             "Referer"),
            ("bad nonce", s.post(token, good, nonce="12345"), 400, "nonce"),
            ("trailing data", s.post(token, good + "{}"), 400, "JSON"),
            ("too large", s.request("POST", "/v2/entries?nonce=1234567890123", None,
                                    s.headers(token) + [("Content-Length", "999999999")]),
             413, ""),
        ]
        for name, answer, status, detail in cases:
            with self.subTest(name):
                self.assertRefused(answer, status, detail)
        self.assertEqual(s.entries(), [])

    def test_a_repeated_nonce_returns_the_stored_entry_and_creates_nothing(self):
        token, profile = self.sandbox.session()
        first = self.sandbox.post(token, entry_body(profile, "Once"), nonce="5555555555555")
        again = self.sandbox.post(token, entry_body(profile, "Once"), nonce="5555555555555")
        self.assertEqual((first[0], again[0]), (201, 201))
        self.assertEqual(first[2], again[2])
        # A different entry under a nonce already used is a client fault, not a retry.
        self.assertRefused(self.sandbox.post(token, entry_body(profile, "Twice"),
                                             nonce="5555555555555"), 409, "nonce")
        # A new session of the same account (a client started again) gets it back too.
        other, _ = self.sandbox.session()
        later = self.sandbox.post(other, entry_body(profile, "Once"), nonce="5555555555555")
        self.assertEqual((later[0], later[2]), (201, first[2]))
        self.assertEqual([e["title"] for e in self.sandbox.entries()], ["Once"])
        document = json.loads(first[2])["data"]
        self.assertEqual(document["type"], "entries")
        self.assertTrue(document["id"])

    def test_page_lists_entries_newest_first_with_titles_escaped(self):
        token, profile = self.sandbox.session()
        self.sandbox.post(token, entry_body(profile, "<i>old</i> & \\\"q\\\"", "<p>first</p>"))
        self.sandbox.post(token, entry_body(profile, "new", "<p>second</p>", adult=True))
        status, headers, body = self.sandbox.request("GET", "/")
        self.assertEqual(status, 200)
        self.assertEqual(headers["Content-Type"], "text/html; charset=utf-8")
        self.assertTrue(headers["Content-Security-Policy"].startswith("default-src 'none';"))
        page = body.decode("utf-8")
        # Each body is the escaped document of a sandboxed frame, never part of the page.
        self.assertLess(page.index("&lt;p&gt;second&lt;/p&gt;"),
                        page.index("&lt;p&gt;first&lt;/p&gt;"))
        self.assertEqual(page.count('<iframe sandbox="" '), 2)
        self.assertNotIn("<p>first", page)
        self.assertIn("&lt;i&gt;old&lt;/i&gt; &amp; &quot;q&quot;", page)
        self.assertNotIn("<i>old", page)
        self.assertEqual(self.sandbox.request("GET", "/nothing")[0], 404)


class HostileBodies(SandboxTest):
    def test_deep_nesting_is_refused_with_400(self):
        s = self.sandbox
        token, profile = s.session()
        good = entry_body(profile)
        deep_access = good.replace('"access":[]', '"access":' + "[" * 900 + "]" * 900)
        cases = [
            ("entry 100,000 deep", s.post(token, "[" * 100000 + "]" * 100000)),
            ("object 100,000 deep", s.post(token, '{"a":' * 100000 + "1" + "}" * 100000)),
            ("access 900 deep", s.post(token, deep_access)),
            ("logon 20,000 deep", s.request("POST", "/v2/sessions?nonce=1234567890123",
                                            b"[" * 20000 + b"]" * 20000, s.headers())),
        ]
        for name, answer in cases:
            with self.subTest(name):
                self.assertRefused(answer, 400, "nests")
        self.assertEqual(s.post(token, good)[0], 201)  # still serving
        self.assertNotIn("Traceback", s.log_text())

    def test_bodies_are_bounded_and_not_read_without_a_session(self):
        s = self.sandbox
        self.assertRefused(s.log_on(password="x" * 70000), 413, "exceeds")
        size = 60 * 1024 * 1024
        chunk = b"x" * (1024 * 1024)

        def send_unauthorised(results):
            connection = http.client.HTTPConnection("127.0.0.1", int(s.base.rsplit(":", 1)[1]),
                                                    timeout=60)
            connection.putrequest("POST", "/v2/entries?nonce=" + s.next_nonce())
            for name, value in s.headers("not-a-token"):
                connection.putheader(name, value)
            connection.putheader("Content-Length", str(size))
            connection.endheaders()
            for _ in range(size // len(chunk)):
                connection.send(chunk)
            results.append(connection.getresponse().status)
            connection.close()

        results = []
        threads = [threading.Thread(target=send_unauthorised, args=(results,))
                   for _ in range(4)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join(120)
        self.assertEqual(results, [401] * 4)
        with open("/proc/%d/status" % s.process.pid) as status:
            peak_kb = int(re.search(r"VmHWM:\s+(\d+) kB", status.read()).group(1))
        self.assertLess(peak_kb, 60 * 1024, "the sandbox held unauthorised bodies")


class Idempotency(unittest.TestCase):
    """Where a repeated nonce finds its entry, for each --idempotency choice."""

    def stored_titles(self, mode):
        sandbox = Sandbox("--idempotency", mode, "--account", "demo@brivet.example:demo",
                          "--account", "other@brivet.example:other")
        self.addCleanup(sandbox.stop)
        first, profile = sandbox.session()
        second, _ = sandbox.session()
        nonce = "6666666666666"
        statuses = [sandbox.post(token, entry_body(profile, "Same"), nonce=nonce)[0]
                    for token in (first, first, second)]
        status, _, body = sandbox.log_on("other@brivet.example", "other")
        attributes = json.loads(body)["data"]["attributes"]
        statuses.append(sandbox.post(attributes["access-token"],
                                     entry_body(attributes["profile"], "Other"),
                                     nonce=nonce)[0])
        self.assertEqual(statuses, [201] * 4)
        return [e["title"] for e in sandbox.entries()]

    def test_each_mode(self):
        for mode, titles in (("account", ["Same", "Other"]),
                             ("session", ["Same", "Same", "Other"]),
                             ("none", ["Same", "Same", "Same", "Other"])):
            with self.subTest(mode=mode):
                self.assertEqual(self.stored_titles(mode), titles)

    def test_unknown_mode_is_refused(self):
        run = subprocess.run([sys.executable, SCRIPT, "--idempotency", "maybe"],
                             capture_output=True, text=True, timeout=60)
        self.assertEqual(run.returncode, 2)


class RejectToken(SandboxTest):
    arguments = ("--reject-token",)

    def test_every_entry_is_refused_with_401(self):
        token, profile = self.sandbox.session()
        self.assertRefused(self.sandbox.post(token, entry_body(profile)), 401, "token")
        self.assertEqual(self.sandbox.entries(), [])


class ListedFaults(SandboxTest):
    arguments = ("--faults", "after-store,none,before-store,none,drop,slow,after-store")

    def test_each_fault_in_turn(self):
        s = self.sandbox
        # after-store on the logon: the session exists; its retry gets the same one.
        self.assertRefused(s.log_on(nonce="7000000000001"), 500, "after storing")
        status, _, body = s.log_on(nonce="7000000000001")
        self.assertEqual(status, 201)
        attributes = json.loads(body)["data"]["attributes"]
        token, profile = attributes["access-token"], attributes["profile"]
        body = entry_body(profile, "Kept once")
        # before-store: nothing kept; the retry stores the entry.
        self.assertRefused(s.post(token, body, nonce="7000000000002"), 500, "before storing")
        self.assertEqual(s.entries(), [])
        self.assertEqual(s.post(token, body, nonce="7000000000002")[0], 201)
        # drop: no answer at all.
        with self.assertRaises((http.client.RemoteDisconnected, ConnectionError,
                                urllib.error.URLError)):
            s.post(token, entry_body(profile, "Dropped"))
        # slow: the normal answer, late.
        started = time.monotonic()
        self.assertEqual(s.post(token, entry_body(profile, "Slow"))[0], 201)
        self.assertGreaterEqual(time.monotonic() - started, 2.0)
        # after-store: told it failed, but kept; the retry does not store it twice.
        self.assertRefused(s.post(token, entry_body(profile, "Late"), nonce="7000000000003"),
                           500, "after storing")
        self.assertEqual(s.post(token, entry_body(profile, "Late"), nonce="7000000000003")[0],
                         201)
        self.assertEqual([e["title"] for e in s.entries()], ["Kept once", "Slow", "Late"])


class RandomFaults(unittest.TestCase):
    def outcomes(self, seed):
        sandbox = Sandbox("--fail-rate", "0.5", "--seed", str(seed))
        self.addCleanup(sandbox.stop)
        results = []
        for _ in range(12):
            try:
                results.append(sandbox.log_on()[0])
            except (http.client.RemoteDisconnected, ConnectionError, urllib.error.URLError):
                results.append("dropped")
        return results

    def test_the_same_seed_gives_the_same_faults(self):
        first = self.outcomes(11)
        self.assertEqual(first, self.outcomes(11))
        self.assertIn(500, first)
        self.assertIn(201, first)


class Wget(unittest.TestCase):
    """The conversation as the client has it: wget with a body file and header lines."""

    def wget(self, sandbox, path, body, headers, referer):
        folder = tempfile.mkdtemp(dir=sandbox.folder.name)
        body_file = os.path.join(folder, "body")
        with open(body_file, "wb") as out:
            out.write(body)
        command = ["wget", "-q", "-O", "-", "--content-on-error", "--tries=1",
                   "--method=POST", "--body-file=" + body_file, "--user-agent=" + USER_AGENT,
                   "--referer=" + referer, "--no-hsts"]
        if sandbox.ca:
            command.append("--ca-certificate=" + sandbox.ca)
        command += ["--header=%s: %s" % header for header in headers]
        run = subprocess.run(command + [sandbox.base + path], capture_output=True, timeout=120,
                             env=dict(os.environ, HOME=folder))
        return run.returncode, run.stdout

    def test_logon_and_entry_over_http_and_https(self):
        title = 'Tab\\there \\"quoted\\" back\\\\slash\\nline'
        content = "Привет, мир<br />\\n<b>жирный</b>"
        for tls in (False, True):
            with self.subTest(tls=tls):
                sandbox = Sandbox(*(["--tls"] if tls else []))
                self.addCleanup(sandbox.stop)
                self.assertEqual(sandbox.base.startswith("https:"), tls)
                self.assertEqual(bool(sandbox.ca), tls)
                if tls:
                    self.assertEqual(os.stat(os.path.dirname(sandbox.ca)).st_mode & 0o077, 0)
                headers = [("Content-Type", JSON_API), ("Origin", sandbox.base)]
                rc, reply = self.wget(sandbox, "/v2/sessions?nonce=1234567890123",
                                      (LOGON % ("demo", "demo@brivet.example")).encode(),
                                      headers, sandbox.base)
                self.assertEqual(rc, 0, reply)
                token = re.search(rb'"access-token":"(.*?)"', reply).group(1).decode()
                profile = re.search(rb'"profile":(\d+)', reply).group(1).decode()
                body = entry_body(profile, title, content).encode("utf-8")
                for _ in range(2):  # the retry of a lost answer
                    rc, reply = self.wget(
                        sandbox, "/v2/entries?nonce=2234567890123", body,
                        headers + [("Authorization", "Bearer " + token)],
                        sandbox.base + "/blog/demo/0/edit")
                    self.assertEqual(rc, 0, reply)
                entries = sandbox.entries()
                self.assertEqual(len(entries), 1)
                self.assertEqual(entries[0]["title"], 'Tab\there "quoted" back\\slash\nline')
                self.assertEqual(entries[0]["content"], "Привет, мир<br />\n<b>жирный</b>")
                # A refused token reaches wget as an authentication failure.
                rc, reply = self.wget(sandbox, "/v2/entries?nonce=2234567890124", body,
                                      headers + [("Authorization", "Bearer nope")],
                                      sandbox.base + "/blog/demo/0/edit")
                self.assertEqual(rc, 6)


class Lifetime(unittest.TestCase):
    def test_stops_on_sigterm_and_sigint_and_keeps_its_database(self):
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        db = os.path.join(folder.name, "kept.sqlite")
        first = Sandbox(db=db)
        token, profile = first.session()
        self.assertEqual(first.post(token, entry_body(profile, "Kept"))[0], 201)
        self.assertEqual(first.stop(), 0)
        second = Sandbox(db=db)
        self.assertEqual([e["title"] for e in second.entries()], ["Kept"])
        second.process.send_signal(signal.SIGINT)
        self.assertEqual(second.stop(), 0)
        with sqlite3.connect(db) as connection:
            self.assertEqual(connection.execute("SELECT count(*) FROM entries").fetchone(), (1,))

    def test_database_and_its_side_files_are_private(self):
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        db = os.path.join(folder.name, "entries.sqlite")
        # A database file that another tool left readable becomes private as well.
        with open(db, "wb"):
            pass
        os.chmod(db, 0o644)
        sandbox = Sandbox(db=db)
        token, profile = sandbox.session()
        self.assertEqual(sandbox.post(token, entry_body(profile, "Private"))[0], 201)
        names = [name for name in os.listdir(folder.name) if name.startswith("entries.sqlite")]
        self.assertIn("entries.sqlite-wal", names)
        for name in names:
            with self.subTest(name=name):
                mode = os.stat(os.path.join(folder.name, name)).st_mode & 0o777
                self.assertEqual(mode, 0o600)
        sandbox.stop()

    def test_bad_options_are_refused(self):
        for arguments in (["--fail-rate", "2"], ["--account", "nocolon"],
                          ["--faults", "explode"], ["--port", "70000"]):
            with self.subTest(arguments=arguments):
                run = subprocess.run([sys.executable, SCRIPT, *arguments], capture_output=True,
                                     text=True, timeout=60)
                self.assertEqual(run.returncode, 2)
                self.assertIn("error", run.stderr)


if __name__ == "__main__":
    unittest.main(verbosity=2)
