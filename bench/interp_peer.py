#!/usr/bin/env python3
"""The interpreter's five loops and std.json's filter and map with a script callback
(interp_bench) against the same work in Lua 5.4 and Python 3.

Each round runs interp_bench once, then a Lua 5.4 and a Python 3 process that run the same
loops (as function locals, a while loop each) and filter and map over a prebuilt list of the
integers 0 .. n - 1 with f(v) = v + 1 (Python: [v for v in xs if f(v)] and list(map(f, xs));
Lua: a loop appending to a new table), all pinned to CPU 0 and with the same malloc
settings. interp_bench repeats each benchmark, so its pools and heap are warm; the peers run
filter and map once untimed before the timed run, so that every side walks its container on
memory it already has. Every side checks its loop results and times CPU time. Prints per
loop the median ns per iteration over the rounds with its spread ((max - min) / median), the
median over the rounds of our time divided by Lua's and by Python's, and our instructions per
iteration and ns per instruction (for the loops).

    python3 bench/interp_peer.py [path/to/interp_bench] [rounds]
        (defaults build/bench/bench/interp_bench, 5)
"""
import re
import statistics
import subprocess
import sys
import tempfile

from peer_run import PINNED, median_spread, run_benchmarks, run_pinned


# interp_bench's benchmark per loop; the loop counts come from its names (BM_sum_loop/N).
LOOPS = [("sum", "BM_sum_loop"), ("call", "BM_call_loop"), ("method", "BM_method_loop"),
         ("o.get", "BM_class_method_loop"), ("o.x", "BM_class_member_loop"),
         ("filter", "BM_filter_callback"), ("map", "BM_map_callback")]

# Lua: s:len() is the method-call form of #s.
LUA = r"""
local function sum_loop(n)
  local sum, i = 0, 0
  while i < n do sum = sum + i; i = i + 1 end
  return sum
end
local function f(x) return x + 1 end
local function call_loop(n)
  local i = 0
  while i < n do i = f(i) end
  return i
end
local function method_loop(n)
  local s, sum, i = "hello", 0, 0
  while i < n do sum = sum + s:len(); i = i + 1 end
  return sum
end
local Counter = {}
Counter.__index = Counter
function Counter.new(x) return setmetatable({x = x}, Counter) end
function Counter:get() return self.x end
local function class_method_loop(n)
  local o, sum, i = Counter.new(2), 0, 0
  while i < n do sum = sum + o:get(); i = i + 1 end
  return sum
end
local function class_member_loop(n)
  local o, sum, i = Counter.new(2), 0, 0
  while i < n do sum = sum + o.x; i = i + 1 end
  return sum
end
local function g(v) return v + 1 end
local function filter(xs)
  local kept = {}
  for _, v in ipairs(xs) do if g(v) ~= 0 then kept[#kept + 1] = v end end
  return #kept
end
local function map(xs)
  local mapped = {}
  for _, v in ipairs(xs) do mapped[#mapped + 1] = g(v) end
  return #mapped
end
local function list(n)
  local xs = {}
  for i = 0, n - 1 do xs[#xs + 1] = i end
  return xs
end
local loops = {sum = sum_loop, call = call_loop, method = method_loop,
               ["o.get"] = class_method_loop, ["o.x"] = class_member_loop,
               filter = filter, map = map}
local inputs = {filter = list, map = list}
for k = 1, #arg, 3 do
  local name, n, expected = arg[k], math.tointeger(arg[k + 1]), math.tointeger(arg[k + 2])
  local input = inputs[name] and inputs[name](n) or n
  -- A walk over a container runs once untimed first: it then runs on memory the process has.
  if inputs[name] then loops[name](input) end
  local start = os.clock()
  local result = loops[name](input)
  local seconds = os.clock() - start
  if result ~= expected then error(name .. " loop: " .. tostring(result)) end
  print(name, string.format("%.6f", seconds * 1e9 / n))
end
"""

