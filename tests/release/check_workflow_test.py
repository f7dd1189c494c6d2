#!/usr/bin/env python3
"""tools/check_workflow.py catches each way the release path can break: every
case below breaks a copy of the repository's release inputs in one realistic
way, and the checker must fail naming it. The untouched copy must pass.

  check_workflow_test.py REPOSITORY_ROOT
"""
import os
import shutil
import subprocess
import sys
import tempfile

WORKFLOW = ".github/workflows/windows-dll.yml"
PRESETS = "CMakePresets.json"
COPIED = ["CMakeLists.txt", PRESETS, "cmake", "plugin", ".github", "tools", ".ci",
          "docs/players.txt"]
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
from check_workflow import RUNTIME_FAMILIES  # noqa: E402  the families it must refuse

VERSION_STEP = "      - name: Read the version from plugin/PluginVersion.h\n"
TAG_STEP = """      - name: A release tag must name that version
        if: startsWith(github.ref, 'refs/tags/v')
        run: |
          if ($env:GITHUB_REF_NAME -cne "v$env:DLL_VERSION") {
            Write-Host "FAIL: tag $env:GITHUB_REF_NAME, but plugin/PluginVersion.h says $env:DLL_VERSION"
            exit 1
          }

"""
UNPACK_STEP = ("      - name: Unpack the host's Dear ImGui into the SDK folder\n"
               "        run: Expand-Archive -Path bakkesmodsdk/imgui_bm.zip "
               "-DestinationPath bakkesmodsdk/imgui_bm\n\n")
CONFIGURE_STEP = "      - name: Configure the bakkesmod preset against that folder\n"
SDK_NOTE = ("          $commit = git -C bakkesmodsdk log -1 --format=%H\n"
            "          $subject = git -C bakkesmodsdk log -1 --format=%s\n")
RELEASE_GATE = "    if: startsWith(github.ref, 'refs/tags/v')\n    needs: [linux-tests, windows-dll]\n"
PUBLISH_ENV = "        env:\n          GH_TOKEN: ${{ github.token }}\n"


def version(root):
    with open(os.path.join(root, "plugin", "PluginVersion.h"), encoding="utf-8") as f:
        text = f.read()
    return text.split('kPluginVersion = "', 1)[1].split('"', 1)[0]


