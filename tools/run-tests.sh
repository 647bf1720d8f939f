#!/usr/bin/env bash
# Runs every test of a build under Wine, on an Xvfb of its own.
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-session.sh"
session_start "$build" xvfb
trap session_stop EXIT
cd "$build"
ctest --output-on-failure --timeout 600 ${CTEST_ARGS:-}
