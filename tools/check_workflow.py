#!/usr/bin/env python3
"""Checks .github/workflows/windows-dll.yml as far as this project's machines
can: they run Linux and reach no forge, so the workflow itself has never run
from here. What is checked:

  - the YAML parses, and the workflow has its two jobs;
  - it uses no action beyond actions/checkout and actions/upload-artifact;
  - the host's SDK is checked out from bakkesmodorg/BakkesModSDK at a pinned
    40-digit commit;
  - every preset it names is defined in CMakePresets.json (configure and build,
    the build in Release), and the paths it reads the DLL from are where that
    preset puts it;
  - every file of the repository it runs exists, and the DLL check script
    takes the parameters the workflow passes;
  - the version texts it checks the DLL for are the ones in plugin/TallyLoomMMR.rc.

  tools/check_workflow.py [REPOSITORY_ROOT]
"""
import json
import os
import re
import sys

import yaml  # Debian's python3-yaml

ALLOWED_ACTIONS = {"actions/checkout", "actions/upload-artifact"}
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                           os.path.join(os.path.dirname(__file__), ".."))
    workflow_path = os.path.join(root, ".github", "workflows", "windows-dll.yml")
    with open(workflow_path, encoding="utf-8") as f:
        workflow = yaml.safe_load(f)
    with open(os.path.join(root, "CMakePresets.json"), encoding="utf-8") as f:
        presets = json.load(f)
    with open(os.path.join(root, "plugin", "TallyLoomMMR.rc"), encoding="utf-8") as f:
        rc = f.read()

    # YAML 1.1 reads the key "on" as true.
    check((workflow.get("on") or workflow.get(True)) is not None, "the workflow has no triggers")
    jobs = workflow.get("jobs", {})
    check(set(jobs) == {"windows-dll", "linux-tests"}, f"jobs are {sorted(jobs)}")
    env = workflow.get("env", {})

    steps = [(name, step) for name, job in jobs.items() for step in job.get("steps", [])]
    for job, step in steps:
        if "uses" in step:
            action, _, version = step["uses"].partition("@")
            check(action in ALLOWED_ACTIONS, f"{job}: uses {step['uses']}")
            check(bool(version), f"{job}: {action} without a version")

    # The host's SDK at a pinned commit.
    commit = str(env.get("BAKKESMOD_SDK_COMMIT", ""))
    check(re.fullmatch(r"[0-9a-f]{40}", commit) is not None, f"SDK commit {commit!r} is not pinned")
    sdk_steps = [s for _, s in steps if s.get("with", {}).get("repository")]
    check(len(sdk_steps) == 1, "the SDK is not checked out exactly once")
    for step in sdk_steps:
        check(step["with"]["repository"] == "bakkesmodorg/BakkesModSDK",
              f"the SDK comes from {step['with']['repository']}")
        check(step["with"].get("ref") == "${{ env.BAKKESMOD_SDK_COMMIT }}",
              "the SDK is not checked out at BAKKESMOD_SDK_COMMIT")

    # Presets, and where the DLL lands.
    configure = {p["name"]: p for p in presets["configurePresets"]}
    build = {p["name"]: p for p in presets["buildPresets"]}
    runs = [(job, step["run"]) for job, step in steps if "run" in step]
    for job, command in runs:
        for kind, name in re.findall(r"cmake (--build )?--preset (\S+)", command):
            table = build if kind else configure
            check(name in table, f"{job}: preset {name} is not a "
                  f"{'build' if kind else 'configure'} preset")
    check("bakkesmod" in configure and "bakkesmod" in build, "no bakkesmod preset")
    if "bakkesmod" in configure and "bakkesmod" in build:
        check(build["bakkesmod"].get("configuration") == "Release",
              "the bakkesmod build preset does not build Release")
        binary = configure["bakkesmod"]["binaryDir"].replace("${sourceDir}/", "")
        dll = f"{binary}/bin/Release/TallyLoomMMR.dll"
        named = " ".join(command for _, command in runs)
        uploads = [s["with"]["path"] for _, s in steps
                   if s.get("uses", "").startswith("actions/upload-artifact")]
        check(dll in named, f"the workflow does not check {dll}")
        check(any(dll in path for path in uploads), f"the workflow does not keep {dll}")

    # Files of the repository that it runs.
    for job, command in runs:
        for path in re.findall(r"(?:\./|\b)((?:tools|\.ci)/[\w./-]+)", command):
            check(os.path.isfile(os.path.join(root, path)), f"{job}: {path} does not exist")
    script = os.path.join(root, "tools", "check-windows-dll.ps1")
    if os.path.isfile(script):
        with open(script, encoding="utf-8") as f:
            text = f.read()
        for parameter in ("Dll", "Version", "Description", "Product"):
            check(f"${parameter}" in text, f"check-windows-dll.ps1 takes no -{parameter}")

    # The version texts, as the resource has them.
    def rc_value(key):
        match = re.search(rf'VALUE "{key}", "([^"]*)"', rc)
        return match.group(1) if match else None
    check(env.get("DLL_VERSION") == rc_value("FileVersion") == rc_value("ProductVersion"),
          f"DLL_VERSION {env.get('DLL_VERSION')!r} is not the resource's version")
    check(env.get("DLL_DESCRIPTION") == rc_value("FileDescription"),
          f"DLL_DESCRIPTION {env.get('DLL_DESCRIPTION')!r} is not the resource's")
    check(env.get("DLL_PRODUCT") == rc_value("ProductName"),
          f"DLL_PRODUCT {env.get('DLL_PRODUCT')!r} is not the resource's")

    if failures:
        print("FAIL: .github/workflows/windows-dll.yml:\n  " + "\n  ".join(failures),
              file=sys.stderr)
        sys.exit(1)
    print("ok windows-dll workflow (checked here; it has not been run from here)")


if __name__ == "__main__":
    main()
