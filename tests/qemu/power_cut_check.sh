#!/usr/bin/env bash
# A real power cut in the middle of Compare_MapWrite, checked by
# Compare_MapCompare after a second boot:
#  1. the host lays the base pattern (with LBA stamps) over the region of an
#     NVMe image file; a second disk holds an ext4 file system that the VM
#     mounts and keeps its work folder on (TMPDIR), so the map and its
#     progress record survive the cut;
#  2. boot 1 makes a sequential map and plays it; once the progress record
#     says enough records are complete, the VM prints a marker and the host
#     kills QEMU with SIGKILL;
#  3. the host reads the progress record from the ext4 image and changes one
#     sector in each of three units completed well before the cut: zeros,
#     the base pattern (the older version), garbage;
#  4. boot 2 compares the disk with the map: exactly those three sectors are
#     reported, each with its class and LBA, in the counts and the detail CSV.
# Both disks use cache=writethrough: every write the guest saw completed is in
# the image file (and the guest sees no volatile write cache).
#
# usage: power_cut_check.sh TAMBLOR_BINARY SECTOR_IMAGE_TOOL [--log FOLDER]
#
# Exit code: 0 passed, 1 failed, 77 skipped (no QEMU, busybox, cpio, mkfs.ext4,
# e2fsck, debugfs, or no kernel with ext4 in the cache; under CI=true these fail).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tamblor=${1:-} tool=${2:-} logdir=
[ "${3:-}" = --log ] && logdir=${4:-}
[ -x "$tamblor" ] && [ -x "$tool" ] ||
  { echo "usage: power_cut_check.sh TAMBLOR_BINARY SECTOR_IMAGE_TOOL [--log FOLDER]" >&2; exit 2; }

. "$here/cannot_run.sh"
. "$here/vm_boot.sh"
vm_preflight mkfs.ext4 e2fsck debugfs
vm_require_module ext4

