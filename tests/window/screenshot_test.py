#!/usr/bin/env python3
"""tallyloom-host --window under a virtual X server with Mesa's software OpenGL.

A session reads and clicks the tab in the real window and takes a screenshot
before and after the click. Its console output must equal window-session.out
byte for byte (the same as a headless run would print), and each screenshot
must be a PNG of the window's size that shows more than the background; the
click must change the picture.
"""

import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
CLOCK = "2026-12-06T21:00:00"
WINDOW_SIZE = (860, 420)  # host/WindowHost.h


def fail(message):
    print(f"FAIL: {message}", file=sys.stderr)
    sys.exit(1)


def read_png(path):
    """Decodes an 8-bit RGB or RGBA PNG into (width, height, channels, rows of bytes)."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        fail(f"{path} is not a PNG file")
    pos, header, compressed = 8, None, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            compressed += body
        elif kind == b"IEND":
            break
        pos += 12 + length
    if header is None:
        fail(f"{path} has no header")
    width, height, depth, color, _, _, interlace = header
    if depth != 8 or color not in (2, 6) or interlace != 0:
        fail(f"{path}: unexpected PNG layout (depth {depth}, colour type {color})")
    channels = 3 if color == 2 else 4
    raw = zlib.decompress(compressed)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + up) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                predictor = left if pa <= pb and pa <= pc else up if pb <= pc else corner
                line[i] = (line[i] + predictor) & 0xFF
            elif kind != 0:
                fail(f"{path}: bad filter type {kind}")
        rows.append(bytes(line))
        previous = line
    return width, height, channels, rows


def check_picture(path):
    width, height, channels, rows = read_png(path)
    if (width, height) != WINDOW_SIZE:
        fail(f"{path} is {width}x{height}, the window is {WINDOW_SIZE[0]}x{WINDOW_SIZE[1]}")
    counts = {}
    for row in rows:
        for x in range(0, len(row), channels):
            pixel = row[x:x + 3]
            counts[pixel] = counts.get(pixel, 0) + 1
    background = max(counts, key=counts.get)
    drawn = width * height - counts[background]
    # Text, frames, the checkboxes and the buttons: a few percent of the window
    # at least, in many shades (antialiased text).
    if drawn < width * height // 50:
        fail(f"{path}: only {drawn} pixels differ from the background")
    if len(counts) < 16:
        fail(f"{path}: only {len(counts)} colours")
    return rows


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", required=True, type=os.path.abspath)
    args = parser.parse_args()
    if shutil.which("xvfb-run") is None:
        fail("xvfb-run is missing (Debian package xvfb; the test command installs it)")

    work = tempfile.mkdtemp(prefix="tallyloom-window-")
    try:
        profile = os.path.join(work, "profile")
        env = dict(os.environ, TZ="UTC", LIBGL_ALWAYS_SOFTWARE="1")
        env.pop("USERPROFILE", None)
        env.pop("DISPLAY", None)
        # For a thread-sanitized host: Mesa's own threads are not its concern.
        suppressions = "suppressions=" + os.path.join(HERE, "tsan.supp")
        env["TSAN_OPTIONS"] = (env.get("TSAN_OPTIONS", "") + " " + suppressions).strip()
        command = ["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24",
                   args.host, "--window", "--profile", profile, "--clock", CLOCK,
                   os.path.join(HERE, "window-session.tlh")]
        run = subprocess.run(command, cwd=work, stdin=subprocess.DEVNULL, capture_output=True,
                             env=env, timeout=600)
        if run.returncode != 0:
            fail(f"exit code {run.returncode}; stderr:\n{run.stderr.decode(errors='replace')}")
        stdout = run.stdout.replace(profile.encode(), b"<profile>")
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
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("ok window session and screenshots")


if __name__ == "__main__":
    main()
