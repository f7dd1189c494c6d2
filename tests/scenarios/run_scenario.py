#!/usr/bin/env python3
"""Runs one tallyloom-host scenario and compares what it produced, byte for byte.

A scenario is scenarios/NAME.tlh, a script of the host's command language, with
its expected results beside it:

  NAME.out     the host's standard output, exactly
  NAME.err     (optional) the host's standard error, exactly; the run must then
               fail with exit code 1, otherwise it must succeed and print nothing
               on standard error
  NAME.files/  (optional) exactly the files the session leaves in the profile's
               .tallyloom folder, byte for byte; without it the folder must not exist

Every run uses a fresh profile folder, TZ=UTC and --clock 2026-12-06T21:00:00.
The profile folder's path, wherever it appears in the output, reads <profile>.
A line "# profile-name: NAME" names the profile folder (to test unusual names).

--emulator runs a Windows build of the host (under Wine); the export folder's
paths it prints use backslashes, which are read as slashes so that the same
expected output serves both systems. A run under Wine that fails also prints
what it leaves to go on (emulator_evidence): a failure that comes once in a
hundred runs is then explained by the log of the run it failed in.
A line "# host-options: ..." in the script adds options; the host reads it
itself, so a scenario run by hand (docs/host.md) gives the same output.
Every snapshot and history line produced is also parsed strictly and validated
against the JSON schemas in docs/schemas.

--update rewrites the expected results from the run (review them before
committing: they are the contract with the desktop app).
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

CLOCK = "2026-12-06T21:00:00"
EXPORT_FOLDER = ".tallyloom"


def fail(message):
    print(f"FAIL: {message}", file=sys.stderr)
    sys.exit(1)


def profile_name(script_path):
    with open(script_path, encoding="utf-8", errors="replace") as script:
        for line in script:
            if line.startswith("# profile-name:"):
                return line[len("# profile-name:"):].strip()
    return None


def read_tree(root):
    files = {}
    if not os.path.isdir(root):
        return files
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                files[os.path.relpath(path, root)] = f.read()
    return files


def show_difference(label, expected, actual):
    import difflib
    diff = difflib.unified_diff(
        expected.decode("utf-8", "replace").splitlines(True),
        actual.decode("utf-8", "replace").splitlines(True),
        f"expected {label}", f"actual {label}")
    sys.stderr.writelines(line if line.endswith("\n") else line + "\n" for line in diff)
    if expected.replace(b"\r", b"") == actual.replace(b"\r", b""):
        print("(the difference is in CR bytes)", file=sys.stderr)


def emulator_evidence(run, profile, seconds):
    """Wine's exit status and stderr, whether the host started (it makes its
    profile folder before anything else), and the wineserver's state."""
    prefix = os.environ.get("WINEPREFIX", os.path.expanduser("~/.wine"))
    lines = [f"exit status {run.returncode} after {seconds:.1f} s; stdout {len(run.stdout)} bytes",
             "the host started: " + ("yes, it made its profile folder" if os.path.isdir(profile)
                                     else "no, its profile folder was never made"),
             f"Wine's stderr: {run.stderr!r}",
             f"WINEPREFIX={prefix} WINEDEBUG={os.environ.get('WINEDEBUG')}"]
    try:
        info = os.stat(prefix)
        server = f"/tmp/.wine-{os.getuid()}/server-{info.st_dev:x}-{info.st_ino:x}"
        held = sorted(os.listdir(server)) if os.path.isdir(server) else "no such folder"
        lines.append(f"the prefix's wineserver folder {server}: {held}")
    except OSError as error:
        lines.append(f"the prefix: {error}")
    processes = subprocess.run(["ps", "-eo", "pid,ppid,etimes,stat,args"], capture_output=True,
                               text=True).stdout.splitlines()
    lines += ["Wine's processes (pid, ppid, seconds, state):"]
    lines += ["  " + line for line in processes if "wine" in line.lower() and "ps -eo" not in line]
    with open("/proc/loadavg") as load:
        lines.append(f"load average: {load.read().strip()}")
    log = os.environ.get("TALLYLOOM_WINE_SESSION_LOG")
    if log and os.path.exists(log):
        with open(log, "rb") as f:
            lines.append(f"the Wine session's log ({log}), its end: {f.read()[-2000:]!r}")
    print("\n".join(["evidence of the run under Wine:", *lines]), file=sys.stderr)


def strict_json(text):
    def reject(constant):
        raise ValueError(f"non-standard JSON constant {constant}")

    def unique(pairs):
        keys = [k for k, _ in pairs]
        if len(keys) != len(set(keys)):
            raise ValueError("duplicate key")
        return dict(pairs)

    return json.loads(text, parse_constant=reject, object_pairs_hook=unique)


