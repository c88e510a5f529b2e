#!/usr/bin/env python3
"""A TCP proxy on loopback that delays every byte by a fixed time each way,
to model a distant server: 25 ms each way makes a 50 ms round trip.

    python3 scripts/delay_proxy.py LISTEN_PORT UPSTREAM_PORT [DELAY_MS]

Both ends are 127.0.0.1. Bytes keep their order; the delay is added to each
piece as it is read, so it costs latency, not bandwidth. A close travels with
the same delay as the bytes before it. A new connection costs a round trip
too, as the handshake with a distant server would: the client's first bytes
reach the server no sooner than three delays after its connect. Prints "ready PORT" once listening
(port 0 picks a free one).
"""
import asyncio
import sys
import time


async def pipe(reader, writer, delay, not_before=0.0):
    queue = asyncio.Queue()

    async def deliver():
        while True:
            due, data = await queue.get()
            wait = due - time.monotonic()
            if wait > 0:
                await asyncio.sleep(wait)
            if data is None:
                try:
                    writer.write_eof()
                except (OSError, RuntimeError):
                    pass
                return
            writer.write(data)
            try:
                await writer.drain()
            except OSError:
                return

    sender = asyncio.ensure_future(deliver())
    try:
        while True:
            data = await reader.read(65536)
            queue.put_nowait((max(time.monotonic() + delay, not_before), data or None))
            if not data:
                break
    except OSError:
        queue.put_nowait((time.monotonic() + delay, None))
    await sender


async def serve(client_reader, client_writer, upstream_port, delay):
    # The handshake's round trip, then the request's way there.
    not_before = time.monotonic() + 3 * delay
    try:
        up_reader, up_writer = await asyncio.open_connection("127.0.0.1", upstream_port)
    except OSError:
        client_writer.close()
        return
    await asyncio.gather(pipe(client_reader, up_writer, delay, not_before), pipe(up_reader, client_writer, delay),
                         return_exceptions=True)
    for w in (client_writer, up_writer):
        w.close()


async def main():
    listen_port, upstream_port = int(sys.argv[1]), int(sys.argv[2])
    delay = (int(sys.argv[3]) if len(sys.argv) > 3 else 25) / 1000.0
    server = await asyncio.start_server(lambda r, w: serve(r, w, upstream_port, delay), "127.0.0.1", listen_port)
    print("ready", server.sockets[0].getsockname()[1], flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        pass
