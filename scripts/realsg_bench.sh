#!/usr/bin/env bash
# Times `kv_rom -d` against the real sg driver (Debian's kernel in qemu,
# ../shared/tools/realsg) at several numbers of scsi_debug devices, with the
# device list in /proc and without it, when the devices are listed only in
# sysfs. Per size and source: the mean of RUNS timed runs (after one untimed
# run), the system calls of one run (strace -c), and the nodes opened and
# CDBs sent, in order, which must be the same from both sources. Ends with a
# table of both sources side by side.
#
# usage: scripts/realsg_bench.sh [--kv-rom FILE] [--sizes "2 16 64"] [--runs 3] [--same-boot] [BUILD_DIR]
#   --kv-rom FILE  time this kv_rom instead of building BUILD_DIR's (default: build)
#   --same-boot    one boot per size with the proc list's modules, the runs
#                  taking turns with the list hidden (a bind mount over
#                  /proc/scsi/sg), so both sources meet the same load; by
#                  default the sysfs runs boot Debian's own modules, which
#                  have no proc list
#
# A size N up to 16 is one adapter with N targets; a larger one is N/16
# adapters of 16 targets. scsi_debug skips target 7, the adapter's own, so
# the targets are 0-6 and 8-16 and the scan (targets 0-15) sees 15 of them.
set -euo pipefail
cd "$(dirname "$0")/.."
kv_rom=
sizes="2 16 64"
runs=3
same_boot=
while (($#)); do
  case $1 in
    --kv-rom) kv_rom=$2; shift 2 ;;
    --sizes) sizes=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --same-boot) same_boot=1; shift ;;
    -h|--help) sed -n '2,21p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) break ;;
  esac
done
build=${1:-build}
realsg=../shared/tools/realsg
[[ -x $realsg/run-in-vm.sh ]] || { echo "realsg_bench.sh: no $realsg/run-in-vm.sh" >&2; exit 2; }
command -v strace >/dev/null || { echo "realsg_bench.sh: strace is not installed" >&2; exit 2; }

if [[ -z $kv_rom ]]; then
  cmake -S . -B "$build" >/dev/null
  cmake --build "$build" -j3 --target kv_rom >/dev/null
  kv_rom=$build/firmware/kv_rom
fi
"$realsg/setup.sh" >/dev/null 2>&1 || { echo "realsg_bench.sh: $realsg/setup.sh failed" >&2; exit 2; }

stage=$(mktemp -d)
out=$(mktemp -d)
trap 'rm -rf "$stage" "$out"' EXIT
mkdir "$stage/fwimage"
cp "$kv_rom" "$stage/kv_rom"
echo '1A2B|LTO.BIN|2.00' >"$stage/fwimage/firmware.cfg"

# Runs in the VM: measure SOURCES (proc, sysfs or both) RUNS times, taking
# turns; every line it prints names its source. Times come from /proc/uptime
# (hundredths of a second).
cat >"$stage/measure.sh" <<'EOF'
runs=$1
shift
hide() { mkdir -p /tmp/empty && mount --bind /tmp/empty /proc/scsi/sg; }
show() { umount /proc/scsi/sg; }
as() {
  source=$1
  shift
  if [ "$source" = sysfs ] && [ -e /proc/scsi/sg/devices ]; then hide; "$@"; show; else "$@"; fi
}
timed() {
  t0=$(cut -d" " -f1 /proc/uptime)
  ./kv_rom -d out.xml >out.txt 2>err.txt
  t1=$(cut -d" " -f1 /proc/uptime)
  echo "run $source $t0 $t1 $(tail -n 1 out.txt)"
}
counted() {
  strace -f -c -o count.txt ./kv_rom -d out.xml >/dev/null 2>&1
  awk -v s="$source" '$NF == "total" { print "syscalls", s, $4 } $NF != "total" && $4 ~ /^[0-9]+$/ { print "call", s, $NF, $4 }' count.txt
}
traced() {
  strace -f -o trace.txt -e trace=openat,ioctl ./kv_rom -d out.xml >/dev/null 2>&1
  grep -o "\"/dev/sg[0-9]*\"\|cmdp=\"[^\"]*\"" trace.txt | sed "s/^/seq $source /"
}
echo "nodes $(ls /sys/class/scsi_generic | wc -l)"
./kv_rom -d out.xml >/dev/null 2>&1
i=0
while [ $i -lt "$runs" ]; do
  for s in "$@"; do as "$s" timed; done
  i=$((i + 1))
