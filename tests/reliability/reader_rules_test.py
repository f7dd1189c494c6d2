#!/usr/bin/env python3
"""A reader of the match history written from docs/file-formats.md alone
("Reading the file: rules that survive every case"), polled through every
state of the file that the plugin can produce, one state per poll:

  - a line in flight, without its line end;
  - a line whose close failed: whole for one poll, then cut back and replaced
    by a longer line that starts at the same byte;
  - the remnant of a crash mid-append, which the plugin's next line ends.

The reader must end with every match the file holds, and the naive reader
that only seeks to its last offset must fail on the same states (so this test
would catch docs that leave a case out)."""

import json
import sys

CRLF = b"\r\n"


def line(key, complete, mmr_after):
    record = {"timestamp": "2026-12-06T21:00:02", "schema_version": 3, "match_key": key,
              "delta_state": "exact" if complete else "pending", "capture_complete": complete,
              "mmr_after": mmr_after}
    return json.dumps(record, separators=(",", ":")).encode()


class DocsReader:
    """The rules of the docs, one by one."""

    def __init__(self):
        self.records = {}
        self.offset = 0
        self.last_line = b""

    def start_over(self):
        self.records, self.offset, self.last_line = {}, 0, b""

    def poll(self, data):
        # Rule 3: the bytes before the remembered offset must still be there.
        if self.offset:
            before = data[self.offset - len(self.last_line):self.offset]
            if len(data) < self.offset or before != self.last_line:
                self.start_over()
        resumed = self.offset > 0
        while True:
            end = data.find(b"\n", self.offset)
            if end < 0:
                return  # Rule 1: a line without its line end is not there yet.
            raw = data[self.offset:end + 1]
            try:
                record = json.loads(raw.rstrip(CRLF))
                if record.get("schema_version") != 3:
                    raise ValueError("unknown schema")
            except ValueError:
                if resumed:  # Rule 4: once from the beginning...
                    self.start_over()
                    resumed = False
                    continue
                record = None  # ...and a line that still fails is a remnant: skip it.
            if record is not None:  # Rule 5: one record per key, final lines win.
                old = self.records.get(record["match_key"])
                if old is None or not old["capture_complete"]:
                    self.records[record["match_key"]] = record
            self.offset, self.last_line = end + 1, raw  # Rule 2.


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
    a_pending, a_final = line("a", False, None), line("a", True, 1009)
    b_pending = line("b", False, None)
    c_pending, c_final = line("c", False, None), line("c", True, 1015)
    remnant = line("d", False, None)[:40]
    d_pending = line("d", False, None)
    base = a_pending + CRLF + a_final[:30]
    yield base                                                   # a line in flight
    base = a_pending + CRLF + a_final + CRLF
    yield base
    yield base + b_pending + CRLF                                # b's close failed: seen...
    longer = line("c", False, None).replace(b'"pending"', b'"pending"' + b" " * 12)
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
    reader = DocsReader()
    for state in file_states():
        reader.poll(state)
    wanted = {"a": True, "c": True, "d": False}
    got = {key: record["capture_complete"] for key, record in reader.records.items()}
    if got != wanted:
        print(f"FAIL: the reader of the docs ended with {got}, the file holds {wanted}",
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
