#!/usr/bin/env python3
"""Checks the release path of the real DLL as far as this project's Linux
machines can. It never runs .github/workflows/windows-dll.yml (they reach no
forge): it reads the workflow as data, with CMakePresets.json, CMakeLists.txt,
cmake/, plugin/PluginVersion.h and tools/check-windows-dll.ps1, and fails,
naming the break, when:

  triggers    a pushed tag v<version> would not run the workflow;
  runner      the job that builds the DLL is not on a Windows runner with
              Visual Studio 2022, or one of its run steps would run under
              another shell than pwsh (the runner's default is not assumed);
  version     the workflow's own pattern, run on plugin/PluginVersion.h as
              Select-String runs it, does not find the header's version; that
              step does not write DLL_VERSION to GITHUB_ENV, a step uses it
              before, or the release job does not get it from that step's
              output; or another build input writes the version again;
  sdk         the SDK is not bakkesmodorg/BakkesModSDK at the pinned commit;
              BAKKESMOD_SDK_DIR at configure time is not the folder it is
              checked out into; the host's Dear ImGui (imgui_bm.zip) is not
              unpacked, before configuring, below where cmake/BakkesModSdk.cmake
              looks for imgui.cpp; BUILT-AGAINST.txt is not written from the
              commit and subject git reads in that checkout;
  presets     a preset the workflow names is missing; bakkesmod builds more
              than Release; the schema version is above 5 or above what the
              contents need; CMake, evaluating the file on Linux and with the
              host names swapped (as Visual Studio on Windows would), does not
              offer every Linux preset here and only bakkesmod there;
  dll         a path to the DLL or its PDB is not the bakkesmod preset's
              binaryDir, the bin/ of CMakeLists.txt and the build preset's
              configuration; the artefact lacks the DLL, the PDB or the SDK note;
  runtime     the static runtime is not chosen before {fmt} is brought in, or
              a packaged {fmt} could be taken; the Release build writes no PDB
              (/Zi, /DEBUG, /OPT:REF, /OPT:ICF); check-windows-dll.ps1 lets a
              Visual C++ runtime or redistributable family through, or lacks a
              parameter the workflow passes; the resource's texts differ;
  actions     an action other than actions/checkout, upload-artifact and
              download-artifact is used, or one at a retired major version;
  publishing  a step that runs `gh release` could run on anything but a v*
              tag, or before linux-tests and the Windows job have passed;
              anything but the publishing job may write, or anything but the
              publishing step gets the token; the publishing job keeps
              credentials in its checkout; the zip and notes are not the ones
              tools/pack_release.py packs from the Windows job's artefact;
  linux       linux-tests is not on an Ubuntu runner, sets vm.mmap_rnd_bits=28
              after its tests or not at all, or runs anything but exactly
              `bash .ci/run` in a debian:12 container on the checkout;
  files       a file of tools/, .ci/ or docs/ that a step runs does not exist.

What it cannot tell: whether the commands work on the runner (it never runs
them), and whether Visual Studio builds the preset.

  tools/check_workflow.py [REPOSITORY_ROOT]
"""
import json
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile

import yaml  # Debian's python3-yaml

from version import header_version  # tools/version.py: the header's version

WORKFLOW = os.path.join(".github", "workflows", "windows-dll.yml")
VERSION_HOME = os.path.join("plugin", "PluginVersion.h")
BUILD_INPUTS = ["CMakeLists.txt", "cmake", "plugin", ".github", "tools"]
SDK_REPOSITORY = "bakkesmodorg/BakkesModSDK"
TAG_TEST = "startsWith(github.ref, 'refs/tags/v')"
# The oldest major version of each action that hosted runners still run:
# upload- and download-artifact v3 are retired, and checkout v3 runs on Node 16.
ACTIONS = {"actions/checkout": 4, "actions/upload-artifact": 4, "actions/download-artifact": 4}
# Visual C++ runtime and redistributable DLLs: System32 holds several of them,
# so the DLL check must refuse them by name.
RUNTIME_FAMILIES = ["msvcp*", "vcruntime*", "ucrtbase*", "api-ms-win-crt-*", "concrt*", "vcomp*",
                    "msvcr*", "mfc*", "vccorlib*"]
# imgui_bm.zip holds one folder, imgui/, with the sources.
IMGUI_ZIP, IMGUI_FOLDER = "imgui_bm.zip", "imgui"
DLL_NAME = "TallyLoomMMR"
PACKER = "tools/pack_release.py"
failures = []


def fail(message):
    failures.append(message)


def check(condition, message):
    if not condition:
        fail(message)
    return condition


def read(root, *parts):
    with open(os.path.join(root, *parts), encoding="utf-8") as f:
        return f.read()


# --- Reading the workflow ------------------------------------------------------------


