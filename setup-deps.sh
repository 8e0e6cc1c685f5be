#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need.
set -euo pipefail
pkgs=(build-essential cmake ninja-build libgtest-dev zlib1g-dev liburing-dev pkg-config clang)
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${pkgs[@]}" >/dev/null
