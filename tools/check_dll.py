#!/usr/bin/env python3
"""Checks a TallyLoomMMR.dll as the host and a player's Windows meet it: its
export table, its version resource and the DLLs it imports. It reads the file
with pefile, so it runs the same on the Windows runner, on the Visual C++ DLL
that players get, and here, on the MinGW test DLL and on copies of it broken
on purpose (tests/windows/check_dll_test.py).

  tools/check_dll.py DLL

It passes when:
  - the file is a 64-bit (x64) DLL whose export directory names it
    TallyLoomMMR.dll;
  - it exports getPlugin and deleteMe (code) and exports (data) under their
    plain names, which the host looks up, and nothing else under a plain name
    (decorated C++ names are the SDK base class's members);
  - its version resource (language 0409, code page 04B0) gives the version of
    plugin/PluginVersion.h as FileVersion and ProductVersion, in its texts and
    in its numbers, and the FileDescription and ProductName below;
  - it imports pluginsdk.dll (the host's) and otherwise only Windows' own
    system libraries: no C or C++ runtime DLL. The plugin links the static
    runtime, so it never depends on the msvcp140.dll that the game process
    happened to load first (an older one crashes in _Mtx_lock), nor on a
    redistributable a player may not have. System32 holds several of those
    too, so the runtime families are refused by name, and the system
    libraries are a list, the same here as on the runner.

Each failure is named; any failure exits 1.
"""
import fnmatch
import os
import sys

try:
    import pefile  # Debian's python3-pefile here; on the runner the pinned one (tools/check_dll.requirements.txt)
except ImportError:
    sys.exit("check_dll: pefile is missing: install Debian's python3-pefile (./tallyloom test does), or "
             "pip install --require-hashes -r tools/check_dll.requirements.txt")

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from version import header_version  # noqa: E402  tools/version.py: the header's version

NAME = "TallyLoomMMR.dll"
FUNCTIONS, DATA = ["getPlugin", "deleteMe"], ["exports"]
TEXTS = {"FileDescription": "TallyLoom MMR - BakkesMod plugin", "ProductName": "TallyLoom MMR"}
STRING_TABLE = "040904b0"  # U.S. English, Unicode
HOST_LIBRARY = "pluginsdk.dll"
# Visual C++ runtime and redistributable DLLs, and MinGW's shared runtime.
# (msvcrt.dll, Windows' own C library, which MinGW builds use, is not one.)
RUNTIME_FAMILIES = ["msvcp*", "vcruntime*", "ucrtbase*", "api-ms-win-crt-*", "concrt*", "vcomp*",
                    "msvcr[0-9]*", "mfc*", "vccorlib*", "libstdc++*", "libgcc*", "libwinpthread*"]
SYSTEM_LIBRARIES = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll",
                    "ole32.dll", "oleaut32.dll", "shlwapi.dll", "imm32.dll", "version.dll",
                    "ws2_32.dll", "bcrypt.dll", "ntdll.dll", "msvcrt.dll"}
API_SETS = ["api-ms-win-*", "ext-ms-win-*"]  # Windows' API sets, the runtime's aside
EXECUTABLE = 0x20000000  # IMAGE_SCN_MEM_EXECUTE


def export_problems(pe):
    directory = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
    if directory is None:
        return ["it has no export table"]
    problems = []
    name = (directory.name or b"").decode("ascii", "replace")
    if name != NAME:
        problems.append(f"its export directory names it {name!r}, not {NAME!r}")
    exported = {s.name.decode("ascii", "replace"): s.address for s in directory.symbols if s.name}
    for wanted in FUNCTIONS + DATA:
        if wanted not in exported:
            problems.append(f"the export table has no plain {wanted!r}")
            continue
        section = pe.get_section_by_rva(exported[wanted])
        code = section is not None and bool(section.Characteristics & EXECUTABLE)
        if code != (wanted in FUNCTIONS):
            problems.append(f"{wanted!r} is exported as {'code' if code else 'data'}, not as "
                            f"{'data' if code else 'code'}")
    for other in sorted(set(exported) - set(FUNCTIONS + DATA)):
        if not other.startswith(("?", "_Z")):  # Visual C++ and GCC decorations
            problems.append(f"it exports {other!r} under a plain name, which the host does not look up")
    return problems


