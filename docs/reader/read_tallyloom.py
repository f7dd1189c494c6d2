#!/usr/bin/env python3
"""The reference reader of the TallyLoom files, written from docs/file-formats.md.

It reads a folder holding bakkesmod_mmr.json and bakkesmod_match_history.jsonl
the way the docs tell a desktop app to, and prints what the app should show:

    python3 docs/reader/read_tallyloom.py FOLDER          a summary for a person
    python3 docs/reader/read_tallyloom.py FOLDER --json   the same as one JSON object

Each rule names the section of docs/file-formats.md that it follows, as
"§ Title". Python's standard library only; the JSON Schemas in docs/schemas
are checked too when the jsonschema package is installed.

Exit status: 0 when the folder was read, also when it holds neither file yet;
1 when a file is there but cannot be read; 2 for a bad command line.
"""

import argparse
import json
import os
import sys
import time
from datetime import datetime, timedelta

SNAPSHOT = "bakkesmod_mmr.json"
HISTORY = "bakkesmod_match_history.jsonl"
SCHEMAS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "schemas")

# § The same match captured twice: captures less than a minute apart are one match.
SAME_MATCH_WITHIN = timedelta(minutes=1)
# § When an "exact" change can be wrong, check 3: a snapshot this long after a
# match's end was taken after its final line (which comes within 19 s, a
# minute allowed for a busy game).
SNAPSHOT_AFTER = timedelta(minutes=1)
# § Pending, exact and unknown: readings after a match, at most 7.
MAX_ATTEMPTS = 7

# § The match history file, Field by field: the JSON type of each member.
LINE_TYPES = {
    "timestamp": "string", "playlist_id": "string", "playlist_name": "string",
    "schema_version": "integer", "plugin_version": "string", "match_key": "string",
    "score_blue": "integer", "score_orange": "integer", "is_win": "boolean",
    "mmr": "integer or null", "mmr_before": "integer or null", "mmr_after": "integer or null",
    "mmr_delta": "integer or null", "mmr_delta_valid": "boolean", "delta_state": "string",
    "capture_attempts": "integer", "capture_complete": "boolean", "platform": "string",
    "player_id": "string",
}


class Unreadable(Exception):
    """A file that is there but cannot be read."""


def json_type(value):
    if value is None:
        return "null"
    if isinstance(value, bool):  # before int: in Python a bool is an int
        return "boolean"
    return {int: "integer", str: "string"}.get(type(value), "other")


def local_time(text):
    """§ Both files share these rules: local time, no zone. A leap second (:60) reads as :59."""
    try:
        return datetime.strptime(text[:17] + min(text[17:], "59"), "%Y-%m-%dT%H:%M:%S")
    except ValueError:
        return None


def load_validators():
    """The JSON Schemas, when jsonschema is installed and the schemas are beside this reader."""
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
    return validators


def schema_problem(validators, name, document):
    if not validators:
        return None
    import jsonschema
    error = jsonschema.exceptions.best_match(validators[name].iter_errors(document))
    if error is None:
        return None
    where = "/".join(str(part) for part in error.absolute_path) or "the top level"
    return f"breaks the schema at {where}: {error.message[:200]}"


# ---------------------------------------------------------------------------
# The snapshot file

def read_snapshot(folder, validators):
    """§ The snapshot file, What a reader may meet: no file until the first export;
    read it whole, and when it cannot be opened or parsed, read it again a moment
    later (§ Reading the file: rules that survive every case, its last paragraph)."""
    path = os.path.join(folder, SNAPSHOT)
    if not os.path.exists(path):
        return None
    for _ in range(3):
        try:
            with open(path, "rb") as f:
                snapshot = json.loads(f.read().decode("utf-8"))
            break
        except (OSError, ValueError) as error:
            problem = str(error)
            time.sleep(0.5)
    else:
        raise Unreadable(f"{SNAPSHOT} cannot be read: {problem}")
    # § The snapshot file, Field by field: refuse a version you do not know.
    if not isinstance(snapshot, dict) or snapshot.get("schema_version") != 2:
        raise Unreadable(f"{SNAPSHOT} is not a snapshot of schema_version 2")
    problem = schema_problem(validators, "snapshot", snapshot) or snapshot_problem(snapshot)
    if problem:
        raise Unreadable(f"{SNAPSHOT} {problem}")
    return snapshot


