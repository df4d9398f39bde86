#!/usr/bin/env bash
# Installs every Debian package the project needs; does nothing when all are present.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev qt6-base-dev-tools qt6-declarative-dev qt6-tools-dev qt6-svg-dev libqt6svg6
  qt6-translations-l10n qt6-l10n-tools
  qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-layouts
  qml6-module-qtquick-dialogs qml6-module-qtquick-templates qml6-module-qtquick-window
  qml6-module-qtqml qml6-module-qtqml-models qml6-module-qtqml-workerscript
  qml6-module-qt-labs-platform qml6-module-qt-labs-settings qml6-module-qttest
  qml6-module-qtquick-shapes
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev
  libssl-dev openssl libcurl4-openssl-dev libsdl2-dev libzip-dev libarchive-dev
  ffmpeg xvfb xauth libgl1-mesa-dri fonts-dejavu-core
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
