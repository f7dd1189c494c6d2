#!/usr/bin/env python3
"""The plugin's version: its one home is plugin/PluginVersion.h, which the
code and the build read, but the expected outputs and test inputs (scenario
.out and .files, byte-exact lines in tests, the fuzz checks, the docs' examples)
spell it out, as the desktop app sees it.

  tools/version.py set A.B.C.D [ROOT]   write A.B.C.D into the header and
                                        rewrite the old version, and only it,
                                        wherever those files carry it
  tools/version.py check [ROOT]         fail when one of them carries another
                                        version than the header's

`./tallyloom version A.B.C.D` runs the first; the tests run the second.
"""
import os
import re
import sys

HEADER = os.path.join("plugin", "PluginVersion.h")
HEADER_LINE = re.compile(r'(kPluginVersion = ")(\d+\.\d+\.\d+\.\d+)(";)')
# Where the version is spelled out. The release tools' own tests make up
# versions; fuzz corpora are the fuzzers' inputs, not outputs.
CARRIERS = ["scenarios", "tests", "fuzz", "docs"]
SKIPPED = [os.path.join("tests", "release"), os.path.join("fuzz", "corpus")]
# A four-part version, not part of a longer number.
ANY_VERSION = rb"(?<![\d.])\d+\.\d+\.\d+\.\d+(?!\d|\.\d)"
COMMAND = "./tallyloom version"


def header_version(root):
    with open(os.path.join(root, HEADER), encoding="utf-8") as f:
        text = f.read()
    match = HEADER_LINE.search(text)
    if not match:
        sys.exit(f"version: {HEADER} has no kPluginVersion = \"A.B.C.D\";")
    # CMake and the workflow take the first line that names it, the compiler
    # the one that is code: a second line (a comment, say) could differ.
    if text.count("kPluginVersion") != 1:
        sys.exit(f"version: {HEADER} names kPluginVersion more than once")
    return match.group(2)


def carrier_files(root):
    """Every text file that may spell out the version, as paths from root."""
    for top in CARRIERS:
        for folder, subfolders, files in os.walk(os.path.join(root, top)):
            relative = os.path.relpath(folder, root)
            subfolders[:] = sorted(s for s in subfolders if s != "__pycache__"
                                   and os.path.join(relative, s) not in SKIPPED)
            for name in sorted(files):
                path = os.path.join(relative, name)
                with open(os.path.join(root, path), "rb") as f:
                    data = f.read()
                if b"\0" not in data:  # pictures and other binaries
                    yield path, data


def token(version):
    return re.compile(rb"(?<![\d.])" + re.escape(version.encode()) + rb"(?!\d|\.\d)")


def valid(version):
    parts = version.split(".")
    return (re.fullmatch(r"(0|[1-9]\d*)(\.(0|[1-9]\d*)){3}", version) is not None
            and all(int(part) <= 65535 for part in parts))  # a resource's numbers are 16-bit


def set_version(root, new):
    if not valid(new):
        print(f"version: {new!r} is no version A.B.C.D (numbers 0 to 65535, no leading zeros)",
              file=sys.stderr)
        return 2
    old = header_version(root)
    if new == old:
        print(f"version: {HEADER} already says {new}", file=sys.stderr)
        return 2
    changed = []
    for path, data in carrier_files(root):
        rewritten = token(old).sub(new.encode(), data)
        if rewritten != data:
            with open(os.path.join(root, path), "wb") as f:
                f.write(rewritten)
            changed.append(path)
    with open(os.path.join(root, HEADER), encoding="utf-8", newline="") as f:
        text = f.read()
    with open(os.path.join(root, HEADER), "w", encoding="utf-8", newline="") as f:
        f.write(HEADER_LINE.sub(lambda m: m.group(1) + new + m.group(3), text, count=1))
    print(f"{HEADER}: {old} -> {new}; {len(changed)} files carried {old}:")
    for path in changed:
        print(f"  {path}")
    return check(root)


def check(root):
    version = header_version(root)
    stale = []
    for path, data in carrier_files(root):
        others = sorted({v.decode() for v in re.findall(ANY_VERSION, data)} - {version})
        if others:
            stale.append(f"  {path}: {', '.join(others)}")
    if stale:
        print(f"FAIL: {HEADER} says {version}, but these carry another version:\n" + "\n".join(stale)
              + f"\nChange the version only with {COMMAND} A.B.C.D, which rewrites them too (to mend "
              f"this, put the version they carry back into {HEADER}, then run {COMMAND} {version}).",
              file=sys.stderr)
        return 1
    print(f"ok every expected output and test input carries {version}")
    return 0


def main():
    if len(sys.argv) >= 2 and sys.argv[1] == "check" and len(sys.argv) <= 3:
        root = sys.argv[2] if len(sys.argv) == 3 else os.path.join(os.path.dirname(__file__), "..")
        return check(os.path.abspath(root))
    if len(sys.argv) >= 3 and sys.argv[1] == "set" and len(sys.argv) <= 4:
        root = sys.argv[3] if len(sys.argv) == 4 else os.path.join(os.path.dirname(__file__), "..")
        return set_version(os.path.abspath(root), sys.argv[2])
    print(__doc__.split("\n\n")[1], file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main())
