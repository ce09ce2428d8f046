#!/usr/bin/env python3
"""The far side of the round-trip benchmark's web, run inside its network namespace: a name
server and a proxy in front of nginx that give every exchange the round trips of a distant
server, in user space (the kernel here has no netem).

- Name server on UDP ADDRESS:53: an A record for every name of hosts.tsv with an address,
  no record of another type, NXDOMAIN for every other name; each answer leaves one round
  trip after the question.
- Proxy on port 80 and 443 of every live site's address, forwarding to nginx on loopback.
  A new connection is held for one round trip (the TCP handshake: the client's first data
  reaches nginx no sooner), and every piece of data in either direction arrives half a round
  trip after it was sent, in order. With --loss P a piece is late by a retransmission
  timeout more with probability P.

usage: netsim.py --hosts hosts.tsv --rtt-ms 100 --http-port 8080 --https-port 8443
                 [--dns 127.0.0.53] [--loss 0.0] [--ready FILE] [--stats FILE]
SIGUSR1 writes its counts to --stats (connections and queries so far; the
proxy's lateness and CPU time since the last report); SIGTERM or SIGINT ends it (writing them too).
"""

import argparse
import asyncio
import collections
import os
import random
import signal
import socket
import struct
import time

EOF = object()


class Direction:
    """Data one way through the proxy, each piece delivered at its due time."""

    def __init__(self, conn, delay, hold_until):
        self.conn = conn
        self.delay = delay
        self.hold_until = hold_until  # nothing arrives before the handshake is over
        self.queue = collections.deque()
        self.timer = None
        self.last_due = 0.0
        self.dest = None  # the transport data goes to, once it exists
        self.ended = False  # the end has been queued
        self.done = False  # and delivered

    def push(self, item):
        if self.ended:
            return
        self.ended = item is EOF
        loop = self.conn.loop
        due = max(loop.time(), self.hold_until) + self.delay
        if self.conn.sim.loss and random.random() < self.conn.sim.loss:
            due += self.conn.sim.rto
        due = max(due, self.last_due)  # a late piece holds back the ones behind it
        self.last_due = due
        self.queue.append((due, item))
        self.arm()

    def arm(self):
        if self.timer is None and self.queue and self.dest is not None:
            self.timer = self.conn.loop.call_at(self.queue[0][0], self.flush)

    def flush(self):
        self.timer = None
        now = self.conn.loop.time()
        while self.queue and self.queue[0][0] <= now:
            due, item = self.queue.popleft()
            self.conn.sim.note_lateness(now - due)
            if item is EOF:
                self.done = True
                try:
                    if self.dest.can_write_eof():
                        self.dest.write_eof()
                    else:
                        self.dest.close()
                except (OSError, RuntimeError):
                    pass
                self.conn.maybe_close()
                return
            if not self.dest.is_closing():
                self.dest.write(item)
        self.arm()


class Connection:
    def __init__(self, sim, upstream_port):
        self.sim = sim
        self.loop = sim.loop
        self.upstream_port = upstream_port
        self.client = None
        self.upstream = None
        self.closed = False

    def start(self, client_transport):
        self.client = client_transport
        now = self.loop.time()
        half = self.sim.rtt / 2
        self.up = Direction(self, half, now + self.sim.rtt)
        self.down = Direction(self, half, 0.0)
        self.down.dest = client_transport
        self.sim.connections += 1
        self.loop.create_task(self.open_upstream())

    async def open_upstream(self):
        try:
            transport, _ = await self.loop.create_connection(
                lambda: Side(self, False), "127.0.0.1", self.upstream_port)
        except OSError:
            self.abort()
            return
        if self.closed:
            transport.abort()
            return
        self.upstream = transport
        self.up.dest = transport
        self.up.arm()

    def maybe_close(self):
        if self.up.done and self.down.done:
            self.abort()

    def abort(self):
        if self.closed:
            return
        self.closed = True
        for t in (self.client, self.upstream):
            if t is not None:
                t.close()


class Side(asyncio.Protocol):
    """One end of a proxied connection; what it receives travels the other way."""

    def __init__(self, conn, is_client):
        self.conn = conn
        self.is_client = is_client

    def connection_made(self, transport):
        if self.is_client:
            self.conn.start(transport)

    def outgoing(self):
        return self.conn.up if self.is_client else self.conn.down

    def data_received(self, data):
        self.outgoing().push(data)

    def eof_received(self):
        self.outgoing().push(EOF)
        return True

    def connection_lost(self, exc):
        if exc is not None and self.is_client:  # a reset: pass it on at once
            self.conn.abort()
        elif not self.outgoing().ended:
            self.outgoing().push(EOF)


