#!/usr/bin/env python3
"""Upload run benchmark: the real main window (offscreen) publishes a generated diary on
the sandbox Brivet service through KWQT0100 and wget, with failures injected, every
failure answered Retry. Prints posts published, lost and doubled, and the run's time per
post beside bare wget's time per request against the same service, and beside the same run
with its publish journal in memory instead of on disk.

    python3 bench/bench_upload_run.py [--posts 500] [--fail-rate 0.2] [--seed 1]
                                      [--wget-requests 100] [--journal-rounds 2] [--tls]

Needs the build (BUILD_DIR, default build/) with the tests (upload_run_driver).
Goals: 0 lost, 0 doubled, time per post at most 1.5 times wget's time per request, and
with the journal on disk at most 1.1 times the time per post with the journal in memory
(best of the rounds, run alternately).
"""
import argparse
import collections
import json
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time
import ssl
import urllib.request

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ACCOUNT = "bench@brivet.example"
PASSWORD = "bench password"
USER_AGENT = "Mozilla/5.0 (Windows NT 6.1; Win64; x64; rv:109.0) Gecko/20100101 Firefox/115.0"
FAILURES = ("before-store", "after-store", "drop")
ENTRY = re.compile(r"^Entry (\d+)\.")


def start_sandbox(folder, arguments):
    ready = open(os.path.join(folder, "ready"), "w+")
    log = open(os.path.join(folder, "sandbox.log"), "w")
    process = subprocess.Popen(
        [sys.executable, os.path.join(ROOT, "tools/brivet-sandbox/brivet_sandbox.py"),
         "--port", "0", "--db", os.path.join(folder, "entries-%d.sqlite" % time.monotonic_ns()),
         "--account", "%s:%s" % (ACCOUNT, PASSWORD)] + arguments,
        stdout=ready, stderr=log)
    address, ca = None, None
    deadline = time.monotonic() + 60
    while address is None:
        if process.poll() is not None or time.monotonic() > deadline:
            process.kill()
            sys.exit("the sandbox did not start; see its log:\n"
                     + open(os.path.join(folder, "sandbox.log")).read())
        time.sleep(0.05)
        ready.seek(0)
        for line in ready.read().splitlines():
            if line.startswith("CA certificate: "):
                ca = line[len("CA certificate: "):]
            if line.startswith("Brivet sandbox ready: "):
                address = line[len("Brivet sandbox ready: "):]
    return process, address, ca


def stop(process):
    process.terminate()
    try:
        process.wait(10)
    except subprocess.TimeoutExpired:
        process.kill()


def fetch(url, ca, data=None, headers=None):
    context = ssl.create_default_context(cafile=ca) if ca else None
    request = urllib.request.Request(url, data=data, headers=headers or {})
    with urllib.request.urlopen(request, context=context) as reply:
        return json.loads(reply.read().decode("utf-8"))


def nonce(number):
    return "%d" % (1000000000000 + number)