work=$(mktemp -d /tmp/tamblor-powercut-qemu.XXXXXX)
qemu_pid=
cleanup() {
  [ -n "$qemu_pid" ] && kill -KILL "$qemu_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
logdir=${logdir:-$work}
mkdir -p "$logdir"

base=0x0BA5E0DD
region_sectors=$((128 * 2048))
unit_sectors=8
# Boot 1 says so once this many records are complete; the map has 32768.
marker_floor=3000

. "$here/vm_root.sh"
# One root per boot: the runs, the hooks and the script differ.
make_root() { # ROOT
  vm_root_begin "$1" "$vm_cache"
  cp "$here/compare_init" "$1/init"
  chmod +x "$1/init"
  copy_with_libs "$tamblor" tamblor
  echo 1 > "$1/etc/want_sd"
  echo 1 > "$1/etc/want_nvme"
  echo /dev/sda > "$1/etc/persist"
  mkdir -p "$1/etc/runs"
}

boot() { # INITRD CONSOLE: starts QEMU in the background, sets qemu_pid
  vm_qemu_command "$1"
  "${vm_qemu[@]}" \
    -drive file="$work/nvme.img",if=none,id=nv0,format=raw,cache=writethrough -device nvme,serial=TBCUT01,drive=nv0 \
    -drive file="$work/persist.img",if=none,id=sata0,format=raw,cache=writethrough -device ahci,id=ahci0 \
    -device ide-hd,drive=sata0,bus=ahci0.0,serial=TBPERSIST01 \
    </dev/null > "$2" 2>&1 &
  qemu_pid=$!
}

# Waits until the console shows the text or QEMU ends; false at the deadline or the end.
wait_for() { # CONSOLE TEXT SECONDS
  local deadline=$(( $(date +%s) + $3 ))
  while [ "$(date +%s)" -lt "$deadline" ]; do
    grep -q "$2" "$1" 2>/dev/null && return 0
    kill -0 "$qemu_pid" 2>/dev/null || { grep -q "$2" "$1" 2>/dev/null; return; }
    sleep 0.1
  done
  return 1
}

fail() {
  echo "FAILED: $*"
  exit 1
}

# --- the disks
truncate -s 256M "$work/nvme.img"
"$tool" fill-base "$work/nvme.img" 0 "$region_sectors" "$base" || fail "cannot lay the base pattern"
truncate -s 64M "$work/persist.img"
mkfs.ext4 -q -F "$work/persist.img" || cannot_run "mkfs.ext4 cannot make the persistent disk"

# --- boot 1: play the map until the cut
make_root "$work/root1"
cp "$here/power_cut_write.scpt" "$work/root1/work/write.scpt"
echo "run_name=write; set -- 'SCRIPT:/work/write.scpt' '\\\\.\\PHYSICALDRIVE0'" > "$work/root1/etc/runs/1-write"
cat > "$work/root1/etc/before.sh" <<WATCH
( while :; do
    p=\$(find /persist -name LBAMap.progress 2>/dev/null | head -1)
    f=\$( [ -n "\$p" ] && sed -n 's/^floor=//p' "\$p")
    if [ "\${f:-0}" -ge $marker_floor ]; then echo "=== WRITING floor=\$f"; break; fi
    sleep 0.1
  done ) &
WATCH
vm_root_pack "$work/root1" "$work/initramfs1.gz"
console1=$logdir/console1.log
start=$(date +%s)
boot "$work/initramfs1.gz" "$console1"
if ! wait_for "$console1" '=== WRITING floor=' "${TAMBLOR_QEMU_TIMEOUT:-300}"; then
  tr -d '\r' < "$console1" | tail -40
  fail "boot 1 never reported the map's play under way"
fi
kill -KILL "$qemu_pid"
wait "$qemu_pid" 2>/dev/null
qemu_pid=
echo "boot 1: QEMU killed after $(( $(date +%s) - start )) s"
tr -d '\r' < "$console1" > "$work/out1.txt"
grep -E '^=== (DEVICES|PERSIST|WRITING)|POWERCUT-|LBA Map File' "$work/out1.txt"
grep -q 'POWERCUT-WRITE-ENDED\|=== TAMBLOR EXIT' "$work/out1.txt" && fail "the map's play ended before the cut: make the map larger"
map=$(sed -n 's/^ *POWERCUT-MAP=\(.*LBAMap\.map\)$/\1/p' "$work/out1.txt" | head -1)
case "$map" in /persist/*) ;; *) fail "the map '$map' is not on the persistent disk" ;; esac

# --- the progress record and the map, as the cut left them on the ext4 disk
# (its journal replayed first, as the kernel would at the next mount)
e2fsck -fy "$work/persist.img" > "$work/e2fsck.txt" 2>&1
[ $? -le 1 ] || { cat "$work/e2fsck.txt"; fail "the persistent disk's file system cannot be repaired after the cut"; }
inner=${map#/persist}
debugfs -R "dump \"$inner\" $work/LBAMap.map" "$work/persist.img" 2>/dev/null
debugfs -R "cat \"${inner%.map}.progress\"" "$work/persist.img" 2>/dev/null > "$work/progress.txt"
echo "--- progress record"; grep -v '^done=' "$work/progress.txt"
floor=$(sed -n 's/^floor=//p' "$work/progress.txt")
[ -s "$work/LBAMap.map" ] && [ -n "$floor" ] || fail "no map or progress record on the persistent disk"
[ "$floor" -ge "$marker_floor" ] || fail "the progress record's floor $floor is below the marker's $marker_floor"
grep -q '^finished=0$' "$work/progress.txt" || fail "the progress record says the play finished"

# --- three units completed well before the cut, one sector changed in each
declare -A changed_lba changed_unit
# content : sector within its unit (never the first, whose stamp names the unit's version)
for change in zeros:3 base:5 garbage:1; do
  IFS=: read -r what sector <<< "$change"
  case $what in zeros) index=$((floor / 4)) ;; base) index=$((floor / 2)) ;; garbage) index=$((floor * 3 / 4)) ;; esac
  read -r offset action <<< "$("$tool" record "$work/LBAMap.map" "$index")"
  [ "$action" = 0 ] || fail "record $index is no write (action $action)"
  unit=$((offset / 512))
  lba=$((unit + sector))
  changed_unit[$what]=$unit
  changed_lba[$what]=$lba
  if [ "$what" = base ]; then "$tool" put "$work/nvme.img" "$lba" base "$base"; else "$tool" put "$work/nvme.img" "$lba" "$what"; fi ||
    fail "cannot change sector $lba"
  echo "changed: record $index, unit at LBA $unit, sector $lba -> $what"
done

# --- boot 2: compare the disk with the map
make_root "$work/root2"
printf '%s\r\n' \
  "n = Compare_MapCompare( LBAMap:\"$map\", BasePattern:$base, WritePattern:0x55AA33CC );" \
  "Print( Output:\"POWERCUT-ERRORS=\" + n );" > "$work/root2/work/compare.scpt"
echo "run_name=compare; set -- 'SCRIPT:/work/compare.scpt' '\\\\.\\PHYSICALDRIVE0'" > "$work/root2/etc/runs/1-compare"
cat > "$work/root2/etc/after.sh" <<'SHOW'
for f in $(find /persist -name '*.csv'); do
  head -1 "$f" | grep -q '^Access LBA' || continue
  echo "=== DETAIL BEGIN $f"; cat "$f"; echo "=== DETAIL END"
done
SHOW
vm_root_pack "$work/root2" "$work/initramfs2.gz"
console2=$logdir/console2.log
start=$(date +%s)
boot "$work/initramfs2.gz" "$console2"
wait_for "$console2" 'reboot: Power down' "${TAMBLOR_QEMU_TIMEOUT:-300}"
kill -KILL "$qemu_pid" 2>/dev/null
wait "$qemu_pid" 2>/dev/null
qemu_pid=
echo "boot 2: $(( $(date +%s) - start )) s"
tr -d '\r' < "$console2" > "$work/out2.txt"
sed -n '/^=== TAMBLOR BEGIN/,/^=== TAMBLOR EXIT/p' "$work/out2.txt" | grep -vE '^ *[0-9A-F]{8}h:'
sed -n '/^=== DETAIL BEGIN/,/^=== DETAIL END/p' "$work/out2.txt" > "$work/detail.csv"
cat "$work/detail.csv"

failures=0
check() { # description, then a command that must succeed
  local what=$1; shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; failures=$((failures + 1)); fi
}
has() { grep -qF -- "$1" "$work/out2.txt"; }
check "the compare ran to its end" grep -q '^=== TAMBLOR EXIT compare 0$' "$work/out2.txt"
check "one sector of zeros" has "Miscompare - All 0x00 Sectors    : 1"
check "one sector of old data" has "Miscompare - As Old Data Sectors : 1"
check "one miscompared sector" has "Miscompare - Miscompare Sectors  : 1"
check "no read failure" has "Read IO Fail Sectors             : 0"
check "three errors in all" has "Total Error Sectors              : 3"
check "the result is the error count" has "POWERCUT-ERRORS=3"
# The detail rows: the unit's LBA, the counts (correct, old, zeros,
# miscompare, read fail), the wrong sector's LBA.
hex_lba() { local i out=; for i in 56 48 40 32 24 16 8 0; do out+=$(printf '%02X ' $(( ($1 >> i) & 255 ))); done; echo "$out"; }
row() { # what correct old zeros miscompare
  printf '%s,%-10d,%-10d,%-10d,%-10d,%-10d,%s,Correct Data,' "$(hex_lba "${changed_unit[$1]}")" "$2" "$3" "$4" "$5" 0 \
    "$(hex_lba "${changed_lba[$1]}")"
}
check "detail row of the zeroed sector" grep -qF -- "$(row zeros 7 0 1 0)" "$work/detail.csv"
check "detail row of the old sector" grep -qF -- "$(row base 7 1 0 0)" "$work/detail.csv"
check "detail row of the garbage sector" grep -qF -- "$(row garbage 7 0 0 1)" "$work/detail.csv"
check "no other detail row" [ "$(grep -c ',Correct Data,' "$work/detail.csv")" = 3 ]
if [ $failures -ne 0 ]; then
  echo "--- console of boot 2"
  tail -60 "$work/out2.txt"
  exit 1
fi
exit 0
