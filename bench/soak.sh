#!/usr/bin/env bash
# Soak of the multi-link watch at scale: `kestrix-cli watch --links` over LINKS cameras (default
# 1000) of tests/support/fleet_server.py for DURATION seconds (default 1800), a tenth of them bad
# (error pages, a login page, cut bodies, trickles, silence, redirect loops, endless bodies), one
# camera killed and restarted every five minutes, and slow-loris heads and idle connections on the
# status page all along. Every minute, and at the end, it prints what the watch does meanwhile:
# its memory (RSS now and peak), CPU seconds, descriptors, the healthy fetches that came on their
# rhythm (at most interval + 1 s after the one before), pictures archived, retention's deletions
# and how fast the page answered.
#   bench/soak.sh [DURATION] [BUILD_DIR]
# Environment: LINKS (1000), BAD_PERCENT (10), PARALLEL (16), INTERVALS ("5 10 15 30 60"),
# MAX_BYTES (32M), SLOW (50 slow-loris heads), IDLE (100 idle connections).
# Run it under the build lock on a shared machine: flock /tmp/kestrix-build.lock bench/soak.sh
set -euo pipefail
cd "$(dirname "$0")/.."
duration=${1:-1800}
cli=$(realpath "${2:-build}/src/cli/kestrix-cli")
support=$(realpath tests/support)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

/usr/bin/python3 - "$cli" "$support" "$duration" "$work" <<'PY'
import atexit
import os
import re
import signal
import socket
import statistics
import subprocess
import sys
import time

cli, support, duration, work = sys.argv[1], sys.argv[2], float(sys.argv[3]), sys.argv[4]
links = int(os.environ.get("LINKS", 1000))
bad_share = float(os.environ.get("BAD_PERCENT", 10)) / 100
parallel = int(os.environ.get("PARALLEL", 16))
intervals = [int(i) for i in os.environ.get("INTERVALS", "5 10 15 30 60").split()]
max_bytes = os.environ.get("MAX_BYTES", "32M")
slow, idle = int(os.environ.get("SLOW", 50)), int(os.environ.get("IDLE", 100))
fleet_script = os.path.join(support, "fleet_server.py")
children = []


@atexit.register
def end_children():
    for child in children:
        if child.poll() is None:
            child.kill()
            child.wait()


signal.signal(signal.SIGTERM, lambda *_: sys.exit("stopped"))


def start(args, stdout=subprocess.DEVNULL, stderr=None):
    child = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=stdout,
                             stderr=stderr or subprocess.DEVNULL)
    children.append(child)
    return child


def start_camera(log, port=0, generation=0):
    child = start(["/usr/bin/python3", fleet_script, "serve", "--log", log, "--port", str(port),
                   "--generation", str(generation)], stdout=subprocess.PIPE,
                  stderr=open(os.path.join(work, "fleet.err"), "a"))
    ready = child.stdout.readline().split()
    if not ready or ready[0] != b"ready":
        sys.exit("the camera fleet did not start")
    return child, int(ready[1])


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def page_get(port, path):
    """Milliseconds to a whole 200 answer from the page, or None."""
    start_time = time.monotonic()
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=3) as s:
            s.settimeout(3)
            s.sendall(f"GET {path} HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n".encode())
            reply = b""
            while chunk := s.recv(65536):
                reply += chunk
    except OSError:
        return None
    ms = (time.monotonic() - start_time) * 1000
    return ms if reply.startswith(b"HTTP/1.1 200") else None


class Tail:
    """The lines a growing file gained since the last call."""
    def __init__(self, path):
        self.path, self.offset, self.rest = path, 0, b""

    def lines(self):
        try:
            with open(self.path, "rb") as f:
                f.seek(self.offset)
                data = f.read()
        except FileNotFoundError:
            return []
        self.offset += len(data)
        data = self.rest + data
        *complete, self.rest = data.split(b"\n")
        return [line.decode("utf-8", "replace") for line in complete]


