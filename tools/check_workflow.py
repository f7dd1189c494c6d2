#!/usr/bin/env python3
"""Checks the release path of the real DLL as far as this project's Linux
machines can. It never runs .github/workflows/windows-dll.yml (they reach no
forge): it reads it as data, with the files the build reads
(tools/release_inputs.py: CMakePresets.json, CMakeLists.txt, cmake/, the
version header, tools/check-windows-dll.ps1), and fails, naming the break.

It refuses what it does not model. The tables under "The model" below are
all it understands of the workflow: its top-level keys and triggers, each
job's keys, each step's keys, each action's inputs with the values it accepts
(and the defaults of those it is not given), the commands a run step may use
with every argument each may take, the conditions allowed and where, the gates
that stand between a tag and a release, the variables a step may read and
write, and the one workflow file. tools/release_inputs.py holds the same for
the bakkesmod presets. Anything outside them fails, naming the key,
condition, command, argument or variable and where it is: remove it, or
teach the model what it does to the release, with a case in
tests/release/check_workflow_test.py that breaks it. An input of a shape it
does not expect (a list where it reads a mapping, say) fails the same way,
never with a traceback.

Each run script is split as its shell splits it (tools/workflow_shells.py):
the step's shell, else the job's or the workflow's default, else the
runner's (pwsh on Windows, bash elsewhere), quotes and escapes included. A
line it cannot read fails. A pwsh if may only end its step (Write-Host,
exit 1), so no if in a script can skip a gate.

Within the model, it fails when:
  gates       a gate (the Linux test command, the version read, the tag
              check, the build, the DLL check, the SDK commit check, the
              artefact's upload, the packing and its upload) is missing, could
              be skipped (the tag check must run on every v* tag), is not
              waited for by the publishing job, or, in pwsh, is not its step's
              last command (pwsh ends a step with the exit code of the last
              program it ran); the tag check and the SDK commit check do not
              exit 1 when what they compare differs;
  triggers    a pushed tag v<version> would not run the workflow (GitHub's
              filter patterns, ? + and [] included), or GitHub would refuse
              the triggers, the needs or the step ids;
  runner      the job that builds the DLL is not on a Windows runner with
              Visual Studio 2022, or one of its run steps would run under
              another shell than pwsh (named in the workflow, not assumed);
  variables   a step reads a variable spelt for the other shell ($NAME in
              pwsh, $env:NAME in bash), or one that nothing sets; writes
              $NAME where its shell passes the name itself (in single
              quotes, or escaped); or writes GITHUB_ENV or GITHUB_OUTPUT
              other than as the model says;
  version     the workflow's own pattern, run on plugin/PluginVersion.h as
              Select-String runs it, does not find the header's version; that
              step does not write DLL_VERSION to GITHUB_ENV, a step uses it
              before, or the pack and release jobs do not get it from that
              step's output; or another build input writes the version again;
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
              binaryDir, the bin/ of CMakeLists.txt (set once) and the build
              preset's configuration; the artefact does not hold exactly the
              DLL, the PDB and the SDK note; a job checks out the project
              after another step (the checkout cleans the workspace);
  runtime     the static runtime is not chosen, once, before {fmt} is brought
              in, or a packaged {fmt} could be taken; the Release build writes
              no PDB that holds its symbols (/Zi under CMake 3.25's policy,
              /DEBUG, /OPT:REF, /OPT:ICF); check-windows-dll.ps1 lists no
              Visual C++ runtime or redistributable family it must refuse, or
              lacks a parameter the workflow passes; the resource's texts
              differ (the CMake files are read without their comments);
  actions     an action other than actions/checkout, upload-artifact and
              download-artifact is used, or one below its oldest supported
              major version, or at a ref that is not a major tag, a full
              version tag or a full commit SHA with a `# vX.Y.Z` comment;
  publishing  the `gh release` step could run on anything but a v* tag, or
              before every gate has passed; it does not publish the players'
              zip and the symbols zip that tools/pack_release.py packed from
              the Windows job's artefact, with the page it wrote; the job that
              publishes has a checkout, runs anything but `gh release create`,
              or is not the only job that may write; anything but its
              publishing step gets the token, an action's default inputs
              included (actions/checkout's token is github.token);
  linux       linux-tests is not on an Ubuntu runner, sets vm.mmap_rnd_bits=28
              after its tests or not at all, or runs anything but exactly
              `bash .ci/run` in a debian:12 container on the checkout;
  files       a file of tools/, .ci/ or docs/ that a step runs does not exist.

What it still cannot tell:
  - whether the commands work on the runner (it runs none of them), whether
    Visual Studio builds the preset, and what tools/check-windows-dll.ps1
    does with a real DLL: its logic is read only for its list of refused
    families and its parameters, so a change to its code that lets a DLL
    through passes here; tools/pack_release.py is proved by its own test;
  - whether a pinned commit is the release its comment names (it reaches no
    forge), and what an action does beyond the inputs modelled here, or if a
    later release of the same major version changes its defaults;
  - the sense of a script beyond the rules above: it reads the words of a
    Write-Host, a pattern or a value, and requires the comparisons that the
    two checking gates make, but not what any other line means;
  - the repository's own settings: who may push a tag, tag and branch
    protection, environments and their reviewers, and the runner images'
    contents (pwsh, Python, gh and Visual Studio being there).

  tools/check_workflow.py [REPOSITORY_ROOT]
"""
import json
import os
import re
import sys
from dataclasses import dataclass, field

import yaml  # Debian's python3-yaml

import release_inputs
import workflow_shells
from version import header_version  # tools/version.py: the header's version

WORKFLOW = os.path.join(".github", "workflows", "windows-dll.yml")

# === The model ====================================================================================
# What this check understands of the workflow. In the tables of keys, a
# mapping lists the keys a mapping may hold; a list, the values a key may
# take; ANY, a value that other rules below check or that cannot change the
# release. A key, value or job outside them fails.

ANY = "any value"
TEXT = "a text"  # any text, but a text
TAG_TEST = "startsWith(github.ref, 'refs/tags/v')"
SDK_REPOSITORY = "bakkesmodorg/BakkesModSDK"
SDK_REF = "${{ env.BAKKESMOD_SDK_COMMIT }}"
TOKEN = "${{ github.token }}"
DLL_NAME = "TallyLoomMMR"
PACKER = "tools/pack_release.py"
IMGUI_ZIP, IMGUI_FOLDER = "imgui_bm.zip", "imgui"  # imgui_bm.zip holds one folder, imgui/
WINDOWS_RUNNERS = ["windows-2022"]  # the image with Visual Studio 2022 (windows-2025 moves on)
UBUNTU_RUNNERS = ["ubuntu-latest", "ubuntu-24.04", "ubuntu-22.04"]

