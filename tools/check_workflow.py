#!/usr/bin/env python3
"""Checks the release build of the real DLL as far as this project's machines
can: they run Linux and reach no forge, so .github/workflows/windows-dll.yml
has never run from here. What is checked:

  - the workflow parses, has its two jobs, and uses no action beyond
    actions/checkout and actions/upload-artifact;
  - the host's SDK is checked out from bakkesmodorg/BakkesModSDK at a pinned
    40-digit commit;
  - every preset it names is defined in CMakePresets.json; the bakkesmod
    preset offers Release only and the build preset builds it; the paths it
    reads the DLL from are where that preset puts it;
  - the static runtime is chosen for every target before {fmt} is brought in,
    and the DLL check refuses runtime DLLs among the imports;
  - every file of the repository it runs or packs exists, and the DLL check
    script takes the parameters the workflow passes;
  - the version has one home, plugin/PluginVersion.h: the workflow reads it
    there, and no other build input (CMakeLists.txt, cmake/, plugin/,
    .github/, tools/) repeats it; the other texts it checks the DLL for are
    the version resource's;
  - a tag v<version> must name that version, and packs and publishes
    TallyLoomMMR-<version>.zip with the forge's own client, with the
    permission and token that needs;
  - the Linux job runs on the runner, sets vm.mmap_rnd_bits there, then runs
    .ci/run in a Debian 12 container.

  tools/check_workflow.py [REPOSITORY_ROOT]
"""
import json
import os
import re
import sys

import yaml  # Debian's python3-yaml

ALLOWED_ACTIONS = {"actions/checkout", "actions/upload-artifact"}
BUILD_INPUTS = ["CMakeLists.txt", "cmake", "plugin", ".github", "tools"]
VERSION_HOME = os.path.join("plugin", "PluginVersion.h")
RELEASE_CONDITION = "startsWith(github.ref, 'refs/tags/v')"
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def read(root, *parts):
    with open(os.path.join(root, *parts), encoding="utf-8") as f:
        return f.read()


def plugin_version(root):
    match = re.search(r'kPluginVersion = "(\d+\.\d+\.\d+\.\d+)";', read(root, VERSION_HOME))
    if not match:
        sys.exit(f"FAIL: {VERSION_HOME} has no kPluginVersion = \"A.B.C.D\";")
    return match.group(1)


def check_version_has_one_home(root, version):
    """No build input but the header writes the version, in either of the
    forms a build input would (A.B.C.D, or A,B,C,D as a resource has it)."""
    forms = [version, version.replace(".", ","), version.replace(".", ", ")]
    paths = []
    for entry in BUILD_INPUTS:
        top = os.path.join(root, entry)
        if os.path.isfile(top):
            paths.append(top)
        for folder, _, files in os.walk(top):
            paths.extend(os.path.join(folder, name) for name in files)
    for path in sorted(paths):
        relative = os.path.relpath(path, root)
        if relative == VERSION_HOME or "__pycache__" in relative:
            continue
        with open(path, "rb") as f:
            text = f.read().decode("utf-8", errors="replace")
        for form in forms:
            if form in text:
                check(False, f"{relative} repeats the version {form} "
                      f"(its one home is {VERSION_HOME})")


def check_runtime(root):
    flags = read(root, "cmake", "CompilerFlags.cmake")
    check(re.search(r"set\(CMAKE_MSVC_RUNTIME_LIBRARY MultiThreaded\)", flags) is not None,
          "cmake/CompilerFlags.cmake does not choose the static runtime (MultiThreaded)")
    lists = read(root, "CMakeLists.txt")
    flags_at = lists.find("include(cmake/CompilerFlags.cmake)")
    dependencies_at = lists.find("include(cmake/Dependencies.cmake)")
    check(0 <= flags_at < dependencies_at,
          "the runtime is not chosen before the dependencies are brought in")
    dependencies = read(root, "cmake", "Dependencies.cmake")
    msvc = dependencies.split("if(MSVC)", 1)[-1].split("elseif", 1)[0]
    check("find_package(fmt" not in msvc and "FetchContent_MakeAvailable(fmt)" in msvc,
          "the Visual C++ build may take a packaged {fmt}, which has the DLL runtime")
    script = read(root, "tools", "check-windows-dll.ps1")
    for pattern in ("msvcp*", "vcruntime*", "ucrtbase*", "api-ms-win-crt-*"):
        check(f"'{pattern}'" in script, f"check-windows-dll.ps1 lets {pattern} imports through")