def version_problems(pe, version):
    texts, problems = None, []
    for info in getattr(pe, "FileInfo", None) or []:
        for entry in info:
            for table in getattr(entry, "StringTable", []):
                if table.LangID.decode("ascii", "replace").lower() == STRING_TABLE:
                    texts = {k.decode("utf-8", "replace"): v.decode("utf-8", "replace")
                             for k, v in table.entries.items()}
    fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
    if texts is None or not fixed:
        return [f"it has no version resource with a string table {STRING_TABLE.upper()}"]
    for key, wanted in {"FileVersion": version, "ProductVersion": version, **TEXTS}.items():
        if texts.get(key) != wanted:
            problems.append(f"its {key} is {texts.get(key)!r}, not {wanted!r}")
    for key in ("FileVersion", "ProductVersion"):
        high, low = getattr(fixed[0], key + "MS"), getattr(fixed[0], key + "LS")
        numbers = f"{high >> 16}.{high & 0xFFFF}.{low >> 16}.{low & 0xFFFF}"
        if numbers != version:
            problems.append(f"its {key} numbers are {numbers}, not {version}")
    return problems


def import_problems(imports):
    """The problems of a list of imported DLL names."""
    names = [name.lower() for name in imports]
    problems = [] if HOST_LIBRARY in names else [f"it does not import {HOST_LIBRARY}"]
    for name, shown in zip(names, imports):
        family = next((f for f in RUNTIME_FAMILIES if fnmatch.fnmatchcase(name, f)), None)
        if family:
            problems.append(f"it imports {shown}, a C or C++ runtime DLL ({family}): the plugin must "
                            "link the static runtime (/MT)")
        elif name != HOST_LIBRARY and name not in SYSTEM_LIBRARIES and \
                not any(fnmatch.fnmatchcase(name, api) for api in API_SETS):
            problems.append(f"it imports {shown}, which is neither {HOST_LIBRARY} nor a Windows "
                            "system library (tools/check_dll.py lists those it knows)")
    return problems


def imported(pe):
    entries = getattr(pe, "DIRECTORY_ENTRY_IMPORT", []) + getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", [])
    return [entry.dll.decode("ascii", "replace") for entry in entries]


def load(path):
    """The DLL with the tables this check reads (not its debug data, which
    makes a MinGW DLL large)."""
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_" + name]
                                           for name in ("EXPORT", "IMPORT", "DELAY_IMPORT", "RESOURCE")])
    return pe


def check(path, version):
    """Every problem of the DLL at path, as texts, and what it found, for the log."""
    try:
        pe = load(path)
    except (OSError, pefile.PEFormatError) as error:
        return [f"{path} cannot be read as a Windows DLL: {error}"], []
    problems = []
    if pe.FILE_HEADER.Machine != pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]:
        problems.append("it is not a 64-bit (x64) library, which the host is")
    if not pe.is_dll():
        problems.append("it is not a DLL")
    problems += export_problems(pe) + version_problems(pe, version) + import_problems(imported(pe))
    return problems, imported(pe)


def main():
    if len(sys.argv) != 2 or sys.argv[1].startswith("-"):
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    version = header_version(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
    problems, imports = check(sys.argv[1], version)
    if problems:
        print(f"FAIL: {sys.argv[1]}:\n  " + "\n  ".join(problems), file=sys.stderr)
        return 1
    print(f"ok {sys.argv[1]}: exports {', '.join(FUNCTIONS + DATA)}; version {version}; "
          f"imports {', '.join(imports)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