WORKFLOW_KEYS = {
    "name": TEXT,
    "on": {
        "push": {"tags": ANY, "tags-ignore": ANY, "branches": ANY, "branches-ignore": ANY},
        "pull_request": {},
        "workflow_dispatch": {},
    },
    "permissions": {"contents": ["read"]},
    "env": {"BAKKESMOD_SDK_COMMIT": ANY, "DLL_DESCRIPTION": ANY, "DLL_PRODUCT": ANY, "DLL_DIR": ANY},
    "jobs": ANY,  # JOBS
}

STEPS = "the steps, each as STEP_KEYS says"
JOBS = {
    "windows-dll": {"name": TEXT, "runs-on": WINDOWS_RUNNERS, "defaults": {"run": {"shell": ["pwsh"]}},
                    "outputs": {"version": ANY}, "steps": STEPS},
    "linux-tests": {"name": TEXT, "runs-on": UBUNTU_RUNNERS, "steps": STEPS},
    "pack": {"name": TEXT, "needs": ANY, "runs-on": UBUNTU_RUNNERS, "env": {"DLL_VERSION": ANY},
             "steps": STEPS},
    "release": {"name": TEXT, "if": [TAG_TEST], "needs": ANY, "runs-on": UBUNTU_RUNNERS,
                "permissions": {"contents": ["write"]}, "env": {"DLL_VERSION": ANY}, "steps": STEPS},
}
# The job that publishes, and so the only one that may write.
PUBLISHER = "release"

# Every step may hold these; `with` as its action's inputs say.
STEP_KEYS = {"name": TEXT, "id": ANY, "uses": ANY, "with": ANY, "run": ANY, "shell": ["pwsh", "bash"]}
# Keys only some steps may hold, by the step's role (GATES, or "publishing").
ROLE_KEYS = {
    "the tag check": {"if": [TAG_TEST]},
    "publishing": {"env": {"GH_TOKEN": [TOKEN, "${{ secrets.GITHUB_TOKEN }}"]}},
}


@dataclass
class Action:
    floor: int  # the oldest major version that hosted runners still run
    inputs: dict  # the inputs it may be given, with the values each accepts
    defaults: dict = field(default_factory=dict)  # inputs that have a value when not given


ACTIONS = {
    # checkout v3 runs on Node 16; its token defaults to the job's own.
    "actions/checkout": Action(4, {"repository": [SDK_REPOSITORY, "${{ github.repository }}"],
                                   "ref": [SDK_REF], "path": ANY,
                                   "persist-credentials": [False, True]},
                               {"repository": "${{ github.repository }}", "token": TOKEN,
                                "persist-credentials": True}),
    # upload- and download-artifact v3 are retired.
    "actions/upload-artifact": Action(4, {"name": TEXT, "path": ANY, "if-no-files-found": ["error"]},
                                      {"if-no-files-found": "warn"}),
    "actions/download-artifact": Action(4, {"name": TEXT, "path": ANY},
                                        {"repository": "${{ github.repository }}",
                                         "run-id": "${{ github.run_id }}"}),
}

FLAG = "a flag"
MORE = "more words"


@dataclass
class Usage:
    words: tuple = ()  # the words that are not options, in order: a text, ANY, or MORE last
    options: dict = field(default_factory=dict)  # option: FLAG, ANY or the values it accepts
    required: tuple = ()


# The commands a run step may use, by shell, and every argument each may take.
COMMANDS = {
    "pwsh": {
        "Select-String": [Usage(options={"-CaseSensitive": FLAG, "-Path": ANY, "-Pattern": ANY},
                                required=("-Path", "-Pattern"))],
        "Out-File": [Usage(options={"-FilePath": ["$env:GITHUB_ENV", "$env:GITHUB_OUTPUT"],
                                    "-Append": FLAG, "-Encoding": ["utf8"]},
                           required=("-FilePath", "-Append", "-Encoding"))],
        "Set-Content": [Usage(options={"-Path": ANY}, required=("-Path",))],
        "Write-Host": [Usage(words=(ANY,))],
        "exit": [Usage(words=("1",))],
        "Expand-Archive": [Usage(options={"-Path": ANY, "-DestinationPath": ANY},
                                 required=("-Path", "-DestinationPath"))],
        "cmake": [Usage(options={"--preset": ["bakkesmod"], "-DBAKKESMOD_SDK_DIR": ANY},
                        required=("--preset",)),
                  Usage(options={"--build": FLAG, "--preset": ["bakkesmod"]},
                        required=("--build", "--preset"))],
        "./tools/check-windows-dll.ps1": [Usage(
            options={"-Dll": ANY, "-Version": ["$env:DLL_VERSION"],
                     "-Description": ["$env:DLL_DESCRIPTION"], "-Product": ["$env:DLL_PRODUCT"]},
            required=("-Dll", "-Version", "-Description", "-Product"))],
        "git": [Usage(words=("log",), options={"-C": ANY, "-1": FLAG, "--format": ["%H", "%s"]},
                      required=("-C", "-1", "--format"))],
    },
    "bash": {
        "sudo": [Usage(words=("sysctl", "-w", "vm.mmap_rnd_bits=28"))],
        "docker": [Usage(words=("run", ANY, "bash", ".ci/run"),
                         options={"--rm": FLAG, "-v": ANY, "-w": ANY}, required=("-v", "-w"))],
        "python3": [Usage(words=(PACKER,),
                          options={"--version": ["$DLL_VERSION"], "--from": ANY, "--to": ANY,
                                   "--releases": ["$GITHUB_SERVER_URL/$GITHUB_REPOSITORY/releases"]},
                          required=("--version", "--from", "--to", "--releases"))],
        "gh": [Usage(words=("release", "create", "$GITHUB_REF_NAME", MORE),
                     options={"--repo": ["$GITHUB_REPOSITORY"], "--verify-tag": FLAG, "--title": ANY,
                              "--notes-file": ANY},
                     required=("--repo", "--verify-tag", "--title", "--notes-file"))],
    },
}
# In pwsh, what a value or an if's condition may hold besides texts and variables.
OPERATORS = {"value": {"-f"}, "condition": {"-not", "-eq", "-ne", "-ceq", "-cne"}}
# pwsh fails a step by the exit code of its last command only: these must come last.
LAST_IN_STEP = {"cmake", "./tools/check-windows-dll.ps1"}
# What a pwsh if may run: it may only end the step, so that no if can skip a gate.
UNDER_IF = {"Write-Host", "exit"}

# The variables a step may read besides the workflow's, its job's and its own
# env, and those an earlier step of its job writes to GITHUB_ENV.
GITHUB_VARIABLES = {"GITHUB_ENV", "GITHUB_OUTPUT", "GITHUB_REF_NAME", "GITHUB_REPOSITORY",
                    "GITHUB_SERVER_URL", "GITHUB_WORKSPACE"}
SHELL_VARIABLES = {"pwsh": {"true", "false", "null", "LASTEXITCODE"}, "bash": {"PWD"}}
# The ${{ }} expressions a run script may hold (GitHub writes them in first).
RUN_EXPRESSIONS = {"github.workspace"}
# What a step may write to GITHUB_ENV, for the steps after it.
ENV_WRITES = {"DLL_VERSION"}
# The workflow files: another one could publish unchecked.
WORKFLOWS = ["windows-dll.yml"]