class Step:
    def __init__(self, job, index, data):
        self.job, self.index, self.data = job, index, data
        self.name = data.get("name") or data.get("id") or data.get("uses") or f"step {index + 1}"
        self.run = str(data.get("run", ""))
        self.uses = str(data.get("uses", ""))
        self.action = self.uses.partition("@")[0]
        self.with_ = data.get("with") or {}
        self.env = data.get("env") or {}
        self.condition = str(data.get("if", "") or "")

    def text(self):
        """Everything the step says, for finding what it uses."""
        return yaml.safe_dump(self.data)

    def __str__(self):
        return f"{self.job.name}: step '{self.name}'"


class Job:
    def __init__(self, workflow, name, data):
        self.workflow, self.name, self.data = workflow, name, data or {}
        self.steps = [Step(self, i, s or {}) for i, s in enumerate(self.data.get("steps") or [])]
        self.env = self.data.get("env") or {}
        self.condition = str(self.data.get("if", "") or "")
        needs = self.data.get("needs") or []
        self.needs = [needs] if isinstance(needs, str) else list(needs)

    def runs(self):
        return [s for s in self.steps if s.run]

    def expand(self, text):
        """The text with the workflow's and the job's env written in (forms of
        pwsh, bash and expressions) and the workspace as the empty folder."""
        env = {**(self.workflow.get("env") or {}), **self.env}
        text = re.sub(r"\$\{\{\s*github\.workspace\s*\}\}/?|\$env:GITHUB_WORKSPACE/?|\$\{?GITHUB_WORKSPACE\}?/?",
                      "", text)
        for _ in range(3):  # env values may name each other
            text = re.sub(r"\$\{\{\s*env\.(\w+)\s*\}\}|\$env:(\w+)|\$\{(\w+)\}|\$(\w+)",
                          lambda m: str(env.get(next(g for g in m.groups() if g), m.group(0))),
                          text)
        return text


def jobs_of(workflow):
    return {name: Job(workflow, name, data) for name, data in (workflow.get("jobs") or {}).items()}


def needs_closure(jobs, job):
    seen, todo = set(), list(job.needs)
    while todo:
        name = todo.pop()
        if name not in seen:
            seen.add(name)
            todo.extend(jobs[name].needs if name in jobs else [])
    return seen


def normal_path(path):
    path = path.replace("\\", "/").strip().strip("'\"")
    while path.startswith("./"):
        path = path[2:]
    return path.lstrip("/").rstrip("/")


def words(command):
    """A command line split as a shell would; pwsh's backtick continuations and
    YAML's folded lines are plain spaces by then."""
    try:
        return shlex.split(command.replace("`\n", " "), comments=False, posix=True)
    except ValueError:
        return command.split()


def pwsh_parameter(command, *names):
    """The value of a named pwsh parameter, quoted or not."""
    for name in names:
        match = re.search(rf"-{name}\s+('[^']*'|\"[^\"]*\"|\S+)", command, re.IGNORECASE)
        if match:
            return match.group(1).strip("'\"")
    return None


# --- Triggers --------------------------------------------------------------------------


def glob_matches(pattern, text):
    """GitHub's filter patterns: * stops at a slash, ** does not, ? is one character."""
    regex = ""
    i = 0
    while i < len(pattern):
        if pattern.startswith("**", i):
            regex, i = regex + ".*", i + 2
        elif pattern[i] == "*":
            regex, i = regex + "[^/]*", i + 1
        elif pattern[i] == "?":
            regex, i = regex + ".", i + 1
        else:
            regex, i = regex + re.escape(pattern[i]), i + 1
    return re.fullmatch(regex, text) is not None


def filters_let_through(patterns, text):
    verdict = False
    for pattern in patterns or []:
        pattern = str(pattern)
        if pattern.startswith("!"):
            verdict = verdict and not glob_matches(pattern[1:], text)
        elif glob_matches(pattern, text):
            verdict = True
    return verdict


def check_triggers(workflow, version):
    on = workflow.get("on", workflow.get(True))  # YAML 1.1 reads the key "on" as true
    if isinstance(on, str):
        on = {on: None}
    elif isinstance(on, list):
        on = {str(event): None for event in on}
    elif not isinstance(on, dict):
        on = {}
    tag = f"v{version}"
    if "push" not in on:
        return fail(f"triggers: no push trigger, so a pushed tag {tag} never runs the workflow")
    push = on.get("push") or {}
    if "tags" in push:
        check(filters_let_through(push["tags"], tag), f"triggers: push.tags does not match {tag}")
    elif "tags-ignore" in push:
        check(not filters_let_through(push["tags-ignore"], tag),
              f"triggers: push.tags-ignore drops {tag}")
    else:
        # With only branch filters, GitHub runs the push trigger for no tag.
        check("branches" not in push and "branches-ignore" not in push,
              f"triggers: push filters branches only, so a pushed tag {tag} never runs it")


# --- The job that builds the DLL ----------------------------------------------------------


