#!/usr/bin/env python3
"""Every figure of the lean-start benchmarks in one run, each beside what it is measured
against, with its ratio and goal:

  kwqt-request as a whole process    against bare "wget -q -O /dev/null"   goal <= 1.5
  kwqt-request --help (its start alone)
  start-up to the logon window       against a minimal Qt window           goal <= 1.3
  SendPost of a 5 MB post            against bare wget posting its JSON     goal <= 1.5
  Execute                            against its own command line           goal <= 1.1

It runs bench_request, bench_startup and bench_sendpost from the build's bin folder
(or --bin DIR), --repeat times each, and reports the best run of each figure, since on a
shared machine the load only ever adds time. The load average is printed with the table.

With --against DIR (the bin folder of another build, e.g. an earlier commit) both
builds take turns in each repetition and a table is printed for each.

Usage: python3 bench/bench_figures.py [--bin DIR] [--against DIR] [--repeat K]
       [--requests N] [--starts N] [--rounds N]
"""
import argparse
import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def run(program, *arguments):
    # The libraries of the program's own folder, so that a copy of a build's bin folder
    # runs with its own and not with those of the build it was copied from.
    env = dict(os.environ, LD_LIBRARY_PATH=os.path.dirname(program))
    result = subprocess.run([program, *map(str, arguments)], capture_output=True, text=True,
                            env=env)
    if result.returncode not in (0, 3):  # 3: bench_sendpost's goal missed
        sys.exit(f"{os.path.basename(program)} failed ({result.returncode}):\n"
                 f"{result.stdout}{result.stderr}")
    return result.stdout


def number(pattern, text):
    match = re.search(pattern, text)
    if not match:
        sys.exit(f"no figure for {pattern!r} in:\n{text}")
    return [float(group) for group in match.groups()]


def request_figures(bin_dir, requests):
    out = run(os.path.join(bin_dir, "bench_request"), requests)
    execute, execute_wget = number(
        r"Execute vs its command line\s+([\d.]+) ms/request\s+bare wget\s+([\d.]+)", out)
    tool, wget = number(
        r"kwqt-request vs wget -q -O /dev/null\s+([\d.]+) ms/request\s+bare wget\s+([\d.]+)", out)
    (start,) = number(r"kwqt-request --help \(start only\)\s+([\d.]+)", out)
    return {"tool": (tool, wget), "start": (start, None), "execute": (execute, execute_wget)}


def startup_figures(bin_dir, starts):
    out = run(os.path.join(bin_dir, "bench_startup"), starts)
    (poster,) = number(r"BrivetPoster logon window\s+median\s+([\d.]+)", out)
    (minimal,) = number(r"minimal Qt window\s+median\s+([\d.]+)", out)
    figures = {"startup": (poster, minimal)}
    text = re.search(r"minimal window with text\s+median\s+([\d.]+)", out)
    if text:
        figures["startup_text"] = (poster, float(text.group(1)))
    return figures


def sendpost_figures(bin_dir, rounds):
    out = run(os.path.join(bin_dir, "bench_sendpost"), rounds)
    (ours,) = number(r"SendPost median\s+([\d.]+)", out)
    (wget,) = number(r"bare wget median\s+([\d.]+)", out)
    return {"sendpost": (ours, wget)}


ROWS = [
    ("tool", "kwqt-request as a whole process", "bare wget -q -O /dev/null", 1.5),
    ("start", "its start alone (--help)", "", None),
    ("startup", "start-up to the logon window", "minimal Qt window", 1.3),
    ("startup_text", "(the same, beside a window with text)", "minimal window with text", None),
    ("sendpost", "SendPost of a 5 MB post", "bare wget posting the same JSON", 1.5),
    ("execute", "Execute against its own command line", "the command line run directly", 1.1),
]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", default=os.path.join(HERE, "..", "build", "bin"))
    parser.add_argument("--against", help="the bin folder of a build to compare with")
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--requests", type=int, default=200)
    parser.add_argument("--starts", type=int, default=15)
    parser.add_argument("--rounds", type=int, default=5)
    options = parser.parse_args()
    bin_dirs = [os.path.abspath(options.bin)]
    if options.against:
        bin_dirs.insert(0, os.path.abspath(options.against))

    best = {bin_dir: {} for bin_dir in bin_dirs}
    load_before = os.getloadavg()[0]
    for _ in range(options.repeat):
        for bin_dir in bin_dirs:
            figures = {}
            figures.update(request_figures(bin_dir, options.requests))
            figures.update(startup_figures(bin_dir, options.starts))
            figures.update(sendpost_figures(bin_dir, options.rounds))
            for key, (ours, beside) in figures.items():
                # The run least disturbed by the load: the lowest time of our side, with
                # the figure it was measured beside in that same run.
                if key not in best[bin_dir] or ours < best[bin_dir][key][0]:
                    best[bin_dir][key] = (ours, beside)
    load_after = os.getloadavg()[0]

    for bin_dir in bin_dirs:
        print(f"{bin_dir}: best of {options.repeat} runs; load average {load_before:.1f} "
              f"before, {load_after:.1f} after")
        print("| figure | ours | beside | ratio | goal |")
        print("|---|---|---|---|---|")
        for key, name, beside_name, goal in ROWS:
            if key not in best[bin_dir]:
                continue
            ours, beside = best[bin_dir][key]
            if goal is None and beside is not None:
                print(f"| {name} | {ours:.2f} ms | {beside_name} {beside:.2f} ms | "
                      f"{ours / beside:.2f} | |")
                continue
            if beside is None:
                print(f"| {name} | {ours:.2f} ms | | | |")
                continue
            ratio = ours / beside
            verdict = "met" if ratio <= goal else "missed"
            print(f"| {name} | {ours:.2f} ms | {beside_name} {beside:.2f} ms | {ratio:.2f} | "
                  f"<= {goal} ({verdict}) |")
        print()


if __name__ == "__main__":
    main()
