#!/usr/bin/env python3
"""The reference reader of the TallyLoom files, written from docs/file-formats.md.

It reads a folder holding bakkesmod_mmr.json and bakkesmod_match_history.jsonl
the way the docs tell a desktop app to, and prints what the app should show:

    python3 docs/reader/read_tallyloom.py FOLDER          a summary for a person
    python3 docs/reader/read_tallyloom.py FOLDER --json   the same as one JSON object

Each rule names the section of docs/file-formats.md that it follows, as
"§ Title". Python's standard library only: the reader's own checks hold every
rule of the JSON Schemas in docs/schemas, so its verdicts are the same with or
without the jsonschema package. Where that package is installed, it checks the
reader's own checks against the schemas (§ The reference reader): it never
changes a verdict, and a disagreement is printed on stderr as a fault of this
reader.

Exit status: 0 when the folder was read, also when it holds neither file yet
and when a file in it cannot be used (the output says which and why); 1 when
the folder itself cannot be read; 2 for a bad command line.
"""

import argparse
import json
import os
import re
import sys
import time
from datetime import datetime, timedelta

SNAPSHOT = "bakkesmod_mmr.json"
HISTORY = "bakkesmod_match_history.jsonl"
SCHEMAS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "schemas")

# § Reading the snapshot: a snapshot that cannot be used is read again half a
# second later, three reads in all, before the reader goes on without it.
SNAPSHOT_READS = 3
SNAPSHOT_RETRY_DELAY = 0.5
# § The same match captured twice: captures less than a minute after the first are one match.
SAME_MATCH_WITHIN = timedelta(minutes=1)
# § When an "exact" change can be wrong, check 3: a snapshot this long after a
# match's end was taken after its final line (which comes within 19 s, a
# minute allowed for a busy game).
SNAPSHOT_AFTER = timedelta(minutes=1)
# § Pending, exact and unknown: readings after a match, at most 7.
MAX_ATTEMPTS = 7

INT32_MIN, INT32_MAX = -2**31, 2**31 - 1
# § The snapshot file, Field by field: the seven ranked playlists.
PLAYLIST_NAMES = {"10": "Ranked Duel 1v1", "11": "Ranked Doubles 2v2",
                  "13": "Ranked Standard 3v3", "27": "Hoops", "28": "Rumble",
                  "29": "Dropshot", "30": "Snow Day"}


class Unreadable(Exception):
    """The folder cannot be read."""


# ---------------------------------------------------------------------------
# The layouts, as the reader's own checks: every rule of docs/schemas

TIMESTAMP = re.compile(r"[0-9]{4}-(0[1-9]|1[0-2])-(0[1-9]|[12][0-9]|3[01])"
                       r"T([01][0-9]|2[0-3]):[0-5][0-9]:([0-5][0-9]|60)")
PLUGIN_VERSION = re.compile(r"[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+")
PLAYLIST_ID = re.compile(r"0|-?[1-9][0-9]{0,9}")
MATCH_KEY = re.compile(r"(0|-?[1-9][0-9]*):[\s\S]*:[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}"
                       r":[0-9]{2}:(0|-?[1-9][0-9]*):(0|-?[1-9][0-9]*)")
STEAM_ID = re.compile(r"[0-9]{15,20}")  # § The snapshot file, Field by field: platform


def is_text(value):
    return type(value) is str


def is_bool(value):
    return type(value) is bool


def is_int32(value):
    # A bare integer: JSON's 3.0 or true is not one, whatever a schema library says of 3.0.
    return type(value) is int and INT32_MIN <= value <= INT32_MAX


def is_mmr(value):
    # § The snapshot file, Field by field: at least 1, never 100.
    return type(value) is int and 1 <= value <= INT32_MAX and value != 100


def is_optional_mmr(value):
    return value is None or is_mmr(value)


def is_optional_delta(value):
    return value is None or (type(value) is int and abs(value) <= INT32_MAX - 1)


def is_timestamp(value):
    # The schema's pattern lets 31 February through; a date that does not exist
    # cannot be ordered or measured, so the reader refuses it too.
    return local_time(value) is not None


def matches(pattern):
    return lambda value: type(value) is str and pattern.fullmatch(value) is not None