def check_runner(workflow, job):
    labels = job.data.get("runs-on")
    labels = [labels] if isinstance(labels, str) else list(labels or [])
    windows = [str(label) for label in labels if str(label).lower().startswith("windows")]
    if check(bool(windows), f"runner: {job.name} runs on {labels}, not a Windows runner"):
        check(all(label != "windows-2019" for label in windows),
              f"runner: {job.name} runs on windows-2019, which has no Visual Studio 2022")
    defaults = ((job.data.get("defaults") or {}).get("run") or {}).get("shell") \
        or ((workflow.get("defaults") or {}).get("run") or {}).get("shell")
    for step in job.runs():
        shell = step.data.get("shell") or defaults
        check(shell == "pwsh", f"runner: {step} runs under "
              f"{shell or 'the runner default shell'}, not pwsh")


def check_version(root, job, version):
    """The step that reads the version, found by what it writes; returns it."""
    reads = [s for s in job.runs() if "Select-String" in s.run and "GITHUB_ENV" in s.run
             and "DLL_VERSION=" in s.run]
    if not check(len(reads) == 1, f"version: {job.name} has no one step that reads the version "
                 f"with Select-String and writes DLL_VERSION to GITHUB_ENV"):
        return None
    step = reads[0]
    run = step.run
    path = pwsh_parameter(run, "Path", "LiteralPath")
    pattern = pwsh_parameter(run, "Pattern")
    group = re.search(r"\.Matches\[0\]\.Groups\[(\d+)\]\.Value", run)
    check(normal_path(path or "") == VERSION_HOME.replace(os.sep, "/"),
          f"version: {step} reads {path}, not {VERSION_HOME}")
    if pattern is None or group is None:
        fail(f"version: {step} has no -Pattern '...' and .Matches[0].Groups[N].Value")
    else:
        # Select-String: .NET regular expressions, line by line, case-insensitive
        # unless -CaseSensitive; these patterns read the same in Python.
        flags = 0 if re.search(r"-CaseSensitive\b", run) else re.IGNORECASE
        found = None
        try:
            for line in read(root, VERSION_HOME).splitlines():
                match = re.search(pattern.replace("''", "'"), line, flags)
                if match:
                    found = match.group(int(group.group(1)))
                    break
        except (re.error, IndexError) as error:
            fail(f"version: the workflow's pattern {pattern!r} does not work: {error}")
        else:
            check(found == version, f"version: the workflow's pattern finds {found!r} in "
                  f"{VERSION_HOME}, which says {version}")
    variable = re.search(r"\$(\w+)\s*=\s*\$\w+\.Matches\[0\]", run)
    written = re.search(r'"DLL_VERSION=\$(\w+)"\s*\|\s*Out-File\s+-FilePath\s+\$env:GITHUB_ENV\s+-Append',
                        run)
    check(bool(variable and written and variable.group(1) == written.group(1)),
          f"version: {step} does not append DLL_VERSION=<what it read> to $env:GITHUB_ENV")
    for other in job.steps:
        if "DLL_VERSION" in other.text() and other.index < step.index:
            fail(f"version: {other} uses DLL_VERSION before {step.name!r} reads it")
    return step


def check_version_handover(job, version_step, publisher):
    """The release job takes the version as the Windows job's output, which is
    that step's output."""
    step_id = version_step.data.get("id")
    written = re.search(r'"(\w+)=\$\w+"\s*\|\s*Out-File\s+-FilePath\s+\$env:GITHUB_OUTPUT', version_step.run)
    outputs = job.data.get("outputs") or {}
    names = [name for name, value in outputs.items() if step_id and written and re.fullmatch(
        rf"\$\{{\{{\s*steps\.{re.escape(step_id)}\.outputs\.{written.group(1)}\s*\}}\}}", str(value))]
    wanted = {f"${{{{ needs.{job.name}.outputs.{name} }}}}" for name in names}
    check(str(publisher.env.get("DLL_VERSION")) in wanted,
          f"version: {publisher.name} does not take DLL_VERSION from {job.name}'s output of "
          f"the step that reads it")


def check_version_has_one_home(root, version):
    """No build input but the header writes the version, in either of the
    forms a build input would (A.B.C.D, or A,B,C,D as a resource has it)."""
    forms = [version, version.replace(".", ","), version.replace(".", ", ")]
    for entry in BUILD_INPUTS:
        top = os.path.join(root, entry)
        paths = [top] if os.path.isfile(top) else [
            os.path.join(folder, name) for folder, _, files in os.walk(top) for name in files]
        for path in sorted(paths):
            relative = os.path.relpath(path, root)
            if relative == VERSION_HOME or "__pycache__" in relative:
                continue
            with open(path, "rb") as f:
                text = f.read().decode("utf-8", errors="replace")
            for form in forms:
                if re.search(rf"(?<![\d.]){re.escape(form)}(?![\d]|\.\d)", text):
                    fail(f"version: {relative} repeats the version {form} "
                         f"(its one home is {VERSION_HOME})")