def snapshot_problem(snapshot):
    """§ The snapshot file, Field by field: without jsonschema, at least the members
    this reader uses, with their types."""
    for key in ("platform", "player_id", "timestamp"):
        if json_type(snapshot.get(key)) != "string":
            return f"has no text for {key}"
    if local_time(snapshot["timestamp"]) is None:
        return f"has the timestamp {snapshot['timestamp']!r}"
    if json_type(snapshot.get("display_name", "")) != "string":
        return "has a display_name that is not text"
    playlists = snapshot.get("playlists")
    if not isinstance(playlists, list) or not all(
            isinstance(p, dict) and json_type(p.get("playlist_id")) == "string"
            and json_type(p.get("playlist_name")) == "string"
            and json_type(p.get("mmr")) == "integer" for p in playlists):
        return "has playlists that are not a list of playlist_id, playlist_name and mmr"
    return None


# ---------------------------------------------------------------------------
# The match history file, line by line

def line_problem(raw, validators):
    """What is wrong with one line (its bytes with the line end), or None and the record.
    § Reading the file, rule 4: a line that does not parse, has a schema_version
    you do not know, or breaks the schema."""
    try:
        record = json.loads(raw.rstrip(b"\r\n").decode("utf-8"))
    except ValueError as error:  # a UnicodeDecodeError is a ValueError too
        return f"does not parse ({error})", None
    if not isinstance(record, dict):
        return "is not a JSON object", None
    if record.get("schema_version") != 3:
        return f"has schema_version {record.get('schema_version')!r}, not 3", None
    problem = schema_problem(validators, "history-line", record)
    if problem:
        return problem, None
    # Without jsonschema: at least every member, with its type.
    for key, expected in LINE_TYPES.items():
        if key not in record:
            return f"has no {key}", None
        if json_type(record[key]) not in expected.split(" or "):
            return f"has a {json_type(record[key])} for {key}, not {expected}", None
    if local_time(record["timestamp"]) is None:
        return f"has the timestamp {record['timestamp']!r}", None
    # ...and what this reader relies on (§ Pending, exact and unknown).
    if record["delta_state"] not in ("pending", "exact", "unknown"):
        return f"has the delta_state {record['delta_state']!r}", None
    if record["capture_complete"] != (record["delta_state"] != "pending"):
        return "has capture_complete and delta_state that disagree", None
    if record["delta_state"] == "exact" and None in (
            record["mmr_before"], record["mmr_after"], record["mmr_delta"]):
        return "is exact without both MMRs and the change", None
    return None, record


class HistoryReader:
    """§ Reading the file: rules that survive every case. poll() may be called
    again and again with the file's bytes as they are then, or once."""

    def __init__(self, validators=None):
        self.validators = validators
        self.start_over()

    def start_over(self):
        # Rule 5: starting over forgets everything read before.
        self.offset = 0         # rule 2: where the last whole line ended
        self.last_line = b""    # rule 2: the bytes of that line
        self.line_number = 0
        self.records = {}       # rule 5: match_key -> record, in the order of first lines
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
            problem, record = line_problem(raw, self.validators)
            if problem and resumed:  # rule 4: start over once...
                self.start_over()
                resumed = False
                continue
            self.line_number += 1
            if problem:  # ...and a line still bad from the beginning is skipped, and named.
                self.skipped.append({"line": self.line_number, "reason": problem})
            else:
                self.keep(record)
                self.last_record = record
            self.offset, self.last_line = end + 1, raw  # rule 2

    def keep(self, record):
        # Rule 5 and § Two lines per match: pair by match_key; the final line
        # replaces the pending one, the same line read twice changes nothing.
        old = self.records.get(record["match_key"])
        if old is None or (record["capture_complete"] and not old["capture_complete"]):
            self.records[record["match_key"]] = record  # a key keeps its place in the order


