"""What the peer scripts share: one pinned CPU and the same malloc settings for every process
of a comparison, reading a benchmark program's results, and the median with its spread."""
import json
import os
import statistics
import subprocess
import sys

# Blocks of up to 32 MiB from the heap, freed memory kept: both sides work in the same memory
# conditions.
MALLOC_TUNABLES = "glibc.malloc.mmap_threshold=33554432:glibc.malloc.trim_threshold=4294967296"
PINNED = ["taskset", "-c", "0"]


def run_pinned():
    """Re-runs the calling script pinned and with the malloc settings every process inherits,
    unless it already runs so."""
    if os.environ.get("GLIBC_TUNABLES") != MALLOC_TUNABLES:
        env = dict(os.environ, GLIBC_TUNABLES=MALLOC_TUNABLES)
        os.execvpe("taskset", PINNED + [sys.executable] + sys.argv, env)


def run_benchmarks(command, **options):
    """Runs a Google Benchmark program (command: its argument list) with JSON output; its
    benchmarks by name. A benchmark that reports an error ends the script. Options go to
    subprocess.run (cwd, env)."""
    out = subprocess.run(command + ["--benchmark_format=json"], check=True,
                         capture_output=True, text=True, **options).stdout
    found = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("error_occurred"):
            sys.exit(f"{b['name']}: {b.get('error_message')}")
        found[b["name"]] = b
    return found


def median_spread(values):
    """The median and the spread (max - min) / median in percent."""
    middle = statistics.median(values)
    return middle, (max(values) - min(values)) / middle * 100
