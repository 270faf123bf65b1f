#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the ctest suites, then the
# fuzz targets for a short bounded run under AddressSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMAR_BUILD_DIR:-$root/build}
bash "$root/scripts/build.sh"
(cd "$build" && ctest --output-on-failure --parallel "$(nproc)")
bash "$root/scripts/fuzz.sh"
