#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite.
# ZR_PRESET names the CMake preset (CMakePresets.json): "dev" by default, "asan" for the build
# with AddressSanitizer and UndefinedBehaviorSanitizer. Arguments go to ctest (e.g. -R tst_log).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=${ZR_JOBS:-$(nproc)}
preset=${ZR_PRESET:-dev}
build_dir=${ZR_BUILD_DIR:-build/$preset}

cmake -S . --preset "$preset" -B "$build_dir"
cmake --build "$build_dir" -j"$jobs"

# One private X server for the tests that need real rendering (QML, the main window).
xvfb_pid=""
cleanup() { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true; }
trap cleanup EXIT
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X${n}-lock" ] && [ ! -e "/tmp/.X11-unix/X${n}" ]; then
    Xvfb ":${n}" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":${n}"
    break
  fi
done
for _ in $(seq 1 50); do
  [ -e "/tmp/.X11-unix/${DISPLAY#:}" ] || [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ] && break
  sleep 0.1
done

if [ $# -gt 0 ]; then
  ctest --test-dir "$build_dir" --output-on-failure --no-tests=error -j"$jobs" "$@"
  exit $?
fi
# The QML and main-window tests render in software and play video in real time: they run
# after the others, one at a time, so that a loaded machine cannot starve their timers.
status=0
ctest --test-dir "$build_dir" --output-on-failure --no-tests=error -j"$jobs" -LE qml || status=$?
ctest --test-dir "$build_dir" --output-on-failure --no-tests=error -j1 -L qml || status=$?
exit $status
