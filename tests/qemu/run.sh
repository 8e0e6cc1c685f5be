#!/usr/bin/env bash
# Boots a QEMU VM with an emulated NVMe controller, an AHCI SATA disk and a
# USB mass-storage disk, and runs the Linux disk backend probe inside it
# against those devices; optionally also a tamblor script on the real-disk
# backend.
#
# usage: run.sh --probe PROBE_BINARY [--tamblor TAMBLOR_BINARY --script FILE
#               [--expect-exit N] [-- TAMBLOR_ARGS...]] [--log FILE]
#
# Exit code: 0 passed, 1 failed, 77 skipped (no qemu-system-x86_64, busybox
# or cpio, or no kernel in the cache; under CI=true these fail with 1).
# Environment:
#   TAMBLOR_QEMU_CACHE   kernel cache made by fetch-kernel.sh (default ~/.cache/tamblor-qemu)
#   TAMBLOR_QEMU_FETCH=1 run fetch-kernel.sh when the cache is empty
#   TAMBLOR_QEMU_TIMEOUT seconds before the VM is stopped (default 300)
#   TAMBLOR_QEMU_ACCEL   QEMU accelerator (default tcg; kvm where it works)
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
probe= tamblor= script= expect_exit=0 log= tamblor_args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --probe) probe=$2; shift 2 ;;
    --tamblor) tamblor=$2; shift 2 ;;
    --script) script=$2; shift 2 ;;
    --expect-exit) expect_exit=$2; shift 2 ;;
    --log) log=$2; shift 2 ;;
    --) shift; tamblor_args=("$@"); break ;;
    *) echo "run.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
[ -n "$probe" ] && [ -x "$probe" ] || { echo "run.sh: --probe needs an executable" >&2; exit 2; }
if [ -n "$tamblor" ] && { [ ! -x "$tamblor" ] || [ ! -f "$script" ]; }; then
  echo "run.sh: --tamblor needs an executable and --script a file" >&2; exit 2
fi

. "$here/cannot_run.sh"
. "$here/vm_boot.sh"
vm_preflight
cache=$vm_cache

work=$(mktemp -d /tmp/tamblor-qemu.XXXXXX)
trap 'rm -rf "$work"' EXIT
root=$work/root
. "$here/vm_root.sh"
vm_root_begin "$root" "$cache"
cp "$here/init" "$root/init"
chmod +x "$root/init"
copy_with_libs "$probe" linux_backend_probe
echo 2 > "$root/etc/want_sd"
echo 2 > "$root/etc/want_nvme"

# What QEMU is told, and so what the probe must read back. The ATA model is
# longer than the 16 characters of a SCSI product name on purpose. QEMU's xHCI
# controller takes the USB disk on port 1 of its second root bus: 201.
# The second NVMe controller belongs to an NVMe subsystem, so that the kernel
# shows its namespace through a native-multipath head.
nvme_serials=TBNVME01,TBNVME02 ata_model="TAMBLOR SATA DISK"
quote() { printf "'%s' " "${@//\'/\'\\\'\'}"; }
echo "set -- $(quote --nvme-serials "$nvme_serials" --ata-model "$ata_model" --usb-vendor QEMU --usb-location 201)" \
  > "$root/etc/probe.args"
if [ -n "$tamblor" ]; then
  copy_with_libs "$tamblor" tamblor
  cp "$script" "$root/work/$(basename "$script")"
  echo "set -- $(quote "SCRIPT:/work/$(basename "$script")" "${tamblor_args[@]}")" > "$root/etc/tamblor.args"
fi
vm_root_pack "$root" "$work/initramfs.gz"

for img in nvme nvme2 sata usb; do truncate -s 2G "$work/$img.img"; done
console=${log:-$work/console.log}
start=$(date +%s)
vm_qemu_command "$work/initramfs.gz"
timeout "${TAMBLOR_QEMU_TIMEOUT:-300}" "${vm_qemu[@]}" \
  -drive file="$work/nvme.img",if=none,id=nv0,format=raw -device nvme,serial=TBNVME01,drive=nv0 \
  -device nvme-subsys,id=nvsub0,nqn=tamblor-test -device nvme,id=nvme1,serial=TBNVME02,subsys=nvsub0 \
  -drive file="$work/nvme2.img",if=none,id=nv1,format=raw -device nvme-ns,drive=nv1,bus=nvme1,nsid=1 \
  -drive file="$work/sata.img",if=none,id=sata0,format=raw -device ahci,id=ahci0 \
  -device ide-hd,drive=sata0,bus=ahci0.0,model="$ata_model",serial=TBSATA01 \
  -drive file="$work/usb.img",if=none,id=us0,format=raw -device qemu-xhci,id=xhci0 \
  -device usb-storage,drive=us0,bus=xhci0.0,serial=TBUSB01 \
  </dev/null > "$console" 2>&1
qemu_rc=$?
tr -d '\r' < "$console" > "$work/out.txt"
echo "VM ran $(( $(date +%s) - start )) s (qemu exit $qemu_rc)"

sed -n '/=== DEVICES/,/^=== PROBE EXIT/p' "$work/out.txt"
result=0
grep -q '^=== PROBE EXIT 0$' "$work/out.txt" || { echo "FAILED: the probe did not pass"; result=1; }
if [ -n "$tamblor" ]; then
  sed -n '/^=== TAMBLOR BEGIN/,/^=== TAMBLOR EXIT/p' "$work/out.txt"
  got=$(sed -n 's/^=== TAMBLOR EXIT \([0-9]*\)$/\1/p' "$work/out.txt")
  [ "$got" = "$expect_exit" ] || { echo "FAILED: tamblor exit '${got}', expected $expect_exit"; result=1; }
fi
if [ $result -ne 0 ]; then
  echo "--- console"
  tail -60 "$work/out.txt"
fi
exit $result
