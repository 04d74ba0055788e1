#!/usr/bin/env bash
# Installs what is missing, builds Quillpost and Quillbox into build/bin and
# starts them.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/deps.sh"
quill_install_deps

build="$QUILL_ROOT/build"
quill_build "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILL_TESTS=OFF -DQUILL_BENCH=OFF

# Lets the fresh quillbox listen on port 505 (below 1024), as the package's
# install does; a rebuild drops the right, so it is given after each build.
grant_low_ports() {
  local program=$1 setcap
  setcap=$(command -v setcap || echo /usr/sbin/setcap)
  if [ ! -x "$setcap" ]; then
    echo "setcap is not installed: quillbox cannot listen on port 505 (README: \"Port 505 on Linux\")."
    return 0
  fi
  if "$(dirname "$setcap")/getcap" "$program" 2>/dev/null | grep -q cap_net_bind_service; then
    return 0 # still there: the build left the program alone
  fi
  if [ "$(id -u)" -eq 0 ]; then
    "$setcap" cap_net_bind_service=+ep "$program" \
      || echo "setcap failed: quillbox cannot listen on port 505 (README: \"Port 505 on Linux\")."
    return 0
  fi
  if ! command -v sudo >/dev/null; then
    echo "No sudo: quillbox cannot listen on port 505 (README: \"Port 505 on Linux\")."
    return 0
  fi
  echo "Running sudo setcap cap_net_bind_service=+ep $program: lets quillbox listen on port 505 (below 1024) without root."
  sudo setcap cap_net_bind_service=+ep "$program" \
    || echo "sudo setcap failed: quillbox cannot listen on port 505 (README: \"Port 505 on Linux\")."
}

if [ -x "$build/bin/quillbox" ]; then
  grant_low_ports "$build/bin/quillbox"
fi

started=0
for program in quillbox quillpost; do
  if [ -x "$build/bin/$program" ]; then
    "$build/bin/$program" "$@" &
    echo "Started $program (pid $!)"
    started=1
  fi
done
if [ "$started" -eq 0 ]; then
  echo "Built the libraries; the programs quillpost and quillbox are not part of the build yet."
fi
