#!/usr/bin/env python3
"""The windows-dll job's SDK note: fails unless the SDK folder's checkout is
at the pinned commit, then writes BUILT-AGAINST.txt, which names the DLL's
version and the SDK's commit and subject line as git reads them there. The
players' zip and the symbols zip carry it (tools/pack_release.py).

  tools/sdk_note.py --sdk FOLDER --pin COMMIT --to FILE [ROOT]

The version is plugin/PluginVersion.h's under ROOT (by default this
repository). The note is one line with a Windows line end, for Notepad.
"""
import argparse
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from version import header_version  # noqa: E402  tools/version.py

SDK = "bakkesmodorg/BakkesModSDK"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--sdk", required=True, help="the SDK's checkout")
    parser.add_argument("--pin", required=True, help="the full commit it must be at")
    parser.add_argument("--to", required=True, help="the note to write")
    parser.add_argument("root", nargs="?", default=os.path.join(os.path.dirname(__file__), ".."))
    args = parser.parse_args()

    if not re.fullmatch(r"[0-9a-f]{40}", args.pin):
        print(f"FAIL: the SDK pin {args.pin!r} is not a full commit (40 hexadecimal digits)", file=sys.stderr)
        return 1
    version = header_version(args.root)
    try:
        read = subprocess.run(["git", "-C", args.sdk, "log", "-1", "--format=%H%n%s"],
                              capture_output=True, text=True, encoding="utf-8")
    except OSError as error:
        print(f"FAIL: git cannot be run: {error}", file=sys.stderr)
        return 1
    if read.returncode != 0:
        print(f"FAIL: git cannot read the SDK checkout {args.sdk}: {read.stderr.strip()}", file=sys.stderr)
        return 1
    commit, _, subject = read.stdout.rstrip("\n").partition("\n")
    if commit != args.pin:
        print(f"FAIL: the SDK checkout {args.sdk} is at {commit}, not at the pin {args.pin}", file=sys.stderr)
        return 1
    note = f'TallyLoomMMR.dll {version}, built with Visual C++ against {SDK} at commit {commit} ("{subject}").'
    with open(args.to, "w", encoding="utf-8", newline="") as f:
        f.write(note + "\r\n")
    print(note)
    return 0


if __name__ == "__main__":
    sys.exit(main())
