#!/usr/bin/env python3
"""The reference reader, docs/reader/read_tallyloom.py, over every file the
scenario tests leave, and over the states a folder can be in.

Every expected-files folder of scenarios/ and tests/windows/scenarios/ must read
with exit status 0, nothing skipped (none of them holds a torn remnant), every
history line in one of the matches, and the same result with and without the
jsonschema package. Where a rule of docs/file-formats.md decides what an app
shows, the reader's verdict is checked: the warning raised, the capture kept,
the result trusted, the account shown. Bad input is made from those files by
changing bytes, and read twice through the command line: once with jsonschema
hidden from the reader's import, once with it; the two must agree. A failure
names the folder and the rule.
"""

import contextlib
import io
import json
import os
import shutil
import subprocess
import sys
import tempfile
from unittest import mock

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
READER = os.path.join(ROOT, "docs", "reader", "read_tallyloom.py")
sys.path.insert(0, os.path.dirname(READER))
import read_tallyloom  # noqa: E402  (the reader is a program, not a package)

HISTORY = "bakkesmod_match_history.jsonl"
SNAPSHOT = "bakkesmod_mmr.json"
DAY = "2026-12-06T"

EXACT = 'When an "exact" change can be wrong'
TWICE = "The same match captured twice"
ACCOUNTS = "Several accounts on one machine"
PENDING = "The match history file, What a reader may meet: a pending line alone"
READING = "Reading the file: rules that survive every case"
SNAPSHOT_READING = "Reading the snapshot"
CHECKER = "The reference reader"

SCHEMA_CHECK = read_tallyloom.SchemaCheck.load()
NO_JSONSCHEMA = None  # a folder whose jsonschema package refuses to import (main() makes it)
failures = []


def fail(folder, rule, message):
    if len(message) > 400:  # a 4,100-character id says nothing more at full length
        message = message[:400] + "..."
    failures.append(f"{folder}: § {rule}: {message}")


def read(folder, with_jsonschema=True):
    """The reader's result for a folder, as --json prints it; its summary must print too."""
    result = read_tallyloom.read_folder(folder, SCHEMA_CHECK if with_jsonschema else None,
                                        retry_delay=0)
    with contextlib.redirect_stdout(io.StringIO()):
        read_tallyloom.print_summary(result)
    return json.loads(json.dumps(result))


def run(folder, with_jsonschema=True):
    """Runs the reader as a user does, without waiting between reads of a bad
    snapshot; without jsonschema, the package cannot be imported."""
    env = dict(os.environ)
    if not with_jsonschema:
        env["PYTHONPATH"] = os.pathsep.join(
            [NO_JSONSCHEMA] + [p for p in [env.get("PYTHONPATH")] if p])
    command = [sys.executable, READER, folder, "--json", "--retry-delay", "0"]
    process = subprocess.run(command, capture_output=True, timeout=120, env=env)
    result = json.loads(process.stdout) if process.returncode == 0 else None
    return process.returncode, result, process.stderr.decode(errors="replace")


def run_both(name, folder):
    """Runs the reader without jsonschema and with it: the same status and output,
    and no fault of the reader's own checks that the schemas find."""
    status, result, error = run(folder, with_jsonschema=False)
    with_status, with_result, with_error = run(folder)
    if (with_status, with_result) != (status, result):
        fail(name, CHECKER, f"without jsonschema: status {status}, {result};"
                            f" with it: status {with_status}, {with_result}")
    if "fault of this reader" in error + with_error:
        fail(name, CHECKER, with_error)
    return status, result, error


def find(result, time, playlist):
    for match in result["matches"]:
        if match["timestamp"] == DAY + time and match["playlist_id"] == playlist:
            return match
    return None


# Verdicts: each takes the reader's result and returns what is wrong, or None.

def warned(time, playlist, words):
    def verdict(result):
        match = find(result, time, playlist)
        if match is None:
            return f"no match of {time} in playlist {playlist}"
        if words not in (match["warning"] or ""):
            return (f"the match of {time} in {playlist} should warn \"{words}\";"
                    f" warning: {match['warning']}")
        return None
    return verdict


