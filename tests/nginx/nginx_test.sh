#!/usr/bin/env bash
# The six requests through `velmar` against nginx (TLS 1.3, HTTP/2, gzip, connections closed
# after three requests): outcomes, one shared connection while nginx keeps it open, compressed
# answers, `-v` showing requests but no secret, and advice with exit status 4 on failure.
set -euo pipefail
velmar=$1 host=$2 nginx=${3:-nginx}
dir=$(mktemp -d)
trap 'kill "$(cat "$dir/nginx.pid" 2>/dev/null)" 2>/dev/null || true; rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# A throwaway authority and a certificate for the environment's host.
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 1 -subj /CN=ca \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=keyCertSign \
  -keyout "$dir/ca.key" -out "$dir/ca.pem" 2>/dev/null
openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "/CN=$host" \
  -keyout "$dir/server.key" -out "$dir/server.csr" 2>/dev/null
openssl x509 -req -in "$dir/server.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" -days 1 \
  -extfile <(echo "subjectAltName=DNS:$host") -out "$dir/server.pem" 2>/dev/null

seq 1 50 | sed 's/.*/{"id":&,"name":"Game &","game_id":"g-&","provider_id":7,"provider_slug":"acme"}/' |
  paste -sd, | sed 's/.*/{"result":[&]}/' >"$dir/games.json"
# nginx's workers give up root: they must be able to read what they serve.
chmod a+rx "$dir" && chmod a+r "$dir/games.json"
answer() { echo "return $1 '{\"result\":$2}';"; }

start_nginx() {  # port
  cat >"$dir/nginx.conf" <<CONF
daemon on;
pid $dir/nginx.pid;
error_log $dir/error.log;
events { worker_connections 64; }
http {
  log_format requests '\$connection \$connection_requests \$server_protocol \$uri \$status \$gzip_ratio';
  access_log $dir/access.log requests;
  client_body_temp_path $dir/body; proxy_temp_path $dir/proxy; fastcgi_temp_path $dir/fastcgi;
  uwsgi_temp_path $dir/uwsgi; scgi_temp_path $dir/scgi;
  default_type application/json;
  gzip on; gzip_types application/json; gzip_min_length 0;
  keepalive_requests 3;
  server {
    listen 127.0.0.1:$1 ssl http2;
    ssl_certificate $dir/server.pem; ssl_certificate_key $dir/server.key; ssl_protocols TLSv1.3;
    location = /api/v1/login { $(answer 200 '{"token":"tok-nginx","player":{"id":"1001","email":"demo@nginx.example"}}') }
    location = /api/v1/players { $(answer 201 '{"id":"2002"}') }
    location = /api/v1/list_games { alias $dir/games.json; }
    location = /api/v1/launch_game { $(answer 200 '{"play_for_fun":"https://fun.example/g-1"}') }
    location /api/v1/balances/player/ { $(answer 200 '[{"id":"b","amount":12.5}]') }
    location = /api/v1/currencies { $(answer 200 '[{"id":"1","alphabetic_code":"EUR"}]') }
  }
}
CONF
  "$nginx" -p "$dir" -c "$dir/nginx.conf" -e "$dir/error.log" 2>/dev/null
}
# A free port is not known in advance: try a few until nginx can listen on one.
for attempt in 1 2 3 4 5 6 7 8; do
  port=$((20000 + RANDOM % 40000))
  start_nginx "$port" && break
  [ "$attempt" -lt 8 ] || fail "nginx did not start: $(cat "$dir/error.log")"
done

run() {  # expected output, then velmar's arguments; each run's log lines land in $dir/run.log
  local expected=$1 before && shift
  before=$(wc -l <"$dir/access.log")
  out=$("$velmar" --connect-to "$host:443:127.0.0.1:$port" --cacert "$dir/ca.pem" \
    --keystore "file:$dir/keys.json" "$@" 2>&1) || fail "velmar $*: $out"
  [[ $out == *"$expected"* ]] || fail "velmar $*: expected '$expected' in: $out"
  tail -n +"$((before + 1))" "$dir/access.log" >"$dir/run.log"
  # Connections in the order they appear: all but the last served the three requests nginx
  # allows, so no request opened a connection of its own while another could serve it.
  awk '{ if (!($1 in n)) order[++count] = $1; n[$1] = $2 }
       END { for (i = 1; i < count; i++) if (n[order[i]] != 3) exit 1 }' "$dir/run.log" ||
    fail "velmar $*: a connection was opened too early: $(cat "$dir/run.log")"
  grep -qv ' HTTP/2.0 ' "$dir/run.log" && fail "velmar $*: not all over HTTP/2: $(cat "$dir/run.log")"
  return 0
}

run "registered new@nginx.example" signup --email new@nginx.example --password pw
run "logged in as demo@nginx.example" login demo@nginx.example pw
# A stored session: the restoring log-in and the currencies leave together at start-up.
run "balance: 12.50" balance
run "https://fun.example/g-1" launch --game-id g-1 --provider-id 7 --provider-slug acme
run "two pages: 100 games" demo --email demo@nginx.example --password pw
run "EUR" currencies
# Diagnostics name requests, never a secret: log in with a known password, get a known token.
run "logged in" -v login demo@nginx.example pw-Secret-123
[[ $out == *"POST /api/v1/login -> 200 (HTTP/2"* ]] || fail "-v printed no event: $out"
[[ $out != *pw-Secret-123* && $out != *tok-nginx* ]] || fail "-v printed the password or the token"
fails() {  # expected advice, then velmar's arguments
  local expected=$1 status=0 && shift
  out=$("$velmar" --keystore "file:$dir/keys.json" "$@" 2>&1) || status=$?
  [[ $status == 4 && $out == *"$expected"* ]] || fail "velmar $*: $status, expected 4 and '$expected': $out"
}
run "logged out" logout
# nginx asks for no token; the in-process sandbox refuses a request without one.
fails "no player is logged in: run \`velmar login\` first" --sandbox balance
fails "certificate not trusted: use --cacert" --connect-to "$host:443:127.0.0.1:$port" currencies
fails "could not connect to $host:443: connection refused" --connect-to "$host:443:127.0.0.1:1" \
  currencies
grep -E ' /api/v1/list_games 200 [0-9.]+$' "$dir/access.log" >/dev/null ||
  fail "the game pages were not sent compressed: $(grep list_games "$dir/access.log")"
