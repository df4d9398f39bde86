#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build/fuzz) and runs them.
#
#   scripts/fuzz.sh [target...] [--minutes N] [--parallel N] [--build-only]
#
# Targets are the names of fuzz/fuzz_<name>.cpp (all when none is given). Each runs for N
# minutes (default 10), at most --parallel at once (default 3). New inputs that reach new code
# go to build/fuzz/corpus/<target>/, crashes, leaks, time-outs and out-of-memory inputs to
# build/fuzz/findings/<target>/, the fuzzer's output to build/fuzz/logs/<target>.log.
# A finding, once fixed, belongs in fuzz/corpus/<target>/ so that the replay test keeps it.
set -euo pipefail
cd "$(dirname "$0")/.."

minutes=10
parallel=3
build_only=0
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --minutes) minutes="$2"; shift 2 ;;
    --parallel) parallel="$2"; shift 2 ;;
    --build-only) build_only=1; shift ;;
    -h|--help) sed -n '2,11p' "$0"; exit 0 ;;
    -*) echo "unknown option $1" >&2; exit 2 ;;
    *) targets+=("$1"); shift ;;
  esac
done
if [ ${#targets[@]} -eq 0 ]; then
  for f in fuzz/fuzz_*.cpp; do
    n=$(basename "$f" .cpp); targets+=("${n#fuzz_}")
  done
fi
for t in "${targets[@]}"; do
  [ -f "fuzz/fuzz_${t}.cpp" ] || { echo "no fuzz target '${t}'" >&2; exit 2; }
done

# clang and its libFuzzer runtime.
missing=()
for p in clang-14 libclang-rt-14-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
fi

build=build/fuzz
CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZR_FUZZ=ON -DZR_BUILD_TESTS=OFF -DZR_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j3 --target $(printf 'fuzz_%s ' "${targets[@]}")
[ "$build_only" = 1 ] && exit 0

mkdir -p "$build/logs"
run_one() {
  local t=$1
  local corpus="$build/corpus/$t" findings="$build/findings/$t"
  mkdir -p "$corpus" "$findings"
  # Qt's and FFmpeg's own lasting allocations are not the targets' leaks only when they grow.
  ASAN_OPTIONS=abort_on_error=1:detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  QT_QPA_PLATFORM=offscreen \
    "$build/fuzz/fuzz_$t" "$corpus" "fuzz/corpus/$t" \
      -max_total_time=$((minutes * 60)) -timeout=25 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$findings/" >"$build/logs/$t.log" 2>&1
  local rc=$?
  local runs
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$build/logs/$t.log" | grep -o '[0-9]*$' | tail -1)
  if [ $rc -eq 0 ]; then
    echo "$t: ${runs:-?} executions, nothing found"
  else
    echo "$t: FINDING after ${runs:-?} executions (exit $rc): $(ls "$findings" | tail -1) — see $build/logs/$t.log"
  fi
  return $rc
}
export -f run_one
export build minutes
printf '%s\n' "${targets[@]}" | xargs -P "$parallel" -I{} bash -c 'run_one {}'
