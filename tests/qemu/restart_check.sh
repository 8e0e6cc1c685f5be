#!/usr/bin/env bash
# PCReBoot restarting a VM and the script going on after the restart: the
# VM boots without -no-reboot, so that the restart asked for by the script
# (reboot(2) after a sync, or with --spor the SysRq reset without one) boots
# it again; the temporary folder and the registrations are on an ext4 disk
# that survives the restart. Checked from the serial console: two boots, the
# lines before PCReBoot in the first, the rest of the script in the second,
# and no registration or state file left at the end.
#
# usage: restart_check.sh TAMBLOR_BINARY [--spor] [--log FILE]
#
# Exit code: 0 passed, 1 failed, 77 skipped (no QEMU, busybox, cpio,
# mkfs.ext4, or no kernel with ext4 in the cache; under CI=true these fail).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tamblor=${1:-}
shift || true
spor=FALSE log=
while [ $# -gt 0 ]; do
  case "$1" in
    --spor) spor=TRUE; shift ;;
    --log) log=$2; shift 2 ;;
    *) echo "restart_check.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
[ -n "$tamblor" ] && [ -x "$tamblor" ] || { echo "usage: restart_check.sh TAMBLOR_BINARY [--spor] [--log FILE]" >&2; exit 2; }

. "$here/cannot_run.sh"
. "$here/vm_boot.sh"
vm_preflight mkfs.ext4
vm_require_module ext4

work=$(mktemp -d /tmp/tamblor-restart-qemu.XXXXXX)
trap 'rm -rf "$work"' EXIT
root=$work/root
. "$here/vm_root.sh"
vm_root_begin "$root" "$vm_cache"
cp "$here/restart_init" "$root/init"
chmod +x "$root/init"
copy_with_libs "$tamblor" tamblor
sed "s/SPOR:FALSE/SPOR:$spor/" "$here/restart.scpt" > "$root/work/restart.scpt"
vm_root_pack "$root" "$work/initramfs.gz"

truncate -s 256M "$work/nvme.img"
truncate -s 64M "$work/persist.img"
mkfs.ext4 -q -F "$work/persist.img" || { echo "FAILED: mkfs.ext4"; exit 1; }
console=${log:-$work/console.log}
vm_qemu_command "$work/initramfs.gz"
# The restart must boot the VM again: no -no-reboot here (the time-out ends a VM that restarts for ever).
qemu=()
for a in "${vm_qemu[@]}"; do [ "$a" = -no-reboot ] || qemu+=("$a"); done
timeout "${TAMBLOR_QEMU_TIMEOUT:-400}" "${qemu[@]}" \
  -drive file="$work/nvme.img",if=none,id=nv0,format=raw -device nvme,serial=TBRESTART01,drive=nv0 \
  -drive file="$work/persist.img",if=none,id=sata0,format=raw,cache=writethrough -device ahci,id=ahci0 \
  -device ide-hd,drive=sata0,bus=ahci0.0,serial=TBPERSIST01 \
  </dev/null > "$console" 2>&1
status=$?
tr -d '\r' < "$console" > "$work/console.txt"

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
[ $status -eq 0 ] || fail "QEMU ended with $status (124: the VM did not power off in time)"
boots=$(grep -c '^=== BOOT' "$work/console.txt")
[ "$boots" = 2 ] || fail "$boots boots instead of 2"
# The first boot: up to the restart.
first=$(awk '/^=== BOOT/{n++} n==1' "$work/console.txt")
second=$(awk '/^=== BOOT/{n++} n==2' "$work/console.txt")
grep -q '=== FIRST START' <<<"$first" || fail "the first boot did not start the script"
grep -q 'BEFORE=2' <<<"$first" || fail "the first boot did not reach PCReBoot"
grep -q '=== TAMBLOR EXIT' <<<"$first" && fail "the first boot went on after PCReBoot instead of restarting"
grep -q 'RESUMED=' <<<"$first" && fail "the first boot ran past PCReBoot"
grep -q '=== START-UP ENTRY' <<<"$second" || fail "the second boot found no registration"
grep -q 'RESUMED=2 kept' <<<"$second" || fail "the second boot did not go on after PCReBoot with the variables"
grep -q 'OTHER=1' <<<"$second" && fail "the second boot ran the script from its start"
grep -q 'TOTAL4=110' <<<"$second" || fail "the loop did not go on to its end"
grep -q 'END=110' <<<"$second" || fail "the script did not end"
grep -q '=== REGISTRATIONS 0' <<<"$second" || fail "a registration is left at the end"
grep -q '=== STATE FILES 0' <<<"$second" || fail "state files are left at the end"
if [ $failures -gt 0 ]; then
  echo "--- console"
  cat "$work/console.txt"
  exit 1
fi
echo "passed: restart ($([ "$spor" = TRUE ] && echo abrupt || echo orderly)) and the script going on after it"
