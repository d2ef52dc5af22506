#!/usr/bin/env bash
# Renders every window of the desktop application, offscreen, into
# build/screenshots/<window>.png so that they can be looked at without a
# display. Each window's tests save its pictures when BTGEN_SCREENSHOTS is set.
# The placement test also opens every window over the main window on a
# 1366 x 768 screen and saves the whole screen as placement_<window>.png, so
# that where each window opens, and that it fits, can be seen.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"
[ -f "$dir/build.ninja" ] || scripts/build.sh "$dir"
cmake --build "$dir" -j "$(nproc)" --target test_gui
out="$PWD/$dir/screenshots"
rm -rf "$out"
mkdir -p "$out"
BTGEN_SCREENSHOTS="$out" QT_QPA_PLATFORM="offscreen:configfile=$PWD/tests/support/gui/screen_1366x768.json" \
  "$dir/tests/test_gui" >/dev/null
ls "$out"
