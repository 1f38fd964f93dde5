#!/usr/bin/env python3
"""TCP proxy on loopback that adds a fixed round-trip time.

delay_proxy.py LISTEN_PORT TARGET_PORT RTT_MS [LISTEN_ADDRESS,...]

Every chunk is forwarded RTT/2 after it arrived, in each direction, in
order, so a request-and-answer exchange costs one RTT more than without the
proxy while a stream of pipelined commands is delayed only once. Listens on
127.0.0.1 (or on the given loopback addresses, so that clients can take them
for different servers) and connects to 127.0.0.1 only.
"""
import asyncio
import sys


async def pump(reader, writer, delay):
    queue = asyncio.Queue()

    async def send_later():
        loop = asyncio.get_running_loop()
        while True:
            due, data = await queue.get()
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            if data is None:
                try:
                    writer.write_eof()
                except OSError:
                    pass
                return
            writer.write(data)
            await writer.drain()

    sender = asyncio.create_task(send_later())
    loop = asyncio.get_running_loop()
    try:
        while True:
            data = await reader.read(65536)
            queue.put_nowait((loop.time() + delay, data or None))
            if not data:
                break
        await sender
    except (ConnectionError, OSError):
        sender.cancel()
    finally:
        writer.close()


async def main():
    listen_port, target_port, rtt_ms = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
    delay = rtt_ms / 2000.0

    async def handle(client_reader, client_writer):
        try:
            server_reader, server_writer = await asyncio.open_connection("127.0.0.1", target_port)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(pump(client_reader, server_writer, delay),
                             pump(server_reader, client_writer, delay),
                             return_exceptions=True)

    hosts = sys.argv[4].split(",") if len(sys.argv) > 4 else "127.0.0.1"
    server = await asyncio.start_server(handle, hosts, listen_port)
    print("ready", flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        pass
