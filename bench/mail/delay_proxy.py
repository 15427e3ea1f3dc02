#!/usr/bin/python3
"""A loopback proxy that delays every chunk by the same time in each
direction, keeping their order and the link's throughput: chunks in flight
overlap, as on a long link, and none waits for the one before it to arrive.

    delay_proxy.py TARGET_PORT [DELAY_MS]     (25 ms by default)

Listens on a free port of 127.0.0.1, prints it on the first line, and
forwards every connection to 127.0.0.1:TARGET_PORT until killed.
"""
import asyncio
import socket
import sys


async def carry(reader, writer, delay):
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()

    async def deliver():
        while True:
            due, data = await queue.get()
            await asyncio.sleep(max(0.0, due - loop.time()))
            if not data:
                if writer.can_write_eof():
                    writer.write_eof()
                return
            writer.write(data)
            await writer.drain()

    delivering = asyncio.create_task(deliver())
    while True:
        data = await reader.read(65536)
        queue.put_nowait((loop.time() + delay, data))
        if not data:
            break
    await delivering


async def main():
    target, delay = int(sys.argv[1]), (int(sys.argv[2]) if len(sys.argv) > 2 else 25) / 1000

    async def serve(client_reader, client_writer):
        server_reader, server_writer = await asyncio.open_connection("127.0.0.1", target)
        for w in (client_writer, server_writer):
            w.get_extra_info("socket").setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        await asyncio.gather(carry(client_reader, server_writer, delay),
                             carry(server_reader, client_writer, delay), return_exceptions=True)
        for w in (client_writer, server_writer):
            w.close()

    server = await asyncio.start_server(serve, "127.0.0.1", 0)
    print(server.sockets[0].getsockname()[1], flush=True)
    await server.serve_forever()


asyncio.run(main())
