#!/usr/bin/env bash
# Installs what building, running and testing Quill needs on Debian or Ubuntu,
# and only what is missing. Sourced by the other scripts.
set -euo pipefail

QUILL_PACKAGES=(
  cmake ninja-build ccache clang libclang-rt-dev g++
  qt6-base-dev qt6-base-dev-tools libqt6svg6 libgl-dev libxkbcommon-dev
  xvfb xauth x11-utils desktop-file-utils openbox libxcb1-dev
  dbus-daemon xdotool
)

quill_install_deps() {
  local missing=()
  local pkg
  for pkg in "${QUILL_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Configures (first time only) and builds one build folder with Ninja.
quill_build() {
  local dir=$1
  shift
  if [ ! -f "$dir/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S "$QUILL_ROOT" -B "$dir" -G Ninja "$@"
  fi
  cmake --build "$dir" --parallel "$(nproc)"
}

QUILL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