def not_warned(time, playlist, words):
    def verdict(result):
        match = find(result, time, playlist)
        if match is None:
            return f"no match of {time} in playlist {playlist}"
        if words in (match["warning"] or ""):
            return (f"the match of {time} in {playlist} should not warn \"{words}\";"
                    f" warning: {match['warning']}")
        return None
    return verdict


def clean(time, playlist):
    def verdict(result):
        match = find(result, time, playlist)
        if match is None:
            return f"no match of {time} in playlist {playlist}"
        if match["warning"] is not None:
            return f"the match of {time} in {playlist} should have no warning: {match['warning']}"
        return None
    return verdict


def shows(time, playlist, **fields):
    def verdict(result):
        match = find(result, time, playlist)
        if match is None:
            return f"no match of {time} in playlist {playlist}"
        wrong = {key: match[key] for key, value in fields.items() if match[key] != value}
        if wrong:
            return f"the match of {time} in {playlist} should show {fields}, shows {wrong}"
        return None
    return verdict


def kept(time, playlist, merged_times):
    """The capture of `time` stands for the match, with those of merged_times merged in."""
    def verdict(result):
        match = find(result, time, playlist)
        if match is None:
            return f"the capture of {time} in {playlist} should be the one kept"
        merged = sorted(key.split(":" + DAY)[1][:8] for key in match["merged_keys"])
        if merged != sorted(merged_times):
            return f"the match of {time} in {playlist} should merge {merged_times}, merges {merged}"
        return None
    return verdict


def match_count(count):
    def verdict(result):
        if len(result["matches"]) != count:
            return f"{count} matches expected, the reader shows {len(result['matches'])}"
        return None
    return verdict


def account(player_id, source, others):
    def verdict(result):
        shown = result["account"] or {}
        if (shown.get("player_id"), shown.get("from")) != (player_id, source):
            return f"the account shown should be {player_id} from {source}, is {shown}"
        count = sum(not match["current_account"] for match in result["matches"])
        if count != others:
            return f"{others} matches of other accounts expected, {count} shown"
        return None
    return verdict


STEAM = "76561198012345678"

