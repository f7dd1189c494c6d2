#!/usr/bin/env python3
"""The machine's Debian archive as its apt sources name it, in either form apt
reads: one-line entries (sources.list and sources.list.d/*.list, which
Debian's own installer writes) or deb822 stanzas (sources.list.d/*.sources,
which container images use). Prints one line, "URI SUITE KEYRING": the first
enabled `deb` entry of the main archive (a suite without a -updates or
-security part, with the main component), and the keyring its entry names
with signed-by, or "-" when it names none (apt then trusts the keyrings in
/etc/apt/trusted.gpg.d, as the machine's own apt does).

  tools/debian_archive.py SOURCE_LIST SOURCE_PARTS_FOLDER

tools/fetch-imgui-source.sh runs it on the files apt-config names.
"""
import glob
import os
import re
import sys


def one_line_entries(text):
    """(types, URIs, suites, components, signed-by) of each one-line entry."""
    for line in text.splitlines():
        line = line.split("#", 1)[0].strip()
        match = re.match(r"(deb|deb-src)\s+(?:\[([^\]]*)\]\s+)?(\S+)\s+(\S+)\s*(.*)", line)
        if match:
            options = dict(option.partition("=")[::2] for option in (match.group(2) or "").split())
            yield ([match.group(1)], [match.group(3)], [match.group(4)], match.group(5).split(),
                   options.get("signed-by"))


def deb822_entries(text):
    for stanza in re.split(r"\n\s*\n", text):
        fields, name = {}, None
        for line in stanza.splitlines():
            if line.startswith("#"):
                continue
            if line[:1] in (" ", "\t") and name:  # a field continued (an inline key, say)
                fields[name] += "\n" + line.strip()
            elif ":" in line:
                name, _, value = line.partition(":")
                name = name.strip().lower()
                fields[name] = value.strip()
        if fields.get("enabled", "yes").lower() == "no":
            continue
        keyring = fields.get("signed-by")
        yield (fields.get("types", "").split(), fields.get("uris", "").split(),
               fields.get("suites", "").split(), fields.get("components", "").split(),
               keyring if keyring and "\n" not in keyring else None)


def entries(source_list, parts):
    files = [(source_list, one_line_entries)] if os.path.isfile(source_list) else []
    for path in sorted(glob.glob(os.path.join(parts, "*"))):
        if path.endswith(".list"):
            files.append((path, one_line_entries))
        elif path.endswith(".sources"):
            files.append((path, deb822_entries))
    for path, read in files:
        with open(path, encoding="utf-8", errors="replace") as f:
            yield from read(f.read())


def main_archive(source_list, parts):
    for types, uris, suites, components, keyring in entries(source_list, parts):
        if "deb" not in types or "main" not in components:
            continue
        for uri in uris:
            if uri.startswith("cdrom:"):
                continue
            for suite in suites:
                if "-" not in suite and "/" not in suite:
                    return uri, suite, keyring or "-"
    return None


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__.split("\n\n")[1].strip())
    found = main_archive(sys.argv[1], sys.argv[2])
    if found is None:
        sys.exit(f"debian_archive: neither {sys.argv[1]} nor {sys.argv[2]} names a Debian archive "
                 "(a deb entry with the main component)")
    print(" ".join(found))


if __name__ == "__main__":
    main()
