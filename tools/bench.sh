#!/usr/bin/env bash
# The file-work benchmark: builds a ~400 MB, ~5,000-file archive in the build
# folder, then measures on the same disk, side by side:
#   ExtractArchive (Wine, real window)      against native unzip
#   CountFiles + CopyDir (Wine, real window) against native cp -r and a bare
#                                             FindFirstFile/CopyFile walk under Wine
# plus the extraction's peak memory and the window's longest unresponsive gap,
# and the whole installation's file work, one drive, in one run:
#   the shipped (stamped) medium's, the developer build's (no stamp) and
#   native unzip + cp -r, with the bytes read from the archive, the room the
#   drive gave up at its peak (all that was written and not yet removed),
#   the peak memory and each phase's longest gap.
# Each measurement runs BENCH_RUNS times (default 5); medians and bests are
# reported.
# The data is deleted at the end.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${BENCH_RUNS:-5}
data=$build/bench-data
exe=$build/bench/svbench.exe

. "$root/tools/wine-session.sh"
cleanup() {
  session_stop
  rm -rf "$data"
}
trap cleanup EXIT
session_start "$build" xvfb

# Wine runs in the Czech locale; the figures are read and written with a
# decimal point whatever it is.
awk() { LC_ALL=C command awk "$@"; }
sort() { LC_ALL=C command sort "$@"; }
win() { echo "Z:${1//\//\\}"; }
now() { date +%s.%N; }
value() { grep "^$1=" | head -n 1 | cut -d= -f2 | tr -d '\r'; }
median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
timed() { # timed CMD... -> seconds on stdout
  local t0 t1
  sync
  t0=$(now)
  "$@" >/dev/null
  t1=$(now)
  awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.3f", b - a}'
}

# Runs a program into $data/run.out, leaving in io_read and io_written the
# bytes it read and wrote by Linux's own count (/proc/PID/io, sampled until
# it ends; Wine keeps no counters of its own): every byte the wizard's code
# read or wrote, the medium and the target drive alike.
io_run() {
  local pid r w
  "$@" >"$data/run.out" &
  pid=$!
  io_read=0 io_written=0
  while kill -0 "$pid" 2>/dev/null; do
    read -r r w < <(awk '/^rchar/ {r = $2} /^wchar/ {w = $2} END {print r, w}' \
      "/proc/$pid/io" 2>/dev/null) || true
    [ -n "${w:-}" ] && io_read=$r io_written=$w
    sleep 0.05
  done
  wait "$pid" || true
}

rm -rf "$data"
mkdir -p "$data"
echo "The least a moved file costs under this Wine, and the chunk digest's speed:"
wine "$exe" floor "$(win "$data/floor")" | tr -d '\r' | sed 's/^/  /'
rm -rf "$data/floor"
echo "Building the archive..."
python3 "$root/bench/make_archive.py" "$data/bench.zip"
size=$(du -m "$data/bench.zip" | cut -f1)
entries=$(unzip -Z1 "$data/bench.zip" | wc -l)
echo "archive: $entries entries, ${size} MB packed"

declare -a unzip_t extract_t quiet_t gap_e ws_peak priv_peak ws_base priv_base
for r in $(seq "$runs"); do
  rm -rf "$data/unzip"
  unzip_t+=("$(timed unzip -q -o "$data/bench.zip" -d "$data/unzip")")
  rm -rf "$data/ext"
  sync
  out=$(wine "$exe" extract "$(win "$data/bench.zip")" "$(win "$data/ext")")
  [ "$(echo "$out" | value result)" = 0 ] || { echo "extraction failed: $out" >&2; exit 1; }
  extract_t+=("$(echo "$out" | value seconds)")
  gap_e+=("$(echo "$out" | value max_gap_ms)")
  ws_peak+=("$(echo "$out" | value peak_ws_mb)")
  priv_peak+=("$(echo "$out" | value peak_private_mb)")
  ws_base+=("$(echo "$out" | value base_ws_mb)")
  priv_base+=("$(echo "$out" | value base_private_mb)")
  rm -rf "$data/quiet"
  sync
  out=$(wine "$exe" extract-quiet "$(win "$data/bench.zip")" "$(win "$data/quiet")")
  quiet_t+=("$(echo "$out" | value seconds)")
  rm -rf "$data/quiet"
  echo "run $r: unzip ${unzip_t[-1]} s, ExtractArchive ${extract_t[-1]} s" \
    "(no window ${quiet_t[-1]} s), gap ${gap_e[-1]} ms"
done
diff -rq "$data/unzip" "$data/ext" >/dev/null || { echo "extracted trees differ" >&2; exit 1; }
rm -rf "$data/unzip"

