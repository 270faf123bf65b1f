#!/usr/bin/env bash
# Installs what is missing, builds once (the developers' build) and runs every test suite.
# CI then runs the other ways too, each in a build tree of its own so no build can hide
# another's fault, and ends with a bounded fuzz run:
#   default  RelWithDebInfo, the developers' build            (build/)
#            and then the API reference, warnings as errors  (build/docs/html/)
#   asan     AddressSanitizer + UndefinedBehaviorSanitizer     (build-asan/)
#   tsan     ThreadSanitizer                                   (build-tsan/)
#   release  Release at -O2, as packagers build it             (build-release/)
#   fuzz     libFuzzer targets under ASan/UBSan                (build-fuzz/)
# Name some of them to run those instead: scripts/test.sh asan tsan release fuzz
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
variants=("$@")
[ ${#variants[@]} -gt 0 ] || variants=(default)

run_suites() {  # build-dir, then configure arguments
  local build=$1
  shift
  local started=$SECONDS
  VELMAR_BUILD_DIR=$build bash "$root/scripts/build.sh" "$@"
  (cd "$build" && ctest --output-on-failure --parallel "$(nproc)")
  echo "== $(basename "$build"): built and tested in $((SECONDS - started)) s"
}

# Sanitized builds skip what runs no test (benchmarks, examples) to keep CI short.
sanitized=(-DVELMAR_BUILD_BENCHMARKS=OFF -DVELMAR_BUILD_EXAMPLES=OFF
           -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g")

for variant in "${variants[@]}"; do
  case $variant in
    default)
      run_suites "${VELMAR_BUILD_DIR:-$root/build}"
      cmake --build "${VELMAR_BUILD_DIR:-$root/build}" --target docs
      ;;
    asan) run_suites "$root/build-asan" "${sanitized[@]}" -DVELMAR_SANITIZE=address ;;
    tsan) run_suites "$root/build-tsan" "${sanitized[@]}" -DVELMAR_SANITIZE=thread ;;
    release)
      run_suites "$root/build-release" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" ;;
    fuzz) bash "$root/scripts/fuzz.sh" ;;
    *) echo "unknown variant '$variant' (default, asan, tsan, release, fuzz)" >&2; exit 2 ;;
  esac
done
