#!/usr/bin/env python3
"""TCP proxy on loopback that adds a fixed round-trip time.

delay_proxy.py [--hide-pipelining] LISTEN_PORT TARGET_PORT RTT_MS [LISTEN_ADDRESS,...]

Every chunk is forwarded RTT/2 after it arrived, in each direction, in
order, so a request-and-answer exchange costs one RTT more than without the
proxy while a stream of pipelined commands is delayed only once. Listens on
127.0.0.1 (or on the given loopback addresses, so that clients can take them
for different servers) and connects to 127.0.0.1 only. With
--hide-pipelining the server's answers lose every line that is exactly
"PIPELINING", so a plain-text CAPA answer no longer announces it, as with the
POP3 servers of several large providers (a CAPA inside TLS keeps it).
"""
import asyncio
import re
import sys

PIPELINING_LINE = re.compile(rb"(?m)^PIPELINING\r\n")


async def pump(reader, writer, delay, strip=False):
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
            if strip:
                data = PIPELINING_LINE.sub(b"", data)
            queue.put_nowait((loop.time() + delay, data or None))
            if not data:
                break
        await sender
    except (ConnectionError, OSError):
        sender.cancel()
    finally:
        writer.close()


async def main():
    args = sys.argv[1:]
    hide = "--hide-pipelining" in args
    if hide:
        args.remove("--hide-pipelining")
    listen_port, target_port, rtt_ms = int(args[0]), int(args[1]), float(args[2])
    delay = rtt_ms / 2000.0

    async def handle(client_reader, client_writer):
        try:
            server_reader, server_writer = await asyncio.open_connection("127.0.0.1", target_port)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(pump(client_reader, server_writer, delay),
                             pump(server_reader, client_writer, delay, hide),
                             return_exceptions=True)

    hosts = args[3].split(",") if len(args) > 3 else "127.0.0.1"
    server = await asyncio.start_server(handle, hosts, listen_port)
    print("ready", flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        pass
