#!/usr/bin/env python3
"""The reference reader's history rules (docs/reader/read_tallyloom.py, which
follows "Reading the file: rules that survive every case" of
docs/file-formats.md), polled through every state of the file that the plugin
can produce, one state per poll:

  - a line in flight, without its line end;
  - a line whose close failed: whole for one poll, then cut back and replaced
    by a longer line that starts at the same byte;
  - the remnant of a crash mid-append, which the plugin's next line ends.

The reader must end with every match the file holds and nothing of the line
that went away, and the naive reader that only seeks to its last offset must
fail on the same states (so this test would catch docs that leave a case out)."""

import json
import os
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "docs", "reader"))
from read_tallyloom import HistoryReader, SchemaCheck  # noqa: E402

CRLF = b"\r\n"


def line(score, complete, mmr_after):
    """A whole history line of the match that ended 3 to `score`; its key names the score."""
    key = f"11:76561198012345678:2026-12-06T21:00:02:3:{score}"
    record = {"timestamp": "2026-12-06T21:00:02", "playlist_id": "11",
              "playlist_name": "Ranked Doubles 2v2", "schema_version": 3,
              "plugin_version": "2.0.0.7", "match_key": key, "score_blue": 3,
              "score_orange": score, "is_win": True, "mmr": mmr_after or 1000, "mmr_before": 1000,
              "mmr_after": mmr_after, "mmr_delta": mmr_after - 1000 if complete else None,
              "mmr_delta_valid": complete, "delta_state": "exact" if complete else "pending",
              "capture_attempts": 1 if complete else 0, "capture_complete": complete,
              "platform": "steam", "player_id": "76561198012345678"}
    return json.dumps(record, separators=(",", ":")).encode()


class NaiveReader:
    """Seeks to its last offset whenever the file has grown."""

    def __init__(self):
        self.records, self.offset = {}, 0

    def poll(self, data):
        while True:
            end = data.find(b"\n", self.offset)
            if end < 0:
                return
            record = json.loads(data[self.offset:end + 1].rstrip(CRLF))
            self.records[record["match_key"]] = record
            self.offset = end + 1


def file_states():
    a_pending, a_final = line(0, False, None), line(0, True, 1009)
    b_pending = line(1, False, None)
    c_pending, c_final = line(2, False, None), line(2, True, 1015)
    remnant = line(3, False, None)[:40]
    d_pending = line(3, False, None)
    base = a_pending + CRLF + a_final[:30]
    yield base                                                   # a line in flight
    base = a_pending + CRLF + a_final + CRLF
    yield base
    yield base + b_pending + CRLF                                # b's close failed: seen...
    longer = c_pending.replace(b'"pending"', b'"pending"' + b" " * 12)
    assert len(longer) > len(b_pending)
    base += longer + CRLF                                        # ...then cut back; c is longer
    yield base
    base += remnant                                              # the game dies mid-append
    yield base
    base += CRLF + c_final + CRLF                                # the next session's first line
    yield base
    base += d_pending + CRLF
    yield base


def main():
    schema_check = SchemaCheck.load()
    reader = HistoryReader(schema_check)
    for state in file_states():
        reader.poll(state)
    wanted = {0: True, 2: True, 3: False}
    got = {record["score_orange"]: record["capture_complete"]
           for record in reader.records.values()}
    if got != wanted or len(reader.skipped) != 1 or reader.conflicts:
        print(f"FAIL: the reader of the docs ended with {got}, skipped {reader.skipped} and"
              f" found {reader.conflicts} in conflict; the file holds {wanted} and one remnant",
              file=sys.stderr)
        sys.exit(1)
    if schema_check and schema_check.disagreements:
        print(f"FAIL: the schemas refuse lines the reader accepts: {schema_check.disagreements}",
              file=sys.stderr)
        sys.exit(1)

    naive = NaiveReader()
    try:
        for state in file_states():
            naive.poll(state)
    except ValueError:
        print("ok reader rules (the naive reader fails, as it should)")
        return
    print("FAIL: the naive reader survived: the states no longer show the hard cases",
          file=sys.stderr)
    sys.exit(1)


if __name__ == "__main__":
    main()
