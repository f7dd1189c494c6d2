#!/usr/bin/env python3
"""tallyloom-host in hostile environments, the way the real game would start.

Unlike the scenario runner, which always hands the host a fresh --profile,
these runs set USERPROFILE, HOME and the current directory themselves: HOME
only, neither, an empty USERPROFILE, a profile that is a file, a very long
profile path, a profile name that is not UTF-8, a stale temporary file, the
export folder deleted in the middle of a session, and a history file that is
replaced in the middle of a session, that the game's user may append to but
not read, or that is a named pipe. Console output and files are compared
byte for byte.
"""

import argparse
import os
import shutil
import stat
import subprocess
import sys
import tempfile
import time

CLOCK = "2026-12-06T21:00:00"

# An export, then a won doubles match whose rating syncs a second later.
SESSION = b"""tallyloom_auto_export 0
account 76561198012345678
mmr 11 1000
tallyloom_export_mmr
match 11 3 1
event match-ended
mmr 11 1009 after 1
wait 8
settings
"""

SNAPSHOT = (b'{\r\n  "schema_version": 2,\r\n  "plugin_version": "2.0.0.7",\r\n'
            b'  "platform": "steam",\r\n  "player_id": "76561198012345678",\r\n'
            b'  "timestamp": "2026-12-06T21:00:00",\r\n  "playlists": [\r\n'
            b'    {"playlist_id": "11", "playlist_name": "Ranked Doubles 2v2", "mmr": 1000}\r\n'
            b'  ]\r\n}\r\n')

LINE_START = (b'{"timestamp":"2026-12-06T21:00:00","playlist_id":"11",'
              b'"playlist_name":"Ranked Doubles 2v2","schema_version":3,'
              b'"plugin_version":"2.0.0.7",'
              b'"match_key":"11:76561198012345678:2026-12-06T21:00:00:3:1",'
              b'"score_blue":3,"score_orange":1,"is_win":true,')
LINE_END = b'"platform":"steam","player_id":"76561198012345678"}\r\n'
PENDING_LINE = (LINE_START + b'"mmr":1000,"mmr_before":1000,"mmr_after":null,"mmr_delta":null,'
                b'"mmr_delta_valid":false,"delta_state":"pending","capture_attempts":0,'
                b'"capture_complete":false,' + LINE_END)
FINAL_LINE = (LINE_START + b'"mmr":1009,"mmr_before":1000,"mmr_after":1009,"mmr_delta":9,'
              b'"mmr_delta_valid":true,"delta_state":"exact","capture_attempts":1,'
              b'"capture_complete":true,' + LINE_END)

CONSOLE = b"""[0.000] TallyLoom MMR: Installed and loaded. Automatic export is ready.
[0.000] TallyLoom MMR: Manual test export exported 1 ranked playlists.
[0.000] TallyLoom MMR: Queued ranked match capture for Ranked Doubles 2v2 (3-1).
[7.000] TallyLoom MMR: Captured exact win delta of 9 for Ranked Doubles 2v2.
"""

HELP = (b"  TallyLoom writes ranked snapshots and per-match history to your .tallyloom folder "
        b"automatically. The desktop app watches those files, so users should not need to run "
        b"console commands during normal use.\n")


def tab(folder, exported, captured, status, error=None, exported_at=b"2026-12-06T21:00:00"):
    """The settings tab after the session, for an export folder `folder`."""
    rows = [b"  [x] Enable TallyLoom plugin",
            b"  [ ] Enable automatic ranked-data export",
            b"  " + b"-" * 32,
            b"  Plugin version: 2.0.0.7",
            b"  Loaded at: 2026-12-06T21:00:00",
            b"  Install status: Installed and loaded in BakkesMod",
            b"  Snapshot file: " + folder + b"/bakkesmod_mmr.json",
            b"  Match history file: " + folder + b"/bakkesmod_match_history.jsonl",
            b"  Last snapshot export: " + (exported_at if exported else b"Not yet exported"),
            b"  Last export reason: " + (b"Manual export" if exported else b"Not yet exported"),
            b"  Last match capture: " + (b"2026-12-06T21:00:07" if captured else
                                         b"No ranked matches captured yet"),
            b"  Pending match captures: 0",
            b"  Last exported playlists: " + (b"1" if exported else b"0"),
            b"  Status: " + status]
    if error is not None:
        rows.append(b"  Last error: " + error)
    rows.append(b"  [ Run test export now ] [ Log plugin status ]")
    return b"\n".join(rows) + b"\n" + HELP


OK_TAB_STATUS = b"Captured exact win delta of 9 for Ranked Doubles 2v2."

failures = []
checks = 0


def check(name, condition, detail=""):
    global checks
    checks += 1
    if not condition:
        failures.append(f"{name}: {detail}")


