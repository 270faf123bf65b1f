#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time
# (VELMAR_FUZZ_SECONDS, default 30). A crash or sanitizer report fails the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
[ -n "$(ls "$root"/fuzz/*_fuzzer.cpp 2>/dev/null)" ] || exit 0
build=$root/build-fuzz
CXX=clang++-14 cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBUILD_SHARED_LIBS=OFF -DVELMAR_BUILD_FUZZERS=ON -DVELMAR_BUILD_TESTS=OFF \
  -DVELMAR_BUILD_BENCHMARKS=OFF -DVELMAR_BUILD_TOOLS=OFF -DVELMAR_BUILD_EXAMPLES=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all" >/dev/null
cmake --build "$build" --parallel "$(nproc)"
seconds=${VELMAR_FUZZ_SECONDS:-30}
for source in "$root"/fuzz/*_fuzzer.cpp; do
  name=$(basename "$source" .cpp)
  corpus=$(mktemp -d)
  echo "fuzzing $name for ${seconds}s"
  "$build/fuzz/$name" -max_total_time="$seconds" -rss_limit_mb=4096 -max_len=1048576 \
    "$corpus" 2>"$build/$name.log" || { tail -n 60 "$build/$name.log"; rm -rf "$corpus"; exit 1; }
  rm -rf "$corpus"
done
