#!/usr/bin/env bash
# Whole-command benchmark of the movie writers against ffmpeg, on 300 camera-like 640x480 PNG
# frames: each pair of commands runs alternately RUNS times (default 5), so that both meet the
# same load on a shared machine; the table gives the median wall time and peak memory of each,
# the time ratio, the movie sizes and what the movies keep of the frames (PSNR in RGB by ffmpeg's
# psnr filter against the PNGs: the mean over all frames and the worst frame). The same frames
# given ten times over show the peak memory of 3,000 frames (one run).
#   bench/movie.sh [BUILD_DIR]     (default: build)
#   RUNS=5 KESTRIX_THREADS=N       runs per command; threads of the frame work
set -euo pipefail
cd "$(dirname "$0")/.."
cli=${1:-build}/src/cli/kestrix-cli
runs=${RUNS:-5}
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

# Runs "$@" once; prints "seconds peak-KiB".
once() { /usr/bin/time -f "%e %M" "$@" 2>&1 >/dev/null | tail -1; }
# Median of the numbers on stdin.
median() { sort -g | awk '{v[NR]=$1} END{print (NR%2 ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2)}'; }
# Runs two commands (separated by --) alternately RUNS times; prints the medians of each:
# "s KiB s KiB".
pair() {
  local a=() b=() seen=0 arg r
  for arg in "$@"; do
    if [ "$arg" = "--" ]; then seen=1; elif [ $seen = 0 ]; then a+=("$arg"); else b+=("$arg"); fi
  done
  : >"$work/a.runs"; : >"$work/b.runs"
  for _ in $(seq "$runs"); do
    once "${a[@]}" >>"$work/a.runs"
    once "${b[@]}" >>"$work/b.runs"
  done
  echo "$(cut -d' ' -f1 "$work/a.runs" | median) $(cut -d' ' -f2 "$work/a.runs" | median)" \
    "$(cut -d' ' -f1 "$work/b.runs" | median) $(cut -d' ' -f2 "$work/b.runs" | median)"
}
# "mean-dB worst-dB" of a movie's frames against the PNGs.
psnr() {
  ffmpeg -v info -i "$1" -framerate 10 -i "$work/f%04d.png" -lavfi \
    "[0:v]format=rgb24[a];[1:v]format=rgb24[b];[a][b]psnr=stats_file=$work/psnr.log" -f null - \
    2>&1 | grep -o 'average:[0-9.inf]*' | tail -1 | cut -d: -f2 | tr '\n' ' '
  grep -o 'psnr_avg:[0-9.inf]*' "$work/psnr.log" | cut -d: -f2 | sort -g | head -1
}
kib() { echo $(($(stat -c %s "$1") / 1024)); }
row() { # name "ours-s ours-KiB peer-s peer-KiB" ours-movie peer-movie
  local p q
  p=$(psnr "$3"); q=$(psnr "$4")
  awk -v n="$1" -v r="$2" -v so="$(kib "$3")" -v sp="$(kib "$4")" -v p="$p" -v q="$q" 'BEGIN{
    split(r, v, " "); split(p, x, " "); split(q, y, " ");
    printf "| %-30s | %6.2f s %4.0f MiB %7d KiB %5.2f/%5.2f dB | %6.2f s %4.0f MiB %7d KiB %5.2f/%5.2f dB | %4.2fx %4.2fx %4.2fx |\n",
      n, v[1], v[2]/1024, so, x[1], x[2], v[3], v[4]/1024, sp, y[1], y[2], v[1]/v[3], v[2]/v[4], so/sp}'
}

crf=18 # kestrix-cli's default MP4 quality 6500
peer=(ffmpeg -v error -y -framerate 10 -i "$work/f%04d.png")
echo "300 frames of 640x480 PNG, $(nproc) cores, median of $runs alternating runs"
echo "| command (Kestrix vs ffmpeg) | Kestrix: time, memory, size, PSNR mean/worst | ffmpeg | time, memory, size ratio |"
echo "| --- | --- | --- | --- |"
row "AVI q 9500 / mjpeg q:v 2" \
  "$(pair "$cli" movie "$work/ours.avi" --quality 9500 "${frames[@]}" -- \
      "${peer[@]}" -c:v mjpeg -q:v 2 "$work/peer.avi")" "$work/ours.avi" "$work/peer.avi"
row "MP4 CRF $crf medium" \
  "$(pair "$cli" movie "$work/ours.mp4" "${frames[@]}" -- \
      "${peer[@]}" -c:v libx264 -preset medium -crf "$crf" -pix_fmt yuv420p "$work/peer.mp4")" \
  "$work/ours.mp4" "$work/peer.mp4"
# ffmpeg with a key frame every 10 s of movie (100 frames at 10 FPS), as the MP4 writer keeps one.
row "MP4, ffmpeg key frames too" \
  "$(pair "$cli" movie "$work/ours.mp4" "${frames[@]}" -- \
      "${peer[@]}" -c:v libx264 -preset medium -crf "$crf" -g 100 -pix_fmt yuv420p \
      "$work/peer100.mp4")" "$work/ours.mp4" "$work/peer100.mp4"
many_avi=$(once "$cli" movie "$work/many.avi" --quality 9500 "${many[@]}")
many_mp4=$(once "$cli" movie "$work/many.mp4" "${many[@]}")
awk -v a="$many_avi" -v m="$many_mp4" 'BEGIN{split(a,x," "); split(m,y," ");
  printf "3000 frames: AVI %.2f s %.0f MiB, MP4 %.2f s %.0f MiB\n", x[1], x[2]/1024, y[1], y[2]/1024}'
"$cli" movie "$work/default.avi" "${frames[@]}"
echo "AVI at the default quality (10000): $(kib "$work/default.avi") KiB, PSNR $(psnr "$work/default.avi") dB;" \
  "MP4/AVI default $(awk -v m="$(kib "$work/ours.mp4")" -v a="$(kib "$work/default.avi")" 'BEGIN{printf "%.3f", m/a}')"
