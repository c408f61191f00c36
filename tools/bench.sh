#!/usr/bin/env bash
# Measures, without passing or failing anything:
#  (a) the size of larnix.exe and the DLLs it imports;
#  (b) the instructions the program executes per argument, counted by valgrind's callgrind
#      over main on the host build (compiled -Os, as larnix.exe is), against a platform
#      that takes each event at once and does not pause;
#  (c) under Wine, the pacing a low-level keyboard hook (keyview.exe) sees over 200 taps.
# Prints the report and keeps a copy in build/bench-report.txt.
#   tools/bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh bench

cmake --preset host >/dev/null
cmake --build --preset host -j 2 --target count_main >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows -j 2 >/dev/null

exe=build/windows/larnix.exe
viewer=build/windows/tools/keyview.exe
taps=200
pause_ms=8

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

footprint() {
  echo "(a) footprint of $exe"
  echo "    size: $(stat -c %s "$exe") bytes"
  echo "    imports: $(x86_64-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ { print $3 }' | sort | paste -sd ' ')"
}

instructions() {
  echo "(b) instructions executed by main on the host build (callgrind), argument tap:41"
  printf '    %10s %14s %18s\n' arguments instructions 'per argument'
  local n total first=0 last=0
  for n in 1 10 1000; do
    LD_BIND_NOW=1 valgrind --tool=callgrind --toggle-collect='larnix_main*' \
      --callgrind-out-file=build/bench-callgrind.out build/host/tools/bench/count_main "$n" 2>/dev/null
    total=$(awk '/^totals:/ { print $2 }' build/bench-callgrind.out)
    awk -v n="$n" -v t="$total" 'BEGIN { printf "    %10d %14d %18.1f\n", n, t, t / n }'
    [ "$n" = 10 ] && first=$total
    [ "$n" = 1000 ] && last=$total
  done
  rm -f build/bench-callgrind.out
  awk -v a="$first" -v b="$last" 'BEGIN { printf "    each argument beyond the 10th: %.1f instructions\n", (b - a) / 990 }'
}

pacing() {
  local runs=5
  echo "(c) pacing under Wine, $runs runs of $taps x tap:41, as the hook in keyview.exe sees it"
  if [ ! -f "$viewer" ]; then
    echo "    skipped: $viewer is not built"
    return
  fi
  local args=() i record presses gaps="" walls=""
  for ((i = 0; i < taps; i++)); do args+=(tap:41); done
  for ((i = 0; i < runs; i++)); do
    record=$(wine "$viewer" --records "$exe" "${args[@]}" | tr -d '\r')
    # The press of each argument (flags without the key-up bit 0x80), its time stamp.
    presses=$(grep -o '"flags":[0-9]*,"time":[0-9]*' <<<"$record" |
      awk -F'[:,]' '{ if (int($2 / 128) % 2 == 0) print $4 }')
    if [ "$(wc -l <<<"$presses")" -ne "$taps" ]; then
      echo "    the hook saw $(wc -l <<<"$presses") presses, not $taps: $(head -c 200 <<<"$record")"
      return
    fi
    gaps+="$(awk 'NR > 1 { print $1 - previous } { previous = $1 }' <<<"$presses")"$'\n'
    walls+="$(grep -o '"wall_ms":[0-9.]*' <<<"$record" | cut -d: -f2)"$'\n'
  done
  gaps=$(grep . <<<"$gaps")
  echo "    gap between one argument's press and the next's (ms), $(wc -l <<<"$gaps") gaps," \
    "against the $pause_ms ms pause: min $(sort -n <<<"$gaps" | head -1)," \
    "median $(median <<<"$gaps"), max $(sort -n <<<"$gaps" | tail -1)," \
    "mean $(awk '{ s += $1 } END { printf "%.2f", s / NR }' <<<"$gaps")"
  walls=$(grep . <<<"$walls")
  awk -v w="$(median <<<"$walls")" -v lo="$(sort -n <<<"$walls" | head -1)" -v hi="$(sort -n <<<"$walls" | tail -1)" \
    -v n="$taps" -v p="$pause_ms" 'BEGIN {
		printf "    wall time of larnix.exe, process start to exit: median %.0f ms (%.0f to %.0f) = %.3f x %d x %d ms\n",
			w, lo, hi, w / (n * p), n, p }'
}

# Wine runs in a prefix of the benchmark's own unless the caller names one.
if [ -z "${WINEPREFIX:-}" ]; then
  export WINEPREFIX="$PWD/build/wine-bench"
  trap 'tools/wine-prefix.sh stop "$WINEPREFIX"' EXIT
  tools/wine-prefix.sh start "$WINEPREFIX"
fi
export WINEDEBUG=-all

{
  echo "larnix benchmark, $(date -u +%Y-%m-%d), $(nproc) cores, $(wine --version)"
  footprint
  instructions
  pacing
} | tee build/bench-report.txt