# Python: len(s) is the natural form of s.length(); it is a call of a builtin function.
PYTHON = r"""
import sys, time
def sum_loop(n):
    sum, i = 0, 0
    while i < n:
        sum = sum + i
        i = i + 1
    return sum
def f(x):
    return x + 1
def call_loop(n):
    i = 0
    while i < n:
        i = f(i)
    return i
def method_loop(n):
    s, sum, i = "hello", 0, 0
    while i < n:
        sum = sum + len(s)
        i = i + 1
    return sum
class Counter:
    def __init__(self, x):
        self.x = x
    def get(self):
        return self.x
def class_method_loop(n):
    o, sum, i = Counter(2), 0, 0
    while i < n:
        sum = sum + o.get()
        i = i + 1
    return sum
def class_member_loop(n):
    o, sum, i = Counter(2), 0, 0
    while i < n:
        sum = sum + o.x
        i = i + 1
    return sum
def g(v):
    return v + 1
def filter_list(xs):
    return len([v for v in xs if g(v)])
def map_list(xs):
    return len(list(map(g, xs)))
loops = {"sum": sum_loop, "call": call_loop, "method": method_loop,
         "o.get": class_method_loop, "o.x": class_member_loop,
         "filter": filter_list, "map": map_list}
inputs = {"filter": lambda n: list(range(n)), "map": lambda n: list(range(n))}
args = sys.argv[1:]
for k in range(0, len(args), 3):
    name, n, expected = args[k], int(args[k + 1]), int(args[k + 2])
    data = inputs[name](n) if name in inputs else n
    # A walk over a container runs once untimed first: it then runs on memory the process has.
    if name in inputs:
        loops[name](data)
    start = time.process_time_ns()
    result = loops[name](data)
    elapsed = time.process_time_ns() - start
    if result != expected:
        sys.exit(f"{name} loop: {result}")
    print(name, f"{elapsed / n:.6f}")
"""


def expected(name, n):
    return {"sum": n * (n - 1) // 2, "call": n, "method": 5 * n, "o.get": 2 * n,
            "o.x": 2 * n, "filter": n, "map": n}[name]


def ours(bench):
    """One run of interp_bench: per loop (count, ns per iteration, instructions per
    iteration)."""
    found = {}
    for b in run_benchmarks(PINNED + [bench]).values():
        family, count = re.fullmatch(r"(\w+)/(\d+)", b["run_name"]).groups()
        found[family] = (int(count), b["time_per_iteration"] * 1e9,
                         b.get("instructions_per_iteration"))
    return {name: found[family] for name, family in LOOPS}


def peer(command, counts):
    """One run of a peer process over every loop: per loop ns per iteration."""
    args = []
    for name, _ in LOOPS:
        args += [name, str(counts[name]), str(expected(name, counts[name]))]
    out = subprocess.run(PINNED + command + args, check=True, capture_output=True,
                         text=True).stdout
    return {name: float(ns) for name, ns in (line.split() for line in out.splitlines())}


def main():
    run_pinned()
    bench = sys.argv[1] if len(sys.argv) > 1 else "build/bench/bench/interp_bench"
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    times = {side: {name: [] for name, _ in LOOPS} for side in ("ours", "lua", "python")}
    instructions = {}
    with tempfile.NamedTemporaryFile("w", suffix=".lua") as lua_file:
        lua_file.write(LUA)
        lua_file.flush()
        for _ in range(rounds):
            run = ours(bench)
            counts = {name: run[name][0] for name, _ in LOOPS}
            for name, (_, ns, per_iteration) in run.items():
                times["ours"][name].append(ns)
                instructions[name] = per_iteration
            for side, command in (("lua", ["lua5.4", lua_file.name]),
                                  ("python", [sys.executable, "-c", PYTHON])):
                for name, ns in peer(command, counts).items():
                    times[side][name].append(ns)
    version = subprocess.run(["lua5.4", "-v"], capture_output=True, text=True).stdout.split()
    print(f"{rounds} rounds, CPU time, pinned to CPU 0; Lua {version[1]}, "
          f"Python {sys.version.split()[0]}; ns per iteration: median ±spread; ratios: median "
          "of the rounds' ratios")
    print(f"{'loop':7} {'n':>9} {'ours':>16} {'lua':>14} {'python':>14} {'ours/lua':>9} "
          f"{'ours/py':>8} {'instr/it':>9} {'ns/instr':>9}")
    for name, _ in LOOPS:
        cells = {side: median_spread(times[side][name]) for side in times}
        ns = cells["ours"][0]
        # Ratios within each round, then their median: load that drifts between rounds
        # affects both sides of a round alike.
        ratio = {side: statistics.median(o / p for o, p in zip(times["ours"][name],
                                                               times[side][name]))
                 for side in ("lua", "python")}
        text = {side: f"{m:8.1f} ±{s:3.0f}%" for side, (m, s) in cells.items()}
        per_iteration = instructions[name]
        counted = (f"{per_iteration:9.1f} {ns / per_iteration:9.2f}" if per_iteration
                   else f"{'-':>9} {'-':>9}")
        print(f"{name:7} {counts[name]:9d} {text['ours']:>16} {text['lua']:>14} "
              f"{text['python']:>14} {ratio['lua']:9.2f} {ratio['python']:8.2f} {counted}")


if __name__ == "__main__":
    main()
