#!/usr/bin/env python3
"""Checks the release path of the real DLL as far as this project's Linux
machines can. It never runs .github/workflows/windows-dll.yml (they reach no
forge): it reads it as data, and fails, naming the break, when

  refused    GitHub would refuse the file: a key given twice in one mapping
             (GitHub compares key names without case; PyYAML keeps the last
             value silently), two steps of a job with one id, a job that needs
             no job of the workflow;
  reviewed   the workflow, normalized, differs from its reviewed copy,
             tools/windows-dll.reviewed.yml. It prints the diff. The copy is
             the model: any difference fails, except at these variation
             points, which pass without review:
               - step names;
               - a job's timeout-minutes of 30 or more;
               - concurrency, of the workflow or of a job;
               - an action's pin as a major tag (v4), a full version tag
                 (v4.2.2) or a full commit with its `# v4.2.2` comment: all
                 three are the major version;
               - retention-days of an upload, fetch-depth of a checkout;
               - Ubuntu image names (ubuntu-latest, ubuntu-24.04, ...);
               - a step that only prints a tool's version (`cmake --version`);
               - where a variable is set: the workflow's env, or the env of
                 the jobs that name it.
             Accepting a diff is a review step: read what it does to a
             release, then run `tools/check_workflow.py --accept`, which
             writes the copy anew from the workflow (and refuses while an
             invariant below fails);
  invariant  whatever the reviewed copy says, so that a careless accept cannot
             get past them:
               - publishing (the one step that runs gh) only on a v* tag: its
                 job or step is gated by startsWith(github.ref,
                 'refs/tags/v') with && only, and no if in that job holds
                 always(), failure() or cancelled(); its job needs every job
                 that holds a gate: the Linux tests, the version read with the
                 tag check, the build, the DLL check, the SDK note with its
                 commit check, and the packing; each gate is one step, with no
                 if, that runs exactly its command;
               - no continue-on-error anywhere, and no key in capitals
                 (GitHub reads keys without case);
               - the publishing job alone may write (the workflow's default
                 token only reads), has no checkout, fetches only artefacts
                 and runs only `gh release create "$GITHUB_REF_NAME"`, the tag
                 that the tag check held against the version;
               - the token (github.token, secrets.*) reaches no step but the
                 publishing one, as its GH_TOKEN;
               - every run step is one command: no line break, ;, &, |, `
                 or $( ), so that no later command hides a failure and no
                 script logic lives in the YAML; and none names GITHUB_ENV
                 or GITHUB_PATH, so the variables are those the file sets;
               - every step runs in the runner's default shell or under a
                 shell keyword (bash, pwsh, powershell, cmd, sh), set on the
                 step, a job's or the workflow's defaults: a template of one's
                 own can drop the exit status; and pip installs only with
                 --require-hashes from a requirements file of tools/;
               - every path to the DLL or its PDB is the bakkesmod preset's
                 (its binaryDir, the bin/ of CMakeLists.txt, the build
                 preset's configuration), and the DLL check checks it;
               - the SDK is checked out once, from bakkesmodorg/BakkesModSDK,
                 at a full commit;
               - no ${{ }} in a run script carries text from the event (a
                 branch name, a title, a message), directly or through env:
                 only the github fields that the repository or the run fixes,
                 runner.*, and env variables that carry none are allowed;
               - every file of tools/, .ci/ or docs/ that a run step names
                 exists, and .github/workflows holds no other workflow;
  inputs     the build inputs break (tools/release_inputs.py: the presets as
             CMake and Visual Studio read them, the static runtime, the PDB,
             where CMake looks for Dear ImGui, the version resource) or a
             build input repeats the version (its one home is
             plugin/PluginVersion.h).

What the steps' scripts do is proved by the Linux tests that run them:
tools/release_version.py, tools/sdk_note.py, tools/check_dll.py (on the MinGW
DLL and on broken copies) and tools/pack_release.py.

What it still cannot tell:
  - whether the commands work on the runner (it runs none of them) and
    whether Visual Studio builds the preset; a break of that kind fails the
    run there, and so publishes nothing;
  - after an accept, anything outside the invariants: triggers that never
    run on a tag, a step that hands the wrong files on, a runner without
    Visual Studio 2022, an action's other inputs or a later release of the
    same major version. Those fail the run or publish nothing, but only the
    review stands between them and the reviewed copy;
  - whether a pinned commit is the release its comment names (it reaches no
    forge);
  - that a variable moved from the workflow's env into the env of the jobs
    that name it is not also read, unnamed, by a tool in another job;
  - the repository's own settings: who may push a tag, tag and branch
    protection, environments and their reviewers, and the runner images'
    contents (Python, gh, Visual Studio).

  tools/check_workflow.py [--accept] [REPOSITORY_ROOT]
"""
import copy
import difflib
import json
import os
import re
import sys

