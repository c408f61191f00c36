#!/usr/bin/env bash
# Measures what no test does, without passing or failing anything:
#  (a) the instructions the program executes per argument, counted by valgrind's callgrind
#      over main on the host build (compiled -Os, as larnix.exe is), against a platform
#      that takes each event at once and does not pause;
#  (b) under this machine's Wine and the other Debian release's, each in a sandbox of its own
#      as the end-to-end checks run, the wall time of long runs against their pauses
#      (tools/bench/pacing.py).
# larnix.exe's size and imports are tests/check_exe.sh's; the pauses' spread, the end-to-end
# checks'. Prints the report and keeps a copy in build/bench-report.txt.
#   tools/bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh bench

cmake --preset host >/dev/null
cmake --build --preset host -j 2 --target count_main >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows -j 2 >/dev/null

instructions() {
  echo "(a) instructions executed by main on the host build (callgrind), argument tap:41"
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
  local wine
  tools/wine-sandbox.sh check
  for wine in own other; do
    printf '(b) '
    tools/wine-sandbox.sh "$wine" "build/wine-bench-$wine-prefix" \
      python3 tools/bench/pacing.py build/windows/larnix.exe build/windows/keyview/keyview.exe
  done
}

{
  echo "larnix benchmark, $(date -u +%Y-%m-%d), $(nproc) cores"
  instructions
  pacing
} | tee build/bench-report.txt
