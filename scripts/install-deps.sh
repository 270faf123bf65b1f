#!/usr/bin/env bash
# Installs the Debian packages that the build, tests, tools, examples, API reference, fuzzers
# and benchmarks need.
# Idempotent and silent when everything is present; needs root (or sudo) otherwise.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  libcurl4-openssl-dev nlohmann-json3-dev libsimdjson-dev
  libsecret-1-dev libglib2.0-dev gnome-keyring dbus dbus-daemon
  libcpp-httplib-dev libssl-dev zlib1g-dev openssl libcli11-dev nginx-light qt6-base-dev
  libasio-dev doxygen
  clang-14 libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq >/dev/null
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