try:
    import yaml  # Debian's python3-yaml
except ImportError:
    sys.exit("check_workflow: PyYAML is missing: install Debian's python3-yaml (./tallyloom test does)")

import release_inputs
from version import header_version  # tools/version.py: the header's version

WORKFLOW = os.path.join(".github", "workflows", "windows-dll.yml")
REVIEWED = os.path.join("tools", "windows-dll.reviewed.yml")
ACCEPT = "tools/check_workflow.py --accept"
TAG_TEST = "startsWith(github.ref, 'refs/tags/v')"
SDK_REPOSITORY = "bakkesmodorg/BakkesModSDK"
DLL_NAME = "TallyLoomMMR"
# The steps between a tag and a release, by the one command each runs.
GATES = {
    "the Linux tests": r'docker run --rm -v "\$PWD:/src" -w /src debian:12 bash \.ci/run',
    "the version read and the tag check": r"python3? tools/release_version\.py",
    "the build": r"cmake --build --preset bakkesmod",
    "the DLL check": r'python3? tools/check_dll\.py ("[^"]+"|\S+)',
    "the SDK note and its commit check": r"python3? tools/sdk_note\.py .+",
    "the packing": r"python3? tools/pack_release\.py .+",
}
SHELLS = ("bash", "pwsh", "powershell", "cmd", "sh")  # GitHub's own, which fail on a failure
PIP = r"python3? -m pip install --require-hashes -r tools/[\w.-]+\.txt"
PUBLISHING = r'gh release create "?\$\{?GITHUB_REF_NAME\}?"? .+'
PUBLISHER_ACTIONS = ["actions/download-artifact"]
TOKEN = re.compile(r"github\s*\.\s*token|github\s*\[\s*'token'|secrets\s*[.\[]")
TOKEN_VARIABLES = ["GH_TOKEN", "GITHUB_TOKEN"]
# What a ${{ }} in a run script may read: what the repository or the run fixes.
SAFE_IN_RUN = re.compile(r"github\.(workspace|repository|repository_owner|server_url|api_url|run_id|"
                         r"run_number|run_attempt|sha|event_name|job|action_path)|runner\.[\w-]+|env\.\w+")
CONTEXT = re.compile(r"\b(?:github|env|steps|needs|runner|jobs?|secrets|inputs|vars|matrix|strategy)\b"
                     r"(?:\s*\.\s*[\w*-]+|\s*\[[^\]]*\])*")
# Variation points (see the docstring): inputs that change no release.
HARMLESS_INPUTS = {"actions/upload-artifact": "retention-days", "actions/checkout": "fetch-depth"}
VERSION_STEP = re.compile(r"[A-Za-z][\w.-]* --version")
REVIEWED_HEADER = f"""\
# The reviewed form of {WORKFLOW.replace(os.sep, "/")}, as tools/check_workflow.py
# normalizes it: keys sorted, its variation points (step names, pins within a
# major version, ...) taken out. Not edited by hand: change the workflow, read
# the diff the checker prints for what it does to a release, then accept it
# with {ACCEPT}. Accepting is a review step: the checker's
# invariants hold whatever this copy says, and nothing else does.
"""


