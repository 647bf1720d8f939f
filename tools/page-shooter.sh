#!/usr/bin/env bash
# Serves the driver's screenshot requests: for each NN-name.req in DIR (its
# text: "x y w h" of the area, all zero for the whole screen) takes a PNG of
# the X display into DIR/NN-name.png and removes the request. Runs until killed.
set -euo pipefail
dir=$1
while :; do
  for req in "$dir"/*.req; do
    [ -e "$req" ] || continue
    read -r x y w h < <(tr -d "\r" <"$req") || true
    png="${req%.req}.png"
    if [ "${w:-0}" -gt 0 ] && [ "${h:-0}" -gt 0 ]; then
      import -window root -crop "${w}x${h}+${x}+${y}" +repage "$png" 2>/dev/null || true
    else
      import -window root "$png" 2>/dev/null || true
    fi
    rm -f "$req"
  done
  sleep 0.1
done
