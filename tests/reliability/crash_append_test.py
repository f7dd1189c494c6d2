#!/usr/bin/env python3
"""The game dies in the middle of a history append ("fault crash": half of the
write reaches the disk, then the process ends at once). The next session's
lines must be whole and parse; the partial line stays, alone on its line, and
is the only line that does not parse. A history file made beforehand that
ends in a partial line must be treated the same way, and one cut between the
CR and the LF of its last line end gets just the LF, no empty line."""

import argparse
import json
import os
import subprocess
import sys
import tempfile

CRASH_EXIT_CODE = 99  # platform/testing/FaultInjectionEnv.h
HISTORY = os.path.join(".tallyloom", "bakkesmod_match_history.jsonl")

FIRST_SESSION = """tallyloom_auto_export 0
account 76561198012345678
mmr 11 1000
match 11 3 1
event match-ended
mmr 11 1009 after 1
wait 8
match 11 2 0
fault crash
event match-ended
"""

NEXT_SESSION = """tallyloom_auto_export 0
account 76561198012345678
mmr 11 1009
match 11 0 1
event match-ended
mmr 11 1001 after 1
wait 8
"""


def fail(message):
    print(f"FAIL: {message}", file=sys.stderr)
    sys.exit(1)


def play(host, profile, script, work):
    path = os.path.join(work, "session.tlh")
    with open(path, "w") as f:
        f.write(script)
    env = dict(os.environ, TZ="UTC")
    env.pop("USERPROFILE", None)
    return subprocess.run([*host, "--fps", "0", "--clock", "2026-12-06T21:00:00",
                           "--profile", profile, path],
                          capture_output=True, env=env, timeout=300)


def lines_of(profile):
    with open(os.path.join(profile, HISTORY), "rb") as f:
        data = f.read()
    if not data.endswith(b"\r\n"):
        fail(f"the history does not end with a whole line: {data[-80:]!r}")
    return data[:-2].split(b"\r\n")


def check_after_partial(lines, partial_at, whole_after):
    """Every line parses but the partial one, which is the start of a line."""
    for i, line in enumerate(lines):
        try:
            record = json.loads(line)
        except ValueError:
            if i != partial_at:
                fail(f"line {i + 1} does not parse: {line[:80]!r}")
            if not line.startswith(b'{"timestamp":"'):
                fail(f"line {i + 1} is not the start of a history line: {line[:80]!r}")
            continue
        if i == partial_at:
            fail(f"line {i + 1} should be the partial line, but it parses")
        if record["schema_version"] != 3:
            fail(f"line {i + 1}: {record}")
    if len(lines) != partial_at + 1 + whole_after:
        fail(f"{len(lines)} lines, expected {partial_at + 1 + whole_after}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", required=True, type=os.path.abspath)
    parser.add_argument("--emulator", help="runs the host, e.g. wine for a Windows build")
    args = parser.parse_args()
    host = [args.emulator, args.host] if args.emulator else [args.host]

    with tempfile.TemporaryDirectory(prefix="tallyloom-crash-") as work:
        # A crash mid-append, then the next session.
        profile = os.path.join(work, "crashed")
        run = play(host, profile, FIRST_SESSION, work)
        if run.returncode != CRASH_EXIT_CODE:
            fail(f"the crashing session ended with {run.returncode}, not {CRASH_EXIT_CODE}: "
                 f"{run.stderr.decode(errors='replace')}")
        with open(os.path.join(profile, HISTORY), "rb") as f:
            left = f.read()
        if left.endswith(b"\r\n") or left.count(b"\r\n") != 2:
            fail(f"the crash should leave two whole lines and a partial one: {left[-80:]!r}")
        run = play(host, profile, NEXT_SESSION, work)
        if run.returncode != 0:
            fail(f"the next session failed: {run.stderr.decode(errors='replace')}")
        if left not in open(os.path.join(profile, HISTORY), "rb").read():
            fail("the next session changed what the crash left")
        check_after_partial(lines_of(profile), partial_at=2, whole_after=2)

        # A file made beforehand that ends in a partial line.
        profile = os.path.join(work, "premade")
        os.makedirs(os.path.join(profile, ".tallyloom"))
        with open(os.path.join(profile, HISTORY), "wb") as f:
            f.write(b'{"timestamp":"2026-12-05T20:00:00","playlist_id":"11"')
        run = play(host, profile, NEXT_SESSION, work)
        if run.returncode != 0:
            fail(f"the session on a pre-made file failed: {run.stderr.decode(errors='replace')}")
        check_after_partial(lines_of(profile), partial_at=0, whole_after=2)

        # A file cut between CR and LF: its last line is whole but for the LF.
        profile = os.path.join(work, "cut-crlf")
        os.makedirs(os.path.join(profile, ".tallyloom"))
        whole = b'{"timestamp":"2026-12-05T20:00:00","schema_version":3}'
        with open(os.path.join(profile, HISTORY), "wb") as f:
            f.write(whole + b"\r")
        run = play(host, profile, NEXT_SESSION, work)
        if run.returncode != 0:
            fail(f"the session on a file cut at its CR failed: {run.stderr.decode(errors='replace')}")
        lines = lines_of(profile)
        if lines[0] != whole or len(lines) != 3:
            fail(f"the cut line end is not completed by its LF alone: {lines[:2]!r}")
        check_after_partial(lines, partial_at=-1, whole_after=3)
    print("ok a crash mid-append costs only the partial line")


if __name__ == "__main__":
    main()
