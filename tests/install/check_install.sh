#!/usr/bin/env bash
# Installs the build tree into a temporary prefix, then builds and runs a host program
# against it twice: through find_package(velmar) and through pkg-config.
set -euo pipefail
build=$1
consumer=$2
# The flags the library was built with when it carries a sanitizer; the host needs them too.
read -r -a flags <<<"${3:-}"
prefix=$(mktemp -d)
work=$(mktemp -d)
trap 'rm -rf "$prefix" "$work"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name 'libvelmar.so*' -o -name 'libvelmar.a' | head -n 1)")
test -f "$prefix/share/velmar/MockData/GameList.json"

cmake -S "$consumer" -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_FLAGS="${flags[*]:-}" >/dev/null
cmake --build "$work/cmake" >/dev/null
LD_LIBRARY_PATH="$libdir" "$work/cmake/consumer"

export PKG_CONFIG_PATH="$libdir/pkgconfig"
# shellcheck disable=SC2046
c++ -std=c++20 "${flags[@]}" "$consumer/main.cpp" -o "$work/consumer-pc" $(pkg-config --cflags --libs velmar)
LD_LIBRARY_PATH="$libdir" "$work/consumer-pc"
echo "installed package works through CMake and pkg-config"
