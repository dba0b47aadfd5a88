#!/usr/bin/env bash
# What alerting costs a large watch: `kestrix-cli watch --links` over LINKS cameras (default 1000)
# of tests/support/fleet_server.py for DURATION seconds (default 180), twice against the same
# fleet: (a) plain, --save-dir only; (b) with everything on: --serve with /metrics scraped every
# 5 s, --webhook to a local receiver that answers 204 and counts, and --mqtt to a Mosquitto started
# here (with a subscriber on every topic, as Home Assistant would be). Intervals are 5, 10, 15, 30
# and 60 s; FLAKY_PERCENT of the cameras (3) sit on a second camera server that is stopped from
# DURATION/6 to DURATION*2/3, so they go down and come back, and BROKEN_PERCENT (1) answer 500 all
# along (those every 5 or 10 s, so that their states change within a run of two minutes or more).
# Prints for each run the watch's CPU seconds (user+sys) and share of one core, its peak RSS and
# RSS at the end, fetches, new pictures, state changes, webhook posts, MQTT messages and scrapes,
# and the ratio (b)/(a) of CPU and RSS.
#   bench/alerts.sh [BUILD_DIR]   (default: build)
# Environment: LINKS (1000), DURATION (180), PARALLEL (16), DOWN_AFTER (3), FLAKY_PERCENT (3),
# BROKEN_PERCENT (1), MQTT_PICTURES=1 adds --mqtt-pictures to (b), WITH ("serve webhook mqtt")
# what (b) turns on.
# The watch's own CPU seconds are what counts, but a busy machine (see the load printed) still
# inflates them: run it under the build lock on a shared machine.
set -euo pipefail
cd "$(dirname "$0")/.."
cli=$(realpath "${1:-build}/src/cli/kestrix-cli")
fleet_script=$(realpath tests/support/fleet_server.py)
links=${LINKS:-1000}
duration=${DURATION:-180}
parallel=${PARALLEL:-16}
down_after=${DOWN_AFTER:-3}
flaky_percent=${FLAKY_PERCENT:-3}
broken_percent=${BROKEN_PERCENT:-1}
work=$(mktemp -d)
children=()
cleanup() {
  for pid in "${children[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${children[@]}"; do wait "$pid" 2>/dev/null || true; done
  exec 9>&- || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

free_port() {
  /usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])'
}
wait_listening() {
  for _ in $(seq 100); do (exec 8<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return; sleep 0.1; done
  echo "nothing listens on port $1" >&2; exit 1
}
# A camera server on a fixed port; it serves until it is killed (its input, the fifo, stays open).
start_fleet() {  # NAME PORT GENERATION; sets fleet_pid
  /usr/bin/python3 "$fleet_script" serve --log "$work/$1.log" --port "$2" --generation "$3" \
    <"$work/in" >/dev/null 2>>"$work/fleet.err" &
  fleet_pid=$!
  children+=("$fleet_pid")
  wait_listening "$2"
}
running() { [ "$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null || echo Z)" != Z ]; }
# Ends a child with SIGTERM (SIGKILL after 30 s) and reaps it; stopped="STATUS SECONDS".
stop() {  # PID
  local started=$SECONDS status=0 pid kept=()
  kill -TERM "$1" 2>/dev/null || true
  while running "$1"; do
    if ((SECONDS - started >= 30)); then kill -KILL "$1"; break; fi
    sleep 0.1
  done
  wait "$1" 2>/dev/null || status=$?
  for pid in "${children[@]}"; do [ "$pid" = "$1" ] || kept+=("$pid"); done
  children=("${kept[@]}")
  stopped="$status $((SECONDS - started))"
}

mkfifo "$work/in"
exec 9<>"$work/in"
steady_port=$(free_port)
flaky_port=$(free_port)
{
  echo '<ImageAddressXML KSX="1.0">'
  echo '<FolderItem FolderName="Bench">'
  intervals=(5 10 15 30 60)
  exts=(jpg jpg jpg png jpg jpg jpg jpg)
  for ((i = 0; i < links; i++)); do
    interval=${intervals[i % 5]}
    if ((i % 100 < flaky_percent || i % 100 >= 100 - broken_percent)); then
      interval=${intervals[i % 2]}
    fi
    if ((i % 100 < flaky_percent)); then
      name=flaky$i address="http://127.0.0.1:$flaky_port/pic/flaky$i.jpg"
    elif ((i % 100 >= 100 - broken_percent)); then
      name=broken$i address="http://127.0.0.1:$steady_port/e500/broken$i.jpg"
    else
      name=cam$i address="http://127.0.0.1:$steady_port/pic/cam$i.${exts[i % 8]}"
      if ((i % 2)); then address+="?every=2"; fi
    fi
    echo "<URLItem URLName=\"$name\" URLAddress=\"$address\" URLDelay=\"$interval\" Selected=\"no\"/>"
  done
  echo '</FolderItem></ImageAddressXML>'
} >"$work/links.klnx"

declare -A result
# One watch of DURATION seconds with a fresh fleet and archive; figures go to result[RUN.*].
# With scrape_port set, /metrics there is read every 5 s.
scrape_port=""
run() {  # RUN EXTRA_OPTIONS...
  local label=$1 flaky_pid steady_pid watch_pid scrapes=0 scrape_fails=0
  shift
  start_fleet "steady-$label" "$steady_port" 0; steady_pid=$fleet_pid
  start_fleet "flaky-$label" "$flaky_port" 0; flaky_pid=$fleet_pid
  local flaky_generation=0 started=$SECONDS next_scrape=5 load_before
  load_before=$(cut -d' ' -f1-3 /proc/loadavg)
  "$cli" watch --links "$work/links.klnx" --save-dir "$work/archive-$label" --parallel "$parallel" \
    --down-after "$down_after" "$@" >"$work/watch-$label.log" 2>"$work/watch-$label.err" &
  watch_pid=$!
  children+=("$watch_pid")
  while ((SECONDS - started < duration)); do
    local now=$((SECONDS - started))
    if ! running "$watch_pid"; then
      echo "($label) the watch ended early; its errors:" >&2; cat "$work/watch-$label.err" >&2; exit 1
    fi
    if [ -n "$flaky_pid" ] && ((now >= duration / 6 && now < duration * 2 / 3)); then
      stop "$flaky_pid"; flaky_pid=""
    elif [ -z "$flaky_pid" ] && ((now >= duration * 2 / 3)); then
      flaky_generation=$((flaky_generation + 1))
      start_fleet "flaky-$label" "$flaky_port" "$flaky_generation"; flaky_pid=$fleet_pid
    fi
    if [ -n "$scrape_port" ] && ((now >= next_scrape)); then
      next_scrape=$((next_scrape + 5))
      if curl -sf --max-time 4 -o "$work/metrics" "http://127.0.0.1:$scrape_port/metrics"; then
        scrapes=$((scrapes + 1))
      else
        scrape_fails=$((scrape_fails + 1))
      fi
    fi
    sleep 0.5
  done
  local elapsed=$((SECONDS - started)) hz ticks
  hz=$(getconf CLK_TCK)
  ticks=$(awk '{print $14 + $15}' "/proc/$watch_pid/stat")
  result[$label.cpu]=$(awk -v t="$ticks" -v hz="$hz" 'BEGIN { printf "%.1f", t / hz }')
  result[$label.share]=$(awk -v t="$ticks" -v hz="$hz" -v s="$elapsed" \
    'BEGIN { printf "%.1f", 100 * t / hz / s }')
  result[$label.peak]=$(awk '/^VmHWM/ { printf "%.1f", $2 / 1024 }' "/proc/$watch_pid/status")
  result[$label.rss]=$(awk '/^VmRSS/ { printf "%.1f", $2 / 1024 }' "/proc/$watch_pid/status")
  stop "$watch_pid"
  result[$label.stop]=$stopped
  stop "$steady_pid"
  if [ -n "$flaky_pid" ]; then stop "$flaky_pid"; fi
  local log="$work/watch-$label.log"
  result[$label.events]="$(grep -cE ' is (up|down|stale) \(was ' "$log" || true) ($(grep -c \
    ' is down (was ' "$log" || true) / $(grep -c ' is up (was ' "$log" || true))"
  result[$label.fetches]=$(grep -vE ' is (up|down|stale) \(was ' "$log" |
    awk '$3 ~ /^Bench\// { n++ } END { print n + 0 }')
  result[$label.new]=$(awk '$3 ~ /^Bench\// && $4 == "New" { n++ } END { print n + 0 }' "$log")
  result[$label.scrapes]="$scrapes ok, $scrape_fails failed"
  result[$label.load]="$load_before -> $(cut -d' ' -f1-3 /proc/loadavg)"
}

echo "$links links ($flaky_percent% stopped from $((duration / 6)) s to $((duration * 2 / 3)) s," \
  "$broken_percent% answering 500), --parallel $parallel, $duration s per run, $(nproc) cores"
run a

# The receivers of run (b).
hook_port=$(free_port)
mqtt_port=$(free_port)
scrape_port=$(free_port)
cat >"$work/hook.py" <<'PY'
import http.server, sys
log = open(sys.argv[2], "a", buffering=1)
class Hook(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        self.rfile.read(int(self.headers.get("Content-Length", 0)))
        log.write(self.path + "\n")
        self.send_response(204)
        self.end_headers()
    def log_message(self, *args): pass
http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), Hook).serve_forever()
PY
/usr/bin/python3 "$work/hook.py" "$hook_port" "$work/hook.log" 2>"$work/hook.err" &
children+=($!)
printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\nlog_dest none\n' \
  "$mqtt_port" >"$work/mosquitto.conf"
