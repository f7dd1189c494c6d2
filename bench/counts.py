#!/usr/bin/env python3
"""Deterministic figures of the hot paths: system calls and instructions per
operation, each beside its floor (bench/Operations.h).

tallyloom-opcount runs one operation COUNT times after its set-up and one
warm-up run; each figure is (run with COUNT) - (run with 0), divided by COUNT,
so set-up and start-up cancel out. System calls come from `strace -f -c`,
instructions from `valgrind --tool=callgrind` (user space only). Neither
depends on how busy the machine is.

  bench/counts.py build/bin/tallyloom-opcount [--count N] [--markdown]
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

GROUPS = [("frame", "frame-floor"), ("export", "export-write", "export-floor"),
          ("append", "append-write", "append-floor")]
# The goals: the frame path within 1.2 times its floor's instructions; an
# export and an append (whole, or the writer alone) in at most 5 system calls.
INSTRUCTION_GOALS = {"frame": ("frame-floor", 1.2)}
SYSCALL_GOAL = 5
SYSCALL_GOALS = ("export", "export-write", "append", "append-write")


def syscalls(binary, operation, count, work):
    out = os.path.join(work, "strace")
    subprocess.run(["strace", "-f", "-c", "-o", out, binary, operation, str(count)], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    calls = {}
    with open(out) as f:
        for line in f:
            fields = line.split()
            # % time, seconds, usecs/call, calls, [errors,] syscall
            if len(fields) >= 5 and re.match(r"^[0-9.]+$", fields[0]) and fields[-1] != "total":
                calls[fields[-1]] = int(fields[3])
    return calls


def instructions(binary, operation, count, work):
    out = os.path.join(work, "callgrind.out")
    subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}", binary,
                    operation, str(count)], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    with open(out) as f:
        for line in f:
            if line.startswith(("totals:", "summary:")):
                return int(line.split()[1])
    raise SystemExit(f"no instruction total for {operation}")


def per_operation(binary, operation, count, work):
    with_count = syscalls(binary, operation, count, work)
    without = syscalls(binary, operation, 0, work)
    calls = {}
    for name in set(with_count) | set(without):
        n = (with_count.get(name, 0) - without.get(name, 0)) / count
        # Calls made by set-up now and then (getrandom for a temporary
        # folder's name) are not the operation's.
        if abs(n) >= 0.5:
            calls[name] = round(n, 2)
    ir = (instructions(binary, operation, count, work) -
          instructions(binary, operation, 0, work)) / count
    return calls, ir


def describe(calls):
    if not calls:
        return "none"
    return ", ".join(f"{name} {n:g}" if n != 1 else name for name, n in sorted(calls.items()))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("binary")
    parser.add_argument("--count", type=int, default=200)
    parser.add_argument("--markdown", action="store_true")
    args = parser.parse_args()
    for tool in ("strace", "valgrind"):
        if subprocess.run(["which", tool], capture_output=True).returncode != 0:
            sys.exit(f"{tool} is missing (Debian package {tool})")

    rows = []
    with tempfile.TemporaryDirectory(prefix="tallyloom-counts-") as work:
        for group in GROUPS:
            for name in group:
                calls, ir = per_operation(args.binary, name, args.count, work)
                rows.append((name, sum(calls.values()), describe(calls), ir))

    instructions_of = {name: ir for name, _, _, ir in rows}

    def verdict(name, total, ir):
        goals = []
        if name in SYSCALL_GOALS:
            goals.append(f"≤ {SYSCALL_GOAL} calls: {'met' if total <= SYSCALL_GOAL else 'NOT met'}")
        if name in INSTRUCTION_GOALS:
            floor, factor = INSTRUCTION_GOALS[name]
            ratio = ir / instructions_of[floor]
            goals.append(f"{ratio:.2f}× {floor}, ≤ {factor}: "
                         f"{'met' if ratio <= factor else 'NOT met'}")
        return "; ".join(goals)

    if args.markdown:
        print("| Operation | System calls | Which | Instructions | Goal |")
        print("|---|---:|---|---:|---|")
        for name, total, which, ir in rows:
            print(f"| {name} | {total:g} | {which} | {ir:,.0f} | {verdict(name, total, ir)} |")
    else:
        for name, total, which, ir in rows:
            print(f"{name:14} {total:4g} syscalls ({which}), {ir:,.0f} instructions  "
                  f"{verdict(name, total, ir)}")


if __name__ == "__main__":
    main()