class Refused(Exception):
    """A file GitHub would refuse, or that cannot be read."""


# === Reading the workflow as GitHub does ==========================================================


class Loader(yaml.SafeLoader):
    """YAML as GitHub reads a workflow: only true and false are booleans (so
    the key `on` is a word), and a key given twice in one mapping, compared
    without case, is refused."""

    def construct_mapping(self, node, deep=False):
        seen = {}
        for key_node, _ in node.value:
            key = str(self.construct_object(key_node, deep=True)).lower()
            line = key_node.start_mark.line + 1
            if key in seen:
                raise Refused(f"line {line} gives the key {key_node.value!r} again (first on line "
                              f"{seen[key]}, compared without case): GitHub refuses such a workflow")
            seen[key] = line
        return super().construct_mapping(node, deep)


Loader.yaml_implicit_resolvers = {
    first: [(tag, regex) for tag, regex in resolvers if tag != "tag:yaml.org,2002:bool"]
    for first, resolvers in yaml.SafeLoader.yaml_implicit_resolvers.items()}
Loader.add_implicit_resolver("tag:yaml.org,2002:bool", re.compile(r"^(?:true|True|TRUE|false|False|FALSE)$"),
                             list("tTfF"))


class Dumper(yaml.SafeDumper):
    pass


Dumper.add_representer(str, lambda dumper, text: dumper.represent_scalar(
    "tag:yaml.org,2002:str", text, style="|" if "\n" in text else None))


def load(root, path):
    try:
        text = release_inputs.read(root, path)
        return yaml.load(text, Loader=Loader), text
    except (OSError, UnicodeDecodeError, yaml.YAMLError) as error:
        raise Refused(f"{path} cannot be read: {error}") from None


def dump(data):
    return yaml.dump(data, Dumper=Dumper, sort_keys=True, width=1000, allow_unicode=True,
                     default_flow_style=False)


def shape_problems(workflow):
    """The ways the workflow is not shaped as the rules below read it."""
    if not isinstance(workflow, dict):
        return ["the workflow is not a mapping of keys"]
    jobs = workflow.get("jobs")
    if not isinstance(jobs, dict) or not jobs:
        return ["the workflow's jobs are not a mapping of jobs"]
    problems = []
    for name, job in jobs.items():
        if not isinstance(job, dict) or not isinstance(job.get("steps"), list) \
                or not all(isinstance(step, dict) for step in job["steps"]):
            problems.append(f"the job {name} is not a mapping with a list of steps")
            continue
        for where, data in [(name, job)] + [(f"{name}: step {i + 1}", s) for i, s in enumerate(job["steps"])]:
            for key in ("env", "with", "permissions"):
                if not isinstance(data.get(key), (dict, type(None))) and not (key == "permissions"
                                                                               and isinstance(data[key], str)):
                    problems.append(f"{where} has {key} {data[key]!r}, not a mapping")
    if not isinstance(workflow.get("env"), (dict, type(None))):
        problems.append(f"the workflow has env {workflow['env']!r}, not a mapping")
    return problems


# === The reviewed copy and its variation points ===================================================


def pin_comments(text):
    """For each `uses:` ref, the comment every line that uses it carries."""
    found = {}
    for uses, comment in re.findall(r"uses:\s*['\"]?([^\s'\"#]+)['\"]?[ \t]*(?:#[ \t]*(\S*))?[ \t]*$",
                                    text, re.MULTILINE):
        found.setdefault(uses, set()).add(comment)
    return {uses: comments.pop() for uses, comments in found.items() if len(comments) == 1}


