#!/usr/bin/env python3
"""The regex methods (regex_bench) against std::regex, Boost.Regex and Python's re, in one run.

Each round runs regex_bench once (which writes its 1 MB text), then Python's re on the same
text, all pinned to CPU 0 and with the same malloc settings. The three operations:

    findall_digits   text.regex_findall("[0-9]+")             re.findall
    findall_emails   text.regex_findall("(\\w+)@(\\w+)\\.com")  group 0 of every re.finditer
    replace_dash     text.regex_replace("-", "+")             re.sub

Our side is the method call run through the host's task loop, its job included (see
regex_bench.cpp); std::regex and Boost run directly in the same binary. Every side's match
count is checked against the others. Times are wall-clock per operation: the median over the
rounds with its spread ((max - min) / median); ratios are the median of the rounds' ratios.
The hand-off latency (a method call whose job does next to nothing, one run of the task loop
per sample) is reported as the median over the rounds of each round's median and p99; a
second measurement lets the process use CPUs 0 and 1, so that the worker need not share the
owner's CPU.

    python3 bench/regex_peer.py [path/to/regex_bench] [rounds]
        (defaults build/bench/bench/regex_bench, 5)
"""
import os
import re
import statistics
import sys
import tempfile
import time

from peer_run import PINNED, median_spread, run_benchmarks, run_pinned


# (operation, what Python does, the Python work returning the match count or result size)
OPERATIONS = [
    ("findall_digits", "re.findall", lambda t: len(re.findall(r"[0-9]+", t))),
    ("findall_emails", "finditer group(0)",
     lambda t: len([m.group(0) for m in re.finditer(r"(\w+)@(\w+)\.com", t)])),
    ("replace_dash", "re.sub", lambda t: len(re.sub("-", "+", t))),
]
SIDES = ("ours", "std", "boost")
BENCH_NAME = {"ours": "BM_method_{}/real_time", "std": "BM_std_{}/real_time",
              "boost": "BM_boost_{}/real_time"}


def run_bench(bench, cpus, args, text_path=None):
    env = dict(os.environ)
    if text_path:
        env["TRV_REGEX_BENCH_TEXT"] = text_path
    return run_benchmarks(["taskset", "-c", cpus, bench] + args, env=env)


def seconds(b):
    return b["real_time"] * {"ms": 1e-3, "us": 1e-6, "ns": 1e-9, "s": 1.0}[b["time_unit"]]


def python_time(work, text, expected):
    """Mean wall time of one call, over at least 3 calls and 0.5 s."""
    calls, start = 0, time.perf_counter()
    while True:
        if work(text) != expected:
            sys.exit("Python's result disagrees with the native ones")
        calls += 1
        elapsed = time.perf_counter() - start
        if calls >= 3 and elapsed >= 0.5:
            return elapsed / calls


def main():
    run_pinned()
    bench = sys.argv[1] if len(sys.argv) > 1 else "build/bench/bench/regex_bench"
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    times = {side: {op: [] for op, _, _ in OPERATIONS} for side in SIDES + ("python",)}
    handoff = {key: [] for key in ("median", "p99", "median_2cpu", "p99_2cpu", "no_job")}
    with tempfile.TemporaryDirectory() as tmp:
        text_path = os.path.join(tmp, "text")
        for _ in range(rounds):
            found = run_bench(bench, "0", [], text_path)
            with open(text_path, "r", encoding="ascii", newline="") as f:
                text = f.read()
            for op, _, work in OPERATIONS:
                counts = {side: int(found[BENCH_NAME[side].format(op)]["matches"])
                          for side in SIDES}
                if len(set(counts.values())) != 1:
                    sys.exit(f"{op}: match counts differ: {counts}")
                for side in SIDES:
                    times[side][op].append(seconds(found[BENCH_NAME[side].format(op)]))
                times["python"][op].append(python_time(work, text, counts["ours"]))
            job = found["BM_handoff_job/iterations:20000/real_time"]
            handoff["median"].append(job["median_us"])
            handoff["p99"].append(job["p99_us"])
            handoff["no_job"].append(
                found["BM_handoff_no_job/iterations:20000/real_time"]["median_us"])
            two = run_bench(bench, "0,1", ["--benchmark_filter=BM_handoff_job"])
            two = two["BM_handoff_job/iterations:20000/real_time"]
            handoff["median_2cpu"].append(two["median_us"])
            handoff["p99_2cpu"].append(two["p99_us"])
    print(f"{len(text) / 1e6:.1f} MB text, {rounds} rounds, wall time, pinned to CPU 0; "
          f"Python {sys.version.split()[0]}; ms per operation: median ±spread; ratios: median "
          "of the rounds' ratios")
    print(f"{'operation':15} {'ours':>14} {'std::regex':>14} {'boost':>14} {'python':>14} "
          f"{'ours/std':>9} {'ours/py':>8}  python work")
    for op, what, _ in OPERATIONS:
        cells = {side: f"{m * 1e3:7.2f} ±{s:3.0f}%"
                 for side, (m, s) in ((side, median_spread(times[side][op])) for side in times)}
        ratio = {side: statistics.median(o / p for o, p in zip(times["ours"][op],
                                                               times[side][op]))
                 for side in ("std", "python")}
        print(f"{op:15} {cells['ours']:>14} {cells['std']:>14} {cells['boost']:>14} "
              f"{cells['python']:>14} {ratio['std']:9.2f} {ratio['python']:8.2f}  {what}")
    print("hand-off, \"\".regex_escape() through the task loop, µs (median ±spread over rounds):")
    for label, median_key, p99_key in (("CPU 0", "median", "p99"),
                                       ("CPUs 0,1", "median_2cpu", "p99_2cpu")):
        m, ms = median_spread(handoff[median_key])
        p, ps = median_spread(handoff[p99_key])
        print(f"  {label:9} median {m:6.2f} ±{ms:3.0f}%   p99 {p:6.2f} ±{ps:3.0f}%")
    m, ms = median_spread(handoff["no_job"])
    print(f"  the same program calling \"\".length() (no job), CPU 0: median {m:6.2f} ±{ms:3.0f}%")


if __name__ == "__main__":
    main()
