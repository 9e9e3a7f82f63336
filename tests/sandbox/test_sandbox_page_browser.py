#!/usr/bin/env python3
"""The sandbox's page in a real headless Chromium: an entry's HTML shows its pictures,
but cannot take the page elsewhere, load frames, objects, style sheets or fonts from
another site, submit a form or run script. A second server on 127.0.0.1 stands for the
other site and records what the browser asked it for."""
import html
import http.server
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from test_brivet_sandbox import Sandbox, entry_body  # noqa: E402

PNG = bytes.fromhex("89504e470d0a1a0a0000000d4948445200000001000000010806000000"
                    "1f15c4890000000d49444154789c63f8cfc0f01f0005000201e221bc33"
                    "0000000049454e44ae426082")
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--no-proxy-server", "--virtual-time-budget=3000"]


class OtherSite:
    """Answers everything: a picture for *.png, a page otherwise; keeps the paths."""

    def __init__(self):
        self.paths = []
        site = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def do_GET(self):
                site.paths.append(self.path)
                picture = self.path.endswith(".png")
                body = PNG if picture else b"<!DOCTYPE html><h1>The other site</h1>"
                self.send_response(200)
                self.send_header("Content-Type", "image/png" if picture else "text/html")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            do_POST = do_GET

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.base = "http://127.0.0.1:%d" % self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def stop(self):
        self.server.shutdown()
        self.server.server_close()


def hostile_entry(other):
    o = other
    return "\n".join([
        '<p>Hello</p><img src="%s/picture.png" alt="a picture">' % o,
        '<meta http-equiv="refresh" content="0;url=%s/refresh">' % o,
        '<iframe src="%s/frame"></iframe>' % o,
        '<object data="%s/object"></object><embed src="%s/embed">' % (o, o),
        '<script>new Image().src = "%s/script"; top.location = "%s/top";</script>' % (o, o),
        '<img src="missing.png" onerror="new Image().src=\'%s/onerror\'">' % o,
        '<link rel="stylesheet" href="%s/style.css">' % o,
        '<style>@font-face { font-family: f; src: url(%s/font.woff); } p { font-family: f; }'
        "</style>" % o,
        '<audio src="%s/audio" autoplay></audio>' % o,
        '<form action="%s/form" method="post"><input name="q" autofocus></form>' % o,
        '<base href="%s/base/"><img src="relative.png">' % o,
        # An attempt to leave the frame's attribute and write into the page itself.
        '"></iframe><script>new Image().src = "%s/breakout";</script>' % o,
    ])


class SandboxPageInChromium(unittest.TestCase):
    def setUp(self):
        self.chromium = shutil.which("chromium")
        if not self.chromium:
            self.fail("chromium is not installed; tools/install-deps.sh installs it")
        self.sandbox = Sandbox()
        self.addCleanup(self.sandbox.stop)
        self.other = OtherSite()
        self.addCleanup(self.other.stop)

    def dump(self, url):
        """The page's DOM after it loaded and any timers in it ran."""
        with tempfile.TemporaryDirectory() as profile:
            run = subprocess.run([self.chromium, *FLAGS, "--user-data-dir=" + profile,
                                  "--dump-dom", url], capture_output=True, timeout=120)
        self.assertEqual(run.returncode, 0, run.stderr.decode(errors="replace")[-2000:])
        return run.stdout.decode("utf-8")

    def test_an_entry_shows_its_picture_and_nothing_else_from_elsewhere(self):
        token, profile = self.sandbox.session()
        content = json.dumps(hostile_entry(self.other.base))[1:-1]
        status, _, body = self.sandbox.post(token, entry_body(profile, "Hostile", content))
        self.assertEqual(status, 201, body)

        dom = self.dump(self.sandbox.base + "/")
        self.assertEqual(self.other.paths, ["/picture.png"])
        # Still the sandbox's page, with the entry in one frame and no script of its own.
        self.assertIn("<h1>Brivet sandbox</h1>", dom)
        self.assertEqual(len(re.findall(r"<iframe\b", dom)), 1, dom)
        self.assertNotIn("<script", dom)
        srcdoc = html.unescape(re.search(r'srcdoc="([^"]*)"', dom).group(1))
        self.assertIn('<img src="%s/picture.png"' % self.other.base, srcdoc)


if __name__ == "__main__":
    unittest.main(verbosity=2)
