#!/usr/bin/env python3
"""Runs tallyloom-bench and prints each figure as a ratio against its floor.

Every pair runs in one process, with repetitions; the table shows medians, all
in nanoseconds per operation (wall time), and the ratio plugin / floor.

  bench/ratios.py build/bin/tallyloom-bench [--repetitions N] [--markdown]
"""
import argparse
import json
import subprocess
import sys

PAIRS = [
    ("BM_FreeplayFrame", "BM_FrameFloor", 1.5),
    ("BM_FrameGatedOff", "BM_FrameFloor", 1.0),
    ("BM_ExportSnapshot", "BM_RawReplace", None),
    ("BM_ExportWrite", "BM_RawReplace", 1.2),
    ("BM_AppendHistory/0", "BM_RawAppend/0", None),
    ("BM_AppendHistory/104857600", "BM_RawAppend/104857600", None),
    ("BM_AppendWrite/0", "BM_RawAppend/0", 1.2),
    ("BM_AppendWrite/104857600", "BM_RawAppend/104857600", 1.2),
    ("BM_JsonEscape", "BM_Memcpy", None),
]


def run(binary, pattern, repetitions):
    command = [binary, f"--benchmark_filter={pattern}", "--benchmark_format=json"]
    if repetitions > 1:
        command += [f"--benchmark_repetitions={repetitions}",
                    "--benchmark_report_aggregates_only=true",
                    "--benchmark_enable_random_interleaving=true"]
    output = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    return json.loads(output)["benchmarks"]


def median_ns(benchmarks, name):
    scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}
    for b in benchmarks:
        if b.get("run_name") == name and b.get("aggregate_name") == "median":
            return b["real_time"] * scale[b["time_unit"]], b
    raise SystemExit(f"no median for {name}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("binary")
    parser.add_argument("--repetitions", type=int, default=9)
    parser.add_argument("--markdown", action="store_true")
    args = parser.parse_args()

    rows = []
    for plugin, floor, goal in PAIRS:
        pattern = "^(" + plugin + "|" + floor + ")$"
        results = run(args.binary, pattern, args.repetitions)
        p, _ = median_ns(results, plugin)
        f, _ = median_ns(results, floor)
        ratio = p / f
        verdict = "" if goal is None else ("met" if ratio <= goal else "NOT met")
        rows.append((plugin, floor, p, f, ratio, goal, verdict))

    sessions = run(args.binary, "^(BM_HostDay|BM_MatchMemory)/", 1)
    counters = {b["run_name"].split("/")[0]: b for b in sessions}

    if args.markdown:
        print("| Benchmark | Floor | Median (ns) | Floor median (ns) | Ratio | Goal | |")
        print("|---|---|---:|---:|---:|---:|---|")
        for plugin, floor, p, f, ratio, goal, verdict in rows:
            goal_text = "report" if goal is None else f"≤ {goal}"
            print(f"| {plugin} | {floor} | {p:.1f} | {f:.1f} | {ratio:.3f} | {goal_text} | {verdict} |")
    else:
        for plugin, floor, p, f, ratio, goal, verdict in rows:
            goal_text = "report" if goal is None else f"<= {goal}"
            print(f"{plugin:28} {p:12.1f} ns  vs {floor:24} {f:12.1f} ns  ratio {ratio:6.3f}  "
                  f"goal {goal_text:8} {verdict}")
    day = counters.get("BM_HostDay")
    if day:
        print(f"\nBM_HostDay: 24 virtual hours at 60 fps in {day['wall_seconds']:.2f} s of wall time "
              f"({day['frames_per_wall_second']:.0f} frames per second); goal < 5 s: "
              f"{'met' if day['wall_seconds'] < 5 else 'NOT met'}")
    memory = counters.get("BM_MatchMemory")
    if memory:
        print(f"BM_MatchMemory: peak RSS {memory['peak_rss_kib_after_100']:.0f} KiB after 100 "
              f"matches, {memory['peak_rss_kib_after_10000']:.0f} KiB after 10,000 "
              f"(growth {memory['growth_kib']:.0f} KiB; goal within 1024 KiB: "
              f"{'met' if memory['growth_kib'] <= 1024 else 'NOT met'}); "
              f"pending captures at the end: {memory['pending_at_end']:.0f}")


if __name__ == "__main__":
    main()
