#!/usr/bin/env bash
# Runs one test binary against a real Secret Service: a private D-Bus session bus and a
# gnome-keyring daemon unlocked with a throwaway password, in a throwaway HOME.
set -euo pipefail
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME="$home" XDG_DATA_HOME="$home/.local/share" XDG_RUNTIME_DIR="$home/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export VELMAR_TEST_SECRET_SERVICE=1
# GLib is built without frame pointers: under AddressSanitizer, only the slow unwinder sees
# past g_malloc to the library frames the leak suppressions name.
if [ -n "${ASAN_OPTIONS:-}" ]; then export ASAN_OPTIONS="$ASAN_OPTIONS:fast_unwind_on_malloc=0"; fi
exec dbus-run-session -- sh -c '
  echo -n throwaway | gnome-keyring-daemon --unlock --components=secrets >/dev/null
  exec "$@"' sh "$@"
