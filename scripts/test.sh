#!/usr/bin/env bash
# Builds and runs every test twice: plain, then under AddressSanitizer and
# UndefinedBehaviorSanitizer. ctest runs each test on its own, each test program
# once whole (label "whole"), and an install into a scratch prefix.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)

# Every C and C++ file as .clang-format lays it out; skipped (with a word) where
# no clang-format is installed.
sources() {
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z -- '*.c' '*.cpp' '*.h'
  else
    find scsi firmware emulator tests \( -name '*.c' -o -name '*.cpp' -o -name '*.h' \) -print0
  fi
}
if command -v clang-format >/dev/null; then
  echo "== format check ($(clang-format --version))"
  sources | xargs -0 clang-format --dry-run --Werror ||
    { echo "unformatted files (above): run clang-format -i on them"; exit 1; }
else
  echo "== format check skipped: clang-format is not installed"
fi

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