def runs(*words):
    return lambda step: any(c.kind == "command" and command_name(c, step.shell) ==
                            command_name_of(words[0], step.shell) and
                            all(w in c.arguments for w in words[1:]) for c in step.commands)


def reads(variable):
    return lambda step: any(read == ("env", variable) for c in step.commands for read in c.reads())


def uses(action):
    return lambda step: step.action == action


# The steps between a tag and a release: each must be there once, run on every
# run where it matters, and be waited for by the publishing job.
GATES = {
    "the test command": ("linux-tests", runs("docker")),
    "the version read": ("windows-dll", runs("Select-String")),
    "the tag check": ("windows-dll", reads("GITHUB_REF_NAME")),
    "the build": ("windows-dll", runs("cmake", "--build")),
    "the DLL check": ("windows-dll", runs("./tools/check-windows-dll.ps1")),
    "the SDK commit check": ("windows-dll", runs("git")),
    "the artefact's upload": ("windows-dll", uses("actions/upload-artifact")),
    "the packing": ("pack", runs("python3")),
    "the packed upload": ("pack", uses("actions/upload-artifact")),
}

# What a checking gate compares before it fails its step with exit 1: the two
# words, and the operators that may compare them.
COMPARISONS = {
    "the tag check": ("$env:GITHUB_REF_NAME", "v$env:DLL_VERSION", {"-cne"}),  # v2 is not V2
    "the SDK commit check": ("$commit", "$env:BAKKESMOD_SDK_COMMIT", {"-ne", "-cne"}),
}

# === Reading the workflow ========================================================================

failures = []


def fail(message):
    failures.append(message)


def check(condition, message):
    if not condition:
        fail(message)
    return condition


def bare(condition):
    """A condition without its optional ${{ }}."""
    return re.sub(r"^\$\{\{\s*|\s*\}\}$", "", str(condition).strip())


def normal_path(path):
    path = path.replace("\\", "/").strip().strip("'\"")
    while path.startswith("./"):
        path = path[2:]
    return path.rstrip("/")


class Step:
    def __init__(self, job, index, data):
        self.job, self.index, self.data = job, index, data
        self.name = data.get("name") or data.get("id") or data.get("uses") or f"step {index + 1}"
        self.run = str(data.get("run", "")) if "run" in data else ""
        self.uses = str(data.get("uses", ""))
        self.action = self.uses.partition("@")[0]
        self.with_ = data.get("with") or {}
        self.env = data.get("env") or {}
        self.condition = str(data.get("if", "") or "")
        self.shell = data.get("shell") or job.shell
        self.commands, self.unreadable = [], None
        if self.run:
            try:
                self.commands = workflow_shells.split(self.run, self.shell)
            except workflow_shells.NotUnderstood as error:
                self.unreadable = str(error)

    def inputs(self):
        """What the action gets: its inputs, the defaults of those not given included."""
        action = ACTIONS.get(self.action)
        return {**(action.defaults if action else {}), **self.with_}

    def text(self):
        return yaml.safe_dump(self.data)

    def __str__(self):
        return f"{self.job.name}: step '{self.name}'"


class Job:
    def __init__(self, workflow, name, data):
        self.workflow, self.name, self.data = workflow, name, data if isinstance(data, dict) else {}
        self.env = self.data.get("env") or {}
        self.condition = str(self.data.get("if", "") or "")
        needs = self.data.get("needs") or []
        self.needs = [needs] if isinstance(needs, str) else list(needs)
        labels = self.data.get("runs-on")
        self.labels = [str(label) for label in ([labels] if isinstance(labels, str) else labels or [])]
        default = ((self.data.get("defaults") or {}).get("run") or {}).get("shell") \
            or ((workflow.get("defaults") or {}).get("run") or {}).get("shell")
        self.named_shell = default
        windows = any(label.lower().startswith("windows") for label in self.labels)
        self.shell = default or ("pwsh" if windows else "bash")
        self.steps = [Step(self, i, s if isinstance(s, dict) else {})
                      for i, s in enumerate(self.data.get("steps") or [])]

    def runs(self):
        return [s for s in self.steps if s.run]

    def commands(self, name):
        return [(s, c) for s in self.steps for c in s.commands
                if c.kind == "command" and command_name(c, s.shell) == command_name_of(name, s.shell)]

    def expand(self, text):
        """The text with the workflow's and the job's env written in (forms of
        pwsh, bash and expressions) and the workspace as the empty folder."""
        env = {**(self.workflow.get("env") or {}), **self.env}
        text = re.sub(r"\$\{\{\s*github\.workspace\s*\}\}/?|\$env:GITHUB_WORKSPACE/?|\$\{?GITHUB_WORKSPACE\}?/?",
                      "", text)
        for _ in range(3):  # env values may name each other
            text = re.sub(r"\$\{\{\s*env\.(\w+)\s*\}\}|\$env:(\w+)|\$\{(\w+)\}|\$(\w+)",
                          lambda m: str(env.get(next(g for g in m.groups() if g), m.group(0))), text)
        return text

    def __str__(self):
        return self.name


def command_name_of(name, shell):
    """pwsh reads a command's name in any case, and a path with either slash."""
    return name.replace("\\", "/").lower() if shell == "pwsh" else name


def command_name(command, shell):
    return command_name_of(command.name, shell)


def needs_closure(jobs, job):
    seen, todo = set(), list(job.needs)
    while todo:
        name = todo.pop()
        if name not in seen:
            seen.add(name)
            todo.extend(jobs[name].needs if name in jobs else [])
    return seen


def roles(step):
    found = {role for role, (job, marks) in GATES.items() if step.job.name == job and marks(step)}
    if step.job.name == PUBLISHER and runs("gh")(step):
        found.add("publishing")
    return found


# === The closed world: keys, conditions, commands, variables =======================================


def unmodelled(where, key, value=None):
    if isinstance(value, bool):
        value = str(value).lower()  # as YAML spells it
    shown = f"{key}: {value}" if isinstance(value, (str, int, float)) else key
    fail(f"{where} has {shown}, which this check does not model: remove it, or teach the check "
         "what it does to the release")


def conform(data, model, where, path=""):
    """Fails on every key and value of data that model does not hold."""
    if model is ANY or model == STEPS:
        return
    if model is TEXT:
        if not isinstance(data, str):
            fail(f"{where} has {path}: {data!r}, which this check does not model (a text)")
        return
    if isinstance(model, list):
        value = bare(data) if isinstance(data, str) and path.endswith("if") else data
        if value not in model:
            fail(f"{where} has {path}: {data!r}, which this check does not model (it knows "
                 f"{', '.join(repr(m) for m in model)})")
        return
    if data is None:
        return  # an empty mapping
    if not isinstance(data, dict):
        return fail(f"{where} has {path}: {data!r}, which this check does not model (a mapping)")
    for key, value in data.items():
        name = "on" if key is True else str(key)  # YAML 1.1 reads the key "on" as true
        inner = f"{path}.{name}" if path else name
        if name not in model:
            unmodelled(where, inner, value)
        else:
            conform(value, model[name], where, inner)