def check_sdk(root, workflow, job, configure):
    commit = str((workflow.get("env") or {}).get("BAKKESMOD_SDK_COMMIT", ""))
    check(re.fullmatch(r"[0-9a-f]{40}", commit) is not None, f"sdk: commit {commit!r} is not pinned")
    checkouts = [s for s in job.steps if s.action == "actions/checkout" and s.with_.get("repository")]
    if not check(len(checkouts) == 1, f"sdk: {job.name} does not check out the SDK exactly once"):
        return None
    sdk = checkouts[0]
    check(sdk.with_["repository"] == SDK_REPOSITORY, f"sdk: the SDK comes from {sdk.with_['repository']}")
    check(sdk.with_.get("ref") == "${{ env.BAKKESMOD_SDK_COMMIT }}",
          "sdk: the SDK is not checked out at BAKKESMOD_SDK_COMMIT")
    folder = normal_path(job.expand(str(sdk.with_.get("path", ""))))
    if not check(folder != "", "sdk: the SDK is checked out over the project itself (no path)"):
        return None

    # BAKKESMOD_SDK_DIR at configure time: the command line's, else the preset's.
    configure_step = next(s for s in job.runs() if s.index == configure)
    given = None
    tokens = words(job.expand(configure_step.run))
    for i, token in enumerate(tokens):
        match = re.fullmatch(r"-DBAKKESMOD_SDK_DIR(?::\w+)?=(.*)", token)
        if token == "-D" and i + 1 < len(tokens):
            match = re.fullmatch(r"BAKKESMOD_SDK_DIR(?::\w+)?=(.*)", tokens[i + 1])
        if match:
            given = match.group(1)
    if given is None:
        presets = json.loads(read(root, "CMakePresets.json"))
        preset = next((p for p in presets["configurePresets"] if p["name"] == "bakkesmod"), {})
        given = (preset.get("cacheVariables") or {}).get("BAKKESMOD_SDK_DIR", "(unset)")
    check(normal_path(given) == folder,
          f"sdk: BAKKESMOD_SDK_DIR is {given}, but the SDK is checked out into {folder}")

    # Dear ImGui: unpacked from the SDK's zip below where CMake looks, before configuring.
    cmake = read(root, "cmake", "BakkesModSdk.cmake")
    glob = re.search(r'file\((GLOB(?:_RECURSE)?)\s+\w+(?:\s+FOLLOW_SYMLINKS)?\s+"\$\{sdk\}/?([^"]*)imgui\.cpp"\)',
                     cmake)
    unpacks = [s for s in job.runs() if IMGUI_ZIP in s.run]
    if not check(bool(glob), "sdk: cmake/BakkesModSdk.cmake no longer looks for imgui.cpp in the SDK"):
        return folder
    if not check(len(unpacks) == 1, f"sdk: {job.name} does not unpack the host's Dear ImGui "
                 f"({IMGUI_ZIP}) exactly once"):
        return folder
    unpack = unpacks[0]
    run = job.expand(unpack.run)
    archive = pwsh_parameter(run, "Path", "LiteralPath")
    target = pwsh_parameter(run, "DestinationPath")
    check("Expand-Archive" in run and archive is not None and target is not None,
          f"sdk: {unpack} is not Expand-Archive -Path ... -DestinationPath ...")
    check(normal_path(archive or "") == f"{folder}/{IMGUI_ZIP}",
          f"sdk: {unpack} unpacks {archive}, not the SDK's {folder}/{IMGUI_ZIP}")
    sources = normal_path(f"{target}/{IMGUI_FOLDER}")
    looked = normal_path(f"{folder}/{glob.group(2)}")
    found = (sources == looked or sources.startswith(looked + "/")) if glob.group(1) == "GLOB_RECURSE" \
        else sources == looked
    check(found, f"sdk: Dear ImGui lands in {sources}, where cmake/BakkesModSdk.cmake does not "
          f"look ({glob.group(1)} in {looked})")
    check(unpack.index < configure,
          f"sdk: {unpack} runs after the preset is configured, which needs it")
    return folder


# --- Presets, the DLL's place, the runtime ------------------------------------------------------


def cmake_presets(folder):
    """The presets CMake offers from folder, by kind, or the error it prints."""
    run = subprocess.run(["cmake", "--list-presets=all"], cwd=folder, capture_output=True, text=True)
    if run.returncode != 0:
        return None, (run.stderr or run.stdout).strip()
    offered, kind = {}, None
    for line in run.stdout.splitlines():
        heading = re.match(r"Available (\w+) presets:", line)
        if heading:
            kind = heading.group(1)
        name = re.match(r'\s+"([^"]+)"', line)
        if name and kind:
            offered.setdefault(kind, set()).add(name.group(1))
    return offered, None


