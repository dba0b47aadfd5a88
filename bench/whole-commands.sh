#!/usr/bin/env bash
# Whole commands against their peers, as a script calling them in a loop pays for them: each pair
# is run alternately RUNS times (default 5) and the best wall time and its peak memory are kept.
# Commands that take milliseconds (--help) are timed with hyperfine instead, as the mean of many
# runs. Frame work (frames flaws/dups/average on 300 frames) is timed with KESTRIX_THREADS=1
# against the default number of threads, and identify over 1,000 camera pictures against
# ImageMagick's.
#   bench/whole-commands.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
cli=$(realpath "${1:-build}/src/cli/kestrix-cli")
runs=${RUNS:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

/usr/bin/python3 - "$work" <<'PY'
import sys, numpy as np
from PIL import Image
out = sys.argv[1]
rng = np.random.default_rng(11)
def scene(w, h, shift=0):
    y, x = np.mgrid[0:h, 0:w].astype(np.float32)
    f = 120 + 60 * np.sin((x + shift) / 70.0)[..., None] * np.cos(y / 55.0)[..., None] \
        + 25 * np.sin((x + shift) / 6.0 + y / 9.0)[..., None] * np.array([1, 0.7, 0.4])
    return np.clip(f + rng.normal(0, 3, (h, w, 3)), 0, 255).astype(np.uint8)
Image.fromarray(scene(4000, 3000)).save(f"{out}/big.jpg", quality=90)
Image.fromarray(scene(2560, 1600)).save(f"{out}/wide.png")
for i in range(300):
    Image.fromarray(scene(640, 480, 2 * i)).save(f"{out}/f{i:03d}.png")
import os
os.mkdir(f"{out}/cams")
base = scene(1280, 720)
for i in range(1000):
    Image.fromarray(np.roll(base, 3 * i, axis=1)).save(f"{out}/cams/cam{i:04d}.jpg", quality=85)
PY
frames=("$work"/f*.png)
"$cli" frames pack "$work/all.ifrm" "${frames[@]}"

# Runs "$@" once; prints "seconds KiB".
once() { /usr/bin/time -f "%e %M" "$@" 2>&1 >/dev/null | tail -1; }
# Alternates two commands (separated by --) RUNS times; prints the best of each: "s KiB s KiB".
pair() {
  local a=() b=() seen=0 arg
  for arg in "$@"; do
    if [ "$arg" = "--" ]; then seen=1; elif [ $seen = 0 ]; then a+=("$arg"); else b+=("$arg"); fi
  done
  local best_a="" best_b="" r
  for _ in $(seq "$runs"); do
    r=$(once "${a[@]}"); if [ -z "$best_a" ] || awk -v x="${r%% *}" -v y="${best_a%% *}" 'BEGIN{exit !(x<y)}'; then best_a=$r; fi
    r=$(once "${b[@]}"); if [ -z "$best_b" ] || awk -v x="${r%% *}" -v y="${best_b%% *}" 'BEGIN{exit !(x<y)}'; then best_b=$r; fi
  done
  echo "$best_a $best_b"
}
row() { # name "a-s a-KiB b-s b-KiB"
  awk -v n="$1" -v r="$2" 'BEGIN{split(r, v, " ");
    printf "| %-44s | %7.3f s %5.0f MiB | %7.3f s %5.0f MiB | %5.2fx time %5.2fx memory |\n",
      n, v[1], v[2]/1024, v[3], v[4]/1024, v[1]/v[3], v[2]/v[4]}'
}
export -f once

# Mean seconds of a quick command over many runs, and its peak memory: "s KiB".
quick() {
  hyperfine -N -w 10 -r 300 --export-json "$work/h.json" "$*" >/dev/null 2>&1
  local mean
  mean=$(python3 -c "import json,sys; print(json.load(open(sys.argv[1]))['results'][0]['mean'])" "$work/h.json")
  echo "$mean $(once "$@" | cut -d' ' -f2)"
}

# nginx serving an 8 MiB body over http and https (a certificate made here), for the fetch rows.
mkdir -p "$work/www" "$work/nginx"
head -c $((8 << 20)) /dev/urandom > "$work/www/body.bin"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj /CN=127.0.0.1 \
  -addext subjectAltName=IP:127.0.0.1 -keyout "$work/nginx/key.pem" -out "$work/nginx/cert.pem" 2>/dev/null
http_port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
https_port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat > "$work/nginx/nginx.conf" <<CONF
daemon off; pid $work/nginx/nginx.pid; error_log $work/nginx/error.log;
events {}
http { access_log off; sendfile on;
  server { listen 127.0.0.1:$http_port; root $work/www; }
  server { listen 127.0.0.1:$https_port ssl; root $work/www;
    ssl_certificate $work/nginx/cert.pem; ssl_certificate_key $work/nginx/key.pem; } }
CONF
/usr/sbin/nginx -c "$work/nginx/nginx.conf" -p "$work/nginx" &
nginx_pid=$!
trap 'kill $nginx_pid 2>/dev/null; rm -rf "$work"' EXIT
sleep 0.5

# Two commands timed by hyperfine (mean of 40 runs each, alternating warm-ups): "s KiB s KiB".
hpair() {
  local a=() b=() seen=0 arg
  for arg in "$@"; do
    if [ "$arg" = "--" ]; then seen=1; elif [ $seen = 0 ]; then a+=("$arg"); else b+=("$arg"); fi
  done
  hyperfine -N -w 5 -r 40 --export-json "$work/h.json" "${a[*]}" "${b[*]}" >/dev/null 2>&1
  local means
  means=$(python3 -c "import json,sys; print(*[r['mean'] for r in json.load(open(sys.argv[1]))['results']])" "$work/h.json")
  echo "${means% *} $(once "${a[@]}" | cut -d' ' -f2) ${means#* } $(once "${b[@]}" | cut -d' ' -f2)"
}

