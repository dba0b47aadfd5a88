#!/usr/bin/env bash
# The cost of --daily-mp4: one day of a picture a minute (1,440 camera-like JPEGs of 640x480) for
# LINKS links (default 100), turned into their daily movies by bench_timelapse_daily, which runs
# the watch's own DailyTimelapses (nice 19, one core). MEASURE links (default 4) are made and timed,
# and the whole fleet is extrapolated from them; MEASURE=$LINKS makes them all. The links share
# their pictures through hard links, so the archive costs the disk one link's day (about 50 MiB).
#
# With WATCH=1 a watch of WATCH_LINKS links (default 50) every WATCH_INTERVAL seconds (10) runs
# against a local server, first alone and then while the movies are made, for as long as the movies
# take; the figure is the share of its fetches that came on rhythm (within 1.5 s of the interval
# after the link's previous fetch) in each phase, and its CPU.
#   bench/timelapse.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
cli="$build/src/cli/kestrix-cli"
maker="$build/bench/bench_timelapse_daily"
links=${LINKS:-100}
measure=${MEASURE:-4}
watch=${WATCH:-0}
watch_links=${WATCH_LINKS:-50}
watch_interval=${WATCH_INTERVAL:-10}
work=$(mktemp -d)
server_pid=""
trap '[ -n "$server_pid" ] && kill $server_pid 2>/dev/null; rm -rf "$work"' EXIT
day=2025-03-10

# A day of a slowly changing scene: the light follows the sun, the texture drifts, sensor noise.
echo "making 1440 pictures of 640x480 ..."
/usr/bin/python3 - "$work/archive/Bench/cam0" <<'PY'
import os, sys, numpy as np
from PIL import Image
out = sys.argv[1]; os.makedirs(out)
rng = np.random.default_rng(5)
y, x = np.mgrid[0:480, 0:640].astype(np.float32)
base = 110 + 50 * np.sin(x / 70.0) * np.cos(y / 55.0)
texture = 18 * np.sin(x / 6.0 + np.cos(y / 9.0))
for i in range(1440):
    light = 40 * np.sin(i / 1440 * 2 * np.pi)
    f = np.stack([base + 30 * y / 480, base + texture,
                  base + 40 * np.cos((x + 0.5 * i) / 30.0) + texture / 2], -1)
    f = f + light + rng.normal(0, 3, (480, 640, 3))
    Image.fromarray(np.clip(f, 0, 255).astype(np.uint8)).save(
        f"{out}/20250310-{i // 60:02d}{i % 60:02d}00.jpg", quality=85)
PY
for k in $(seq 1 $((links - 1))); do
  cp -al "$work/archive/Bench/cam0" "$work/archive/Bench/cam$k"
done
echo "archive: $links links, $(du -sh "$work/archive" | cut -f1) on disk"

folders=()
for k in $(seq 0 $((measure - 1))); do folders+=("Bench/cam$k"); done

start_watch() { # $1: log name
  "$cli" watch --links "$work/links.klnx" --save-dir "$work/watched" --json \
    > "$work/$1.log" 2>&1 &
  watch_pid=$!
}
rhythm() { # $1: first line of the request log to read; $2: seconds; $3: CPU ticks
  tail -n +"$1" "$work/requests.log" | awk -v interval="$watch_interval" -v secs="$2" \
      -v cpu="$3" -v hz="$(getconf CLK_TCK)" '
    { t = $1; p = $2; if (p in last) { total++; d = t - last[p] - interval; if (d < 0) d = -d;
        if (d <= 1.5) ontime++ } last[p] = t }
    END { printf "%d fetches, %.2f%% of repeat fetches on rhythm; watch CPU %.1f%% of one core\n",
          NR, total ? 100 * ontime / total : 0, 100 * cpu / hz / secs }'
}
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

if [ "$watch" = 1 ]; then
  /usr/bin/python3 - "$work/served" <<'PY'
import os, sys, numpy as np
from PIL import Image
os.makedirs(sys.argv[1])
rng = np.random.default_rng(7)
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
log = open(sys.argv[2], 'w')
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
  /usr/bin/python3 "$work/server.py" "$work/served" "$work/requests.log" > "$work/port" &
  server_pid=$!
  while [ ! -s "$work/port" ]; do sleep 0.1; done
  port=$(cat "$work/port")
  {
    echo '<ImageAddressXML KSX="1.0"><FolderItem FolderName="Watched">'
    for i in $(seq 0 $((watch_links - 1))); do
      echo "<URLItem URLName=\"cam$i\" URLAddress=\"http://127.0.0.1:$port/cam$i.jpg\" URLDelay=\"$watch_interval\" Selected=\"no\"/>"
    done
    echo '</FolderItem></ImageAddressXML>'
  } > "$work/links.klnx"
fi

# The movies, timed (with the watch running beside them when asked).
if [ "$watch" = 1 ]; then
  start_watch alone
  sleep 3 # the first fetches are spread over the interval
  from=$(($(wc -l < "$work/requests.log") + 1))
  t0=$(ticks $watch_pid)
fi
started=$(date +%s.%N)
"$maker" "$work/archive" "$day" "${folders[@]}" | tee "$work/maker.out"
elapsed=$(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.0f", b - a }')
if [ "$watch" = 1 ]; then
  busy=$(( $(ticks $watch_pid) - t0 ))
  echo -n "watch while the movies were made ($elapsed s): "
  rhythm "$from" "$elapsed" "$busy"
  from=$(($(wc -l < "$work/requests.log") + 1))
  t0=$(ticks $watch_pid)
  sleep "$elapsed"
  busy=$(( $(ticks $watch_pid) - t0 ))
  echo -n "watch alone for as long: "
  rhythm "$from" "$elapsed" "$busy"
  kill -TERM $watch_pid; wait $watch_pid || true
fi

frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
  -of csv=p=0 "$work/archive/Bench/cam0/timelapse/20250310.mp4")
echo "cam0's movie: $frames frames, $(du -k "$work/archive/Bench/cam0/timelapse/20250310.mp4" | cut -f1) KiB"
awk -v links="$links" -v measured="$measure" '/movies .* in / {
    for (i = 1; i <= NF; i++) { if ($i == "wall," && !w) w = $(i - 2); if ($i == "CPU" && !c) c = $(i - 2) }
    printf "extrapolated to %d links: %.1f min wall, %.1f min CPU (one movie: %.1f s wall, %.1f s CPU)\n",
      links, w / measured * links / 60, c / measured * links / 60, w / measured, c / measured }' "$work/maker.out"
