#!/usr/bin/env bash
# Installs what is missing, builds the test build (AddressSanitizer and
# UndefinedBehaviorSanitizer, libFuzzer targets) and runs every test through
# CTest; then builds a release build with GCC and runs the fast tests there
# (not fuzz, stress, fault, e2e or slow), so that code only one compiler
# accepts cannot land. QUILL_GCC=0 leaves the GCC pass out. Arguments go to
# both CTest runs. Exits non-zero on any failure.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/deps.sh"
quill_install_deps

build="$QUILL_ROOT/build/sanitize"
quill_build "$build" -DCMAKE_BUILD_TYPE=Debug -DQUILL_SANITIZE=ON -DQUILL_FUZZ=ON

status=0
(cd "$build" && ctest --output-on-failure --parallel "$(nproc)" --timeout 300 "$@") || status=$?

if [ "${QUILL_GCC:-1}" != 0 ]; then
  gcc_build="$QUILL_ROOT/build/gcc"
  echo "GCC: release build in $gcc_build and the fast tests (QUILL_GCC=0 leaves this out)"
  # The fuzzers need clang.
  QUILL_CC=gcc QUILL_CXX=g++ quill_build "$gcc_build" -DCMAKE_BUILD_TYPE=Release -DQUILL_SANITIZE=OFF \
    -DQUILL_FUZZ=OFF
  (cd "$gcc_build" && ctest --output-on-failure --parallel "$(nproc)" --timeout 300 \
    -LE 'fuzz|stress|fault|e2e|slow' "$@") || status=$?
fi
exit "$status"