def read_history(folder, validators):
    """§ The match history file, What a reader may meet: no file until the first capture."""
    path = os.path.join(folder, HISTORY)
    if not os.path.exists(path):
        return None
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as error:
        raise Unreadable(f"{HISTORY} cannot be read: {error}")
    reader = HistoryReader(validators)
    reader.poll(data)
    return reader


# ---------------------------------------------------------------------------
# From lines to matches (§ From lines to matches)

def rank(line):
    """§ The same match captured twice, which capture to keep: higher says more."""
    if line["delta_state"] == "exact":
        return 5 if line["mmr_delta"] != 0 else 4
    if line["delta_state"] == "unknown":
        return 3 if line["mmr_after"] is not None else 2
    return 1


def merge_same_match(captures):
    """§ The same match captured twice. captures: one line per match_key, in the
    order of their first line. Returns one match per group of captures."""
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
    return [match_of(group) for group in groups]


def match_of(group):
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
    # § The match history file, What a reader may meet: a pending line alone.
    if match["state"] == "pending":
        match["warnings"].append(
            "no final line: the change is not known (it comes within 19 s of the match's end,"
            " or never)")
    return match


def left_in_memory(match):
    """§ Pending, exact and unknown: what a finished capture leaves in the plugin's memory."""
    return match["mmr_after"] if match["mmr_after"] is not None else match["mmr_before"]


def ended_settled(match):
    """§ When an "exact" change can be wrong: a capture that ended on a settled rating."""
    if match["state"] == "exact":
        return match["mmr_delta"] != 0
    if match["state"] == "unknown":
        return match["mmr_before"] is None and match["capture_attempts"] < MAX_ATTEMPTS
    return False


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
        # Check 4: a 0 that no later snapshot confirms.
        if match["state"] == "exact" and match["mmr_delta"] == 0 and id(match) not in confirmed:
            match["warnings"].append(
                "a change of 0 is also what a capture shows that read twice before the rating"
                " service began syncing; nothing later in the files confirms it")


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

def read_folder(folder, validators):
    """§ From lines to matches: the folder as an app shows it."""
    snapshot = read_snapshot(folder, validators)
    history = read_history(folder, validators)
    result = {"folder": folder, "snapshot": None, "account": None, "matches": [],
              "skipped": [], "unfinished_line": None, "notes": []}
    if snapshot is None:
        result["notes"].append(f"no {SNAPSHOT} yet: nothing exported so far")
    else:
        result["snapshot"] = {key: snapshot.get(key) for key in
                              ("platform", "player_id", "display_name", "timestamp", "playlists")}
    matches = []
    if history is None:
        result["notes"].append(f"no {HISTORY} yet: no ranked match captured so far")
    else:
        matches = merge_same_match(list(history.records.values()))
        check_changes(matches, snapshot)
        result["skipped"] = history.skipped
        if history.tail:
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
    args = parser.parse_args()
    if not os.path.isdir(args.folder):
        # § The snapshot file, What a reader may meet: the folder may not exist yet.
        result = {"folder": args.folder, "snapshot": None, "account": None, "matches": [],
                  "skipped": [], "unfinished_line": None,
                  "notes": ["no such folder yet: the plugin makes it at its first export"]}
    else:
        try:
            result = read_folder(args.folder, load_validators())
        except Unreadable as error:
            print(f"read_tallyloom: {args.folder}: {error}", file=sys.stderr)
            return 1
    if args.json:
        print(json.dumps(result, indent=2))  # \u escapes: valid JSON on any console
    else:
        sys.stdout.reconfigure(errors="replace")  # names on a console that lacks their letters
        print_summary(result)
    return 0


if __name__ == "__main__":
    sys.exit(main())
