#!/usr/bin/env python3
"""Random game sessions against the truth (README.md beside this file).

One seed gives one plausible session for tallyloom-host whose true rating
changes are known; the oracle reads what the plugin left (console, history
file, snapshot), names the class of every final history line and checks the
invariants. Prints the count of each class, and each failing seed with its
first wrong line and its script (or writes the script to --failures DIR).
"""

import argparse
import functools
import json
import os
import random
import re
import subprocess
import sys
import tempfile
from collections import Counter
from dataclasses import dataclass, field
from datetime import datetime, timedelta
from multiprocessing import Pool

HERE = os.path.dirname(os.path.abspath(__file__))
DOCS = os.path.join(HERE, "..", "..", "docs")
sys.path.insert(0, os.path.join(HERE, "..", "scenarios"))
from run_scenario import CLOCK, read_tree, strict_json  # noqa: E402

NAMES = {10: "Ranked Duel 1v1", 11: "Ranked Doubles 2v2", 13: "Ranked Standard 3v3",
         27: "Hoops", 28: "Rumble", 29: "Dropshot", 30: "Snow Day"}
PLAYLIST_OF = {name: playlist for playlist, name in NAMES.items()}
SWITCHES = {"enabled": ("tallyloom_enabled", "Enable TallyLoom plugin"),
            "auto": ("tallyloom_auto_export", "Enable automatic ranked-data export")}

# The classes of a final line. The kept cases are named as the bold-led
# bullets of the docs' section on wrong exact changes, plus the heading of the
# same match captured twice; main() holds the two lists together.
EXACT, UNKNOWN, WRONG = "exact and true", "unknown", "WRONG"
CARRIED = "An MMR before carried over from a match that did not settle"
CARRIED_FORMS = ("unknown, no value", "unknown after seven readings", "an early exact 0",
                 "unknown, no MMR before", "a pending line alone", "a wrong exact change")
OLD_PAIR = "Two equal readings of the old rating"
NEW_BEFORE = "A new rating read as the MMR before"
UNCAPTURED = "Matches that were not captured"
TWICE = "The same match captured twice"

# Moments in whole ms of virtual time, on grids that never meet, so that no
# reading of the plugin shares an instant with a change of the service: script
# commands at .250 s past a second, plugin loads at .750 (its 20-second timer
# then runs at .000 or .750), the service and the account at .687. The plugin's
# delays keep its readings on quarter seconds; frames (60 a second) miss .687.
COMMAND, LOAD, SERVICE = 250, 750, 687


def delivery_delay(rng):
    """When the service has a match's new rating, in ms from the match-end hook."""
    draw = rng.random()
    if draw < 0.05:
        return -rng.choice((563, 1563))  # already there when the hook runs
    if draw < 0.70:
        return rng.randrange(0, 7) * 1000 + 437  # before the first reading, at 7 s
    if draw < 0.95:
        return rng.randrange(7, 19) * 1000 + 437  # while the plugin reads (7 to 19 s)
    return rng.randrange(19, 90) * 1000 + 437  # later, but before the next match ends


@dataclass
class Match:
    playlist: int
    ranked: bool
    blue: int
    orange: int
    team: int
    before: int  # the true rating before the match
    delta: int  # its true change
    events: list = field(default_factory=list)  # the ms of its match-end hooks
    delivered: int = None  # when the service has the new rating

    @property
    def win(self):
        return (self.blue > self.orange) == (self.team == 0)


