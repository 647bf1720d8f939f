#!/usr/bin/env bash
# Makes, afresh, the links the link tests walk past: Unix symbolic links in
# the prefix, which Wine shows as folders with FILE_ATTRIBUTE_REPARSE_POINT
# (its own CreateSymbolicLinkW makes none). For every set under C:\svlinks:
# target\ with keep.txt and sub\inner.txt, and tree\ with own.txt and
# link -> target; the set "work" has app\Instalace -> target instead. The set
# "uninst" has an empty target\ and swap\app -> target: the uninstallation
# test renames swap\ into the place of the folder that holds an installed
# application folder (Wine renames what a link leads to, not the link).
set -euo pipefail
root="$WINEPREFIX/drive_c/svlinks"
rm -rf "$root"
for set in walk work; do
  mkdir -p "$root/$set/target/sub" "$root/$set/tree"
  echo keep >"$root/$set/target/keep.txt"
  echo inner >"$root/$set/target/sub/inner.txt"
done
echo own >"$root/walk/tree/own.txt"
ln -s ../target "$root/walk/tree/link"
mkdir -p "$root/work/app"
ln -s ../target "$root/work/app/Instalace"
mkdir -p "$root/uninst/target" "$root/uninst/swap"
ln -s ../target "$root/uninst/swap/app"