VERDICTS = {
    "scenarios/capture-cache.files": [
        # After an unknown line read while syncing, and after one never read.
        (EXACT + ", check 2", warned("21:00:30", "11", "carried over")),
        (EXACT + ", check 2", warned("21:01:00", "13", "carried over")),
        (EXACT, clean("21:00:00", "11")),
    ],
    "scenarios/capture-syncing-carry-over.files": [
        (EXACT + ", check 2", warned("21:00:20", "11", "carried over")),
        (EXACT, shows("21:00:20", "11", state="exact", mmr_before=1000, mmr_delta=18)),
        (EXACT, shows("21:00:00", "11", state="unknown", mmr_after=1000)),
    ],
    "scenarios/capture-early-zero.files": [
        (EXACT + ", check 1", warned("21:00:20", "11", "a loss never raises the rating")),
        (EXACT + ", check 2", warned("21:00:20", "11", "carried over")),
        (EXACT + ", check 4", warned("21:00:00", "11", "a change of 0")),
        (TWICE, kept("21:00:38", "13", ["21:00:30"])),
        (TWICE, shows("21:00:38", "13", state="exact", mmr_delta=9, warning=None)),
    ],
    "scenarios/capture-exact-readings.files": [
        # 1000, a failed reading, 1000: an exact 0 at the third attempt.
        (EXACT, shows("21:00:32", "11", state="exact", mmr_delta=0, capture_attempts=3)),
        (EXACT + ", check 4", warned("21:00:00", "11", "a change of 0")),
        (EXACT + ", check 2", warned("21:00:20", "11", "carried over")),
        (EXACT, clean("21:00:10", "13")),
    ],
    "scenarios/capture-unload.files": [
        (TWICE, kept("21:00:08", "11", ["21:00:00"])),  # a final line wins over a pending one
        (TWICE, shows("21:00:08", "11", state="exact", mmr_delta=7, warning=None)),
    ],
    "scenarios/capture-repeat-window.files": [
        (TWICE, kept("21:00:02", "11", ["21:00:10"])),  # two exact 0: the first stays
    ],
    "scenarios/capture-result-rules.files": [
        # Three captures of 3-1 within a minute, one a win: no change tells which.
        (TWICE, kept("21:00:10", "13", ["21:00:20", "21:00:50"])),
        (TWICE, shows("21:00:10", "13", is_win=None)),
        (TWICE, warned("21:00:10", "13", "disagree on win or loss")),
        # 1-3 at 21:00:00 and 21:00:40 are one match; 21:01:00 is a minute after the first.
        (TWICE, kept("21:00:00", "13", ["21:00:40"])),
        (TWICE, kept("21:01:00", "13", [])),
        (TWICE, match_count(4)),
    ],
    "scenarios/capture-history-faults.files": [
        (PENDING, shows("21:00:30", "11", state="pending")),
        (PENDING, warned("21:00:40", "11", "no final line")),
        (EXACT, clean("21:00:50", "11")),
        (ACCOUNTS, account(STEAM, "the history's last line", 0)),
    ],
    "tests/windows/scenarios/windows-append-blocked.files": [
        # The lines of two matches were lost: the next match starts elsewhere.
        (EXACT + ", check 3", warned("21:00:00", "11", "the rating moved after this line")),
    ],
    "scenarios/reliability-huge-ids.files": [
        (ACCOUNTS, account("18446744073709551615", "the snapshot", 1)),
    ],
    "scenarios/demo.files": [
        (EXACT, clean("21:01:10", "11")),
        (ACCOUNTS, account(STEAM, "the snapshot", 0)),
    ],
}


def expected_folders():
    folders = []
    for top in ("scenarios", os.path.join("tests", "windows", "scenarios")):
        for name in sorted(os.listdir(os.path.join(ROOT, top))):
            if name.endswith(".files"):
                folders.append(os.path.join(top, name))
    return folders


def history_keys(folder):
    path = os.path.join(ROOT, folder, HISTORY)
    if not os.path.exists(path):
        return set()
    with open(path, "rb") as f:
        return {json.loads(line)["match_key"] for line in f.read().splitlines()}


