#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need: the list lives
# in .ci/run, which CI runs on a fresh machine.
set -euo pipefail
exec bash "$(dirname "$0")/.ci/run" deps
