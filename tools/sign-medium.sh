#!/usr/bin/env bash
# A signed medium from a build (make sign):
#   SIGN_PFX=vendor.pfx SIGN_PASSWORD=... tools/sign-medium.sh BUILD PAYLOAD MEDIUM
# The uninstaller is signed first and taken into the wizard by a relink (it
# is the wizard's resource); the medium is then laid out with that wizard,
# whose copy there carries the archive's digest; that copy is signed last,
# since stamping it afterwards would break its signature.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[ $# -eq 3 ] || { echo "usage: $0 BUILD PAYLOAD MEDIUM" >&2; exit 2; }
build=$1 payload=$2 medium=$3
"$here/sign.sh" "$build/uninstall/Odinstalovat.exe"
cmake --build "$build" -j "${JOBS:-2}" --target SetupVantor
python3 "$here/make-medium" "$payload" "$medium" --setup "$build/app/SetupVantor.exe"
"$here/sign.sh" "$medium/SetupVantor.exe"