def one_of(*values):
    kind, allowed = type(values[0]), frozenset(values)  # values of one JSON type
    return lambda value: type(value) is kind and value in allowed


def shown_value(value):
    text = json.dumps(value, ensure_ascii=False)
    return text if len(text) <= 40 else text[:40] + "..."


# § The match history file, Field by field: every member, in order, with what it holds.
LINE_MEMBERS = {
    "timestamp": (is_timestamp, "a local time YYYY-MM-DDTHH:MM:SS that exists"),
    "playlist_id": (matches(PLAYLIST_ID), "a playlist id in decimal digits, as text"),
    "playlist_name": (is_text, "text"),
    "schema_version": (one_of(3), "3"),
    "plugin_version": (matches(PLUGIN_VERSION), "four dot-separated numbers, as text"),
    "match_key": (matches(MATCH_KEY), "a match key"),
    "score_blue": (is_int32, "a whole number"),
    "score_orange": (is_int32, "a whole number"),
    "is_win": (is_bool, "true or false"),
    "mmr": (is_optional_mmr, "an MMR (a whole number of at least 1, not 100) or null"),
    "mmr_before": (is_optional_mmr, "an MMR (a whole number of at least 1, not 100) or null"),
    "mmr_after": (is_optional_mmr, "an MMR (a whole number of at least 1, not 100) or null"),
    "mmr_delta": (is_optional_delta, "a whole number or null"),
    "mmr_delta_valid": (is_bool, "true or false"),
    "delta_state": (one_of("pending", "exact", "unknown"), '"pending", "exact" or "unknown"'),
    "capture_attempts": (lambda v: type(v) is int and 0 <= v <= MAX_ATTEMPTS, "0 to 7"),
    "capture_complete": (is_bool, "true or false"),
    "platform": (one_of("steam", "epic"), '"steam" or "epic"'),
    "player_id": (is_text, "text"),
}

# § Pending, exact and unknown: what a line of each state holds.
STATE_RULES = {
    "pending": [("capture_complete", lambda v: v is False, "false"),
                ("capture_attempts", lambda v: v == 0, "0"),
                ("mmr_after", lambda v: v is None, "null"),
                ("mmr_delta", lambda v: v is None, "null"),
                ("mmr_delta_valid", lambda v: v is False, "false")],
    "exact": [("capture_complete", lambda v: v is True, "true"),
              ("capture_attempts", lambda v: v >= 1, "at least 1"),
              ("mmr", lambda v: v is not None, "an MMR"),
              ("mmr_before", lambda v: v is not None, "an MMR"),
              ("mmr_after", lambda v: v is not None, "an MMR"),
              ("mmr_delta", lambda v: v is not None, "a number"),
              ("mmr_delta_valid", lambda v: v is True, "true")],
    "unknown": [("capture_complete", lambda v: v is True, "true"),
                ("capture_attempts", lambda v: v >= 2, "at least 2"),
                ("mmr_delta", lambda v: v is None, "null"),
                ("mmr_delta_valid", lambda v: v is False, "false")],
}

# § The snapshot file, Field by field.
SNAPSHOT_MEMBERS = {
    "schema_version": (one_of(2), "2"),
    "plugin_version": (matches(PLUGIN_VERSION), "four dot-separated numbers, as text"),
    "platform": (one_of("steam", "epic"), '"steam" or "epic"'),
    "player_id": (is_text, "text"),
    "display_name": (is_text, "text"),
    "timestamp": (is_timestamp, "a local time YYYY-MM-DDTHH:MM:SS that exists"),
    "playlists": (lambda v: type(v) is list and 1 <= len(v) <= len(PLAYLIST_NAMES),
                  "a list of 1 to 7 playlists"),
}
SNAPSHOT_OPTIONAL = {"display_name"}
PLAYLIST_MEMBERS = {
    "playlist_id": (is_text, "text"),
    "playlist_name": (is_text, "text"),
    "mmr": (is_mmr, "an MMR (a whole number of at least 1, not 100)"),
}