def check_keys(workflow, jobs):
    conform(workflow, WORKFLOW_KEYS, "the workflow")
    for job in jobs.values():
        if job.name not in JOBS:
            unmodelled("the workflow", f"the job {job.name}")
            continue
        conform(job.data, JOBS[job.name], job.name)
        for step in job.steps:
            model = dict(STEP_KEYS)
            for role in roles(step):
                model.update(ROLE_KEYS.get(role, {}))
            action = ACTIONS.get(step.action)
            if action:
                model["with"] = action.inputs
            conform(step.data, model, str(step))
            if "uses" in step.data and "run" in step.data:
                fail(f"{step} both uses an action and runs commands")
            for name, accepted in (action.inputs.items() if action else ()):
                if isinstance(accepted, list) and name not in step.with_ and name in action.defaults:
                    check(action.defaults[name] in accepted,
                          f"{step} leaves {name} at its default {action.defaults[name]!r}, which this "
                          f"check does not model (it knows {', '.join(repr(a) for a in accepted)})")
        ids = [s.data["id"] for s in job.steps if "id" in s.data]
        check(len(ids) == len(set(ids)), f"{job.name} gives two steps the same id, which GitHub refuses")
        for name in job.needs:
            check(name in jobs, f"{job.name} needs {name}, which is no job of the workflow")
        projects = [s for s in job.steps if s.action == "actions/checkout" and "repository" not in s.with_]
        check(all(s.index == 0 for s in projects), f"{job.name} checks out the project after another "
              "step: the checkout cleans the workspace of what that step left")


def usage_problems(arguments, usage, pwsh):
    """The arguments of a command that its usage does not hold, in words."""
    def key(text):
        return text.lower() if pwsh else text

    options = {key(o): o for o in usage.options}
    expected = list(usage.words)
    more = bool(expected) and expected[-1] is MORE
    if more:
        expected.pop()
    problems, words, given = [], 0, set()
    i = 0
    while i < len(arguments):
        argument = arguments[i]
        name, joined, value = argument.partition("=")
        option = options.get(key(argument)) or (options.get(key(name)) if joined else None)
        if option is None:
            if words < len(expected) and (expected[words] == argument or
                                          (expected[words] is ANY and not argument.startswith("-"))):
                words += 1
            elif argument.startswith("-") or not more or words < len(expected):
                problems.append(argument)
            i += 1
            continue
        accepted = usage.options[option]
        if key(argument) == key(option):
            joined = ""
        if accepted is not FLAG and not joined:
            i += 1
            value = arguments[i] if i < len(arguments) else None
        if option in given:
            problems.append(f"{option} twice")
        given.add(option)
        if accepted is FLAG and joined:
            problems.append(argument)
        elif accepted is not FLAG and value is None:
            problems.append(f"{option} without its value")
        elif isinstance(accepted, list) and value not in accepted:
            problems.append(f"{option} {value}")
        i += 1
    problems += [f"no {w}" for w in expected[words:]]
    problems += [f"no {o}" for o in usage.required if o not in given]
    return problems


def check_usage(step, command, usages, pwsh):
    """Fails with the problems of the usage that fits the command best."""
    best = min((usage_problems(command.arguments, usage, pwsh) for usage in usages), key=len)
    if best:
        fail(f"{step} runs {command.name} with {', '.join(best)}, which this check does not model")


def check_commands(step, written):
    """Every command, argument and variable of a run step; written: the
    variables earlier steps of its job wrote to GITHUB_ENV."""
    if step.unreadable is not None:
        return fail(f"{step} has a line this check cannot read as {step.shell} reads it "
                    f"({step.unreadable})")
    pwsh = step.shell == "pwsh"
    known = {**COMMANDS.get(step.shell, {})}
    lookup = {command_name_of(name, step.shell): name for name in known}
    environment = set(step.job.workflow.get("env") or {}) | set(step.job.env) | set(step.env) \
        | GITHUB_VARIABLES | written
    assigned = set(SHELL_VARIABLES.get(step.shell, set()))
    for at, command in enumerate(step.commands):
        for spelling, name in command.reads():
            if spelling == "literal":
                fail(f"variables: {step} writes ${name} where {step.shell} does not read it as a "
                     "variable (in single quotes, or escaped), so the command gets the name itself")
            elif spelling == "expression":
                check(name in RUN_EXPRESSIONS, f"{step} writes ${{{{ {name} }}}} into its command, "
                      "which this check does not model")
            elif spelling == "env" and not pwsh:
                fail(f"variables: {step} reads $env:{name}, the pwsh spelling: bash reads $env, "
                     f"which is empty, then the text (write ${name})")
            elif spelling == "env":
                check(name in environment, f"variables: {step} reads $env:{name}, which nothing sets")
            elif name in assigned or (not pwsh and name in environment):
                pass
            elif pwsh and name in environment:
                fail(f"variables: {step} reads ${name}, the bash spelling: in pwsh that is an unset "
                     f"PowerShell variable (write $env:{name})")
            else:
                fail(f"variables: {step} reads ${name}, which nothing sets")
        if command.assigns:
            assigned.add(command.assigns)
        if command.guard is not None and command.kind == "condition":
            fail(f"{step} has an if inside another if, or an elseif, which this check does not model")
        if command.kind in OPERATORS:
            for word in command.words:
                check(word.quoted or word.text.startswith("$") or word.text in OPERATORS[command.kind],
                      f"{step} has {word.text} in a {command.kind}, which this check does not model")
            continue
        name = lookup.get(command_name(command, step.shell))
        if not check(name is not None, f"{step} runs {command.name}, which this check does not model "
                     f"in {step.shell}"):
            continue
        check(command.guard is None or name in UNDER_IF,
              f"{step} runs {name} under an if, which this check does not model (an if may only end "
              f"the step: {', '.join(sorted(UNDER_IF))})")
        check_usage(step, command, known[name], pwsh)
        for target in ("$env:GITHUB_ENV", "$env:GITHUB_OUTPUT"):
            check(target not in command.arguments or name == "Out-File", f"variables: {step} writes "
                  f"{target[5:]} with {name}, which this check does not model (Out-File -Append)")
        if pwsh and name in LAST_IN_STEP:
            check(at == len(step.commands) - 1, f"gates: {step} runs {name} before another command, "
                  "whose exit code decides the step's in pwsh")


def env_writes(step):
    """The variables a pwsh step writes to GITHUB_ENV: "NAME=..." | Out-File -FilePath $env:GITHUB_ENV."""
    names = set()
    for value, target in zip(step.commands, step.commands[1:]):
        if value.kind == "value" and command_name(target, step.shell) == command_name_of("Out-File", step.shell) \
                and "$env:GITHUB_ENV" in target.arguments:
            names.add(value.words[0].text.partition("=")[0])
    return names


