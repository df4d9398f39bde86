#!/usr/bin/env bash
# Installs what is missing, builds the player, writes a demo export (two days, three cameras,
# alarms, tags and previews), puts the program inside the export folder and starts it there:
# the side panel opens the export the program sits in by itself.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

build_dir=${ZR_DEMO_BUILD_DIR:-build/demo}
cmake -S . --preset release -B "$build_dir" -DZR_BUILD_BENCH=OFF
cmake --build "$build_dir" -j"${ZR_JOBS:-$(nproc)}" --target zrplayer zr-make-export

# A fresh export every time; only the demo's own folder is replaced.
demo_root="$build_dir/demo-export"
export_id="d3e0-0000-0000-0001"
export_dir="$demo_root/zrnova_$export_id"
rm -rf "$demo_root"
mkdir -p "$demo_root"
"$build_dir/tools/zr-make-export" --out "$demo_root" --id "$export_id" --days 2 --cameras 3 \
  --minutes 10 --alarms 4 --tags 3 --previews --seed 7

cp "$build_dir/player/zrplayer" "$export_dir/zrplayer"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: the demo export is ready in $export_dir;" >&2
  echo "start $export_dir/zrplayer from a desktop session." >&2
  exit 1
fi
cd "$export_dir"
exec ./zrplayer