def members_problem(document, members, optional=()):
    """Unknown members, missing members and members of the wrong kind, first found first."""
    if type(document) is not dict:
        return "is not a JSON object"
    for key in document:
        if key not in members:
            return f"has a member the layout does not have: {shown_value(key)}"
    for key, (check, expected) in members.items():
        if key not in document:
            if key not in optional:
                return f"has no {key}"
        elif not check(document[key]):
            return f"has {shown_value(document[key])} for {key}, not {expected}"
    return None


def snapshot_problem(snapshot):
    """What is wrong with a parsed snapshot, or None. § The snapshot file, Field by field:
    refuse a version you do not know; the schema's other rules, in the reader's own code."""
    if type(snapshot) is dict and "schema_version" in snapshot and snapshot["schema_version"] != 2:
        return f"has schema_version {shown_value(snapshot['schema_version'])}, not 2"
    problem = members_problem(snapshot, SNAPSHOT_MEMBERS, SNAPSHOT_OPTIONAL)
    if problem:
        return problem
    if snapshot["platform"] == "steam" and not STEAM_ID.fullmatch(snapshot["player_id"]):
        return "is a Steam account whose player_id is not 15 to 20 decimal digits"
    for number, playlist in enumerate(snapshot["playlists"], 1):
        problem = members_problem(playlist, PLAYLIST_MEMBERS)
        if (problem is None
                and PLAYLIST_NAMES.get(playlist["playlist_id"]) != playlist["playlist_name"]):
            problem = (f"has playlist_id {shown_value(playlist['playlist_id'])} with playlist_name"
                       f" {shown_value(playlist['playlist_name'])}, not one of the seven ranked"
                       " playlists")
        if problem:
            return f"has a playlist (number {number}) that {problem}"
    return None


def record_problem(record):
    """What is wrong with a parsed history line, or None. § Reading the file, rule 4: a
    schema_version you do not know, or anything else the schema refuses."""
    if (type(record) is dict and "schema_version" in record
            and not one_of(3)(record["schema_version"])):
        return f"has schema_version {shown_value(record['schema_version'])}, not 3"
    problem = members_problem(record, LINE_MEMBERS)
    if problem:
        return problem
    # § The match history file, Field by field: the name belongs to the id.
    expected = PLAYLIST_NAMES.get(record["playlist_id"], "Unknown")
    if record["playlist_name"] != expected:
        return (f"has playlist_name {shown_value(record['playlist_name'])} for playlist_id"
                f" {record['playlist_id']}, not {shown_value(expected)}")
    state = record["delta_state"]
    for key, check, expected in STATE_RULES[state]:
        if not check(record[key]):
            return f"is {'an' if state != 'pending' else 'a'} {state} line with {key}" \
                   f" {shown_value(record[key])}, not {expected}"
    if record["mmr"] is None and (record["mmr_before"], record["mmr_after"]) != (None, None):
        return "has mmr null although it knows an MMR before or after"
    if record["mmr"] is not None and (record["mmr_before"], record["mmr_after"]) == (None, None):
        return "has an mmr although it knows no MMR before or after"
    if record["platform"] == "steam" and not STEAM_ID.fullmatch(record["player_id"]):
        return "is a Steam account's line whose player_id is not 15 to 20 decimal digits"
    return None


class SchemaCheck:
    """§ The reference reader: the jsonschema package, where installed, checks the
    reader's own checks against docs/schemas. It looks at documents the reader has
    accepted: the snapshot, and the first history line of each kind (state, playlist,
    platform, which MMRs are null), which reaches every branch of the schema at the
    cost of a few lines. A document the schema refuses is a fault of this reader,
    kept in `disagreements`; the verdict stays the reader's own."""

    def __init__(self, jsonschema, validators):
        self.jsonschema = jsonschema
        self.validators = validators  # built once, here
        self.kinds = set()
        self.disagreements = []

    @classmethod
    def load(cls):
        """None when jsonschema is not installed or the schemas are not beside this reader."""
        try:
            import jsonschema
        except ImportError:
            return None
        validators = {}
        for name in ("snapshot", "history-line"):
            path = os.path.join(SCHEMAS, f"{name}.schema.json")
            if not os.path.exists(path):
                return None
            with open(path, encoding="utf-8") as f:
                schema = json.load(f)
            validators[name] = jsonschema.validators.validator_for(schema)(schema)
        return cls(jsonschema, validators)

    def snapshot(self, snapshot):
        self.check("snapshot", snapshot, SNAPSHOT)

    def line(self, record, number):
        known = record["playlist_id"] in PLAYLIST_NAMES
        kind = (record["delta_state"], known and record["playlist_id"], record["platform"],
                record["mmr"] is None, record["mmr_before"] is None, record["mmr_after"] is None)
        if kind not in self.kinds:
            self.kinds.add(kind)
            self.check("history-line", record, f"line {number} of {HISTORY}")

    def check(self, name, document, where):
        error = self.jsonschema.exceptions.best_match(self.validators[name].iter_errors(document))
        if error is not None:
            at = "/".join(str(part) for part in error.absolute_path) or "the top level"
            self.disagreements.append(
                f"{where} passes the reader's own checks but breaks {name}.schema.json at {at}:"
                f" {error.message[:200]}")


