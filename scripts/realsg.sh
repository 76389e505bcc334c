#!/usr/bin/env bash
# Runs `kv_rom -d` against the real sg driver: Debian's kernel in qemu with
# scsi_debug tape devices (../shared/tools/realsg), once with the device list
# in /proc and once with Debian's own modules, which list the nodes only in
# sysfs. For each it prints the result line, how many lines went to standard
# error, the nodes opened and the CDBs sent (traced with the host's strace).
#
# usage: scripts/realsg.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
realsg=../shared/tools/realsg
[[ -x $realsg/run-in-vm.sh ]] || { echo "realsg.sh: no $realsg/run-in-vm.sh" >&2; exit 2; }
command -v strace >/dev/null || { echo "realsg.sh: strace is not installed" >&2; exit 2; }

cmake -S . -B "$build" >/dev/null
cmake --build "$build" -j4 --target kv_rom >/dev/null
"$realsg/setup.sh" >/dev/null 2>&1 || { echo "realsg.sh: $realsg/setup.sh failed" >&2; exit 2; }

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/fwimage"
cp "$build/firmware/kv_rom" "$stage/"
echo '1A2B|LTO.BIN|2.00' >"$stage/fwimage/firmware.cfg"

# Runs in the VM: kv_rom under strace, then what it did.
probe='strace -f -o trace.txt -e trace=openat,ioctl ./kv_rom -d out.xml >out.txt 2>err.txt
status=$?
echo "  $(tail -n 1 out.txt) (exit status $status)"
echo "  standard error: $(wc -l <err.txt) lines"
echo "  nodes opened: $(grep -o "\"/dev/sg[0-9]*\"" trace.txt | sort | uniq -c | tr -s " \n" " ")"
echo "  CDBs sent:"
grep SG_IO trace.txt | grep -o "cmdp=\"[^\"]*\"" | sort | uniq -c'

for modules in "" --stock-modules; do
  echo "== ${modules:-modules with the proc device list}"
  "$realsg/run-in-vm.sh" $modules --bin "$(command -v strace)" --files "$stage" -- sh -c \
    'if [ -e /proc/scsi/sg/devices ]; then echo "  /proc/scsi/sg/devices present"; else echo "  no /proc/scsi/sg/devices"; fi
     '"$probe"
done