def check_steps(jobs):
    for job in jobs.values():
        written = set()
        for step in job.steps:
            if step.run:
                check_commands(step, written)
            for name in env_writes(step) - ENV_WRITES:
                fail(f"variables: {step} writes {name} to GITHUB_ENV, which this check does not model")
            written |= env_writes(step)


def check_gates(jobs):
    publisher = jobs.get(PUBLISHER)
    waited = needs_closure(jobs, publisher) if publisher else set()
    for role, (job_name, marks) in GATES.items():
        job = jobs.get(job_name)
        found = [s for s in job.steps if marks(s)] if job else []
        if not check(len(found) == 1, f"gates: {job_name} has {len(found)} steps that are {role}, "
                     "not one"):
            continue
        check(job_name in waited, f"gates: {PUBLISHER} does not wait for {job_name} (needs:), which "
              f"holds {role}")
        if "if" in ROLE_KEYS.get(role, {}):
            check(bare(found[0].condition) in ROLE_KEYS[role]["if"],
                  f"gates: {found[0]} runs on every ref (if: {TAG_TEST} is its model)")
        if role in COMPARISONS:
            first, second, operators = COMPARISONS[role]
            conditions = [c for c in found[0].commands if c.kind == "condition" and len(c.words) == 3
                          and c.words[1].text.lower() in operators
                          and {c.words[0].text, c.words[2].text} == {first, second}]
            check(any(c.guard in conditions and str(c) == "exit 1" for c in found[0].commands),
                  f"gates: {found[0]} does not exit 1 when {first} {'/'.join(sorted(operators))} {second}")


# === The rules within the model =================================================================


def glob_matches(pattern, text):
    """GitHub's filter patterns: * any characters but a slash, ** any characters,
    ? and + zero-or-one and one-or-more of the character before, [...] one of
    the letters, digits and ranges listed."""
    regex, i = "", 0
    while i < len(pattern):
        if pattern.startswith("**", i):
            regex, i = regex + ".*", i + 2
        elif pattern[i] == "*":
            regex, i = regex + "[^/]*", i + 1
        elif pattern[i] in "?+" and regex:
            regex, i = regex + pattern[i], i + 1
        elif pattern[i] == "[" and "]" in pattern[i:]:
            end = pattern.index("]", i)
            regex, i = regex + "[" + re.sub(r"[^A-Za-z0-9-]", "", pattern[i + 1:end]) + "]", end + 1
        else:
            regex, i = regex + re.escape(pattern[i]), i + 1
    try:
        return re.fullmatch(regex, text) is not None
    except re.error:
        return False


def filters_let_through(patterns, text):
    verdict = False
    for pattern in [patterns] if isinstance(patterns, str) else patterns or []:
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
    if not isinstance(push, dict):
        return fail(f"triggers: push is {push!r}, not a mapping of filters")
    for kind in ("tags", "branches"):
        check(not (kind in push and f"{kind}-ignore" in push),
              f"triggers: push has both {kind} and {kind}-ignore, which GitHub refuses")
    if "tags" in push:
        check(filters_let_through(push["tags"], tag), f"triggers: push.tags does not match {tag}")
    elif "tags-ignore" in push:
        check(not filters_let_through(push["tags-ignore"], tag), f"triggers: push.tags-ignore drops {tag}")
    else:
        # With only branch filters, GitHub runs the push trigger for no tag.
        check("branches" not in push and "branches-ignore" not in push,
              f"triggers: push filters branches only, so a pushed tag {tag} never runs it")


def check_runner(job):
    windows = [label for label in job.labels if label.lower().startswith("windows")]
    if check(bool(windows), f"runner: {job.name} runs on {job.labels}, not a Windows runner"):
        check("windows-2019" not in windows,
              f"runner: {job.name} runs on windows-2019, which has no Visual Studio 2022")
    for step in job.runs():
        shell = step.data.get("shell") or job.named_shell
        check(shell == "pwsh", f"runner: {step} runs under {shell or 'the runner default shell'}, "
              "not pwsh")


def option(command, name):
    """The value of an option, given as `name value` or `name=value`."""
    arguments = command.arguments
    for i, argument in enumerate(arguments):
        if argument.lower() == name.lower() and i + 1 < len(arguments):
            return arguments[i + 1]
        if argument.lower().startswith(name.lower() + "="):
            return argument.partition("=")[2]
    return None


def check_version(root, job, version):
    """The step that reads the version, found by what it writes; returns it."""
    reads_version = [s for s in job.runs() if runs("Select-String")(s) and "DLL_VERSION" in env_writes(s)]
    if not check(len(reads_version) == 1, f"version: {job.name} has no one step that reads the "
                 "version with Select-String and writes DLL_VERSION to GITHUB_ENV"):
        return None
    step = reads_version[0]
    select = next(c for c in step.commands if command_name(c, step.shell) == "select-string")
    path, pattern = option(select, "-Path"), option(select, "-Pattern")
    check(normal_path(path or "") == release_inputs.VERSION_HOME.replace(os.sep, "/"),
          f"version: {step} reads {path}, not {release_inputs.VERSION_HOME}")
    matched = {c.assigns: re.fullmatch(rf"\${select.assigns}\.Matches\[0\]\.Groups\[(\d+)\]\.Value",
                                       c.words[0].text)
               for c in step.commands if c.kind == "value" and c.assigns and select.assigns}
    variable, group = next(((v, m.group(1)) for v, m in matched.items() if m), (None, None))
    if pattern is None or group is None:
        fail(f"version: {step} has no -Pattern '...' and .Matches[0].Groups[N].Value")
    else:
        # Select-String: .NET regular expressions, line by line, case-insensitive
        # unless -CaseSensitive; these patterns read the same in Python.
        flags = 0 if "-casesensitive" in [a.lower() for a in select.arguments] else re.IGNORECASE
        found = None
        try:
            for line in release_inputs.read(root, release_inputs.VERSION_HOME).splitlines():
                match = re.search(pattern, line, flags)
                if match:
                    found = match.group(int(group))
                    break
        except (re.error, IndexError) as error:
            fail(f"version: the workflow's pattern {pattern!r} does not work: {error}")
        else:
            check(found == version, f"version: the workflow's pattern finds {found!r} in "
                  f"{release_inputs.VERSION_HOME}, which says {version}")
    check(any(c.kind == "value" and c.words[0].text == f"DLL_VERSION=${variable}" for c in step.commands)
          and variable is not None,
          f"version: {step} does not append DLL_VERSION=<what it read> to $env:GITHUB_ENV")
    for other in job.steps:
        if "DLL_VERSION" in other.text() and other.index < step.index:
            fail(f"version: {other} uses DLL_VERSION before {step.name!r} reads it")
    return step, variable


