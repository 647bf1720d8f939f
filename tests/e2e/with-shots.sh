#!/usr/bin/env bash
# with-shots.sh DIR COMMAND...: runs the driver with a screenshot taker beside
# it, so that every page it reaches is kept as DIR/NN-page.png.
set -euo pipefail
dir=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$dir"
mkdir -p "$dir"
shooter=""
if [ -n "${DISPLAY:-}" ] && command -v import >/dev/null; then
  "$here/../../tools/page-shooter.sh" "$dir" &
  shooter=$!
  trap 'kill "$shooter" 2>/dev/null' EXIT
  export SV_E2E_SHOTS="Z:$(cd "$dir" && pwd | tr / '\\')"
fi
status=0
"$@" || status=$?
exit $status
