#!/usr/bin/env python3
"""std.json (json_bench) beside nlohmann json and Python 3 on one ~20 MB document, in one run:
the binary form against CBOR, marshal and pickle, and the JSON text against nlohmann's and
Python's json.

Each round runs json_bench once (its text and binary benchmarks; it writes the document to
json_bench_doc.json in a temporary folder), then Python on the same document: json.loads and
json.dumps of the text, and marshal and pickle (protocol 5) dumps and loads of the document as
json.loads made it. Everything runs pinned to CPU 0 with the same malloc settings (peer_run).

    binary write   the container's binary record (to_binary)    BM_BinaryWrite
    CBOR encode    nlohmann::json::to_cbor of nlohmann's DOM     BM_CborEncode
    binary read    a new container from that record             BM_BinaryRead
    CBOR decode    nlohmann::json::from_cbor into a DOM          BM_CborDecode

Times are wall-clock per operation, freeing the result included on every side. json_bench's
are Google Benchmark's means per iteration; Python's are the mean of at least 3 calls and
0.5 s, with the cyclic garbage collector off while they run, as timeit does: the native sides
have no collector to pay for. Every side's result is checked (sizes and record counts; Python's
marshal and pickle round trips once in full). Printed per operation: the median over the rounds
with its spread ((max - min) / median), and for the goals the median over the rounds of the
peer's time divided by ours.

    python3 bench/json_peer.py [path/to/json_bench] [rounds]
        (defaults build/bench/bench/json_bench, 5)
"""
import gc
import json
import marshal
import os
import pickle
import statistics
import subprocess
import sys
import tempfile
import time

from peer_run import PINNED, median_spread, run_benchmarks, run_pinned

# json_bench's benchmarks this script reads, by the name they are printed under.
NATIVE = {
    "binary write": "BM_BinaryWrite",
    "CBOR encode": "BM_CborEncode",
    "binary read": "BM_BinaryRead",
    "CBOR decode": "BM_CborDecode",
    "parse into std.json": "BM_ParseIntoContainer",
    "nlohmann parse": "BM_NlohmannParse",
    "print compact": "BM_PrintContainer/0",
    "nlohmann dump compact": "BM_NlohmannDump/0",
    "print indent 4": "BM_PrintContainer/4",
    "nlohmann dump indent 4": "BM_NlohmannDump/4",
}
FILTER = ("^BM_(BinaryWrite|BinaryRead|CborEncode|CborDecode|ParseIntoContainer|NlohmannParse|"
          "PrintContainer|NlohmannDump)(/|$)")

# The table: section, then its rows (label, time key, size key or None).
TABLE = [
    ("binary form", [
        ("binary write (std.json)", "binary write", "binary write"),
        ("CBOR encode (nlohmann)", "CBOR encode", "CBOR encode"),
        ("marshal.dumps", "marshal.dumps", "marshal"),
        ("pickle.dumps (protocol 5)", "pickle.dumps", "pickle"),
        ("binary read (std.json)", "binary read", "binary read"),
        ("CBOR decode (nlohmann)", "CBOR decode", "CBOR decode"),
        ("marshal.loads", "marshal.loads", "marshal"),
        ("pickle.loads (protocol 5)", "pickle.loads", "pickle"),
    ]),
    ("JSON text", [
        ("parse into std.json", "parse into std.json", None),
        ("nlohmann parse", "nlohmann parse", None),
        ("json.loads", "json.loads", None),
        ("print compact (std.json)", "print compact", "print compact"),
        ("nlohmann dump compact", "nlohmann dump compact", "nlohmann dump compact"),
        ("json.dumps compact", "json.dumps compact", "json.dumps compact"),
        ("print indent 4 (std.json)", "print indent 4", "print indent 4"),
        ("nlohmann dump indent 4", "nlohmann dump indent 4", "nlohmann dump indent 4"),
        ("json.dumps indent=4", "json.dumps indent=4", "json.dumps indent=4"),
    ]),
]

# (what, peer, ours, how many times our speed the goal asks for, at least or ahead)
GOALS = [
    ("binary write vs CBOR encode", "CBOR encode", "binary write", 1.0, ">="),
    ("binary read vs CBOR decode", "CBOR decode", "binary read", 3.0, ">="),
    ("binary write vs pickle.dumps", "pickle.dumps", "binary write", 1.0, ">"),
    ("binary read vs pickle.loads", "pickle.loads", "binary read", 1.0, ">"),
    ("binary write vs marshal.dumps", "marshal.dumps", "binary write", None, None),
    ("binary read vs marshal.loads", "marshal.loads", "binary read", None, None),
]


def run_bench(bench, folder):
    found = run_benchmarks(PINNED + [bench, f"--benchmark_filter={FILTER}"], cwd=folder)
    missing = [name for name in NATIVE.values() if name not in found]
    if missing:
        sys.exit(f"json_bench did not run {', '.join(missing)}")
    return found


