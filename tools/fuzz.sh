#!/usr/bin/env bash
# Fuzzes main against the stand-in platform for as long as asked (default an hour), on
# every core, with the inputs found so far in build/host-asan/tests/fuzz/corpus. An input
# that breaks an invariant is kept as build/host-asan/tests/fuzz/crash-*; replay it with
#   build/host-asan/tests/fuzz/larnix_fuzz FILE
#   tools/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake --preset host-asan >/dev/null
cmake --build --preset host-asan -j 2 --target larnix_fuzz
seeds=$PWD/tests/fuzz/corpus
cd build/host-asan/tests/fuzz
mkdir -p corpus
exec ./larnix_fuzz -fork="$(nproc)" -max_total_time="${1:-3600}" -max_len=70000 -timeout=10 \
  -print_final_stats=1 corpus "$seeds"
