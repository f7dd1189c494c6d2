#!/usr/bin/env python3
"""tools/debian_archive.py finds the machine's Debian archive, and the keyring
its entry names, in each layout of apt sources a Debian 12 machine has: the
deb822 file of container images, the one-line sources.list that Debian's
installer writes (usually without signed-by, and often after a cdrom entry),
one-line files in sources.list.d, and none at all.

  debian_archive_test.py REPOSITORY_ROOT
"""
import os
import subprocess
import sys
import tempfile

KEYRING = "/usr/share/keyrings/debian-archive-keyring.gpg"
DEB822 = f"""Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: {KEYRING}

Types: deb
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: {KEYRING}
"""
INSTALLER = """#deb cdrom:[Debian GNU/Linux 12.5.0 _Bookworm_ - Official amd64 DVD Binary-1]/ bookworm contrib main

deb http://ftp.fr.debian.org/debian/ bookworm main non-free-firmware
deb-src http://ftp.fr.debian.org/debian/ bookworm main non-free-firmware

deb http://security.debian.org/debian-security bookworm-security main non-free-firmware
deb http://ftp.fr.debian.org/debian/ bookworm-updates main non-free-firmware
"""
# (what, sources.list, {file in sources.list.d: text}, expected line or None for a failure)
LAYOUTS = [
    ("deb822, as container images have it", None, {"debian.sources": DEB822},
     f"http://deb.debian.org/debian bookworm {KEYRING}"),
    ("one-line, as Debian's installer writes it, without signed-by", INSTALLER, {},
     "http://ftp.fr.debian.org/debian/ bookworm -"),
    ("the installer's DVD entry left enabled", INSTALLER.replace("#deb cdrom", "deb cdrom"), {},
     "http://ftp.fr.debian.org/debian/ bookworm -"),
    ("one-line with options and signed-by", "deb [arch=amd64 signed-by=/etc/apt/k.gpg] "
     "https://deb.debian.org/debian bookworm main contrib # a comment\n", {},
     "https://deb.debian.org/debian bookworm /etc/apt/k.gpg"),
    ("one-line in sources.list.d, updates first", None,
     {"debian.list": "deb http://deb.debian.org/debian bookworm-updates main\n"
                     "deb http://deb.debian.org/debian bookworm main\n"},
     "http://deb.debian.org/debian bookworm -"),
    ("a disabled stanza, then one with the key inline", None,
     {"a.sources": "Enabled: no\nTypes: deb\nURIs: http://old.invalid/debian\nSuites: bookworm\n"
                   "Components: main\n",
      "b.sources": "Types: deb\nURIs: http://deb.debian.org/debian\nSuites: bookworm\nComponents: main\n"
                   "Signed-By:\n -----BEGIN PGP PUBLIC KEY BLOCK-----\n .\n -----END PGP PUBLIC KEY BLOCK-----\n"},
     "http://deb.debian.org/debian bookworm -"),
    ("sources without the main archive", "deb http://deb.debian.org/debian-security bookworm-security main\n",
     {}, None),
    ("no sources at all", None, {}, None),
]


def main():
    tool = os.path.join(os.path.abspath(sys.argv[1]), "tools", "debian_archive.py")
    failed = []
    for what, source_list, parts, expected in LAYOUTS:
        with tempfile.TemporaryDirectory(prefix="tallyloom-apt-") as etc:
            os.makedirs(os.path.join(etc, "sources.list.d"))
            if source_list is not None:
                with open(os.path.join(etc, "sources.list"), "w", encoding="utf-8") as f:
                    f.write(source_list)
            for name, text in parts.items():
                with open(os.path.join(etc, "sources.list.d", name), "w", encoding="utf-8") as f:
                    f.write(text)
            run = subprocess.run([sys.executable, tool, os.path.join(etc, "sources.list"),
                                  os.path.join(etc, "sources.list.d")], capture_output=True, text=True)
        if expected is None:
            if run.returncode == 0 or "names a Debian archive" not in run.stderr:
                failed.append(f"{what}: exit {run.returncode}, {run.stdout!r} {run.stderr!r}")
        elif run.returncode != 0 or run.stdout.strip() != expected:
            failed.append(f"{what}: exit {run.returncode}, {run.stdout.strip()!r}, not {expected!r} "
                          f"{run.stderr}")
    if failed:
        print("FAIL:\n" + "\n".join(failed), file=sys.stderr)
        sys.exit(1)
    print(f"ok the Debian archive found in {len(LAYOUTS)} layouts of apt sources")


if __name__ == "__main__":
    main()