def environment(**variables):
    env = {k: v for k, v in os.environ.items() if k not in ("USERPROFILE", "HOME")}
    env["TZ"] = "UTC"
    for key, value in variables.items():
        env[key] = value
    return env


def run_host(host, env, cwd, script, extra=()):
    command = [host, "--fps", "0", "--clock", CLOCK, *extra, "-"]
    return subprocess.run(command, input=script, capture_output=True, env=env, cwd=cwd,
                          timeout=300)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def expect_files(name, folder, snapshot, history):
    folder = os.fsencode(folder)
    entries = sorted(os.fsdecode(n) for n in os.listdir(folder)) if os.path.isdir(folder) else []
    wanted = sorted(n for n, c in (("bakkesmod_mmr.json", snapshot),
                                   ("bakkesmod_match_history.jsonl", history)) if c is not None)
    check(name, entries == wanted, f"files {entries}, expected {wanted}")
    if snapshot is not None and "bakkesmod_mmr.json" in entries:
        check(name, read(os.path.join(folder, b"bakkesmod_mmr.json")) == snapshot,
              "snapshot differs")
    if history is not None and "bakkesmod_match_history.jsonl" in entries:
        check(name, read(os.path.join(folder, b"bakkesmod_match_history.jsonl")) == history,
              "history differs")


def expect_run(name, run, stdout):
    check(name, run.returncode == 0 and run.stderr == b"",
          f"exit {run.returncode}, stderr {run.stderr!r}")
    check(name, run.stdout == stdout,
          "stdout differs:\n" + run.stdout.decode("utf-8", "replace"))


def play_live(host, env, cwd, between, resume=b"wait 8\n"):
    """Feeds SESSION in two parts: once the first part's pending line is on
    disk, calls between(), then goes on with `resume` and the rest."""
    process = subprocess.Popen([host, "--fps", "0", "--clock", CLOCK, "-"],
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, env=env, cwd=cwd)
    first, rest = SESSION.split(b"wait 8\n")
    process.stdin.write(first)
    process.stdin.flush()
    history = os.path.join(env["USERPROFILE"], ".tallyloom", "bakkesmod_match_history.jsonl")
    deadline = time.monotonic() + 120  # a guard against a hung host, not a measurement
    while not (os.path.exists(history) and read(history) == PENDING_LINE):
        if process.poll() is not None or time.monotonic() > deadline:
            break
        time.sleep(0.01)
    between()
    stdout, stderr = process.communicate(resume + rest, timeout=300)
    return subprocess.CompletedProcess(process.args, process.returncode, stdout, stderr)


def unprivileged(root, host):
    """A copy of the host, its plugin and SDK library where user 65534 can
    run them, and the command prefix that drops root for one process; None
    when this process cannot switch users (it is not root)."""
    if os.geteuid() != 0 or shutil.which("setpriv") is None:
        return None
    programs = os.path.join(root, "programs")
    os.makedirs(programs)
    os.chmod(root, 0o755)
    os.chmod(programs, 0o755)
    for name in ("tallyloom-host", "TallyLoomMMR.so", "libpluginsdk.so"):
        shutil.copy(os.path.join(os.path.dirname(host), name), programs)
    drop = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
    # A temporary folder under a private one (TMPDIR) cannot be reached.
    if subprocess.run(drop + ["test", "-x", os.path.join(programs, "tallyloom-host")]).returncode:
        return None
    return drop + [os.path.join(programs, "tallyloom-host")]