done
for s in "$@"; do as "$s" counted; as "$s" traced; done
EOF

params() {
  local n=$1 hosts=1 targets=$1
  if ((n > 16)); then hosts=$((n / 16)); targets=16; fi
  echo "ptype=1 inq_vendor=\"KV      \" inq_product=\"ULTRIUM-TEST    \" inq_rev=A1B2 num_tgts=$targets max_luns=1 add_host=$hosts"
}

# vm FILE [--stock-modules] -- SOURCES...
vm() {
  local file=$1
  shift
  local modules=()
  [[ $1 == --stock-modules ]] && { modules=(--stock-modules); shift; }
  shift
  "$realsg/run-in-vm.sh" "${modules[@]}" --timeout 1800 --scsi-debug "$(params "$n")" --bin "$(command -v strace)" \
    --files "$stage" -- sh measure.sh "$runs" "$@" >"$file" || { echo "realsg_bench.sh: VM run failed" >&2; exit 1; }
}

# From the output of one size: the mean seconds of a source's runs, its
# system calls, its most frequent calls, and its opens and CDBs in order.
mean() { awk -v s="$2" '$1 == "run" && $2 == s { t += $4 - $3; n++ } END { if (n) printf "%.2f", t / n }' "$1"; }
syscalls() { awk -v s="$2" '$1 == "syscalls" && $2 == s { print $3 }' "$1"; }
top_calls() {
  awk -v s="$2" '$1 == "call" && $2 == s { print $4, $3 }' "$1" | sort -rn | head -n 4 |
    awk '{ printf "%s%s %s", sep, $2, $1; sep = ", " }'
}
sequence() { awk -v s="$2" '$1 == "seq" && $2 == s { print $3 }' "$1"; }

for n in $sizes; do
  file=$out/$n
  if [[ -n $same_boot ]]; then
    echo "== $n devices, one boot, runs taking turns" >&2
    vm "$file" -- proc sysfs
  else
    echo "== $n devices, modules with the proc device list, then Debian's" >&2
    vm "$file.proc" -- proc
    vm "$file.sysfs" --stock-modules -- sysfs
    cat "$file.proc" "$file.sysfs" >"$file"
  fi
  grep '^nodes\|^run\|^syscalls' "$file" | sed 's/^/  /' >&2
  for s in proc sysfs; do echo "  $s, most frequent calls: $(top_calls "$file" $s)" >&2; done
  if [[ $(sequence "$file" proc) == "$(sequence "$file" sysfs)" ]]; then
    agree="same $(sequence "$file" proc | grep -c '^"') opens and $(sequence "$file" proc | grep -c '^cmdp') CDBs"
  else
    agree="DIFFERENT nodes or CDBs"
  fi
  echo "$n $(mean "$file" proc) $(mean "$file" sysfs) $(syscalls "$file" proc) $(syscalls "$file" sysfs) $agree" \
    >>"$out/table"
done

echo
echo "kv_rom -d on the real sg driver, mean of $runs runs${same_boot:+ in one boot per size} ($kv_rom)"
echo
echo "| devices | proc list | sysfs only | ratio | syscalls of one run, proc / sysfs | both lookups |"
echo "|---:|---:|---:|---:|---|---|"
while read -r n proc sysfs sc_proc sc_sysfs agree; do
  ratio=$(awk -v a="$sysfs" -v b="$proc" 'BEGIN { if (b > 0) printf "%.2f", a / b }')
  echo "| $n | $proc s | $sysfs s | $ratio | $sc_proc / $sc_sysfs | $agree |"
done <"$out/table"