declare -a cp_t bare_t copy_t count_t gap_c quietc_t bare_c copy_c quietc_c commit_t
declare -a second_t second_commit_t second_backups_t
# Every copy starts alike: its target gone and the disk synced. The bare copy
# and ours take turns going first, so neither always inherits the other's
# writeback.
prepare() {
  rm -rf "${data:?}/$1"
  sync
}
for r in $(seq "$runs"); do
  prepare cp
  cp_t+=("$(timed cp -r "$data/ext" "$data/cp")")
  if ((r % 2)); then order="bare copy quiet"; else order="copy bare quiet"; fi
  for what in $order; do
    prepare "$what"
    case $what in bare) mode=barecopy ;; quiet) mode=copy-quiet ;; *) mode=copy ;; esac
    out=$(wine "$exe" "$mode" "$(win "$data/ext")" "$(win "$data/$what")")
    case $what in
      bare)
        bare_t+=("$(echo "$out" | value seconds)")
        bare_c+=("$(echo "$out" | value cpu_seconds)")
        ;;
      quiet)
        quietc_t+=("$(echo "$out" | value seconds)")
        quietc_c+=("$(echo "$out" | value cpu_seconds)")
        ;;
      copy)
        copy_t+=("$(echo "$out" | value seconds)")
        copy_c+=("$(echo "$out" | value cpu_seconds)")
        count_t+=("$(echo "$out" | value count_seconds)")
        commit_t+=("$(echo "$out" | value commit_seconds)")
        gap_c+=("$(echo "$out" | value max_gap_ms)")
        ;;
    esac
  done
  # A second installation over the first: every file replaced, each old one
  # kept as a backup until the installation is complete; the backups then go
  # on a thread of their own (the wizard meanwhile waits for the engine's
  # setup), reported apart.
  sync
  out=$(wine "$exe" copy "$(win "$data/ext")" "$(win "$data/copy")")
  second_t+=("$(echo "$out" | value seconds)")
  second_commit_t+=("$(echo "$out" | value commit_seconds)")
  second_backups_t+=("$(echo "$out" | value backups_seconds)")
  gap_c+=("$(echo "$out" | value max_gap_ms)")
  echo "run $r: cp -r ${cp_t[-1]} s, bare Wine copy ${bare_t[-1]} s," \
    "CountFiles+CopyDir ${copy_t[-1]} s (count ${count_t[-1]} s; no window ${quietc_t[-1]} s)," \
    "gap ${gap_c[-1]} ms; second installation ${second_t[-1]} s" \
    "(its backups gone ${second_backups_t[-1]} s later)"
done
diff -rq "$data/ext" "$data/copy" >/dev/null || { echo "copied tree differs" >&2; exit 1; }

# The whole installation's file work, three ways, taking turns going first.
payload=$(unzip -Zt "$data/bench.zip" | sed -E 's/.* ([0-9]+) bytes uncompressed.*/\1/')
archive_bytes=$(stat -c %s "$data/bench.zip")
declare -a native_t dev_t stamp_t stamp_read stamp_room stamp_mem gap_x gap_n gap_s gap_m
declare -a dev_x stamp_x stamp_s stamp_m stamp_written stamp_rchar peer_t
# PEER_SVBENCH: the benchmark program of an earlier build (the main before
# whole or nothing): its unpacking and its copy, one after the other.
peer=${PEER_SVBENCH:-}
for r in $(seq "$runs"); do
  if ((r % 2)); then order="native dev stamped"; else order="stamped dev native"; fi
  [ -n "$peer" ] && order="$order peer"
  for what in $order; do
    prepare inst
    case $what in
      native)
        mkdir -p "$data/inst"
        native_t+=("$(timed sh -c "unzip -q -o '$data/bench.zip' -d '$data/inst/Instalace' &&
          cp -r '$data/inst/Instalace' '$data/inst/App'")")
        ;;
      peer)
        mkdir -p "$data/inst"
        a=$(wine "$peer" extract "$(win "$data/bench.zip")" "$(win "$data/inst/Instalace")" | value seconds)
        b=$(wine "$peer" copy "$(win "$data/inst/Instalace")" "$(win "$data/inst/App")" | value seconds)
        peer_t+=("$(awk -v a="$a" -v b="$b" 'BEGIN {printf "%.3f", a + b}')")
        ;;
      *)
        mode=install
        [ "$what" = stamped ] && mode=install-stamped
        io_run wine "$exe" "$mode" "$(win "$data/bench.zip")" "$(win "$data/inst")"
        out=$(cat "$data/run.out")
        [ "$(echo "$out" | value result)" = 0 ] || { echo "$mode failed: $out" >&2; exit 1; }
        if [ "$what" = dev ]; then
          dev_t+=("$(echo "$out" | value seconds)")
          dev_x+=("$(echo "$out" | value extract_seconds)")
        else
          stamp_t+=("$(echo "$out" | value seconds)")
          stamp_x+=("$(echo "$out" | value extract_seconds)")
          stamp_s+=("$(echo "$out" | value stage_seconds)")
          stamp_m+=("$(echo "$out" | value commit_seconds)")
          stamp_read+=("$(echo "$out" | value archive_read_bytes)")
          stamp_written+=("$io_written")
          stamp_rchar+=("$io_read")
          stamp_room+=("$(echo "$out" | value room_peak_bytes)")
          stamp_mem+=("$(echo "$out" | value peak_private_mb)")
          gap_x+=("$(echo "$out" | value gap_extract_ms)")
          gap_n+=("$(echo "$out" | value gap_count_ms)")
          gap_s+=("$(echo "$out" | value gap_stage_ms)")
          gap_m+=("$(echo "$out" | value gap_commit_ms)")
        fi
        ;;
    esac
  done
  echo "run $r: unzip + cp -r ${native_t[-1]} s, developer build ${dev_t[-1]} s," \
    "stamped medium ${stamp_t[-1]} s (read ${stamp_read[-1]} B, written ${stamp_written[-1]} B," \
    "room ${stamp_room[-1]} B)${peer:+, earlier build ${peer_t[-1]} s}"
