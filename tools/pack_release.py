#!/usr/bin/env python3
"""Packs a release from the Windows job's artefact: the players' zip
TallyLoomMMR-<version>.zip, the symbols zip TallyLoomMMR-<version>-symbols.zip
and the release page's text, notes.md.

The players' zip holds the DLL, BUILT-AGAINST.txt and docs/players.txt as
README.txt (plain text with CR LF line ends, for Notepad), never the PDB. The
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
# From the artefact, as they are.
PLAYERS = ["TallyLoomMMR.dll", "BUILT-AGAINST.txt"]
SYMBOLS = ["TallyLoomMMR.pdb", "BUILT-AGAINST.txt"]


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
            f"**TallyLoomMMR-{version}.zip** below; its README.txt, shown here, says "
            f"how to install, update and remove it.\n\n"
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
    missing = [name for name in dict.fromkeys(PLAYERS + SYMBOLS)
               if not os.path.isfile(os.path.join(args.source, name))]
    if missing:
        sys.exit(f"pack_release: {args.source} has no {', '.join(missing)}")

    page = players_page(args.releases)
    os.makedirs(args.target, exist_ok=True)
    players = os.path.join(args.target, f"TallyLoomMMR-{args.version}.zip")
    with zipfile.ZipFile(players, "w", zipfile.ZIP_DEFLATED) as archive:
        for name in PLAYERS:
            archive.write(os.path.join(args.source, name), name)
        archive.writestr("README.txt", page.replace("\r\n", "\n").replace("\n", "\r\n"))
    symbols = os.path.join(args.target, f"TallyLoomMMR-{args.version}-symbols.zip")
    with zipfile.ZipFile(symbols, "w", zipfile.ZIP_DEFLATED) as archive:
        for name in SYMBOLS:
            archive.write(os.path.join(args.source, name), name)
    with open(os.path.join(args.target, "notes.md"), "w", encoding="utf-8", newline="\n") as f:
        f.write(notes(args.version, page))
    print(f"{players}: {', '.join(PLAYERS + ['README.txt'])}")
    print(f"{symbols}: {', '.join(SYMBOLS)}")


if __name__ == "__main__":
    main()
