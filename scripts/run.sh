#!/usr/bin/env bash
# Installs what is missing, builds Quillpost and Quillbox into build/bin and
# starts them.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/deps.sh"
quill_install_deps

build="$QUILL_ROOT/build"
quill_build "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILL_TESTS=OFF -DQUILL_BENCH=OFF

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
