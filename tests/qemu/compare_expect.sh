# Sourced by the compare-test runners: what the output of one run of
# compare.scpt must hold.
#   compare_expect FILE LABEL   prints ok/FAIL lines; returns the number of failures
compare_expect() {
  local out=$1 label=$2 failures=0 line
  expect_line() { # text [count]
    local got
    got=$(grep -cF -- "$1" "$out")
    if [ "$got" -ge "${2:-1}" ]; then
      echo "ok   $label: $1"
    else
      echo "FAIL $label: '$1' seen $got times, expected at least ${2:-1}"
      failures=$((failures + 1))
    fi
  }
  # The two loops and Compare_WithPattern each end with the clean report.
  expect_line "Compare Result : Compare Finish. No error exist. | 0" 3
  for line in "Write Uncomplete Counts : 0" \
              "Miscompare - All 0x00 Sectors    : 0" "Miscompare - As Old Data Sectors : 0" \
              "Miscompare - Miscompare Sectors  : 0" "Read IO Fail Sectors             : 0" \
              "Total Error Sectors              : 0" \
              "] Finound LBA : 0x11171" "COMPARE-FOUND=1" "COMPARE-SCRIPT-OK"; do
    expect_line "$line"
  done
  if [ "$(grep -cF "] Finound LBA : " "$out")" -ne 1 ]; then
    echo "FAIL $label: FindLBA_ByPattern found other sectors: $(grep -F "] Finound LBA : " "$out" | tr '\n' ' ')"
    failures=$((failures + 1))
  fi
  if grep -q "CurrentLBA: 0x" "$out"; then
    echo "FAIL $label: a command failed: $(grep -m1 'CurrentLBA: 0x' "$out")"
    failures=$((failures + 1))
  fi
  return $failures
}
