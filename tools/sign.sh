#!/usr/bin/env bash
# Signs programs in place with Authenticode (make sign), through osslsigncode:
#   SIGN_PFX=vendor.pfx SIGN_PASSWORD=... [SIGN_TIMESTAMP_URL=http://...] tools/sign.sh FILE.exe...
# SIGN_PFX is the vendor's code-signing certificate with its key (PKCS#12),
# SIGN_PASSWORD its password, SIGN_TIMESTAMP_URL an RFC 3161 time-stamp
# server: a time-stamped signature stays valid after the certificate expires.
# A program signed before gets the new signature in place of the old one. A
# file is replaced only by its completely signed copy. A wizard whose stamp
# (install/MediumStamp.h) holds no archive digest is refused: it would accept
# any archive, so only the medium's stamped copy is signed (tools/make-medium
# first).
set -euo pipefail

fail() { echo "sign: $*" >&2; exit 2; }
[ $# -gt 0 ] || fail "usage: SIGN_PFX=cert.pfx SIGN_PASSWORD=... [SIGN_TIMESTAMP_URL=url] $0 FILE.exe..."
[ -n "${SIGN_PFX:-}" ] || fail "SIGN_PFX names no certificate (a .pfx or .p12 file with its key)"
[ -r "$SIGN_PFX" ] || fail "cannot read the certificate $SIGN_PFX"
command -v osslsigncode >/dev/null || fail "osslsigncode is missing (make setup installs it)"

# none: no stamp (not the wizard); blank: a wizard never stamped; stamped.
stamp_state() {
  python3 - "$1" <<'EOF'
import sys
marker = b"SetupVantor:Vaninst.pak:SHA-256:"
with open(sys.argv[1], "rb") as f:
    data = f.read()
at = data.find(marker)
digest = data[at + len(marker):at + len(marker) + 32]
print("none" if at < 0 else "blank" if digest == bytes(32) else "stamped")
EOF
}
for file in "$@"; do
  [ -f "$file" ] || fail "no such program: $file"
  [ "$(stamp_state "$file")" != blank ] ||
    fail "$file carries no digest of its medium's Vaninst.pak and would accept any archive: lay out the medium first (tools/make-medium), then sign the medium's copy"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The password reaches osslsigncode through a file only we can read, never
# on a command line that every user of the machine can list.
password=(-pass "")
if [ -n "${SIGN_PASSWORD:-}" ]; then
  (umask 077 && printf '%s\n' "$SIGN_PASSWORD" >"$work/password")
  password=(-readpass "$work/password")
fi
timestamp=()
[ -n "${SIGN_TIMESTAMP_URL:-}" ] && timestamp=(-ts "$SIGN_TIMESTAMP_URL")

for file in "$@"; do
  [ -f "$file" ] || fail "no such program: $file"
  signed="$file.signing"
  rm -f "$signed"
  if ! osslsigncode sign -pkcs12 "$SIGN_PFX" "${password[@]}" -h sha256 \
      -n "Vantor Instalátor" "${timestamp[@]}" -in "$file" -out "$signed" >"$work/log" 2>&1; then
    rm -f "$signed"
    cat "$work/log" >&2
    echo "sign: $file was not signed" >&2
    exit 1
  fi
  chmod --reference="$file" "$signed"
  mv -f "$signed" "$file"
  echo "signed $file"
done
