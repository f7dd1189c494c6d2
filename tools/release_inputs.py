"""The files the release workflow builds from, as far as the release depends
on them: CMakePresets.json (as CMake and Visual Studio read it), the runtime
and PDB settings of the CMake files, where they look for the host's Dear
ImGui, the version resource, and the version's one home.
tools/check_workflow.py runs these checks beside its own; each returns its
failures as a list of texts.
"""
import functools
import json
import os
import re
import shutil
import subprocess
import tempfile

VERSION_HOME = os.path.join("plugin", "PluginVersion.h")
# Where a build input could write the version again.
BUILD_INPUTS = ["CMakeLists.txt", "cmake", "plugin", ".github", "tools"]


def read(root, *parts):
    with open(os.path.join(root, *parts), encoding="utf-8") as f:
        return f.read()


def cmake_code(root, *parts):
    """A CMake file without its comments, so that a line commented out is not read as set."""
    return re.sub(r"#[^\n]*", "", read(root, *parts))


# What the bakkesmod presets may hold: a key, or a value of a listed key,
# outside this fails (a compiler flag or an environment variable in a preset
# changes the DLL as surely as the CMake files do).
BAKKESMOD_CONFIGURE = {
    "name": None, "displayName": None, "description": None, "condition": None,
    "generator": ["Visual Studio 17 2022"], "architecture": ["x64"], "binaryDir": None,
    "cacheVariables": {"TALLYLOOM_SDK_STANDIN": ["OFF"], "CMAKE_CONFIGURATION_TYPES": ["Release"],
                       "BAKKESMOD_SDK_DIR": None},
}
BAKKESMOD_BUILD = {"name": None, "condition": None, "configurePreset": ["bakkesmod"],
                   "configuration": ["Release"]}


def preset_problems(preset, model, where):
    problems = []
    for key, value in preset.items():
        if key not in model:
            problems.append(f"presets: {where} has {key}, which this check does not model")
        elif isinstance(model[key], list) and value not in model[key]:
            problems.append(f"presets: {where} has {key} {value!r}, which this check does not model")
        elif isinstance(model[key], dict):
            problems += preset_problems(value if isinstance(value, dict) else {"(not a mapping)": value},
                                        model[key], f"{where} {key}")
    return problems


def version_has_one_home(root, version):
    """No build input but the header writes the version, in either of the
    forms a build input would (A.B.C.D, or A,B,C,D as a resource has it)."""
    failures = []
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
                    failures.append(f"version: {relative} repeats the version {form} "
                                    f"(its one home is {VERSION_HOME})")
    return failures


# --- Presets ---------------------------------------------------------------------------------------


@functools.lru_cache(maxsize=None)
def cmake_presets(contents):
    """The presets CMake offers from a CMakePresets.json with these contents,
    by kind, or the error it prints."""
    with tempfile.TemporaryDirectory(prefix="tallyloom-presets-") as folder:
        with open(os.path.join(folder, "CMakePresets.json"), "w", encoding="utf-8") as f:
            f.write(contents)
        run = subprocess.run(["cmake", "--list-presets=all"], cwd=folder, capture_output=True,
                             text=True)
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


