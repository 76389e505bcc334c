#!/usr/bin/env bash
# Builds and runs every test twice, with warnings as errors: plain with g++,
# then under AddressSanitizer and UndefinedBehaviorSanitizer with clang++ (g++
# where clang++ is not installed). ctest runs each test on its own, each test
# program once whole (label "whole"), and an install into a scratch prefix.
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

# run DIR CC CXX [cmake options...]
run() {
  local dir=$1 cc cxx
  cc=$(command -v "$2")
  cxx=$(command -v "$3")
  shift 3
  # A tree configured with another compiler starts afresh: CMake would drop
  # its cache, and the options given here with it.
  if [[ -f $dir/CMakeCache.txt ]] && ! grep -qx "CMAKE_CXX_COMPILER:[A-Z]*=$cxx" "$dir/CMakeCache.txt"; then
    rm -rf "$dir"
  fi
  cmake -S . -B "$dir" -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" -DKV_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest --output-on-failure -j "$jobs" </dev/null)
}
san=(gcc g++)
command -v clang++ >/dev/null && san=(clang clang++)
echo "== plain build (g++)"
run build gcc g++
echo "== sanitized build (ASan + UBSan, ${san[1]})"
run build-san "${san[@]}" -DKV_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