def major(uses, comments):
    """actions/x@v4, @v4.2.2 and @<commit> # v4.2.2 are all actions/x@v4."""
    action, _, ref = uses.partition("@")
    if re.fullmatch(r"[0-9a-f]{40}", ref):
        ref = comments.get(uses) or ref
    found = re.fullmatch(r"(v\d+)(?:\.\d+){0,2}", ref)
    return f"{action}@{found.group(1)}" if found else uses


def names(job, variable):
    """Whether the job names the variable anywhere but as a key of its own env."""
    text = json.dumps({k: v for k, v in job.items() if k != "env"}, default=str) \
        + json.dumps(list((job.get("env") or {}).values()), default=str)
    return re.search(rf"(?<![\w-]){re.escape(variable)}(?![\w-])", text) is not None


def normalize(workflow, text):
    """The workflow with its variation points taken out."""
    normal = copy.deepcopy(workflow)
    normal.pop("concurrency", None)
    on = normal.get("on")
    if isinstance(on, (str, list)):  # the short forms of the triggers
        normal["on"] = {str(event): None for event in ([on] if isinstance(on, str) else on)}
    elif isinstance(on, dict):  # `workflow_dispatch: {}` reads as `workflow_dispatch:`
        normal["on"] = {event: None if value == {} else value for event, value in on.items()}
    comments = pin_comments(text)
    for job in normal["jobs"].values():
        job.pop("concurrency", None)
        if isinstance(job.get("timeout-minutes"), int) and job["timeout-minutes"] >= 30:
            del job["timeout-minutes"]
        if isinstance(job.get("runs-on"), str) and re.fullmatch(r"ubuntu-(latest|\d+\.\d+)", job["runs-on"]):
            job["runs-on"] = "ubuntu"
        steps = []
        for step in job["steps"]:
            step.pop("name", None)
            if set(step) == {"run"} and VERSION_STEP.fullmatch(str(step["run"]).strip()):
                continue
            if isinstance(step.get("uses"), str):
                step["uses"] = major(step["uses"], comments)
                if isinstance(step.get("with"), dict):
                    step["with"].pop(HARMLESS_INPUTS.get(step["uses"].partition("@")[0]), None)
                    if not step["with"]:
                        del step["with"]
            steps.append(step)
        job["steps"] = steps
    # Each variable of the workflow's env, in the env of the jobs that name it.
    top = normal.get("env") or {}
    for variable in list(top):
        readers = [job for job in normal["jobs"].values() if names(job, variable)]
        for job in readers:
            job["env"] = {variable: top[variable], **(job.get("env") or {})}
        if readers:
            del top[variable]
    if not top:
        normal.pop("env", None)
    return normal


def differences(reviewed, current):
    """The unified diff of the two, section by section (the workflow's own
    keys, then each job)."""
    def sections(data):
        jobs = data.get("jobs") if isinstance(data.get("jobs"), dict) else {}
        return {"the workflow": {k: v for k, v in data.items() if k != "jobs"},
                **{f"jobs.{name}": job for name, job in jobs.items()}}

    old, new = sections(reviewed), sections(current)
    lines = []
    for key in dict.fromkeys([*old, *new]):
        if old.get(key) != new.get(key):
            lines += difflib.unified_diff(dump(old[key]).splitlines() if key in old else [],
                                          dump(new[key]).splitlines() if key in new else [],
                                          f"reviewed {key}", f"workflow {key}", lineterm="")
    return lines


# === The invariants ==============================================================================


def bare(condition):
    """A condition without its optional ${{ }}."""
    return re.sub(r"^\$\{\{\s*|\s*\}\}$", "", str(condition).strip())


def normal_path(path):
    path = path.replace("\\", "/").strip().strip("'\"")
    while path.startswith("./"):
        path = path[2:]
    return path.rstrip("/")


def walk(data, path=""):
    """Every value in data, with where it is (jobs.pack.steps[1].env.X)."""
    if isinstance(data, dict):
        for key, value in data.items():
            yield from walk(value, f"{path}.{key}" if path else str(key))
    elif isinstance(data, list):
        for i, value in enumerate(data):
            yield from walk(value, f"{path}[{i}]")
    else:
        yield path, data


