#!/usr/bin/env python3
"""How long the reference reader takes over a long match history, with and
without the jsonschema package. A measurement, not a test: it asserts nothing.

    python3 docs/reader/bench_reader.py                  20,000 and 200,000 lines
    python3 docs/reader/bench_reader.py --lines 2000     other sizes
    python3 docs/reader/bench_reader.py --reader OTHER   another copy of the reader

It writes a folder like a keen player's after years of ranked play (two lines
per match, sessions of a few matches in three playlists, a few exact changes
of 0, unknown ends, pending lines alone and matches captured twice), runs the
reader on it as a user does (`read_tallyloom.py FOLDER --json`), and prints the
wall time and the CPU time of each run. Without jsonschema means with the
package hidden from the reader's `import`, wherever it is installed.
"""

import argparse
import json
import os
import random
import resource
import subprocess
import sys
import tempfile
import time
from datetime import datetime, timedelta

HERE = os.path.dirname(os.path.abspath(__file__))
PLAYLISTS = {"10": "Ranked Duel 1v1", "11": "Ranked Doubles 2v2", "13": "Ranked Standard 3v3"}
PLAYER = "76561198012345678"


def history_lines(count, seed=36):
    """`count` lines (whole matches, so one more when count is odd) of one account."""
    rng = random.Random(seed)
    mmr = {"10": 1100, "11": 1000, "13": 1500}
    when = datetime(2024, 1, 1, 18, 0, 0)
    lines = []

    def line(playlist, ended, blue, orange, win, before, after, state, attempts):
        stamp = ended.strftime("%Y-%m-%dT%H:%M:%S")
        exact = state == "exact"
        record = {
            "timestamp": stamp, "playlist_id": playlist, "playlist_name": PLAYLISTS[playlist],
            "schema_version": 3, "plugin_version": "2.0.0.7",
            "match_key": f"{playlist}:{PLAYER}:{stamp}:{blue}:{orange}",
            "score_blue": blue, "score_orange": orange, "is_win": win,
            "mmr": after if after is not None else before, "mmr_before": before,
            "mmr_after": after, "mmr_delta": after - before if exact else None,
            "mmr_delta_valid": exact, "delta_state": state, "capture_attempts": attempts,
            "capture_complete": state != "pending", "platform": "steam", "player_id": PLAYER}
        return json.dumps(record, separators=(",", ":")).encode() + b"\r\n"

    while len(lines) < count:
        when += timedelta(minutes=rng.choice([8, 9, 10, 12, 15, 600, 1300]))
        playlist = rng.choice(["10", "11", "11", "13"])
        win = rng.random() < 0.5
        blue, orange = (3, rng.randint(0, 2)) if win else (rng.randint(0, 2), 3)
        before = mmr[playlist]
        change = rng.randint(6, 12) * (1 if win else -1)
        mmr[playlist] = max(101, before + change)
        pending = line(playlist, when, blue, orange, win, before, None, "pending", 0)
        roll = rng.random()
        if roll < 0.03:  # the service had not synced yet: an exact 0
            final = line(playlist, when, blue, orange, win, before, before, "exact", 2)
        elif roll < 0.06:  # it never settled
            final = line(playlist, when, blue, orange, win, before, mmr[playlist], "unknown", 7)
        elif roll < 0.07:  # the game closed: a pending line alone
            final = b""
        else:
            final = line(playlist, when, blue, orange, win, before, mmr[playlist], "exact", 1)
        lines += [pending] + ([final] if final else [])
        if roll > 0.99:  # the match's second event, 9 s later: captured twice
            again = when + timedelta(seconds=9)
            lines.append(line(playlist, again, blue, orange, win, mmr[playlist], None,
                              "pending", 0))
            lines.append(line(playlist, again, blue, orange, win, mmr[playlist], mmr[playlist],
                              "exact", 2))
    return lines[:count] if count % 2 == 0 else lines, mmr, when


def make_folder(folder, count):
    lines, mmr, last = history_lines(count)
    with open(os.path.join(folder, "bakkesmod_match_history.jsonl"), "wb") as f:
        f.write(b"".join(lines))
    taken = (last + timedelta(minutes=5)).strftime("%Y-%m-%dT%H:%M:%S")
    playlists = ",\r\n".join(
        f'    {{"playlist_id": "{p}", "playlist_name": "{PLAYLISTS[p]}", "mmr": {mmr[p]}}}'
        for p in ("10", "11", "13"))
    snapshot = (f'{{\r\n  "schema_version": 2,\r\n  "plugin_version": "2.0.0.7",\r\n'
                f'  "platform": "steam",\r\n  "player_id": "{PLAYER}",\r\n'
                f'  "timestamp": "{taken}",\r\n  "playlists": [\r\n{playlists}\r\n  ]\r\n}}\r\n')
    with open(os.path.join(folder, "bakkesmod_mmr.json"), "wb") as f:
        f.write(snapshot.encode())
    return len(lines)


def hidden_jsonschema(work):
    """A folder for PYTHONPATH whose jsonschema refuses to import, as if not installed."""
    blocker = os.path.join(work, "no-jsonschema")
    os.makedirs(os.path.join(blocker, "jsonschema"), exist_ok=True)
    with open(os.path.join(blocker, "jsonschema", "__init__.py"), "w") as f:
        f.write('raise ImportError("jsonschema hidden for this run")\n')
    return blocker


def timed(command, env):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    process = subprocess.run(command, env=env, capture_output=True)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    if process.returncode != 0:
        sys.exit(f"the reader failed: {process.stderr.decode(errors='replace')}")
    return wall, cpu, json.loads(process.stdout)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--lines", type=int, nargs="+", default=[20000, 200000])
    parser.add_argument("--reader", default=os.path.join(HERE, "read_tallyloom.py"))
    args = parser.parse_args()
    print(f"{'lines':>8} {'jsonschema':>10} {'wall s':>8} {'CPU s':>8} {'matches':>8}")
    with tempfile.TemporaryDirectory(prefix="tallyloom-bench-") as work:
        blocker = hidden_jsonschema(work)
        for count in args.lines:
            folder = os.path.join(work, f"lines-{count}")
            os.makedirs(folder)
            written = make_folder(folder, count)
            for with_package in (False, True):
                env = dict(os.environ)
                if not with_package:
                    env["PYTHONPATH"] = os.pathsep.join(
                        [blocker] + [p for p in [env.get("PYTHONPATH")] if p])
                wall, cpu, result = timed([sys.executable, args.reader, folder, "--json"], env)
                print(f"{written:>8} {'with' if with_package else 'without':>10}"
                      f" {wall:>8.2f} {cpu:>8.2f} {len(result['matches']):>8}", flush=True)


if __name__ == "__main__":
    main()
