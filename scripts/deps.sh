#!/usr/bin/env bash
# Installs what building, running and testing Quill needs on Debian or Ubuntu,
# and only what is missing. Sourced by the other scripts.
set -euo pipefail

QUILL_PACKAGES=(
  cmake ninja-build ccache clang libclang-rt-dev g++
  qt6-base-dev qt6-base-dev-tools libqt6svg6 libqt6sql6-sqlite libgl-dev libxkbcommon-dev libssl-dev
  xvfb xauth x11-utils desktop-file-utils openbox libx11-dev libxcb1-dev
  dbus-daemon xdotool libcap2-bin dpkg-dev weston qt6-wayland appstream man-db python3
  qt6-l10n-tools qt6-tools-dev qt6-translations-l10n avahi-daemon avahi-utils
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

# Configures and builds one build folder with Ninja, warnings as errors:
#   [QUILL_CC=gcc QUILL_CXX=g++] quill_build <folder> [-D<name>=<value>...]
# A new folder is configured with clang (or the compilers given; a folder
# keeps the compilers it was first configured with). An existing one is configured again
# only when one of the options differs from its cache (so an option added here
# later reaches folders made before); otherwise the build stays incremental.
quill_build() {
  local dir=$1
  shift
  local options=(-DQUILL_WERROR=ON "$@")
  if [ ! -f "$dir/build.ninja" ]; then
    CC=${QUILL_CC:-clang} CXX=${QUILL_CXX:-clang++} cmake -S "$QUILL_ROOT" -B "$dir" -G Ninja "${options[@]}"
  elif ! quill_cache_has "$dir/CMakeCache.txt" "${options[@]}"; then
    cmake -S "$QUILL_ROOT" -B "$dir" "${options[@]}"
  fi
  cmake --build "$dir" --parallel "$(nproc)"
}

# True when the CMake cache file holds every -D<name>[:<type>]=<value> given.
quill_cache_has() {
  local cache=$1 option name
  shift
  [ -f "$cache" ] || return 1
  for option in "$@"; do
    case $option in
      -D*=*) ;;
      *) return 1 ;;
    esac
    option=${option#-D}
    name=${option%%=*}
    name=${name%%:*}
    QUILL_NAME=$name QUILL_VALUE=${option#*=} awk '
      index($0, ENVIRON["QUILL_NAME"] ":") == 1 {
        sub(/^[^=]*=/, "")
        if ($0 == ENVIRON["QUILL_VALUE"]) found = 1
      }
      END { exit !found }' "$cache" || return 1
  done
}

QUILL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
