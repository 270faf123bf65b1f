#!/usr/bin/env python3
"""A TCP proxy on 127.0.0.1 that behaves like a slow link between a client and a server.

Each direction is one paced queue (the bandwidth, shared by every connection, as one access
link is) followed by a delay line of half the round trip. A byte that reaches the proxy at t
leaves the queue once the bytes before it have been sent at the link's rate and is delivered
half a round trip later; bytes are cut into segments so a long answer arrives progressively,
as it would over a real link, and order within a connection is kept. A new connection's first
client bytes are held back one round trip, because over a real link the client could send
nothing before the SYN / SYN-ACK exchange had crossed it.

    slow_link.py --listen 0 --target 127.0.0.1:PORT [--rtt-ms 60] [--mbit 10] [--log FILE]

The listening port is printed on one line ("slow-link listening on 127.0.0.1:PORT") once it
accepts connections. --log writes one JSON object per line: a connection opened, each segment
delivered (direction, bytes, time), a connection closed with its byte counts.
"""

import argparse
import asyncio
import collections
import json
import socket
import sys
import time

SEGMENT = 1448  # a TCP payload on an Ethernet path with timestamps


class Log:
    def __init__(self, path):
        self.file = open(path, "a", buffering=1) if path else None
        self.start = time.monotonic()

    def write(self, **event):
        if self.file is None:
            return
        event["t"] = round(time.monotonic() - self.start, 6)
        self.file.write(json.dumps(event) + "\n")


class Link:
    """One direction: a queue sent at `rate` bytes per second, then `delay` seconds of flight."""

    def __init__(self, rate, delay):
        self.rate = rate
        self.delay = delay
        self.free_at = 0.0  # when the queue has sent everything handed to it so far

    def schedule(self, size, now, not_before=0.0):
        start = max(now, self.free_at, not_before)
        self.free_at = start + size / self.rate
        return self.free_at + self.delay


class Direction:
    """Delivers one connection's bytes in one direction at the times its link gives them."""

    def __init__(self, link, writer, name, conn, log, hold_until=0.0):
        self.link = link
        self.writer = writer
        self.name = name
        self.conn = conn
        self.log = log
        self.hold_until = hold_until
        self.queue = collections.deque()  # (due time, bytes or None for the end of stream)
        self.ready = asyncio.Event()
        self.bytes = 0

    def take(self, data):
        loop = asyncio.get_running_loop()
        now = loop.time()
        for i in range(0, len(data), SEGMENT):
            part = data[i:i + SEGMENT]
            self.queue.append((self.link.schedule(len(part), now, self.hold_until), part))
        self.ready.set()

    def end(self):
        loop = asyncio.get_running_loop()
        # The end of the stream travels behind the bytes before it.
        self.queue.append((max(loop.time(), self.link.free_at) + self.link.delay, None))
        self.ready.set()

    async def deliver(self):
        loop = asyncio.get_running_loop()
        while True:
            while not self.queue:
                self.ready.clear()
                await self.ready.wait()
            due, part = self.queue.popleft()
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            if part is None:
                if self.writer.can_write_eof():
                    self.writer.write_eof()
                return
            # Everything already due goes out in one write, as a receiver's buffer would hold it.
            while self.queue and self.queue[0][1] is not None and self.queue[0][0] <= loop.time():
                part += self.queue.popleft()[1]
            self.writer.write(part)
            self.bytes += len(part)
            self.log.write(event="data", conn=self.conn, dir=self.name, bytes=len(part))
            await self.writer.drain()


async def pump(reader, direction):
    try:
        while True:
            data = await reader.read(65536)
            if not data:
                break
            direction.take(data)
    except (ConnectionError, OSError):
        pass
    direction.end()


class Proxy:
    def __init__(self, args):
        rate = args.mbit * 1e6 / 8
        delay = args.rtt_ms / 2000.0
        self.rtt = args.rtt_ms / 1000.0
        self.up = Link(rate, delay)
        self.down = Link(rate, delay)
        self.target = args.target
        self.handshake = not args.no_handshake
        self.log = Log(args.log)
        self.count = 0

    async def serve(self, client_reader, client_writer):
        self.count += 1
        conn = self.count
        loop = asyncio.get_running_loop()
        opened = loop.time()
        host, port = self.target.rsplit(":", 1)
        try:
            server_reader, server_writer = await asyncio.open_connection(host, int(port))
        except OSError as error:
            self.log.write(event="refused", conn=conn, error=str(error))
            client_writer.close()
            return
        for writer in (client_writer, server_writer):
            sock = writer.get_extra_info("socket")
            if sock is not None:
                sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.log.write(event="open", conn=conn)
        hold = opened + self.rtt if self.handshake else 0.0
        up = Direction(self.up, server_writer, "up", conn, self.log, hold)
        down = Direction(self.down, client_writer, "down", conn, self.log)
        tasks = [
            asyncio.create_task(pump(client_reader, up)),
            asyncio.create_task(pump(server_reader, down)),
            asyncio.create_task(up.deliver()),
            asyncio.create_task(down.deliver()),
        ]
        try:
            await asyncio.gather(*tasks)
        except (ConnectionError, OSError):
            for task in tasks:
                task.cancel()
        finally:
            for writer in (client_writer, server_writer):
                try:
                    writer.close()
                except OSError:
                    pass
            self.log.write(event="close", conn=conn, up=up.bytes, down=down.bytes,
                           seconds=round(loop.time() - opened, 6))


async def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--listen", type=int, default=0, help="port on 127.0.0.1 (0: any free)")
    parser.add_argument("--target", required=True, help="HOST:PORT of the server")
    parser.add_argument("--rtt-ms", type=float, default=60.0, help="round trip (default 60)")
    parser.add_argument("--mbit", type=float, default=10.0, help="Mbit/s each way (default 10)")
    parser.add_argument("--no-handshake", action="store_true",
                        help="do not hold a new connection's first bytes for the TCP handshake")
    parser.add_argument("--log", help="append a JSON line per event to this file")
    args = parser.parse_args()
    proxy = Proxy(args)
    server = await asyncio.start_server(proxy.serve, "127.0.0.1", args.listen)
    port = server.sockets[0].getsockname()[1]
    print(f"slow-link listening on 127.0.0.1:{port}", flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        sys.exit(0)