def check_presets(root, presets, runs):
    configure = {p["name"]: p for p in presets["configurePresets"]}
    build = {p["name"]: p for p in presets.get("buildPresets", [])}
    for step in runs:
        for kind, name in re.findall(r"cmake (--build )?--preset[ =](\S+)", step.run):
            table = build if kind else configure
            check(name.strip("'\"") in table, f"presets: {step} names {name}, which is not a "
                  f"{'build' if kind else 'configure'} preset")
    if not check("bakkesmod" in configure and "bakkesmod" in build, "presets: no bakkesmod preset"):
        return
    check(build["bakkesmod"].get("configuration") == "Release",
          "presets: the bakkesmod build preset does not build Release")
    types = (configure["bakkesmod"].get("cacheVariables") or {}).get("CMAKE_CONFIGURATION_TYPES")
    check(types == "Release", f"presets: bakkesmod offers {types!r}, not Release only")

    schema = presets.get("version")
    check(isinstance(schema, int) and schema <= 5,
          f"presets: schema version {schema}; Visual Studio 2022 reads 5 at most")
    if shutil.which("cmake") is None:
        return fail("presets: no cmake here to read CMakePresets.json with")
    hidden = {kind: {p["name"] for p in presets.get(f"{kind}Presets", []) if p.get("hidden")}
              for kind in ("configure", "build", "test")}
    every = {kind: {p["name"] for p in presets.get(f"{kind}Presets", [])} - hidden[kind]
             for kind in ("configure", "build", "test")}
    text = read(root, "CMakePresets.json")
    with tempfile.TemporaryDirectory(prefix="tallyloom-presets-") as folder:
        def offered(contents):
            with open(os.path.join(folder, "CMakePresets.json"), "w", encoding="utf-8") as f:
                f.write(contents)
            return cmake_presets(folder)

        here, error = offered(text)
        if not check(here is not None, f"presets: CMake cannot read CMakePresets.json: {error}"):
            return
        for kind in every:
            linux = every[kind] - {"bakkesmod"}
            check(here.get(kind, set()) == linux, f"presets: on Linux CMake offers {kind} presets "
                  f"{sorted(here.get(kind, set()))}, not {sorted(linux)}")
        # As on Windows: the host names in the conditions swapped.
        swapped = re.sub(r'"(Linux|Windows)"', lambda m: '"Windows"' if m.group(1) == "Linux"
                         else '"Linux"', text)
        there, error = offered(swapped)
        if check(there is not None, f"presets: CMake cannot read the swapped file: {error}"):
            for kind in ("configure", "build"):
                check(there.get(kind, set()) == {"bakkesmod"} & every[kind],
                      f"presets: on Windows CMake would offer {kind} presets "
                      f"{sorted(there.get(kind, set()))}, not bakkesmod alone")
        if isinstance(schema, int) and schema > 1:
            lower, _ = offered(re.sub(r'"version":\s*\d+', f'"version": {schema - 1}', text, count=1))
            check(lower is None, f"presets: schema version {schema}, but the contents need only "
                  f"{schema - 1}")


def output_folder(root, presets, variable):
    """Where the bakkesmod build puts what CMakeLists.txt sends to variable."""
    lists = read(root, "CMakeLists.txt")
    match = re.search(rf"set\({variable}\s+\$\{{CMAKE_BINARY_DIR\}}/?([^)\s]*)\)", lists)
    if not match:
        return None
    configure = next(p for p in presets["configurePresets"] if p["name"] == "bakkesmod")
    build = next(p for p in presets["buildPresets"] if p["name"] == "bakkesmod")
    binary = normal_path(configure["binaryDir"].replace("${sourceDir}", ""))
    # Visual Studio's generator builds several configurations: each has a folder.
    config = build.get("configuration", "") if "Visual Studio" in configure.get("generator", "") else ""
    return "/".join(part for part in (binary, match.group(1), config) if part)


def check_dll_paths(root, presets, job, sdk):
    dll_folder = output_folder(root, presets, "CMAKE_RUNTIME_OUTPUT_DIRECTORY")
    pdb_folder = output_folder(root, presets, "CMAKE_PDB_OUTPUT_DIRECTORY")
    check(dll_folder is not None, "dll: CMakeLists.txt sets no CMAKE_RUNTIME_OUTPUT_DIRECTORY")
    check(pdb_folder is not None, "dll: CMakeLists.txt sets no CMAKE_PDB_OUTPUT_DIRECTORY")
    expected = {"dll": dll_folder, "pdb": pdb_folder}
    named = []
    for step in job.steps:
        texts = [step.run] + [str(step.with_.get("path", ""))]
        for text in texts:
            for path in re.findall(rf"[^\s'\"`,;()]*{DLL_NAME}\.(?:dll|pdb)\b", job.expand(text)):
                named.append((step, normal_path(path)))
    for step, path in named:
        folder, _, name = path.rpartition("/")
        wanted = expected[name.rpartition(".")[2]]
        if folder and wanted:  # a bare name is no path
            check(folder == wanted, f"dll: {step} names {path}, but the bakkesmod preset puts "
                  f"it in {wanted}")

    checks = [s for s in job.runs() if "check-windows-dll.ps1" in s.run]
    if check(len(checks) == 1, f"dll: {job.name} does not run tools/check-windows-dll.ps1 once"):
        dll = pwsh_parameter(job.expand(checks[0].run), "Dll")
        check(normal_path(dll or "") == f"{dll_folder}/{DLL_NAME}.dll",
              f"dll: check-windows-dll.ps1 checks {dll}, not the built DLL")
    notes = [s for s in job.runs() if "BUILT-AGAINST.txt" in s.run]
    if check(len(notes) == 1, f"sdk: {job.name} does not write BUILT-AGAINST.txt once"):
        run = notes[0].run
        git = re.findall(rf"git -C {re.escape(sdk or '?')} log -1 --format=(%[Hs])", run)
        check(sorted(git) == ["%H", "%s"], f"sdk: {notes[0]} does not read the commit (%H) "
              f"and its subject (%s) with git -C {sdk} log -1")
        written = pwsh_parameter(job.expand(run), "Path")
        check(normal_path(written or "") == f"{dll_folder}/BUILT-AGAINST.txt",
              f"dll: BUILT-AGAINST.txt is written to {written}, not beside the DLL")
    uploads = [s for s in job.steps if s.action == "actions/upload-artifact"]
    if check(len(uploads) == 1, f"dll: {job.name} does not keep one artefact"):
        kept = {normal_path(p) for p in job.expand(str(uploads[0].with_.get("path", ""))).split("\n")
                if p.strip()}
        for folder, name in ((dll_folder, f"{DLL_NAME}.dll"), (pdb_folder, f"{DLL_NAME}.pdb"),
                             (dll_folder, "BUILT-AGAINST.txt")):
            if folder:
                check(f"{folder}/{name}" in kept, f"dll: the artefact does not keep {folder}/{name}")
    return uploads[0] if len(uploads) == 1 else None