def cases(v):
    """(what breaks, [(file, text replaced, replacement)], expected failure)."""
    def one(what, path, old, new, expected):
        return what, [(path, old, new)], expected

    return [
        # Triggers.
        one("push removed from on:", WORKFLOW, "  push:\n  pull_request:", "  pull_request:",
            "no push trigger"),
        one("push for branches only", WORKFLOW, "  push:\n", "  push:\n    branches: [main]\n",
            "push filters branches only"),
        one("tags that are not v*", WORKFLOW, "  push:\n", "  push:\n    tags: ['release-*']\n",
            f"push.tags does not match v{v}"),
        one("v tags ignored", WORKFLOW, "  push:\n", "  push:\n    tags-ignore: ['v*']\n",
            "push.tags-ignore drops"),
        one("a workflow with no triggers", WORKFLOW, "on:\n  push:\n  pull_request:\n  workflow_dispatch:\n",
            "", "no push trigger"),
        # The runner and its shell.
        one("the DLL built on Linux", WORKFLOW, "    runs-on: windows-2022", "    runs-on: ubuntu-latest",
            "not a Windows runner"),
        one("a runner without Visual Studio 2022", WORKFLOW, "runs-on: windows-2022",
            "runs-on: windows-2019", "no Visual Studio 2022"),
        one("no shell named", WORKFLOW, "    defaults:\n      run:\n        shell: pwsh\n", "",
            "runner default shell, not pwsh"),
        one("one step in Windows PowerShell", WORKFLOW,
            "      - name: Build the Release configuration\n",
            "      - name: Build the Release configuration\n        shell: powershell\n",
            "runs under powershell, not pwsh"),
        one("the job's shell is cmd", WORKFLOW, "        shell: pwsh\n", "        shell: cmd\n",
            "runs under cmd, not pwsh"),
        # The version.
        one("a pattern that no longer matches the header", WORKFLOW,
            "-Pattern 'kPluginVersion = ", "-Pattern 'kVersion = ", "pattern finds None"),
        one("the wrong group of the match", WORKFLOW, ".Matches[0].Groups[1].Value",
            ".Matches[0].Groups[2].Value", "pattern finds '.7'" if v.endswith(".7") else "pattern finds"),
        one("a pattern that loses the quotes", WORKFLOW, r'"([0-9]+(\.[0-9]+){3})";',
            r'"([0-9]+(\.[0-9]+){2})', "pattern finds"),
        one("the version read from another file", WORKFLOW,
            "-Path plugin/PluginVersion.h", "-Path CMakeLists.txt", "reads CMakeLists.txt"),
        one("the version never reaches GITHUB_ENV", WORKFLOW,
            '"DLL_VERSION=$version" | Out-File -FilePath $env:GITHUB_ENV -Append -Encoding utf8\n', "",
            "no one step that reads the version"),
        one("GITHUB_ENV given something else", WORKFLOW, '"DLL_VERSION=$version" | Out-File',
            '"DLL_VERSION=$found" | Out-File', "does not append DLL_VERSION"),
        ("the tag checked before the version is read",
         [(WORKFLOW, TAG_STEP, ""), (WORKFLOW, VERSION_STEP, TAG_STEP + VERSION_STEP)],
         "uses DLL_VERSION before"),
        one("the release job's version written by hand", WORKFLOW,
            "      DLL_VERSION: ${{ needs.windows-dll.outputs.version }}", f"      DLL_VERSION: {v}",
            "repeats the version"),
        one("the release job's version from nowhere", WORKFLOW,
            "${{ needs.windows-dll.outputs.version }}", "${{ needs.windows-dll.outputs.tag }}",
            "does not take DLL_VERSION"),
        one("the job output not wired to the step", WORKFLOW,
            "version: ${{ steps.version.outputs.version }}", "version: ${{ steps.read.outputs.version }}",
            "does not take DLL_VERSION"),
        one("the version written again in CMake", "CMakeLists.txt",
            "project(TallyLoomMMR VERSION ${CMAKE_MATCH_1}", f"project(TallyLoomMMR VERSION {v}",
            "CMakeLists.txt repeats the version"),
        one("the resource's numbers written by hand", "plugin/TallyLoomMMR.rc.in",
            " FILEVERSION @PROJECT_VERSION_MAJOR@,@PROJECT_VERSION_MINOR@,@PROJECT_VERSION_PATCH@,"
            "@PROJECT_VERSION_TWEAK@", " FILEVERSION " + v.replace(".", ","),
            "TallyLoomMMR.rc.in repeats the version"),
        one("the workflow's version written by hand", WORKFLOW,
            "  DLL_DESCRIPTION:", f"  DLL_VERSION: {v}\n  DLL_DESCRIPTION:", "repeats the version"),
        # The SDK and its Dear ImGui.
        one("-DBAKKESMOD_SDK_DIR dropped", WORKFLOW,
            ' "-DBAKKESMOD_SDK_DIR=${{ github.workspace }}/bakkesmodsdk"', "",
            "BAKKESMOD_SDK_DIR is $env{APPDATA}/bakkesmod/bakkesmod/bakkesmodsdk, but the SDK is "
            "checked out into bakkesmodsdk"),
        one("the SDK checked out into another folder", WORKFLOW, "          path: bakkesmodsdk\n",
            "          path: sdk\n", "but the SDK is checked out into sdk"),
        one("the SDK checked out over the project", WORKFLOW, "          path: bakkesmodsdk\n", "",
            "checked out over the project"),
        one("the SDK from a fork", WORKFLOW, "repository: bakkesmodorg/BakkesModSDK",
            "repository: someone/BakkesModSDK", "the SDK comes from someone/BakkesModSDK"),
        one("the SDK at a branch", WORKFLOW, "  BAKKESMOD_SDK_COMMIT: 803920dc654dd67696e52d1266cc07d64ac98c10",
            "  BAKKESMOD_SDK_COMMIT: master", "is not pinned"),
        one("the Dear ImGui step deleted", WORKFLOW, UNPACK_STEP, "",
            "does not unpack the host's Dear ImGui"),
        one("Dear ImGui unpacked beside the SDK", WORKFLOW, "-DestinationPath bakkesmodsdk/imgui_bm",
            "-DestinationPath imgui_bm", "Dear ImGui lands in imgui_bm/imgui"),
        one("another zip unpacked", WORKFLOW, "-Path bakkesmodsdk/imgui_bm.zip",
            "-Path bakkesmodsdk/docs/imgui_bm.zip", "not the SDK's bakkesmodsdk/imgui_bm.zip"),
        ("Dear ImGui unpacked after configuring",
         [(WORKFLOW, UNPACK_STEP, ""), (WORKFLOW, "      - name: Build the Release configuration\n",
                                        UNPACK_STEP + "      - name: Build the Release configuration\n")],
         "runs after the preset is configured"),
        one("CMake looking in the SDK's top folder only", "cmake/BakkesModSdk.cmake",
            'file(GLOB_RECURSE imgui_found FOLLOW_SYMLINKS "${sdk}/imgui.cpp")',
            'file(GLOB imgui_found "${sdk}/imgui/imgui.cpp")', "where cmake/BakkesModSdk.cmake does not look"),
        one("the SDK note written by hand", WORKFLOW, SDK_NOTE,
            "          $commit = $env:BAKKESMOD_SDK_COMMIT\n          $subject = 'BM217 SDK'\n",
            "does not read the commit (%H) and its subject (%s)"),
        one("the SDK note read from the project's own checkout", WORKFLOW, SDK_NOTE,
            SDK_NOTE.replace("git -C bakkesmodsdk ", "git "), "does not read the commit"),
        # Presets.
        one("the DLL read from build/bin/Release", WORKFLOW, '-Dll "$env:DLL_DIR/TallyLoomMMR.dll"',
            "-Dll build/bin/Release/TallyLoomMMR.dll",
            "names build/bin/Release/TallyLoomMMR.dll, but the bakkesmod preset puts it in "
            "build-bakkesmod/bin/Release"),
        one("the DLL's folder without the configuration", WORKFLOW, "  DLL_DIR: build-bakkesmod/bin/Release",
            "  DLL_DIR: build-bakkesmod/bin", "but the bakkesmod preset puts it in build-bakkesmod/bin/Release"),
        one("the preset's binaryDir moved", PRESETS, '"binaryDir": "${sourceDir}/build-bakkesmod"',
            '"binaryDir": "${sourceDir}/out/bakkesmod"', "the bakkesmod preset puts it in out/bakkesmod/bin/Release"),
        one("the programs' folder moved", "CMakeLists.txt",
            "set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)",
            "set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/programs)",
            "puts it in build-bakkesmod/programs/Release"),
        one("the PDB left out of the artefact", WORKFLOW, "            ${{ env.DLL_DIR }}/TallyLoomMMR.pdb\n",
            "", "does not keep build-bakkesmod/bin/Release/TallyLoomMMR.pdb"),
        one("the SDK note left out of the artefact", WORKFLOW,
            "            ${{ env.DLL_DIR }}/BUILT-AGAINST.txt\n", "",
            "does not keep build-bakkesmod/bin/Release/BUILT-AGAINST.txt"),
        one("the PDB with no set place", "CMakeLists.txt",
            "set(CMAKE_PDB_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)", "", "sets no CMAKE_PDB_OUTPUT_DIRECTORY"),
        one("a preset that does not exist", WORKFLOW, "cmake --preset bakkesmod ", "cmake --preset msvc ",
            "names msvc, which is not a configure preset"),
        one("Debug offered", PRESETS, '"CMAKE_CONFIGURATION_TYPES": "Release"',
            '"CMAKE_CONFIGURATION_TYPES": "Debug;Release"', "not Release only"),
        one("schema 6", PRESETS, '"version": 3', '"version": 6', "Visual Studio 2022 reads 5 at most"),
        one("a schema higher than the contents need", PRESETS, '"version": 3', '"version": 4',
            "the contents need only 3"),
        one("the Linux presets unconditioned", PRESETS,
            '"generator": "Ninja",\n      "condition": {\n        "type": "equals",\n'
            '        "lhs": "${hostSystemName}",\n        "rhs": "Linux"\n      },',
            '"generator": "Ninja",', "on Windows CMake would offer configure presets"),
        one("the Linux build presets unconditioned", PRESETS,
            '"name": "linux",\n      "hidden": true,\n      "condition": {\n        "type": "equals",\n'
            '        "lhs": "${hostSystemName}",\n        "rhs": "Linux"\n      }',
            '"name": "linux",\n      "hidden": true', "on Windows CMake would offer build presets"),
        one("the Linux presets offered on no host", PRESETS,
            '"lhs": "${hostSystemName}",\n        "rhs": "Linux"\n      },\n      "cacheVariables"',
            '"lhs": "${hostSystemName}",\n        "rhs": "Darwin"\n      },\n      "cacheVariables"',
            "on Linux CMake offers configure presets []"),
        one("the build preset building Debug", PRESETS, '"configurePreset": "bakkesmod",\n      "configuration": "Release"',
            '"configurePreset": "bakkesmod",\n      "configuration": "Debug"', "does not build Release"),
        one("bakkesmod offered on Linux", PRESETS,
            '"binaryDir": "${sourceDir}/build-bakkesmod",\n      "condition": {\n        "type": "equals",\n'
            '        "lhs": "${hostSystemName}",\n        "rhs": "Windows"\n      },',
            '"binaryDir": "${sourceDir}/build-bakkesmod",', "on Linux CMake offers configure presets"),
        # The runtime, the PDB and the DLL check.
        one("the DLL runtime", "cmake/CompilerFlags.cmake",
            "set(CMAKE_MSVC_RUNTIME_LIBRARY MultiThreaded)", "", "does not choose the static runtime"),
        one("a packaged {fmt}", "cmake/Dependencies.cmake",
            "  include(FetchContent)\n", "  find_package(fmt 9 CONFIG QUIET)\n  include(FetchContent)\n",
            "packaged {fmt}"),
        ("the runtime chosen after {fmt} is brought in",
         [("CMakeLists.txt", "include(cmake/CompilerFlags.cmake)\n", ""),
          ("CMakeLists.txt", "include(cmake/Dependencies.cmake)\n",
           "include(cmake/Dependencies.cmake)\ninclude(cmake/CompilerFlags.cmake)\n")],
         "the runtime is not chosen before the dependencies"),
        one("the DLL linked without the PDB's options", "CMakeLists.txt",
            "target_link_options(TallyLoomMMR PRIVATE ${TALLYLOOM_PRIVATE_LINK_OPTIONS})", "",
            "does not take TALLYLOOM_PRIVATE_LINK_OPTIONS"),
        one("no program database", "cmake/CompilerFlags.cmake",
            "set(CMAKE_MSVC_DEBUG_INFORMATION_FORMAT ProgramDatabase)", "", "writes no program database"),
        one("a PDB that costs the optimiser", "cmake/CompilerFlags.cmake",
            "/DEBUG /OPT:REF /OPT:ICF", "/DEBUG", "/DEBUG /OPT:REF /OPT:ICF"),
        one("the DLL check without its version parameter", "tools/check-windows-dll.ps1",
            "[Parameter(Mandatory = $true)][string]$Version,\n", "", "takes no -Version"),
        one("a DLL check that is not run", WORKFLOW, "./tools/check-windows-dll.ps1",
            "./tools/check-dll.ps1", "does not run tools/check-windows-dll.ps1"),
        one("the description not the resource's", WORKFLOW, "  DLL_DESCRIPTION: TallyLoom MMR - BakkesMod plugin",
            "  DLL_DESCRIPTION: TallyLoom MMR", "is not the resource's"),
    ] + [
        one(f"{family} imports let through", "tools/check-windows-dll.ps1", f"'{family}'", "'x.dll'",
            f"lets {family} imports through") for family in RUNTIME_FAMILIES
    ] + [
        # Actions.
        one("a retired upload-artifact", WORKFLOW, "uses: actions/upload-artifact@v4",
            "uses: actions/upload-artifact@v3", "a retired version (v4 or later)"),
        one("a retired checkout", WORKFLOW, "uses: actions/checkout@v4\n\n      - name: Read",
            "uses: actions/checkout@v2\n\n      - name: Read", "uses actions/checkout@v2, a retired version"),
        one("an action at a branch", WORKFLOW, "uses: actions/download-artifact@v4",
            "uses: actions/download-artifact@main", "not a major version"),
        one("a third-party action", WORKFLOW, "uses: actions/upload-artifact@v4",
            "uses: softprops/action-gh-release@v2", "uses softprops/action-gh-release@v2"),
        # Publishing.
        one("publishing on every push", WORKFLOW, "    if: startsWith(github.ref, 'refs/tags/v')\n    needs:",
            "    needs:", "can run on other refs than a v* tag"),
        one("publishing even after a failure", WORKFLOW,
            "    if: startsWith(github.ref, 'refs/tags/v')\n    needs:",
            "    if: always() && startsWith(github.ref, 'refs/tags/v')\n    needs:", "or after a failure"),
        one("publishing on a tag or the main branch", WORKFLOW,
            "    if: startsWith(github.ref, 'refs/tags/v')\n    needs:",
            "    if: startsWith(github.ref, 'refs/tags/v') || github.ref == 'refs/heads/main'\n    needs:",
            "can run on other refs"),
        one("publishing before the tests pass", WORKFLOW, "needs: [linux-tests, windows-dll]",
            "needs: [windows-dll]", "does not wait for linux-tests"),
        one("publishing without the Windows checks", WORKFLOW, "needs: [linux-tests, windows-dll]",
            "needs: linux-tests", "does not wait for windows-dll"),
        ("publishing from the Windows job",
         [(WORKFLOW, "      - name: Keep the DLL, its PDB and the SDK note\n",
           "      - name: Publish early\n        if: startsWith(github.ref, 'refs/tags/v')\n"
           "        run: gh release upload $env:GITHUB_REF_NAME x.zip\n"
           "      - name: Keep the DLL, its PDB and the SDK note\n")],
         "not exactly one step runs gh release"),
        one("write permission for every job", WORKFLOW, "permissions:\n  contents: read\n",
            "permissions:\n  contents: write\n", "the workflow's default token may write"),
        one("no default permissions", WORKFLOW, "permissions:\n  contents: read\n", "",
            "the workflow's default token may write"),
        one("write permission for the build", WORKFLOW, "    runs-on: windows-2022\n",
            "    runs-on: windows-2022\n    permissions:\n      contents: write\n",
            "windows-dll may write, but does not publish"),
        one("the publishing job cannot write", WORKFLOW, "      contents: write\n", "      contents: read\n",
            "cannot write the release"),
        one("the token for every job", WORKFLOW, "env:\n  BAKKESMOD_SDK_COMMIT",
            "env:\n  GH_TOKEN: ${{ github.token }}\n  BAKKESMOD_SDK_COMMIT", "the workflow gets GH_TOKEN"),
        one("the token for the whole release job", WORKFLOW, "    env:\n      DLL_VERSION: ${{ needs",
            "    env:\n      GH_TOKEN: ${{ github.token }}\n      DLL_VERSION: ${{ needs",
            "release gets GH_TOKEN"),
        one("the token for the packing script", WORKFLOW,
            "      - name: Pack the release zip and the release page's text\n",
            "      - name: Pack the release zip and the release page's text\n" + PUBLISH_ENV,
            "step 'Pack the release zip and the release page's text' gets GH_TOKEN"),
        one("the token in a command line", WORKFLOW, '--repo "$GITHUB_REPOSITORY"',
            '--repo "$GITHUB_REPOSITORY" --token ${{ secrets.GITHUB_TOKEN }}', "writes the token into its command"),
        one("no token to publish with", WORKFLOW, PUBLISH_ENV, "", "has no GH_TOKEN"),
        one("credentials kept in the release checkout", WORKFLOW,
            "        with:\n          # The job's token can write: keep it out of .git/config.\n"
            "          persist-credentials: false\n", "", "keeps the writing token"),
        one("a release that may create its own tag", WORKFLOW, " --verify-tag", "", "no --verify-tag"),
        one("the zip packed by hand", WORKFLOW, "python3 tools/pack_release.py", "python3 tools/pack.py",
            "does not pack with tools/pack_release.py"),
        one("notes that are the plain-text page", WORKFLOW, "--notes-file release/notes.md",
            "--notes-file docs/players.txt", "does not give release/notes.md"),
        one("another zip published", WORKFLOW, '"release/TallyLoomMMR-$DLL_VERSION.zip"',
            '"release/TallyLoomMMR.zip"', "does not publish release/TallyLoomMMR-"),
        one("a zip packed from elsewhere", WORKFLOW, "--from dll", "--from build", "does not pack the artefact"),
        # The Linux job.
        one("the Linux job in a container", WORKFLOW,
            "    runs-on: ubuntu-latest\n    steps:", "    runs-on: ubuntu-latest\n    container: debian:12\n"
            "    steps:", "runs in a container"),
        one("the Linux job on Windows", WORKFLOW, "    runs-on: ubuntu-latest\n    steps:",
            "    runs-on: windows-2022\n    steps:", "linux-tests is not on ubuntu"),
        ("the sysctl after the tests",
         [(WORKFLOW, "      - name: Let the sanitizers map their memory\n"
                     "        run: sudo sysctl -w vm.mmap_rnd_bits=28\n", ""),
          (WORKFLOW, "        run: docker run --rm -v \"$PWD:/src\" -w /src debian:12 bash .ci/run\n",
           "        run: docker run --rm -v \"$PWD:/src\" -w /src debian:12 bash .ci/run\n"
           "      - run: sudo sysctl -w vm.mmap_rnd_bits=28\n")],
         "sets vm.mmap_rnd_bits after the tests ran"),
        one("a file named that is not there", WORKFLOW, "python3 tools/pack_release.py --version",
            "python3 tools/pack_release.py --help && python3 docs/pack.py --version",
            "names docs/pack.py, which does not exist"),
        one("no sysctl", WORKFLOW, "        run: sudo sysctl -w vm.mmap_rnd_bits=28\n", "",
            "does not set vm.mmap_rnd_bits=28"),
        one("the quick tests instead", WORKFLOW, "debian:12 bash .ci/run", "debian:12 ./tallyloom quick",
            "not exactly bash .ci/run"),
        one("a different script after a space", WORKFLOW, "debian:12 bash .ci/run",
            "debian:12 bash .ci/run-fast", "not exactly bash .ci/run"),
        one("failures ignored", WORKFLOW, "debian:12 bash .ci/run", "debian:12 bash .ci/run || true",
            "not exactly bash .ci/run"),
        one("another image", WORKFLOW, "debian:12 bash .ci/run", "ubuntu:24.04 bash .ci/run",
            "not debian:12"),
        one("not in the checkout", WORKFLOW, '-v "$PWD:/src" -w /src', '-v "$PWD:/src" -w /tmp',
            "does not run in the checkout"),
        one("an extra command in the Linux job", WORKFLOW,
            "      - name: Let the sanitizers map their memory\n",
            "      - run: ./tallyloom quick\n      - name: Let the sanitizers map their memory\n",
            "not exactly .ci/run"),
    ]


