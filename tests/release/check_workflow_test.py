#!/usr/bin/env python3
"""tools/check_workflow.py catches each way the release build can go wrong:
every case below breaks a copy of the repository's build inputs in one place,
and the checker must fail naming it. The untouched copy must pass.

  check_workflow_test.py REPOSITORY_ROOT
"""
import os
import shutil
import subprocess
import sys
import tempfile

WORKFLOW = ".github/workflows/windows-dll.yml"
COPIED = ["CMakeLists.txt", "CMakePresets.json", "cmake", "plugin", ".github", "tools", ".ci",
          "docs/players.txt"]


def version(root):
    with open(os.path.join(root, "plugin", "PluginVersion.h"), encoding="utf-8") as f:
        text = f.read()
    return text.split('kPluginVersion = "', 1)[1].split('"', 1)[0]


def cases(v):
    """(what breaks, file, text replaced, replacement, expected failure)."""
    return [
        ("the version written again in CMake", "CMakeLists.txt",
         "project(TallyLoomMMR VERSION ${CMAKE_MATCH_1}", f"project(TallyLoomMMR VERSION {v}",
         "CMakeLists.txt repeats the version"),
        ("the resource's numbers written by hand", "plugin/TallyLoomMMR.rc.in",
         " FILEVERSION @PROJECT_VERSION_MAJOR@,@PROJECT_VERSION_MINOR@,@PROJECT_VERSION_PATCH@,"
         "@PROJECT_VERSION_TWEAK@", " FILEVERSION " + v.replace(".", ","),
         "TallyLoomMMR.rc.in repeats the version"),
        ("the workflow's version written by hand", WORKFLOW,
         "  DLL_DESCRIPTION:", f"  DLL_VERSION: {v}\n  DLL_DESCRIPTION:",
         "repeats the version"),
        ("Debug offered", "CMakePresets.json",
         '"CMAKE_CONFIGURATION_TYPES": "Release"', '"CMAKE_CONFIGURATION_TYPES": "Debug;Release"',
         "not Release only"),
        ("the DLL runtime", "cmake/CompilerFlags.cmake",
         "set(CMAKE_MSVC_RUNTIME_LIBRARY MultiThreaded)", "",
         "does not choose the static runtime"),
        ("a packaged {fmt}", "cmake/Dependencies.cmake",
         "  include(FetchContent)\n", "  find_package(fmt 9 CONFIG QUIET)\n  include(FetchContent)\n",
         "packaged {fmt}"),
        ("runtime imports let through", "tools/check-windows-dll.ps1",
         "'msvcp*', ", "", "lets msvcp* imports through"),
        ("the Linux job in a container", WORKFLOW,
         "    runs-on: ubuntu-latest\n", "    runs-on: ubuntu-latest\n    container: debian:12\n",
         "runs in a container"),
        ("no sysctl", WORKFLOW, "sudo sysctl -w vm.mmap_rnd_bits=28", "echo skipped",
         "does not set vm.mmap_rnd_bits=28"),
        ("no permission to publish", WORKFLOW, "      contents: write", "      contents: read",
         "contents: write"),
        ("no token", WORKFLOW, "      GH_TOKEN: ${{ github.token }}\n", "",
         "GH_TOKEN"),
        ("any tag accepted", WORKFLOW, '-cne "v$env:DLL_VERSION"', '-cne "$env:RELEASE_TAG"',
         "not v<DLL_VERSION>"),
        ("the players' page left out of the zip", WORKFLOW,
         "Copy-Item docs/players.txt", "Copy-Item docs/missing.txt",
         "does not hold docs/players.txt"),
        ("a third-party action", WORKFLOW, "uses: actions/upload-artifact@v4",
         "uses: softprops/action-gh-release@v2", "uses softprops/action-gh-release@v2"),
    ]


def run_checker(copy):
    return subprocess.run([sys.executable, os.path.join(copy, "tools", "check_workflow.py"), copy],
                          capture_output=True, text=True)


def main():
    root = os.path.abspath(sys.argv[1])
    failed = []
    with tempfile.TemporaryDirectory(prefix="tallyloom-release-") as work:
        pristine = os.path.join(work, "pristine")
        for entry in COPIED:
            source, target = os.path.join(root, entry), os.path.join(pristine, entry)
            if os.path.isdir(source):
                shutil.copytree(source, target, ignore=shutil.ignore_patterns("__pycache__"))
            else:
                os.makedirs(os.path.dirname(target), exist_ok=True)
                shutil.copy(source, target)
        run = run_checker(pristine)
        if run.returncode != 0:
            failed.append(f"the untouched inputs fail:\n{run.stderr}")
        for what, path, old, new, expected in cases(version(root)):
            copy = os.path.join(work, "case")
            shutil.rmtree(copy, ignore_errors=True)
            shutil.copytree(pristine, copy)
            with open(os.path.join(copy, path), encoding="utf-8") as f:
                text = f.read()
            if old not in text:
                failed.append(f"{what}: {path} no longer has {old!r}; update this case")
                continue
            with open(os.path.join(copy, path), "w", encoding="utf-8") as f:
                f.write(text.replace(old, new, 1))
            run = run_checker(copy)
            if run.returncode != 1 or expected not in run.stderr:
                failed.append(f"{what}: exit {run.returncode}, expected a failure naming "
                              f"{expected!r}:\n{run.stdout}{run.stderr}")
    if failed:
        print("FAIL:\n" + "\n".join(failed), file=sys.stderr)
        sys.exit(1)
    print(f"ok the checker catches {len(cases('0.0.0.0'))} broken release inputs")


if __name__ == "__main__":
    main()