def check_runtime(root, workflow):
    flags = read(root, "cmake", "CompilerFlags.cmake")
    msvc = flags.split("if(MSVC)", 1)[-1].split("endif()\n\n", 1)[0]
    check(re.search(r"set\(CMAKE_MSVC_RUNTIME_LIBRARY MultiThreaded\)", msvc) is not None,
          "runtime: cmake/CompilerFlags.cmake does not choose the static runtime (MultiThreaded)")
    check(re.search(r"set\(CMAKE_MSVC_DEBUG_INFORMATION_FORMAT ProgramDatabase\)", msvc) is not None,
          "runtime: the Visual C++ build writes no program database (/Zi)")
    link = re.search(r"set\(TALLYLOOM_PRIVATE_LINK_OPTIONS ([^)]*)\)", msvc)
    check(link is not None and set(link.group(1).split()) >= {"/DEBUG", "/OPT:REF", "/OPT:ICF"},
          "runtime: the DLL is not linked with /DEBUG /OPT:REF /OPT:ICF (a PDB, still optimised)")
    lists = read(root, "CMakeLists.txt")
    check(re.search(r"target_link_options\(TallyLoomMMR PRIVATE \$\{TALLYLOOM_PRIVATE_LINK_OPTIONS\}\)",
                    lists) is not None, "runtime: the DLL does not take TALLYLOOM_PRIVATE_LINK_OPTIONS")
    flags_at = lists.find("include(cmake/CompilerFlags.cmake)")
    dependencies_at = lists.find("include(cmake/Dependencies.cmake)")
    check(0 <= flags_at < dependencies_at,
          "runtime: the runtime is not chosen before the dependencies are brought in")
    dependencies = read(root, "cmake", "Dependencies.cmake")
    msvc_deps = dependencies.split("if(MSVC)", 1)[-1].split("elseif", 1)[0]
    check("find_package(fmt" not in msvc_deps and "FetchContent_MakeAvailable(fmt)" in msvc_deps,
          "runtime: the Visual C++ build may take a packaged {fmt}, which has the DLL runtime")

    script = read(root, "tools", "check-windows-dll.ps1")
    listed = re.search(r"\$runtimes\s*=\s*((?:'[^']*'\s*,\s*)*'[^']*')", script)
    refused = set(re.findall(r"'([^']*)'", listed.group(1))) if listed else set()
    for family in RUNTIME_FAMILIES:
        check(family in refused, f"runtime: check-windows-dll.ps1 lets {family} imports through")
    for parameter in ("Dll", "Version", "Description", "Product"):
        check(re.search(rf"\]\${parameter}\b", script) is not None,
              f"runtime: check-windows-dll.ps1 takes no -{parameter}")
    rc = read(root, "plugin", "TallyLoomMMR.rc.in")

    def rc_value(key):
        match = re.search(rf'VALUE "{key}", "([^"]*)"', rc)
        return match.group(1) if match else None
    env = workflow.get("env") or {}
    check(rc_value("FileVersion") == rc_value("ProductVersion") == "@PROJECT_VERSION@",
          "runtime: the version resource does not take its version texts from CMake")
    check(env.get("DLL_DESCRIPTION") == rc_value("FileDescription"),
          f"runtime: DLL_DESCRIPTION {env.get('DLL_DESCRIPTION')!r} is not the resource's")
    check(env.get("DLL_PRODUCT") == rc_value("ProductName"),
          f"runtime: DLL_PRODUCT {env.get('DLL_PRODUCT')!r} is not the resource's")
    check("DLL_VERSION" not in env, "version: the workflow writes DLL_VERSION instead of reading it")


