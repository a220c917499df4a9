#!/usr/bin/env python3
"""std.string methods against Python 3's str methods on the same ~10 MB text, in one run.

Runs string_bench (which writes the text it generates), then the same work with str methods
on that text, and prints both times and their ratio. Both sides run pinned to CPU 0 and with
the same malloc settings, so that large results come from the heap instead of fresh mmap
pages on every call.

    python3 bench/string_vs_python.py [path/to/string_bench]   (default build/bench/bench/string_bench)
"""
import json
import os
import re
import subprocess
import sys
import tempfile
import time

# glibc serves blocks of up to 32 MiB from the heap and keeps freed memory: neither side pays
# for pages handed back to the system between calls.
MALLOC_TUNABLES = "glibc.malloc.mmap_threshold=33554432:glibc.malloc.trim_threshold=4294967296"


def rstrip_lines(text):
    # Trailing whitespace per line, keeping LF and CR LF line ends.
    out = []
    for line in text.split("\n"):
        if line.endswith("\r"):
            out.append(line[:-1].rstrip(" \t\v\f") + "\r")
        else:
            out.append(line.rstrip(" \t\v\f\r"))
    return "\n".join(out)


WHITESPACE = " \t\n\r\v\f"
BRACKETS = {"(": (0, 1), ")": (0, -1), "[": (1, 1), "]": (1, -1), "{": (2, 1), "}": (2, -1)}


def skip_past(text, closer, start):
    at = text.find(closer, start)
    return len(text) if at < 0 else at + len(closer)


def skip_quoted(text, quote, start):
    # Behind the first quote that an even run of backslashes precedes.
    at = text.find(quote, start)
    while at >= 0:
        backslashes = 0
        while at - backslashes > start and text[at - backslashes - 1] == "\\":
            backslashes += 1
        if backslashes % 2 == 0:
            return at + 1
        at = text.find(quote, at + 1)
    return len(text)


def raw_string_end(text, p):
    # R"delim( ... )delim" when a "(" follows a delimiter without whitespace, \\ or ")".
    opening = text.find("(", p + 2)
    if opening < 0 or any(c in WHITESPACE or c in "\\)" for c in text[p + 2:opening]):
        return -1
    return skip_past(text, ")" + text[p + 2:opening] + '"', opening + 1)


def smart_split(text, delim=","):
    """The same quote-, comment- and bracket-aware split as the native smart_split, in one
    pass that jumps between the bytes that matter."""
    stops = re.compile("[" + re.escape("/'\"R()[]{}" + delim[0]) + "]")
    parts, depth, start, p = [], [0, 0, 0], 0, 0
    while True:
        m = stops.search(text, p)
        if m is None:
            break
        p = m.start()
        c = text[p]
        if c == "/" and text.startswith("//", p):
            p = skip_past(text, "\n", p + 2)
        elif c == "/" and text.startswith("/*", p):
            p = skip_past(text, "*/", p + 2)
        elif text.startswith("'''", p) or text.startswith('"""', p):
            p = skip_past(text, text[p:p + 3], p + 3)
        elif c == "R" and text.startswith('R"', p) and len(text) - p >= 3 and \
                raw_string_end(text, p) >= 0:
            p = raw_string_end(text, p)
        elif c in "'\"":
            p = skip_quoted(text, c, p + 1)
        else:
            if c in BRACKETS:
                kind, step = BRACKETS[c]
                depth[kind] = max(0, depth[kind] + step)
            if depth == [0, 0, 0] and text.startswith(delim, p):
                parts.append(text[start:p])
                start = p = p + len(delim)
            else:
                p += 1
    parts.append(text[start:])
    return parts


# (benchmark name, what Python does for it, the Python work)
WORK = [
    ("split_by_comma", 'text.split(",")', lambda t: t.split(",")),
    ("replace_3_bytes", 'text.replace("ing", "XYZ")', lambda t: t.replace("ing", "XYZ")),
    ("find_missing", 'text.find("missing")', lambda t: t.find("missing")),
    ("count_3_bytes", 'text.count("ing")', lambda t: t.count("ing")),
    ("rstrip_lines", "per-line rstrip, join", rstrip_lines),
    ("compress_whitespace", '" ".join(text.split())', lambda t: " ".join(t.split())),
    # Python has no quote- and bracket-aware split: the same work written in Python, and its
    # plain split as the floor of any way of doing it.
    ("smart_split_by_comma", "smart_split(text) in Python", smart_split),
    ("smart_split_by_comma", 'text.split(",") (floor)', lambda t: t.split(",")),
    # The scans alone (parts counted, no script values built) against the same Python work.
    ("split_scan_only", 'text.split(",")', lambda t: t.split(",")),
    ("smart_split_scan_only", 'text.split(",") (floor)', lambda t: t.split(",")),
]


def best_of(runs, work, text):
    best = float("inf")
    for _ in range(runs):
        start = time.perf_counter()
        work(text)
        best = min(best, time.perf_counter() - start)
    return best


def native_times(bench, text_path):
    env = dict(os.environ, TRV_STRING_BENCH_TEXT=text_path, GLIBC_TUNABLES=MALLOC_TUNABLES)
    out = subprocess.run(
        ["taskset", "-c", "0", bench, "--benchmark_format=json", "--benchmark_repetitions=5"],
        env=env, check=True, capture_output=True, text=True).stdout
    times, parts = {}, {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("run_type") != "iteration":
            continue
        seconds = b["real_time"] * {"ms": 1e-3, "us": 1e-6, "ns": 1e-9, "s": 1.0}[b["time_unit"]]
        times[b["run_name"]] = min(times.get(b["run_name"], float("inf")), seconds)
        if "parts" in b:
            parts[b["run_name"]] = int(b["parts"])
    return times, parts


def main():
    if os.environ.get("GLIBC_TUNABLES") != MALLOC_TUNABLES:
        # Re-run this script pinned and with the same malloc settings as the native side.
        env = dict(os.environ, GLIBC_TUNABLES=MALLOC_TUNABLES)
        os.execvpe("taskset", ["taskset", "-c", "0", sys.executable] + sys.argv, env)
    bench = sys.argv[1] if len(sys.argv) > 1 else "build/bench/bench/string_bench"
    with tempfile.TemporaryDirectory() as tmp:
        text_path = os.path.join(tmp, "text")
        native, native_parts = native_times(bench, text_path)
        with open(text_path, "r", encoding="ascii", newline="") as f:
            text = f.read()
    if len(smart_split(text)) != native_parts["smart_split_scan_only"]:
        sys.exit("the Python smart_split disagrees with the native one on this text")
    print(f"text: {len(text) / 1e6:.1f} MB; best of 5 each; ratio = python / native")
    print(f"{'method':22} {'native ms':>10} {'python ms':>10} {'ratio':>7}  python work")
    for name, what, work in WORK:
        py = best_of(5, work, text)
        print(f"{name:22} {native[name] * 1e3:10.2f} {py * 1e3:10.2f} {py / native[name]:7.2f}  {what}")


if __name__ == "__main__":
    main()