def working_profile(name, host, env, cwd, shown):
    """A location the plugin can write to: the whole session works."""
    run = run_host(host, env, cwd, SESSION)
    expect_run(name, run, CONSOLE + tab(shown, True, True, OK_TAB_STATUS))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", required=True)
    args = parser.parse_args()
    host = os.path.abspath(args.host)
    root = tempfile.mkdtemp(prefix="tallyloom-hostenv-")
    try:
        # HOME only: the profile is HOME.
        home = os.path.join(root, "home")
        os.makedirs(home)
        working_profile("HOME only", host, environment(HOME=home), root,
                        home.encode() + b"/.tallyloom")
        expect_files("HOME only", os.path.join(home, ".tallyloom"), SNAPSHOT,
                     PENDING_LINE + FINAL_LINE)

        # Neither variable: relative to the game's current directory.
        game = os.path.join(root, "game")
        os.makedirs(game)
        working_profile("neither", host, environment(), game, b"./.tallyloom")
        expect_files("neither", os.path.join(game, ".tallyloom"), SNAPSHOT,
                     PENDING_LINE + FINAL_LINE)

        # A long profile path (3,000 bytes) and a profile name that is not
        # UTF-8 (Latin-1, as an ANSI code page hands it over).
        long_profile = root.encode()
        while len(long_profile) < 2800:
            long_profile += b"/" + b"p" * 200
        long_profile += b"/" + b"q" * (3000 - len(long_profile) - 1)
        latin1 = os.path.join(root.encode(), b"Jos\xe9")
        for label, profile in (("long path", long_profile), ("Latin-1 name", latin1)):
            env = environment(HOME=home)
            env = {k.encode(): v.encode() for k, v in env.items()}
            env[b"USERPROFILE"] = profile
            working_profile(label, host, env, root, profile + b"/.tallyloom")
            expect_files(label, os.path.join(profile, b".tallyloom"), SNAPSHOT,
                         PENDING_LINE + FINAL_LINE)

        # An empty USERPROFILE means the root of the drive. Every folder
        # creation is made to fail so that nothing is written there; the
        # errors and the tab show where the plugin would have written.
        root_folder_existed = os.path.exists("/.tallyloom")
        run = run_host(host, environment(USERPROFILE="", HOME=home), root,
                       b"fault mkdir always\n" + SESSION)
        error = b"Failed to create TallyLoom folder for match history: Input/output error"
        expect_run("empty USERPROFILE", run, b"".join([
            b"[0.000] TallyLoom MMR: Installed and loaded. Automatic export is ready.\n",
            b"[0.000] TallyLoom MMR error: Failed to create TallyLoom folder: Input/output error\n",
            b"[0.000] TallyLoom MMR error: " + error + b"\n",
            b"[0.000] TallyLoom MMR: Queued ranked match capture for Ranked Doubles 2v2 (3-1).\n",
            b"[7.000] TallyLoom MMR error: " + error + b"\n",
            b"[7.000] TallyLoom MMR: Captured exact win delta of 9 for Ranked Doubles 2v2.\n",
        ]) + tab(b"/.tallyloom", False, True, OK_TAB_STATUS, error))
        if not root_folder_existed:
            check("empty USERPROFILE", not os.path.exists("/.tallyloom"), "wrote to the root")

        # A profile that is a file: the file system's own reason, and no
        # crash, for both files.
        blocker = os.path.join(root, "blocker")
        with open(blocker, "wb") as f:
            f.write(b"not a folder")
        run = run_host(host, environment(USERPROFILE=blocker), root, SESSION)
        error = b"Failed to create TallyLoom folder for match history: Not a directory"
        expect_run("profile is a file", run, b"".join([
            b"[0.000] TallyLoom MMR: Installed and loaded. Automatic export is ready.\n",
            b"[0.000] TallyLoom MMR error: Failed to create TallyLoom folder: Not a directory\n",
            b"[0.000] TallyLoom MMR error: " + error + b"\n",
            b"[0.000] TallyLoom MMR: Queued ranked match capture for Ranked Doubles 2v2 (3-1).\n",
            b"[7.000] TallyLoom MMR error: " + error + b"\n",
            b"[7.000] TallyLoom MMR: Captured exact win delta of 9 for Ranked Doubles 2v2.\n",
        ]) + tab(blocker.encode() + b"/.tallyloom", False, True, OK_TAB_STATUS, error))
        check("profile is a file", read(blocker) == b"not a folder", "the file was touched")

        # Stale temporary files from an earlier run: a long one is truncated
        # and reused; a folder in its place makes every export fail, naming
        # the snapshot, while the history file is written as usual.
        stale = os.path.join(root, "stale")
        os.makedirs(os.path.join(stale, ".tallyloom"))
        with open(os.path.join(stale, ".tallyloom", "bakkesmod_mmr.json.tmp"), "wb") as f:
            f.write(b"#" * 65536)
        working_profile("stale temporary file", host, environment(USERPROFILE=stale), root,
                        stale.encode() + b"/.tallyloom")
        expect_files("stale temporary file", os.path.join(stale, ".tallyloom"), SNAPSHOT,
                     PENDING_LINE + FINAL_LINE)
        blocked = os.path.join(root, "blocked-tmp")
        os.makedirs(os.path.join(blocked, ".tallyloom", "bakkesmod_mmr.json.tmp"))
        run = run_host(host, environment(USERPROFILE=blocked), root, SESSION)
        target = blocked.encode() + b"/.tallyloom/bakkesmod_mmr.json"
        expect_run("stale temporary folder", run, b"".join([
            b"[0.000] TallyLoom MMR: Installed and loaded. Automatic export is ready.\n",
            b"[0.000] TallyLoom MMR error: Failed to open " + target + b"\n",
            b"[0.000] TallyLoom MMR: Queued ranked match capture for Ranked Doubles 2v2 (3-1).\n",
            b"[7.000] TallyLoom MMR: Captured exact win delta of 9 for Ranked Doubles 2v2.\n",
        ]) + tab(blocked.encode() + b"/.tallyloom", False, True, OK_TAB_STATUS,
                 b"Failed to open " + target))
        check("stale temporary folder",
              read(os.path.join(blocked, ".tallyloom", "bakkesmod_match_history.jsonl")) ==
              PENDING_LINE + FINAL_LINE, "history differs")

        # The export folder deleted while the capture waits for its rating,
        # once the pending line is on disk. The final line and the next
        # export bring folder and files back.
        live = os.path.join(root, "live")
        folder = os.path.join(live, ".tallyloom")
        run = play_live(host, environment(USERPROFILE=live), root,
                        lambda: shutil.rmtree(folder, ignore_errors=True),
                        resume=b"wait 8\ntallyloom_export_mmr\n")
        check("folder deleted", run.returncode == 0 and run.stderr == b"",
              f"exit {run.returncode}, stderr {run.stderr!r}")
        expect_files("folder deleted", folder, SNAPSHOT.replace(b"21:00:00", b"21:00:08")
                     .replace(b'"mmr": 1000', b'"mmr": 1009'), FINAL_LINE)
        exported = b"Manual test export exported 1 ranked playlists."
        check("folder deleted", run.stdout == CONSOLE + b"[8.000] TallyLoom MMR: " + exported +
              b"\n" + tab(folder.encode(), True, True, exported, exported_at=b"2026-12-06T21:00:08"),
              run.stdout.decode("utf-8", "replace"))

        # The history file replaced, between the pending and the final line,
        # by one of the same length that does not end in a line end: the
        # final line must not be joined onto it.
        replaced = os.path.join(root, "replaced")
        history = os.path.join(replaced, ".tallyloom", "bakkesmod_match_history.jsonl")
        stranger = b"x" * len(PENDING_LINE)

        def replace_history():
            with open(history + ".new", "wb") as f:
                f.write(stranger)
            os.replace(history + ".new", history)
        run = play_live(host, environment(USERPROFILE=replaced), root, replace_history)
        expect_run("replaced, same length", run, CONSOLE + tab(
            replaced.encode() + b"/.tallyloom", True, True, OK_TAB_STATUS))
        check("replaced, same length", read(history) == stranger + b"\r\n" + FINAL_LINE,
              f"history {read(history)[-120:]!r}")

        # A history file that the game's user may append to but not read:
        # the line-end check cannot be made, and the lines are appended all
        # the same, with no error.
        command = unprivileged(root, host)
        if command is None:
            print("skipped: a write-only history file needs root to switch users (setpriv), "
                  "and a temporary folder that user 65534 can reach")
        else:
            writeonly = os.path.join(root, "writeonly")
            folder = os.path.join(writeonly, ".tallyloom")
            os.makedirs(folder)
            history = os.path.join(folder, "bakkesmod_match_history.jsonl")
            with open(history, "wb") as f:
                f.write(b'{"old":1}\r\n')
            for path in (writeonly, folder, history):
                os.chown(path, 65534, 65534)
            os.chmod(history, stat.S_IWUSR)
            run = subprocess.run(command + ["--fps", "0", "--clock", CLOCK, "-"], input=SESSION,
                                 capture_output=True, env=environment(USERPROFILE=writeonly),
                                 cwd=writeonly, timeout=300)
            expect_run("write-only history", run, CONSOLE + tab(
                folder.encode(), True, True, OK_TAB_STATUS))
            expect_files("write-only history", folder, SNAPSHOT,
                         b'{"old":1}\r\n' + PENDING_LINE + FINAL_LINE)

        # A history path that is a named pipe, with a reader on the other
        # end: a pipe has no end to look at, and the lines arrive whole.
        piped = os.path.join(root, "piped")
        folder = os.path.join(piped, ".tallyloom")
        os.makedirs(folder)
        history = os.path.join(folder, "bakkesmod_match_history.jsonl")
        os.mkfifo(history)
        reader = os.open(history, os.O_RDONLY | os.O_NONBLOCK)
        try:
            run = run_host(host, environment(USERPROFILE=piped), root, SESSION)
            arrived = b""
            while True:
                try:
                    chunk = os.read(reader, 65536)
                except BlockingIOError:
                    break
                if not chunk:
                    break
                arrived += chunk
        finally:
            os.close(reader)
        expect_run("named pipe", run, CONSOLE + tab(folder.encode(), True, True, OK_TAB_STATUS))
        check("named pipe", arrived == PENDING_LINE + FINAL_LINE, f"arrived {arrived!r}")
    finally:
        shutil.rmtree(root, ignore_errors=True)

    for failure in failures:
        print(f"FAIL: {failure}", file=sys.stderr)
    print(f"{checks} checks in hostile environments, {len(failures)} failed")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