def check_actions(jobs):
    for job in jobs.values():
        for step in job.steps:
            if not step.uses:
                continue
            action, _, ref = step.uses.partition("@")
            if not check(action in ACTIONS, f"actions: {step} uses {step.uses}"):
                continue
            major = re.fullmatch(r"v(\d+)(?:\.\d+)*", ref)
            if check(major is not None, f"actions: {step} uses {step.uses}, not a major version"):
                check(int(major.group(1)) >= ACTIONS[action], f"actions: {step} uses {step.uses}, "
                      f"a retired version (v{ACTIONS[action]} or later)")


def check_files_named(root, runs):
    for step in runs:
        for path in re.findall(r"(?<![\w./-])(?:\./)?((?:tools|\.ci|docs)/[\w./-]*\w)", step.run):
            check(os.path.isfile(os.path.join(root, path)), f"files: {step} names {path}, "
                  "which does not exist")


# --- Publishing ------------------------------------------------------------------------------


def bare(condition):
    """An if: condition without its optional ${{ }}."""
    return re.sub(r"^\$\{\{\s*|\s*\}\}$", "", condition.strip())


def strict_condition(condition):
    """A condition that is only a conjunction, with no status function that
    would run it after a failure."""
    condition = bare(condition)
    return "||" not in condition and not re.search(r"\b(always|failure|cancelled)\(", condition)


def tag_gated(condition):
    return TAG_TEST in [term.strip() for term in bare(condition).split("&&")]


def check_publishing(workflow, jobs, dll_job, upload):
    publishing = [s for job in jobs.values() for s in job.runs() if re.search(r"\bgh release\b", s.run)]
    if not check(len(publishing) == 1, "publishing: not exactly one step runs gh release"):
        return None
    step = publishing[0]
    job = step.job
    conditions = [c for c in (job.condition, step.condition) if c]
    check(all(strict_condition(c) for c in conditions) and any(tag_gated(c) for c in conditions),
          f"publishing: {step} can run on other refs than a v* tag, or after a failure "
          f"(its job and it must be gated by {TAG_TEST}, with && only)")
    needed = needs_closure(jobs, job)
    for wanted in ("linux-tests", dll_job.name):
        check(wanted in needed, f"publishing: {job.name} does not wait for {wanted} (needs:)")
    check(job is not dll_job, f"publishing: {job.name} publishes in the job that builds the DLL")

    command = words(job.expand(step.run))
    check("--verify-tag" in command, f"publishing: {step} may create the tag (no --verify-tag)")
    packs = [s for s in job.runs() if PACKER in s.run]
    if check(len(packs) == 1 and packs[0].index < step.index,
             f"publishing: {job.name} does not pack with {PACKER} before it publishes"):
        pack = words(job.expand(packs[0].run))

        def option(name):
            return pack[pack.index(name) + 1] if name in pack[:-1] else None
        version, target, source = option("--version"), option("--to"), option("--from")
        check(version == str(job.env.get("DLL_VERSION")) and version,
              f"publishing: {packs[0]} packs version {version}, not DLL_VERSION")
        zip_name = normal_path(f"{target}/TallyLoomMMR-{version}.zip")
        check(zip_name in [normal_path(w) for w in command],
              f"publishing: {step} does not publish {zip_name}")
        notes = command[command.index("--notes-file") + 1] if "--notes-file" in command[:-1] else None
        check(normal_path(notes or "") == normal_path(f"{target}/notes.md"),
              f"publishing: {step} does not give {target}/notes.md as its notes")
        downloads = [s for s in job.steps if s.action == "actions/download-artifact"]
        check(len(downloads) == 1 and upload is not None
              and downloads[0].with_.get("name") == upload.with_.get("name")
              and normal_path(str(downloads[0].with_.get("path", ""))) == normal_path(source or "?"),
              f"publishing: {PACKER} does not pack the artefact of {dll_job.name}")
    for checkout in (s for s in job.steps if s.action == "actions/checkout"):
        check(checkout.with_.get("persist-credentials") is False,
              f"publishing: {checkout} keeps the writing token in .git/config "
              "(persist-credentials: false)")

    # Write access: only the publishing job; the token: only the publishing step.
    default = workflow.get("permissions")
    check(default is not None and "write" not in json.dumps(default),
          "permissions: the workflow's default token may write (set permissions: contents: read)")
    for other in jobs.values():
        permissions = other.data.get("permissions", default)
        if other is job:
            check(isinstance(permissions, dict) and permissions.get("contents") == "write",
                  f"permissions: {job.name} cannot write the release (contents: write)")
            check(isinstance(permissions, dict) and
                  all(v != "write" for k, v in permissions.items() if k != "contents"),
                  f"permissions: {job.name} may write more than contents")
        else:
            check("write" not in json.dumps(permissions),
                  f"permissions: {other.name} may write, but does not publish")
    places = [("the workflow", workflow.get("env") or {}, None)]
    for other in jobs.values():
        places.append((other.name, other.env, None))
        for s in other.steps:
            places.append((str(s), {**s.env, **s.with_}, s))
            if re.search(r"github\.token|secrets\.", s.run):
                fail(f"token: {s} writes the token into its command")
    for where, values, owner in places:
        for key, value in values.items():
            if re.search(r"github\.token|secrets\.", str(value)):
                check(owner is step and key == "GH_TOKEN", f"token: {where} gets {key}, "
                      "but only the publishing step may")
    check(re.search(r"github\.token", str(step.env.get("GH_TOKEN", ""))) is not None,
          f"token: {step} has no GH_TOKEN")
    return job


