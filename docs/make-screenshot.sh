#!/usr/bin/env bash
# Regenerates docs/settings-tab.png, the picture of the plugin's tab in the
# README: tallyloom-host plays a short session in a real window under a virtual
# X server (xvfb-run, Mesa's software OpenGL) and takes a screenshot of it.
# The clock, the time zone and the profile folder are fixed, so the same build
# gives the same picture.
#
#   docs/make-screenshot.sh build/bin/tallyloom-host
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 HOST_BINARY" >&2
  exit 2
fi
host=$(realpath "$1")
docs=$(cd "$(dirname "$0")" && pwd)
command -v xvfb-run >/dev/null || { echo "$0: xvfb-run is missing (Debian package xvfb)" >&2; exit 1; }

# The profile folder shows in the tab's file rows.
work=/tmp/tallyloom-screenshot
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

# A ranked doubles win is captured at t=9 and exported; the tab is pictured
# in the menus at t=25, after the delayed post-match export (t=24).
cat >"$work/session.tlh" <<SCRIPT
account 76561198012345678
name "Demo Player"
mmr 10 1012.4
mmr 11 1000
mmr 13 1187.5
wait 2
match 11 3 1
event match-ended
mmr 11 1009 after 5
wait 10
state menu
wait 13
screenshot $work/settings-tab.png
quit
SCRIPT

TZ=UTC LIBGL_ALWAYS_SOFTWARE=1 xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$host" --window --profile "$work/player" --clock 2026-12-06T21:00:00 "$work/session.tlh" \
  >/dev/null
cp "$work/settings-tab.png" "$docs/settings-tab.png"
echo "wrote $docs/settings-tab.png"
