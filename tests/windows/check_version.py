#!/usr/bin/env python3
"""Checks TallyLoomMMR.dll's version resource as Windows reads it (under Wine):
the version is the one CMake read from plugin/PluginVersion.h."""
import argparse
import subprocess
import sys

EXPECTED = """FileVersion={0}
ProductVersion={0}
Translation=0409 04B0
FileDescription=TallyLoom MMR - BakkesMod plugin
FileVersion={0}
ProductName=TallyLoom MMR
ProductVersion={0}
"""

parser = argparse.ArgumentParser()
parser.add_argument("--wine", required=True)
parser.add_argument("--probe", required=True)
parser.add_argument("--version", required=True)
parser.add_argument("dll")
args = parser.parse_args()
run = subprocess.run([args.wine, args.probe, args.dll], capture_output=True,
                     stdin=subprocess.DEVNULL, timeout=300)
output = run.stdout.decode(errors="replace").replace("\r\n", "\n")
if run.returncode != 0 or output != EXPECTED.format(args.version):
    print(f"exit {run.returncode}\n{output}", file=sys.stderr)
    sys.exit(1)
print("version resource ok")
