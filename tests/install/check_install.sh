#!/usr/bin/env bash
# Installs the build tree into a temporary prefix, then builds and runs a host program
# against it twice: through find_package(velmar) and through pkg-config.
set -euo pipefail
build=$1
consumer=$2
host_test=$(cd "$consumer/../../.." && pwd)/examples/host_test.cpp
# The flags the library was built with when it carries a sanitizer; the host needs them too.
read -r -a flags <<<"${3:-}"
prefix=$(mktemp -d)
work=$(mktemp -d)
trap 'rm -rf "$prefix" "$work"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name 'libvelmar.so*' -o -name 'libvelmar.a' | head -n 1)")
test -f "$prefix/share/velmar/MockData/GameList.json"

cmake -S "$consumer" -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_FLAGS="${flags[*]:-}" -DHOST_TEST="$host_test" >/dev/null
cmake --build "$work/cmake" >/dev/null
for host in consumer provider_host host_test; do LD_LIBRARY_PATH="$libdir" "$work/cmake/$host"; done

export PKG_CONFIG_PATH="$libdir/pkgconfig"
# shellcheck disable=SC2046
c++ -std=c++20 "${flags[@]}" "$consumer/main.cpp" -o "$work/consumer-pc" $(pkg-config --cflags --libs velmar)
LD_LIBRARY_PATH="$libdir" "$work/consumer-pc"
# shellcheck disable=SC2046
c++ -std=c++20 "${flags[@]}" "$host_test" -o "$work/host-test-pc" \
  $(pkg-config --cflags --libs velmar-testing) -lgtest_main -lgtest -pthread
LD_LIBRARY_PATH="$libdir" "$work/host-test-pc" --gtest_brief=1
echo "installed package and testing kit work through CMake and pkg-config"