def presets(root, named):
    """named: (where, "configure" | "build", preset name) for each preset the
    workflow names."""
    failures = []
    try:
        data = json.loads(read(root, "CMakePresets.json"))
        configure = {p["name"]: p for p in data["configurePresets"]}
        build = {p["name"]: p for p in data.get("buildPresets", [])}
    except (ValueError, KeyError, TypeError) as error:
        return [f"presets: CMakePresets.json cannot be read as presets: {error!r}"]
    for where, kind, name in named:
        if name not in (build if kind == "build" else configure):
            failures.append(f"presets: {where} names {name}, which is not a {kind} preset")
    if "bakkesmod" not in configure or "bakkesmod" not in build:
        return failures + ["presets: no bakkesmod preset"]
    failures += preset_problems(configure["bakkesmod"], BAKKESMOD_CONFIGURE, "the bakkesmod configure preset")
    failures += preset_problems(build["bakkesmod"], BAKKESMOD_BUILD, "the bakkesmod build preset")
    if build["bakkesmod"].get("configuration") != "Release":
        failures.append("presets: the bakkesmod build preset does not build Release")
    types = (configure["bakkesmod"].get("cacheVariables") or {}).get("CMAKE_CONFIGURATION_TYPES")
    if types != "Release":
        failures.append(f"presets: bakkesmod offers {types!r}, not Release only")

    schema = data.get("version")
    if not isinstance(schema, int) or schema > 5:
        failures.append(f"presets: schema version {schema}; Visual Studio 2022 reads 5 at most")
    if shutil.which("cmake") is None:
        return failures + ["presets: no cmake here to read CMakePresets.json with"]
    hidden = {kind: {p["name"] for p in data.get(f"{kind}Presets", []) if p.get("hidden")}
              for kind in ("configure", "build", "test")}
    every = {kind: {p["name"] for p in data.get(f"{kind}Presets", [])} - hidden[kind]
             for kind in ("configure", "build", "test")}
    text = read(root, "CMakePresets.json")
    here, error = cmake_presets(text)
    if here is None:
        return failures + [f"presets: CMake cannot read CMakePresets.json: {error}"]
    for kind in every:
        linux = every[kind] - {"bakkesmod"}
        if here.get(kind, set()) != linux:
            failures.append(f"presets: on Linux CMake offers {kind} presets "
                            f"{sorted(here.get(kind, set()))}, not {sorted(linux)}")
    # As on Windows: the host names in the conditions swapped.
    swapped = re.sub(r'"(Linux|Windows)"', lambda m: '"Windows"' if m.group(1) == "Linux"
                     else '"Linux"', text)
    there, error = cmake_presets(swapped)
    if there is None:
        failures.append(f"presets: CMake cannot read the swapped file: {error}")
    else:
        for kind in ("configure", "build"):
            if there.get(kind, set()) != {"bakkesmod"} & every[kind]:
                failures.append(f"presets: on Windows CMake would offer {kind} presets "
                                f"{sorted(there.get(kind, set()))}, not bakkesmod alone")
    if isinstance(schema, int) and schema > 1:
        lower, _ = cmake_presets(re.sub(r'"version":\s*\d+', f'"version": {schema - 1}', text, count=1))
        if lower is not None:
            failures.append(f"presets: schema version {schema}, but the contents need only {schema - 1}")
    return failures


def output_folder(root, variable):
    """Where the bakkesmod build puts what CMakeLists.txt sends to variable:
    the preset's binaryDir, that folder, and the configuration's own folder;
    None unless CMakeLists.txt sets it once, below the build folder."""
    lists = cmake_code(root, "CMakeLists.txt")
    match = re.search(rf"set\({variable}\s+\$\{{CMAKE_BINARY_DIR\}}/?([^)\s]*)\)", lists)
    if not match or len(re.findall(rf"\b{variable}\b", lists)) != 1:
        return None
    data = json.loads(read(root, "CMakePresets.json"))
    configure = next(p for p in data["configurePresets"] if p["name"] == "bakkesmod")
    build = next(p for p in data["buildPresets"] if p["name"] == "bakkesmod")
    binary = configure["binaryDir"].replace("${sourceDir}", "").strip("/")
    # Visual Studio's generator builds several configurations: each has a folder.
    config = build.get("configuration", "") if "Visual Studio" in configure.get("generator", "") else ""
    return "/".join(part for part in (binary, match.group(1), config) if part)


# --- The runtime, the PDB, Dear ImGui and the version resource ---------------------------------


