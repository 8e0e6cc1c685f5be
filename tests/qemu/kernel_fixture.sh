#!/usr/bin/env bash
# The fetch that every QEMU test depends on: puts the kernel into the cache
# once (see fetch-kernel.sh), before the tests that boot it start.
# Exit code: 0 the kernel is there, 77 skipped (outside CI), 1 failed.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/cannot_run.sh"
command -v qemu-system-x86_64 >/dev/null || cannot_run "qemu-system-x86_64 not installed"
cache=${TAMBLOR_QEMU_CACHE:-$HOME/.cache/tamblor-qemu}
"$here/fetch-kernel.sh" "$cache" || cannot_run "cannot fetch a kernel into $cache"