def check_version_handover(jobs, dll_job, version_step, variable):
    """The jobs after the Windows job take the version as its output, which is
    the output of the step that reads it."""
    step_id = version_step.data.get("id")
    written = [value.words[0].text.partition("=")[0] for value, target in
               zip(version_step.commands, version_step.commands[1:])
               if value.kind == "value" and value.words[0].text.endswith(f"=${variable}")
               and "$env:GITHUB_OUTPUT" in target.arguments]
    outputs = dll_job.data.get("outputs") or {}
    names = [name for name, value in outputs.items() for output in written if step_id and re.fullmatch(
        rf"\$\{{\{{\s*steps\.{re.escape(step_id)}\.outputs\.{re.escape(output)}\s*\}}\}}", str(value))]
    wanted = {f"${{{{ needs.{dll_job.name}.outputs.{name} }}}}" for name in names}
    for job in jobs.values():
        if "DLL_VERSION" in job.env:
            check(str(job.env.get("DLL_VERSION")) in wanted,
                  f"version: {job.name} does not take DLL_VERSION from {dll_job.name}'s output of "
                  "the step that reads it")
            check(dll_job.name in job.needs, f"version: {job.name} reads {dll_job.name}'s output but "
                  f"does not need {dll_job.name} (needs:)")


def check_sdk(root, workflow, job):
    commit = str((workflow.get("env") or {}).get("BAKKESMOD_SDK_COMMIT", ""))
    check(re.fullmatch(r"[0-9a-f]{40}", commit) is not None, f"sdk: commit {commit!r} is not pinned")
    checkouts = [s for s in job.steps if s.action == "actions/checkout" and s.with_.get("repository")]
    if not check(len(checkouts) == 1, f"sdk: {job.name} does not check out the SDK exactly once"):
        return None
    sdk = checkouts[0]
    check(sdk.with_["repository"] == SDK_REPOSITORY, f"sdk: the SDK comes from {sdk.with_['repository']}")
    check(sdk.with_.get("ref") == SDK_REF, "sdk: the SDK is not checked out at BAKKESMOD_SDK_COMMIT")
    folder = normal_path(job.expand(str(sdk.with_.get("path", ""))))
    if not check(folder != "", "sdk: the SDK is checked out over the project itself (no path)"):
        return None

    configures = [(s, c) for s, c in job.commands("cmake") if "--build" not in c.arguments]
    if not check(len(configures) == 1, f"presets: {job.name} does not configure the bakkesmod preset "
                 "exactly once"):
        return folder
    configure_step, configure = configures[0]
    builds = [s for s, c in job.commands("cmake") if "--build" in c.arguments]
    check(all(configure_step.index < s.index for s in builds),
          f"presets: {job.name} does not configure the bakkesmod preset before building")
    # BAKKESMOD_SDK_DIR at configure time: the command line's, else the preset's.
    given = option(configure, "-DBAKKESMOD_SDK_DIR")
    given = job.expand(given) if given is not None else None
    if given is None:
        presets = json.loads(release_inputs.read(root, "CMakePresets.json"))
        preset = next((p for p in presets["configurePresets"] if p["name"] == "bakkesmod"), {})
        given = (preset.get("cacheVariables") or {}).get("BAKKESMOD_SDK_DIR", "(unset)")
    check(normal_path(given) == folder,
          f"sdk: BAKKESMOD_SDK_DIR is {given}, but the SDK is checked out into {folder}")

    # Dear ImGui: unpacked from the SDK's zip below where CMake looks, before configuring.
    cmake = release_inputs.read(root, "cmake", "BakkesModSdk.cmake")
    glob = re.search(r'file\((GLOB(?:_RECURSE)?)\s+\w+(?:\s+FOLLOW_SYMLINKS)?\s+"\$\{sdk\}/?([^"]*)imgui\.cpp"\)',
                     cmake)
    unpacks = job.commands("Expand-Archive")
    if not check(bool(glob), "sdk: cmake/BakkesModSdk.cmake no longer looks for imgui.cpp in the SDK"):
        return folder
    if not check(len(unpacks) == 1 and IMGUI_ZIP in (option(unpacks[0][1], "-Path") or ""),
                 f"sdk: {job.name} does not unpack the host's Dear ImGui ({IMGUI_ZIP}) exactly once"):
        return folder
    unpack, expand = unpacks[0]
    archive = job.expand(option(expand, "-Path") or "")
    target = job.expand(option(expand, "-DestinationPath") or "")
    check(normal_path(archive) == f"{folder}/{IMGUI_ZIP}",
          f"sdk: {unpack} unpacks {archive}, not the SDK's {folder}/{IMGUI_ZIP}")
    sources = normal_path(f"{target}/{IMGUI_FOLDER}")
    looked = normal_path(f"{folder}/{glob.group(2)}")
    found = (sources == looked or sources.startswith(looked + "/")) if glob.group(1) == "GLOB_RECURSE" \
        else sources == looked
    check(found, f"sdk: Dear ImGui lands in {sources}, where cmake/BakkesModSdk.cmake does not "
          f"look ({glob.group(1)} in {looked})")
    check(unpack.index < configure_step.index,
          f"sdk: {unpack} runs after the preset is configured, which needs it")

    # The SDK note: the commit and subject git reads in that checkout.
    notes = [s for s in job.runs() if "BUILT-AGAINST.txt" in s.run]
    if check(len(notes) == 1, f"sdk: {job.name} does not write BUILT-AGAINST.txt once"):
        gits = [c for c in notes[0].commands if command_name(c, notes[0].shell) == "git"]
        formats = sorted(option(c, "--format") or "" for c in gits
                         if normal_path(option(c, "-C") or "") == folder)
        check(formats == ["%H", "%s"], f"sdk: {notes[0]} does not read the commit (%H) and its "
              f"subject (%s) with git -C {folder} log -1")
        compared = COMPARISONS["the SDK commit check"][0].lstrip("$")
        check(any(c.assigns == compared and option(c, "--format") == "%H" for c in gits),
              f"sdk: {notes[0]} does not compare the commit git reads (%H) with the pin")
    return folder


