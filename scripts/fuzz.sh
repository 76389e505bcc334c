#!/usr/bin/env bash
# Runs one fuzz target under libFuzzer, with AddressSanitizer and
# UndefinedBehaviorSanitizer, for SECONDS over its checked-in seeds.
#
# usage: scripts/fuzz.sh TARGET SECONDS [libFuzzer options...]
#   e.g. scripts/fuzz.sh device_list 600 -runs=10000000
#
# New inputs go to build-fuzz/corpus/TARGET (the checked-in seeds are only
# read); an input that breaks a check is saved under build-fuzz/artifacts/TARGET/.
# Copy the inputs worth keeping into tests/fuzz/corpus/TARGET/ by hand.
set -euo pipefail
cd "$(dirname "$0")/.."
if (($# < 2)); then
  sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'
  exit 2
fi
target=$1
seconds=$2
shift 2
seeds=tests/fuzz/corpus/$target
if [[ ! -f tests/fuzz/${target}_fuzz.cpp || ! -d $seeds ]]; then
  echo "fuzz.sh: no target '$target' (tests/fuzz/${target}_fuzz.cpp and $seeds)" >&2
  exit 2
fi

bash scripts/deps.sh  # clang and its runtimes among them

build=${KV_FUZZ_BUILD:-build-fuzz}
# The tests are left out: clang builds them clean here too, but they run in
# test.sh's trees, and this one is instrumented for libFuzzer alone.
cmake -S . -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DKV_FUZZ=ON -DKV_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "${KV_FUZZ_JOBS:-4}" --target "${target}_fuzz"

work=$build/corpus/$target
artifacts=$build/artifacts/$target/
mkdir -p "$work" "$artifacts"
# libFuzzer's memory watch is a thread that calls sleep(), which the emulator
# answers at once on the fuzzing thread's bus: a race. The malloc limit does
# the same job without a thread.
options=(-max_total_time="$seconds" -artifact_prefix="$artifacts" -print_final_stats=1
  -rss_limit_mb=0 -malloc_limit_mb=2048)
[[ -f tests/fuzz/$target.dict ]] && options+=(-dict="tests/fuzz/$target.dict")
# The emulator stands in for libc calls, ahead of the sanitizer's own.
export ASAN_OPTIONS=${ASAN_OPTIONS:-verify_asan_link_order=0:detect_leaks=1}
exec "$build/tests/fuzz/${target}_fuzz" "${options[@]}" "$@" "$work" "$seeds"