def local_time(text):
    """§ Both files share these rules: local time, no zone. A second of 60 counts as 59.
    None for anything else than such a time of a date that exists."""
    if type(text) is not str or TIMESTAMP.fullmatch(text) is None:
        return None
    try:
        return datetime(int(text[0:4]), int(text[5:7]), int(text[8:10]), int(text[11:13]),
                        int(text[14:16]), min(int(text[17:19]), 59))
    except ValueError:
        return None


# ---------------------------------------------------------------------------
# The snapshot file

def read_snapshot(folder, schema_check=None, retry_delay=SNAPSHOT_RETRY_DELAY):
    """§ Reading the snapshot. Returns the snapshot and None, or None and a note: none
    when there is no file yet, else why it cannot be used after its last read."""
    path = os.path.join(folder, SNAPSHOT)
    for read in range(1, SNAPSHOT_READS + 1):
        if read > 1:
            time.sleep(retry_delay)
        try:
            with open(path, "rb") as f:
                data = f.read()
        except FileNotFoundError:
            # § The snapshot file, What a reader may meet: no file until the first export.
            return None, None
        except OSError as error:
            problem = f"cannot be opened ({error.strerror or error})"
            continue
        try:
            snapshot = json.loads(data.decode("utf-8"))
        except UnicodeDecodeError as error:
            problem = f"is not UTF-8 (byte {error.start})"
            continue
        except ValueError as error:
            problem = "is empty" if not data else f"does not parse ({error})"
            continue
        problem = snapshot_problem(snapshot)
        if problem is None:
            if schema_check:
                schema_check.snapshot(snapshot)
            return snapshot, None
    return None, (f"{SNAPSHOT} {problem} (read {SNAPSHOT_READS} times, {retry_delay:g} s apart):"
                  " the folder is shown without it until the plugin's next export replaces it")


# ---------------------------------------------------------------------------
# The match history file, line by line

def line_problem(raw):
    """What is wrong with one line (its bytes with the line end), or None and the record.
    § Reading the file, rule 4: a line that does not parse, has a schema_version
    you do not know, or breaks the schema."""
    try:
        record = json.loads(raw.rstrip(b"\r\n").decode("utf-8"))
    except ValueError as error:  # a UnicodeDecodeError is a ValueError too
        return f"does not parse ({error})", None
    problem = record_problem(record)
    if problem:
        return problem, None
    return None, record


