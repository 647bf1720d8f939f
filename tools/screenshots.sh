#!/usr/bin/env bash
# Renders each of the wizard's seven pages, with Wine's window frame, into
# BUILD/screenshots/page0.png ... page6.png.
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-session.sh"
session_start "$build" xvfb
trap session_stop EXIT
out="$(cd "$build" && pwd)/screenshots"
rm -rf "$out"
mkdir -p "$out"
exe="$(cd "$build" && pwd)/tests/wizard/wizard_screenshots.exe"
# Wine's own desktop window draws the frame and title bar.
wine explorer /desktop=shots,1024x768 "$exe" "$(winepath -w "$out")"
for page in 0 1 2 3 4 5 6; do
  convert "$out/page$page.bmp" "$out/page$page.png"
  rm -f "$out/page$page.bmp"
done
ls "$out"/*.png
