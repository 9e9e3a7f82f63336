#!/usr/bin/env python3
"""Each tool's manual page names every option that its --help lists, describes no
option that --help lacks, and formats without a warning from man.

Usage: check_man_pages.py BIN_DIR MAN_DIR
"""
import os
import re
import subprocess
import sys

# Manual page -> program in the build's bin folder.
TOOLS = {
    "brivet-poster": "BrivetPoster",
    "brivet-post": "brivet-post",
    "kwqt-request": "kwqt-request",
    "diary2html": "diary2html",
}

OPTION = re.compile(r"(?<![\w-])(--?[A-Za-z][\w-]*)")


def help_options(program):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", LC_ALL="C.UTF-8")
    result = subprocess.run([program, "--help"], capture_output=True, text=True, env=env,
                            timeout=60)
    if result.returncode != 0:
        raise SystemExit("%s --help exits with %d: %s" % (program, result.returncode,
                                                         result.stderr))
    options = set()
    for line in result.stdout.splitlines():
        # The option column of Qt's help ("  -h, --help   Displays ...") or a usage line.
        stripped = line.strip()
        if stripped.startswith("-"):
            options.update(OPTION.findall(re.split(r"\s{2,}", stripped)[0]))
        elif stripped.startswith("usage:") or stripped.startswith("diary2html "):
            options.update(OPTION.findall(stripped))
    return options


def page_text(path):
    with open(path, encoding="utf-8") as page:
        return page.read()


def page_options(text):
    """Every option the page names, and those that its OPTIONS section describes."""
    plain = text.replace("\\-", "-").replace("\\e", "\\")
    named = set(OPTION.findall(plain))
    described = set()
    section = re.search(r"^\.SH OPTIONS\n(.*?)(?=^\.SH )", plain, re.M | re.S)
    if section:
        for tag in re.findall(r"^\.TP\n(.*)$", section.group(1), re.M):
            described.update(OPTION.findall(tag))
    return named, described


def man_warnings(path):
    env = dict(os.environ, LC_ALL="C.UTF-8", MANWIDTH="80", MANROFFSEQ="")
    result = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", path],
                            capture_output=True, text=True, env=env, timeout=60)
    return result.stderr.strip() if result.returncode == 0 or result.stderr else "man failed"


def main():
    bin_dir, man_dir = sys.argv[1:3]
    problems = []
    for page, program in TOOLS.items():
        path = os.path.join(man_dir, page + ".1")
        text = page_text(path)
        helped = help_options(os.path.join(bin_dir, program))
        named, described = page_options(text)
        for option in sorted(helped - named):
            problems.append("%s.1 does not name %s from --help" % (page, option))
        for option in sorted(o for o in described - helped if o.startswith("--")):
            problems.append("%s.1 describes %s, which --help does not list" % (page, option))
        if not re.search(r'^\.TH %s 1 ' % re.escape(page.upper()), text, re.M):
            problems.append("%s.1 has no title line for section 1" % page)
        warnings = man_warnings(path)
        if warnings:
            problems.append("%s.1: %s" % (page, warnings))
        print("%s.1: %d options of --help" % (page, len(helped)))
    if problems:
        print("\n".join(problems), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
