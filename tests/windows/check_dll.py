#!/usr/bin/env python3
"""Checks that TallyLoomMMR.dll exports getPlugin, deleteMe and exports by their
plain names, and nothing else."""
import argparse
import re
import subprocess
import sys

parser = argparse.ArgumentParser()
parser.add_argument("--objdump", required=True)
parser.add_argument("dll")
args = parser.parse_args()
dump = subprocess.run([args.objdump, "-p", args.dll], capture_output=True, text=True,
                      check=True).stdout
section = dump.split("[Ordinal/Name Pointer] Table", 1)
if len(section) != 2:
    sys.exit("no export table")
names = []
for line in section[1].splitlines()[1:]:
    match = re.match(r"\s*\[\s*\d+\]\s+(\S+)\s*$", line)
    if not match:
        break
    names.append(match.group(1))
if sorted(names) != ["deleteMe", "exports", "getPlugin"]:
    sys.exit(f"exports are {names}")
print("exports ok:", " ".join(names))