class Step:
    def __init__(self, workflow, job_name, index, data):
        self.job_name, self.index, self.data = job_name, index, data
        job = workflow["jobs"][job_name]
        self.env = {**(workflow.get("env") or {}), **(job.get("env") or {}), **(data.get("env") or {})}
        self.run = " ".join(str(data.get("run", "")).split())
        self.action = str(data.get("uses", "")).partition("@")[0]
        self.where = f"jobs.{job_name}.steps[{index}]"

    def expand(self, text):
        """The text with its env variables written in (as expressions, pwsh
        and bash spell them) and the workspace as the empty folder."""
        text = re.sub(r"\$\{\{\s*github\.workspace\s*\}\}/?|\$env:GITHUB_WORKSPACE/?|\$\{?GITHUB_WORKSPACE\}?/?",
                      "", str(text))
        for _ in range(3):  # env values may name each other
            text = re.sub(r"\$\{\{\s*env\.(\w+)\s*\}\}|\$env:(\w+)|\$\{(\w+)\}|\$(\w+)",
                          lambda m: str(self.env.get(next(g for g in m.groups() if g), m.group(0))), text)
        return text

    def __str__(self):
        return f"{self.job_name}: step '{self.data.get('name') or self.data.get('uses') or self.run}'"


def event_text(expression, env, depth=0):
    """The contexts in an expression that may carry text from the event."""
    unsafe = []
    for found in CONTEXT.finditer(re.sub(r"'(?:[^']|'')*'", "''", expression)):
        name = re.sub(r"\s+", "", found.group(0))
        if not SAFE_IN_RUN.fullmatch(name):
            unsafe.append(name)
        elif name.startswith("env.") and depth < 3:
            for inner in re.findall(r"\$\{\{(.*?)\}\}", str(env.get(name[4:], ""))):
                unsafe += [f"{name} ({inside})" for inside in event_text(inner, env, depth + 1)]
    return unsafe


def capitals(data, fail, path="", own=False):
    """Keys in capitals: GitHub reads keys without case, so `If:` is an if
    that the rules below, reading `if`, would not see. Variable names and
    job ids (own=True) are the workflow's own."""
    items = data.items() if isinstance(data, dict) else enumerate(data) if isinstance(data, list) else ()
    for key, value in items:
        if isinstance(data, dict) and not own and str(key) != str(key).lower():
            fail(f"keys: {path or 'the workflow'} has {key}, in capitals, which GitHub reads as "
                 f"{str(key).lower()}: write it so")
        capitals(value, fail, f"{path}.{key}" if path else str(key), isinstance(data, dict) and key in ("env", "jobs"))