def validate_files(files, schemas_dir):
    try:
        import jsonschema
    except ImportError:
        fail("python3-jsonschema is missing (the test command installs it)")
    schemas = {}
    for name in ("snapshot", "history-line"):
        path = os.path.join(schemas_dir, f"{name}.schema.json")
        if os.path.exists(path):
            with open(path, encoding="utf-8") as f:
                schemas[name] = json.load(f)
    for rel, data in files.items():
        base = os.path.basename(rel)
        try:
            text = data.decode("utf-8")
        except UnicodeDecodeError as error:
            fail(f"{rel} is not valid UTF-8: {error}")
        if base == "bakkesmod_mmr.json":
            document = strict_json(text)
            if "snapshot" in schemas:
                jsonschema.validate(document, schemas["snapshot"])
        elif base == "bakkesmod_match_history.jsonl":
            if text and not text.endswith("\r\n"):
                fail(f"{rel} does not end with a whole line")
            for number, line in enumerate(text.split("\r\n")[:-1], 1):
                if "\n" in line or "\r" in line:
                    fail(f"{rel}:{number}: stray line break")
                document = strict_json(line)
                if "history-line" in schemas:
                    jsonschema.validate(document, schemas["history-line"])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", required=True, type=os.path.abspath)
    parser.add_argument("--schemas", required=True)
    parser.add_argument("--update", action="store_true")
    parser.add_argument("--emulator", help="runs the host, e.g. wine for a Windows build")
    parser.add_argument("script")
    args = parser.parse_args()

    stem = args.script[:-len(".tlh")]
    scratch = tempfile.mkdtemp(prefix="tallyloom-scenario-")
    # A folder the host makes itself, which tells that it started.
    profile = os.path.join(scratch, profile_name(args.script) or "profile")
    try:
        env = dict(os.environ, TZ="UTC")
        env.pop("USERPROFILE", None)
        command = [args.host, "--profile", profile, "--clock", CLOCK]
        if args.emulator:
            command.insert(0, args.emulator)
        command += [os.path.basename(args.script)]
        if args.emulator:  # so that a log that ends here shows the test got this far
            print(f"running {' '.join(command)}", flush=True)
        started = time.monotonic()
        run = subprocess.run(command, cwd=os.path.dirname(os.path.abspath(args.script)),
                             stdin=subprocess.DEVNULL, capture_output=True, env=env, timeout=600)
        files = read_tree(os.path.join(profile, EXPORT_FOLDER))
        def placeholders(output):
            output = output.replace(profile.encode(), b"<profile>")
            if args.emulator:
                output = output.replace(b"<profile>\\.tallyloom\\", b"<profile>/.tallyloom/")
            return output
        run = subprocess.CompletedProcess(run.args, run.returncode, placeholders(run.stdout),
                                          placeholders(run.stderr))

        if args.update:
            with open(stem + ".out", "wb") as f:
                f.write(run.stdout)
            if run.returncode != 0 or run.stderr:
                with open(stem + ".err", "wb") as f:
                    f.write(run.stderr)
            elif os.path.exists(stem + ".err"):
                os.remove(stem + ".err")
            shutil.rmtree(stem + ".files", ignore_errors=True)
            for rel, data in files.items():
                os.makedirs(os.path.dirname(os.path.join(stem + ".files", rel)), exist_ok=True)
                with open(os.path.join(stem + ".files", rel), "wb") as f:
                    f.write(data)
            print(f"updated {stem}")

        ok = True
        expect_error = os.path.exists(stem + ".err")
        if expect_error:
            with open(stem + ".err", "rb") as f:
                expected_err = f.read()
            if run.returncode != 1:
                print(f"exit code {run.returncode}, expected 1", file=sys.stderr)
                ok = False
            if run.stderr != expected_err:
                show_difference("stderr", expected_err, run.stderr)
                ok = False
        elif run.returncode != 0 or run.stderr:
            print(f"exit code {run.returncode}; stderr:\n{run.stderr.decode(errors='replace')}",
                  file=sys.stderr)
            ok = False

        with open(stem + ".out", "rb") as f:
            expected_out = f.read()
        if run.stdout != expected_out:
            show_difference("stdout", expected_out, run.stdout)
            ok = False

        expected_files = read_tree(stem + ".files")
        if set(files) != set(expected_files):
            print(f"files {sorted(files)}, expected {sorted(expected_files)}", file=sys.stderr)
            ok = False
        for rel in sorted(set(files) & set(expected_files)):
            if files[rel] != expected_files[rel]:
                show_difference(rel, expected_files[rel], files[rel])
                ok = False

        if not ok and args.emulator:
            emulator_evidence(run, profile, time.monotonic() - started)
        validate_files(files, args.schemas)
        if not ok:
            fail(os.path.basename(args.script))
        print(f"ok {os.path.basename(args.script)}")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
