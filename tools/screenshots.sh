#!/usr/bin/env bash
# Screenshots of what a person sees: every page of a real installation from
# the demo medium (on an Xvfb of its own) and the folder picker, as PNGs in
# BUILD/screenshots/.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
env -u DISPLAY DEMO_SHOTS="$build/screenshots" "$here/demo.sh" "$build" >/dev/null
"$here/screenshot-picker.sh" "$build" >/dev/null
ls "$build"/screenshots/*.png
