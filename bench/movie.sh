#!/usr/bin/env bash
# Whole-command benchmark of the movie writers against ffmpeg, on 300 camera-like 640x480 PNG
# frames: wall time and peak memory of each command (the best of RUNS runs), the ratios,
# and the movie sizes. The same frames given ten times over show the peak memory of 3,000 frames
# (one run).
#   bench/movie.sh [BUILD_DIR]     (default: build)
#   RUNS=3 KESTRIX_THREADS=N       runs per command; threads of the frame work
set -euo pipefail
cd "$(dirname "$0")/.."
cli=${1:-build}/src/cli/kestrix-cli
runs=${RUNS:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A wide scene of soft shapes, texture and sensor noise that the camera pans across.
/usr/bin/python3 - "$work" <<'PY'
import sys, numpy as np
from PIL import Image
rng = np.random.default_rng(7)
h, w, n = 480, 640, 300
wide = w + 2 * n
y, x = np.mgrid[0:h, 0:wide].astype(np.float32)
scene = np.zeros((h, wide, 3), np.float32)
for c in range(3):
    for scale in (220, 90, 35, 12):
        fx, fy, ph = rng.uniform(0.5, 1.5, 3)
        scene[..., c] += (60 * scale / 220 + 6) * np.sin(x * fx / scale + ph) * np.cos(y * fy / scale)
scene += 120 + 40 * (y / h)[..., None]
for i in range(n):
    frame = scene[:, 2 * i:2 * i + w] + rng.normal(0, 2.5, (h, w, 3))
    Image.fromarray(np.clip(frame, 0, 255).astype(np.uint8)).save(f"{sys.argv[1]}/f{i:04d}.png")
PY

frames=("$work"/f*.png)
many=()
for _ in $(seq 10); do many+=("${frames[@]}"); done

# Prints "seconds peak-KiB" of the best run (least wall time).
measure() {
  local best="" line
  for _ in $(seq "$runs"); do
    line=$(/usr/bin/time -f "%e %M" "$@" 2>&1 >/dev/null | tail -1)
    if [ -z "$best" ] || awk -v a="${line%% *}" -v b="${best%% *}" 'BEGIN{exit !(a<b)}'; then
      best=$line
    fi
  done
  echo "$best"
}

crf=18 # kestrix-cli's default MP4 quality 6500
ours_avi=$(measure "$cli" movie "$work/ours.avi" --quality 9500 "${frames[@]}")
peer_avi=$(measure ffmpeg -v error -y -framerate 10 -i "$work/f%04d.png" -c:v mjpeg -q:v 2 \
  "$work/peer.avi")
ours_mp4=$(measure "$cli" movie "$work/ours.mp4" "${frames[@]}")
peer_mp4=$(measure ffmpeg -v error -y -framerate 10 -i "$work/f%04d.png" -c:v libx264 \
  -preset medium -crf "$crf" -pix_fmt yuv420p "$work/peer.mp4")
peer_mp4_20=$(measure ffmpeg -v error -y -framerate 10 -i "$work/f%04d.png" -c:v libx264 \
  -preset medium -crf "$crf" -x264-params rc-lookahead=20 -pix_fmt yuv420p "$work/peer20.mp4")
many_avi=$(runs=1 measure "$cli" movie "$work/many.avi" --quality 9500 "${many[@]}")
many_mp4=$(runs=1 measure "$cli" movie "$work/many.mp4" "${many[@]}")
default_avi_size=$("$cli" movie "$work/default.avi" "${frames[@]}" && stat -c %s "$work/default.avi")

report() { # name ours peer
  awk -v name="$1" -v o="$2" -v p="$3" 'BEGIN{split(o,a," "); split(p,b," ");
    printf "%-28s ours %6.2f s %5.0f MiB   ffmpeg %6.2f s %5.0f MiB   time ratio %.2fx\n",
      name, a[1], a[2]/1024, b[1], b[2]/1024, a[1]/b[1]}'
}
echo "300 frames of 640x480 PNG, $(nproc) cores, best of $runs"
report "AVI (q 9500 / mjpeg q:v 2)" "$ours_avi" "$peer_avi"
report "MP4 (CRF $crf, medium)" "$ours_mp4" "$peer_mp4"
report "MP4, ffmpeg look-ahead 20 too" "$ours_mp4" "$peer_mp4_20"
awk -v a="$many_avi" -v m="$many_mp4" 'BEGIN{split(a,x," "); split(m,y," ");
  printf "3000 frames: AVI %.2f s %.0f MiB, MP4 %.2f s %.0f MiB\n", x[1], x[2]/1024, y[1], y[2]/1024}'
mp4_size=$(stat -c %s "$work/ours.mp4")
echo "sizes: AVI default quality $((default_avi_size / 1024)) KiB, AVI q 9500" \
  "$(($(stat -c %s "$work/ours.avi") / 1024)) KiB, MP4 default $((mp4_size / 1024)) KiB" \
  "(ffmpeg: $(($(stat -c %s "$work/peer.mp4") / 1024)) KiB); MP4/AVI default" \
  "$(awk -v m="$mp4_size" -v a="$default_avi_size" 'BEGIN{printf "%.3f", m/a}')"
