#!/usr/bin/env python3
"""tools/check_workflow.py catches each way the release path can break: every
case below breaks a copy of the repository's release inputs in one realistic
way, and the checker must fail naming it. Beyond the cases, one key it does
not model is added to every job and every step in turn, and each must fail by
name. The untouched copy must pass, and so must copies whose actions are
pinned in the other ways GitHub allows.

  check_workflow_test.py REPOSITORY_ROOT
"""
import os
import re
import shutil
import sys
import tempfile

import yaml  # Debian's python3-yaml

WORKFLOW = ".github/workflows/windows-dll.yml"
PRESETS = "CMakePresets.json"
COPIED = ["CMakeLists.txt", PRESETS, "cmake", "plugin", ".github", "tools", ".ci",
          "docs/players.txt"]
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import check_workflow  # noqa: E402
from release_inputs import RUNTIME_FAMILIES  # noqa: E402  the families it must refuse

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
PUBLISH_ENV = "        env:\n          GH_TOKEN: ${{ github.token }}\n"
CHECKOUT = "actions/checkout@11bd71901bbe5b1630ceea73d27597364c9af683 # v4.2.2"
UPLOAD = "actions/upload-artifact@ea165f8d65b6e75b540449e92b4886f43607fa02 # v4.6.2"
DOWNLOAD = "actions/download-artifact@d3f86a106a0bac45b974a628896c90dbdf5c8093 # v4.3.0"
PINS = {CHECKOUT: ("v4", "v4.2.2"), UPLOAD: ("v4", "v4.6.2"), DOWNLOAD: ("v4", "v4.3.0")}
RELEASE_STEPS = "      DLL_VERSION: ${{ needs.windows-dll.outputs.version }}\n    steps:\n" \
    "      - name: Fetch what the pack job packed\n"
