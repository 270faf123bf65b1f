#!/usr/bin/env bash
# Runs an example host against a velmar-sandbox of its own: starts the sandbox on a free port,
# waits for the line naming its address, runs the example with that address and the CA file
# the sandbox wrote, and stops the sandbox whatever the outcome. The example's status is ours.
#   with_sandbox.sh SANDBOX EXAMPLE [ARGS...]
set -euo pipefail
sandbox=$1
example=$2
shift 2

dir=$(mktemp -d)
coproc server { exec "$sandbox" --port 0 --cert-dir "$dir" --quiet; }
pid=$server_PID
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; rm -rf "$dir"' EXIT

line=""
if ! IFS= read -r -t 30 line <&"${server[0]}"; then
  echo "with_sandbox: the sandbox did not report its address within 30 s" >&2
  exit 1
fi
if [[ ! $line =~ listening\ on\ https://(127\.0\.0\.1:[0-9]+) ]]; then
  echo "with_sandbox: unexpected first line from the sandbox: $line" >&2
  exit 1
fi
"$example" --sandbox "${BASH_REMATCH[1]}" --cacert "$dir/ca.pem" "$@"
