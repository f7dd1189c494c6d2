#!/usr/bin/env python3
"""tools/pack_release.py packs what a release publishes: the players' zip
holds the DLL as built, the SDK note and the players' page as README.txt (CR
LF, the releases page written in), never the PDB; the symbols zip holds the
PDB as built and the SDK note; the release page's text, rendered by GitHub's
own Markdown engine (cmark-gfm), tells players which zip is theirs and shows
the players' page character for character, backslashes and aligned blocks
included.

  pack_release_test.py REPOSITORY_ROOT
"""
import html
import os
import re
import subprocess
import sys
import tempfile
import zipfile

RELEASES = "https://example.invalid/owner/tallyloom/releases"
failed = []


def check(condition, message):
    if not condition:
        failed.append(message)


def render(markdown):
    return subprocess.run(["cmark-gfm"], input=markdown, capture_output=True, text=True,
                          check=True).stdout


def code_blocks(rendered):
    return [html.unescape(block) for block in
            re.findall(r"<pre><code[^>]*>(.*?)</code></pre>", rendered, re.DOTALL)]


def main():
    root = os.path.abspath(sys.argv[1])
    packer = os.path.join(root, "tools", "pack_release.py")
    sys.path.insert(0, os.path.dirname(packer))
    import pack_release  # noqa: E402

    with open(os.path.join(root, "docs", "players.txt"), encoding="utf-8") as f:
        page = f.read().replace("@RELEASES_URL@", RELEASES)

    # The renderer is the one that ate the backslashes: the plain page loses them.
    check("%USERPROFILE%\\.tallyloom" not in html.unescape(render(page)),
          "cmark-gfm keeps a backslash before '.': it is not the renderer GitHub uses")

    with tempfile.TemporaryDirectory(prefix="tallyloom-pack-") as work:
        artefact, out = os.path.join(work, "dll"), os.path.join(work, "release")
        os.makedirs(artefact)
        contents = {"TallyLoomMMR.dll": b"MZ\x90\x00the DLL\r\n\x00",
                    "TallyLoomMMR.pdb": b"Microsoft C/C++ MSF 7.00",
                    "BUILT-AGAINST.txt": b"TallyLoomMMR.dll 9.8.7.6, built ...\r\n"}
        for name, data in contents.items():
            with open(os.path.join(artefact, name), "wb") as f:
                f.write(data)

        run = subprocess.run([sys.executable, packer, "--version", "9.8.7.6", "--from", artefact,
                              "--to", out, "--releases", RELEASES], capture_output=True, text=True)
        check(run.returncode == 0, f"packing failed: {run.stderr}")
        with zipfile.ZipFile(os.path.join(out, "TallyLoomMMR-9.8.7.6.zip")) as archive:
            names = sorted(archive.namelist())
            check(names == ["BUILT-AGAINST.txt", "README.txt", "TallyLoomMMR.dll"],
                  f"the zip holds {names}")
            for name in ("TallyLoomMMR.dll", "BUILT-AGAINST.txt"):
                check(archive.read(name) == contents[name], f"{name} is not packed as it was built")
            readme = archive.read("README.txt")
            check(readme == page.replace("\n", "\r\n").encode("utf-8"),
                  "README.txt is not the players' page with CR LF and the releases page")
            check(b"@RELEASES_URL@" not in readme and RELEASES.encode() in readme,
                  "README.txt does not say where the releases are")
            check(b"plugin unload TallyLoomMMR" in readme, "README.txt has no update step")
        with zipfile.ZipFile(os.path.join(out, "TallyLoomMMR-9.8.7.6-symbols.zip")) as archive:
            names = sorted(archive.namelist())
            check(names == ["BUILT-AGAINST.txt", "TallyLoomMMR.pdb"], f"the symbols zip holds {names}")
            for name in names:
                check(archive.read(name) == contents[name], f"{name} is not kept as it was built")

        with open(os.path.join(out, "notes.md"), encoding="utf-8") as f:
            rendered = render(f.read())
        check(code_blocks(rendered) == [page], "the release page does not show the players' page "
              f"verbatim:\n{rendered}")
        check("TallyLoomMMR-9.8.7.6.zip" in rendered, "the release page does not name the zip")
        check("Players need only TallyLoomMMR-9.8.7.6.zip: TallyLoomMMR-9.8.7.6-symbols.zip holds "
              "the PDB" in rendered, "the release page does not say which zip players need")

        # A page that itself holds a fence cannot close the block early.
        tricky = "before\n```\nnot the end\n````\n%USERPROFILE%\\.tallyloom\n"
        check(code_blocks(render(pack_release.notes("1.2.3.4", tricky))) == [tricky],
              "a fence inside the page ends the code block")

        run = subprocess.run([sys.executable, packer, "--version", "9.8.7.6", "--from", out,
                              "--to", os.path.join(work, "again"), "--releases", RELEASES],
                             capture_output=True, text=True)
        check(run.returncode != 0 and "has no TallyLoomMMR.dll, BUILT-AGAINST.txt, TallyLoomMMR.pdb"
              in run.stderr, f"an artefact without the DLL is packed: {run.returncode} {run.stderr}")
        os.remove(os.path.join(artefact, "TallyLoomMMR.pdb"))
        run = subprocess.run([sys.executable, packer, "--version", "9.8.7.6", "--from", artefact,
                              "--to", os.path.join(work, "no-pdb"), "--releases", RELEASES],
                             capture_output=True, text=True)
        check(run.returncode != 0 and run.stderr.strip().endswith("has no TallyLoomMMR.pdb"),
              f"a release without its PDB is packed: {run.returncode} {run.stderr}")
        run = subprocess.run([sys.executable, packer, "--version", "v9.8.7.6", "--from", artefact,
                              "--to", out, "--releases", RELEASES], capture_output=True, text=True)
        check(run.returncode != 0 and "is no version" in run.stderr, "a tag is taken for a version")

    if failed:
        print("FAIL:\n" + "\n".join(failed), file=sys.stderr)
        sys.exit(1)
    print("ok the release zip and the release page")


if __name__ == "__main__":
    main()
