#!/usr/bin/env python3
"""Times `velmar` commands through a slow link to a sandbox and compares each with its limit.

    bench/slow_link/run.py [--build build] [--runs 5] [--rtt-ms 60] [--mbit 10]

Starts velmar-sandbox (HTTPS) and slow_link.py on ephemeral ports of 127.0.0.1, routes the
development host to the link with --connect-to, and runs each command --runs times with -v.
The limit of a command is the round trips it cannot avoid times the round trip, plus the bytes
the link carried for it (both directions, from the link's log) over the bandwidth.
"""

import argparse
import json
import os
import select
import shutil
import socket
import ssl
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
HOST = "dev.api.velmar.example:443"
PLAYER = ("demo@velmar.example", "demo1234")

# Round trips each command cannot avoid once connected (a TCP and a TLS 1.3 handshake, one
# round trip each, come first). A start-up with a stored session sends its log-in and the
# currency request side by side (one round trip); the first game page that log-in sets off
# goes beside the command's first request.
COMMANDS = [
    ("login", ["login", *PLAYER], 3, "currencies; log-in; the first page it sets off"),
    ("games --pages 3", ["games", "--pages", "3"], 4, "start-up; pages 1, 2, 3"),
    ("launch", None, 2, "start-up; launch"),
    ("balance", ["balance"], 2, "start-up; balance"),
]
CONNECT_ROUND_TRIPS = 2


def wait_for_line(process, word, timeout=10.0):
    """The first line of the process's standard output that holds `word`."""
    deadline = time.monotonic() + timeout
    buffered = b""
    while time.monotonic() < deadline:
        ready, _, _ = select.select([process.stdout], [], [], deadline - time.monotonic())
        if not ready:
            break
        chunk = os.read(process.stdout.fileno(), 4096)
        if not chunk:
            break
        buffered += chunk
        for line in buffered.decode(errors="replace").splitlines():
            if word in line:
                return line
    raise RuntimeError(f"no '{word}' from {process.args[0]} within {timeout} s: {buffered!r}")


def port_of(line):
    return int(line.rsplit(":", 1)[1].split()[0].strip("()"))


class LinkLog:
    """Reads the link's log from where the last command left it."""

    def __init__(self, path):
        self.path = path
        self.offset = 0

    def skip(self):
        self.offset = os.path.getsize(self.path) if os.path.exists(self.path) else 0

    def events(self):
        with open(self.path) as log:
            log.seek(self.offset)
            return [json.loads(line) for line in log if line.strip()]

    def settled(self, timeout=5.0):
        """The events of the last command once every connection it opened has closed."""
        deadline = time.monotonic() + timeout
        while True:
            events = self.events()
            opened = {e["conn"] for e in events if e["event"] == "open"}
            closed = {e["conn"] for e in events if e["event"] == "close"}
            if opened <= closed or time.monotonic() > deadline:
                return events
            time.sleep(0.01)  # polling the log file; the outcome does not depend on it


NGINX_CONF = """daemon off;
master_process off;
pid {dir}/nginx.pid;
error_log {dir}/nginx.log;
events {{ worker_connections 64; }}
http {{
  access_log off;
  client_body_temp_path {dir}/body; proxy_temp_path {dir}/proxy; fastcgi_temp_path {dir}/fcgi;
  uwsgi_temp_path {dir}/uwsgi; scgi_temp_path {dir}/scgi;
  upstream sandbox {{ server 127.0.0.1:{sandbox}; keepalive 8; }}
  server {{
    listen 127.0.0.1:{port} ssl http2;
    ssl_certificate {dir}/server.pem; ssl_certificate_key {dir}/server.key;
    ssl_protocols TLSv1.3;
    gzip on; gzip_types application/json; gzip_min_length 0; gzip_proxied any;
    location / {{
      proxy_pass http://sandbox; proxy_http_version 1.1; proxy_set_header Connection "";
    }}
  }}
}}
"""


def free_port():
    with socket.create_server(("127.0.0.1", 0)) as probe:
        return probe.getsockname()[1]


