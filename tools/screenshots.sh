#!/usr/bin/env bash
# Screenshots of what a person sees: every page of a real installation from
# the demo medium (on an Xvfb of its own) and the folder picker, as PNGs in
# BUILD/screenshots/ at 100 %, and in BUILD/screenshots/150/ and
# BUILD/screenshots/200/ at 150 % and 200 % (Wine's LogPixels, set for the
# run and put back afterwards); the messages at 100 % in
# BUILD/screenshots/zpravy/.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all
key='HKCU\Control Panel\Desktop'

set_dpi() { # set_dpi DPI | set_dpi "" (the prefix's default)
  if [ -n "$1" ]; then
    wine reg add "$key" /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1 </dev/null
  else
    wine reg delete "$key" /v LogPixels /f >/dev/null 2>&1 </dev/null || true
  fi
  wineserver -w >/dev/null 2>&1 || true
}

# The demo creates the prefix on its first run.
env -u DISPLAY DEMO_SHOTS="$build/screenshots" "$here/demo.sh" "$build" >/dev/null
"$here/screenshot-picker.sh" "$build" >/dev/null
"$here/screenshot-messages.sh" "$build" >/dev/null
saved=$(wine reg query "$key" /v LogPixels 2>/dev/null </dev/null |
  awk '/LogPixels/ {print $3}' | tr -d '\r' || true)
[ -n "$saved" ] && saved=$((saved))
wineserver -w >/dev/null 2>&1 || true
trap 'set_dpi "$saved"' EXIT
for scale in 150 200; do
  set_dpi $((96 * scale / 100))
  out="$build/screenshots/$scale"
  # The scaled wizard needs a larger screen than 1024 x 768.
  env -u DISPLAY SESSION_SCREEN=1600x1200 DEMO_SHOTS="$out" "$here/demo.sh" "$build" >/dev/null
  SESSION_SCREEN=1600x1200 SHOTS_DIR="$out" "$here/screenshot-picker.sh" "$build" >/dev/null
done
ls "$build"/screenshots/*.png "$build"/screenshots/*/*.png