def bare_wget(address, ca, folder, requests):
    """Seconds per entry request made by wget alone, with the client's headers and a
    typical body; the token goes through a wgetrc file, never the command line."""
    session = fetch(address + "/v2/sessions?nonce=" + nonce(1), ca, json.dumps(
        {"data": {"type": "sessions", "attributes": {
            "password": PASSWORD, "email": ACCOUNT, "action": "login"}}},
        separators=(",", ":")).encode(), {
        "Content-Type": "application/vnd.api+json", "Origin": address,
        "User-Agent": USER_AGENT, "Referer": address})
    token = session["data"]["attributes"]["access-token"]
    profile = str(session["data"]["attributes"]["profile"])
    body = json.dumps({"data": {"type": "entries", "attributes": {
        "content": "Entry 0.<br />\n<b>bold</b> and <i>italic</i> Привет, мир!" * 4,
        "title": "A title", "state": "published", "tags": [],
        "settings": {"permissions": {"access": [], "comments": []}}},
        "relationships": {"profile": {"data": {"type": "profiles", "id": profile}}}},
        "included": [{"type": "profiles", "id": profile, "attributes": {}}]},
        ensure_ascii=False, separators=(",", ":"))
    body_file = os.path.join(folder, "body.json")
    with open(body_file, "w", encoding="utf-8") as out:
        out.write(body)
    wgetrc = os.path.join(folder, "wgetrc")
    descriptor = os.open(wgetrc, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
    with os.fdopen(descriptor, "w") as out:
        out.write("tries = 1\nheader = Content-Type: application/vnd.api+json\n"
                  "header = Origin: %s\nheader = Authorization: Bearer %s\n" % (address, token))
    environment = dict(os.environ, WGETRC=wgetrc)
    command = ["wget", "-q", "-O", os.devnull, "--post-file=" + body_file,
               "--user-agent=" + USER_AGENT, "--referer=" + address + "/blog/bench/0/edit"]
    if ca:
        command.append("--ca-certificate=" + ca)
    started = time.monotonic()
    for number in range(requests):
        subprocess.run(command + [address + "/v2/entries?nonce=" + nonce(100 + number)],
                       env=environment, check=True)
    return (time.monotonic() - started) / requests


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--posts", type=int, default=500)
    parser.add_argument("--fail-rate", type=float, default=0.2)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--wget-requests", type=int, default=100)
    parser.add_argument("--journal-rounds", type=int, default=2)
    parser.add_argument("--tls", action="store_true")
    arguments = parser.parse_args()
    build = os.path.join(ROOT, os.environ.get("BUILD_DIR", "build"))
    driver = os.path.join(build, "bin", "upload_run_driver")
    if not os.access(driver, os.X_OK):
        sys.exit("build the project first (%s is missing)" % driver)

    folder = tempfile.mkdtemp(prefix="bench-upload-run-")
    try:
        environment = dict(os.environ, QT_QPA_PLATFORM="offscreen",
                           XDG_CONFIG_HOME=os.path.join(folder, "config"),
                           XDG_DATA_HOME=os.path.join(folder, "data"),
                           XDG_RUNTIME_DIR=folder)
        for name in ("http_proxy", "https_proxy", "no_proxy", "HTTP_PROXY", "HTTPS_PROXY",
                     "NO_PROXY", "all_proxy", "ALL_PROXY"):
            environment.pop(name, None)
        diary = os.path.join(folder, "diary.txt")
        subprocess.run([driver, "--generate", str(arguments.posts), diary], check=True,
                       env=environment)

        # Failures only (never the slow answer), for every request the run may make.
        chance = random.Random(arguments.seed)
        faults = ["none"] + [chance.choice(FAILURES) if chance.random() < arguments.fail_rate
                             else "none" for _ in range(arguments.posts * 3)]
        tls = ["--tls"] if arguments.tls else []

        def publish(journal):
            """One run on a fresh sandbox with the same faults: (figures, entries)."""
            sandbox, address, ca = start_sandbox(folder, tls + ["--faults", ",".join(faults)])
            try:
                command = [driver, "--service-address", address, "--user", ACCOUNT,
                           "--journal", journal, diary]
                if ca:
                    command[1:1] = ["--ca-certificate", ca]
                run = subprocess.run(command, input=PASSWORD + "\n", capture_output=True,
                                     text=True, env=environment)
                if run.returncode != 0:
                    sys.exit("the run failed:\n" + run.stdout + run.stderr)
                return (dict(item.split("=") for item in run.stdout.split()),
                        fetch(address + "/v2/entries", ca)["data"])
            finally:
                stop(sandbox)

        # The journal on disk and in memory, alternately; each disk run has a new file.
        on_disk, in_memory = [], []
        figures = entries = None
        for round_number in range(max(1, arguments.journal_rounds)):
            journal = os.path.join(folder, "journal-%d.sqlite" % round_number)
            disk_figures, disk_entries = publish(journal)
            if figures is None:
                figures, entries = disk_figures, disk_entries
            on_disk.append(float(disk_figures["seconds"]) / arguments.posts)
            memory_figures, _ = publish(":memory:")
            in_memory.append(float(memory_figures["seconds"]) / arguments.posts)

        numbers = collections.Counter()
        for entry in entries:
            match = ENTRY.match(entry["content"])
            if match:
                numbers[int(match.group(1))] += 1
        published = len(numbers)
        lost = arguments.posts - published
        doubled = sum(count - 1 for count in numbers.values())
        in_order = [int(ENTRY.match(e["content"]).group(1)) for e in entries
                    if ENTRY.match(e["content"])] == sorted(numbers)

        clean, clean_address, clean_ca = start_sandbox(folder, tls)
        try:
            wget_seconds = bare_wget(clean_address, clean_ca, folder, arguments.wget_requests)
        finally:
            stop(clean)

        per_post = float(figures["seconds"]) / arguments.posts
        print("posts: %d, injected failure rate: %.0f %%, answered Retry: %s"
              % (arguments.posts, arguments.fail_rate * 100, figures["failures"]))
        print("published: %d  lost: %d  doubled: %d  in diary order: %s"
              % (published, lost, doubled, "yes" if in_order else "no"))
        print("run: %.3f s, %.1f ms per post" % (float(figures["seconds"]), per_post * 1000))
        print("bare wget: %.1f ms per request (%d requests)"
              % (wget_seconds * 1000, arguments.wget_requests))
        print("time per post / wget time per request: %.2f (goal: at most 1.5)"
              % (per_post / wget_seconds))
        print("journal on disk: %.1f ms per post, in memory: %.1f ms per post (best of %d "
              "rounds each)" % (min(on_disk) * 1000, min(in_memory) * 1000, len(on_disk)))
        print("time per post, journal on disk / in memory: %.3f (goal: at most 1.1)"
              % (min(on_disk) / min(in_memory)))
        return 0 if lost == 0 and doubled == 0 else 1
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