class HistoryReader:
    """§ Reading the file: rules that survive every case. poll() may be called
    again and again with the file's bytes as they are then, or once."""

    def __init__(self, schema_check=None):
        self.schema_check = schema_check
        self.start_over()

    def start_over(self):
        # Rule 5: starting over forgets everything read before.
        self.offset = 0         # rule 2: where the last whole line ended
        self.last_line = b""    # rule 2: the bytes of that line
        self.line_number = 0
        self.records = {}       # rule 5: match_key -> record, in the order of first lines
        self.kept_line = {}     # match_key -> the number of the line kept for it
        self.first_lines = {}   # match_key -> {capture_complete: (number, record) of the first}
        self.conflicts = {}     # match_key -> {capture_complete: numbers of its different lines}
        self.skipped = []       # rule 4: [{"line": number, "reason": text}]
        self.tail = b""         # rule 1: bytes after the last line end
        self.last_record = None  # the last good line, for § Several accounts on one machine

    def poll(self, data):
        # Rule 3: the bytes just before the remembered offset must still be there.
        if self.offset:
            before = data[self.offset - len(self.last_line):self.offset]
            if len(data) < self.offset or before != self.last_line:
                self.start_over()
        resumed = self.offset > 0
        while True:
            end = data.find(b"\n", self.offset)
            if end < 0:
                self.tail = data[self.offset:]  # rule 1: not there yet
                return
            raw = data[self.offset:end + 1]
            problem, record = line_problem(raw)
            if problem and resumed:  # rule 4: start over once...
                self.start_over()
                resumed = False
                continue
            self.line_number += 1
            if problem:  # ...and a line still bad from the beginning is skipped, and named.
                self.skipped.append({"line": self.line_number, "reason": problem})
            else:
                if self.schema_check:
                    self.schema_check.line(record, self.line_number)
                self.keep(record)
                self.last_record = record
            self.offset, self.last_line = end + 1, raw  # rule 2

    def keep(self, record):
        # Rule 5 and § Two lines per match: pair by match_key; the final line
        # replaces the pending one, and the same line read twice changes nothing.
        key, final = record["match_key"], record["capture_complete"]
        first = self.first_lines.setdefault(key, {})
        if final in first:
            # Of two different final (or pending) lines for one key, the first stays,
            # as an app that showed it before the second came keeps showing it.
            number, seen = first[final]
            if record != seen:
                self.conflicts.setdefault(key, {}).setdefault(final, [number]).append(
                    self.line_number)
            return
        first[final] = (self.line_number, record)
        old = self.records.get(key)
        if old is None or (final and not old["capture_complete"]):
            self.records[key] = record  # a key keeps its place in the order
            self.kept_line[key] = self.line_number


def read_history(folder, schema_check=None):
    """§ The match history file, What a reader may meet: no file until the first capture.
    Returns the reader and None, or None and a note."""
    path = os.path.join(folder, HISTORY)
    try:
        with open(path, "rb") as f:
            data = f.read()
    except FileNotFoundError:
        return None, None
    except OSError as error:
        return None, (f"{HISTORY} cannot be read ({error.strerror or error}): its matches"
                      " are not shown; read it again later")
    reader = HistoryReader(schema_check)
    reader.poll(data)
    return reader, None


# ---------------------------------------------------------------------------
# From lines to matches (§ From lines to matches)

def rank(line):
    """§ The same match captured twice, which capture to keep: higher says more."""
    if line["delta_state"] == "exact":
        return 5 if line["mmr_delta"] != 0 else 4
    if line["delta_state"] == "unknown":
        return 3 if line["mmr_after"] is not None else 2
    return 1


def merge_same_match(captures, conflicts=None):
    """§ The same match captured twice. captures: one line per match_key, in the
    order of their first line; conflicts: match_key -> the number of the line kept
    and, per kind (capture_complete), the numbers of different lines of that kind
    (§ Reading the file, rule 5). Returns one
    match per group of captures. A group's window runs from its first capture in
    the file, not from each capture; one that lies before that first (the clock
    was set back) starts a match of its own."""
    groups = []
    latest = {}  # (player, playlist, blue goals, orange goals) -> the latest group of those
    for line in captures:
        same = (line["player_id"], line["playlist_id"], line["score_blue"], line["score_orange"])
        when = local_time(line["timestamp"])
        group = latest.get(same)
        if group:
            first = local_time(group[0]["timestamp"])
            if first <= when < first + SAME_MATCH_WITHIN:
                group.append(line)
                continue
        latest[same] = [line]
        groups.append(latest[same])
    return [match_of(group, conflicts or {}) for group in groups]


