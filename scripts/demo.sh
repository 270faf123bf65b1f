#!/usr/bin/env bash
# Installs what is missing, builds the library and the velmar tool only, and runs the demo.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
VELMAR_BUILD_TARGETS="velmar_cli velmar-sandbox" bash "$root/scripts/build.sh"
exec "${VELMAR_BUILD_DIR:-$root/build}/tools/cli/velmar" demo
