#!/usr/bin/env bash
# Builds kv_rom and runs it in mode all against the demo bus under the sg
# emulator: a whole discover, recommend, download and verify pass, in a scratch
# copy of emulator/demo so the demo files stay as they are.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/deps.sh
cmake -S . -B build >/dev/null
cmake --build build -j "$(nproc)" --target kv_rom kvemu_preload >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r emulator/demo/bus.ini emulator/demo/fwimage "$work"/
cd "$work"

echo "== kv_rom -a   (working directory: a copy of emulator/demo)"
status=0
LD_PRELOAD="$root/build/emulator/libkvemu_preload.so" \
  KVEMU_BUS="$work/bus.ini" KVEMU_LOGFILE="$work/Component.log" KVEMU_TRACE="$work/trace.txt" \
  "$root/build/firmware/kv_rom" -a || status=$?
echo
echo "== exit status: $status"
echo
echo "== log file (/var/vxt/Component.log, redirected by the emulator)"
cat Component.log
echo
echo "== what the drives were sent, besides TEST UNIT READY and INQUIRY"
grep -Ev '^(cmd sg[0-9]+ (00|12) |out |open |close )' trace.txt |
  awk 'function hex(s,   i, v) { v = 0; for (i = 1; i <= length(s); i++) v = v * 16 + index("0123456789ABCDEF", substr(s, i, 1)) - 1; return v }
       $1 == "cmd" { name = "opcode " $3 }
       $3 == "16" { name = "RESERVE" }
       $3 == "44" { name = "REPORT DENSITY SUPPORT" }
       $3 == "03" { name = "REQUEST SENSE" }
       $3 == "3C" { name = "READ BUFFER" }
       $3 == "3B" { name = "WRITE BUFFER mode " hex($4) ", " hex($9 $10 $11) " bytes" }
       $1 == "cmd" { printf "%-5s %-40s %s\n", $2, name, substr($0, index($0, $3)); next }
       { print }' || true
exit "$status"
