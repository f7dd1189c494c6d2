#!/usr/bin/env python3
"""tools/check_workflow.py catches each way the release path can break.

Every case breaks a copy of the repository's release inputs in one realistic
way, and the checker must fail naming it:
  - REVIEW: a change of the workflow that only the review stands against; the
    diff must show it;
  - INVARIANT: a break that must fail whatever the reviewed copy says. It is
    tried as it is, and again with its diff accepted into the reviewed copy,
    as a careless review would: the invariant alone must still fail;
  - ONCE: a break of another build input, or a file GitHub refuses, which
    no accept can change.
Beyond the table: continue-on-error on every job and every step in turn, and
a key given twice in each way GitHub refuses. The untouched copy must pass,
and so must the harmless changes at the variation points, with the reviewed
copy left as it is. Last, the command line: --accept writes the reviewed copy
only while the invariants hold, and the check passes after it.

  check_workflow_test.py REPOSITORY_ROOT
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

WORKFLOW = ".github/workflows/windows-dll.yml"
PRESETS = "CMakePresets.json"
COPIED = ["CMakeLists.txt", PRESETS, "cmake", "plugin", ".github", "tools", ".ci", "docs/players.txt"]
TOOLS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools")
sys.path.insert(0, TOOLS)
import check_workflow  # noqa: E402

REVIEW, INVARIANT, ONCE = "review", "invariant", "once"
CHECKOUT = "actions/checkout@11bd71901bbe5b1630ceea73d27597364c9af683 # v4.2.2"
UPLOAD = "actions/upload-artifact@ea165f8d65b6e75b540449e92b4886f43607fa02 # v4.6.2"
DOWNLOAD = "actions/download-artifact@d3f86a106a0bac45b974a628896c90dbdf5c8093 # v4.3.0"
PINS = {CHECKOUT: ("v4", "v4.2.2"), UPLOAD: ("v4", "v4.6.2"), DOWNLOAD: ("v4", "v4.3.0")}
TRIGGERS = "on:\n  push:\n  pull_request:\n  workflow_dispatch:\n"
RELEASE_IF = "    if: startsWith(github.ref, 'refs/tags/v')\n    needs:"
NEEDS = "needs: [linux-tests, windows-dll, pack]"
RELEASE_STEPS = "      DLL_VERSION: ${{ needs.windows-dll.outputs.version }}\n    steps:\n" \
    "      - name: Fetch what the pack job packed\n"
PUBLISH_ENV = "        env:\n          GH_TOKEN: ${{ github.token }}\n"
PUBLISH_STEP = "      - name: Publish the release\n"
NOT_ON_TAGS = "if: \"!startsWith(github.ref, 'refs/tags/')\""
UNPACK_STEP = ("      - name: Unpack the host's Dear ImGui into the SDK folder\n"
               "        run: Expand-Archive -Path bakkesmodsdk/imgui_bm.zip "
               "-DestinationPath bakkesmodsdk/imgui_bm\n\n")
BUILD_STEP = "      - name: Build the Release configuration\n"
BUILD_RUN = "        run: cmake --build --preset bakkesmod\n"
DLL_CHECK = 'python tools/check_dll.py "${{ env.DLL_DIR }}/TallyLoomMMR.dll"'
SYSCTL_STEP = ("      - name: Let the sanitizers map their memory\n"
               "        run: sudo sysctl -w vm.mmap_rnd_bits=28\n")
LINUX_TESTS = 'docker run --rm -v "$PWD:/src" -w /src debian:12 bash .ci/run'
PACKING = "python3 tools/pack_release.py --version"
DLL_DIR = "  DLL_DIR: build-bakkesmod/bin/Release\n"
SDK_PIN = "BAKKESMOD_SDK_COMMIT: 803920dc654dd67696e52d1266cc07d64ac98c10"
# The gates by step name: a condition on any of them must fail whatever the
# review says; one on an upload, only the review catches (the download after
# it then fails on the runner).
GATES = ["Read the version from plugin/PluginVersion.h", "Build the Release configuration",
         "Check the DLL's exports, version resource and imports",
         "Name the SDK it was built against, as its checkout says",
         "The README's test command in Debian 12, as .ci/run runs it",
         "Pack the players' zip, the symbols zip and the release page's text"]
UPLOADS = ["Keep the DLL, its PDB and the SDK note", "Keep what the release publishes"]


def version(root):
    with open(os.path.join(root, "plugin", "PluginVersion.h"), encoding="utf-8") as f:
        return f.read().split('kPluginVersion = "', 1)[1].split('"', 1)[0]


def cases(v):
    """(kind, what breaks, [(file, text replaced, replacement)], expected):
    expected is a text that one failure must hold; for REVIEW, a line of the
    diff."""
    def one(kind, what, path, old, new, expected):
        return kind, what, [(path, old, new)], expected

    def review(what, old, new, shown):
        return one(REVIEW, what, WORKFLOW, old, new, shown)

    def invariant(what, old, new, expected):
        return one(INVARIANT, what, WORKFLOW, old, new, expected)

    return [
        # Triggers: a tag that runs nothing publishes nothing.
        review("push removed from on:", "  push:\n  pull_request:", "  pull_request:", "-  push: null"),
        review("push for branches only", "  push:\n", "  push:\n    branches: [main]\n", "+    branches:"),
        review("tags that are not v*", "  push:\n", "  push:\n    tags: ['release-*']\n", "+    - release-*"),
        review("v tags ignored", "  push:\n", "  push:\n    tags-ignore: ['v*']\n", "+    tags-ignore:"),
        review("a workflow with no triggers", TRIGGERS, "", "-'on':"),
        review("tags that GitHub reads as optional characters", "  push:\n", "  push:\n    tags: ['v?.?.?.?']\n",
               "+    - v?.?.?.?"),
        review("tags as one text", "  push:\n", "  push:\n    tags: release-*\n", "+    tags: release-*"),
        review("tags and tags-ignore both", "  push:\n", "  push:\n    tags: ['v*']\n    tags-ignore: ['v*-rc']\n",
               "+    tags-ignore:"),
        review("a trigger that runs on pull requests' code with write access", "  workflow_dispatch:\n",
               "  workflow_dispatch:\n  pull_request_target:\n", "+  pull_request_target: null"),
        # The runner and its shell.
        review("the DLL built on Linux", "    runs-on: windows-2022", "    runs-on: ubuntu-latest",
               "+runs-on: ubuntu"),
        review("a runner without Visual Studio 2022", "runs-on: windows-2022", "runs-on: windows-2019",
               "+runs-on: windows-2019"),
        review("a runner moving to another Visual Studio", "runs-on: windows-2022", "runs-on: windows-2025",
               "+runs-on: windows-2025"),
        review("no shell named", "    defaults:\n      run:\n        shell: pwsh\n", "", "-defaults:"),
        review("one step in Windows PowerShell", BUILD_STEP, BUILD_STEP + "        shell: powershell\n",
               "+  shell: powershell"),
        review("the job's shell is cmd", "        shell: pwsh\n", "        shell: cmd\n", "+    shell: cmd"),
        invariant("a template on the Windows job without the exit-code wrapper", "        shell: pwsh\n",
                  "        shell: pwsh -command \". '{0}'\"\n", "shell: windows-dll's defaults runs under"),
        invariant("a job's template that ends in exit 0", "        shell: pwsh\n",
                  "        shell: pwsh -command \"& '{0}'; exit 0\"\n", "shell: windows-dll's defaults"),
        invariant("a cmd template on a gate", BUILD_STEP, BUILD_STEP + "        shell: cmd /c {0} || exit 0\n",
                  "shell: windows-dll: step 'Build the Release configuration' runs under"),
        invariant("a bash template on a gate", f"        run: {LINUX_TESTS}\n",
                  f"        run: {LINUX_TESTS}\n        shell: bash {{0}} || true\n", "shell: linux-tests: step"),
        invariant("a template for the whole workflow", "permissions:\n  contents: read\n",
                  "permissions:\n  contents: read\ndefaults:\n  run:\n    shell: sh -c '{0}; true'\n",
                  "shell: the workflow's defaults runs under"),
        review("the release job on a Windows runner", "    runs-on: ubuntu-latest\n    permissions:",
               "    runs-on: windows-2022\n    permissions:", "+runs-on: windows-2022"),
        # The version and the tag check.
        invariant("the version read removed", "        run: python tools/release_version.py\n",
                  "        run: python tools/version.py check\n",
                  "0 steps run exactly the version read and the tag check"),
        invariant("a condition on the version read and the tag check",
                  "        id: version\n", f"        id: version\n        {NOT_ON_TAGS}\n",
                  "the version read and the tag check, has if:"),
        invariant("the release job's version written by hand",
                  "      DLL_VERSION: ${{ needs.windows-dll.outputs.version }}\n    steps:\n      - name: Fetch "
                  "what the pack", f"      DLL_VERSION: {v}\n    steps:\n      - name: Fetch what the pack",
                  f"repeats the version {v}"),
        invariant("the workflow's version written by hand", "  BAKKESMOD_SDK_COMMIT:",
                  f"  DLL_VERSION: {v}\n  BAKKESMOD_SDK_COMMIT:", "repeats the version"),
        review("the release job's version from nowhere", "${{ needs.windows-dll.outputs.version }}",
               "${{ needs.windows-dll.outputs.tag }}", "outputs.tag"),
        review("the job output not wired to the step", "version: ${{ steps.version.outputs.version }}",
               "version: ${{ steps.read.outputs.version }}", "+  version: ${{ steps.read.outputs.version }}"),
        one(ONCE, "the version written again in CMake", "CMakeLists.txt",
            "project(TallyLoomMMR VERSION ${CMAKE_MATCH_1}", f"project(TallyLoomMMR VERSION {v}",
            "CMakeLists.txt repeats the version"),
        one(ONCE, "the resource's numbers written by hand", "plugin/TallyLoomMMR.rc.in",
            " FILEVERSION @PROJECT_VERSION_MAJOR@,@PROJECT_VERSION_MINOR@,@PROJECT_VERSION_PATCH@,"
            "@PROJECT_VERSION_TWEAK@", " FILEVERSION " + v.replace(".", ","),
            "TallyLoomMMR.rc.in repeats the version"),
        one(ONCE, "the resource's version text written by hand", "plugin/TallyLoomMMR.rc.in",
            'VALUE "FileVersion", "@PROJECT_VERSION@"', 'VALUE "FileVersion", "@PROJECT_VERSION_MAJOR@"',
            "does not take its version texts from CMake"),
        one(ONCE, "the version named twice in its header", "plugin/PluginVersion.h",
            "inline constexpr const char* kPluginVersion",
            '// was kPluginVersion = "1.0.0.0";\ninline constexpr const char* kPluginVersion',
            "names kPluginVersion more than once"),
        # The SDK and its Dear ImGui.
        review("-DBAKKESMOD_SDK_DIR dropped", ' "-DBAKKESMOD_SDK_DIR=${{ github.workspace }}/bakkesmodsdk"',
               "", "+- run: cmake --preset bakkesmod\n"),
        review("the SDK checked out into another folder", "          path: bakkesmodsdk\n",
               "          path: sdk\n", "+    path: sdk"),
        review("the SDK checked out over the project", "          path: bakkesmodsdk\n", "",
               "-    path: bakkesmodsdk"),
        review("the SDK folder at the drive's root", "-DBAKKESMOD_SDK_DIR=${{ github.workspace }}/",
               "-DBAKKESMOD_SDK_DIR=/", '"-DBAKKESMOD_SDK_DIR=/bakkesmodsdk"'),
        invariant("the SDK from a fork", "repository: bakkesmodorg/BakkesModSDK", "repository: someone/BakkesModSDK",
                  "the SDK comes from someone/BakkesModSDK"),
        invariant("the SDK at a branch", SDK_PIN, "BAKKESMOD_SDK_COMMIT: master",
                  "the SDK is checked out at 'master', which is not pinned"),
        invariant("the SDK at its default branch", "          ref: ${{ env.BAKKESMOD_SDK_COMMIT }}\n", "",
                  "the SDK is checked out at '', which is not pinned"),
        invariant("a second repository checked out", UNPACK_STEP, "      - uses: actions/checkout@v4\n        with:\n"
                  "          repository: someone/imgui\n          path: bakkesmodsdk/imgui\n" + UNPACK_STEP,
                  "2 steps check out another repository than the project"),
        review("the Dear ImGui step deleted", UNPACK_STEP, "", "-- run: Expand-Archive"),
        review("Dear ImGui unpacked beside the SDK", "-DestinationPath bakkesmodsdk/imgui_bm",
               "-DestinationPath imgui_bm", "-DestinationPath imgui_bm\n"),
        review("another zip unpacked", "-Path bakkesmodsdk/imgui_bm.zip", "-Path bakkesmodsdk/docs/imgui_bm.zip",
               "bakkesmodsdk/docs/imgui_bm.zip"),
        (REVIEW, "Dear ImGui unpacked after configuring",
         [(WORKFLOW, UNPACK_STEP, ""), (WORKFLOW, BUILD_STEP, UNPACK_STEP + BUILD_STEP)],
         "-- run: cmake --preset bakkesmod"),
        one(ONCE, "CMake looking in the SDK's top folder only", "cmake/BakkesModSdk.cmake",
            'file(GLOB_RECURSE imgui_found FOLLOW_SYMLINKS "${sdk}/imgui.cpp")',
            'file(GLOB imgui_found "${sdk}/imgui/imgui.cpp")', "does not look for imgui.cpp anywhere below"),
        invariant("the SDK note and its commit check removed", "python tools/sdk_note.py", "python tools/note.py",
                  "0 steps run exactly the SDK note and its commit check"),
        review("the SDK note read from the project's own checkout", "--sdk bakkesmodsdk", "--sdk .", "--sdk ."),
        # The DLL, its PDB and the presets.
        invariant("the DLL read from build/bin/Release", DLL_CHECK,
                  "python tools/check_dll.py build/bin/Release/TallyLoomMMR.dll",
                  "names build/bin/Release/TallyLoomMMR.dll, but the bakkesmod preset puts it in "
                  "build-bakkesmod/bin/Release"),
        invariant("the DLL's folder without the configuration", DLL_DIR, "  DLL_DIR: build-bakkesmod/bin\n",
                  "but the bakkesmod preset puts it in build-bakkesmod/bin/Release"),
        invariant("the DLL check on another DLL", DLL_CHECK,
                  'python tools/check_dll.py "${{ env.DLL_DIR }}/pluginsdk.dll"', "not the DLL the build writes"),
        one(ONCE, "the preset's binaryDir moved", PRESETS, '"binaryDir": "${sourceDir}/build-bakkesmod"',
            '"binaryDir": "${sourceDir}/out/bakkesmod"', "the bakkesmod preset puts it in out/bakkesmod/bin/Release"),
        one(ONCE, "the programs' folder moved", "CMakeLists.txt",
            "set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)",
            "set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/programs)",
            "puts it in build-bakkesmod/programs/Release"),
        one(ONCE, "the PDB with no set place", "CMakeLists.txt",
            "set(CMAKE_PDB_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)", "", "sets no CMAKE_PDB_OUTPUT_DIRECTORY"),
        one(ONCE, "the DLL's folder set twice", "CMakeLists.txt", "include(cmake/CompilerFlags.cmake)\n",
            "include(cmake/CompilerFlags.cmake)\nset(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/x)\n",
            "sets no CMAKE_RUNTIME_OUTPUT_DIRECTORY"),
        review("the PDB left out of the artefact", "            ${{ env.DLL_DIR }}/TallyLoomMMR.pdb\n", "",
               "-      ${{ env.DLL_DIR }}/TallyLoomMMR.pdb"),
        review("the SDK note left out of the artefact", "            ${{ env.DLL_DIR }}/BUILT-AGAINST.txt\n", "",
               "-      ${{ env.DLL_DIR }}/BUILT-AGAINST.txt"),
        review("the artefact without the PDB by exclusion", "            ${{ env.DLL_DIR }}/BUILT-AGAINST.txt\n",
               "            ${{ env.DLL_DIR }}/BUILT-AGAINST.txt\n            !${{ env.DLL_DIR }}/*.pdb\n",
               "+      !${{ env.DLL_DIR }}/*.pdb"),
        invariant("a preset that does not exist", "cmake --preset bakkesmod ", "cmake --preset msvc ",
                  "names msvc, which is not a configure preset"),
        one(ONCE, "Debug offered", PRESETS, '"CMAKE_CONFIGURATION_TYPES": "Release"',
            '"CMAKE_CONFIGURATION_TYPES": "Debug;Release"', "not Release only"),
        one(ONCE, "schema 6", PRESETS, '"version": 3', '"version": 6', "Visual Studio 2022 reads 5 at most"),
        one(ONCE, "a schema higher than the contents need", PRESETS, '"version": 3', '"version": 4',
            "the contents need only 3"),
        one(ONCE, "the Linux presets unconditioned", PRESETS,
            '"generator": "Ninja",\n      "condition": {\n        "type": "equals",\n'
            '        "lhs": "${hostSystemName}",\n        "rhs": "Linux"\n      },',
            '"generator": "Ninja",', "on Windows CMake would offer configure presets"),
        one(ONCE, "the Linux build presets unconditioned", PRESETS,
            '"name": "linux",\n      "hidden": true,\n      "condition": {\n        "type": "equals",\n'
            '        "lhs": "${hostSystemName}",\n        "rhs": "Linux"\n      }',
            '"name": "linux",\n      "hidden": true', "on Windows CMake would offer build presets"),
        one(ONCE, "the Linux presets offered on no host", PRESETS,
            '"lhs": "${hostSystemName}",\n        "rhs": "Linux"\n      },\n      "cacheVariables"',
            '"lhs": "${hostSystemName}",\n        "rhs": "Darwin"\n      },\n      "cacheVariables"',
            "on Linux CMake offers configure presets []"),
        one(ONCE, "the build preset building Debug", PRESETS,
            '"configurePreset": "bakkesmod",\n      "configuration": "Release"',
            '"configurePreset": "bakkesmod",\n      "configuration": "Debug"', "does not build Release"),
        one(ONCE, "bakkesmod offered on Linux", PRESETS,
            '"binaryDir": "${sourceDir}/build-bakkesmod",\n      "condition": {\n        "type": "equals",\n'
            '        "lhs": "${hostSystemName}",\n        "rhs": "Windows"\n      },',
            '"binaryDir": "${sourceDir}/build-bakkesmod",', "on Linux CMake offers configure presets"),
        one(ONCE, "release flags in the preset", PRESETS, '"CMAKE_CONFIGURATION_TYPES": "Release",',
            '"CMAKE_CONFIGURATION_TYPES": "Release",\n        "CMAKE_CXX_FLAGS_RELEASE": "/O2",',
            "cacheVariables has CMAKE_CXX_FLAGS_RELEASE"),
        one(ONCE, "a build preset of one target", PRESETS,
            '"configurePreset": "bakkesmod",\n      "configuration": "Release",',
            '"configurePreset": "bakkesmod",\n      "configuration": "Release",\n      "targets": ["x"],',
            "the bakkesmod build preset has targets"),
        one(ONCE, "the build preset on another configuration", PRESETS,
            '"name": "bakkesmod",\n      "configurePreset": "bakkesmod",',
            '"name": "bakkesmod",\n      "configurePreset": "windows",', "has configurePreset 'windows'"),
        one(ONCE, "presets that are not JSON", PRESETS, '"version": 3,', '"version": 3,,',
            "cannot be read as presets"),
        # The runtime and the PDB.
        one(ONCE, "the DLL runtime", "cmake/CompilerFlags.cmake", "set(CMAKE_MSVC_RUNTIME_LIBRARY MultiThreaded)",
            "", "does not choose the static runtime"),
        one(ONCE, "the runtime commented out", "cmake/CompilerFlags.cmake",
            "set(CMAKE_MSVC_RUNTIME_LIBRARY MultiThreaded)", "# set(CMAKE_MSVC_RUNTIME_LIBRARY MultiThreaded)",
            "does not choose the static runtime"),
        one(ONCE, "the runtime chosen again", "CMakeLists.txt", "include(cmake/Dependencies.cmake)\n",
            "include(cmake/Dependencies.cmake)\nset(CMAKE_MSVC_RUNTIME_LIBRARY MultiThreadedDLL)\n",
            "more than once"),
        one(ONCE, "a packaged {fmt}", "cmake/Dependencies.cmake", "  include(FetchContent)\n",
            "  find_package(fmt 9 CONFIG QUIET)\n  include(FetchContent)\n", "packaged {fmt}"),
        one(ONCE, "a packaged {fmt} after all", "cmake/Dependencies.cmake", "FetchContent_Declare(fmt",
            "FetchContent_Declare(fmt FIND_PACKAGE_ARGS 9 CONFIG", "packaged {fmt}"),
        (ONCE, "the runtime chosen after {fmt} is brought in",
         [("CMakeLists.txt", "include(cmake/CompilerFlags.cmake)\n", ""),
          ("CMakeLists.txt", "include(cmake/Dependencies.cmake)\n",
           "include(cmake/Dependencies.cmake)\ninclude(cmake/CompilerFlags.cmake)\n")],
         "the runtime is not chosen before the dependencies"),
        one(ONCE, "the DLL linked without the PDB's options", "CMakeLists.txt",
            "target_link_options(TallyLoomMMR PRIVATE ${TALLYLOOM_PRIVATE_LINK_OPTIONS})", "",
            "does not take TALLYLOOM_PRIVATE_LINK_OPTIONS"),
        one(ONCE, "no program database", "cmake/CompilerFlags.cmake",
            "set(CMAKE_MSVC_DEBUG_INFORMATION_FORMAT ProgramDatabase)", "", "writes no program database"),
        one(ONCE, "a PDB that costs the optimiser", "cmake/CompilerFlags.cmake", "/DEBUG /OPT:REF /OPT:ICF",
            "/DEBUG", "/DEBUG /OPT:REF /OPT:ICF"),
        one(ONCE, "a PDB that points at the objects", "cmake/CompilerFlags.cmake", "/DEBUG /OPT:REF /OPT:ICF",
            "/DEBUG:FASTLINK /OPT:REF /OPT:ICF", "a PDB that holds the symbols itself"),
        one(ONCE, "an older CMake policy for the PDB", "CMakeLists.txt", "cmake_minimum_required(VERSION 3.25)",
            "cmake_minimum_required(VERSION 3.22)", "cmake_minimum_required is below 3.25"),
        # The DLL check.
        invariant("a DLL check that is not run", "python tools/check_dll.py", "python tools/check-dll.py",
                  "0 steps run exactly the DLL check"),
        invariant("a DLL check told to skip", DLL_CHECK, DLL_CHECK + " --skip-imports",
                  "0 steps run exactly the DLL check"),
        invariant("the DLL check under an if", f"        run: {DLL_CHECK}\n",
                  f"        run: if ($env:GITHUB_REPOSITORY -ceq 'me/fork') {{ {DLL_CHECK} }}\n",
                  "0 steps run exactly the DLL check"),
        invariant("the DLL check with an unclosed quote", DLL_CHECK, DLL_CHECK[:-1],
                  "0 steps run exactly the DLL check"),
        review("the runtime switched on the command line", '/bakkesmodsdk"',
               '/bakkesmodsdk" -DCMAKE_MSVC_RUNTIME_LIBRARY=MultiThreadedDLL',
               "-DCMAKE_MSVC_RUNTIME_LIBRARY=MultiThreadedDLL"),
        review("another configuration built", "cmake --build --preset bakkesmod",
               "cmake --build --preset bakkesmod --config Debug", "--config Debug"),
        invariant("pefile installed without its hashes", "pip install --require-hashes -r", "pip install -r",
                  "hashes: windows-dll: step 'Install the DLL check's pefile"),
        invariant("pefile installed by name", "--require-hashes -r tools/check_dll.requirements.txt",
                  "pefile==2023.2.7", "hashes: windows-dll"),
    ] + [
        invariant(f"a condition on the gate '{gate}'", f"      - name: {gate}\n",
                  f"      - name: {gate}\n        {NOT_ON_TAGS}\n", "has if: !startsWith")
        for gate in GATES
    ] + [
        review(f"a condition on the upload '{upload}'", f"      - name: {upload}\n",
               f"      - name: {upload}\n        {NOT_ON_TAGS}\n", "+- if: '!startsWith(github.ref, ''refs/tags/'')'")
        for upload in UPLOADS
    ] + [
        review(f"a condition on the job {job}", f"\n  {job}:\n", f"\n  {job}:\n    if: github.event_name != 'push'\n",
               "+if: github.event_name != 'push'")
        for job in ("windows-dll", "linux-tests", "pack")
    ] + [
        # Actions.
        review("a retired upload-artifact", UPLOAD, "actions/upload-artifact@v3",
               "+- uses: actions/upload-artifact@v3"),
        review("a retired checkout", CHECKOUT + "\n\n      # On a tag", "actions/checkout@v2\n\n      # On a tag",
               "+- uses: actions/checkout@v2"),
        review("an action at a branch", DOWNLOAD, "actions/download-artifact@main",
               "+- uses: actions/download-artifact@main"),
        review("a third-party action", UPLOAD, "softprops/action-gh-release@v2", "softprops/action-gh-release@v2"),
        review("a pin without the release it names", UPLOAD, UPLOAD.split(" #")[0],
               "+- uses: " + UPLOAD.split(" #")[0]),
        review("a pin of a retired release", CHECKOUT, CHECKOUT.replace("v4.2.2", "v3.6.0"),
               "+- uses: " + CHECKOUT.split(" #")[0]),
        review("a newer major version", UPLOAD, "actions/upload-artifact@v5", "+- uses: actions/upload-artifact@v5"),
        # Publishing.
        invariant("publishing on every push", RELEASE_IF, "    needs:", "can run on other refs than a v* tag"),
        invariant("publishing even after a failure", RELEASE_IF,
                  "    if: always() && startsWith(github.ref, 'refs/tags/v')\n    needs:", "or after a failure"),
        invariant("publishing unless cancelled", RELEASE_IF,
                  "    if: ${{ !cancelled() && startsWith(github.ref, 'refs/tags/v') }}\n    needs:",
                  "or after a failure"),
        invariant("publishing on a tag or the main branch", RELEASE_IF,
                  "    if: startsWith(github.ref, 'refs/tags/v') || github.ref == 'refs/heads/main'\n    needs:",
                  "can run on other refs"),
        invariant("the publishing step after a failure", PUBLISH_STEP, PUBLISH_STEP + "        if: failure()\n",
                  "or after a failure"),
        invariant("publishing before the tests pass", NEEDS, "needs: [windows-dll, pack]",
                  "release does not need linux-tests (needs:), which holds the Linux tests"),
        invariant("publishing without the Windows checks", NEEDS, "needs: linux-tests",
                  "release does not need windows-dll (needs:), which holds the version read and the tag check "
                  "and the build and the DLL check and the SDK note"),
        invariant("publishing without the packing", NEEDS, "needs: [linux-tests, windows-dll]",
                  "release does not need pack (needs:), which holds the packing"),
        (INVARIANT, "publishing from the Windows job",
         [(WORKFLOW, "      - name: Keep the DLL, its PDB and the SDK note\n",
           "      - name: Publish early\n        if: startsWith(github.ref, 'refs/tags/v')\n"
           "        run: gh release upload $env:GITHUB_REF_NAME x.zip\n"
           "      - name: Keep the DLL, its PDB and the SDK note\n")],
         "publishing: 2 steps run gh, not one"),
        invariant("another tag published", 'gh release create "$GITHUB_REF_NAME"', "gh release create v9.9.9",
                  'does not run gh release create "$GITHUB_REF_NAME"'),
        invariant("the tag escaped", 'gh release create "$GITHUB_REF_NAME"', 'gh release create "\\$GITHUB_REF_NAME"',
                  'does not run gh release create "$GITHUB_REF_NAME"'),
        review("the symbols zip not published", ' "release/TallyLoomMMR-$DLL_VERSION-symbols.zip"', "",
               '"release/TallyLoomMMR-$DLL_VERSION.zip" --repo'),
        review("the packed folder not kept", "          path: release/\n", "          path: dll/\n",
               "+    path: dll/"),
        review("another artefact published", "          name: TallyLoomMMR-release\n          path: release\n",
               "          name: TallyLoomMMR-dll\n          path: release\n", "+    name: TallyLoomMMR-dll"),
        review("a release that may create its own tag", " --verify-tag", "", "--notes-file release/notes.md"),
        review("notes that are the plain-text page", "--notes-file release/notes.md", "--notes-file docs/players.txt",
               "--notes-file docs/players.txt"),
        review("another zip published", '"release/TallyLoomMMR-$DLL_VERSION.zip"', '"release/TallyLoomMMR.zip"',
               '"release/TallyLoomMMR.zip"'),
        review("a zip packed from elsewhere", "--from dll", "--from build", "--from build"),
        review("a packer option it does not know", "--from dll --to release", "--from dll --to release --no-symbols",
               "--no-symbols"),
        review("a draft release", "--verify-tag\n", "--verify-tag --draft\n", "--draft"),
        review("a published file in single quotes", '"release/TallyLoomMMR-$DLL_VERSION.zip"',
               "'release/TallyLoomMMR-$DLL_VERSION.zip'", "'release/TallyLoomMMR-$DLL_VERSION.zip'"),
        review("a pwsh variable in bash", '--version "$DLL_VERSION"', '--version "$env:DLL_VERSION"',
               '--version "$env:DLL_VERSION"'),
        review("a variable that nothing sets", '--title "TallyLoom MMR $DLL_VERSION"',
               '--title "TallyLoom MMR $DLL_VERSON"', "$DLL_VERSON"),
        invariant("the zip packed by hand", "python3 tools/pack_release.py", "python3 tools/pack.py",
                  "0 steps run exactly the packing"),
        # Write access and the token.
        invariant("write permission for every job", "permissions:\n  contents: read\n",
                  "permissions:\n  contents: write\n", "the workflow's default token may write"),
        invariant("no default permissions", "permissions:\n  contents: read\n", "",
                  "the workflow's default token may write"),
        invariant("write permission for the build", "    runs-on: windows-2022\n",
                  "    runs-on: windows-2022\n    permissions:\n      contents: write\n",
                  "windows-dll may write, but does not publish"),
        invariant("every permission for the pack job", "    needs: windows-dll\n",
                  "    needs: windows-dll\n    permissions: write-all\n", "pack may write, but does not publish"),
        invariant("the publishing job cannot write", "      contents: write\n", "      contents: read\n",
                  "release may write nothing, not contents alone"),
        invariant("the publishing job may write more", "      contents: write\n",
                  "      contents: write\n      id-token: write\n", "release may write contents, id-token"),
        invariant("the token for every job", "env:\n  BAKKESMOD_SDK_COMMIT",
                  "env:\n  GH_TOKEN: ${{ github.token }}\n  BAKKESMOD_SDK_COMMIT",
                  "token: env.GH_TOKEN gets the token"),
        invariant("the token for the whole release job", RELEASE_STEPS,
                  "      GH_TOKEN: ${{ github.token }}\n" + RELEASE_STEPS, "token: jobs.release.env.GH_TOKEN"),
        invariant("the token for the packing script",
                  "      - name: Pack the players' zip, the symbols zip and the release page's text\n",
                  "      - name: Pack the players' zip, the symbols zip and the release page's text\n" + PUBLISH_ENV,
                  "token: jobs.pack.steps[2].env.GH_TOKEN gets the token"),
        invariant("a secret for the build", BUILD_STEP,
                  BUILD_STEP + "        env:\n          SIGNING: ${{ secrets.SIGNING_KEY }}\n",
                  "token: jobs.windows-dll.steps[5].env.SIGNING gets the token"),
        invariant("the token in a command line", '--repo "$GITHUB_REPOSITORY"',
                  '--repo "$GITHUB_REPOSITORY" --token ${{ secrets.GITHUB_TOKEN }}',
                  "token: jobs.release.steps[1].run gets the token"),
        invariant("no token to publish with", PUBLISH_ENV, "", "has no GH_TOKEN"),
        invariant("a token given to the download", "          name: TallyLoomMMR-release\n          path: release\n",
                  "          name: TallyLoomMMR-release\n          path: release\n"
                  "          github-token: ${{ github.token }}\n",
                  "token: jobs.release.steps[0].with.github-token gets the token"),
        invariant("a checkout in the job that can write", PUBLISH_STEP,
                  f"      - name: Check out the project\n        uses: {CHECKOUT}\n        with:\n"
                  "          persist-credentials: false\n" + PUBLISH_STEP,
                  "release: step 'Check out the project' uses actions/checkout in the job that can write"),
        invariant("the write token through checkout's default input", PUBLISH_STEP,
                  f"      - uses: {CHECKOUT}\n" + PUBLISH_STEP, "uses actions/checkout in the job that can write"),
        invariant("a repository script in the job that can write", PUBLISH_STEP,
                  "      - run: bash .ci/run\n" + PUBLISH_STEP, "runs bash .ci/run in the job that can write"),
        invariant("the packing moved into the job that can write", PUBLISH_STEP,
                  "      - run: python3 tools/pack_release.py --version \"$DLL_VERSION\" --from dll --to release "
                  "--releases \"$GITHUB_SERVER_URL/$GITHUB_REPOSITORY/releases\"\n" + PUBLISH_STEP,
                  "runs python3 tools/pack_release.py --version \"$DLL_VERSION\" --from dll --to release "
                  "--releases \"$GITHUB_SERVER_URL/$GITHUB_REPOSITORY/releases\" in the job that can write"),
        invariant("a third-party action in the job that can write", PUBLISH_STEP,
                  "      - uses: softprops/action-gh-release@v2\n" + PUBLISH_STEP,
                  "uses softprops/action-gh-release in the job that can write"),
        # The Linux job.
        invariant("the quick tests instead", "debian:12 bash .ci/run", "debian:12 ./tallyloom quick",
                  "0 steps run exactly the Linux tests"),
        invariant("a different script after a space", "debian:12 bash .ci/run", "debian:12 bash .ci/run-fast",
                  "0 steps run exactly the Linux tests"),
        invariant("failures ignored", "debian:12 bash .ci/run", "debian:12 bash .ci/run || true",
                  "one command: linux-tests: step 'The README's test command"),
        invariant("another image", "debian:12 bash .ci/run", "ubuntu:24.04 bash .ci/run",
                  "0 steps run exactly the Linux tests"),
        invariant("not in the checkout", '-v "$PWD:/src" -w /src', '-v "$PWD:/src" -w /tmp',
                  "0 steps run exactly the Linux tests"),
        invariant("a privileged container", "docker run --rm", "docker run --privileged --rm",
                  "0 steps run exactly the Linux tests"),
        review("the Linux job in a container", "    runs-on: ubuntu-latest\n    steps:",
               "    runs-on: ubuntu-latest\n    container: debian:12\n    steps:", "+container: debian:12"),
        review("the Linux job on Windows", "    runs-on: ubuntu-latest\n    steps:",
               "    runs-on: windows-2022\n    steps:", "+runs-on: windows-2022"),
        (REVIEW, "the sysctl after the tests",
         [(WORKFLOW, SYSCTL_STEP, ""),
          (WORKFLOW, f"        run: {LINUX_TESTS}\n",
           f"        run: {LINUX_TESTS}\n      - run: sudo sysctl -w vm.mmap_rnd_bits=28\n")],
         "+- run: docker run"),
        review("no sysctl", "        run: sudo sysctl -w vm.mmap_rnd_bits=28\n", "", "-- run: sudo sysctl"),
        review("an extra command in the Linux job", SYSCTL_STEP, "      - run: ./tallyloom quick\n" + SYSCTL_STEP,
               "+- run: ./tallyloom quick"),
        # One command a step, and nothing that changes the variables unseen.
        invariant("a file named that is not there", PACKING,
                  "python3 tools/pack_release.py --help && python3 docs/pack.py --version",
                  "files: pack: step 'Pack the players' zip, the symbols zip and the release page's text' names "
                  "docs/pack.py, which does not exist"),
        invariant("two commands in one step", PACKING, "python3 tools/pack_release.py --help && " + PACKING,
                  "one command: pack: step"),
        invariant("a command the check does not know", BUILD_RUN,
                  "        run: |\n          Remove-Item -Recurse bakkesmodsdk/include\n"
                  "          cmake --build --preset bakkesmod\n", "one command: windows-dll: step 'Build"),
        invariant("a build whose failure a later program hides", BUILD_RUN,
                  "        run: |\n          cmake --build --preset bakkesmod\n"
                  "          git -C bakkesmodsdk log -1 --format=%H\n", "one command: windows-dll: step 'Build"),
        invariant("a subexpression", '"-DBAKKESMOD_SDK_DIR=${{ github.workspace }}/bakkesmodsdk"',
                  '"-DBAKKESMOD_SDK_DIR=$(git rev-parse --show-toplevel)/bakkesmodsdk"',
                  "one command: windows-dll: step 'Configure"),
        invariant("GITHUB_ENV written over", BUILD_STEP,
                  "      - run: \"'DLL_VERSION=0.0.0.0' | Set-Content -Path $env:GITHUB_ENV\"\n" + BUILD_STEP,
                  "writes GITHUB_ENV or GITHUB_PATH"),
        invariant("DLL_DIR moved through GITHUB_ENV", BUILD_STEP,
                  "      - run: Add-Content -Path $env:GITHUB_ENV -Value DLL_DIR=build\n" + BUILD_STEP,
                  "writes GITHUB_ENV or GITHUB_PATH"),
        # Text from the event in a script.
        invariant("an expression written into a command", '--title "TallyLoom MMR $DLL_VERSION"',
                  '--title "TallyLoom MMR ${{ github.head_ref }}"', "github.head_ref may carry text from the event"),
        invariant("a commit message in a script", "run: python tools/release_version.py",
                  "run: python tools/release_version.py ${{ github.event.head_commit.message }}",
                  "github.event.head_commit.message may carry text from the event"),
        invariant("the branch name through a function", "run: python tools/release_version.py",
                  "run: python tools/release_version.py ${{ format('{0}', github.ref_name) }}",
                  "github.ref_name may carry text from the event"),
        invariant("the whole event", "run: python tools/release_version.py",
                  "run: python tools/release_version.py ${{ toJSON(github) }}", "and github may carry"),
        (INVARIANT, "the branch name through env",
         [(WORKFLOW, DLL_DIR, DLL_DIR + "  BRANCH: ${{ github.head_ref }}\n"),
          (WORKFLOW, "run: python tools/release_version.py", "run: python tools/release_version.py ${{ env.BRANCH }}")],
         "env.BRANCH (github.head_ref) may carry text from the event"),
        # Keys, jobs and inputs only the review stands against.
        review("compiler flags through the environment", DLL_DIR, DLL_DIR + "  CL: /MD\n", "+  CL: /MD"),
        review("a job of its own", "  linux-tests:\n",
               "  deploy:\n    runs-on: ubuntu-latest\n    steps:\n      - run: sudo sysctl -w vm.mmap_rnd_bits=28\n"
               "  linux-tests:\n", "+++ workflow jobs.deploy"),
        review("working-directory on a step", BUILD_STEP, BUILD_STEP + "        working-directory: build\n",
               "+  working-directory: build"),
        review("a job-level working-directory", "        shell: pwsh\n",
               "        shell: pwsh\n        working-directory: build\n", "+    working-directory: build"),
        review("an upload that passes without its files", "          if-no-files-found: error\n",
               "          if-no-files-found: warn\n", "+    if-no-files-found: warn"),
        review("an upload that passes without its files by default", "          if-no-files-found: error\n", "",
               "-    if-no-files-found: error"),
        review("env on a gate", BUILD_STEP, BUILD_STEP + "        env:\n          CL: /MD\n", "+    CL: /MD"),
        review("the project checked out after the SDK",
               f"      - name: Check out the project\n        uses: {CHECKOUT}\n\n      # On a tag",
               "      # On a tag", "-- uses: actions/checkout@v4\n"),
        review("a short timeout", "    runs-on: windows-2022\n", "    runs-on: windows-2022\n    timeout-minutes: 10\n",
               "+timeout-minutes: 10"),
        review("a version step with a condition", BUILD_STEP,
               "      - run: cmake --version\n        if: github.event_name == 'push'\n" + BUILD_STEP,
               "+- if: github.event_name == 'push'"),
        review("a variable given to a job that does not name it", "    env:\n      DLL_VERSION:",
               "    env:\n      DLL_DIR: build-bakkesmod/bin/Release\n      DLL_VERSION:",
               "+  DLL_DIR: build-bakkesmod/bin/Release"),
        invariant("continue-on-error in capitals", "\n  pack:\n", "\n  pack:\n    Continue-On-Error: true\n",
                  "keys: jobs.pack has Continue-On-Error, in capitals"),
        invariant("an if in capitals", RELEASE_IF, "    If: always()\n    needs:",
                  "keys: jobs.release has If, in capitals"),
        # What GitHub refuses that a YAML loader lets through.
        invariant("two steps with one id", BUILD_STEP, BUILD_STEP + "        id: version\n", "the same id"),
        invariant("a job that needs no job", NEEDS, "needs: [linux-tests, windows-dll, pack, tests]",
                  "release needs tests, which is no job"),
        one(INVARIANT, ".github/workflows holding a second publisher", ".github/workflows/release.yml", None,
            "on: push\njobs: {}\n", ".github/workflows also holds release.yml"),
        # Shapes it does not expect fail by name, never with a traceback.
        one(ONCE, "a workflow that is a list", WORKFLOW, None, "- name: Windows DLL\n- x: 1\n",
            "the workflow is not a mapping of keys"),
        one(ONCE, "jobs as a list", WORKFLOW, "\njobs:\n", "\njobs: [windows-dll]\nold-jobs:\n",
            "the workflow's jobs are not a mapping of jobs"),
        one(ONCE, "a step's env as a text", WORKFLOW, PUBLISH_ENV, "        env: GH_TOKEN\n", "has env 'GH_TOKEN'"),
        one(ONCE, "a workflow that is not YAML", WORKFLOW, "name: Windows DLL\n", "name: Windows DLL\n\t- x\n",
            "windows-dll.yml cannot be read"),
        one(ONCE, "a reviewed copy that is not YAML", "tools/windows-dll.reviewed.yml", "jobs:\n", "jobs: [\n",
            "windows-dll.reviewed.yml cannot be read"),
        one(ONCE, "no reviewed copy", "tools/windows-dll.reviewed.yml", None, None, "there is no reviewed copy"),
    ]


def step_starts(text):
    return [m.start() for m in re.finditer(r"^      - ", text, re.MULTILINE)]


def unknown_keys(text, workflow):
    """continue-on-error on every job and then every step in turn."""
    out = []
    for job in workflow["jobs"]:
        out.append((INVARIANT, f"continue-on-error on the job {job}",
                    [(WORKFLOW, f"\n  {job}:\n", f"\n  {job}:\n    continue-on-error: true\n")],
                    f"continue-on-error: {job} has continue-on-error"))
    steps = [(job, step.get("name") or step.get("uses")) for job, data in workflow["jobs"].items()
             for step in data["steps"]]
    assert len(step_starts(text)) == len(steps), "every step starts with '      - '"
    for (job, name), at in zip(steps, step_starts(text)):
        edited = text[:at] + "      - continue-on-error: true\n        " + text[at + 8:]
        out.append((INVARIANT, f"continue-on-error on the step '{name}'", [(WORKFLOW, text, edited)],
                    f"continue-on-error: {job}: step '{name}' has continue-on-error"))
    return out


def duplicated_keys(text):
    """A key given twice in one mapping, as GitHub compares keys: (kind, what,
    edits, expected)."""
    def line_of(snippet, after=0):
        return text[:text.index(snippet, after)].count("\n") + 1

    release_if = line_of(RELEASE_IF)
    build_run = line_of(BUILD_RUN)
    return [(ONCE, what, [(WORKFLOW, old, new)], expected) for what, old, new, expected in [
        ("a second if on the release job", RELEASE_IF,
         RELEASE_IF.replace("    needs:", "    if: github.event_name == 'push'\n    needs:"),
         f"line {release_if + 1} gives the key 'if' again (first on line {release_if}"),
        ("a second run in a step", BUILD_RUN, BUILD_RUN + "        run: echo built\n",
         f"line {build_run + 1} gives the key 'run' again (first on line {build_run}"),
        ("a key again in other letters", RELEASE_IF, RELEASE_IF.replace("    needs:", "    If: always()\n    needs:"),
         "gives the key 'If' again"),
        ("on again as On", TRIGGERS, TRIGGERS + "On:\n  push:\n", "gives the key 'On' again"),
        ("a trigger twice", "  push:\n", "  push:\n  push:\n", "gives the key 'push' again"),
        ("a job twice", "  linux-tests:\n", "  pack:\n    runs-on: ubuntu-latest\n    steps: []\n  linux-tests:\n",
         "gives the key 'pack' again"),
        ("a variable twice", DLL_DIR, DLL_DIR + "  DLL_DIR: build/bin\n", "gives the key 'DLL_DIR' again"),
        ("an input twice", "          path: bakkesmodsdk\n", "          path: bakkesmodsdk\n          Path: sdk\n",
         "gives the key 'Path' again"),
        ("a permission twice", "      contents: write\n", "      contents: write\n      contents: read\n",
         "gives the key 'contents' again"),
    ]]


def every(old, new):
    """An edit of every place the workflow has old."""
    return WORKFLOW, old, new, "every"


def harmless(text):
    """Changes at the variation points, which must pass with the reviewed
    copy as it is: (what, edits)."""
    top_env_comment = ("  # Where the bakkesmod preset puts the DLL and its PDB: its binaryDir, the\n"
                       "  # bin/ of CMakeLists.txt, and the configuration its build preset builds.\n")
    variants = [
        ("concurrency for the workflow",
         [(WORKFLOW, "\njobs:\n", "\nconcurrency:\n  group: windows-dll-${{ github.ref }}\n"
                                  "  cancel-in-progress: true\n\njobs:\n")]),
        ("concurrency for a job", [(WORKFLOW, "    runs-on: windows-2022\n",
                                    "    runs-on: windows-2022\n    concurrency: windows-dll\n")]),
        ("timeout-minutes: 60 on every job", [(WORKFLOW, f"\n  {job}:\n", f"\n  {job}:\n    timeout-minutes: 60\n")
                                              for job in ("windows-dll", "linux-tests", "pack", "release")]),
        ("retention-days on the uploads",
         [every("          if-no-files-found: error\n",
                "          if-no-files-found: error\n          retention-days: 30\n")]),
        ("fetch-depth: 0 on every checkout",
         [every(f"        uses: {CHECKOUT}\n\n",
                f"        uses: {CHECKOUT}\n        with:\n          fetch-depth: 0\n\n"),
          (WORKFLOW, "          path: bakkesmodsdk\n", "          path: bakkesmodsdk\n          fetch-depth: 0\n")]),
        ("a cmake --version step", [(WORKFLOW, "      - name: Configure the bakkesmod preset",
                                     "      - name: Show CMake's version\n        run: cmake --version\n\n"
                                     "      - name: Configure the bakkesmod preset")]),
        ("DLL_DIR moved to the job's env", [(WORKFLOW, top_env_comment + DLL_DIR, ""),
                                            (WORKFLOW, "    runs-on: windows-2022\n",
                                             "    runs-on: windows-2022\n    env:\n    " + DLL_DIR)]),
        ("the SDK's pin moved to the job's env",
         [(WORKFLOW, f"  {SDK_PIN}\n", ""),
          (WORKFLOW, "    runs-on: windows-2022\n", f"    runs-on: windows-2022\n    env:\n      {SDK_PIN}\n")]),
        ("other step names", [every("      - name: ", "      - name: Step ")]),
        ("Ubuntu 24.04 named", [every("runs-on: ubuntu-latest", "runs-on: ubuntu-24.04")]),
        ("the triggers as a list", [(WORKFLOW, TRIGGERS, "on: [push, pull_request, workflow_dispatch]\n")]),
        ("triggers as empty mappings",
         [(WORKFLOW, TRIGGERS, "on:\n  push: {}\n  pull_request:\n  workflow_dispatch: {}\n")]),
    ] + [(f"actions at {'major' if i == 0 else 'full version'} tags",
          [every(pin, pin.split("@")[0] + "@" + tags[i]) for pin, tags in PINS.items()]) for i in (0, 1)]
    together = [edit for what, edits in variants if what not in ("the SDK's pin moved to the job's env",
                                                                  "actions at full version tags",
                                                                  "triggers as empty mappings") for edit in edits]
    return variants + [("all of these at once", together)]


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
    for path, old, new, *every in edits:
        text = ""
        if old is not None:  # None: a file of its own (or, with new None, none at all)
            with open(os.path.join(copy, path), encoding="utf-8") as f:
                text = f.read()
            if old not in text:
                return None, f"{path} no longer has {old!r}"
        if new is None:
            os.remove(os.path.join(copy, path))
            continue
        with open(os.path.join(copy, path), "w", encoding="utf-8") as f:
            f.write(text.replace(old, new, -1 if every else 1) if old is not None else new)
    return copy, None


def accept_carelessly(copy):
    """The reviewed copy rewritten from the workflow as it now is, whatever
    the invariants say."""
    normal = check_workflow.check_repository(copy, accepting=True)[2]
    with open(os.path.join(copy, check_workflow.REVIEWED), "w", encoding="utf-8") as f:
        f.write(check_workflow.REVIEWED_HEADER + check_workflow.dump(normal))


def command_line(pristine, work):
    """--accept and the messages a maintainer reads: the failures, as texts."""
    failed = []

    def run(*arguments):
        done = subprocess.run([sys.executable, os.path.join(TOOLS, "check_workflow.py"), *arguments],
                              capture_output=True, text=True)
        return done.returncode, done.stdout + done.stderr

    def reviewed(copy):
        with open(os.path.join(copy, check_workflow.REVIEWED), encoding="utf-8") as f:
            return f.read()

    copy, _ = edited_copy(pristine, work, [(WORKFLOW, "    runs-on: windows-2022\n",
                                            "    runs-on: windows-2022\n    timeout-minutes: 20\n")])
    before = reviewed(copy)
    code, output = run(copy)
    if code != 1 or "+timeout-minutes: 20" not in output or "accept it with tools/check_workflow.py --accept" \
            not in output:
        failed.append(f"a change to review: exit {code}, expected 1 with the diff and the accept command:\n{output}")
    code, output = run("--accept", copy)
    if code != 0 or "accepted" not in output or reviewed(copy) == before \
            or not reviewed(copy).startswith(check_workflow.REVIEWED_HEADER):
        failed.append(f"--accept of a sound change: exit {code}, expected 0 and the copy rewritten:\n{output}")
    code, output = run(copy)
    if code != 0:
        failed.append(f"the check after --accept: exit {code}, expected 0:\n{output}")

    copy, _ = edited_copy(pristine, work, [(WORKFLOW, RELEASE_IF, "    needs:")])
    before = reviewed(copy)
    code, output = run("--accept", copy)
    if code != 1 or "Nothing accepted" not in output or reviewed(copy) != before:
        failed.append(f"--accept of a broken invariant: exit {code}, expected 1 and the copy kept:\n{output}")

    copy, _ = edited_copy(pristine, work, [(WORKFLOW, "name: Windows DLL\n", "name: Windows DLL\n\t- x\n")])
    code, output = run(copy)
    if code != 1 or "cannot be read" not in output or "Traceback" in output:
        failed.append(f"a workflow that is not YAML: exit {code}, expected 1 and a message:\n{output}")
    code, output = run("--acept", copy)
    if code != 2 or "tools/check_workflow.py [--accept] [REPOSITORY_ROOT]" not in output:
        failed.append(f"an unknown option: exit {code}, expected 2 and the usage:\n{output}")
    return failed


def main():
    root = os.path.abspath(sys.argv[1])
    with open(os.path.join(root, WORKFLOW), encoding="utf-8") as f:
        text = f.read()
    workflow = check_workflow.Loader(text).get_single_data()
    table = cases(version(root)) + unknown_keys(text, workflow) + duplicated_keys(text)
    failed, accepted = [], 0
    with tempfile.TemporaryDirectory(prefix="tallyloom-release-") as work:
        pristine = os.path.join(work, "pristine")
        copy_inputs(root, pristine)
        for what, edits in [("the untouched inputs", [])] + harmless(text):
            copy, stale = edited_copy(pristine, work, edits)
            found = check_workflow.check_repository(copy)[0] if copy else [stale]
            if found:
                failed.append(f"{what} fail:\n  " + "\n  ".join(found))
        for kind, what, edits, expected in table:
            copy, stale = edited_copy(pristine, work, edits)
            if stale:
                failed.append(f"{what}: {stale}; update this case")
                continue
            found = check_workflow.check_repository(copy)[0]
            holding = [f for f in found if expected in f]
            if not holding or kind == REVIEW and not holding[0].startswith("reviewed: "):
                failed.append(f"{what}: expected a failure naming {expected!r}, got:\n  "
                              + "\n  ".join(found or ["(none)"]))
            if kind == INVARIANT:
                accept_carelessly(copy)
                found = check_workflow.check_repository(copy)[0]
                accepted += 1
                if not any(expected in f for f in found) or any(f.startswith("reviewed: ") for f in found):
                    failed.append(f"{what}, accepted: expected a failure naming {expected!r} and no diff, got:"
                                  "\n  " + "\n  ".join(found or ["(none)"]))
        failed += command_line(pristine, work)
    if failed:
        print("FAIL:\n" + "\n".join(failed), file=sys.stderr)
        sys.exit(1)
    print(f"ok the checker catches {len(table)} broken release inputs ({accepted} of them again after a "
          f"careless accept) and passes {len(harmless(text)) + 1} sound ones")


if __name__ == "__main__":
    main()
