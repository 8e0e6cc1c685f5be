#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need.
set -euo pipefail
pkgs=(build-essential cmake ninja-build libgtest-dev zlib1g-dev liburing-dev pkg-config clang)
# The QEMU run of the real-disk backend (tests/qemu): the VM, its initramfs
# tools, what fetch-kernel.sh needs to unpack a distribution kernel, and
# nvme-cli, whose readings the reports are compared with inside the VM.
pkgs+=(qemu-system-x86 busybox-static cpio kmod xz-utils zstd nvme-cli)
# The power-cut test keeps its map on an ext4 image it makes and reads on the host.
pkgs+=(e2fsprogs)
# The tests run a second process as another user (setpriv), serialise the
# kernel fetch (flock), attach loop devices (losetup) and time commands out.
pkgs+=(util-linux mount coreutils gzip)
# The Windows build: MinGW-w64 (posix threads) and zlib for it, GoogleTest's
# sources to cross-build, wine to run the programs and tests, ccache.
pkgs+=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev googletest ccache)
# wine with what it recommends (its fonts and libraries), as on the machines
# the Windows tests were made on.
wine_pkgs=(wine wine64)
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${pkgs[@]}" >/dev/null
$SUDO apt-get install -y -qq "${wine_pkgs[@]}" >/dev/null