def copy_inputs(root, target):
    for entry in COPIED:
        source, destination = os.path.join(root, entry), os.path.join(target, entry)
        if os.path.isdir(source):
            shutil.copytree(source, destination, ignore=shutil.ignore_patterns("__pycache__"))
        else:
            os.makedirs(os.path.dirname(destination), exist_ok=True)
            shutil.copy(source, destination)


def run_checker(copy):
    return subprocess.run([sys.executable, os.path.join(copy, "tools", "check_workflow.py"), copy],
                          capture_output=True, text=True)


def main():
    root = os.path.abspath(sys.argv[1])
    table = cases(version(root))
    failed = []
    with tempfile.TemporaryDirectory(prefix="tallyloom-release-") as work:
        pristine = os.path.join(work, "pristine")
        copy_inputs(root, pristine)
        run = run_checker(pristine)
        if run.returncode != 0:
            failed.append(f"the untouched inputs fail:\n{run.stderr}")
        for what, edits, expected in table:
            copy = os.path.join(work, "case")
            shutil.rmtree(copy, ignore_errors=True)
            shutil.copytree(pristine, copy)
            stale = False
            for path, old, new in edits:
                with open(os.path.join(copy, path), encoding="utf-8") as f:
                    text = f.read()
                if old not in text:
                    failed.append(f"{what}: {path} no longer has {old!r}; update this case")
                    stale = True
                    break
                with open(os.path.join(copy, path), "w", encoding="utf-8") as f:
                    f.write(text.replace(old, new, 1))
            if stale:
                continue
            run = run_checker(copy)
            if run.returncode != 1 or expected not in run.stderr:
                failed.append(f"{what}: exit {run.returncode}, expected a failure naming "
                              f"{expected!r}:\n{run.stdout}{run.stderr}")
    if failed:
        print("FAIL:\n" + "\n".join(failed), file=sys.stderr)
        sys.exit(1)
    print(f"ok the checker catches {len(table)} broken release inputs")


if __name__ == "__main__":
    main()
