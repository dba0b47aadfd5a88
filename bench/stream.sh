#!/usr/bin/env bash
# Camera streams against GStreamer's RTSP server (tests/support/rtsp_server.py) on loopback.
# 1. One picture from a 1280x720 H.264 camera (30 frames/s, a key frame every second, joined
#    mid-stream as a real camera is): bench_stream_grab (grab and save a JPEG) against
#    `ffmpeg -rtsp_transport tcp -i URL -frames:v 1 out.jpg`, whole commands alternating.
# 2. SESSIONS sessions kept open on STREAMS of those cameras for DURATION seconds, latest() every
#    INTERVAL seconds: CPU share of one core and peak memory.
#   bench/stream.sh [BUILD_DIR]   (default: build)
#   RUNS=10 SESSIONS=50 STREAMS=5 DURATION=60 INTERVAL=10
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${RUNS:-10}
sessions=${SESSIONS:-50}
streams=${STREAMS:-5}
seconds=${DURATION:-60}
interval=${INTERVAL:-10}
work=$(mktemp -d)
keepers=()
cleanup() {
  for pid in "${keepers[@]}"; do kill "$pid" 2>/dev/null || true; done
  exec 9>&- || true
  rm -rf "$work"
}
trap cleanup EXIT

mkfifo "$work/in"
/usr/bin/python3 tests/support/rtsp_server.py <"$work/in" >"$work/ready" 2>"$work/server.log" &
exec 9>"$work/in"
for _ in $(seq 100); do grep -q ready "$work/ready" && break; sleep 0.1; done
port=$(sed -n 's/.*open=\([0-9]*\).*/\1/p' "$work/ready")
base="rtsp://127.0.0.1:$port"

# The cameras run as cameras do, whoever watches: a client that only receives keeps each going.
for n in $(seq 0 $((streams - 1))); do
  gst-launch-1.0 -q rtspsrc location="$base/hd$n.h264" protocols=tcp ! fakesink >/dev/null 2>&1 &
  keepers+=($!)
done
sleep 3

now() { date +%s%N; }
ours=() theirs=()
for run in $(seq "$runs"); do
  t0=$(now); "$build/bench/bench_stream_grab" "$base/hd0.h264" "$work/ours.jpg" >/dev/null
  t1=$(now); ffmpeg -v error -y -rtsp_transport tcp -i "$base/hd0.h264" -frames:v 1 \
    "$work/ffmpeg.jpg"
  t2=$(now)
  ours+=($(((t1 - t0) / 1000000))) theirs+=($(((t2 - t1) / 1000000)))
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
mo=$(median "${ours[@]}") mt=$(median "${theirs[@]}")
echo "one picture of 1280x720 H.264, $runs runs each, alternating (ms):"
echo "  bench_stream_grab: ${ours[*]}  (median $mo)"
echo "  ffmpeg -frames:v 1: ${theirs[*]}  (median $mt)"
awk -v o="$mo" -v t="$mt" 'BEGIN{printf "  ratio of medians %.2fx\n", o/t}'

urls=()
for n in $(seq 0 $((streams - 1))); do urls+=("$base/hd$n.h264"); done
echo "$sessions sessions on $streams streams, latest() every $interval s for $seconds s:"
"$build/bench/bench_stream_sessions" "$sessions" "$seconds" "$interval" "${urls[@]}"