done
prepare inst

m() { printf '%s\n' "$@" | median; }
lo() { printf '%s\n' "$@" | sort -g | head -n 1; }
mx() { printf '%s\n' "$@" | sort -g | tail -n 1; }
row() { printf '%-36s %8s %8s\n' "$@"; }
# The machine is shared: the best of the runs shows the cost of the code,
# the median what a loaded machine gives.
echo
echo "== $runs runs, $entries files, ${size} MB packed, same disk ==     median     best"
row "native unzip (s)" "$(m "${unzip_t[@]}")" "$(lo "${unzip_t[@]}")"
row "ExtractArchive, Wine + window (s)" "$(m "${extract_t[@]}")" "$(lo "${extract_t[@]}")"
row "ExtractArchive, Wine, no window (s)" "$(m "${quiet_t[@]}")" "$(lo "${quiet_t[@]}")"
row "  ratio to unzip (aim <= 1.3)" "$(ratio "$(m "${extract_t[@]}")" "$(m "${unzip_t[@]}")")" \
  "$(ratio "$(lo "${extract_t[@]}")" "$(lo "${unzip_t[@]}")")"
row "native cp -r (s)" "$(m "${cp_t[@]}")" "$(lo "${cp_t[@]}")"
row "bare Wine FindFirstFile/CopyFile (s)" "$(m "${bare_t[@]}")" "$(lo "${bare_t[@]}")"
row "CountFiles+CopyDir, Wine + window (s)" "$(m "${copy_t[@]}")" "$(lo "${copy_t[@]}")"
row "  of which CountFiles (s)" "$(m "${count_t[@]}")" "$(lo "${count_t[@]}")"
row "CountFiles+CopyDir, no window (s)" "$(m "${quietc_t[@]}")" "$(lo "${quietc_t[@]}")"
row "  of which journal + commit (s)" "$(m "${commit_t[@]}")" "$(lo "${commit_t[@]}")"
row "  ratio to bare Wine (aim <= 1.1)" "$(ratio "$(m "${copy_t[@]}")" "$(m "${bare_t[@]}")")" \
  "$(ratio "$(lo "${copy_t[@]}")" "$(lo "${bare_t[@]}")")"
row "second installation over the first (s)" "$(m "${second_t[@]}")" "$(lo "${second_t[@]}")"
row "  of which journal + commit (s)" "$(m "${second_commit_t[@]}")" "$(lo "${second_commit_t[@]}")"
row "  ratio to the first (aim <= 1.3)" "$(ratio "$(m "${second_t[@]}")" "$(m "${copy_t[@]}")")" \
  "$(ratio "$(lo "${second_t[@]}")" "$(lo "${copy_t[@]}")")"
row "  then its backups, on a thread (s)" "$(m "${second_backups_t[@]}")" "$(lo "${second_backups_t[@]}")"
sums=()
for i in "${!second_t[@]}"; do
  sums+=("$(awk -v a="${second_t[$i]}" -v b="${second_backups_t[$i]}" 'BEGIN {print a + b}')")
done
row "  ratio with its backups gone" "$(ratio "$(m "${sums[@]}")" "$(m "${copy_t[@]}")")" \
  "$(ratio "$(lo "${sums[@]}")" "$(lo "${copy_t[@]}")")"
