#!/usr/bin/env bash
# Builds the library and runs the demo program against the emulated bus in
# emulator/demo/bus.ini, with the library's command log on standard output.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build >/dev/null
cmake --build build -j "$(nproc)" --target kv_list_bus kvemu_preload >/dev/null
LD_PRELOAD="$PWD/build/emulator/libkvemu_preload.so" KVEMU_BUS="$PWD/emulator/demo/bus.ini" \
  build/emulator/kv_list_bus
