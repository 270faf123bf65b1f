#!/usr/bin/env python3
"""Measures slow_link.py against a trivial local server: does it act as the link it claims?

    bench/slow_link/check_link.py [--rtt-ms 60] [--mbit 10]

Three figures beside what an ideal link gives: ten one-byte echoes on a new connection (one
round trip for the TCP handshake, then one per echo), a bulk answer on that connection (a round
trip plus its bytes over the bandwidth), and the same on a new connection. Bytes must arrive
complete and in order. Exits 1 when a figure is off by more than 10 %.
"""

import argparse
import os
import socket
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
BULK = 1_250_000
PAYLOAD = bytes(range(251)) * (BULK // 251) + bytes(range(BULK % 251))  # shows a reordering


def serve(listener):
    def one(conn):
        with conn:
            while True:
                data = conn.recv(1)
                if not data:
                    return
                if data == b"B":
                    conn.sendall(PAYLOAD)
                    return
                conn.sendall(data)

    while True:
        conn, _ = listener.accept()
        conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        threading.Thread(target=one, args=(conn,), daemon=True).start()


def read_all(sock):
    chunks = []
    while True:
        data = sock.recv(65536)
        if not data:
            return b"".join(chunks)
        chunks.append(data)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rtt-ms", type=float, default=60.0)
    parser.add_argument("--mbit", type=float, default=10.0)
    args = parser.parse_args()
    rtt = args.rtt_ms / 1000
    bulk_seconds = BULK * 8 / (args.mbit * 1e6)

    listener = socket.create_server(("127.0.0.1", 0))
    threading.Thread(target=serve, args=(listener,), daemon=True).start()
    link = subprocess.Popen(
        [sys.executable, os.path.join(HERE, "slow_link.py"), "--target",
         f"127.0.0.1:{listener.getsockname()[1]}", "--rtt-ms", str(args.rtt_ms), "--mbit",
         str(args.mbit)], stdout=subprocess.PIPE, text=True)
    try:
        port = int(link.stdout.readline().rsplit(":", 1)[1])
        results = []

        start = time.monotonic()
        sock = socket.create_connection(("127.0.0.1", port))
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        for i in range(10):
            byte = bytes([97 + i])
            sock.sendall(byte)
            if sock.recv(1) != byte:
                sys.exit("an echo came back wrong")
        results.append(("10 echoes, new connection", time.monotonic() - start, 11 * rtt))

        start = time.monotonic()
        sock.sendall(b"B")
        intact = read_all(sock) == PAYLOAD
        results.append(("bulk answer", time.monotonic() - start, rtt + bulk_seconds))
        sock.close()

        start = time.monotonic()
        with socket.create_connection(("127.0.0.1", port)) as fresh:
            fresh.sendall(b"B")
            intact = intact and read_all(fresh) == PAYLOAD
        results.append(("bulk answer, new connection", time.monotonic() - start,
                        2 * rtt + bulk_seconds))
    finally:
        link.terminate()
        link.wait(timeout=5)

    off = False
    for name, measured, ideal in results:
        ratio = measured / ideal
        off = off or abs(ratio - 1) > 0.1
        print(f"{name:30} {measured * 1000:7.1f} ms, ideal {ideal * 1000:7.1f} ms, {ratio:.3f}")
    print("bytes intact and in order" if intact else "BYTES LOST OR REORDERED")
    sys.exit(1 if off or not intact else 0)


if __name__ == "__main__":
    main()