echo "| command (Kestrix vs peer) | Kestrix | peer | ratio |"
echo "| --- | --- | --- | --- |"
awk -v a="$(quick "$cli" --help)" -v b="$(quick djpeg -version)" 'BEGIN{split(a, x, " "); split(b, y, " ");
  printf "| %-44s | %7.1f ms %4.0f MiB | %7.1f ms %4.0f MiB | %5.2fx time %5.2fx memory |\n",
    "--help vs djpeg -version (hyperfine mean)", x[1]*1000, x[2]/1024, y[1]*1000, y[2]/1024, x[1]/y[1], x[2]/y[2]}'

row "fetch 8 MiB over http vs curl (hyperfine mean)" \
  "$(hpair "$cli" fetch "http://127.0.0.1:$http_port/body.bin" -o "$work/k.bin" -- \
      curl -s -o "$work/c.bin" "http://127.0.0.1:$http_port/body.bin")"
row "fetch --https 8 MiB vs curl --cacert (hyperfine mean)" \
  "$(hpair "$cli" fetch --https --ca-file "$work/nginx/cert.pem" \
      "https://127.0.0.1:$https_port/body.bin" -o "$work/k.bin" -- \
      curl -s --cacert "$work/nginx/cert.pem" -o "$work/c.bin" "https://127.0.0.1:$https_port/body.bin")"
row "decode 4000x3000 JPEG vs djpeg -bmp" \
  "$(pair "$cli" decode "$work/big.jpg" "$work/k.bmp" -- sh -c "djpeg -bmp '$work/big.jpg' > '$work/d.bmp'")"
row "decode 4000x3000 JPEG to PNG vs vips copy" \
  "$(pair "$cli" decode "$work/big.jpg" "$work/k.png" -- vips copy "$work/big.jpg" "$work/v.png")"
row "decode 4000x3000 JPEG to JPEG q90 vs djpeg|cjpeg" \
  "$(pair "$cli" decode "$work/big.jpg" "$work/k.jpg" -- \
      sh -c "djpeg '$work/big.jpg' | cjpeg -quality 90 > '$work/d.jpg'")"
row "decode 2560x1600 PNG vs vips copy to .v" \
  "$(pair "$cli" decode "$work/wide.png" "$work/k.bmp" -- vips copy "$work/wide.png" "$work/v.v")"
row "resize 2560x1600 -> 1920x1200 PNG vs vips" \
  "$(pair "$cli" resize "$work/wide.png" "$work/k.png" 1920 1200 --filter lanczos3 -- \
      vips resize "$work/wide.png" "$work/v.png" 0.75)"
row "resize 2560x1600 -> 1920x1200 BMP vs vips to .v" \
  "$(pair "$cli" resize "$work/wide.png" "$work/k.bmp" 1920 1200 --filter lanczos3 -- \
      vips resize "$work/wide.png" "$work/v.v" 0.75)"
row "resize 2560x1600 -> 1920x1200 vs convert" \
  "$(pair "$cli" resize "$work/wide.png" "$work/k.bmp" 1920 1200 --filter lanczos3 -- \
      convert "$work/wide.png" -filter Lanczos -resize 1920x1200 "$work/c.bmp")"
hundred=("${frames[@]:0:100}")
runs=1 row "gif 100 frames vs ffmpeg palette per frame (1 run)" \
  "$(runs=1 pair "$cli" gif "$work/k.gif" "${hundred[@]}" -- ffmpeg -v error -y -framerate 10 \
      -i "$work/f%03d.png" -frames:v 100 -filter_complex \
      "split[a][b];[a]palettegen=stats_mode=single[p];[b][p]paletteuse=new=1" "$work/f.gif")"
row "frames flaws, 300 frames: 2 threads vs 1" \
  "$(pair "$cli" frames flaws "$work/all.ifrm" -- env KESTRIX_THREADS=1 "$cli" frames flaws "$work/all.ifrm")"
row "frames dups, 300 frames: 2 threads vs 1" \
  "$(pair "$cli" frames dups "$work/all.ifrm" -- env KESTRIX_THREADS=1 "$cli" frames dups "$work/all.ifrm")"
row "frames average, 300 frames: 2 threads vs 1" \
  "$(pair "$cli" frames average "$work/all.ifrm" "$work/a.bmp" -- \
      env KESTRIX_THREADS=1 "$cli" frames average "$work/all.ifrm" "$work/a.bmp")"
row "movie x.avi, 300 frames: 2 threads vs 1" \
  "$(pair "$cli" movie "$work/x.avi" "${frames[@]}" -- \
      env KESTRIX_THREADS=1 "$cli" movie "$work/x.avi" "${frames[@]}")"
row "movie x.avi --quality 9500 vs ffmpeg mjpeg q:v 2" \
  "$(pair "$cli" movie "$work/x.avi" --quality 9500 "${frames[@]}" -- ffmpeg -v error -y \
      -framerate 10 -i "$work/f%03d.png" -c:v mjpeg -q:v 2 "$work/f.avi")"
row "movie x.mp4 vs ffmpeg libx264 medium CRF 18" \
  "$(pair "$cli" movie "$work/x.mp4" "${frames[@]}" -- ffmpeg -v error -y -framerate 10 \
      -i "$work/f%03d.png" -c:v libx264 -preset medium -crf 18 -pix_fmt yuv420p "$work/f.mp4")"
cams=("$work"/cams/*.jpg)
row "identify 1,000 1280x720 JPEGs vs ImageMagick" \
  "$(pair "$cli" identify "${cams[@]}" -- identify "${cams[@]}")"
