#!/usr/bin/env bash
# Starts a velmar-sandbox on a free port, runs the lobby's self-test against it as the demo
# player and checks what the lobby showed. Usage: run_self_test.sh SANDBOX LOBBY DEV_HOST PNG
set -euo pipefail
sandbox=$1 lobby=$2 host=$3 picture=$4

work=$(mktemp -d)
sandbox_pid=""
stop() {
  if [ -n "$sandbox_pid" ]; then kill "$sandbox_pid" 2>/dev/null || true; wait "$sandbox_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap stop EXIT

# The sandbox prints one line once it listens; reading it through a FIFO waits exactly that long.
mkfifo "$work/listening"
"$sandbox" --port 0 --cert-dir "$work/ca" --quiet >"$work/listening" &
sandbox_pid=$!
exec 3<"$work/listening"
if ! read -r -t 30 -u 3 line; then
  echo "the sandbox never said it was listening" >&2
  exit 1
fi
pattern='listening on https://127\.0\.0\.1:([0-9]+) \(CA: (.+)\)$'
if ! [[ $line =~ $pattern ]]; then
  echo "unexpected sandbox line: $line" >&2
  exit 1
fi
port=${BASH_REMATCH[1]} ca=${BASH_REMATCH[2]}

rm -f "$picture"
status=0
"$lobby" --connect-to "$host:443:127.0.0.1:$port" --cacert "$ca" --self-test \
  --email demo@velmar.example --password demo1234 --screenshot "$picture" | tee "$work/out" ||
  status=$?
[ "$status" -eq 0 ] || { echo "the lobby exited with $status" >&2; exit 1; }

# The demo player's account, as the sandbox seeds it.
for expected in "Logged in as demo@velmar.example" "Balance: 1000.00 EUR" "Currencies: .*EUR"; do
  grep -q "^$expected" "$work/out" || { echo "the lobby never showed \"$expected\"" >&2; exit 1; }
done
[ -s "$picture" ] || { echo "no picture at $picture" >&2; exit 1; }