def check_folder(folder):
    try:
        result = read(os.path.join(ROOT, folder))
    except read_tallyloom.Unreadable as error:
        fail(folder, READING, f"the reader cannot read it: {error}")
        return
    if result["skipped"] or result["unfinished_line"]:
        fail(folder, READING, f"lines skipped or left unread: {result['skipped']}"
                              f" {result['unfinished_line']}")
    shown = set()
    for match in result["matches"]:
        shown.update([match["match_key"]] + match["merged_keys"])
        exact = match["state"] == "exact"
        if exact and match["mmr_delta"] != match["mmr_after"] - match["mmr_before"]:
            fail(folder, "Field by field", f"{match['match_key']}: mmr_delta is not after - before")
    if shown != history_keys(folder):
        fail(folder, "Two lines per match", "the matches do not hold every capture of the file")
    if os.path.exists(os.path.join(ROOT, folder, SNAPSHOT)) and result["snapshot"] is None:
        fail(folder, "The snapshot file", "the snapshot was not read")
    for rule, verdict in VERDICTS.get(folder, []):
        problem = verdict(result)
        if problem:
            fail(folder, rule, problem)
    # The schemas only add checks: without jsonschema every line reads the same.
    if read(os.path.join(ROOT, folder), with_jsonschema=False) != result:
        fail(folder, READING, "without jsonschema the reader reads otherwise")


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def check_folder_states(work):
    """§ What a reader may meet, in both files: a folder with one file or neither,
    a torn remnant, a line in flight, lines that are not the plugin's, files that
    cannot be used. Exit statuses through the command line, as a user runs it."""
    source = os.path.join(ROOT, "scenarios", "capture-cache.files")
    with open(os.path.join(source, HISTORY), "rb") as f:
        history = f.read()
    with open(os.path.join(source, SNAPSHOT), "rb") as f:
        good_snapshot = f.read()
    lines = history.splitlines(keepends=True)
    intact = read(source)["matches"]

    def case(name, history_bytes=None, snapshot=True):
        folder = os.path.join(work, name)
        os.makedirs(folder)
        if snapshot is not False:  # True: the scenario's own; bytes: those
            write(os.path.join(folder, SNAPSHOT), good_snapshot if snapshot is True else snapshot)
        if history_bytes is not None:
            write(os.path.join(folder, HISTORY), history_bytes)
        return folder

    status, result, _ = run(case("neither", snapshot=False))
    if status != 0 or result["matches"] or result["snapshot"] or len(result["notes"]) != 2:
        fail("a folder with neither file", "What a reader may meet", f"status {status}, {result}")
    status, result, _ = run(os.path.join(work, "not-made-yet"))
    if status != 0 or not result["notes"]:
        fail("a folder not made yet", "What a reader may meet", f"status {status}, {result}")
    status, result, _ = run(case("snapshot-only"))
    if status != 0 or (result["account"] or {}).get("from") != "the snapshot" or result["matches"]:
        fail("a folder with the snapshot only", "What a reader may meet",
             f"status {status}, {result}")
    result = read(case("history-only", history, snapshot=False))
    shown = (result["account"] or {}).get("from")
    if result["matches"] != intact or shown != "the history's last line":
        fail("a folder with the history only", ACCOUNTS, f"{result}")

    # Only a folder that cannot be read makes the reader fail; a history file that
    # cannot be read is named, and the snapshot is shown all the same.
    status, _, error = run(os.path.join(source, SNAPSHOT))
    if status != 1 or "folder" not in error:
        fail("a folder that is a file", CHECKER, f"status {status}, {error}")
    folder = case("unreadable-history")
    os.makedirs(os.path.join(folder, HISTORY))
    status, result, _ = run_both("a history file that cannot be read", folder)
    if (status != 0 or result["snapshot"] is None or result["matches"]
            or not any(HISTORY in note and "cannot be read" in note for note in result["notes"])):
        fail("a history file that cannot be read", "What a reader may meet",
             f"status {status}, {result}")

    # A snapshot that cannot be used is read again, then left out with a note:
    # the history is shown, under the account of its last line.
    bad_snapshots = {
        "empty": b"", "not UTF-8": good_snapshot.replace(b"Ranked", b"R\xe9nked"),
        "an unknown member": good_snapshot.replace(b'"platform"', b'"rank": 1,\r\n  "platform"'),
        "an MMR as text": good_snapshot.replace(b'"mmr": 1000', b'"mmr": "1000"'),
        "an unknown version": good_snapshot.replace(b'"schema_version": 2', b'"schema_version": 3')}
    for name, data in bad_snapshots.items():
        folder = case(f"snapshot-{name}", history, snapshot=data)
        status, result, _ = run_both(f"a snapshot with {name}", folder)
        if (status != 0 or result["snapshot"] is not None or result["matches"] != intact
                or (result["account"] or {}).get("from") != "the history's last line"
                or not any(note.startswith(SNAPSHOT + " ") for note in result["notes"])):
            fail(f"a snapshot with {name}", SNAPSHOT_READING, f"status {status}, {result}")
    # Replaced by the plugin between two reads: the second read counts, after the
    # delay the docs give (the wait itself is left out).
    folder = case("snapshot-replaced", history, snapshot=b"")
    waits = []

    def replaced(seconds):
        waits.append(seconds)
        write(os.path.join(folder, SNAPSHOT), good_snapshot)

    with mock.patch.object(read_tallyloom.time, "sleep", replaced):
        result = read_tallyloom.read_folder(folder)
    if waits != [read_tallyloom.SNAPSHOT_RETRY_DELAY] or result["snapshot"] is None:
        fail("a snapshot replaced between two reads", SNAPSHOT_READING,
             f"waits {waits}, snapshot {result['snapshot']}")

    # A snapshot taken a minute or more after the last matches is the last link of
    # their playlists: it confirms the 0 of 21:00:32 (1000) and shows that the
    # rating moved after the -9 of 21:00:10 (1500, not 1491).
    readings = os.path.join(ROOT, "scenarios", "capture-exact-readings.files", HISTORY)
    folder = case("later-snapshot", snapshot=False)
    shutil.copy(readings, folder)
    snapshot = json.loads(good_snapshot)
    snapshot.update(timestamp=DAY + "21:01:32", playlists=[
        {"playlist_id": "11", "playlist_name": "Ranked Doubles 2v2", "mmr": 1000},
        {"playlist_id": "13", "playlist_name": "Ranked Standard 3v3", "mmr": 1500}])
    write(os.path.join(folder, SNAPSHOT), json.dumps(snapshot).encode())
    result = read(folder)
    for rule, verdict in [(EXACT + ", check 4", not_warned("21:00:32", "11", "a change of 0")),
                          (EXACT + ", check 3", warned("21:00:10", "13", "the latest snapshot"))]:
        problem = verdict(result)
        if problem:
            fail("a snapshot a minute after the last matches", rule, problem)

    # The game died mid-append (the next line starts with its own CR LF), and the
    # last line is still being written: the remnant is skipped and named, every
    # other line is read, the line in flight is left for later.
    torn = b"".join(lines[:2]) + lines[2][:40] + b"\r\n" + b"".join(lines[2:]) + lines[0][:30]
    result = read(case("torn", torn))
    if ([s["line"] for s in result["skipped"]] != [3] or result["unfinished_line"] is None
            or result["matches"] != intact):
        fail("a torn remnant and a line in flight", READING + ", rules 1 and 4",
             f"skipped {result['skipped']}, unfinished {result['unfinished_line']}")
    # A file that ends in a lone CR: its last line waits for the LF that the
    # plugin's next line brings, and then reads as it was.
    result = read(case("lone-cr", history[:-1]))
    if ("CR" not in (result["unfinished_line"] or "")
            or (find(result, "21:01:00", "13") or {}).get("state") != "pending"):
        fail("a file that ends in a lone CR", READING + ", rule 1", f"{result['unfinished_line']}")
    if read(case("lone-cr-ended", history[:-1] + b"\n"))["matches"] != intact:
        fail("a lone CR ended by the next line's LF", READING + ", rule 1",
             "the line reads otherwise")

    # Lines that parse but are not the plugin's: another version, a member
    # missing, a member of the wrong type, a member the layout does not have, a
    # name of another playlist. Each is skipped and named, with and without jsonschema.
    record = json.loads(lines[0])
    strangers = [dict(record, schema_version=4), {k: v for k, v in record.items() if k != "mmr"},
                 dict(record, mmr_before="1000"), dict(record, rank=1),
                 dict(record, playlist_name="Rumble")]
    foreign = b"".join(json.dumps(r).encode() + b"\r\n" for r in strangers) + history
    status, result, _ = run_both("lines that are not the plugin's", case("foreign", foreign))
    if (status != 0 or [s["line"] for s in result["skipped"]] != [1, 2, 3, 4, 5]
            or result["matches"] != intact):
        fail("lines that are not the plugin's", READING + ", rule 4",
             f"status {status}, {result and result['skipped']}")

    # Two different final lines for one key (and the same line twice, which is no
    # conflict): the first stays, and the match says which line was kept.
    other_final = lines[1].replace(b'"mmr":1012', b'"mmr":1015').replace(
        b'"mmr_after":1012,"mmr_delta":12', b'"mmr_after":1015,"mmr_delta":15')
    status, result, _ = run_both("two final lines for one key",
                                 case("conflict", history + lines[3] + other_final))
    problem = f"status {status}" if status else (warned("21:00:00", "11", "lines 2 and 12")(result)
                                                 or shows("21:00:00", "11", mmr_delta=12)(result))
    if problem or result["matches"][1:] != intact[1:]:
        fail("two final lines for one key", READING + ", rule 5", f"{problem or result}")

    # A second of 60 counts as 59: 1-3 at 21:00:60 lies within the minute of 1-3
    # at 21:00:00, where 21:01:00 did not.
    rules = os.path.join(ROOT, "scenarios", "capture-result-rules.files", HISTORY)
    with open(rules, "rb") as f:
        leap = f.read().replace(b"21:01:00", b"21:00:60")
    status, result, _ = run_both("a second of 60", case("leap-second", leap, snapshot=False))
    problem = (f"status {status}" if status
               else kept("21:00:00", "13", ["21:00:40", "21:00:60"])(result))
    if problem:
        fail("a second of 60", TWICE + " and Both files share these rules", f"{problem}")

    # One value read twice without an MMR before may be the old rating too: the
    # next exact change starting from it may include this match's.
    unknown = os.path.join(ROOT, "scenarios", "capture-unknown.files", HISTORY)
    with open(unknown, "rb") as f:
        pair = f.read().splitlines(keepends=True)[2:4]
    pending = pair[0].replace(b"21:00:20", b"21:01:20").replace(
        b'"mmr":null,"mmr_before":null', b'"mmr":1200,"mmr_before":1200')
    final = pair[1].replace(b"21:00:20", b"21:01:20").replace(
        b'"mmr":1200,"mmr_before":null,"mmr_after":1200,"mmr_delta":null,"mmr_delta_valid":false,'
        b'"delta_state":"unknown","capture_attempts":2',
        b'"mmr":1209,"mmr_before":1200,"mmr_after":1209,"mmr_delta":9,"mmr_delta_valid":true,'
        b'"delta_state":"exact","capture_attempts":1')
    folder = case("read-twice", b"".join(pair) + pending + final, snapshot=False)
    status, result, _ = run_both("an exact change after a value read twice", folder)
    problem = (f"status {status}" if status
               else warned("21:01:20", "13", "possibly the old rating")(result))
    if problem:
        fail("an exact change after a value read twice", EXACT + ", check 2", f"{problem}")

    # The second check is wired: with the reader's own check of a line left out,
    # the schemas find the line that it would have refused.
    if SCHEMA_CHECK is not None:
        check = read_tallyloom.SchemaCheck.load()
        with mock.patch.object(read_tallyloom, "record_problem", lambda record: None):
            folder = case("unchecked", json.dumps(strangers[4]).encode() + b"\r\n")
            read_tallyloom.read_folder(folder, check)
        if not check.disagreements:
            fail("a line that only the schemas refuse", CHECKER, "jsonschema found nothing")


def main():
    global NO_JSONSCHEMA
    if SCHEMA_CHECK is None:
        fail("docs/schemas", CHECKER, "jsonschema is missing (the test command installs it)")
    for folder in expected_folders():
        check_folder(folder)
    missing = set(VERDICTS) - set(expected_folders())
    for folder in sorted(missing):
        fail(folder, "the test's own table", "no such expected-files folder")
    with tempfile.TemporaryDirectory(prefix="tallyloom-reader-") as work:
        NO_JSONSCHEMA = os.path.join(work, "no-jsonschema")
        os.makedirs(os.path.join(NO_JSONSCHEMA, "jsonschema"))
        write(os.path.join(NO_JSONSCHEMA, "jsonschema", "__init__.py"),
              b'raise ImportError("hidden from the reader by its test")\n')
        check_folder_states(work)
    for disagreement in SCHEMA_CHECK.disagreements if SCHEMA_CHECK else []:
        fail("docs/schemas", CHECKER, f"the reader's own checks miss a rule: {disagreement}")
    if failures:
        print("FAIL:\n  " + "\n  ".join(failures), file=sys.stderr)
        sys.exit(1)
    print(f"ok the reference reader reads {len(expected_folders())} folders as the docs say")


if __name__ == "__main__":
    main()
