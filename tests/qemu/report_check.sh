#!/usr/bin/env bash
# Boots a QEMU VM with one emulated NVMe controller, runs nvme-cli and then
# the tamblor reports (Identify_Controller, Identify_Namespace, SMART,
# GetLogPage_ErrorInfo) on it, and compares the key fields of both readings.
#
# usage: report_check.sh TAMBLOR_BINARY [--log FILE]
#
# Exit code: 0 the fields agree, 1 a field differs or a report is missing,
# 77 skipped (no qemu-system-x86_64, busybox, cpio, nvme-cli, or no kernel
# in the cache of fetch-kernel.sh; under CI=true these fail with 1).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tamblor=${1:-}
log=
[ "${2:-}" = --log ] && log=${3:-}
[ -n "$tamblor" ] && [ -x "$tamblor" ] || { echo "usage: report_check.sh TAMBLOR_BINARY [--log FILE]" >&2; exit 2; }

. "$here/cannot_run.sh"
. "$here/vm_boot.sh"
vm_preflight nvme
cache=$vm_cache

work=$(mktemp -d /tmp/tamblor-report-qemu.XXXXXX)
trap 'rm -rf "$work"' EXIT
root=$work/root
. "$here/vm_root.sh"
vm_root_begin "$root" "$cache"
cp "$here/report_init" "$root/init"
chmod +x "$root/init"
copy_with_libs "$tamblor" tamblor
copy_with_libs "$(command -v nvme)" nvme
cp "$here/reports.scpt" "$root/work/reports.scpt"
vm_root_pack "$root" "$work/initramfs.gz"

truncate -s 1G "$work/nvme.img"
console=${log:-$work/console.log}
vm_qemu_command "$work/initramfs.gz"
timeout "${TAMBLOR_QEMU_TIMEOUT:-300}" "${vm_qemu[@]}" \
  -drive file="$work/nvme.img",if=none,id=nv0,format=raw -device nvme,serial=TBREPORT01,drive=nv0 \
  </dev/null > "$console" 2>&1
tr -d '\r' < "$console" > "$work/out.txt"
out=$work/out.txt

# The JSON that nvme-cli printed for one command, and a value of it.
section() { sed -n "/^=== NVME $1 BEGIN/,/^=== NVME $1 END/p" "$out"; }
json_value() { # section key
  section "$1" | sed -n "s/^[[:space:]]*\"$2\"[[:space:]]*:[[:space:]]*\"\{0,1\}\([^\",]*\)\"\{0,1\},\{0,1\}[[:space:]]*$/\1/p" | head -1 |
    sed 's/[[:space:]]*$//'
}
tamblor_out() { sed -n '/^=== TAMBLOR BEGIN/,/^=== TAMBLOR EXIT/p' "$out"; }
# The value column ("| value") of the first tamblor line whose label starts with the text.
report_value() {
  tamblor_out | grep -m1 "^[[:space:]]*$1" | sed 's/^[^|]*| //; s/[[:space:]]*$//'
}
# The decimal column of the SMART row with this description.
smart_value() {
  tamblor_out | grep -m1 "^[[:space:]]*Byte [0-9-]* *: $1  " | awk -F'|' '{gsub(/ /, "", $3); print $3}'
}

failures=0
check() { # what expected got
  if [ "$2" = "$3" ] && [ -n "$2" ]; then
    echo "ok   $1: $2"
  else
    echo "FAIL $1: nvme-cli '$2', tamblor '$3'"
    failures=$((failures + 1))
  fi
}
hex4() { [ -n "$1" ] && printf '%04X' "$1"; }
hex() { [ -n "$1" ] && printf '0x%X' "$1"; }

grep -q '^=== TAMBLOR EXIT 0$' "$out" || { echo "FAIL the tamblor script did not pass"; failures=$((failures + 1)); }
check "VID" "$(hex4 "$(json_value id-ctrl vid)")" "$(report_value 'Byte 0-1 ')"
check "SSVID" "$(hex4 "$(json_value id-ctrl ssvid)")" "$(report_value 'Byte 2-3 ')"
check "SN" "$(json_value id-ctrl sn)" "$(report_value 'Byte 4-23 ')"
check "MN" "$(json_value id-ctrl mn)" "$(report_value 'Byte 24-63 ')"
check "FR" "$(json_value id-ctrl fr)" "$(report_value 'Byte 64-71 ')"
check "MDTS" "$(hex "$(json_value id-ctrl mdts)")" "$(report_value 'Byte 77 ')"
check "VER" "$(hex "$(json_value id-ctrl ver)")" "$(report_value 'Byte 80-83 ')"
check "OACS" "$(hex "$(json_value id-ctrl oacs)")" "$(report_value 'Byte 256-257 ')"
check "NN" "$(hex "$(json_value id-ctrl nn)")" "$(report_value 'Byte 516-519 ')"
check "ONCS" "$(hex "$(json_value id-ctrl oncs)")" "$(report_value 'Byte 520-521 ')"
check "SUBNQN" "$(json_value id-ctrl subnqn)" "$(report_value 'Byte 768-1023 ')"
check "NSZE" "$(hex "$(json_value id-ns nsze)")" "$(report_value 'Byte 0-7 ')"
check "NCAP" "$(hex "$(json_value id-ns ncap)")" "$(report_value 'Byte 8-15 ')"
check "NLBAF" "$(hex "$(json_value id-ns nlbaf)")" "$(report_value 'Byte 25 ')"
check "FLBAS" "$(hex "$(json_value id-ns flbas)")" "$(report_value 'Byte 26 ')"
check "Critical Warning" "$(json_value smart-log critical_warning)" "$(smart_value 'Critical Warning')"
check "Composite Temperature" "$(json_value smart-log temperature)" "$(smart_value 'Composite Temperature')"
check "Available Spare" "$(json_value smart-log avail_spare)" "$(smart_value 'Available Spare')"
check "Available Spare Threshold" "$(json_value smart-log spare_thresh)" "$(smart_value 'Available Spare Threshold')"
check "Percentage Used" "$(json_value smart-log percent_used)" "$(smart_value 'Percentage Used')"
check "Power Cycles" "$(json_value smart-log power_cycles)" "$(smart_value 'Power Cycles')"
check "Power On Hours" "$(json_value smart-log power_on_hours)" "$(smart_value 'Power On Hours')"
check "Unsafe Shutdowns" "$(json_value smart-log unsafe_shutdowns)" "$(smart_value 'Unsafe Shutdowns')"
check "Media and Data Integrity Errors" "$(json_value smart-log media_errors)" \
  "$(smart_value 'Media and Data Integrity Errors')"
check "Number of Error Information Log Entries" "$(json_value smart-log num_err_log_entries)" \
  "$(smart_value 'Number of Error Information Log Entries')"
rows=$(tamblor_out | grep -c '^[[:space:]]*Error[0-9][0-9] :')
check "Error table rows" "63" "$rows"
first_count=$(tamblor_out | grep -m1 '^[[:space:]]*Error00 :' | sed 's/^[^:]*:[[:space:]]*\([0-9]*\)|.*/\1/')
check "Error entry 0 count" "$(json_value error-log error_count)" "$first_count"
check "Identify Model Number" "$(json_value id-ctrl mn)" \
  "$(tamblor_out | grep -m1 'Model Number  ' | sed 's/^[^:]*: //; s/[[:space:]]*$//')"

if [ $failures -ne 0 ]; then
  echo "--- console"
  tail -80 "$out"
  exit 1
fi
exit 0