class Session:
    """One seed's session: the script, every change it makes, and the truth."""

    def __init__(self, seed):
        rng = self.rng = random.Random(seed)
        self.seed, self.lines, self.changes, self.matches = seed, [], [], []
        self.used, self.unloaded, self.now, self.loaded = set(), [], 3, True
        self.player = (str(rng.randrange(76561197960265728, 76561199999999999))
                       if rng.random() < 0.7 else f"{rng.getrandbits(128):032x}")
        self.truth = {p: rng.randrange(200, 2000) for p in NAMES}
        for p in [p for p in NAMES if rng.random() < 0.9]:  # now and then one without a rating
            self.command(0, f"mmr {p} {self.truth[p]}", ("values", p, self.truth[p]))
        account_at = self.second(rng.randrange(5, 120), SERVICE) if rng.random() < 0.1 else 0
        self.command(account_at, f"account {self.player}", ("account", True))
        for _ in range(rng.randint(6, 24)):
            kind = rng.choices(("ranked", "casual", "menu", "freeplay", "training", "replay",
                                "unload"), (8, 1, 2, 2, 1, 1, 1))[0]
            if kind in ("ranked", "casual"):
                self.play(kind == "ranked")
            elif kind == "unload":
                self.unload(self.claim(self.now), play=rng.random() < 0.5)
            else:
                start = self.claim(self.now)
                self.command(start, f"state {kind}", ("state", kind))
                if kind in ("freeplay", "training"):
                    self.command(start, f"event {kind}-{'init' if kind == 'freeplay' else 'start'}")
                self.now += rng.randrange(10, 200)
        self.end = self.second(self.now + rng.randrange(1, 60), COMMAND)
        self.console_actions()

    second = staticmethod(lambda s, grid: s * 1000 + grid)  # a second on a grid, in ms

    def command(self, ms, line, change=None):
        self.lines.append((ms, len(self.lines), line))
        if change:  # (ms, 1: a command, after the host's timeline of the same instant, order, ...)
            self.changes.append((ms, 1, len(self.changes), *change))

    def claim(self, s):
        """The first second from `s` that has no command yet, as the ms of its command."""
        while s in self.used:
            s += 1
        self.used.add(s)
        self.now = max(self.now, s + 1)
        return self.second(s, COMMAND)

    def play(self, ranked):
        rng = self.rng
        p = rng.choices(list(NAMES), (3, 5, 4, 1, 1, 1, 1))[0]
        team, win = rng.randrange(2), rng.random() < 0.5
        loser, winner = sorted(rng.sample(range(8), 2))
        blue, orange = (winner, loser) if (team == 0) == win else (loser, winner)
        delta = 0 if not ranked or rng.random() < 0.01 else rng.randint(5, 15) * (1 if win else -1)
        m = Match(p, ranked, blue, orange, team, self.truth[p], delta)
        self.matches.append(m)
        start = self.claim(self.now)
        self.command(start, f"match {p} {blue} {orange} team {team}{'' if ranked else ' casual'}",
                     ("state", "online"))
        end = self.claim(start // 1000 + rng.randrange(150, 420))
        # Both hooks, in either order, at once or a second apart; now and then
        # one only, or the second 8 to 12 s later (the same match captured twice).
        gap = rng.choices((0, 1, None, rng.randrange(8, 13)), (50, 35, 10, 5))[0]
        m.events.append(end)
        if gap == 0 or (gap and end // 1000 + gap not in self.used):
            m.events.append(self.claim(end // 1000 + gap) if gap else end)
        for at, hook in zip(m.events, rng.sample(["match-ended", "winner-set"], 2)):
            self.command(at, f"event {hook}")
        self.now = end // 1000 + max(rng.randrange(5, 40), 14)  # the post-match screen
        if ranked:
            self.deliver(m, end)
        if rng.random() < 0.05 and self.loaded:  # unloaded while the capture waits
            self.unload(self.claim(end // 1000 + rng.randrange(1, 19)), play=False)

    def deliver(self, m, end):
        rng, p = self.rng, m.playlist
        self.truth[p] += m.delta
        delay = delivery_delay(rng)
        m.delivered = end + delay
        if delay < 0:
            self.command(m.delivered, f"mmr {p} {self.truth[p]}", ("values", p, self.truth[p]))
        else:  # the host's timeline runs before any command of the same instant
            self.command(end, f"mmr {p} {self.truth[p]} after {delay / 1000:.3f}")
            self.changes.append((m.delivered, 0, len(self.changes), "values", p, self.truth[p]))
        if rng.random() < 0.5:  # the service reports syncing for a while
            self.command(end + 437, "syncing on", ("syncing", True))
            if rng.random() < 0.3:  # and cannot read the playlist meanwhile
                self.command(end + 437, f"mmr {p} unsynced", ("unsynced", p))
            off = (m.delivered + rng.randrange(3) * 1000 if delay > 437 and rng.random() < 0.7
                   else end + rng.randrange(2, 13) * 1000 + 437)
            self.command(off, "syncing off", ("syncing", False))

    def unload(self, at, play):
        self.command(at, "plugin unload", ("loaded", False))
        self.loaded = False
        if play:
            self.play(ranked=True)
        back = self.second(self.now + self.rng.randrange(5, 90), LOAD)
        self.command(back, "plugin load", ("loaded", True))
        self.unloaded.append((at, back))
        self.loaded, self.now = True, back // 1000 + 1

    def console_actions(self):
        """Switches, exports on demand, faults and an account gone for a while, at
        free seconds while the plugin is loaded (its commands go with it)."""
        rng, switches = self.rng, {"enabled": True, "auto": True}
        for s in sorted(rng.sample(range(3, self.now), min(rng.randint(0, 12), self.now - 3))):
            if s in self.used or any(a <= self.second(s, COMMAND) <= b for a, b in self.unloaded):
                continue
            at = self.claim(s)
            kind = rng.choices(("enabled", "auto", "export", "button", "fault", "account"),
                               (3, 3, 2, 1, 2, 1))[0]
            if kind in switches:
                on = switches[kind] = not switches[kind]
                variable, label = SWITCHES[kind]
                line = f'click "{label}"' if rng.random() < 0.3 else f"{variable} {int(on)}"
                self.command(at, line, (kind, on))
            elif kind == "account":
                self.command(at + SERVICE - COMMAND, "account none", ("account", False))
                self.command(self.second(s + rng.randrange(5, 200), SERVICE),
                             f"account {self.player}", ("account", True))
            else:
                fault = rng.choice(("open", "write", "close", "replace"))
                self.command(at, {"export": "tallyloom_export_mmr", "fault": f"fault {fault}",
                                  "button": 'click "Run test export now"'}[kind])

    def script(self):
        out = [f"# A random session: tests/simulation/simulate.py, seed {self.seed}.",
               "# Run as every scenario is: TZ=UTC, --clock 2026-12-06T21:00:00."]
        now = 0
        for ms, _, line in sorted(self.lines) + [(self.end, 0, "tallyloom_status")]:
            if ms > now:
                out.append(f"wait {(ms - now) / 1000:.3f}")
                now = ms
            out.append(line)
        return "\n".join(out) + "\n"


class World:
    """The game, the service and the switches as the script has set them so far."""

    def __init__(self, changes):
        self.changes, self.next = sorted(changes, key=lambda change: change[:3]), 0
        self.values, self.synced, self.syncing, self.account = {}, set(), False, False
        self.enabled = self.auto = self.loaded = True
        self.state = "menu"

    def at(self, ms):
        while self.next < len(self.changes) and self.changes[self.next][0] <= ms:
            kind, *args = self.changes[self.next][3:]
            self.next += 1
            if kind == "values":
                self.values[args[0]] = args[1]
                self.synced.add(args[0])
            elif kind == "unsynced":
                self.synced.discard(args[0])
            else:
                setattr(self, kind, args[0])
        return self

    def ratings(self):
        """What a read of the service gives: every playlist it reports."""
        readable = {p: v for p, v in self.values.items() if p in self.synced or not self.syncing}
        return readable if self.account else {}


class Problem(Exception):
    pass


def timestamp(ms):
    return (datetime.fromisoformat(CLOCK) + timedelta(seconds=ms // 1000)).isoformat()


@functools.cache
def validator():
    import jsonschema
    schemas = {}
    for name in ("snapshot", "history-line"):
        with open(os.path.join(DOCS, "schemas", f"{name}.schema.json"), encoding="utf-8") as f:
            schemas[name] = jsonschema.Draft202012Validator(json.load(f))

    def validate(name, document):
        error = jsonschema.exceptions.best_match(schemas[name].iter_errors(document))
        if error:
            raise Problem(f"not valid against the {name} schema ({error.message}): {document}")
        return document
    return validate


def check(session, console, history, snapshot):
    """The class of every final line; a Problem names the first wrong line."""
    text, validate = history.decode("utf-8"), validator()
    if text and not text.endswith("\r\n") or re.search(r"\r(?!\n)|(?<!\r)\n", text):
        raise Problem("the history file holds a line that is not whole")
    lines = [validate("history-line", strict_json(line)) for line in text.split("\r\n")[:-1]]
    log = [(int(found[1]) * 1000 + int(found[2]), number, bool(found[3]), found[4])
           for number, found in enumerate(re.finditer(
               r"^\[(\d+)\.(\d{3})\] TallyLoom MMR( error)?: (.*)$", console, re.M))]
    refused = {ms for ms, _, error, said in log if error and "match history" in said}
    if any(said.startswith("Unexpected") for *_, said in log):
        raise Problem("an unexpected failure was logged")

    # Every moment at which the plugin's memory of the last ratings can change,
    # in order: its console lines, the match-end hooks, and the 20-second
    # timer's reads during online matches, which log nothing.
    stream = [(ms, number, "log", (error, said)) for ms, number, error, said in log]
    stream += [(ms, -1, "hook", m) for m in session.matches for ms in m.events]
    for load in [0] + [back for _, back in session.unloaded]:
        gone = min([at for at, _ in session.unloaded if at > load] + [session.end])
        stream += [(ms, -1, "timer", None) for ms in range(load + 20000, gone, 20000)]
    world, memory, window = World(session.changes), {}, None
    expected, captures, paired = [], {}, set()
    for ms, _, kind, data in sorted(stream, key=lambda item: item[:2]):
        world.at(ms)
        if kind == "hook":  # the 8-second window belongs to the library: unloads keep it
            if world.loaded and world.enabled and (window is None or ms - window >= 8000):
                window = ms
                if data.ranked and world.account:
                    expected.append((ms, data))
        elif kind == "timer":
            if world.enabled and world.auto and world.state == "online":
                memory.update(world.ratings())
        elif data[1].startswith("Installed and loaded"):
            memory = {}
        elif data[1].endswith("ranked playlists.") or (
                data[0] and data[1].startswith("Failed to") and "match history" not in data[1]):
            memory.update(world.ratings())  # an export read the service, written or not
        elif found := re.fullmatch(r"Queued .* for (.*) \((\d+)-(\d+)\)\.", data[1]):
            p = PLAYLIST_OF[found[1]]
            m = next((m for at, m in expected if at == ms and m.playlist == p), None)
            if m is None or (m.blue, m.orange) != (int(found[2]), int(found[3])):
                raise Problem(f"a capture that no match explains: {data[1]} at {ms} ms")
            key = f"{p}:{session.player}:{timestamp(ms)}:{m.blue}:{m.orange}"
            before = memory[p] if p in memory else world.ratings().get(p)
            index = sum(c["match"] is m for c in captures.values())
            captures[key] = {"match": m, "index": index, "at": ms, "before": before}
        elif found := re.fullmatch(r"Captured .* for (.*)\.", data[1]):
            p = PLAYLIST_OF[found[1]]
            number = next((n for n, line in enumerate(lines) if n not in paired
                           and line["capture_complete"] and line["playlist_id"] == str(p)
                           and line["match_key"] in captures and ms == captures[line["match_key"]]
                           ["at"] + 5000 + 2000 * line["capture_attempts"]), None)
            if number is None and ms not in refused:
                raise Problem(f"a capture ended at {ms} ms without its final line")
            if number is None:
                memory[p] = "any"  # the disk refused the line that says what it left
                continue
            paired.add(number)
            left = [v for v in (lines[number]["mmr_after"], lines[number]["mmr_before"]) if v]
            memory.update({p: left[0]} if left else {})

    for ms, m in expected:
        if not any(c["at"] == ms and c["match"] is m for c in captures.values()):
            raise Problem(f"the ranked match that ended at {ms} ms was not captured: {m}")
    seen, classes = set(), []
    for number, line in enumerate(lines):
        capture, kind = captures.get(line["match_key"]), line["capture_complete"]
        if capture is None or (kind, line["match_key"]) in seen:
            raise Problem(f"a line of no capture, or a second line of its kind: {line}")
        seen.add((kind, line["match_key"]))
        if capture["before"] not in ("any", line["mmr_before"]):
            raise Problem(f"MMR before {line['mmr_before']}, but the plugin's memory held "
                          f"{capture['before']}: {line}")
        if line["is_win"] != capture["match"].win:
            raise Problem(f"is_win is not the match's result: {line}")
        if kind and number not in paired:
            raise Problem(f"a final line whose attempts do not fit its reading times: {line}")
        if kind:
            capture["final"] = line
            named = classify(session, captures, capture, line)
            if named == WRONG:
                raise Problem(f"exact change {line['mmr_delta']}, true change "
                              f"{capture['match'].delta}, and no kept case explains it: {line}")
            # The docs give how often an exact 0 is of each class.
            classes += [named] + ([f"exact 0: {named}"] if line["mmr_delta"] == 0 else [])
    for key, capture in captures.items():
        at, ends = capture["at"], capture["at"] + 19000
        if (False, key) not in seen and at not in refused:
            raise Problem(f"the pending line of {key} is missing")
        excused = list(refused) + [gone for gone, _ in session.unloaded]
        if (True, key) not in seen and ends <= session.end and not any(
                at < ms <= ends for ms in excused):
            raise Problem(f"the final line of {key} is missing")

    written = [ms for ms, _, error, said in log if not error and said.endswith("ranked playlists.")]
    if bool(written) != (snapshot is not None):
        raise Problem("a snapshot without an export, or an export without a snapshot")
    if written:
        document = validate("snapshot", strict_json(snapshot.decode("utf-8")))
        service = World(session.changes).at(written[-1]).ratings()
        held = {int(e["playlist_id"]): e["mmr"] for e in document["playlists"]}
        if (document["timestamp"], document["player_id"], held) != (
                timestamp(written[-1]), session.player, service):
            raise Problem(f"the snapshot is not the service at its time ({service}): {document}")
    return classes


def classify(session, captures, capture, line):
    m, before, after = capture["match"], line["mmr_before"], line["mmr_after"]
    if line["delta_state"] == "unknown":
        return UNKNOWN
    if line["mmr_delta"] == m.delta:
        return EXACT
    if capture["index"] > 0:
        return TWICE
    settled_at = capture["at"] + 5000 + 2000 * line["capture_attempts"]
    if before == m.before:  # the MMR before is right, the reading after is not
        old = after == m.before and m.delivered > settled_at
        return OLD_PAIR if old and not World(session.changes).at(settled_at).syncing else WRONG
    if before == m.before + m.delta and m.delivered < capture["at"]:
        return NEW_BEFORE
    # A wrong MMR before: what the previous match in the playlist left in memory.
    earlier = [e for e in session.matches
               if e.ranked and e.playlist == m.playlist and e.events[0] < m.events[0]]
    first = earlier and next((c for c in captures.values()
                              if c["match"] is earlier[-1] and c["index"] == 0), None)
    if not earlier or first is None:
        return UNCAPTURED if earlier else WRONG
    final = first.get("final")
    if final is None:
        form = 4
    elif final["mmr_after"] == earlier[-1].before + earlier[-1].delta:
        return WRONG  # it ended on its own new rating, and left that in memory
    elif final["delta_state"] == "exact":
        form = 2 if final["mmr_delta"] == 0 else 5  # read before its own rating came
    else:
        form = 0 if final["mmr_after"] is None else 3 if final["mmr_before"] is None else 1
    return f"{CARRIED} ({CARRIED_FORMS[form]})"


def kept_cases_in_docs():
    with open(os.path.join(DOCS, "file-formats.md"), encoding="utf-8") as f:
        text = f.read()
    section = text.split('#### When an "exact" change can be wrong')[1].split("\n### ")[0]
    return (re.findall(r"^ *- \*\*(.+?)[.:]?\*\*", section, re.M)
            + re.findall(r"^### (The same match captured twice)$", text, re.M))


def run(host, seed):
    """One seed: (its classes, None), or (None, the problem)."""
    session = Session(seed)
    with tempfile.TemporaryDirectory(prefix="tallyloom-simulation-") as profile:
        done = subprocess.run([host, "--profile", profile, "--clock", CLOCK, "-"],
                              input=session.script(), capture_output=True, text=True,
                              env=dict(os.environ, TZ="UTC"), timeout=600)
        files = read_tree(os.path.join(profile, ".tallyloom"))
    try:
        if done.returncode or done.stderr:
            raise Problem(f"the host exited with {done.returncode}: {done.stderr.strip()}")
        return check(session, done.stdout, files.get("bakkesmod_match_history.jsonl", b""),
                     files.get("bakkesmod_mmr.json")), None
    except (Problem, ValueError) as problem:
        return None, str(problem)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--host", required=True, type=os.path.abspath)
    parser.add_argument("--seeds", required=True, help="FIRST-LAST, or one seed")
    parser.add_argument("--jobs", type=int, default=os.cpu_count())
    parser.add_argument("--failures", help="write each failing seed's script to this folder")
    args = parser.parse_args()
    first, _, last = args.seeds.partition("-")
    seeds = range(int(first), int(last or first) + 1)

    oracle = sorted([CARRIED, *CARRIED_FORMS, OLD_PAIR, NEW_BEFORE, UNCAPTURED, TWICE])
    if oracle != sorted(kept_cases_in_docs()):
        sys.exit(f"the oracle's kept cases {oracle} are not those of docs/file-formats.md: "
                 f"{sorted(kept_cases_in_docs())}")
    with Pool(args.jobs) as pool:
        outcomes = pool.starmap(run, [(args.host, seed) for seed in seeds], chunksize=4)
    counts, failed = Counter(), 0
    for seed, (classes, problem) in zip(seeds, outcomes):
        counts.update(classes or [])
        if problem:
            failed += 1
            script = f"# The oracle: {problem}\n{Session(seed).script()}"
            print(f"seed {seed}: {problem}")
            if not args.failures:
                print(f"  its script:\n{script}")
                continue
            os.makedirs(args.failures, exist_ok=True)
            with open(path := os.path.join(args.failures, f"seed-{seed}.tlh"), "w") as f:
                f.write(script)
            print(f"  its script, a ready scenario: {path}")
    for zeros in (False, True):
        part = {name: n for name, n in counts.items() if name.startswith("exact 0: ") == zeros}
        print(f"{len(seeds)} sessions, {failed} failed; {sum(part.values())} "
              + ("exact 0 lines:" if zeros else "final lines:"))
        for name, count in sorted(part.items(), key=lambda item: -item[1]):
            print(f"  {count:7d}  {100 * count / sum(part.values()):6.2f}%  {name}")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
