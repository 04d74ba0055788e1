#!/usr/bin/env bash
# Installs what is missing, builds the test build (AddressSanitizer and
# UndefinedBehaviorSanitizer, libFuzzer targets) and runs every test through
# CTest. Exits non-zero on any failure.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/deps.sh"
quill_install_deps

build="$QUILL_ROOT/build/sanitize"
quill_build "$build" -DCMAKE_BUILD_TYPE=Debug -DQUILL_SANITIZE=ON -DQUILL_FUZZ=ON

cd "$build"
ctest --output-on-failure --parallel "$(nproc)" --timeout 300 "$@"
