#!/usr/bin/env bash
# Builds an optimised, sanitizer-free build in build/bench and measures the
# start-up time and memory of quillpost and quillbox against a bare Qt Widgets window.
# Usage: bench/sender/run.sh [runs]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/deps.sh"
quill_install_deps

build="$QUILL_ROOT/build/bench"
if [ ! -f "$build/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$QUILL_ROOT" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILL_TESTS=OFF
fi
cmake --build "$build" --parallel "$(nproc)" --target bench_startup
"$build/bin/bench_startup" "${1:-15}"
