#!/usr/bin/env python3
"""Packs a release from the Windows job's artefact: the players' zip
TallyLoomMMR-<version>.zip, the symbols zip TallyLoomMMR-<version>-symbols.zip
and the release page's text, notes.md.

The players' zip holds plugins/TallyLoomMMR.dll, and BUILT-AGAINST.txt and
docs/players.txt as README.txt in a folder TallyLoomMMR/, laid out as the
host's folder so that its Plugin Manager installs it; never the PDB. The
symbols zip holds the PDB and BUILT-AGAINST.txt: a crash report from a player
on that version can only be read with that very PDB, and a run's artefact
expires, while a release's files stay. The release page is rendered as
Markdown, which would eat the backslashes of Windows paths and collapse the
page's aligned blocks, so the notes show the same page in a code block,
verbatim. In both, @RELEASES_URL@ becomes the releases page.

  tools/pack_release.py --version V --from ARTEFACT_DIR --to OUT_DIR --releases URL
"""
import argparse
import os
import re
import sys
import zipfile

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
PLAYERS_PAGE = os.path.join(ROOT, "docs", "players.txt")
PAGE, FOLDER = "the players' page", "a folder"
# Each zip's entries, in order, and what each holds: a file of the artefact as
# it is, the players' page, or nothing (a folder).
# The players' zip is laid out as the host's own folder, which its Plugin
# Manager's "Install from ZIP" unpacks it into: the DLL in plugins/, where
# the host loads plugins from, and the two texts in a folder of the plugin's
# own, so that nothing of the host's or of another plugin is replaced. The
# Plugin Manager writes an entry only into a folder that already exists (for
# a missing one it makes a folder named like the entry and writes nothing),
# so the plugin's folder is an entry of its own, before its files.
PLAYERS = [("TallyLoomMMR/", FOLDER), ("TallyLoomMMR/README.txt", PAGE),
           ("TallyLoomMMR/BUILT-AGAINST.txt", "BUILT-AGAINST.txt"),
           ("plugins/TallyLoomMMR.dll", "TallyLoomMMR.dll")]
SYMBOLS = [("TallyLoomMMR.pdb", "TallyLoomMMR.pdb"), ("BUILT-AGAINST.txt", "BUILT-AGAINST.txt")]


def players_page(releases_url):
    with open(PLAYERS_PAGE, encoding="utf-8") as f:
        return f.read().replace("@RELEASES_URL@", releases_url)


def notes(version, page):
    # A fence longer than any run of backticks in the page, so nothing in it
    # can close the block early.
    longest = max((len(run) for run in re.findall(r"`+", page)), default=0)
    fence = "`" * max(3, longest + 1)
    body = page if page.endswith("\n") else page + "\n"
    return (f"TallyLoom MMR {version} for BakkesMod. Download "
            f"**TallyLoomMMR-{version}.zip** below; its TallyLoomMMR/README.txt, shown here, "
            f"says how to install, update and remove it.\n\n"
            f"Players need only TallyLoomMMR-{version}.zip: TallyLoomMMR-{version}-symbols.zip "
            f"holds the PDB, for reading crash reports.\n\n{fence}text\n{body}{fence}\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--version", required=True)
    parser.add_argument("--from", dest="source", required=True, help="the artefact's folder")
    parser.add_argument("--to", dest="target", required=True)
    parser.add_argument("--releases", required=True, help="the releases page's address")
    args = parser.parse_args()

    if not re.fullmatch(r"\d+\.\d+\.\d+\.\d+", args.version):
        sys.exit(f"pack_release: {args.version!r} is no version A.B.C.D")
    missing = [name for name in dict.fromkeys(source for _, source in PLAYERS + SYMBOLS)
               if name not in (PAGE, FOLDER) and not os.path.isfile(os.path.join(args.source, name))]
    if missing:
        sys.exit(f"pack_release: {args.source} has no {', '.join(missing)}")

    page = players_page(args.releases)
    os.makedirs(args.target, exist_ok=True)
    for name, layout in ((f"TallyLoomMMR-{args.version}.zip", PLAYERS),
                         (f"TallyLoomMMR-{args.version}-symbols.zip", SYMBOLS)):
        path = os.path.join(args.target, name)
        with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
            for entry, source in layout:
                if source == FOLDER:
                    archive.writestr(entry, b"")
                elif source == PAGE:  # plain text with CR LF, for Notepad
                    archive.writestr(entry, page.replace("\r\n", "\n").replace("\n", "\r\n"))
                else:
                    archive.write(os.path.join(args.source, source), entry)
        print(f"{path}: {', '.join(entry for entry, _ in layout)}")
    with open(os.path.join(args.target, "notes.md"), "w", encoding="utf-8", newline="\n") as f:
        f.write(notes(args.version, page))


if __name__ == "__main__":
    main()
