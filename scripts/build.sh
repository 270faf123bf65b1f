#!/usr/bin/env bash
# Configures and builds the project into build/ (or $VELMAR_BUILD_DIR) after installing
# what is missing. Extra arguments go to the configure step; VELMAR_BUILD_TARGETS (space
# separated) builds only those targets.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
build=${VELMAR_BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=${VELMAR_BUILD_TYPE:-RelWithDebInfo} \
  "$@" >/dev/null
read -r -a targets <<<"${VELMAR_BUILD_TARGETS:-}"
cmake --build "$build" --parallel "$(nproc)" ${targets[@]/#/--target=}
