#!/usr/bin/env bash
# Checks the shared library's dynamic symbol table: every exported symbol belongs to a name
# the public headers declare, the entry points a host needs are there, and the SONAME carries
# the project's version.
set -euo pipefail
library=$1 headers=$2 soname=$3

actual=$(readelf -d "$library" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$actual" = "$soname" ] || { echo "SONAME is '$actual', expected '$soname'"; exit 1; }

exported=$(nm -D --defined-only -C "$library" | cut -d' ' -f3-)
failed=0
# The class or function a symbol belongs to, whatever the compiler wrapped it in.
owner='^(((typeinfo|typeinfo name|vtable|VTT|construction vtable|guard variable) for|(non-virtual|virtual|covariant return) thunk to) )?velmar::([A-Za-z_][A-Za-z0-9_]*).*'

# The version node the linker adds for the symbol versions is the one other entry allowed.
outside=$(grep -vE -- "$owner" <<<"$exported" | grep -v '^VELMAR_' || true)
[ -z "$outside" ] || { printf 'exported outside the velmar namespace:\n%s\n' "$outside"; failed=1; }

# Each owner once: a forward declaration alone does not make a class public.
for name in $(sed -nE "s/$owner/\\5/p" <<<"$exported" | sort -u); do
  if ! grep -rhw -- "$name" "$headers" | grep -qvE "^\s*(class|struct) $name;"; then
    echo "exported but not declared in a public header: velmar::$name"
    failed=1
  fi
done

for needed in 'velmar::Velmar::instance()' 'velmar::configureSession(' 'velmar::MainQueue::main()' \
              'velmar::KeychainWrapper::standard()' 'velmar::GameUseCase::' 'velmar::GameEntity::'; do
  grep -qF -- "$needed" <<<"$exported" || { echo "not exported: $needed"; failed=1; }
done
[ $failed -eq 0 ] && echo "$(wc -l <<<"$exported") exported symbols, all public API"
exit $failed