row "  processor time to bare Wine" "$(ratio "$(m "${copy_c[@]}")" "$(m "${bare_c[@]}")")" \
  "$(ratio "$(lo "${copy_c[@]}")" "$(lo "${bare_c[@]}")")"
row "  no window, processor time to bare" "$(ratio "$(m "${quietc_c[@]}")" "$(m "${bare_c[@]}")")" \
  "$(ratio "$(lo "${quietc_c[@]}")" "$(lo "${bare_c[@]}")")"
row "  ratio to cp -r" "$(ratio "$(m "${copy_t[@]}")" "$(m "${cp_t[@]}")")" \
  "$(ratio "$(lo "${copy_t[@]}")" "$(lo "${cp_t[@]}")")"
row "  bare Wine to cp -r" "$(ratio "$(m "${bare_t[@]}")" "$(m "${cp_t[@]}")")" \
  "$(ratio "$(lo "${bare_t[@]}")" "$(lo "${cp_t[@]}")")"
echo
printf '%-36s %8s MB (process before it: %s MB)\n' \
  "extraction peak working set" "$(mx "${ws_peak[@]}")" "$(m "${ws_base[@]}")" \
  "extraction peak private bytes" "$(mx "${priv_peak[@]}")" "$(m "${priv_base[@]}")"
printf '%-36s %8s ms\n' "longest gap, extraction (aim 250)" "$(mx "${gap_e[@]}")" \
  "longest gap, count+copy (aim 250)" "$(mx "${gap_c[@]}")"
spread() { awk -v a="$(lo "$@")" -v b="$(mx "$@")" 'BEGIN {printf "%.3f-%.3f", a, b}'; }
echo
echo "== whole installation's file work, one drive, $runs runs ==   median  min-max"
printf '%-40s %8s  %s\n' \
  "native unzip + cp -r (s)" "$(m "${native_t[@]}")" "$(spread "${native_t[@]}")" \
  "developer build, no stamp (s)" "$(m "${dev_t[@]}")" "$(spread "${dev_t[@]}")" \
  "  of which unpacking (s)" "$(m "${dev_x[@]}")" "$(spread "${dev_x[@]}")" \
  "stamped medium (s)" "$(m "${stamp_t[@]}")" "$(spread "${stamp_t[@]}")" \
  "  of which unpacking, checked (s)" "$(m "${stamp_x[@]}")" "$(spread "${stamp_x[@]}")" \
  "  of which staging, moved (s)" "$(m "${stamp_s[@]}")" "$(spread "${stamp_s[@]}")" \
  "  of which journal + commit (s)" "$(m "${stamp_m[@]}")" "$(spread "${stamp_m[@]}")"
ratios() { # label, numerators..., then "/", denominators...
  local label=$1 a=() b=() seen=0
  shift
  for v in "$@"; do
    if [ "$v" = / ]; then seen=1; elif ((seen)); then b+=("$v"); else a+=("$v"); fi
  done
  local rs=()
  for i in "${!a[@]}"; do rs+=("$(ratio "${a[$i]}" "${b[$i]:-${b[0]}}")"); done
  printf '%-40s %8s  %s\n' "$label" "$(m "${rs[@]}")" "$(spread "${rs[@]}")"
}
ratios "stamped to unzip + cp (aim <= 0.8)" "${stamp_t[@]}" / "${native_t[@]}"
ratios "stamped to developer build" "${stamp_t[@]}" / "${dev_t[@]}"
[ -n "$peer" ] && printf '%-40s %8s  %s\n' "earlier build, unpack + copy (s)" "$(m "${peer_t[@]}")" \
  "$(spread "${peer_t[@]}")" && ratios "stamped to the earlier build (aim < 1)" "${stamp_t[@]}" / "${peer_t[@]}"
ratios "archive bytes read / archive (<= 1.2)" "${stamp_read[@]}" / "$archive_bytes"
ratios "bytes written / payload (<= 1.2)" "${stamp_written[@]}" / "$payload"
ratios "all bytes read / archive" "${stamp_rchar[@]}" / "$archive_bytes"
ratios "drive's peak room / payload (<= 1.2)" "${stamp_room[@]}" / "$payload"
printf '%-40s %8s MB\n' "peak private bytes, stamped" "$(mx "${stamp_mem[@]}")"
printf '%-40s %8s ms\n' "longest gap, checked unpacking" "$(mx "${gap_x[@]}")" \
  "longest gap, count" "$(mx "${gap_n[@]}")" "longest gap, staging" "$(mx "${gap_s[@]}")" \
  "longest gap, commit" "$(mx "${gap_m[@]}")"