# --- The Linux job ---------------------------------------------------------------------------------

DOCKER_VALUE_OPTIONS = {"-v", "--volume", "-w", "--workdir", "-e", "--env", "--name", "-u", "--user",
                        "--network", "--platform", "--mount", "--env-file", "-l", "--label", "-h",
                        "--hostname", "--entrypoint"}


def check_linux_job(jobs):
    job = jobs.get("linux-tests")
    if not check(job is not None, "linux: no job linux-tests"):
        return
    check(str(job.data.get("runs-on", "")).startswith("ubuntu"), "linux: linux-tests is not on ubuntu")
    check("container" not in job.data,
          "linux: linux-tests runs in a container, where vm.mmap_rnd_bits cannot be set")
    sysctl, tests = None, None
    for step in job.runs():
        tokens = words(step.run)
        if tokens == ["sudo", "sysctl", "-w", "vm.mmap_rnd_bits=28"]:
            sysctl = step.index if sysctl is None else sysctl
            continue
        if tokens[:2] != ["docker", "run"]:
            fail(f"linux: {step} runs {step.run.strip()!r}, not exactly .ci/run")
            continue
        options, i = {}, 2
        while i < len(tokens) and tokens[i].startswith("-"):
            name, _, value = tokens[i].partition("=")
            if name in DOCKER_VALUE_OPTIONS and not value:
                i += 1
                value = tokens[i] if i < len(tokens) else ""
            options.setdefault(name, []).append(value)
            i += 1
        image, command = (tokens[i], tokens[i + 1:]) if i < len(tokens) else (None, [])
        mounts = options.get("-v", []) + options.get("--volume", [])
        workdir = (options.get("-w") or options.get("--workdir") or [""])[-1]
        check(image == "debian:12", f"linux: {step} runs in {image}, not debian:12")
        check(command == ["bash", ".ci/run"] and "--entrypoint" not in options,
              f"linux: {step} runs {' '.join(command)!r} in the container, not exactly bash .ci/run")
        check(f"$PWD:{workdir}" in mounts and workdir != "",
              f"linux: {step} does not run in the checkout (-v \"$PWD:DIR\" -w DIR)")
        tests = step.index if tests is None else tests
    check(sysctl is not None, "linux: linux-tests does not set vm.mmap_rnd_bits=28 on the runner")
    check(tests is not None, "linux: linux-tests does not run .ci/run")
    if sysctl is not None and tests is not None:
        check(sysctl < tests, "linux: linux-tests sets vm.mmap_rnd_bits after the tests ran")


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                           os.path.join(os.path.dirname(__file__), ".."))
    workflow = yaml.safe_load(read(root, WORKFLOW)) or {}
    presets = json.loads(read(root, "CMakePresets.json"))
    version = header_version(root)
    jobs = jobs_of(workflow)

    check_triggers(workflow, version)
    runs = [s for job in jobs.values() for s in job.runs()]
    builders = [s for s in runs if re.search(r"cmake --build --preset[ =]bakkesmod\b", s.run)]
    if check(len(builders) == 1, "runner: no one step builds the bakkesmod preset"):
        dll_job = builders[0].job
        check_runner(workflow, dll_job)
        version_step = check_version(root, dll_job, version)
        configures = [s for s in dll_job.runs() if re.search(r"cmake --preset[ =]bakkesmod\b", s.run)]
        sdk = None
        if check(len(configures) == 1 and configures[0].index < builders[0].index,
                 f"presets: {dll_job.name} does not configure the bakkesmod preset before building"):
            sdk = check_sdk(root, workflow, dll_job, configures[0].index)
        upload = check_dll_paths(root, presets, dll_job, sdk)
        publisher = check_publishing(workflow, jobs, dll_job, upload)
        if version_step and publisher:
            check_version_handover(dll_job, version_step, publisher)
    check_version_has_one_home(root, version)
    check_presets(root, presets, runs)
    check_runtime(root, workflow)
    check_actions(jobs)
    check_files_named(root, runs)
    check_linux_job(jobs)

    if failures:
        print("FAIL: the release path of the DLL:\n  " + "\n  ".join(failures), file=sys.stderr)
        sys.exit(1)
    print(f"ok windows-dll workflow and release inputs, version {version} "
          "(read as data here; the workflow has not been run from here)")


if __name__ == "__main__":
    main()