def check_invariants(root, workflow, fail):
    capitals(workflow, fail)
    jobs = workflow["jobs"]
    steps = [Step(workflow, name, i, data) for name, job in jobs.items() for i, data in enumerate(job["steps"])]
    runs = [s for s in steps if s.run]

    # What GitHub refuses that a loader lets through.
    for name, job in jobs.items():
        ids = [s.get("id") for s in job["steps"] if "id" in s]
        if len(ids) != len(set(ids)):
            fail(f"refused: {name} gives two steps the same id, which GitHub refuses")
        needs = job.get("needs") or []
        for needed in [needs] if isinstance(needs, str) else needs:
            if needed not in jobs:
                fail(f"refused: {name} needs {needed}, which is no job of the workflow")
    others = sorted(set(os.listdir(os.path.join(root, os.path.dirname(WORKFLOW)))) - {os.path.basename(WORKFLOW)})
    for other in others:
        fail(f"workflows: .github/workflows also holds {other}, which this check does not read and "
             "which could publish unchecked")

    for name, job in jobs.items():
        if "continue-on-error" in job:
            fail(f"continue-on-error: {name} has continue-on-error, so GitHub reports it passed to the "
                 "jobs that need it even when it failed")
    shells = [("the workflow's defaults", workflow), *((f"{n}'s defaults", j) for n, j in jobs.items())]
    for where, shell in [(w, ((d.get("defaults") or {}).get("run") or {}).get("shell")) for w, d in shells] \
            + [(str(step), step.data.get("shell")) for step in steps]:
        if shell is not None and shell not in SHELLS:
            fail(f"shell: {where} runs under {shell!r}, a template that can drop a failure's exit status: "
                 f"name one of {', '.join(SHELLS)}, or none")
    for step in steps:
        if "continue-on-error" in step.data:
            fail(f"continue-on-error: {step} has continue-on-error, so its job goes on and passes "
                 "when it fails")
    for step in runs:
        if re.search(r"[\n;&|`]|\$\(", str(step.data["run"]).strip()):
            fail(f"one command: {step} runs {step.run!r}, more than one command: a later one can hide "
                 "an earlier failure (put the logic in a script of tools/ that the tests run)")
        if re.search(r"\bpip3?\b", step.run) and not re.fullmatch(PIP, step.run):
            fail(f"hashes: {step} runs {step.run!r}: packages are installed only as {PIP}")
        if re.search(r"GITHUB_(ENV|PATH)\b", step.run):
            fail(f"env: {step} writes GITHUB_ENV or GITHUB_PATH, which change the later steps' variables "
                 "or programs behind this check's back")
        for path in re.findall(r"(?<![\w./-])(?:\./)?((?:tools|\.ci|docs)/[\w./-]*\w)", step.run):
            if not os.path.isfile(os.path.join(root, path)):
                fail(f"files: {step} names {path}, which does not exist")
        for expression in re.findall(r"\$\{\{(.*?)\}\}", step.run):
            for unsafe in event_text(expression, step.env):
                fail(f"event text: {step} writes ${{{{{expression}}}}} into its run script, and {unsafe} "
                     "may carry text from the event (a branch name, a title), which the shell would run "
                     "as code: hand it over in env and read the variable")

    publishing = check_publishing(workflow, steps, check_gates(runs, fail), fail)
    check_access(workflow, publishing, fail)
    check_dll_paths(root, steps, fail)
    check_sdk(steps, fail)


def check_gates(runs, fail):
    """The gates, each one step that nothing can skip; returns the gates by job."""
    gate_jobs = {}
    for gate, command in GATES.items():
        found = [s for s in runs if re.fullmatch(command, s.run)]
        if len(found) != 1:
            fail(f"gates: {len(found)} steps run exactly {gate} ({command}), not one")
            continue
        step = found[0]
        gate_jobs.setdefault(step.job_name, []).append(gate)
        if "if" in step.data:
            fail(f"gates: {step}, {gate}, has if: {step.data['if']}, which can skip it")
    return gate_jobs


