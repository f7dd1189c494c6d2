#!/usr/bin/env python3
"""tools/pack_release.py packs what a release publishes.

The players' zip installs the host's way: unpacked as the host's Plugin
Manager unpacks it ("Install from ZIP", its quirk included) into a stand-in of
the host's folder that already holds files of its own and of another plugin,
it puts the DLL as built at plugins/TallyLoomMMR.dll (so the Plugin Manager
loads it), the players' page (CR LF, the releases page written in) and the SDK
note in the plugin's own folder, writes nothing anywhere else and changes
nothing that was there; it never holds the PDB. The symbols zip holds the PDB
as built and the SDK note. The release page's text, rendered by GitHub's own
Markdown engine (cmark-gfm), tells players which zip is theirs and shows the
players' page character for character, backslashes and aligned blocks
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
# A stand-in of the host's folder (%APPDATA%\bakkesmod\bakkesmod): files of its
# own, another plugin, and its configuration.
HOST = {"README.txt": b"the host's own readme\r\n", "plugins/OtherPlugin.dll": b"MZ another plugin",
        "plugins/settings/otherplugin.set": b"Other plugin\r\n", "cfg/plugins.cfg": b"plugin load otherplugin\r\n",
        "cfg/config.cfg": b"tallyloom_enabled \"1\"\r\n", "data/.keep": b""}
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


def install_from_zip(zip_path, host):
    """What the Plugin Manager's "Install from ZIP" does (InstallZip in its
    PluginManager.cpp): each entry, in the zip's order, relative to the host's
    folder. It writes an entry only when the entry's folder exists; for a
    missing folder it makes a folder named like the entry itself and writes
    nothing. Returns the plugin it then loads (the name of a DLL directly
    under plugins/), or None: "Error installing from zip"."""
    loaded = None
    with zipfile.ZipFile(zip_path) as archive:
        for info in archive.infolist():
            path = os.path.join(host, info.filename)
            if not os.path.exists(os.path.dirname(path)):
                os.makedirs(path, exist_ok=True)
                continue
            if path.endswith(".dll") and os.path.dirname(path) == os.path.join(host, "plugins"):
                loaded = os.path.basename(path)[:-4]
            try:
                with open(path, "wb") as f:
                    f.write(archive.read(info))
            except IsADirectoryError:
                pass  # an entry whose name is a folder's: its stream fails, and writes nothing
    return loaded


def tree(folder):
    files = {}
    for at, _, names in os.walk(folder):
        for name in names:
            with open(os.path.join(at, name), "rb") as f:
                files[os.path.relpath(os.path.join(at, name), folder).replace(os.sep, "/")] = f.read()
    return files


def check_install(zip_path, work, page, contents):
    host = os.path.join(work, "host")
    for name, data in HOST.items():
        os.makedirs(os.path.dirname(os.path.join(host, name)), exist_ok=True)
        with open(os.path.join(host, name), "wb") as f:
            f.write(data)
    for attempt in ("install", "update"):  # the second finds its own folder there
        loaded = install_from_zip(zip_path, host)
        check(loaded == "TallyLoomMMR", f"{attempt}: the Plugin Manager loads {loaded!r}, not TallyLoomMMR")
        after = tree(host)
        for name, data in HOST.items():
            check(after.get(name) == data, f"{attempt}: {name}, there before, is changed or gone")
        written = sorted(set(after) - set(HOST))
        check(written == ["TallyLoomMMR/BUILT-AGAINST.txt", "TallyLoomMMR/README.txt",
                          "plugins/TallyLoomMMR.dll"], f"{attempt} writes {written}")
        check(after.get("plugins/TallyLoomMMR.dll") == contents["TallyLoomMMR.dll"],
              f"{attempt}: plugins/TallyLoomMMR.dll is not the DLL as built")
        check(after.get("TallyLoomMMR/BUILT-AGAINST.txt") == contents["BUILT-AGAINST.txt"],
              f"{attempt}: the SDK note is not as built")
        check(after.get("TallyLoomMMR/README.txt") == page.replace("\n", "\r\n").encode("utf-8"),
              f"{attempt}: README.txt is not the players' page with CR LF and the releases page")

    # The simulation itself: the zip of old, flat at its root, fails as the
    # Plugin Manager failed on it, and replaces the host's README.
    flat, old_host = os.path.join(work, "flat.zip"), os.path.join(work, "old-host")
    with zipfile.ZipFile(flat, "w") as archive:
        for name in ("TallyLoomMMR.dll", "README.txt", "BUILT-AGAINST.txt"):
            archive.writestr(name, b"x")
    os.makedirs(os.path.join(old_host, "plugins"))
    with open(os.path.join(old_host, "README.txt"), "wb") as f:
        f.write(HOST["README.txt"])
    check(install_from_zip(flat, old_host) is None and tree(old_host)["README.txt"] == b"x",
          "the Plugin Manager's stand-in installs the flat zip of old")


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
        players = os.path.join(out, "TallyLoomMMR-9.8.7.6.zip")
        with zipfile.ZipFile(players) as archive:
            names = archive.namelist()
            check(not any(name.endswith(".pdb") for name in names), f"the players' zip holds {names}")
            readme = archive.read("TallyLoomMMR/README.txt")
            check(b"@RELEASES_URL@" not in readme and RELEASES.encode() in readme,
                  "README.txt does not say where the releases are")
            # The host's way first; loading at every start through writeplugins,
            # never by editing cfg\plugins.cfg or reading the registry.
            check(0 <= readme.find(b'"Install from ZIP"') < readme.find(b"by hand")
                  and b"writeplugins" in readme and b"registry" not in readme.lower()
                  and b"plugins.cfg" not in readme, "README.txt does not install the host's way")
        check_install(players, work, page, contents)
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
        check(run.returncode != 0 and "has no BUILT-AGAINST.txt, TallyLoomMMR.dll, TallyLoomMMR.pdb"
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
    print("ok the release zips, installed as the host's Plugin Manager installs them, and the page")


if __name__ == "__main__":
    main()
