#!/usr/bin/env python3
"""Python's json.loads and json.dumps on the document json_bench writes (json_bench_doc.json).

Run after json_bench, from the same directory, pinned like it: taskset -c 0 python3 json_peer.py
"""
import json
import sys
import time


def best_of(runs, work):
    best = float("inf")
    for _ in range(runs):
        start = time.perf_counter()
        work()
        best = min(best, time.perf_counter() - start)
    return best


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else "json_bench_doc.json"
    with open(path, "r", encoding="utf-8") as f:
        text = f.read()
    size = len(text.encode("utf-8")) / 1e6
    loads = best_of(5, lambda: json.loads(text))
    doc = json.loads(text)
    compact = best_of(5, lambda: json.dumps(doc, separators=(",", ":"), ensure_ascii=False))
    pretty = best_of(5, lambda: json.dumps(doc, indent=4, ensure_ascii=False))
    print(f"python json.loads           {loads * 1e3:8.1f} ms  {size / loads:7.1f} MB/s")
    print(f"python json.dumps compact   {compact * 1e3:8.1f} ms")
    print(f"python json.dumps indent=4  {pretty * 1e3:8.1f} ms")


if __name__ == "__main__":
    main()