def check_publishing(workflow, steps, gate_jobs, fail):
    """One gh step, on v* tags only, after every gate, in a job that runs
    nothing else; returns it."""
    publishing = [s for s in steps if s.run and s.run.split()[0] == "gh"]
    if len(publishing) != 1:
        return fail(f"publishing: {len(publishing)} steps run gh, not one")
    step, publisher = publishing[0], publishing[0].job_name
    job = workflow["jobs"][publisher]
    if not re.fullmatch(PUBLISHING, step.run):
        fail(f"publishing: {step} does not run gh release create \"$GITHUB_REF_NAME\", the tag the tag "
             "check held against the version")
    conditions = [str(c) for c in [job.get("if")] + [s.get("if") for s in job["steps"]] if c]
    terms = [t.strip() for c in (job.get("if"), step.data.get("if")) if c for t in bare(c).split("&&")]
    if TAG_TEST not in terms or any("||" in c or re.search(r"\b(always|failure|cancelled)\s*\(", c)
                                    for c in conditions):
        fail(f"publishing: {step} can run on other refs than a v* tag, or after a failure: its job or it "
             f"must be gated by {TAG_TEST}, joined by && only, and no if in {publisher} may hold "
             "always(), failure() or cancelled()")
    needs = job.get("needs") or []
    needs = [needs] if isinstance(needs, str) else needs
    for gate_job, gates in gate_jobs.items():
        if gate_job not in needs:
            fail(f"publishing: {publisher} does not need {gate_job} (needs:), which holds "
                 f"{' and '.join(gates)}")
    for other in (s for s in steps if s.job_name == publisher and s is not step):
        if other.run or other.action not in PUBLISHER_ACTIONS:
            fail(f"publishing: {other} {'runs ' + other.run if other.run else 'uses ' + other.action} in "
                 f"the job that can write, which only fetches artefacts and runs gh")
    if not any(TOKEN.search(str((step.data.get("env") or {}).get(v, ""))) for v in TOKEN_VARIABLES):
        fail(f"token: {step} has no GH_TOKEN to publish with")
    return step


def check_access(workflow, publishing, fail):
    """Write access and the token: the publishing job and step alone."""
    publisher = publishing.job_name if publishing else None
    default = workflow.get("permissions")
    if default is None or "write" in json.dumps(default):
        fail("permissions: the workflow's default token may write (set permissions: contents: read)")
    for name, job in workflow["jobs"].items():
        permissions = job.get("permissions", default)
        writes = {k for k, v in permissions.items() if v == "write"} if isinstance(permissions, dict) \
            else {"everything"} if permissions == "write-all" else set()
        if name == publisher and writes != {"contents"}:
            fail(f"permissions: {name} may write {', '.join(sorted(writes)) or 'nothing'}, not contents alone")
        elif name != publisher and writes:
            fail(f"permissions: {name} may write, but does not publish")
    allowed = [f"{publishing.where}.env.{v}" for v in TOKEN_VARIABLES] if publishing else []
    for where, value in walk(workflow):
        if isinstance(value, str) and TOKEN.search(value) and where not in allowed:
            fail(f"token: {where} gets the token, which only the publishing step may have")


def check_dll_paths(root, steps, fail):
    """The DLL and its PDB where the bakkesmod preset puts them, and the DLL
    check on that DLL."""
    folders = {kind: release_inputs.output_folder(root, variable) for kind, variable in
               (("dll", "CMAKE_RUNTIME_OUTPUT_DIRECTORY"), ("pdb", "CMAKE_PDB_OUTPUT_DIRECTORY"))}
    for kind, variable in (("dll", "CMAKE_RUNTIME_OUTPUT_DIRECTORY"), ("pdb", "CMAKE_PDB_OUTPUT_DIRECTORY")):
        if folders[kind] is None:
            fail(f"dll: CMakeLists.txt sets no {variable} (once, below the build folder)")
    for step in steps:
        for _, value in walk(step.data):
            for path in re.findall(rf"[^\s'\"`,;()]*{DLL_NAME}\.(?:dll|pdb)\b", step.expand(value)):
                folder, _, file = normal_path(path).rpartition("/")
                wanted = folders[file.rpartition(".")[2]]
                if folder and wanted and folder != wanted:
                    fail(f"dll: {step} names {normal_path(path)}, but the bakkesmod preset puts it in {wanted}")
        checked = re.fullmatch(GATES["the DLL check"], step.run)
        if checked and normal_path(step.expand(checked.group(1))) != f"{folders['dll']}/{DLL_NAME}.dll":
            fail(f"dll: {step} checks {checked.group(1)}, not the DLL the build writes")


