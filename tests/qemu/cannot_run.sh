# Sourced by the QEMU test scripts: what a test does when it cannot run on
# this machine (a tool or the kernel is missing). Outside CI the test is
# skipped (exit 77); under CI=true it fails, so that a CI run never passes
# with the real-device tests silently left out.
cannot_run() {
  if [ "${CI:-}" = true ]; then
    echo "FAILED: cannot run under CI: $*"
    exit 1
  fi
  echo "SKIP: $*"
  exit 77
}