PUBLISH_STEP = "      - name: Publish the release\n"
NOT_ON_TAGS = "if: \"!startsWith(github.ref, 'refs/tags/')\""
# The gates, by step name: none may be switched off by a condition.
GATES = ["Read the version from plugin/PluginVersion.h", "A release tag must name that version",
         "Build the Release configuration", "Check the DLL's exports, version resource and imports",
         "Name the SDK it was built against, as its checkout says", "Keep the DLL, its PDB and the SDK note",
         "The README's test command in Debian 12, as .ci/run runs it",
         "Pack the players' zip, the symbols zip and the release page's text",
         "Keep what the release publishes"]


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
        one(f"a condition on the gate '{gate}'", WORKFLOW, f"      - name: {gate}\n",
            f"      - name: {gate}\n        {NOT_ON_TAGS}\n", f"step '{gate}' has if:")
        for gate in GATES if gate != "A release tag must name that version"
    ] + [
        one("a condition on the tag check that is false on tags", WORKFLOW,
            "        if: startsWith(github.ref, 'refs/tags/v')\n        run: |\n",
            f"        {NOT_ON_TAGS}\n        run: |\n", "step 'A release tag must name that version' has if:")
    ] + [
        one(f"a condition on the job {job}", WORKFLOW, f"\n  {job}:\n",
            f"\n  {job}:\n    if: github.event_name != 'push'\n", f"{job} has if:")
        for job in ("windows-dll", "linux-tests", "pack")
    ] + [
        one(f"{family} imports let through", "tools/check-windows-dll.ps1", f"'{family}'", "'x.dll'",
            f"lets {family} imports through") for family in RUNTIME_FAMILIES
    ] + [
        # Actions.
        one("a retired upload-artifact", WORKFLOW, UPLOAD, "actions/upload-artifact@v3",
            "a retired version (v4 or later)"),
        one("a retired checkout", WORKFLOW, CHECKOUT + "\n\n      - name: Read",
            "actions/checkout@v2\n\n      - name: Read", "uses actions/checkout@v2 (v2), a retired version"),
        one("an action at a branch", WORKFLOW, DOWNLOAD, "actions/download-artifact@main",
            "not a major version"),
        one("a third-party action", WORKFLOW, UPLOAD, "softprops/action-gh-release@v2",
            "uses softprops/action-gh-release@v2"),
        one("a pin without the release it names", WORKFLOW, UPLOAD, UPLOAD.split(" #")[0],
            "pins actions/upload-artifact to a commit without a # vX.Y.Z comment"),
        one("a pin of a retired release", WORKFLOW, CHECKOUT, CHECKOUT.replace("v4.2.2", "v3.6.0"),
            "(v3.6.0), a retired version (v4 or later)"),
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
        one("publishing before the tests pass", WORKFLOW, "needs: [linux-tests, windows-dll, pack]",
            "needs: [windows-dll, pack]", "does not wait for linux-tests"),
        one("publishing without the Windows checks", WORKFLOW, "needs: [linux-tests, windows-dll, pack]",
            "needs: linux-tests", "does not wait for windows-dll"),
        one("publishing without the packing", WORKFLOW, "needs: [linux-tests, windows-dll, pack]",
            "needs: [linux-tests, windows-dll]", "release does not wait for pack (needs:)"),
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
        one("the token for the whole release job", WORKFLOW, RELEASE_STEPS,
            "      GH_TOKEN: ${{ github.token }}\n" + RELEASE_STEPS, "release gets GH_TOKEN"),
        one("the token for the packing script", WORKFLOW,
            "      - name: Pack the players' zip, the symbols zip and the release page's text\n",
            "      - name: Pack the players' zip, the symbols zip and the release page's text\n" + PUBLISH_ENV,
            "step 'Pack the players' zip, the symbols zip and the release page's text' gets GH_TOKEN"),
        one("the token in a command line", WORKFLOW, '--repo "$GITHUB_REPOSITORY"',
            '--repo "$GITHUB_REPOSITORY" --token ${{ secrets.GITHUB_TOKEN }}', "writes the token into its command"),
        one("no token to publish with", WORKFLOW, PUBLISH_ENV, "", "has no GH_TOKEN"),
        one("a checkout in the job that can write", WORKFLOW, PUBLISH_STEP,
            f"      - name: Check out the project\n        uses: {CHECKOUT}\n        with:\n"
            "          persist-credentials: false\n" + PUBLISH_STEP,
            "release: step 'Check out the project' checks out the repository in the job that can write"),
        one("the write token through checkout's default input", WORKFLOW, PUBLISH_STEP,
            f"      - uses: {CHECKOUT}\n" + PUBLISH_STEP,
            "gets the write token through actions/checkout's input token, whose default is "
            "${{ github.token }}"),
        one("a repository script in the job that can write", WORKFLOW, PUBLISH_STEP,
            "      - run: bash .ci/run\n" + PUBLISH_STEP, "runs bash in the job that can write"),
        one("the packing moved into the job that can write", WORKFLOW, PUBLISH_STEP,
            "      - run: python3 tools/pack_release.py --version \"$DLL_VERSION\" --from dll --to release "
            "--releases \"$GITHUB_SERVER_URL/$GITHUB_REPOSITORY/releases\"\n" + PUBLISH_STEP,
            "runs python3 in the job that can write"),
        one("the symbols zip not published", WORKFLOW, ' "release/TallyLoomMMR-$DLL_VERSION-symbols.zip"',
            "", "does not publish release/TallyLoomMMR-$DLL_VERSION-symbols.zip"),
        one("the packed folder not kept", WORKFLOW, "          path: release/\n", "          path: dll/\n",
            "pack does not keep the folder release it packs into"),
        one("another artefact published", WORKFLOW, "          name: TallyLoomMMR-release\n          path: release\n",
            "          name: TallyLoomMMR-dll\n          path: release\n",
            "release does not fetch what the pack job packed"),
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
            "('||', which this check does not model)"),
        one("another image", WORKFLOW, "debian:12 bash .ci/run", "ubuntu:24.04 bash .ci/run",
            "not debian:12"),
        one("not in the checkout", WORKFLOW, '-v "$PWD:/src" -w /src', '-v "$PWD:/src" -w /tmp',
            "does not run in the checkout"),
        # Keys, triggers, jobs, inputs and values the model does not hold.
        one("a workflow key", WORKFLOW, "\njobs:\n", "\nconcurrency: release\njobs:\n",
            "the workflow has concurrency: release, which this check does not model"),
        one("a trigger that runs on pull requests' code with write access", WORKFLOW, "  workflow_dispatch:\n",
            "  workflow_dispatch:\n  pull_request_target:\n", "the workflow has on.pull_request_target"),
        one("compiler flags through the environment", WORKFLOW, "  DLL_DIR: build-bakkesmod/bin/Release\n",
            "  DLL_DIR: build-bakkesmod/bin/Release\n  CL: /MD\n", "the workflow has env.CL"),
        one("a job of its own", WORKFLOW, "  linux-tests:\n",
            "  deploy:\n    runs-on: ubuntu-latest\n    steps:\n      - run: sudo sysctl -w vm.mmap_rnd_bits=28\n"
            "  linux-tests:\n", "the workflow has the job deploy"),
        one("working-directory on a step", WORKFLOW, "      - name: Build the Release configuration\n",
            "      - name: Build the Release configuration\n        working-directory: build\n",
            "step 'Build the Release configuration' has working-directory: build, which this check does not "
            "model"),
        one("a job-level working-directory", WORKFLOW, "        shell: pwsh\n",
            "        shell: pwsh\n        working-directory: build\n",
            "windows-dll has defaults.run.working-directory"),
        one("a token given to the download", WORKFLOW, "          name: TallyLoomMMR-release\n          path: release\n",
            "          name: TallyLoomMMR-release\n          path: release\n          github-token: ${{ github.token }}\n",
            "has with.github-token: ${{ github.token }}, which this check does not model"),
        one("an upload that passes without its files", WORKFLOW, "          if-no-files-found: error\n",
            "          if-no-files-found: warn\n", "has with.if-no-files-found: 'warn'"),
        one("env on a gate", WORKFLOW, "      - name: Build the Release configuration\n",
            "      - name: Build the Release configuration\n        env:\n          CL: /MD\n",
            "step 'Build the Release configuration' has env"),
        one("the tag check on every ref", WORKFLOW, "        if: startsWith(github.ref, 'refs/tags/v')\n        run: |\n",
            "        run: |\n", "step 'A release tag must name that version' runs on every ref"),
        one("a tag check that only warns", WORKFLOW,
            "says $env:DLL_VERSION\"\n            exit 1\n", "says $env:DLL_VERSION\"\n",
            "does not exit 1 when $env:GITHUB_REF_NAME -cne v$env:DLL_VERSION"),
        one("a tag check blind to case", WORKFLOW, "$env:GITHUB_REF_NAME -cne", "$env:GITHUB_REF_NAME -ne",
            "does not exit 1 when $env:GITHUB_REF_NAME -cne"),
        one("an SDK check that only warns", WORKFLOW,
            'Write-Host "FAIL: the SDK checkout is at $commit"; exit 1 }',
            'Write-Host "FAIL: the SDK checkout is at $commit" }',
            "does not exit 1 when $commit -cne/-ne $env:BAKKESMOD_SDK_COMMIT"),
        one("an SDK check of the subject", WORKFLOW, "if ($commit -ne", "if ($subject -ne",
            "does not exit 1 when $commit"),
        # Commands read to their last argument.
        one("another configuration built", WORKFLOW, "cmake --build --preset bakkesmod",
            "cmake --build --preset bakkesmod --config Debug", "runs cmake with --config"),
        one("the runtime switched on the command line", WORKFLOW, '/bakkesmodsdk"',
            '/bakkesmodsdk" -DCMAKE_MSVC_RUNTIME_LIBRARY=MultiThreadedDLL',
            "runs cmake with -DCMAKE_MSVC_RUNTIME_LIBRARY=MultiThreadedDLL"),
        one("a DLL check told to skip", WORKFLOW, "-Product $env:DLL_PRODUCT",
            "-Product $env:DLL_PRODUCT -SkipImports", "runs ./tools/check-windows-dll.ps1 with -SkipImports"),
        one("the DLL check given another version", WORKFLOW, "-Version $env:DLL_VERSION", "-Version 0.0.0.1",
            "runs ./tools/check-windows-dll.ps1 with -Version 0.0.0.1"),
        one("a packer option it does not know", WORKFLOW, "--from dll --to release",
            "--from dll --to release --no-symbols", "runs python3 with --no-symbols"),
        one("a draft release", WORKFLOW, "--verify-tag\n", "--verify-tag --draft\n", "runs gh with --draft"),
        one("a privileged container", WORKFLOW, "docker run --rm", "docker run --privileged --rm",
            "runs docker with --privileged"),
        one("a pattern read as plain text", WORKFLOW, "Select-String -CaseSensitive",
            "Select-String -SimpleMatch -CaseSensitive", "runs Select-String with -SimpleMatch"),
        one("GITHUB_ENV written in UTF-16", WORKFLOW, "$env:GITHUB_ENV -Append -Encoding utf8",
            "$env:GITHUB_ENV -Append -Encoding unicode", "runs Out-File with -Encoding unicode"),
        one("a command the check does not know", WORKFLOW, "        run: cmake --build --preset bakkesmod\n",
            "        run: |\n          Remove-Item -Recurse bakkesmodsdk/include\n"
            "          cmake --build --preset bakkesmod\n", "runs Remove-Item, which this check does not model"),
        one("a build whose failure a later program hides", WORKFLOW,
            "        run: cmake --build --preset bakkesmod\n",
            "        run: |\n          cmake --build --preset bakkesmod\n"
            "          git -C bakkesmodsdk log -1 --format=%H\n", "runs cmake before another command"),
        # Words the shell passes on as they are, and ifs around what must run.
        one("the tag check's version in single quotes", WORKFLOW, '-cne "v$env:DLL_VERSION"',
            "-cne 'v$env:DLL_VERSION'", "writes $DLL_VERSION where pwsh does not read it as a variable"),
        one("a published file in single quotes", WORKFLOW, '"release/TallyLoomMMR-$DLL_VERSION.zip"',
            "'release/TallyLoomMMR-$DLL_VERSION.zip'", "writes $DLL_VERSION where bash does not read it"),
        one("the tag escaped", WORKFLOW, 'gh release create "$GITHUB_REF_NAME"',
            'gh release create "\\$GITHUB_REF_NAME"', "writes $GITHUB_REF_NAME where bash does not read it"),
        one("a pwsh variable read as a drive", WORKFLOW, 'at $commit"', 'at $commit:"',
            "$commit: (pwsh reads a scope or drive"),
        one("the tag check inside an if that never runs", WORKFLOW,
            '          if ($env:GITHUB_REF_NAME -cne "v$env:DLL_VERSION") {\n',
            '          if ($false) { }\n          elseif ($env:GITHUB_REF_NAME -cne "v$env:DLL_VERSION") {\n',
            "has an if inside another if, or an elseif"),
        ("the DLL check under an if",
         [(WORKFLOW, "        run: >-\n          ./tools/check-windows-dll.ps1",
           "        run: >-\n          if ($env:GITHUB_REPOSITORY -ceq 'me/fork') {\n          "
           "./tools/check-windows-dll.ps1"),
          (WORKFLOW, "-Product $env:DLL_PRODUCT\n", "-Product $env:DLL_PRODUCT }\n")],
         "runs ./tools/check-windows-dll.ps1 under an if"),
        one("GITHUB_ENV written over", WORKFLOW, '            Set-Content -Path "$env:DLL_DIR/BUILT-AGAINST.txt"\n',
            '            Set-Content -Path "$env:DLL_DIR/BUILT-AGAINST.txt"\n'
            "          'DLL_VERSION=0.0.0.0' | Set-Content -Path $env:GITHUB_ENV\n",
            "writes GITHUB_ENV with Set-Content"),
        one("DLL_DIR moved through GITHUB_ENV", WORKFLOW,
            '          "version=$version" | Out-File',
            '          "DLL_DIR=build" | Out-File -FilePath $env:GITHUB_ENV -Append -Encoding utf8\n'
            '          "version=$version" | Out-File', "writes DLL_DIR to GITHUB_ENV"),
        # What GitHub itself refuses or reads otherwise.
        one("tags that GitHub reads as optional characters", WORKFLOW, "  push:\n",
            "  push:\n    tags: ['v?.?.?.?']\n", "push.tags does not match"),
        one("tags as one text", WORKFLOW, "  push:\n", "  push:\n    tags: release-*\n",
            "push.tags does not match"),
        one("tags and tags-ignore both", WORKFLOW, "  push:\n",
            "  push:\n    tags: ['v*']\n    tags-ignore: ['v*-rc']\n", "both tags and tags-ignore"),
        one("two steps with one id", WORKFLOW, "      - name: Build the Release configuration\n",
            "      - name: Build the Release configuration\n        id: version\n", "the same id"),
        one("a job that needs no job", WORKFLOW, "needs: [linux-tests, windows-dll, pack]",
            "needs: [linux-tests, windows-dll, pack, tests]", "needs tests, which is no job"),
        ("the project checked out after the SDK",
         [(WORKFLOW, f"      - name: Check out the project\n        uses: {CHECKOUT}\n\n      - name: Read",
           "      - name: Read"),
          (WORKFLOW, "      - name: Unpack the host's", f"      - name: Check out the project\n        uses: "
           f"{CHECKOUT}\n\n      - name: Unpack the host's")],
         "checks out the project after another step"),
        one("the SDK folder at the drive's root", WORKFLOW, "-DBAKKESMOD_SDK_DIR=${{ github.workspace }}/",
            "-DBAKKESMOD_SDK_DIR=/", "BAKKESMOD_SDK_DIR is /bakkesmodsdk"),
        one("an upload that passes without its files by default", WORKFLOW,
            "          if-no-files-found: error\n", "", "leaves if-no-files-found at its default 'warn'"),
        one("the artefact without the PDB by exclusion", WORKFLOW,
            "            ${{ env.DLL_DIR }}/BUILT-AGAINST.txt\n",
            "            ${{ env.DLL_DIR }}/BUILT-AGAINST.txt\n            !${{ env.DLL_DIR }}/*.pdb\n",
            "also keeps !build-bakkesmod/bin/Release/*.pdb"),
        one("a runner moving to another Visual Studio", WORKFLOW, "runs-on: windows-2022",
            "runs-on: windows-2025", "has runs-on: 'windows-2025'"),
        (".github/workflows holding a second publisher",
         [(".github/workflows/release.yml", None, "on: push\njobs: {}\n")],
         "the workflows hold release.yml, which this check does not model"),
        # The build's own files, read as CMake and the presets read them.
        one("an older CMake policy for the PDB", "CMakeLists.txt", "cmake_minimum_required(VERSION 3.25)",
            "cmake_minimum_required(VERSION 3.22)", "cmake_minimum_required is below 3.25"),
        one("the runtime commented out", "cmake/CompilerFlags.cmake",
            "set(CMAKE_MSVC_RUNTIME_LIBRARY MultiThreaded)", "# set(CMAKE_MSVC_RUNTIME_LIBRARY MultiThreaded)",
            "does not choose the static runtime"),
        one("the runtime chosen again", "CMakeLists.txt", "include(cmake/Dependencies.cmake)\n",
            "include(cmake/Dependencies.cmake)\nset(CMAKE_MSVC_RUNTIME_LIBRARY MultiThreadedDLL)\n",
            "more than once"),
        one("a PDB that points at the objects", "cmake/CompilerFlags.cmake", "/DEBUG /OPT:REF /OPT:ICF",
            "/DEBUG:FASTLINK /OPT:REF /OPT:ICF", "a PDB that holds the symbols itself"),
        one("a packaged {fmt} after all", "cmake/Dependencies.cmake", "FetchContent_Declare(fmt",
            "FetchContent_Declare(fmt FIND_PACKAGE_ARGS 9 CONFIG", "packaged {fmt}"),
        one("the DLL's folder set twice", "CMakeLists.txt", "include(cmake/CompilerFlags.cmake)\n",
            "include(cmake/CompilerFlags.cmake)\nset(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/x)\n",
            "sets no CMAKE_RUNTIME_OUTPUT_DIRECTORY"),
        one("release flags in the preset", PRESETS, '"CMAKE_CONFIGURATION_TYPES": "Release",',
            '"CMAKE_CONFIGURATION_TYPES": "Release",\n        "CMAKE_CXX_FLAGS_RELEASE": "/O2",',
            "cacheVariables has CMAKE_CXX_FLAGS_RELEASE"),
        one("a build preset of one target", PRESETS, '"configurePreset": "bakkesmod",\n      "configuration": "Release",',
            '"configurePreset": "bakkesmod",\n      "configuration": "Release",\n      "targets": ["x"],',
            "the bakkesmod build preset has targets"),
        one("the build preset on another configuration", PRESETS,
            '"name": "bakkesmod",\n      "configurePreset": "bakkesmod",',
            '"name": "bakkesmod",\n      "configurePreset": "windows",', "has configurePreset 'windows'"),
        one("the version named twice in its header", "plugin/PluginVersion.h", "inline constexpr const char* kPluginVersion",
            '// was kPluginVersion = "1.0.0.0";\ninline constexpr const char* kPluginVersion',
            "names kPluginVersion more than once"),
        # Shapes it does not expect fail by name, never with a traceback.
        one("a workflow that is a list", WORKFLOW, "name: Windows DLL\n", "- name: Windows DLL\n- x: 1\n",
            "the workflow"),
        one("jobs as a list", WORKFLOW, "\njobs:\n", "\njobs: [windows-dll]\nold-jobs:\n",
            "have a shape this check does not model"),
        one("a step's env as a text", WORKFLOW, PUBLISH_ENV, "        env: GH_TOKEN\n", "has env"),
        one("presets that are not JSON", PRESETS, '"version": 3,', '"version": 3,,', "cannot be read as presets"),
        one("a workflow that is not YAML", WORKFLOW, "name: Windows DLL\n", "name: Windows DLL\n\t- x\n",
            "the workflow cannot be read"),
        one("a line it cannot read", WORKFLOW, '-Dll "$env:DLL_DIR/TallyLoomMMR.dll"',
            '-Dll "$env:DLL_DIR/TallyLoomMMR.dll', "has a line this check cannot read as pwsh reads it"),
        one("a subexpression", WORKFLOW, 'Write-Host "Version $version"',
            'Write-Host "Version $version of $(git rev-parse HEAD)"', "a $( ) subexpression"),
        one("an expression written into a command", WORKFLOW, '--title "TallyLoom MMR $DLL_VERSION"',
            '--title "TallyLoom MMR ${{ github.head_ref }}"', "writes ${{ github.head_ref }} into its command"),
        # Variables spelt for the other shell.
        one("a bash variable in pwsh", WORKFLOW, "-Version $env:DLL_VERSION", "-Version $DLL_VERSION",
            "reads $DLL_VERSION, the bash spelling"),
        one("a pwsh variable in bash", WORKFLOW, '--version "$DLL_VERSION"', '--version "$env:DLL_VERSION"',
            "reads $env:DLL_VERSION, the pwsh spelling"),
        one("a variable that nothing sets", WORKFLOW, '--title "TallyLoom MMR $DLL_VERSION"',
            '--title "TallyLoom MMR $DLL_VERSON"', "reads $DLL_VERSON, which nothing sets"),
        one("the release job on a Windows runner", WORKFLOW, "    runs-on: ubuntu-latest\n    permissions:",
            "    runs-on: windows-2022\n    permissions:", "reads $GITHUB_REF_NAME, the bash spelling"),
        one("an extra command in the Linux job", WORKFLOW,
            "      - name: Let the sanitizers map their memory\n",
            "      - run: ./tallyloom quick\n      - name: Let the sanitizers map their memory\n",
            "not exactly .ci/run"),
    ]


