#!/usr/bin/env bash
# Builds and runs every test twice: plain, then under AddressSanitizer and
# UndefinedBehaviorSanitizer. ctest runs each test on its own, each test program
# once whole (label "whole"), and an install into a scratch prefix.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)
run() {
  local dir=$1; shift
  cmake -S . -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest --output-on-failure -j "$jobs" </dev/null)
}
echo "== plain build"
run build
echo "== sanitized build (ASan + UBSan)"
run build-san -DKV_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
