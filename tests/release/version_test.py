#!/usr/bin/env python3
"""tools/version.py set rewrites the old version, and nothing else, in every
file that spells it out: bytes (CR LF of the scenario files) kept, longer
numbers that merely contain it left alone, the header and the release checks
in step; bad versions change nothing. tools/version.py check fails, naming the
command, on an expected output left behind.

  version_test.py REPOSITORY_ROOT
"""
import os
import shutil
import subprocess
import sys
import tempfile

COPIED = ["scenarios", "tests", "fuzz", "docs", "plugin", "tools", "cmake", ".github", ".ci",
          "CMakeLists.txt", "CMakePresets.json", "tallyloom"]
failed = []


def check(condition, message):
    if not condition:
        failed.append(message)


def tool(root, *args):
    return subprocess.run([sys.executable, os.path.join(root, "tools", "version.py"), *args, root],
                          capture_output=True, text=True)


def snapshot(root):
    files = {}
    for folder, subfolders, names in os.walk(root):
        subfolders[:] = [s for s in subfolders if s != "__pycache__"]
        for name in names:
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                files[os.path.relpath(path, root)] = f.read()
    return files


def copy(root, target):
    for entry in COPIED:
        source = os.path.join(root, entry)
        if os.path.isdir(source):
            shutil.copytree(source, os.path.join(target, entry),
                            ignore=shutil.ignore_patterns("__pycache__"))
        else:
            shutil.copy(source, os.path.join(target, entry))


def main():
    root = os.path.abspath(sys.argv[1])
    sys.path.insert(0, os.path.join(root, "tools"))
    from version import header_version  # noqa: E402

    old = header_version(root)
    new = "9.8.7.65535"
    with tempfile.TemporaryDirectory(prefix="tallyloom-version-") as work:
        clean = os.path.join(work, "clean")
        copy(root, clean)
        # Numbers that contain the version but are not it.
        decoy = f"{old}0 1{old} {old}.1 ({old}).\r\n".encode()
        with open(os.path.join(clean, "docs", "decoy.txt"), "wb") as f:
            f.write(decoy)
        before = snapshot(clean)

        for bad in ["2.0.0", f"v{old}", "2.0.0.65536", "2.0.00.8", "2.0.0.8 ", old]:
            run = tool(clean, "set", bad)
            check(run.returncode == 2 and run.stderr, f"set {bad!r}: exit {run.returncode}")
        check(snapshot(clean) == before, "a refused version changed files")

        run = tool(clean, "set", new)
        after = snapshot(clean)
        check(header_version(clean) == new, f"the header says {header_version(clean)}")
        changed = sorted(path for path in before if before[path] != after[path])
        header = os.path.join("plugin", "PluginVersion.h")
        for path in changed:
            if path == header:
                continue
            expected = before[path].replace(old.encode(), new.encode())
            if path == os.path.join("docs", "decoy.txt"):
                expected = f"{old}0 1{old} {old}.1 ({new}).\r\n".encode()
            check(after[path] == expected, f"{path} is not the old bytes with {old} -> {new}")
        carried = [p for p in before if old.encode() in before[p] and not p.startswith(
            (os.path.join("tests", "release"), os.path.join("fuzz", "corpus")))]
        check(sorted(carried) == changed, "rewritten: " + ", ".join(sorted(set(changed) ^ set(carried))))
        check(any(p.startswith("scenarios") and p.endswith(".out") for p in changed),
              "no scenario output was rewritten")
        # The decoy still carries other four-part numbers, so check must complain, by name.
        check(run.returncode == 1 and "docs/decoy.txt" in run.stderr, f"set: {run.stderr}")
        os.remove(os.path.join(clean, "docs", "decoy.txt"))
        run = tool(clean, "check")
        check(run.returncode == 0, f"check after set: {run.stderr}")
        release = subprocess.run([sys.executable, os.path.join(clean, "tools", "check_workflow.py"),
                                  clean], capture_output=True, text=True)
        check(release.returncode == 0, f"the release checks after set: {release.stderr}")

        # ./tallyloom version needs Python only: no dpkg-query or apt-get on PATH,
        # as on a Windows maintainer's Git Bash; with no host built here, it
        # says how to remake the picture of the tab.
        tools = os.path.join(work, "bin")
        os.makedirs(tools)
        for program, path in (("bash", shutil.which("bash")), ("dirname", shutil.which("dirname")),
                              ("python3", sys.executable)):
            os.symlink(path, os.path.join(tools, program))
        run = subprocess.run([os.path.join(clean, "tallyloom"), "version", "9.8.7.64"], capture_output=True,
                             text=True, env={"PATH": tools})
        check(run.returncode == 0 and header_version(clean) == "9.8.7.64"
              and "docs/make-screenshot.sh build/bin/tallyloom-host" in run.stdout,
              f"./tallyloom version without apt: exit {run.returncode}\n{run.stdout}{run.stderr}")

        # An expected output left at another version.
        stale = os.path.join(clean, "scenarios", "settings-rows.out")
        with open(stale, "rb") as f:
            text = f.read()
        with open(stale, "wb") as f:
            f.write(text.replace(b"9.8.7.64", old.encode()))
        run = tool(clean, "check")
        check(run.returncode == 1 and "scenarios/settings-rows.out: " + old in run.stderr
              and "./tallyloom version" in run.stderr, f"check on a stale output: {run.stderr}")

    if failed:
        print("FAIL:\n" + "\n".join(failed), file=sys.stderr)
        sys.exit(1)
    print(f"ok the version moves from {old} to {new} in {len(changed)} files, and only there")


if __name__ == "__main__":
    main()
