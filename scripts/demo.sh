#!/usr/bin/env bash
# Installs what is missing, builds, and runs the demo.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh"
exec "${VELMAR_BUILD_DIR:-$root/build}/tools/cli/velmar" demo