def check_linux_job(job):
    check(str(job.get("runs-on", "")).startswith("ubuntu"), "linux-tests does not run on ubuntu")
    check("container" not in job,
          "linux-tests runs in a container, where vm.mmap_rnd_bits cannot be set")
    runs = [str(step.get("run", "")) for step in job.get("steps", [])]
    sysctl = [i for i, run in enumerate(runs)
              if re.search(r"\bsudo sysctl -w vm\.mmap_rnd_bits=28\b", run)]
    docker = [i for i, run in enumerate(runs)
              if re.search(r"\bdocker run\b.*\bdebian:12\b.*\bbash \.ci/run\b", run)]
    check(bool(sysctl), "linux-tests does not set vm.mmap_rnd_bits=28 on the runner")
    check(bool(docker), "linux-tests does not run .ci/run in a debian:12 container")
    if sysctl and docker:
        check(sysctl[0] < docker[0], "linux-tests sets vm.mmap_rnd_bits after the tests ran")


def check_release(root, job, steps):
    check(job.get("permissions", {}).get("contents") == "write",
          "windows-dll lacks permissions: contents: write (for the release)")
    check(job.get("env", {}).get("GH_TOKEN") == "${{ github.token }}",
          "windows-dll lacks GH_TOKEN: ${{ github.token }} in its environment")
    runs = [(str(step.get("if", "")), str(step.get("run", ""))) for step in steps]

    reads = [i for i, (_, run) in enumerate(runs)
             if "plugin/PluginVersion.h" in run and "DLL_VERSION=" in run and "GITHUB_ENV" in run]
    check(bool(reads), "the workflow does not read DLL_VERSION from plugin/PluginVersion.h")
    tag_checks = [i for i, (condition, run) in enumerate(runs)
                  if condition == RELEASE_CONDITION and "v$env:DLL_VERSION" in run
                  and "exit 1" in run]
    check(bool(tag_checks), "no step fails a release tag that is not v<DLL_VERSION>")
    if reads and tag_checks:
        check(reads[0] < tag_checks[0], "the tag is checked before the version is read")

    zip_name = "TallyLoomMMR-$env:DLL_VERSION.zip"
    packs = [run for condition, run in runs if condition == RELEASE_CONDITION and
             "Compress-Archive" in run and zip_name in run]
    check(len(packs) == 1, f"no release step packs {zip_name}")
    for run in packs:
        for wanted in ("TallyLoomMMR.dll", "BUILT-AGAINST.txt", "docs/players.txt"):
            check(wanted in run, f"the release zip does not hold {wanted}")
    check(os.path.isfile(os.path.join(root, "docs", "players.txt")),
          "docs/players.txt (the players' page in the zip) does not exist")
    publishes = [run for condition, run in runs
                 if condition == RELEASE_CONDITION and "gh release create" in run]
    check(len(publishes) == 1, "no release step runs gh release create")
    for run in publishes:
        check(zip_name in run, f"gh release create does not attach {zip_name}")
    if tag_checks and publishes:
        publish_at = next(i for i, (c, run) in enumerate(runs) if "gh release create" in run)
        check(tag_checks[0] < publish_at, "the release is published before the tag is checked")


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                           os.path.join(os.path.dirname(__file__), ".."))
    workflow = yaml.safe_load(read(root, ".github", "workflows", "windows-dll.yml"))
    presets = json.loads(read(root, "CMakePresets.json"))
    rc = read(root, "plugin", "TallyLoomMMR.rc.in")
    version = plugin_version(root)

    # YAML 1.1 reads the key "on" as true.
    check((workflow.get("on") or workflow.get(True)) is not None, "the workflow has no triggers")
    jobs = workflow.get("jobs", {})
    check(set(jobs) == {"windows-dll", "linux-tests"}, f"jobs are {sorted(jobs)}")
    env = workflow.get("env", {})

    steps = [(name, step) for name, job in jobs.items() for step in job.get("steps", [])]
    for job, step in steps:
        if "uses" in step:
            action, _, pinned = step["uses"].partition("@")
            check(action in ALLOWED_ACTIONS, f"{job}: uses {step['uses']}")
            check(bool(pinned), f"{job}: {action} without a version")

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
    runs = [(job, str(step["run"])) for job, step in steps if "run" in step]
    for job, command in runs:
        for kind, name in re.findall(r"cmake (--build )?--preset (\S+)", command):
            table = build if kind else configure
            check(name in table, f"{job}: preset {name} is not a "
                  f"{'build' if kind else 'configure'} preset")
    check("bakkesmod" in configure and "bakkesmod" in build, "no bakkesmod preset")
    if "bakkesmod" in configure and "bakkesmod" in build:
        check(build["bakkesmod"].get("configuration") == "Release",
              "the bakkesmod build preset does not build Release")
        types = configure["bakkesmod"].get("cacheVariables", {}).get("CMAKE_CONFIGURATION_TYPES")
        check(types == "Release", f"the bakkesmod preset offers {types!r}, not Release only")
        binary = configure["bakkesmod"]["binaryDir"].replace("${sourceDir}/", "")
        dll = f"{binary}/bin/Release/TallyLoomMMR.dll"
        named = " ".join(command for _, command in runs)
        uploads = [s["with"]["path"] for _, s in steps
                   if s.get("uses", "").startswith("actions/upload-artifact")]
        check(dll in named, f"the workflow does not check {dll}")
        check(any(dll in path for path in uploads), f"the workflow does not keep {dll}")
    check_runtime(root)

    # Files of the repository that it runs or packs.
    for job, command in runs:
        for path in re.findall(r"(?:\./|\b)((?:tools|\.ci|docs)/[\w./-]+)", command):
            check(os.path.isfile(os.path.join(root, path)), f"{job}: {path} does not exist")
    script = read(root, "tools", "check-windows-dll.ps1")
    for parameter in ("Dll", "Version", "Description", "Product"):
        check(f"${parameter}" in script, f"check-windows-dll.ps1 takes no -{parameter}")

    # The version, and the texts the resource has besides it.
    check_version_has_one_home(root, version)
    check("DLL_VERSION" not in env, "the workflow writes DLL_VERSION instead of reading it")

    def rc_value(key):
        match = re.search(rf'VALUE "{key}", "([^"]*)"', rc)
        return match.group(1) if match else None
    check(rc_value("FileVersion") == rc_value("ProductVersion") == "@PROJECT_VERSION@",
          "the version resource does not take its version texts from CMake")
    check(env.get("DLL_DESCRIPTION") == rc_value("FileDescription"),
          f"DLL_DESCRIPTION {env.get('DLL_DESCRIPTION')!r} is not the resource's")
    check(env.get("DLL_PRODUCT") == rc_value("ProductName"),
          f"DLL_PRODUCT {env.get('DLL_PRODUCT')!r} is not the resource's")

    if "windows-dll" in jobs:
        check_release(root, jobs["windows-dll"], jobs["windows-dll"].get("steps", []))
    if "linux-tests" in jobs:
        check_linux_job(jobs["linux-tests"])

    if failures:
        print("FAIL: the release build of the DLL:\n  " + "\n  ".join(failures), file=sys.stderr)
        sys.exit(1)
    print(f"ok windows-dll workflow and release inputs, version {version} "
          "(checked here; the workflow has not been run from here)")


if __name__ == "__main__":
    main()
