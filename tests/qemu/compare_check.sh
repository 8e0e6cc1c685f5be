#!/usr/bin/env bash
# Boots a QEMU VM with an emulated NVMe controller and an AHCI SATA disk and
# runs compare.scpt with the real binary on each (the write/verify loops, a
# map made, written and compared, FindLBA_ByPattern).
#
# usage: compare_check.sh TAMBLOR_BINARY [--log FILE]
#
# Exit code: 0 passed, 1 failed, 77 skipped (no QEMU, busybox, cpio or kernel;
# under CI=true these fail with 1). Environment: see vm_boot.sh;
# TAMBLOR_QEMU_TIMEOUT seconds before the VM is stopped (default 400).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tamblor=${1:-}
log=
[ "${2:-}" = --log ] && log=${3:-}
[ -n "$tamblor" ] && [ -x "$tamblor" ] || { echo "usage: compare_check.sh TAMBLOR_BINARY [--log FILE]" >&2; exit 2; }

. "$here/cannot_run.sh"
. "$here/vm_boot.sh"
. "$here/compare_expect.sh"
vm_preflight

work=$(mktemp -d /tmp/tamblor-compare-qemu.XXXXXX)
trap 'rm -rf "$work"' EXIT
. "$here/vm_root.sh"
vm_root_begin "$work/root" "$vm_cache"
cp "$here/compare_init" "$work/root/init"
chmod +x "$work/root/init"
copy_with_libs "$tamblor" tamblor
cp "$here/compare.scpt" "$work/root/work/compare.scpt"
echo 1 > "$work/root/etc/want_sd"
echo 1 > "$work/root/etc/want_nvme"
mkdir -p "$work/root/etc/runs"
# NVMe namespaces are listed before SCSI disks: the NVMe disk is drive 0.
echo "run_name=nvme; set -- 'SCRIPT:/work/compare.scpt' '\\\\.\\PHYSICALDRIVE0'" > "$work/root/etc/runs/1-nvme"
echo "run_name=sata; set -- 'SCRIPT:/work/compare.scpt' '\\\\.\\PHYSICALDRIVE1'" > "$work/root/etc/runs/2-sata"
vm_root_pack "$work/root" "$work/initramfs.gz"

# Trims unmap the image's blocks, so that trimmed sectors read back as zeros.
for img in nvme sata; do truncate -s 256M "$work/$img.img"; done
console=${log:-$work/console.log}
start=$(date +%s)
vm_qemu_command "$work/initramfs.gz"
timeout "${TAMBLOR_QEMU_TIMEOUT:-400}" "${vm_qemu[@]}" \
  -drive file="$work/nvme.img",if=none,id=nv0,format=raw,discard=unmap -device nvme,serial=TBCMP01,drive=nv0 \
  -drive file="$work/sata.img",if=none,id=sata0,format=raw,discard=unmap -device ahci,id=ahci0 \
  -device ide-hd,drive=sata0,bus=ahci0.0,model="TAMBLOR SATA DISK",serial=TBCMPSATA01 \
  </dev/null > "$console" 2>&1
qemu_rc=$?
tr -d '\r' < "$console" > "$work/out.txt"
echo "VM ran $(( $(date +%s) - start )) s (qemu exit $qemu_rc)"

failures=0
for disk in nvme sata; do
  sed -n "/^=== TAMBLOR BEGIN $disk\$/,/^=== TAMBLOR EXIT $disk /p" "$work/out.txt" > "$work/$disk.txt"
  grep -E 'COMPARE-|Compare Result|Counts|Sectors  |Finound|CurrentLBA|Exit' "$work/$disk.txt"
  if grep -q "^=== TAMBLOR EXIT $disk 0\$" "$work/$disk.txt"; then
    echo "ok   $disk: exit 0"
  else
    echo "FAIL $disk: $(grep "^=== TAMBLOR EXIT $disk " "$work/$disk.txt" || echo 'the run did not end')"
    failures=$((failures + 1))
  fi
  compare_expect "$work/$disk.txt" "$disk" || failures=$((failures + $?))
done
if [ $failures -ne 0 ]; then
  echo "--- console"
  tail -120 "$work/out.txt"
  exit 1
fi
exit 0