def wait_for_port(port, process, timeout=10.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if process.poll() is not None:
            return False
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return True
        except OSError:
            time.sleep(0.01)  # polling the port until the server listens
    return False


def start_nginx(work, sandbox_port):
    """nginx as the platform's front: TLS 1.3 and HTTP/2 to the client, plain HTTP behind."""
    openssl = ["openssl", "req", "-nodes", "-newkey", "ec", "-pkeyopt",
               "ec_paramgen_curve:P-256"]
    name = HOST.split(":")[0]
    subprocess.run([*openssl, "-x509", "-days", "1", "-subj", "/CN=slow-link ca", "-addext",
                    "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=keyCertSign",
                    "-keyout", f"{work}/ca.key", "-out", f"{work}/ca.pem"],
                   check=True, capture_output=True)
    subprocess.run([*openssl, "-subj", f"/CN={name}", "-keyout", f"{work}/server.key", "-out",
                    f"{work}/server.csr"], check=True, capture_output=True)
    with open(f"{work}/san.ext", "w") as ext:
        ext.write(f"subjectAltName=DNS:{name}\n")
    subprocess.run(["openssl", "x509", "-req", "-in", f"{work}/server.csr", "-CA",
                    f"{work}/ca.pem", "-CAkey", f"{work}/ca.key", "-days", "1", "-extfile",
                    f"{work}/san.ext", "-out", f"{work}/server.pem"],
                   check=True, capture_output=True)
    os.chmod(work, 0o755)
    for _ in range(5):  # the free port may be taken before nginx binds it
        port = free_port()
        with open(f"{work}/nginx.conf", "w") as conf:
            conf.write(NGINX_CONF.format(dir=work, sandbox=sandbox_port, port=port))
        nginx = subprocess.Popen([shutil.which("nginx") or "/usr/sbin/nginx", "-p", work, "-c",
                                  f"{work}/nginx.conf", "-e", f"{work}/nginx.log"],
                                 stderr=subprocess.DEVNULL)
        if wait_for_port(port, nginx):
            return nginx, port, f"{work}/ca.pem"
        nginx.kill()
        nginx.wait()
    raise RuntimeError("nginx did not start: " + open(f"{work}/nginx.log").read())


def tls_version(port, ca_file):
    """The TLS version the sandbox settles on with a client offering every version."""
    context = ssl.create_default_context(cafile=ca_file)
    with socket.create_connection(("127.0.0.1", port), timeout=5) as raw:
        with context.wrap_socket(raw, server_hostname=HOST.split(":")[0]) as tls:
            return tls.version()


def run_command(velmar, args, link_log=None):
    if link_log:
        link_log.skip()
    start = time.monotonic()
    done = subprocess.run([*velmar, "-v", *args], capture_output=True, text=True)
    seconds = time.monotonic() - start
    if done.returncode != 0:
        raise RuntimeError(f"velmar {' '.join(args)} failed ({done.returncode}): {done.stderr}")
    requests = [line for line in done.stderr.splitlines() if " -> " in line]
    if not link_log:
        return {"seconds": seconds, "requests": requests}
    events = link_log.settled()
    closes = [e for e in events if e["event"] == "close"]
    return {
        "seconds": seconds,
        "requests": requests,
        "connections": len(closes),
        "bytes": sum(e["up"] + e["down"] for e in closes),
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build", help="the build folder (default build)")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--rtt-ms", type=float, default=60.0)
    parser.add_argument("--mbit", type=float, default=10.0)
    parser.add_argument("--nginx", action="store_true",
                        help="put nginx (TLS 1.3, HTTP/2, gzip) in front of a plain-HTTP sandbox")
    parser.add_argument("--link-log", help="keep the link's log (a JSON line per event) here")
    parser.add_argument("--show-requests", action="store_true",
                        help="print the -v lines of each command's last run")
    args = parser.parse_args()

    sandbox_bin = os.path.join(args.build, "tools/sandbox/velmar-sandbox")
    velmar_bin = os.path.join(args.build, "tools/cli/velmar")
    for binary in (sandbox_bin, velmar_bin):
        if not os.access(binary, os.X_OK):
            sys.exit(f"{binary} is missing: ninja -C {args.build} velmar_cli velmar-sandbox")

    with open("/proc/loadavg") as loadavg:
        load = " ".join(loadavg.read().split()[:3])
    work = tempfile.mkdtemp(prefix="slow-link-")
    processes = []
    try:
        sandbox = subprocess.Popen(
            [sandbox_bin, "--port", "0", "--cert-dir", os.path.join(work, "sbx"), "--quiet",
             *(["--no-tls"] if args.nginx else [])], stdout=subprocess.PIPE)
        processes.append(sandbox)
        sandbox_port = port_of(wait_for_line(sandbox, "listening").split(" (CA")[0])
        server_port, ca_file = sandbox_port, os.path.join(work, "sbx", "ca.pem")
        if args.nginx:
            nginx, server_port, ca_file = start_nginx(work, sandbox_port)
            processes.append(nginx)
        log_path = os.path.abspath(args.link_log) if args.link_log else os.path.join(work, "link.log")
        link = subprocess.Popen(
            [sys.executable, os.path.join(HERE, "slow_link.py"), "--target",
             f"127.0.0.1:{server_port}", "--rtt-ms", str(args.rtt_ms), "--mbit", str(args.mbit),
             "--log", log_path], stdout=subprocess.PIPE)
        processes.append(link)
        link_port = port_of(wait_for_line(link, "listening"))

        keystore = os.path.join(work, "credentials")
        common = ["--cacert", ca_file, "--keystore", f"file:{keystore}"]
        velmar = [velmar_bin, *common, "--connect-to", f"{HOST}:127.0.0.1:{link_port}"]
        direct = [velmar_bin, *common, "--connect-to", f"{HOST}:127.0.0.1:{server_port}"]

        # A game to launch and a stored session, fetched straight from the sandbox.
        subprocess.run([*direct, "login", *PLAYER], check=True, capture_output=True)
        page = subprocess.run([*direct, "--json", "games", "--pages", "1"], check=True,
                              capture_output=True, text=True)
        game = json.loads(page.stdout)["games"][0]
        launch = ["launch", "--game-id", str(game["game_id"]), "--provider-id",
                  str(game["provider_id"]), "--provider-slug", game["provider_slug"]]

        tls = tls_version(server_port, ca_file)
        link_log = LinkLog(log_path)
        rows = []
        for name, command, round_trips, counted in COMMANDS:
            command = command or launch
            runs, local = [], []
            for _ in range(args.runs):
                # The same command straight to the sandbox: what the tool costs on this machine.
                for client, into, log in ((direct, local, None), (velmar, runs, link_log)):
                    if name == "login" and os.path.exists(keystore):
                        os.remove(keystore)  # a log-in from scratch: no session to restore
                    into.append(run_command(client, command, log))
            total_trips = CONNECT_ROUND_TRIPS + round_trips
            wire = statistics.median(r["bytes"] for r in runs)
            limit = total_trips * args.rtt_ms / 1000 + wire * 8 / (args.mbit * 1e6)
            measured = statistics.median(r["seconds"] for r in runs)
            rows.append({
                "command": name, "requests": len(runs[-1]["requests"]),
                "connections": runs[-1]["connections"], "round_trips": total_trips,
                "counted": f"TCP, TLS; {counted}", "bytes": int(wire), "limit": limit,
                "measured": measured, "ratio": measured / limit,
                "local": statistics.median(r["seconds"] for r in local),
                "versions": sorted({line.split("(HTTP/")[1].split(",")[0]
                                    for line in runs[-1]["requests"] if "(HTTP/" in line}),
                "runs": [round(r["seconds"], 4) for r in runs], "lines": runs[-1]["requests"],
            })
    finally:
        for process in reversed(processes):
            process.terminate()
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                process.kill()
        shutil.rmtree(work, ignore_errors=True)

    versions = ", ".join("HTTP/" + v for v in sorted({v for row in rows for v in row["versions"]}))
    front = "nginx in front of the sandbox" if args.nginx else "the sandbox"
    print(f"{front}, {args.rtt_ms:g} ms round trip, {args.mbit:g} Mbit/s each way, HTTPS ({tls}, "
          f"{versions}), medians of {args.runs} runs; load average at the start: {load}\n")
    header = ("command", "requests", "conns", "round trips", "bytes", "limit", "measured", "ratio",
              "no link")
    print("| " + " | ".join(header) + " |")
    print("|" + "---|" * len(header))
    for row in rows:
        print(f"| {row['command']} | {row['requests']} | {row['connections']} | "
              f"{row['round_trips']} ({row['counted']}) | {row['bytes']} | "
              f"{row['limit'] * 1000:.0f} ms | {row['measured'] * 1000:.0f} ms | "
              f"{row['ratio']:.2f} | {row['local'] * 1000:.0f} ms |")
    if args.show_requests:
        for row in rows:
            print(f"\n{row['command']}: runs {row['runs']}")
            for line in row["lines"]:
                print("  " + line)


if __name__ == "__main__":
    main()
