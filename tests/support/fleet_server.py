#!/usr/bin/python3
"""A fleet of web cameras, good and bad, on one loopback port, and a slow-loris attacker.

    fleet_server.py serve --log FILE [--served DIR] [--port P] [--generation G]
    fleet_server.py loris --target HOST:PORT --slow N --idle M --duration S --log FILE
                          [--every S] [--sources A,B,...] [--idle-sources A,B,...]

serve prints "ready PORT" once it listens and serves until its standard input closes. Each
connection carries one request (HTTP/1.0, closed after the answer). What a camera does is read
from its path, /KIND/NAME.EXT[?every=N]:

  /pic/NAME.jpg|png|bmp  200, a 64x48 picture; a new one every N requests (default 1)
  /gif/NAME.gif          200, an animated GIF of three frames whose last frame changes every time
  /e404/NAME.jpg         404 Not Found, with a picture as its body
  /e500/NAME.jpg         500 Internal Server Error, with an HTML body
  /login/NAME.jpg        200, an HTML login page (Content-Type: text/html)
  /cut/NAME.jpg          Content-Length 5000, then 1000 bytes and a close
  /drip/NAME.jpg         Content-Length 10 MiB, one byte at once, then one byte every 5 s
  /silent/NAME.jpg       reads the request and never answers, until the client goes
  /loop/NAME.jpg         302 to itself, for ever
  /huge/NAME.jpg         200 with a body of 100 MiB, sent as fast as the client reads

Pictures depend on NAME, the picture's serial and --generation (a restarted camera passes a new
one), so no two cameras and no two serials send the same bytes. With --served, each distinct
picture is written once to DIR/NAME/SERIAL.EXT the first time it is sent.

Lines on standard input:
  freeze PATH...   these cameras (paths without the query) send their last picture again
  thaw             every camera moves on again

The log gets one line per event, times from the monotonic clock (CLOCK_MONOTONIC, as C++'s
steady_clock):
  T req PATH                    a request has arrived (PATH with its query)
  T sent PATH STATUS SERIAL     a picture's answer has been written whole (SERIAL -1: no picture)

loris opens --slow connections that send a request line and then one header line every --every
seconds (3), and --idle connections that send nothing; each is opened again as soon as the server
drops it, until --duration seconds have passed. Connections come from the --sources addresses in
turn (loopback addresses such as 127.0.0.2), so that a cap per client address does not turn them
away. Its log gets one line per connection the server ended:
  KIND T_OPEN T_CLOSE LINES_SENT STATUS   (STATUS of the server's answer, - for none)
"""
import argparse
import asyncio
import io
import os
import random
import sys
import time
import zlib

from PIL import Image

DRIP_LENGTH = 10 * 1024 * 1024
HUGE_LENGTH = 100 * 1024 * 1024
CHUNK = b"\x5a" * (1024 * 1024)
LOGIN_PAGE = (b"<!DOCTYPE html>\n<html><head><title>Camera login</title></head><body>\n"
              b"<form method=\"post\" action=\"/login\"><p>User <input name=\"u\"></p>\n"
              b"<p>Password <input name=\"p\" type=\"password\"></p>\n"
              b"<p><button>Sign in</button></p></form></body></html>\n")
ERROR_PAGE = b"<html><body><h1>500 Internal Server Error</h1></body></html>\n"
FORMATS = {"jpg": "JPEG", "png": "PNG", "bmp": "BMP", "gif": "GIF"}


def now():
    return time.monotonic()