def check_dll_paths(root, job):
    dll_folder = release_inputs.output_folder(root, "CMAKE_RUNTIME_OUTPUT_DIRECTORY")
    pdb_folder = release_inputs.output_folder(root, "CMAKE_PDB_OUTPUT_DIRECTORY")
    check(dll_folder is not None, "dll: CMakeLists.txt sets no CMAKE_RUNTIME_OUTPUT_DIRECTORY")
    check(pdb_folder is not None, "dll: CMakeLists.txt sets no CMAKE_PDB_OUTPUT_DIRECTORY")
    expected = {"dll": dll_folder, "pdb": pdb_folder}
    for step in job.steps:
        texts = [w.text for c in step.commands for w in c.words] + [str(step.with_.get("path", ""))]
        for text in texts:
            for path in re.findall(rf"[^\s'\"`,;()]*{DLL_NAME}\.(?:dll|pdb)\b", job.expand(text)):
                folder, _, name = normal_path(path).rpartition("/")
                wanted = expected[name.rpartition(".")[2]]
                if folder and wanted:  # a bare name is no path
                    check(folder == wanted, f"dll: {step} names {normal_path(path)}, but the bakkesmod "
                          f"preset puts it in {wanted}")

    checks = job.commands("./tools/check-windows-dll.ps1")
    if check(len(checks) == 1, f"dll: {job.name} does not run tools/check-windows-dll.ps1 once"):
        dll = job.expand(option(checks[0][1], "-Dll") or "")
        check(normal_path(dll) == f"{dll_folder}/{DLL_NAME}.dll",
              f"dll: check-windows-dll.ps1 checks {dll}, not the built DLL")
    notes = [(s, c) for s, c in job.commands("Set-Content") if "BUILT-AGAINST.txt" in s.run]
    if notes:
        written = job.expand(option(notes[0][1], "-Path") or "")
        check(normal_path(written) == f"{dll_folder}/BUILT-AGAINST.txt",
              f"dll: BUILT-AGAINST.txt is written to {written}, not beside the DLL")
    uploads = [s for s in job.steps if s.action == "actions/upload-artifact"]
    if check(len(uploads) == 1, f"dll: {job.name} does not keep one artefact"):
        kept = {normal_path(p) for p in job.expand(str(uploads[0].with_.get("path", ""))).split("\n")
                if p.strip()}
        wanted = set()
        for folder, name in ((dll_folder, f"{DLL_NAME}.dll"), (pdb_folder, f"{DLL_NAME}.pdb"),
                             (dll_folder, "BUILT-AGAINST.txt")):
            if folder:
                wanted.add(f"{folder}/{name}")
                check(f"{folder}/{name}" in kept, f"dll: the artefact does not keep {folder}/{name}")
        # Anything more, or an exclusion, changes what the pack job finds where.
        for path in sorted(kept - wanted):
            fail(f"dll: the artefact also keeps {path}, which this check does not model")
    return uploads[0] if len(uploads) == 1 else None


def pinned_comments(text, uses):
    """The `# vX.Y.Z` comment on each line that uses this ref (None for none)."""
    return [match.group(1) for match in
            re.finditer(rf"uses:\s*{re.escape(uses)}[ \t]*(?:#[ \t]*(\S*))?[ \t]*$", text, re.MULTILINE)]


def check_actions(text, jobs):
    for job in jobs.values():
        for step in job.steps:
            if not step.uses:
                continue
            action, _, ref = step.uses.partition("@")
            if not check(action in ACTIONS, f"actions: {step} uses {step.uses}"):
                continue
            version = ref
            if re.fullmatch(r"[0-9a-f]{40}", ref):
                comments = pinned_comments(text, step.uses)
                if not check(bool(comments) and all(comments), f"actions: {step} pins {action} to a "
                             "commit without a # vX.Y.Z comment naming its release"):
                    continue
                version = comments[0]
            major = re.fullmatch(r"v(\d+)(?:\.\d+){0,2}", version)
            if check(major is not None, f"actions: {step} uses {step.uses}, not a major version, a full "
                     "version tag or a full commit SHA"):
                check(int(major.group(1)) >= ACTIONS[action].floor, f"actions: {step} uses {step.uses} "
                      f"({version}), a retired version (v{ACTIONS[action].floor} or later)")


def check_files_named(root, runs):
    for step in runs:
        for path in re.findall(r"(?<![\w./-])(?:\./)?((?:tools|\.ci|docs)/[\w./-]*\w)", step.run):
            check(os.path.isfile(os.path.join(root, path)), f"files: {step} names {path}, "
                  "which does not exist")


def check_packing(jobs, dll_job, upload):
    """The pack job packs the Windows job's artefact with tools/pack_release.py
    and keeps what it packed; returns the name of what it keeps."""
    job = jobs.get("pack")
    packs = [(s, c) for s, c in job.commands("python3") if c.arguments[:1] == [PACKER]] if job else []
    if not check(len(packs) == 1, f"publishing: pack does not pack with {PACKER}"):
        return None
    step, pack = packs[0]
    source, target = option(pack, "--from"), option(pack, "--to")
    downloads = [s for s in job.steps if s.action == "actions/download-artifact"]
    check(len(downloads) == 1 and upload is not None
          and downloads[0].with_.get("name") == upload.with_.get("name")
          and normal_path(str(downloads[0].with_.get("path", ""))) == normal_path(source or "?")
          and downloads[0].index < step.index,
          f"publishing: {PACKER} does not pack the artefact of {dll_job.name}")
    kept = [s for s in job.steps if s.action == "actions/upload-artifact" and s.index > step.index
            and normal_path(str(s.with_.get("path", ""))) == normal_path(target or "?")]
    check(len(kept) == 1, f"publishing: pack does not keep the folder {target} it packs into")
    return kept[0].with_.get("name") if kept else None


def check_publishing(workflow, jobs, packed_name):
    job = jobs.get(PUBLISHER)
    publishing = [(s, c) for j in jobs.values() for s, c in j.commands("gh") if c.arguments[:1] == ["release"]]
    if not check(len(publishing) == 1 and job is not None and publishing[0][0].job is job,
                 f"publishing: not exactly one step runs gh release, in {PUBLISHER}"):
        return None
    step, command = publishing[0]
    conditions = [c for c in (job.condition, step.condition) if c]
    strict = all("||" not in bare(c) and not re.search(r"\b(always|failure|cancelled)\(", c)
                 for c in conditions)
    gated = any(TAG_TEST in [term.strip() for term in bare(c).split("&&")] for c in conditions)
    check(strict and gated, f"publishing: {step} can run on other refs than a v* tag, or after a "
          f"failure (its job and it must be gated by {TAG_TEST}, with && only)")
    needed = needs_closure(jobs, job)
    for wanted in ("linux-tests", "windows-dll"):
        check(wanted in needed, f"publishing: {job.name} does not wait for {wanted} (needs:)")
    check("--verify-tag" in command.arguments, f"publishing: {step} may create the tag (no --verify-tag)")

    # What it publishes: what the pack job packed, fetched into one folder.
    downloads = [s for s in job.steps if s.action == "actions/download-artifact"]
    folder = normal_path(str(downloads[0].with_.get("path", ""))) if len(downloads) == 1 else None
    check(len(downloads) == 1 and packed_name is not None and downloads[0].with_.get("name") == packed_name,
          f"publishing: {job.name} does not fetch what the pack job packed")
    published = {normal_path(w) for w in command.arguments[3:] if not w.startswith("-")}
    for name in (f"TallyLoomMMR-$DLL_VERSION.zip", f"TallyLoomMMR-$DLL_VERSION-symbols.zip"):
        check(f"{folder}/{name}" in published, f"publishing: {step} does not publish {folder}/{name}")
    notes = option(command, "--notes-file")
    check(normal_path(notes or "") == f"{folder}/notes.md",
          f"publishing: {step} does not give {folder}/notes.md as its notes")

    # The job that can write runs no code of the repository: no checkout, and
    # nothing but gh on what it downloaded.
    for other in job.steps:
        if other.action == "actions/checkout":
            fail(f"publishing: {other} checks out the repository in the job that can write, which "
                 "runs no code of the repository")
        for c in other.commands:
            check(c.name == "gh", f"publishing: {other} runs {c.name} in the job that can write, which "
                  "runs only gh release create")

    # Write access: only the publishing job. The token: only its publishing
    # step, the defaults of an action's inputs included.
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
            if other is job and s is not step:
                for name, value in s.inputs().items():
                    if re.search(r"github\.token|secrets\.", str(value)) and name not in s.with_:
                        fail(f"token: {s} gets the write token through {s.action}'s input {name}, "
                             f"whose default is {value}")
    for where, values, owner in places:
        for key, value in values.items():
            if re.search(r"github\.token|secrets\.", str(value)):
                check(owner is step and key == "GH_TOKEN", f"token: {where} gets {key}, "
                      "but only the publishing step may")
    check(re.search(r"github\.token|secrets\.GITHUB_TOKEN", str(step.env.get("GH_TOKEN", ""))) is not None,
          f"token: {step} has no GH_TOKEN")
    return job


