#!/usr/bin/env bash
# Builds the benchmarks (optimised, no sanitizers) and runs each one; every line prints the
# player's figure beside its baseline measured in the same run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build_dir=${ZR_BENCH_BUILD_DIR:-build/bench}
cmake -S . --preset release -B "$build_dir"
cmake --build "$build_dir" -j"${ZR_JOBS:-$(nproc)}"
for b in "$build_dir"/bench/bench_*; do
  [ -f "$b" ] && [ -x "$b" ] || continue
  if [ $# -gt 0 ] && [[ " $* " != *" $(basename "$b") "* ]]; then continue; fi
  echo "== $(basename "$b")"
  "$b"
done