def process_reading(pid):
    status = open(f"/proc/{pid}/status").read()
    rss = int(re.search(r"VmRSS:\s+(\d+)", status).group(1)) // 1024
    peak = int(re.search(r"VmHWM:\s+(\d+)", status).group(1)) // 1024
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    cpu = (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    return rss, peak, cpu, len(os.listdir(f"/proc/{pid}/fd"))


def percentile(values, share):
    values = sorted(values)
    return values[min(len(values) - 1, int(share * len(values)))] if values else float("nan")


# The cameras: the bad ones spread over the kinds, the rest healthy; one of those is killed and
# restarted now and then.
bad_kinds = ["e404", "e500", "login", "cut", "loop", "drip", "silent", "huge"]
bad_count = int(links * bad_share)
fleet_log, phoenix_log = os.path.join(work, "fleet.log"), os.path.join(work, "phoenix.log")
fleet, fleet_port = start_camera(fleet_log)
phoenix, phoenix_port = start_camera(phoenix_log)
interval_of, xml = {}, ['<ImageAddressXML KSX="1.0">']
for i in range(links):
    interval = intervals[i % len(intervals)]
    if i < bad_count:
        kind = bad_kinds[i % len(bad_kinds)]
        name, path, port = f"{kind}{i}", f"/{kind}/{kind}{i}.jpg", fleet_port
    elif i == links - 1:
        name, path, port = "phoenix", "/pic/phoenix.jpg", phoenix_port
    else:
        ext = ["jpg", "jpg", "jpg", "jpg", "jpg", "png", "jpg", "bmp"][i % 8]
        kind = "gif" if i == links - 2 else "pic"
        ext = "gif" if kind == "gif" else ext
        name, path, port = f"cam{i}", f"/{kind}/cam{i}.{ext}", fleet_port
        path += "?every=3" if i % 2 else ""
        interval_of[name] = interval
    xml.append(f'<URLItem URLName="{name}" URLAddress="http://127.0.0.1:{port}{path}" '
               f'URLDelay="{interval}" Selected="no"/>')
xml.append("</ImageAddressXML>")
open(os.path.join(work, "links.klnx"), "w").write("\n".join(xml) + "\n")

page_port = free_port()
watch_log = os.path.join(work, "watch.log")
watch = start([cli, "watch", "--links", os.path.join(work, "links.klnx"), "--save-dir",
               os.path.join(work, "archive"), "--parallel", str(parallel), "--json",
               "--max-bytes", max_bytes, "--serve", f"127.0.0.1:{page_port}"],
              stdout=open(watch_log, "w"), stderr=open(os.path.join(work, "watch.err"), "w"))
t0 = time.monotonic()
sources = ",".join(f"127.0.0.{i}" for i in range(2, 12))
idle_sources = ",".join(f"127.0.1.{i}" for i in range(2, 22))
loris_log = os.path.join(work, "loris.log")
attacker = start(["/usr/bin/python3", fleet_script, "loris", "--target", f"127.0.0.1:{page_port}",
       "--slow", str(slow), "--idle", str(idle), "--duration", str(duration), "--sources",
       sources, "--idle-sources", idle_sources, "--log", loris_log])

print(f"{links} links ({bad_count} bad, intervals {intervals} s), --parallel {parallel}, "
      f"--max-bytes {max_bytes}, {slow} slow-loris heads and {idle} idle connections on the "
      f"page, for {duration:.0f} s", flush=True)
print(f"{'min':>4} {'RSS':>6} {'peak':>6} {'CPU s':>7} {'fds':>5} {'rhythm':>8} {'gaps':>6} "
      f"{'new':>6} {'archived':>9} {'deleted':>8} {'page p50/p99/max ms':>22} {'fail':>5}",
      flush=True)

fleet_tail, phoenix_tail, watch_tail = Tail(fleet_log), Tail(phoenix_log), Tail(watch_log)
last_request, errors = {}, {}
totals = {"gaps": 0, "late": 0, "new": 0, "deleted": 0, "fails": 0}
all_ms, minute_ms, minute_fails = [], [], 0
minute_gaps = minute_late = minute_new = 0
highest_fds = minute_fds = 0
# The page listens once the link file is read: the first question waits a little.
next_probe, next_sample, next_minute, minute = t0 + 2, t0, t0 + 60, 1
phoenix_down_at, phoenix_generation = t0 + 300, 0
probe_paths, probe = ["/api/status", "/healthz"], 0
reading = (0, 0, 0.0, 0)
while True:
    now = time.monotonic()
    if now >= next_probe:
        ms = page_get(page_port, probe_paths[probe % 2])
        probe += 1
        next_probe += 0.5
        if ms is None:
            minute_fails += 1
        else:
            minute_ms.append(ms)
    if watch.poll() is not None:
        sys.exit(f"the watch ended with status {watch.returncode}; see {work}/watch.err")
    if now >= next_sample:
        next_sample += 5
        reading = process_reading(watch.pid)
        minute_fds = max(minute_fds, reading[3])
    if now >= phoenix_down_at:
        if phoenix.poll() is None:
            phoenix.kill()
            phoenix.wait()
            phoenix_down_at = now + 20
        else:
            phoenix_generation += 1
            phoenix, _ = start_camera(phoenix_log, phoenix_port, phoenix_generation)
            phoenix_down_at = now + 280
    if now >= next_minute or now >= t0 + duration:
        for line in fleet_tail.lines() + phoenix_tail.lines():
            words = line.split()
            if len(words) < 3 or words[1] != "req":
                continue
            name = words[2].rsplit("/", 1)[-1].split(".")[0]
            if name not in interval_of:
                continue
            t = float(words[0])
            if name in last_request and t <= t0 + duration:
                minute_gaps += 1
                minute_late += t - last_request[name] > interval_of[name] + 1
            last_request[name] = t
        for line in watch_tail.lines():
            if '"status":"new"' in line:
                minute_new += 1
            elif '"retention":' in line:
                totals["deleted"] += int(re.search(r'"deleted_files":(\d+)', line).group(1))
            elif '"status":"error"' in line:
                text = re.search(r'"error":"((?:[^"\\]|\\.)*)"', line).group(1)
                text = re.sub(r"\d[\d,]*", "N", text)
                errors[text] = errors.get(text, 0) + 1
        totals["new"] += minute_new
        totals["fails"] += minute_fails
        if minute > 1:  # the first minute holds the warm-up of the stalled cameras
            totals["gaps"] += minute_gaps
            totals["late"] += minute_late
        all_ms += minute_ms
        highest_fds = max(highest_fds, minute_fds)
        rss, peak, cpu, _ = reading = process_reading(watch.pid)
        rhythm = 100 * (minute_gaps - minute_late) / minute_gaps if minute_gaps else float("nan")
        page = (f"{percentile(minute_ms, 0.5):.1f}/{percentile(minute_ms, 0.99):.1f}/"
                f"{max(minute_ms, default=float('nan')):.1f}")
        print(f"{minute:>4} {rss:>6} {peak:>6} {cpu:>7.1f} {minute_fds:>5} {rhythm:>7.2f}% "
              f"{minute_gaps:>6} {minute_new:>6} {totals['new']:>9} {totals['deleted']:>8} "
              f"{page:>22} {minute_fails:>5}", flush=True)
        minute_ms, minute_fails, minute_gaps, minute_late, minute_new, minute_fds = \
            [], 0, 0, 0, 0, 0
        minute += 1
        next_minute += 60
        if now >= t0 + duration:
            break
    time.sleep(max(0.0, min(next_probe, next_sample, next_minute, t0 + duration)
                   - time.monotonic()))

# The attacker goes first, so that the stop's closing of its connections is not counted.
attacker.kill()
attacker.wait()
stop_start = time.monotonic()
watch.send_signal(signal.SIGTERM)
status = watch.wait(timeout=30)
stopped = time.monotonic() - stop_start
loris = {}
for line in open(loris_log):
    kind, opened, closed, _, answer = line.split()
    held = float(closed) - float(opened)
    entry = loris.setdefault(f"{kind} {answer}", [0, held, held])
    entry[0] += 1
    entry[1], entry[2] = min(entry[1], held), max(entry[2], held)
end_children()

rss, peak, cpu, _ = reading
print()
print(f"after {duration:.0f} s: RSS {rss} MiB (peak {peak} MiB), CPU {cpu:.1f} s "
      f"({100 * cpu / duration:.1f}% of one core), at most {highest_fds} descriptors")
gaps = totals["gaps"]
print(f"healthy fetches on rhythm after the first minute: "
      f"{100 * (gaps - totals['late']) / gaps if gaps else float('nan'):.2f}% of {gaps}")
print(f"pictures archived: {totals['new']}; deleted by retention: {totals['deleted']}")
print(f"page under attack: {len(all_ms)} answers, p50 {percentile(all_ms, 0.5):.1f} ms, p99 "
      f"{percentile(all_ms, 0.99):.1f} ms, max {max(all_ms, default=float('nan')):.1f} ms; "
      f"{totals['fails']} without an answer")
print("attack connections the page ended: " + ", ".join(
    f"{what}: {n} (held {low:.1f}-{high:.1f} s)" for what, (n, low, high) in sorted(loris.items())))
print(f"SIGTERM: exit status {status} after {stopped:.2f} s")
print("errors logged:")
for text, n in sorted(errors.items(), key=lambda item: -item[1]):
    print(f"  {n:>7}  {text}")
PY
