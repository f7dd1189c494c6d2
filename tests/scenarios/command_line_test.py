#!/usr/bin/env python3
"""tallyloom-host and ./tallyloom as a newcomer meets them: bad input is refused
before anything runs, with the reason; help comes from the command table; a
scenario run by hand, as docs/host.md says, prints its expected output."""

import argparse
import os
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
failures = []


def check(name, condition, detail=""):
    if not condition:
        failures.append(f"{name}: {detail}")


def run(command, stdin=b"", env=None, cwd=None):
    return subprocess.run(command, input=stdin, capture_output=True, env=env, cwd=cwd, timeout=120)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", required=True, type=os.path.abspath)
    args = parser.parse_args()
    host = args.host
    env = dict(os.environ, TZ="UTC")
    env.pop("USERPROFILE", None)

    with tempfile.TemporaryDirectory(prefix="tallyloom-cli-") as work:
        profile = os.path.join(work, "profile")

        # Refused before the plugin loads: nothing on standard output, status 2.
        refusals = [
            ([], "no script to run"),
            (["nothere.tlh"], "cannot open script nothere.tlh: No such file or directory"),
            ([work], f"cannot read script {work}: it is a folder"),
            (["--clock", "2026-13-45T25:61:61", "-"], "there is no such month"),
            (["--clock", "2026-12-06", "-"], "expected YYYY-MM-DDTHH:MM:SS"),
            (["--frob"], "unknown option --frob"),
        ]
        for words, reason in refusals:
            result = run([host, "--profile", profile] + words, env=env, cwd=work)
            stderr = result.stderr.decode(errors="replace")
            check(f"{words}", result.returncode == 2, f"exit {result.returncode}")
            check(f"{words}", reason in stderr, stderr)
            check(f"{words}", result.stdout == b"", result.stdout.decode(errors="replace"))
        # A bad option: the reason, then the usage, as --help prints it.
        usage = run([host, "--help"]).stdout
        result = run([host, "--frob"], env=env, cwd=work)
        check("--frob", result.stderr == b"tallyloom-host: unknown option --frob\n" + usage,
              result.stderr.decode(errors="replace"))

        # The demo ends with both files as the desktop app reads them: the
        # lines on disk, each indented.
        demo = os.path.join(work, "demo")
        result = run([host, "--demo", "--profile", demo, "--clock", "2026-12-06T21:00:00"], env=env)
        listing = b""
        for title, name in (("Snapshot file", "bakkesmod_mmr.json"),
                            ("Match history file", "bakkesmod_match_history.jsonl")):
            path = os.path.join(demo, ".tallyloom", name)
            with open(path, "rb") as f:
                lines = f.read().split(b"\r\n")[:-1]
            listing += f"\n{title}: {path}\n".encode() + b"".join(b"  " + l + b"\n" for l in lines)
        check("--demo", result.returncode == 0 and result.stdout.endswith(listing),
              result.stdout[-400:].decode(errors="replace"))

        # help lists every command with its usage; help COMMAND shows one.
        result = run([host, "--profile", profile, "-"], b"help\nhelp mmr\n", env=env)
        out = result.stdout.decode()
        for usage in ["wait SECONDS", "state menu|freeplay|training|online|replay",
                      "click LABEL", "help [COMMAND]", "quit"]:
            check("help", f"\n  {usage}\n" in out, out)
        check("help mmr", out.endswith(
            "  mmr PLAYLIST VALUE [after SECONDS] | mmr PLAYLIST unsynced\n"
            "      what the rating service holds for a playlist, now or later\n"), out)

        # A scenario by hand: its "# host-options:" line is the host's to read.
        for name in ["trigger-freeplay", "settings-render-thread"]:
            folder = os.path.join(work, name)
            script = os.path.join(ROOT, "scenarios", name + ".tlh")
            result = run([host, "--clock", "2026-12-06T21:00:00", "--profile", folder, script],
                         env=env)
            with open(os.path.join(ROOT, "scenarios", name + ".out"), "rb") as f:
                expected = f.read()
            check(name, result.stdout.replace(folder.encode(), b"<profile>") == expected,
                  "the output differs from its .out")

    # The set-up script: an unknown command is an error, help is not.
    result = run([os.path.join(ROOT, "tallyloom"), "frob"])
    check("tallyloom frob", result.returncode == 2 and b"unknown command" in result.stderr,
          f"exit {result.returncode}")
    result = run([os.path.join(ROOT, "tallyloom"), "help"])
    check("tallyloom help", result.returncode == 0 and b"./tallyloom test" in result.stdout,
          f"exit {result.returncode}")
    # A version command without a version, or with a bad one, changes nothing.
    for args in (["version"], ["version", "2.0.0"], ["version", "2.0.1", "extra"]):
        result = run([os.path.join(ROOT, "tallyloom"), *args])
        check(f"tallyloom {' '.join(args)}", result.returncode == 2 and result.stderr,
              f"exit {result.returncode}")

    if failures:
        print("FAIL:\n  " + "\n  ".join(failures), file=sys.stderr)
        sys.exit(1)
    print("ok command line")


if __name__ == "__main__":
    main()
