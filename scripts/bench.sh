#!/usr/bin/env bash
# Builds the benchmarks (optimised, no sanitizers) and runs each one; every line prints the
# player's figure beside its baseline measured in the same run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# mpv is the playback benchmark's baseline only; the player does not need it.
if ! command -v mpv >/dev/null 2>&1; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  # apt waits its turn when another install holds the package lock.
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=300 mpv \
    || echo "mpv could not be installed: the playback benchmark prints no mpv baseline"
fi
build_dir=${ZR_BENCH_BUILD_DIR:-build/bench}
cmake -S . --preset release -B "$build_dir"
cmake --build "$build_dir" -j"${ZR_JOBS:-$(nproc)}"
for b in "$build_dir"/bench/bench_*; do
  [ -f "$b" ] && [ -x "$b" ] || continue
  if [ $# -gt 0 ] && [[ " $* " != *" $(basename "$b") "* ]]; then continue; fi
  echo "== $(basename "$b")"
  "$b"
done