def match_of(group, conflicts):
    """One match from its captures: the one that says most, the first among equals."""
    kept = group[0]
    for line in group[1:]:
        if rank(line) > rank(kept):
            kept = line
    match = {
        "match_key": kept["match_key"],
        "timestamp": kept["timestamp"],
        "playlist_id": kept["playlist_id"],
        "playlist_name": kept["playlist_name"],
        "platform": kept["platform"],
        "player_id": kept["player_id"],
        "score_blue": kept["score_blue"],
        "score_orange": kept["score_orange"],
        "is_win": kept["is_win"],
        "state": kept["delta_state"],
        "mmr_before": kept["mmr_before"],
        "mmr_after": kept["mmr_after"],
        "mmr_delta": kept["mmr_delta"],
        "capture_attempts": kept["capture_attempts"],
        "merged_keys": [line["match_key"] for line in group if line is not kept],
        "warnings": [],
    }
    # § The same match captured twice, win or loss: when the captures disagree,
    # the sign of the kept exact change decides; without one the files cannot tell.
    if len({line["is_win"] for line in group}) > 1:
        if match["state"] == "exact" and match["mmr_delta"] != 0:
            match["is_win"] = match["mmr_delta"] > 0
        else:
            match["is_win"] = None
            match["warnings"].append(
                "the captures of this match disagree on win or loss, and no change tells which")
    # § Reading the file, rule 5: different lines of one kind for one match_key.
    for line in group:
        kept_line, kinds = conflicts.get(line["match_key"], (None, {}))
        for final, numbers in sorted(kinds.items(), reverse=True):
            which = "the first" if kept_line == numbers[0] else "its final line"
            listed = ", ".join(map(str, numbers[:-1])) + f" and {numbers[-1]}"
            match["warnings"].append(
                f"lines {listed} of the history are different {'final' if final else 'pending'}"
                f" lines of the capture of {line['timestamp']} (one match_key): line {kept_line},"
                f" {which}, is kept")
    # § The match history file, What a reader may meet: a pending line alone.
    if match["state"] == "pending":
        match["warnings"].append(
            "no final line: the change is not known; a final line comes within a minute of"
            " the match's end (19 s as the game's timers count, more when the game is busy)"
            " or never, and one read of the file cannot tell which")
    return match


def left_in_memory(match):
    """§ Pending, exact and unknown: what a finished capture leaves in the plugin's memory."""
    return match["mmr_after"] if match["mmr_after"] is not None else match["mmr_before"]


def ended_settled(match):
    """§ When an "exact" change can be wrong: a capture that ended on a settled rating,
    a changed value. Two equal readings (an exact 0, an unknown line without an MMR
    before) may both be the old rating."""
    return match["state"] == "exact" and match["mmr_delta"] != 0


def check_changes(matches, snapshot):
    """§ When an "exact" change can be wrong, checks 1 to 4, per account and playlist."""
    last = {}  # (player_id, playlist_id) -> the latest match
    for match in matches:
        chain = (match["player_id"], match["playlist_id"])
        if chain in last:
            check_link(last[chain], match["mmr_before"], match, "the next match in this playlist")
        last[chain] = match
        check_sign(match)
    confirmed = set()  # the matches that a later snapshot confirms, by id()
    if snapshot:
        taken = local_time(snapshot["timestamp"])
        for playlist in snapshot["playlists"]:
            match = last.get((snapshot["player_id"], playlist["playlist_id"]))
            if match and taken >= local_time(match["timestamp"]) + SNAPSHOT_AFTER:
                check_link(match, playlist["mmr"], None, "the latest snapshot")
                if playlist["mmr"] == left_in_memory(match):
                    confirmed.add(id(match))
    for match in matches:
        # Check 4: a 0 that no later snapshot confirms. The next match's MMR before
        # cannot: it is the plugin's memory, the 0's own value, unless an export
        # read the service in between, and the files do not say whether one did.
        if match["state"] == "exact" and match["mmr_delta"] == 0 and id(match) not in confirmed:
            match["warnings"].append(
                "a change of 0 is also what a capture shows that read the old rating twice"
                " (before the rating service began syncing, or after a sync that ended before the"
                " new rating came); nothing in the files confirms it but a snapshot taken a minute"
                " or more after it with no match of this playlist in between")


