#!/usr/bin/env bash
# Installs the build tree into a temporary prefix, then builds and runs a host program
# against it twice: through find_package(velmar) and through pkg-config. Then runs the host
# on canned answers with the library in the other layouts a package meets: staged with
# DESTDIR under /usr/local, under a multiarch /usr, moved after installation, and linked
# statically into a host that lives away from the prefix.
# shellcheck disable=SC2046  # pkg-config's output is meant to split into flags
set -euo pipefail
build=$1 consumer=$2
examples=$(cd "$consumer/../../.." && pwd)/examples
# The flags the library was built with when it carries a sanitizer; the host needs them too.
read -r -a flags <<<"${3:-}"
# A static library of the same objects, its datadir baked in as the prefix below.
static_lib=$4 static_prefix=$5
prefix=$(mktemp -d) work=$(mktemp -d) root=$(mktemp -d)
trap 'rm -rf "$prefix" "$work" "$root" "$static_prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
if [ -e "$prefix/bin/velmar" ]; then  # the tool ships with its manual page and completion
  for f in share/man/man1/velmar.1 share/bash-completion/completions/velmar; do
    [ -s "$prefix/$f" ] || { echo "the package lacks $f" >&2; exit 1; }
  done
fi
libdir=$(dirname "$(find "$prefix" -name 'libvelmar.so*' -o -name 'libvelmar.a' | head -n 1)")
test -f "$prefix/share/velmar/MockData/GameList.json"

cmake -S "$consumer" -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_FLAGS="${flags[*]:-}" -DEXAMPLES="$examples" >/dev/null
cmake --build "$work/cmake" >/dev/null
for host in consumer provider_host host_test; do LD_LIBRARY_PATH="$libdir" "$work/cmake/$host"; done

export PKG_CONFIG_PATH="$libdir/pkgconfig"
c++ -std=c++20 "${flags[@]}" -c "$examples/first_steps.cpp" -o "$work/consumer.o" $(pkg-config --cflags velmar)
c++ "${flags[@]}" "$work/consumer.o" -o "$work/consumer-pc" $(pkg-config --libs velmar)
LD_LIBRARY_PATH="$libdir" "$work/consumer-pc"
c++ -std=c++20 "${flags[@]}" "$examples/host_test.cpp" -o "$work/host-test-pc" \
  $(pkg-config --cflags --libs velmar-testing) -lgtest_main -lgtest -pthread
LD_LIBRARY_PATH="$libdir" "$work/host-test-pc" --gtest_brief=1
echo "installed package and testing kit work through CMake and pkg-config"

# From here on the host above meets the library only where LD_LIBRARY_PATH says.
rm -rf "$prefix"
host=$work/consumer-pc
run_in() {  # layout name, directory of the shared library
  LD_LIBRARY_PATH="$2" "$host" >/dev/null || { echo "no canned answers in $1 ($2)" >&2; exit 1; }
}

DESTDIR="$root/local" cmake --install "$build" --prefix /usr/local >/dev/null
run_in "/usr/local" "$root/local/usr/local/lib"
mv "$root/local/usr/local" "$root/moved"
run_in "a moved prefix" "$root/moved/lib"

# Packages put the library one level deeper, beside the same /usr/share.
DESTDIR="$root/multiarch" cmake --install "$build" --prefix /usr >/dev/null
multiarch=$root/multiarch/usr/lib/$(c++ -dumpmachine)
mkdir -p "$multiarch"
mv "$root/multiarch/usr/lib"/libvelmar.so* "$multiarch"
run_in "a multiarch /usr" "$multiarch"

# A static library knows only the prefix it was built for: files around the host are the
# host's own, so a decoy there with an empty game list must not be what it serves.
rm -rf "$static_prefix"
cmake --install "$build" --prefix "$static_prefix" >/dev/null
rm "$static_prefix/lib"/libvelmar.so*
cp "$static_lib" "$static_prefix/lib/libvelmar.a"
mkdir -p "$work/xyz" "$work/share/velmar"
cp -r "$static_prefix/share/velmar/MockData" "$work/xyz/"
echo '{"result": []}' >"$work/xyz/MockData/GameList.json"
cp -r "$work/xyz/MockData" "$work/share/velmar/"
# Its private dependencies stay shared libraries: only the library itself is static here.
export PKG_CONFIG_PATH="$static_prefix/lib/pkgconfig"
c++ "${flags[@]}" "$work/consumer.o" -o "$work/xyz/app" \
  $(pkg-config --libs velmar $(pkg-config --print-requires-private velmar)) -pthread -ldl
"$work/xyz/app" >/dev/null ||
  { echo "no canned answers for a static library in a host outside its prefix" >&2; exit 1; }
echo "canned answers found under /usr/local, a multiarch /usr, a moved prefix and statically"
