#!/usr/bin/env python3
"""The windows-dll job's version step: reads the plugin's version from
plugin/PluginVersion.h (as tools/version.py and CMake read it) and hands it on
as the step's output `version` (GITHUB_OUTPUT), which the jobs after it take
as DLL_VERSION.

On a tag that the publishing job would publish (its condition,
startsWith(github.ref, 'refs/tags/v'), ignores case), the tag must be exactly
v<version>: otherwise it fails, writes nothing, and so nothing is built or
published for that tag.

  tools/release_version.py [ROOT]

It reads GITHUB_REF and GITHUB_OUTPUT from the environment, as GitHub sets
them for a step.
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from version import HEADER, header_version  # noqa: E402  tools/version.py

TAGS = "refs/tags/"


def main():
    if len(sys.argv) > 2 or sys.argv[1:2] and sys.argv[1].startswith("-"):
        print(__doc__.split("\n\n")[2], file=sys.stderr)
        return 2
    root = sys.argv[1] if len(sys.argv) == 2 else os.path.join(os.path.dirname(__file__), "..")
    missing = [name for name in ("GITHUB_REF", "GITHUB_OUTPUT") if not os.environ.get(name)]
    if missing:
        print(f"release_version: {', '.join(missing)} not set: this runs as a step of the workflow",
              file=sys.stderr)
        return 2
    version = header_version(root)  # exits naming what is wrong with the header
    ref = os.environ["GITHUB_REF"]
    if ref.lower().startswith(TAGS + "v"):
        tag = ref[len(TAGS):]
        if tag != f"v{version}":
            print(f"FAIL: tag {tag}, but {HEADER} says {version}: a release tag must be v{version}",
                  file=sys.stderr)
            return 1
    with open(os.environ["GITHUB_OUTPUT"], "a", encoding="utf-8", newline="") as f:
        f.write(f"version={version}\n")
    print(f"Version {version}" + (f", named by the tag {ref[len(TAGS):]}" if ref.startswith(TAGS) else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