/usr/sbin/mosquitto -c "$work/mosquitto.conf" 2>"$work/mosquitto.err" &
children+=($!)
wait_listening "$hook_port"
wait_listening "$mqtt_port"
mosquitto_sub -h 127.0.0.1 -p "$mqtt_port" -t '#' -F '%t' >"$work/mqtt.log" 2>"$work/mqtt.err" &
children+=($!)
: >"$work/hook.log"
pictures=()
if [ "${MQTT_PICTURES:-0}" != 0 ]; then pictures=(--mqtt-pictures); fi
# WITH chooses what (b) turns on, to see what each costs: any of serve, webhook, mqtt.
with=${WITH:-serve webhook mqtt}
extra=()
if [[ " $with " == *" serve "* ]]; then extra+=(--serve "127.0.0.1:$scrape_port"); else scrape_port=""; fi
if [[ " $with " == *" webhook "* ]]; then extra+=(--webhook "http://127.0.0.1:$hook_port/hook"); fi
if [[ " $with " == *" mqtt "* ]]; then extra+=(--mqtt "127.0.0.1:$mqtt_port" "${pictures[@]}"); fi
run b "${extra[@]}"
sleep 1  # messages still on their way to the subscriber
posts=$(wc -l <"$work/hook.log")
messages=$(wc -l <"$work/mqtt.log")

row() { printf '%-28s %18s %18s %8s\n' "$@"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a > 0) printf "%.2f", b / a; else print "-" }'; }
echo
row "" "(a) plain" "(b) alerts${pictures[*]:+ +pictures}" "(b)/(a)"
compare() { row "$1" "${result[a.$2]}" "${result[b.$2]}" "$(ratio "${result[a.$2]}" "${result[b.$2]}")"; }
compare "watch CPU s (user+sys)" cpu
compare "CPU % of one core" share
compare "peak RSS MiB (VmHWM)" peak
compare "RSS at the end MiB" rss
row "fetches" "${result[a.fetches]}" "${result[b.fetches]}" ""
row "new pictures" "${result[a.new]}" "${result[b.new]}" ""
row "events (down / up)" "${result[a.events]}" "${result[b.events]}" ""
row "webhook posts received" "-" "$posts" ""
row "MQTT messages received" "-" "$messages" ""
row "/metrics scrapes" "-" "${result[b.scrapes]}" ""
row "SIGTERM: status, seconds" "${result[a.stop]}" "${result[b.stop]}" ""
echo "load average before -> after: (a) ${result[a.load]}; (b) ${result[b.load]}"