def check_linux_job(jobs):
    job = jobs.get("linux-tests")
    if not check(job is not None, "linux: no job linux-tests"):
        return
    check(all(label.startswith("ubuntu") for label in job.labels) and job.labels,
          "linux: linux-tests is not on ubuntu")
    check("container" not in job.data,
          "linux: linux-tests runs in a container, where vm.mmap_rnd_bits cannot be set")
    sysctl, tests = None, None
    for step in job.runs():
        commands = [str(c) for c in step.commands]
        if commands == ["sudo sysctl -w vm.mmap_rnd_bits=28"]:
            sysctl = step.index if sysctl is None else sysctl
            continue
        docker = [c for c in step.commands if c.name == "docker"]
        if len(step.commands) != 1 or not docker or docker[0].arguments[:1] != ["run"]:
            fail(f"linux: {step} runs {step.run.strip()!r}, not exactly .ci/run")
            continue
        arguments = docker[0].arguments[1:]
        options, i = {}, 0
        while i < len(arguments) and arguments[i].startswith("-"):
            name, _, value = arguments[i].partition("=")
            if name in ("-v", "--volume", "-w", "--workdir") and not value and i + 1 < len(arguments):
                i += 1
                value = arguments[i]
            options.setdefault(name, []).append(value)
            i += 1
        image, command = (arguments[i], arguments[i + 1:]) if i < len(arguments) else (None, [])
        mounts = options.get("-v", []) + options.get("--volume", [])
        workdir = (options.get("-w") or options.get("--workdir") or [""])[-1]
        check(image == "debian:12", f"linux: {step} runs in {image}, not debian:12")
        check(command == ["bash", ".ci/run"], f"linux: {step} runs {' '.join(command)!r} in the "
              "container, not exactly bash .ci/run")
        check(f"$PWD:{workdir}" in mounts and workdir != "",
              f"linux: {step} does not run in the checkout (-v \"$PWD:DIR\" -w DIR)")
        tests = step.index if tests is None else tests
    check(sysctl is not None, "linux: linux-tests does not set vm.mmap_rnd_bits=28 on the runner")
    check(tests is not None, "linux: linux-tests does not run .ci/run")
    if sysctl is not None and tests is not None:
        check(sysctl < tests, "linux: linux-tests sets vm.mmap_rnd_bits after the tests ran")


def check_repository(root):
    """Every failure of the release inputs under root, as texts, and the version."""
    failures.clear()
    try:
        version = header_version(root)
    except SystemExit as error:  # it names what is wrong with the header
        return [str(error)], None
    try:
        text = release_inputs.read(root, WORKFLOW)
        workflow = yaml.safe_load(text)
    except (OSError, ValueError, yaml.YAMLError) as error:
        return [f"the workflow cannot be read: {error}"], version
    try:
        json.loads(release_inputs.read(root, "CMakePresets.json"))
    except (OSError, ValueError) as error:
        return [f"presets: CMakePresets.json cannot be read as presets: {error}"], version
    if not isinstance(workflow, dict):
        return ["the workflow is not a mapping of keys"], version
    on = workflow.get("on", workflow.get(True))
    if isinstance(on, (str, list)):  # the short forms of the triggers
        workflow["on"] = {str(e): None for e in ([on] if isinstance(on, str) else on)}
        workflow.pop(True, None)
    others = sorted(set(os.listdir(os.path.join(root, os.path.dirname(WORKFLOW)))) - set(WORKFLOWS))
    for name in others:
        fail(f"the workflows hold {name}, which this check does not model (it reads {', '.join(WORKFLOWS)})")

    def rules():
        jobs = {name: Job(workflow, name, data) for name, data in (workflow.get("jobs") or {}).items()}
        check_keys(workflow, jobs)
        check_steps(jobs)
        check_gates(jobs)
        check_triggers(workflow, version)
        check_actions(text, jobs)
        check_files_named(root, [s for job in jobs.values() for s in job.runs()])
        check_linux_job(jobs)
        dll_job = jobs.get("windows-dll")
        packed = None
        if check(dll_job is not None, "runner: no job windows-dll builds the DLL"):
            check_runner(dll_job)
            read = check_version(root, dll_job, version)
            if read:
                check_version_handover(jobs, dll_job, *read)
            check_sdk(root, workflow, dll_job)
            upload = check_dll_paths(root, dll_job)
            packed = check_packing(jobs, dll_job, upload)
        check_publishing(workflow, jobs, packed)
        named = [(str(s), "build" if "--build" in c.arguments else "configure", option(c, "--preset"))
                 for job in jobs.values() for s, c in job.commands("cmake") if option(c, "--preset")]
        failures.extend(release_inputs.presets(root, named))
        failures.extend(release_inputs.runtime(root, workflow.get("env") or {}))
        failures.extend(release_inputs.version_has_one_home(root, version))
        check("DLL_VERSION" not in (workflow.get("env") or {}),
              "version: the workflow writes DLL_VERSION instead of reading it")

    try:
        rules()
    except Exception as error:  # a shape the rules do not expect fails; it does not crash
        fail(f"the release inputs have a shape this check does not model, where it met "
             f"{type(error).__name__}: {error}")
    return list(dict.fromkeys(failures)), version  # each once, in order


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                           os.path.join(os.path.dirname(__file__), ".."))
    found, version = check_repository(root)
    if found:
        print("FAIL: the release path of the DLL:\n  " + "\n  ".join(found), file=sys.stderr)
        sys.exit(1)
    print(f"ok windows-dll workflow and release inputs, version {version} "
          "(read as data here; the workflow has not been run from here)")


if __name__ == "__main__":
    main()
