#!/usr/bin/env bash
# Screenshot of the folder picker in Wine's window frame:
# tools/screenshot-picker.sh BUILD  ->  BUILD/screenshots/picker.png
# (SHOTS_DIR: another folder; SESSION_SCREEN: another screen size)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-session.sh"
session_start "$build" xvfb
trap session_stop EXIT

out="${SHOTS_DIR:-$build/screenshots}"
screen=${SESSION_SCREEN:-800x600}
mkdir -p "$out"
work=$(mktemp -d)
ready="$work/ready"
stop="$work/stop"
# A folder with a few sub-folders, opened through its chain.
c_drive="$WINEPREFIX/drive_c"
mkdir -p "$c_drive/Vantor/Data" "$c_drive/Vantor/Projekty" "$c_drive/Vantor/Vzory" \
  "$c_drive/Vantor/Příklady" "$c_drive/Vantor/zálohy"

wine explorer /desktop=picker,"$screen" "$build/tests/picker/picker_shot.exe" \
  "Z:${ready//\//\\}" "Z:${stop//\//\\}" 'C:\Vantor\Nový' >/dev/null 2>&1 &
shot=$!
for _ in $(seq 1 300); do
  [ -f "$ready" ] && break
  sleep 0.2
done
if [ ! -f "$ready" ]; then
  echo "the picker did not come up" >&2
  kill "$shot" 2>/dev/null || true
  exit 1
fi
import -window root -crop "$screen+0+0" +repage "$out/picker.png"
touch "$stop"
wait "$shot" || true
rm -rf "$work" "$c_drive/Vantor"
echo "$out/picker.png"
