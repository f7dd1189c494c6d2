#!/usr/bin/env python3
"""tallyloom-host --window under a virtual X server with Mesa's software OpenGL.

A session reads and clicks the tab in the real window and takes a screenshot
before and after the click. Its console output must equal window-session.out
byte for byte (the same as a headless run would print), and each screenshot
must be a PNG of the window's size that shows more than the background; the
click must change the picture. Then a screenshot, a read and a click each run
as the first command of many sessions, in a window and on a render thread:
each must act on the laid-out tab.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

from PIL import Image  # Debian's python3-pil

HERE = os.path.dirname(os.path.abspath(__file__))
CLOCK = "2026-12-06T21:00:00"
WINDOW_SIZE = (860, 420)  # host/WindowHost.h


def fail(message):
    print(f"FAIL: {message}", file=sys.stderr)
    sys.exit(1)


def check_picture(path):
    """The screenshot is the window's size and shows the tab, not an empty window."""
    with Image.open(path) as image:
        if image.size != WINDOW_SIZE:
            fail(f"{path} is {image.size[0]}x{image.size[1]}, "
                 f"the window is {WINDOW_SIZE[0]}x{WINDOW_SIZE[1]}")
        pixels = image.convert("RGB")
    width, height = pixels.size
    counts = pixels.getcolors(maxcolors=width * height)
    background = max(counts)[0]
    drawn = width * height - background
    # Text, frames, the checkboxes and the buttons: a few percent of the window
    # at least, in many shades (antialiased text).
    if drawn < width * height // 50:
        fail(f"{path}: only {drawn} pixels differ from the background")
    if len(counts) < 16:
        fail(f"{path}: only {len(counts)} colours")
    return pixels.tobytes()


def run_host(args, script, work, window):
    """Runs one session of `script` (text); gives its standard output, <profile> for the folder."""
    profile = os.path.join(work, "profile")
    script_path = os.path.join(work, "session.tlh")
    with open(script_path, "w", encoding="utf-8") as f:
        f.write(script)
    env = dict(os.environ, TZ="UTC", LIBGL_ALWAYS_SOFTWARE="1")
    env.pop("USERPROFILE", None)
    env.pop("DISPLAY", None)
    # For a thread-sanitized host: Mesa's own threads are not its concern.
    suppressions = "suppressions=" + os.path.join(HERE, "tsan.supp")
    env["TSAN_OPTIONS"] = (env.get("TSAN_OPTIONS", "") + " " + suppressions).strip()
    command = [args.host, "--profile", profile, "--clock", CLOCK, script_path]
    if window:
        command = ["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24", args.host, "--window"] + \
            command[1:]
    else:
        command.insert(1, "--render-thread")
    run = subprocess.run(command, cwd=work, stdin=subprocess.DEVNULL, capture_output=True,
                         env=env, timeout=600)
    if run.returncode != 0:
        fail(f"{' '.join(command)}: exit code {run.returncode}; stderr:\n"
             f"{run.stderr.decode(errors='replace')}")
    return run.stdout.replace(profile.encode(), b"<profile>")


def check_first_commands(args, work):
    """A screenshot, a read or a click as a session's very first command acts on
    the laid-out tab, however far the drawing thread has got by then."""
    account = "account 76561198012345678\n"
    runs = [
        (True, "screenshot first.png\nquit\n", lambda out: check_picture(
            os.path.join(work, "first.png"))),
        (True, "settings\nquit\n", None),
        (True, 'click "Log plugin status"\nquit\n', None),
    ] * args.window_repeats + [
        (False, "settings\n", None),
        (False, 'click "Log plugin status"\n', None),
    ] * args.thread_repeats
    for window, commands, check in runs:
        out = run_host(args, account + commands, work, window)
        if commands.startswith("settings") and b"  Plugin version: 2.0.0.7\n" not in out:
            fail(f"`settings` as the first command read no tab:\n{out.decode(errors='replace')}")
        if commands.startswith("click") and b"pending captures=0" not in out:
            fail(f"`click` as the first command did nothing:\n{out.decode(errors='replace')}")
        if check:
            check(out)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", required=True, type=os.path.abspath)
    parser.add_argument("--window-repeats", type=int, default=8,
                        help="window sessions for each first command")
    parser.add_argument("--thread-repeats", type=int, default=25,
                        help="--render-thread sessions for each first command")
    args = parser.parse_args()
    if shutil.which("xvfb-run") is None:
        fail("xvfb-run is missing (Debian package xvfb; the test command installs it)")

    work = tempfile.mkdtemp(prefix="tallyloom-window-")
    try:
        with open(os.path.join(HERE, "window-session.tlh"), encoding="utf-8") as f:
            stdout = run_host(args, f.read(), work, window=True)
        with open(os.path.join(HERE, "window-session.out"), "rb") as f:
            expected = f.read()
        if stdout != expected:
            import difflib
            sys.stderr.writelines(difflib.unified_diff(
                expected.decode().splitlines(True), stdout.decode(errors="replace").splitlines(True),
                "expected", "actual"))
            fail("the window session printed something else")

        before = check_picture(os.path.join(work, "before.png"))
        after = check_picture(os.path.join(work, "after.png"))
        if before == after:
            fail("clicking the box did not change the window")

        check_first_commands(args, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("ok window session, screenshots and first commands")


if __name__ == "__main__":
    main()