def picture(name, serial, generation, ext):
    """A 64x48 picture that differs for every (name, serial, generation)."""
    seed = zlib.crc32(f"{name}/{generation}/{serial}".encode())
    rng = random.Random(seed)
    base = (rng.randrange(256), rng.randrange(256), rng.randrange(256))
    image = Image.new("RGB", (64, 48), base)
    pixels = image.load()
    # The serial in 32 blocks of 4x4, light for a one: two serials never look alike.
    for bit in range(32):
        x, y = (bit % 16) * 4, (bit // 16) * 4
        shade = 255 if (serial >> bit) & 1 else 0
        for dy in range(4):
            for dx in range(4):
                pixels[x + dx, y + dy] = (shade, shade ^ (generation * 40 % 256), 128)
    for _ in range(64):
        pixels[rng.randrange(64), 8 + rng.randrange(40)] = (rng.randrange(256),) * 3
    out = io.BytesIO()
    if ext == "jpg":
        image.save(out, "JPEG", quality=85)
    else:
        image.save(out, FORMATS[ext])
    return out.getvalue()


def animation(name, serial, generation):
    """Three frames; only the last depends on the serial."""
    frames = []
    for i, colour in enumerate([(200, 30, 30), (30, 200, 30)]):
        frame = Image.new("RGB", (32, 32), colour)
        frame.putpixel((i, i), (0, 0, 0))
        frames.append(frame)
    last = Image.new("RGB", (32, 32), (30, 30, 200))
    for bit in range(32):
        if (serial + generation * 1000003) >> bit & 1:
            last.putpixel((bit, 31), (255, 255, 255))
            last.putpixel((bit, 30), (255, 255, 0))
    frames.append(last)
    out = io.BytesIO()
    frames[0].save(out, "GIF", save_all=True, append_images=frames[1:], duration=100, loop=0)
    return out.getvalue()


def head(status, fields):
    lines = [f"HTTP/1.0 {status}"] + [f"{k}: {v}" for k, v in fields] + ["", ""]
    return "\r\n".join(lines).encode()


class Fleet:
    def __init__(self, log, served, generation):
        self.log = log
        self.served = served
        self.generation = generation
        self.counts = {}
        self.frozen = set()
        self.last = {}  # path -> (serial, bytes) last sent
        self.written = set()

    def note(self, text):
        self.log.write(f"{now():.6f} {text}\n")
        self.log.flush()

    def next_picture(self, path, name, ext, every):
        if path in self.frozen and path in self.last:
            return self.last[path]
        n = self.counts.get(path, 0)
        self.counts[path] = n + 1
        serial = self.generation * 1000000 + n // every
        if path in self.last and self.last[path][0] == serial:
            return self.last[path]
        if ext == "gif":
            body = animation(name, serial, self.generation)
        else:
            body = picture(name, serial, self.generation, ext)
        key = (name, serial)
        if self.served and key not in self.written:
            folder = os.path.join(self.served, name)
            os.makedirs(folder, exist_ok=True)
            with open(os.path.join(folder, f"{serial}.{ext}"), "wb") as f:
                f.write(body)
            self.written.add(key)
        self.last[path] = (serial, body)
        return self.last[path]

    async def handle(self, reader, writer):
        try:
            request = await asyncio.wait_for(reader.readuntil(b"\r\n\r\n"), 30)
        except (asyncio.IncompleteReadError, asyncio.LimitOverrunError, asyncio.TimeoutError,
                ConnectionError):
            writer.close()
            return
        try:
            target = request.split(b" ", 2)[1].decode("latin-1")
            self.note(f"req {target}")
            await self.answer(target, reader, writer)
        except (ConnectionError, asyncio.CancelledError):
            pass
        finally:
            writer.close()

    async def answer(self, target, reader, writer):
        path, _, query = target.partition("?")
        parts = path.split("/")
        kind = parts[1] if len(parts) == 3 else ""
        name, _, ext = parts[-1].rpartition(".")
        every = 1
        for item in query.split("&"):
            if item.startswith("every="):
                every = max(1, int(item[6:]))
        if kind in ("pic", "gif") and ext in FORMATS:
            serial, body = self.next_picture(path, name, ext, every)
            writer.write(head("200 OK", [("Content-Type", f"image/{FORMATS[ext].lower()}"),
                                         ("Content-Length", len(body))]) + body)
            await writer.drain()
            self.note(f"sent {target} 200 {serial}")
        elif kind == "e404":
            body = picture(name, 0, self.generation, "jpg")
            writer.write(head("404 Not Found", [("Content-Type", "image/jpeg"),
                                                ("Content-Length", len(body))]) + body)
        elif kind == "e500":
            writer.write(head("500 Internal Server Error",
                              [("Content-Type", "text/html"),
                               ("Content-Length", len(ERROR_PAGE))]) + ERROR_PAGE)
        elif kind == "login":
            writer.write(head("200 OK", [("Content-Type", "text/html"),
                                         ("Content-Length", len(LOGIN_PAGE))]) + LOGIN_PAGE)
        elif kind == "cut":
            body = picture(name, 0, self.generation, "jpg")[:1000]
            writer.write(head("200 OK", [("Content-Type", "image/jpeg"),
                                         ("Content-Length", 5000)]) + body)
        elif kind == "drip":
            await self.drip(reader, writer)
        elif kind == "silent":
            await reader.read()  # until the client closes
        elif kind == "loop":
            writer.write(head("302 Found", [("Location", path), ("Content-Length", 0)]))
        elif kind == "huge":
            writer.write(head("200 OK", [("Content-Type", "image/jpeg"),
                                         ("Content-Length", HUGE_LENGTH)]))
            for _ in range(HUGE_LENGTH // len(CHUNK)):
                writer.write(CHUNK)
                await writer.drain()
        else:
            writer.write(head("404 Not Found", [("Content-Length", 0)]))
        await writer.drain()

    async def drip(self, reader, writer):
        writer.write(head("200 OK", [("Content-Type", "image/jpeg"),
                                     ("Content-Length", DRIP_LENGTH)]) + b"\xff")
        await writer.drain()
        gone = asyncio.ensure_future(reader.read())
        try:
            for _ in range(DRIP_LENGTH - 1):
                done, _ = await asyncio.wait([gone], timeout=5)
                if done:
                    return
                writer.write(b"\xd8")
                await writer.drain()
        finally:
            gone.cancel()

    async def commands(self):
        loop = asyncio.get_running_loop()
        while True:
            line = await loop.run_in_executor(None, sys.stdin.readline)
            if not line:
                return
            words = line.split()
            if words and words[0] == "freeze":
                self.frozen.update(words[1:])
            elif words and words[0] == "thaw":
                self.frozen.clear()


async def serve(args):
    if args.served:
        os.makedirs(args.served, exist_ok=True)
    with open(args.log, "a", encoding="utf-8") as log:
        fleet = Fleet(log, args.served, args.generation)
        server = await asyncio.start_server(fleet.handle, "127.0.0.1", args.port,
                                            reuse_address=True, backlog=1024, limit=16384)
        port = server.sockets[0].getsockname()[1]
        print(f"ready {port}", flush=True)
        async with server:
            await fleet.commands()


async def loris_connection(args, kind, source, log, end):
    host, port = args.target.rsplit(":", 1)
    while now() < end:
        opened = now()
        lines, status = 0, "-"
        try:
            reader, writer = await asyncio.open_connection(host, int(port),
                                                           local_addr=(source, 0))
        except OSError:
            await asyncio.sleep(0.2)
            continue
        try:
            if kind == "slow":
                writer.write(b"GET / HTTP/1.1\r\n")
                lines = 1
            reply = asyncio.ensure_future(reader.read(64))
            while not reply.done() and now() < end:
                done, _ = await asyncio.wait([reply], timeout=args.every)
                if not done and kind == "slow":
                    writer.write(f"X-Line-{lines}: {'a' * 20}\r\n".encode())
                    lines += 1
            if reply.done():
                first = reply.result()
                if first.startswith(b"HTTP/"):
                    status = first.split(b" ")[1].decode("latin-1")
            else:
                reply.cancel()
                continue  # our own end, not the server's
        except OSError:
            pass
        finally:
            writer.close()
        log.write(f"{kind} {opened:.6f} {now():.6f} {lines} {status}\n")
        log.flush()
        if now() - opened < 1:
            await asyncio.sleep(0.2)  # turned away at once: no tight reconnect loop


async def loris(args):
    sources = args.sources.split(",")
    idle_sources = (args.idle_sources or args.sources).split(",")
    end = now() + args.duration
    with open(args.log, "a", encoding="utf-8") as log:
        tasks = [loris_connection(args, "slow", sources[i % len(sources)], log, end)
                 for i in range(args.slow)]
        tasks += [loris_connection(args, "idle", idle_sources[i % len(idle_sources)], log, end)
                  for i in range(args.idle)]
        await asyncio.gather(*tasks)


def main():
    parser = argparse.ArgumentParser()
    sub = parser.add_subparsers(dest="command", required=True)
    s = sub.add_parser("serve")
    s.add_argument("--log", required=True)
    s.add_argument("--served", default="")
    s.add_argument("--port", type=int, default=0)
    s.add_argument("--generation", type=int, default=0)
    l = sub.add_parser("loris")
    l.add_argument("--target", required=True)
    l.add_argument("--slow", type=int, default=8)
    l.add_argument("--idle", type=int, default=0)
    l.add_argument("--every", type=float, default=3)
    l.add_argument("--duration", type=float, required=True)
    l.add_argument("--sources", default="127.0.0.1")
    l.add_argument("--idle-sources", default="")
    l.add_argument("--log", required=True)
    args = parser.parse_args()
    try:
        asyncio.run(serve(args) if args.command == "serve" else loris(args))
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