def check_sdk(steps, fail):
    """The SDK checked out once, from its repository, at a full commit."""
    sdks = [s for s in steps if s.action == "actions/checkout" and (s.data.get("with") or {}).get("repository")]
    if len(sdks) != 1:
        return fail(f"sdk: {len(sdks)} steps check out another repository than the project, not one, the SDK")
    given = sdks[0].data["with"]
    if given["repository"] != SDK_REPOSITORY:
        fail(f"sdk: the SDK comes from {given['repository']}, not {SDK_REPOSITORY}")
    ref = sdks[0].expand(given.get("ref", ""))
    if not re.fullmatch(r"[0-9a-f]{40}", ref):
        fail(f"sdk: the SDK is checked out at {ref!r}, which is not pinned to a full commit")


# === The whole check =============================================================================


def presets_named(workflow):
    """(where, "configure" | "build", preset) for each preset a run step names."""
    return [(f"jobs.{name}", "build" if build else "configure", preset)
            for name, job in workflow["jobs"].items() for step in job["steps"]
            for build, preset in re.findall(r"cmake (--build )?.*?--preset[ =](\S+)", str(step.get("run", "")))]


def check_repository(root, accepting=False):
    """Every failure of the release inputs under root, as texts; the version;
    and the workflow's normalized form (None when it cannot be read)."""
    failures = []
    try:
        version = header_version(root)
    except SystemExit as error:  # it names what is wrong with the header
        return [str(error)], None, None
    try:
        json.loads(release_inputs.read(root, "CMakePresets.json"))
    except (OSError, ValueError) as error:
        return [f"presets: CMakePresets.json cannot be read as presets: {error}"], version, None
    try:
        workflow, text = load(root, WORKFLOW)
        problems = shape_problems(workflow)
        if problems:
            return problems, version, None
        normal = normalize(workflow, text)
        check_invariants(root, workflow, failures.append)
        failures += release_inputs.presets(root, presets_named(workflow))
        failures += release_inputs.runtime(root)
        failures += release_inputs.version_has_one_home(root, version)
        if not accepting:
            if not os.path.isfile(os.path.join(root, REVIEWED)):
                failures.append(f"reviewed: there is no reviewed copy {REVIEWED}: review the workflow, "
                                f"then write it with {ACCEPT}")
            else:
                diff = differences(load(root, REVIEWED)[0], normal)
                if diff:
                    failures.append(f"reviewed: the workflow differs from its reviewed copy ({REVIEWED}):\n"
                                    + "\n".join(diff) + "\nIf the change is meant, review what it does to a "
                                    f"release, then accept it with {ACCEPT}")
    except Refused as error:
        return [f"refused: {error}"], version, None
    except Exception as error:  # a shape the rules do not expect fails; it does not crash
        return failures + [f"the release inputs have a shape this check does not model, where it met "
                           f"{type(error).__name__}: {error}"], version, None
    return list(dict.fromkeys(failures)), version, normal


def main():
    arguments = sys.argv[1:]
    accepting = "--accept" in arguments
    arguments = [a for a in arguments if a != "--accept"]
    if len(arguments) > 1 or any(a.startswith("-") for a in arguments):
        print(__doc__.rstrip().rsplit("\n", 1)[1].strip(), file=sys.stderr)
        return 2
    root = os.path.abspath(arguments[0] if arguments else os.path.join(os.path.dirname(__file__), ".."))
    found, version, normal = check_repository(root, accepting)
    if found:
        print("FAIL: the release path of the DLL:\n" + "\n".join(
            "  " + failure.replace("\n", "\n    ") for failure in found), file=sys.stderr)
        if accepting:
            print(f"Nothing accepted: {REVIEWED} is written only while the rest passes.", file=sys.stderr)
        return 1
    if accepting:
        with open(os.path.join(root, REVIEWED), "w", encoding="utf-8", newline="\n") as f:
            f.write(REVIEWED_HEADER + dump(normal))
        print(f"accepted: {REVIEWED} now holds the workflow as reviewed")
        return 0
    print(f"ok windows-dll workflow as reviewed, and release inputs, version {version} "
          "(read as data here; the workflow has not been run from here)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