def unknown_keys(text):
    """One key the model does not hold, on every job and then every step in
    turn: (what, edits, expected failure)."""
    workflow = yaml.safe_load(text)
    out = []
    for job in workflow["jobs"]:
        out.append((f"continue-on-error on the job {job}", [(WORKFLOW, f"\n  {job}:\n",
                                                            f"\n  {job}:\n    continue-on-error: true\n")],
                    f"{job} has continue-on-error: true, which this check does not model"))
    steps = [(job, step.get("name") or step.get("uses")) for job, data in workflow["jobs"].items()
             for step in data["steps"]]
    starts = [m.start() for m in re.finditer(r"^      - ", text, re.MULTILINE)]
    assert len(starts) == len(steps), "every step starts with '      - '"
    for (job, name), at in zip(steps, starts):
        edited = text[:at] + "      - continue-on-error: true\n        " + text[at + 8:]
        out.append((f"continue-on-error on the step '{name}'", [(WORKFLOW, text, edited)],
                    f"{job}: step '{name}' has continue-on-error: true, which this check does not model"))
    return out


def sound_variants(text):
    """Sound ways of writing the workflow that must pass: every action at its
    major tag and at its full version tag, and a few common spellings."""
    return [(f"actions at {'major' if i == 0 else 'full version'} tags",
             [(WORKFLOW, pin, pin.split("@")[0] + "@" + tags[i]) for pin, tags in PINS.items()
              for _ in range(text.count(pin))]) for i in (0, 1)] + [
        ("the triggers as a list", [(WORKFLOW, "on:\n  push:\n  pull_request:\n  workflow_dispatch:\n",
                                     "on: [push, pull_request, workflow_dispatch]\n")]),
        ("the token as secrets.GITHUB_TOKEN", [(WORKFLOW, "GH_TOKEN: ${{ github.token }}",
                                                "GH_TOKEN: ${{ secrets.GITHUB_TOKEN }}")]),
        ("pwsh's own spellings", [(WORKFLOW, "./tools/check-windows-dll.ps1", ".\\tools\\check-windows-dll.ps1"),
                                  (WORKFLOW, "Select-String -CaseSensitive", "select-string -CaseSensitive")]),
    ]


