#!/usr/bin/env bash
# Boots a QEMU VM with one emulated NVMe controller (which has none of the
# maker's vendor commands) and runs the vendor probe in it: the controller
# refuses each vendor opcode, sending a vendor operation gives the
# failed-request code, and the vendor identification finds no SoC.
#
# usage: vendor_check.sh VENDOR_PROBE_BINARY [--log FILE]
#
# Exit code: 0 passed, 1 a check failed or the probe did not run, 77 skipped
# (no qemu-system-x86_64, busybox or cpio, or no kernel in the cache of
# fetch-kernel.sh; under CI=true these fail with 1).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
probe=${1:-}
log=
[ "${2:-}" = --log ] && log=${3:-}
[ -n "$probe" ] && [ -x "$probe" ] || { echo "usage: vendor_check.sh VENDOR_PROBE_BINARY [--log FILE]" >&2; exit 2; }

. "$here/cannot_run.sh"
. "$here/vm_boot.sh"
vm_preflight
cache=$vm_cache

work=$(mktemp -d /tmp/tamblor-vendor-qemu.XXXXXX)
trap 'rm -rf "$work"' EXIT
root=$work/root
. "$here/vm_root.sh"
vm_root_begin "$root" "$cache"
cp "$here/vendor_init" "$root/init"
chmod +x "$root/init"
copy_with_libs "$probe" vendor_probe
vm_root_pack "$root" "$work/initramfs.gz"

truncate -s 1G "$work/nvme.img"
console=${log:-$work/console.log}
vm_qemu_command "$work/initramfs.gz"
timeout "${TAMBLOR_QEMU_TIMEOUT:-300}" "${vm_qemu[@]}" \
  -drive file="$work/nvme.img",if=none,id=nv0,format=raw -device nvme,serial=TBVENDOR01,drive=nv0 \
  </dev/null > "$console" 2>&1
tr -d '\r' < "$console" > "$work/out.txt"
out=$work/out.txt

probe_out() { sed -n '/^=== PROBE BEGIN/,/^=== PROBE EXIT/p' "$out"; }
probe_out | grep -E '^(PASS|FAIL|disk) '
if ! grep -q '^=== PROBE EXIT 0$' "$out" || probe_out | grep -q '^FAIL ' || ! probe_out | grep -q '^PASS identification'; then
  echo "FAIL the vendor probe did not pass"
  echo "--- console"
  tail -60 "$out"
  exit 1
fi
exit 0