def check_link(previous, next_before, following, what):
    """§ When an "exact" change can be wrong, checks 2 and 3, between a match and the
    MMR that the next link (the next match, or the latest snapshot) starts from."""
    remembered = left_in_memory(previous)
    if remembered is None or next_before is None:
        return
    if next_before != remembered:
        # Check 3: the rating moved after the previous line was written.
        if previous["state"] == "exact":
            previous["warnings"].append(
                f"{what} starts from {next_before}, not from this line's {remembered}: the rating"
                " moved after this line; this change settled before the rating service had synced,"
                " or matches in between left no line")
    elif following and following["state"] == "exact" and not ended_settled(previous):
        # Check 2: an MMR before carried over from a match that did not settle.
        following["warnings"].append(
            f"the MMR before ({next_before}) was carried over from the previous match in this"
            f" playlist, which did not settle ({describe_end(previous)}): this change may"
            " include that match's")


def describe_end(match):
    if match["state"] == "pending":
        return "it has no final line"
    if match["state"] == "exact":
        return "an exact 0"
    if match["mmr_after"] is None:
        return "unknown, never read"
    if match["capture_attempts"] < MAX_ATTEMPTS:
        return "unknown, one value read twice without an MMR before, possibly the old rating"
    return "unknown, last read while the service may have been syncing"


def check_sign(match):
    """§ When an "exact" change can be wrong, check 1: a win never lowers the rating,
    a loss never raises it."""
    if match["state"] != "exact" or match["is_win"] is None:
        return
    if match["mmr_delta"] > 0 and not match["is_win"]:
        match["warnings"].append(
            "a loss never raises the rating: this change includes another match's")
    if match["mmr_delta"] < 0 and match["is_win"]:
        match["warnings"].append(
            "a win never lowers the rating: this change includes another match's")


def current_account(snapshot, history):
    """§ Several accounts on one machine: the snapshot's account, else the last line's."""
    if snapshot:
        return {"platform": snapshot["platform"], "player_id": snapshot["player_id"],
                "from": "the snapshot"}
    if history and history.last_record:
        return {"platform": history.last_record["platform"],
                "player_id": history.last_record["player_id"],
                "from": "the history's last line"}
    return None


# ---------------------------------------------------------------------------
# The folder

def read_folder(folder, schema_check=None, retry_delay=SNAPSHOT_RETRY_DELAY):
    """§ From lines to matches: the folder as an app shows it. Raises Unreadable only
    when the folder itself cannot be read; a file that cannot be used gets a note."""
    result = {"folder": folder, "snapshot": None, "account": None, "matches": [],
              "skipped": [], "unfinished_line": None, "notes": []}
    try:
        os.listdir(folder)
    except FileNotFoundError:
        # § The snapshot file, What a reader may meet: the folder may not exist yet.
        result["notes"].append("no such folder yet: the plugin makes it at its first export")
        return result
    except OSError as error:
        raise Unreadable(f"the folder cannot be read ({error.strerror or error})")
    snapshot, note = read_snapshot(folder, schema_check, retry_delay)
    if snapshot is None:
        result["notes"].append(note or f"no {SNAPSHOT} yet: nothing exported so far")
    else:
        result["snapshot"] = {key: snapshot.get(key) for key in
                              ("platform", "player_id", "display_name", "timestamp", "playlists")}
    history, note = read_history(folder, schema_check)
    matches = []
    if history is None:
        result["notes"].append(note or f"no {HISTORY} yet: no ranked match captured so far")
    else:
        conflicts = {key: (history.kept_line[key], kinds)
                     for key, kinds in history.conflicts.items()}
        matches = merge_same_match(list(history.records.values()), conflicts)
        check_changes(matches, snapshot)
        result["skipped"] = history.skipped
        if history.tail.endswith(b"\r"):
            # § Reading the file, rule 1: a lone CR ends a whole line whose LF is to come.
            result["unfinished_line"] = (
                f"{len(history.tail)} bytes after the last line end, ending in a CR without its"
                " LF: a whole line whose LF is still being written, or comes with the plugin's"
                " next line; read again later")
        elif history.tail:
            result["unfinished_line"] = (
                f"{len(history.tail)} bytes after the last line end: a line being written,"
                " or the remnant of a crash that the next line will end; read again later")
    result["account"] = current_account(snapshot, history)
    for match in matches:
        match["current_account"] = (result["account"] is not None
                                    and match["player_id"] == result["account"]["player_id"])
        match["warning"] = "; ".join(match.pop("warnings")) or None
    result["matches"] = matches
    return result