def copy_inputs(root, target):
    for entry in COPIED:
        source, destination = os.path.join(root, entry), os.path.join(target, entry)
        if os.path.isdir(source):
            shutil.copytree(source, destination, ignore=shutil.ignore_patterns("__pycache__"))
        else:
            os.makedirs(os.path.dirname(destination), exist_ok=True)
            shutil.copy(source, destination)


def edited_copy(pristine, work, edits):
    """A copy of pristine with the edits made, or the first edit that no longer applies."""
    copy = os.path.join(work, "case")
    shutil.rmtree(copy, ignore_errors=True)
    shutil.copytree(pristine, copy)
    for path, old, new in edits:
        text = ""
        if old is not None:  # None: a file of its own
            with open(os.path.join(copy, path), encoding="utf-8") as f:
                text = f.read()
            if old not in text:
                return None, f"{path} no longer has {old!r}"
        with open(os.path.join(copy, path), "w", encoding="utf-8") as f:
            f.write(text.replace(old, new, 1) if old is not None else new)
    return copy, None


def main():
    root = os.path.abspath(sys.argv[1])
    with open(os.path.join(root, WORKFLOW), encoding="utf-8") as f:
        text = f.read()
    table = cases(version(root)) + unknown_keys(text)
    failed = []
    with tempfile.TemporaryDirectory(prefix="tallyloom-release-") as work:
        pristine = os.path.join(work, "pristine")
        copy_inputs(root, pristine)
        for what, edits in [("the untouched inputs", [])] + sound_variants(text):
            copy, stale = edited_copy(pristine, work, edits)
            found = check_workflow.check_repository(copy)[0] if copy else [stale]
            if found:
                failed.append(f"{what} fail:\n  " + "\n  ".join(found))
        for what, edits, expected in table:
            copy, stale = edited_copy(pristine, work, edits)
            if stale:
                failed.append(f"{what}: {stale}; update this case")
                continue
            found = check_workflow.check_repository(copy)[0]
            if not any(expected in failure for failure in found):
                failed.append(f"{what}: expected a failure naming {expected!r}, got:\n  "
                              + "\n  ".join(found or ["(none)"]))
    if failed:
        print("FAIL:\n" + "\n".join(failed), file=sys.stderr)
        sys.exit(1)
    print(f"ok the checker catches {len(table)} broken release inputs and passes "
          f"{len(sound_variants(text)) + 1} sound ones")


if __name__ == "__main__":
    main()
