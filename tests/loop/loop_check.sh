#!/usr/bin/env bash
# Attaches a sparse file to a loop device on this machine and runs the
# compare script of the QEMU tests (tests/qemu/compare.scpt) on it with the
# real binary and the Linux disk backend: the write/verify loops, a map made,
# written and compared, FindLBA_ByPattern. Needs root.
#
# usage: loop_check.sh TAMBLOR_BINARY
#
# Exit code: 0 passed, 1 failed, 77 skipped (no loop device can be set up:
# not root, no losetup, no free loop device; under CI=true these fail with 1).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
qemu_dir=$here/../qemu
tamblor=${1:-}
[ -n "$tamblor" ] && [ -x "$tamblor" ] || { echo "usage: loop_check.sh TAMBLOR_BINARY" >&2; exit 2; }

. "$qemu_dir/cannot_run.sh"
. "$qemu_dir/compare_expect.sh"
command -v losetup >/dev/null || cannot_run "losetup not installed"
[ "$(id -u)" = 0 ] || cannot_run "loop devices need root"

work=$(mktemp -d /tmp/tamblor-loop.XXXXXX)
device=
cleanup() {
  [ -n "$device" ] && losetup -d "$device"
  rm -rf "$work"
}
trap cleanup EXIT
truncate -s 128M "$work/disk.img"
device=$(losetup --find --show "$work/disk.img" 2>"$work/losetup.err") ||
  { device=; cannot_run "cannot attach a loop device: $(cat "$work/losetup.err")"; }
echo "loop device: $device"

# The program's own listing names the drive: "... \\.\PHYSICALDRIVE<n> (/dev/loopN)".
"$tamblor" --linux --list > "$work/list.txt" 2>&1
cat "$work/list.txt"
drive=$(grep -F "($device)" "$work/list.txt" | grep -o 'PHYSICALDRIVE[0-9]*' | head -1)
target='\\.\'$drive
if [ -z "$drive" ]; then
  echo "FAIL: $device is not in the disk list"
  exit 1
fi
echo "target: $target"

cd "$work" && TMPDIR=$work timeout 300 "$tamblor" --linux "SCRIPT:$qemu_dir/compare.scpt" "$target" </dev/null > "$work/out.txt" 2>&1
rc=$?
grep -E 'COMPARE-|Compare Result|Counts|Sectors  |Finound|CurrentLBA' "$work/out.txt"
failures=0
if [ $rc -eq 0 ]; then echo "ok   loop: exit 0"; else echo "FAIL loop: exit $rc"; failures=1; fi
compare_expect "$work/out.txt" loop || failures=$((failures + $?))
if [ $failures -ne 0 ]; then
  echo "--- output"
  tail -80 "$work/out.txt"
  exit 1
fi
exit 0
