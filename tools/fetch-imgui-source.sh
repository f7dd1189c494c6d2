#!/usr/bin/env bash
# Fetches the source of Debian's Dear ImGui 1.86 (the release the Linux build
# links) into .deps/imgui-1.86, for the Windows build. It uses a private apt
# configuration with a deb-src entry made from the machine's own Debian
# archive (tools/debian_archive.py reads it from the sources apt reads, in
# either form), so the machine's apt set-up is left alone.
set -euo pipefail
cd "$(dirname "$0")/.."
dest=.deps/imgui-1.86
[ -f "$dest/imgui.cpp" ] && exit 0

work=.deps/apt
mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/source"
eval "$(apt-config shell source_list Dir::Etc::SourceList/f source_parts Dir::Etc::SourceParts/d)"
archive=$(python3 tools/debian_archive.py "$source_list" "$source_parts")
read -r uri suite keyring <<<"$archive"
if [ "$keyring" = - ]; then
  echo "deb-src $uri $suite main" >"$work/sources.list"
else
  echo "deb-src [signed-by=$keyring] $uri $suite main" >"$work/sources.list"
fi
options=(-o "Dir::Etc::SourceList=$PWD/$work/sources.list" -o "Dir::Etc::SourceParts=/dev/null"
         -o "Dir::State::Lists=$PWD/$work/lists" -o "Dir::Cache=$PWD/$work/cache"
         -o "APT::Sandbox::User=root")
apt-get "${options[@]}" -qq update
(cd "$work/source" && apt-get "${options[@]}" -qq source --download-only imgui=1.86+ds-1)
rm -rf "$dest.partial" && mkdir -p "$dest.partial"
tar -xf "$work"/source/imgui_1.86+ds.orig.tar.xz -C "$dest.partial" --strip-components=1
test -f "$dest.partial/imgui.cpp"
mv "$dest.partial" "$dest"
echo "Dear ImGui 1.86 source in $dest"
