#!/usr/bin/env python3
"""The scripts the windows-dll job runs as steps, run here on crafted inputs:
tools/release_version.py (the version read and the tag check) on each kind
of ref, and tools/sdk_note.py on a git checkout at and off its pin. What they
write is compared byte for byte.

  release_steps_test.py REPOSITORY_ROOT
"""
import os
import subprocess
import sys
import tempfile

VERSION = "1.2.3.4"
HEADER = f'inline constexpr const char* kPluginVersion = "{VERSION}";\n'
OUTPUT_BEFORE = "earlier=1\n"
WRITTEN = OUTPUT_BEFORE + f"version={VERSION}\n"
UNCHANGED = OUTPUT_BEFORE

# (what, GITHUB_REF, header text, exit code, a text of its output, what
# GITHUB_OUTPUT then holds)
VERSION_CASES = [
    ("a branch", "refs/heads/main", HEADER, 0, f"Version {VERSION}", WRITTEN),
    ("a branch named like a tag", "refs/heads/v9.9.9.9", HEADER, 0, f"Version {VERSION}", WRITTEN),
    ("a pull request", "refs/pull/7/merge", HEADER, 0, f"Version {VERSION}", WRITTEN),
    ("the release tag", f"refs/tags/v{VERSION}", HEADER, 0, f"named by the tag v{VERSION}", WRITTEN),
    ("a tag that publishes nothing", "refs/tags/nightly", HEADER, 0, f"Version {VERSION}", WRITTEN),
    ("a tag of another version", "refs/tags/v1.2.3.5", HEADER, 1,
     f"tag v1.2.3.5, but plugin/PluginVersion.h says {VERSION}", UNCHANGED),
    ("a tag in capitals, which the release job's startsWith lets through", f"refs/tags/V{VERSION}",
     HEADER, 1, f"tag V{VERSION}, but", UNCHANGED),
    ("a tag with a suffix", f"refs/tags/v{VERSION}-rc1", HEADER, 1, f"tag v{VERSION}-rc1, but", UNCHANGED),
    ("a tag of three numbers", "refs/tags/v1.2.3", HEADER, 1, "tag v1.2.3, but", UNCHANGED),
    ("a header without the version", "refs/heads/main", "// nothing\n", 1, "has no kPluginVersion",
     UNCHANGED),
    ("a header naming it twice", "refs/heads/main", HEADER + "// kPluginVersion\n", 1,
     "names kPluginVersion more than once", UNCHANGED),
]

GIT = ["git", "-c", "user.name=Test", "-c", "user.email=test@example.invalid", "-c", "init.defaultBranch=main"]


def run(command, env=None, cwd=None):
    done = subprocess.run(command, capture_output=True, text=True, env=env, cwd=cwd)
    return done.returncode, done.stdout + done.stderr


def read(path):
    with open(path, encoding="utf-8", newline="") as f:
        return f.read()


def version_step(tools, work, failed):
    root = os.path.join(work, "root")
    os.makedirs(os.path.join(root, "plugin"))
    script = os.path.join(tools, "release_version.py")
    for what, ref, header, code, text, after in VERSION_CASES:
        with open(os.path.join(root, "plugin", "PluginVersion.h"), "w", encoding="utf-8") as f:
            f.write(header)
        output_file = os.path.join(work, "output")
        with open(output_file, "w", encoding="utf-8", newline="") as f:
            f.write(OUTPUT_BEFORE)
        env = {**os.environ, "GITHUB_REF": ref, "GITHUB_OUTPUT": output_file}
        got, output = run([sys.executable, script, root], env)
        if (got, read(output_file)) != (code, after) or text not in output:
            failed.append(f"release_version, {what}: exit {got}, GITHUB_OUTPUT {read(output_file)!r}, output "
                          f"{output!r}; expected exit {code}, {after!r} and {text!r}")
    env = {k: v for k, v in os.environ.items() if not k.startswith("GITHUB_")}
    got, output = run([sys.executable, script, root], env)
    if got != 2 or "GITHUB_REF, GITHUB_OUTPUT not set" not in output:
        failed.append(f"release_version outside a workflow: exit {got}, {output!r}")


def sdk_note(tools, work, failed):
    root, sdk = os.path.join(work, "root"), os.path.join(work, "sdk")
    with open(os.path.join(root, "plugin", "PluginVersion.h"), "w", encoding="utf-8") as f:
        f.write(HEADER)
    os.makedirs(sdk)
    for command in (["init", "-q"], ["commit", "-q", "--allow-empty", "-m", "First"],
                    ["commit", "-q", "--allow-empty", "-m", 'BM217 "with quotes"']):
        if run(GIT + command, cwd=sdk)[0] != 0:
            failed.append(f"sdk_note: git cannot make the test's checkout ({' '.join(command)})")
            return
    head = run(["git", "-C", sdk, "rev-parse", "HEAD"])[1].strip()
    first = run(["git", "-C", sdk, "rev-parse", "HEAD~1"])[1].strip()
    note = os.path.join(work, "BUILT-AGAINST.txt")
    expected = (f"TallyLoomMMR.dll {VERSION}, built with Visual C++ against bakkesmodorg/BakkesModSDK at "
                f'commit {head} ("BM217 "with quotes"").\r\n')
    # (what, --sdk, --pin, exit code, a text of its output, the note it leaves)
    cases = [
        ("the checkout at its pin", sdk, head, 0, head, expected),
        ("the checkout off its pin", sdk, first, 1, f"is at {head}, not at the pin {first}", None),
        ("a pin that is a branch", sdk, "main", 1, "the SDK pin 'main' is not a full commit", None),
        ("a short pin", sdk, head[:12], 1, "is not a full commit", None),
        ("a folder that is no checkout", root, head, 1, f"git cannot read the SDK checkout {root}", None),
    ]
    for what, folder, pin, code, text, left in cases:
        if os.path.exists(note):
            os.remove(note)
        got, output = run([sys.executable, os.path.join(tools, "sdk_note.py"), "--sdk", folder, "--pin", pin,
                           "--to", note, root])
        written = read(note) if os.path.exists(note) else None
        if (got, written) != (code, left) or text not in output or "Traceback" in output:
            failed.append(f"sdk_note, {what}: exit {got}, note {written!r}, output {output!r}; expected exit "
                          f"{code}, note {left!r} and {text!r}")


def main():
    tools = os.path.join(os.path.abspath(sys.argv[1]), "tools")
    failed = []
    with tempfile.TemporaryDirectory(prefix="tallyloom-steps-") as work:
        version_step(tools, work, failed)
        sdk_note(tools, work, failed)
    if failed:
        print("FAIL:\n" + "\n".join(failed), file=sys.stderr)
        return 1
    print(f"ok the version step on {len(VERSION_CASES)} refs and headers, and the SDK note at and off its pin")
    return 0


if __name__ == "__main__":
    sys.exit(main())
