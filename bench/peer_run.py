"""What the peer scripts share: one pinned CPU and the same malloc settings for every process
of a comparison, and the median with its spread."""
import os
import statistics
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


def median_spread(values):
    """The median and the spread (max - min) / median in percent."""
    middle = statistics.median(values)
    return middle, (max(values) - min(values)) / middle * 100
