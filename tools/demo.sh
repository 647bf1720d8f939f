#!/usr/bin/env bash
# demo.sh BUILD: builds the demo medium and shows the wizard installing the
# demo application from it under Wine: on the user's display when there is
# one, else on an Xvfb of its own. The driver works the wizard page by page;
# each page is kept as a PNG in BUILD/screenshots-demo/.
#
#   DEMO_PAUSE_MS=ms   how long each page stays (default 1500 on a display)
#   DEMO_MANUAL=1      start the wizard from the medium and let the person
#                      work it by hand instead
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)

cmake --build "$build" --target demo_medium e2e_driver
build=$(cd "$build" && pwd)
medium="$build/medium"
if [ ! -f "$medium/SetupVantor.exe" ]; then
  echo "demo: $medium has no SetupVantor.exe: the wizard is not part of this build" >&2
  exit 1
fi

. "$here/wine-session.sh"
if [ -n "${DISPLAY:-}" ]; then
  session_start "$build"
  pause=${DEMO_PAUSE_MS:-1500}
else
  session_start "$build" xvfb
  pause=${DEMO_PAUSE_MS:-200}
fi
trap session_stop EXIT

if [ -n "${DEMO_MANUAL:-}" ]; then
  echo "Starting the wizard from $medium on $DISPLAY"
  (cd "$medium" && wine SetupVantor.exe)
  exit 0
fi

shots=${DEMO_SHOTS:-$build/screenshots-demo}
echo "Installing the demo application from $medium on display $DISPLAY ..."
status=0
"$here/../tests/e2e/with-shots.sh" "$shots" wine "$build/tests/e2e/e2e_driver.exe" \
  --demo="$pause" --medium="$medium" --payload="$build/demo/payload" || status=$?
echo
echo "Screenshots of every page are in $shots/:"
ls "$shots" | sed 's/^/  /'
exit $status
