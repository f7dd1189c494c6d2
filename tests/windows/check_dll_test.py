#!/usr/bin/env python3
"""tools/check_dll.py, the check the workflow runs on the Visual C++ DLL, run
here on the MinGW DLL (which must pass) and on copies of it broken on purpose,
each of which must fail naming the break; and its verdict on imported DLL
names, family by family.

  check_dll_test.py --python PYTHON DLL
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

TOOLS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools")
sys.path.insert(0, TOOLS)
import check_dll  # noqa: E402
from version import header_version  # noqa: E402


def other_version(version):
    parts = version.split(".")
    return ".".join(parts[:3] + [str(int(parts[3]) + 1)])


def rename_export(old, new):
    def edit(pe):
        symbol = next(s for s in pe.DIRECTORY_ENTRY_EXPORT.symbols if s.name == old)
        symbol.name = new  # pefile writes it in place: no longer than the old name
    return edit


def rename_import(old, new):
    def edit(pe):
        entry = next(e for e in pe.DIRECTORY_ENTRY_IMPORT if e.dll == old)
        assert len(new) <= len(old)
        pe.set_bytes_at_rva(entry.struct.Name, new + b"\0" * (len(old) - len(new)))
    return edit


def version_text(key, value):
    def edit(pe):
        for info in pe.FileInfo[0]:
            for table in getattr(info, "StringTable", []):
                table.entries[key] = value.encode()
    return edit


def version_numbers(key, version):
    def edit(pe):
        parts = [int(p) for p in version.split(".")]
        setattr(pe.VS_FIXEDFILEINFO[0], key + "MS", parts[0] << 16 | parts[1])
        setattr(pe.VS_FIXEDFILEINFO[0], key + "LS", parts[2] << 16 | parts[3])
    return edit


def executable(section_of, on):
    def edit(pe):
        rva = next(s.address for s in pe.DIRECTORY_ENTRY_EXPORT.symbols if s.name == section_of)
        section = pe.get_section_by_rva(rva)
        section.Characteristics = (section.Characteristics | check_dll.EXECUTABLE) if on \
            else (section.Characteristics & ~check_dll.EXECUTABLE)
    return edit


def export_directory_name(new):
    def edit(pe):
        pe.set_bytes_at_rva(pe.DIRECTORY_ENTRY_EXPORT.struct.Name, new + b"\0")
    return edit


def broken_copies(version):
    """(what breaks, edit of the parsed DLL, texts the failure must hold)."""
    wrong = other_version(version)
    return [
        ("an export renamed", rename_export(b"getPlugin", b"getPlugim"),
         "the export table has no plain 'getPlugin'", "it exports 'getPlugim' under a plain name"),
        ("the record renamed", rename_export(b"exports", b"exportz"), "no plain 'exports'"),
        ("deleteMe renamed", rename_export(b"deleteMe", b"deleteMa"), "no plain 'deleteMe'"),
        ("the record in an executable section", executable(b"exports", True),
         "'exports' is exported as code, not as data"),
        ("the entry points in a section that does not execute", executable(b"getPlugin", False),
         "'getPlugin' is exported as data, not as code"),
        ("the library named otherwise in its export directory",
         export_directory_name(b"TallyLoomMMX.dll"), "names it 'TallyLoomMMX.dll'"),
        ("a wrong file version text", version_text(b"FileVersion", wrong),
         f"its FileVersion is '{wrong}', not '{version}'"),
        ("a wrong product version text", version_text(b"ProductVersion", wrong),
         f"its ProductVersion is '{wrong}', not '{version}'"),
        ("a wrong file version number", version_numbers("FileVersion", wrong),
         f"its FileVersion numbers are {wrong}, not {version}"),
        ("a wrong product version number", version_numbers("ProductVersion", wrong),
         f"its ProductVersion numbers are {wrong}, not {version}"),
        ("another description", version_text(b"FileDescription", "TallyLoom MMR - BakkesMod plugiN"),
         "its FileDescription is 'TallyLoom MMR - BakkesMod plugiN'"),
        ("another product name", version_text(b"ProductName", "TallyLoom MMX"),
         "its ProductName is 'TallyLoom MMX'"),
        # Adding an import descriptor to a linked DLL is beyond pefile; a
        # runtime DLL in place of one it imports is the same import table to
        # the loader.
        ("the C++ runtime imported", rename_import(b"KERNEL32.dll", b"MSVCP140.dll"),
         "it imports MSVCP140.dll, a C or C++ runtime DLL (msvcp*)"),
        ("the universal C runtime imported", rename_import(b"KERNEL32.dll", b"ucrtbase.dll"),
         "it imports ucrtbase.dll, a C or C++ runtime DLL (ucrtbase*)"),
        ("a redistributable imported", rename_import(b"msvcrt.dll", b"mfc140.dll"),
         "it imports mfc140.dll, a C or C++ runtime DLL (mfc*)"),
        ("the host's library replaced by the runtime", rename_import(b"pluginsdk.dll", b"vcruntime.dll"),
         "it does not import pluginsdk.dll"),
        ("a library of no system", rename_import(b"USER32.dll", b"EVIL32.dll"),
         "it imports EVIL32.dll, which is neither pluginsdk.dll nor a Windows system library"),
    ]


# Imported DLL names and what the check must say of each (None: nothing).
IMPORTS = [
    ("msvcp140.dll", "(msvcp*)"), ("MSVCP140_ATOMIC_WAIT.dll", "(msvcp*)"),
    ("VCRUNTIME140.dll", "(vcruntime*)"), ("vcruntime140_1.dll", "(vcruntime*)"),
    ("ucrtbase.dll", "(ucrtbase*)"), ("api-ms-win-crt-runtime-l1-1-0.dll", "(api-ms-win-crt-*)"),
    ("concrt140.dll", "(concrt*)"), ("vcomp140.dll", "(vcomp*)"), ("msvcr120.dll", "(msvcr[0-9]*)"),
    ("MSVCR100.dll", "(msvcr[0-9]*)"), ("mfc140u.dll", "(mfc*)"), ("vccorlib140.dll", "(vccorlib*)"),
    ("libstdc++-6.dll", "(libstdc++*)"), ("libgcc_s_seh-1.dll", "(libgcc*)"),
    ("libwinpthread-1.dll", "(libwinpthread*)"),
    ("KERNEL32.dll", None), ("msvcrt.dll", None), ("IMM32.dll", None), ("user32.dll", None),
    ("api-ms-win-core-synch-l1-2-0.dll", None),
    ("pluginsdk2.dll", "neither pluginsdk.dll nor a Windows system library"),
    ("msvcrt2.dll", "neither pluginsdk.dll nor a Windows system library"),
]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--python", required=True)
    parser.add_argument("dll")
    args = parser.parse_args()
    version = header_version(os.path.join(TOOLS, ".."))
    script = os.path.join(TOOLS, "check_dll.py")
    failed = []

    def run(path):
        done = subprocess.run([args.python, script, path], capture_output=True, text=True)
        return done.returncode, done.stdout + done.stderr

    code, output = run(args.dll)
    if code != 0:
        failed.append(f"the MinGW DLL fails:\n{output}")
    with tempfile.TemporaryDirectory(prefix="tallyloom-dll-") as work:
        for what, edit, *expected in broken_copies(version):
            pe = check_dll.load(args.dll)
            edit(pe)
            copy = os.path.join(work, "TallyLoomMMR.dll")
            pe.write(copy)
            pe.close()
            code, output = run(copy)
            if code != 1 or not all(e in output for e in expected) or "Traceback" in output:
                failed.append(f"{what}: expected exit 1 naming {expected!r}, got {code}:\n{output}")
        truncated = os.path.join(work, "truncated.dll")
        shutil.copy(args.dll, truncated)
        os.truncate(truncated, 100)
        code, output = run(truncated)
        if code != 1 or "cannot be read as a Windows DLL" not in output:
            failed.append(f"a truncated DLL: expected exit 1, got {code}:\n{output}")

    for name, expected in IMPORTS:
        problems = check_dll.import_problems(["pluginsdk.dll", name])
        if expected is None and problems or expected and not any(expected in p for p in problems):
            failed.append(f"import {name}: expected {expected or 'no problem'}, got {problems}")
    if check_dll.import_problems(["KERNEL32.dll"]) != ["it does not import pluginsdk.dll"]:
        failed.append("a DLL without pluginsdk.dll passes")

    if failed:
        print("FAIL:\n" + "\n".join(failed), file=sys.stderr)
        return 1
    print(f"ok the DLL check passes the MinGW DLL, fails {len(broken_copies(version)) + 1} broken "
          f"copies and judges {len(IMPORTS)} imported names")
    return 0


if __name__ == "__main__":
    sys.exit(main())
