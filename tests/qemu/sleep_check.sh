#!/usr/bin/env bash
# Boots a QEMU VM whose ACPI offers S3, runs a tamblor script in it that
# sleeps the VM once with OneShot_S3S4 and lets the VM's RTC alarm wake it,
# and checks that the kernel really suspended and resumed and that the script
# went on after the wake-up.
#
# usage: sleep_check.sh TAMBLOR_BINARY [--log FILE]
#
# Exit code: 0 passed, 1 failed, 77 skipped (no qemu-system-x86_64, busybox,
# cpio, or no kernel in the cache of fetch-kernel.sh; under CI=true these
# fail with 1).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tamblor=${1:-}
log=
[ "${2:-}" = --log ] && log=${3:-}
[ -n "$tamblor" ] && [ -x "$tamblor" ] || { echo "usage: sleep_check.sh TAMBLOR_BINARY [--log FILE]" >&2; exit 2; }

. "$here/cannot_run.sh"
. "$here/vm_boot.sh"
vm_preflight
cache=$vm_cache

work=$(mktemp -d /tmp/tamblor-sleep-qemu.XXXXXX)
trap 'rm -rf "$work"' EXIT
root=$work/root
. "$here/vm_root.sh"
vm_root_begin "$root" "$cache"
cp "$here/sleep_init" "$root/init"
chmod +x "$root/init"
copy_with_libs "$tamblor" tamblor
cp "$here/sleep.scpt" "$root/work/sleep.scpt"
vm_root_pack "$root" "$work/initramfs.gz"

truncate -s 256M "$work/nvme.img"
console=${log:-$work/console.log}
vm_qemu_command "$work/initramfs.gz"
# The PC machine's power management offers S3 only when asked to.
timeout "${TAMBLOR_QEMU_TIMEOUT:-300}" "${vm_qemu[@]}" -global PIIX4_PM.disable_s3=0 \
  -drive file="$work/nvme.img",if=none,id=nv0,format=raw -device nvme,serial=TBSLEEP01,drive=nv0 \
  </dev/null > "$console" 2>&1
tr -d '\r' < "$console" > "$work/out.txt"
out=$work/out.txt

failures=0
expect() { # what pattern
  if grep -q -- "$2" "$out"; then
    echo "ok   $1"
  else
    echo "FAIL $1 (no '$2')"
    failures=$((failures + 1))
  fi
}
expect "the kernel offers suspend to memory" '^=== POWER STATES: .*mem'
expect "the script announced the sleep" '\[PowerState\] Sleep to S3'
expect "the kernel suspended" '^=== KERNEL PM: suspend entry'
expect "the kernel resumed" '^=== KERNEL PM: suspend exit'
expect "the script went on after the wake-up" 'SLEEP_RETURNED=1'
expect "the script passed" '^=== TAMBLOR EXIT 0$'
if grep -q 'refused to sleep' "$out"; then
  echo "FAIL the sleep was refused: $(grep -m1 'refused to sleep' "$out")"
  failures=$((failures + 1))
fi
seconds=$(sed -n 's/^=== SECONDS \([0-9]*\)$/\1/p' "$out")
if [ -n "$seconds" ] && [ "$seconds" -ge 5 ]; then
  echo "ok   the run lasted ${seconds} s, the sleep included"
else
  echo "FAIL the run lasted '${seconds}' s, less than the 5 s asleep"
  failures=$((failures + 1))
fi

if [ $failures -ne 0 ]; then
  echo "--- console"
  tail -60 "$out"
  exit 1
fi
exit 0
