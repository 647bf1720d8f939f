#!/usr/bin/env bash
# Screenshots of the installation's and the uninstaller's messages, each box
# as the person sees it, shown by the code that produces it
# (tests/install/MessageShots.cpp): tools/screenshot-messages.sh BUILD  ->
# BUILD/screenshots/zpravy/NN-name.png (SHOTS_DIR: another folder)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
cmake --build "$build" --target message_shots demo_medium Uninstall >/dev/null
. "$here/wine-session.sh"
session_start "$build" xvfb
# The small drive of the room refusal (as root; without it that shot is left out).
"$here/../tests/make-drives.sh" >/dev/null
trap '"$here/../tests/make-drives.sh" stop; session_stop' EXIT
out="${SHOTS_DIR:-$build/screenshots}/zpravy"
"$here/../tests/e2e/with-shots.sh" "$out" wine "$build/tests/install/message_shots.exe" \
  "$build/medium/SetupVantor.exe" "$build/uninstall/Odinstalovat.exe"
ls "$out"/*.png