# ---------------------------------------------------------------------------
# Output

def shown(text, limit=40):
    """Text from the game as JSON shows it (control characters escaped), long ids cut."""
    if len(text) > limit:
        return json.dumps(text[:limit], ensure_ascii=False)[:-1] + f'..." ({len(text)} characters)'
    return json.dumps(text, ensure_ascii=False)


def signed(number):
    return f"{number:+d}" if number is not None else "?"


def describe(match):
    result = {True: "win", False: "loss", None: "win or loss?"}[match["is_win"]]
    text = (f"{match['timestamp']}  {match['playlist_name']} ({match['playlist_id']})"
            f"  {match['score_blue']}-{match['score_orange']} {result}  {match['state']}")
    before, after = match["mmr_before"], match["mmr_after"]
    if match["state"] == "exact":
        doubt = "?" if match["warning"] else ""
        text += f"  {before} -> {after} ({signed(match['mmr_delta'])}{doubt})"
    else:
        text += f"  before {before if before is not None else '?'}"
        if after is not None:
            text += f", last read {after}"
    if match["merged_keys"]:
        text += f"  [captured {len(match['merged_keys']) + 1} times]"
    if match["warning"]:
        text += f"\n      ! {match['warning']}"
    return text


def print_summary(result):
    print(f"Folder: {result['folder']}")
    for note in result["notes"]:
        print(f"  {note}")
    snapshot = result["snapshot"]
    if snapshot:
        name = ""
        if snapshot["display_name"] is not None:
            name = f" named {shown(snapshot['display_name'])}"
        print(f"Snapshot of {snapshot['timestamp']}: {snapshot['platform']} account"
              f" {shown(snapshot['player_id'])}{name}")
        for playlist in snapshot["playlists"]:
            print(f"  {playlist['playlist_name']} ({playlist['playlist_id']}): {playlist['mmr']}")
    account = result["account"]
    mine = [m for m in result["matches"] if m["current_account"]]
    others = [m for m in result["matches"] if not m["current_account"]]
    if account:
        print(f"Matches of {account['platform']} account {shown(account['player_id'])}"
              f" (the account of {account['from']}): {len(mine)}")
        for match in mine:
            print(f"  {describe(match)}")
    if others:
        print(f"Matches of other accounts on this machine: {len(others)}")
        for match in others:
            print(f"  {match['platform']} account {shown(match['player_id'])}:")
            print(f"    {describe(match)}")
    for skipped in result["skipped"]:
        print(f"Skipped line {skipped['line']} of {HISTORY}: it {skipped['reason']}")
    if result["unfinished_line"]:
        print(f"Not read yet: {result['unfinished_line']}")


def main():
    parser = argparse.ArgumentParser(description="Reads a TallyLoom folder as the docs say.")
    parser.add_argument("folder", help="the .tallyloom folder")
    parser.add_argument("--json", action="store_true", help="print one JSON object")
    parser.add_argument("--retry-delay", type=float, default=SNAPSHOT_RETRY_DELAY,
                        metavar="SECONDS",
                        help="between reads of a snapshot that cannot be used (default:"
                             f" {SNAPSHOT_RETRY_DELAY:g}, as the docs say)")
    args = parser.parse_args()
    schema_check = SchemaCheck.load()
    try:
        result = read_folder(args.folder, schema_check, args.retry_delay)
    except Unreadable as error:
        print(f"read_tallyloom: {args.folder}: {error}", file=sys.stderr)
        return 1
    for disagreement in schema_check.disagreements if schema_check else []:
        # § The reference reader: the verdicts above are the reader's own all the same.
        print(f"read_tallyloom: a fault of this reader: {disagreement}", file=sys.stderr)
    if args.json:
        print(json.dumps(result, indent=2))  # \u escapes: valid JSON on any console
    else:
        sys.stdout.reconfigure(errors="replace")  # names on a console that lacks their letters
        print_summary(result)
    return 0


if __name__ == "__main__":
    sys.exit(main())