class NameServer(asyncio.DatagramProtocol):
    def __init__(self, sim, table):
        self.sim = sim
        self.table = table

    def connection_made(self, transport):
        self.transport = transport

    def datagram_received(self, data, addr):
        answer = self.answer(data)
        if answer is not None:
            self.sim.queries += 1
            self.sim.loop.call_later(self.sim.rtt, self.transport.sendto, answer, addr)

    def answer(self, q):
        if len(q) < 17:
            return None
        ident, flags, qdcount = struct.unpack(">HHH", q[:6])
        if flags & 0x8000 or qdcount != 1:
            return None
        pos, labels = 12, []
        while pos < len(q) and q[pos] != 0:
            n = q[pos]
            if n > 63 or pos + 1 + n > len(q):
                return None
            labels.append(q[pos + 1:pos + 1 + n].decode("ascii", "replace").lower())
            pos += 1 + n
        if pos + 5 > len(q):
            return None
        qtype, qclass = struct.unpack(">HH", q[pos + 1:pos + 5])
        question = q[12:pos + 5]
        name = ".".join(labels)
        address = self.table.get(name)
        rcode = 0 if address is not None else 3
        answers = b""
        if address is not None and qtype == 1 and qclass == 1:
            answers = (b"\xc0\x0c" + struct.pack(">HHIH", 1, 1, 300, 4) +
                       socket.inet_aton(address))
        out_flags = 0x8000 | (flags & 0x7800) | 0x0400 | (flags & 0x0100) | 0x0080 | rcode
        header = struct.pack(">HHHHHH", ident, out_flags, 1, 1 if answers else 0, 0, 0)
        return header + question + answers


class Sim:
    def __init__(self, loop, rtt, loss):
        self.loop = loop
        self.rtt = rtt
        self.loss = loss
        self.rto = max(0.2, 2 * rtt)
        self.connections = 0
        self.queries = 0
        # How late pieces left against their due time: the emulation holds only while
        # this stays small next to the round trip.
        self.late_sum = 0.0
        self.late_count = 0
        self.late_max = 0.0
        self.cpu_mark = 0.0

    def note_lateness(self, late):
        self.late_sum += late
        self.late_count += 1
        self.late_max = max(self.late_max, late)


async def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--hosts", required=True)
    ap.add_argument("--rtt-ms", type=float, default=100)
    ap.add_argument("--http-port", type=int, required=True)
    ap.add_argument("--https-port", type=int, required=True)
    ap.add_argument("--dns", default="127.0.0.53")
    ap.add_argument("--loss", type=float, default=0.0)
    ap.add_argument("--ready")
    ap.add_argument("--stats")
    a = ap.parse_args()

    loop = asyncio.get_running_loop()
    sim = Sim(loop, a.rtt_ms / 1000.0, a.loss)
    table, live = {}, []
    for line in open(a.hosts):
        name, kind, address = line.rstrip("\n").split("\t")
        if address != "-":
            table[name.lower()] = address
        if kind == "live":
            live.append(address)

    await loop.create_datagram_endpoint(lambda: NameServer(sim, table),
                                        local_addr=(a.dns, 53))
    servers = []
    for address in live:
        for port, upstream in ((80, a.http_port), (443, a.https_port)):
            servers.append(await loop.create_server(
                lambda up=upstream: Side(Connection(sim, up), True), address, port, backlog=1024))

    def write_stats():
        # Counts since the start; lateness and CPU since the last report.
        if a.stats:
            mean = sim.late_sum / sim.late_count if sim.late_count else 0.0
            cpu = time.process_time()
            with open(a.stats + ".tmp", "w") as f:
                f.write("connections %d\nname queries %d\nlate mean ms %.1f\nlate max ms %.1f\n"
                        "cpu s %.1f\n" % (sim.connections, sim.queries, mean * 1000,
                                          sim.late_max * 1000, cpu - sim.cpu_mark))
            os.replace(a.stats + ".tmp", a.stats)
            sim.late_sum, sim.late_count, sim.late_max = 0.0, 0, 0.0
            sim.cpu_mark = cpu

    stop = asyncio.Event()
    for s in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(s, stop.set)
    loop.add_signal_handler(signal.SIGUSR1, write_stats)
    if a.ready:
        with open(a.ready, "w") as f:
            f.write("ready\n")
    await stop.wait()
    for s in servers:
        s.close()
    write_stats()


if __name__ == "__main__":
    asyncio.run(main())