def runtime(root):
    failures = []

    def check(condition, message):
        if not condition:
            failures.append(message)

    flags = cmake_code(root, "cmake", "CompilerFlags.cmake")
    msvc = flags.split("if(MSVC)", 1)[-1].split("endif()\n\n", 1)[0]
    # Every CMake file of the build: one choice of the runtime, the static one.
    code = "\n".join(cmake_code(root, path) for path in
                     ["CMakeLists.txt"] + sorted(os.path.join("cmake", name)
                                                 for name in os.listdir(os.path.join(root, "cmake"))
                                                 if name.endswith(".cmake")))
    runtimes = re.findall(r"(?<!\w)(?:CMAKE_)?MSVC_RUNTIME_LIBRARY\s+([^)\s]*)", code)
    check(runtimes == ["MultiThreaded"] and
          re.search(r"set\(CMAKE_MSVC_RUNTIME_LIBRARY MultiThreaded\)", msvc) is not None,
          "runtime: cmake/CompilerFlags.cmake does not choose the static runtime (MultiThreaded), "
          f"or the CMake files choose it more than once: {runtimes}")
    check(re.search(r"set\(CMAKE_MSVC_DEBUG_INFORMATION_FORMAT ProgramDatabase\)", msvc) is not None,
          "runtime: the Visual C++ build writes no program database (/Zi)")
    link = re.search(r"set\(TALLYLOOM_PRIVATE_LINK_OPTIONS ([^)]*)\)", msvc)
    options = set(link.group(1).split()) if link else set()
    check(options >= {"/DEBUG", "/OPT:REF", "/OPT:ICF"}
          and not any(o.upper().startswith("/DEBUG:") and o.upper() != "/DEBUG:FULL" for o in options),
          "runtime: the DLL is not linked with /DEBUG /OPT:REF /OPT:ICF (a PDB that holds the "
          "symbols itself, still optimised)")
    lists = cmake_code(root, "CMakeLists.txt")
    minimum = re.search(r"cmake_minimum_required\(VERSION (\d+)\.(\d+)", lists)
    check(minimum is not None and (int(minimum.group(1)), int(minimum.group(2))) >= (3, 25),
          "runtime: cmake_minimum_required is below 3.25, where CMAKE_MSVC_DEBUG_INFORMATION_FORMAT "
          "(policy CMP0141) does nothing")
    check(re.search(r"target_link_options\(TallyLoomMMR PRIVATE \$\{TALLYLOOM_PRIVATE_LINK_OPTIONS\}\)",
                    lists) is not None, "runtime: the DLL does not take TALLYLOOM_PRIVATE_LINK_OPTIONS")
    flags_at = lists.find("include(cmake/CompilerFlags.cmake)")
    dependencies_at = lists.find("include(cmake/Dependencies.cmake)")
    check(0 <= flags_at < dependencies_at,
          "runtime: the runtime is not chosen before the dependencies are brought in")
    dependencies = cmake_code(root, "cmake", "Dependencies.cmake")
    msvc_deps = dependencies.split("if(MSVC)", 1)[-1].split("elseif", 1)[0]
    check("find_package(fmt" not in msvc_deps and "FIND_PACKAGE_ARGS" not in msvc_deps
          and "FetchContent_MakeAvailable(fmt)" in msvc_deps,
          "runtime: the Visual C++ build may take a packaged {fmt}, which has the DLL runtime")

    # The workflow unpacks the host's Dear ImGui into a folder of its own
    # below the SDK's: CMake must look anywhere below it.
    check(re.search(r'file\(GLOB_RECURSE \w+ (?:FOLLOW_SYMLINKS )?"\$\{sdk\}/imgui\.cpp"\)',
                    cmake_code(root, "cmake", "BakkesModSdk.cmake")) is not None,
          "sdk: cmake/BakkesModSdk.cmake does not look for imgui.cpp anywhere below the SDK folder "
          "(GLOB_RECURSE \"${sdk}/imgui.cpp\"), where the workflow unpacks the host's Dear ImGui")
    rc = read(root, "plugin", "TallyLoomMMR.rc.in")
    values = dict(re.findall(r'VALUE "(\w+)", "([^"]*)"', rc))
    check(values.get("FileVersion") == values.get("ProductVersion") == "@PROJECT_VERSION@",
          "runtime: the version resource does not take its version texts from CMake")
    return failures