def seconds(b):
    return b["real_time"] * {"ms": 1e-3, "us": 1e-6, "ns": 1e-9, "s": 1.0}[b["time_unit"]]


def form_size(b):
    """The size of the form the benchmark wrote or read, in bytes."""
    return b.get("output_bytes", b.get("input_bytes"))


def python_time(work, check):
    """Mean wall time of one call, over at least 3 calls and 0.5 s, the collector off."""
    gc.collect()
    gc.disable()
    try:
        calls, start = 0, time.perf_counter()
        while True:
            if not check(work()):
                sys.exit("a Python result differs from the first one")
            calls += 1
            elapsed = time.perf_counter() - start
            if calls >= 3 and elapsed >= 0.5:
                return elapsed / calls
    finally:
        gc.enable()


def python_round(text, doc, forms, times):
    """One round of Python's operations on the document."""
    records = len(doc)

    def same_size(key):
        return lambda out: len(out) == forms[key]

    timed = [
        ("json.loads", lambda: json.loads(text), lambda d: len(d) == records),
        ("json.dumps compact",
         lambda: json.dumps(doc, separators=(",", ":"), ensure_ascii=False),
         same_size("json.dumps compact")),
        ("json.dumps indent=4", lambda: json.dumps(doc, indent=4, ensure_ascii=False),
         same_size("json.dumps indent=4")),
        ("marshal.dumps", lambda: marshal.dumps(doc), same_size("marshal")),
        ("marshal.loads", lambda: marshal.loads(forms["marshal bytes"]),
         lambda d: len(d) == records),
        ("pickle.dumps", lambda: pickle.dumps(doc, protocol=5), same_size("pickle")),
        ("pickle.loads", lambda: pickle.loads(forms["pickle bytes"]),
         lambda d: len(d) == records),
    ]
    for key, work, check in timed:
        times.setdefault(key, []).append(python_time(work, check))


def python_forms(doc):
    """The forms Python's operations produce, checked once in full."""
    forms = {"marshal bytes": marshal.dumps(doc), "pickle bytes": pickle.dumps(doc, protocol=5)}
    if marshal.loads(forms["marshal bytes"]) != doc or pickle.loads(forms["pickle bytes"]) != doc:
        sys.exit("marshal or pickle does not read back as the document")
    forms["marshal"] = len(forms["marshal bytes"])
    forms["pickle"] = len(forms["pickle bytes"])
    # The texts' lengths in characters, as the checks see them; their UTF-8 sizes for the table.
    for key, dump in (("json.dumps compact",
                       lambda: json.dumps(doc, separators=(",", ":"), ensure_ascii=False)),
                      ("json.dumps indent=4",
                       lambda: json.dumps(doc, indent=4, ensure_ascii=False))):
        dumped = dump()
        forms[key] = len(dumped)
        forms[key + " bytes"] = len(dumped.encode("utf-8"))
    return forms


def main():
    run_pinned()
    bench = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/bench/bench/json_bench")
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    times, sizes = {}, {}
    text = doc = forms = None
    with tempfile.TemporaryDirectory() as folder:
        for _ in range(rounds):
            found = run_bench(bench, folder)
            for key, name in NATIVE.items():
                times.setdefault(key, []).append(seconds(found[name]))
                sizes[key] = form_size(found[name])
            if doc is None:
                with open(os.path.join(folder, "json_bench_doc.json"), encoding="utf-8") as f:
                    text = f.read()
                doc = json.loads(text)
                forms = python_forms(doc)
                sizes.update(marshal=forms["marshal"], pickle=forms["pickle"])
                for key in ("json.dumps compact", "json.dumps indent=4"):
                    sizes[key] = forms[key + " bytes"]
            python_round(text, doc, forms, times)

    print(f"{len(text.encode('utf-8')) / 1e6:.1f} MB of JSON text, {len(doc)} records; "
          f"{rounds} rounds, wall time, pinned to CPU 0; Python {sys.version.split()[0]}")
    print("ms per operation: median ±spread over the rounds; size: the form written or read")
    for section, rows in TABLE:
        print(f"{section:28} {'ms':>8} {'spread':>7} {'size MB':>8}")
        for label, key, size_key in rows:
            m, s = median_spread(times[key])
            size = f"{sizes[size_key] / 1e6:8.1f}" if size_key else f"{'':8}"
            print(f"  {label:26} {m * 1e3:8.1f} {s:6.0f}% {size}")
    print("peer time / our time (median of the rounds' ratios):")
    for what, peer, ours, goal, kind in GOALS:
        ratio = statistics.median(p / o for p, o in zip(times[peer], times[ours]))
        if goal is None:
            verdict = ""
        else:
            met = ratio >= goal if kind == ">=" else ratio > goal
            verdict = f"goal {kind} {goal:g}: {'met' if met else 'MISSED'}"
        print(f"  {what:30} {ratio:6.2f}  {verdict}")


if __name__ == "__main__":
    main()
