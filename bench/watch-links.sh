#!/usr/bin/env bash
# Whole-process benchmark of the multi-link watch: LINKS links (default 1000) every INTERVAL
# seconds (60) against a local server for DURATION seconds (300). Prints the share of fetches that
# came within 1.5 s of their rhythm (the interval after the link's previous fetch), the links that
# were fetched as often as they should be, the watch's CPU (share of one core) and its peak RSS.
#   bench/watch-links.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
cli=$(realpath "${1:-build}/src/cli/kestrix-cli")
links=${LINKS:-1000}
interval=${INTERVAL:-60}
duration=${DURATION:-300}
work=$(mktemp -d)
trap 'kill $server_pid 2>/dev/null || true; rm -rf "$work"' EXIT

# Camera-like JPEGs of 640x480; each link gets a different one at every fetch.
/usr/bin/python3 - "$work" <<'PY'
import sys, numpy as np
from PIL import Image
rng = np.random.default_rng(5)
y, x = np.mgrid[0:480, 0:640].astype(np.float32)
for i in range(20):
    f = 120 + 60 * np.sin((x + 7 * i) / 50.0)[..., None] * np.cos(y / 40.0)[..., None] \
        + rng.normal(0, 3, (480, 640, 3))
    Image.fromarray(np.clip(f, 0, 255).astype(np.uint8)).save(f"{sys.argv[1]}/p{i:02d}.jpg", quality=88)
PY
cat > "$work/server.py" <<'PY'
import http.server, glob, sys, time, threading
pictures = [open(f, 'rb').read() for f in sorted(glob.glob(sys.argv[1] + '/p*.jpg'))]
counts = {}
log = open(sys.argv[1] + '/requests.log', 'w')
lock = threading.Lock()
class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        with lock:
            n = counts[self.path] = counts.get(self.path, hash(self.path) % len(pictures)) + 1
            log.write(f"{time.monotonic():.3f} {self.path}\n"); log.flush()
        body = pictures[n % len(pictures)]
        self.send_response(200); self.send_header('Content-Length', str(len(body))); self.end_headers()
        self.wfile.write(body)
    def log_message(self, *args): pass
server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
PY
/usr/bin/python3 "$work/server.py" "$work" > "$work/port" &
server_pid=$!
while [ ! -s "$work/port" ]; do sleep 0.1; done
port=$(cat "$work/port")
{
  echo '<ImageAddressXML KSX="1.0">'
  echo '<FolderItem FolderName="Bench">'
  for i in $(seq 0 $((links - 1))); do
    echo "<URLItem URLName=\"cam$i\" URLAddress=\"http://127.0.0.1:$port/cam$i.jpg\" URLDelay=\"$interval\" Selected=\"no\"/>"
  done
  echo '</FolderItem></ImageAddressXML>'
} > "$work/links.klnx"

/usr/bin/time -f "%M" -o "$work/rss" "$cli" watch --links "$work/links.klnx" \
  --save-dir "$work/archive" --json > "$work/watch.log" 2>&1 &
time_pid=$!
sleep 1
watch_pid=$(pgrep -P $time_pid)
ticks() { awk '{print $14 + $15}' "/proc/$watch_pid/stat"; }
start_ticks=$(ticks)
sleep "$duration"
end_ticks=$(ticks)
kill -TERM "$watch_pid"
wait $time_pid || true

hz=$(getconf CLK_TCK)
awk -v links="$links" -v interval="$interval" -v duration="$duration" \
    -v cpu="$(( end_ticks - start_ticks ))" -v hz="$hz" -v rss="$(cat "$work/rss")" '
  { t = $1; p = $2; if (p in last) { total++; d = t - last[p] - interval; if (d < 0) d = -d;
      if (d <= 1.5) ontime++ } last[p] = t; count[p]++ }
  END {
    expected = int(duration / interval); full = 0
    for (p in count) if (count[p] >= expected) full++
    printf "%d links every %d s for %d s: %d fetches, %.2f%% of repeat fetches within 1.5 s of their rhythm\n", links, interval, duration, NR, total ? 100 * ontime / total : 0
    printf "links fetched at least %d times: %d of %d\n", expected, full, links
    printf "CPU of the watch: %.1f%% of one core; peak RSS %.0f MiB\n", 100 * cpu / hz / duration, rss / 1024
  }' "$work/requests.log"
echo "pictures archived: $(find "$work/archive" -type f | wc -l), errors logged: $(grep -c '"error"' "$work/watch.log" || true)"
