#!/bin/bash
# Copies a 150-page site (and its 150 images) from nginx behind a proxy that
# delays every byte by 25 ms each way (a 50 ms round trip, all on loopback),
# with wget --mirror and with harbek in each of its connection modes, and
# prints the files per second of each and its ratio to wget's.
#   bash scripts/bench_delay.sh [RUNS] [DELAY_MS]    (default 1 run, 25 ms)
# Expects a release build in build/release.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-1}
delay=${2:-25}
harbek="$PWD/build/release/bin/harbek"

work=$(mktemp -d /tmp/harbek-delay.XXXXXX)
source scripts/nginx.sh
proxy_pid=""
trap '[ -n "$proxy_pid" ] && kill "$proxy_pid"; stop_nginx; rm -rf "$work"' EXIT
python3 scripts/bench_measure.py make-site "$work/site" 150
start_nginx "$work/site" "$work/nginx"
python3 scripts/delay_proxy.py 0 "$NGINX_PORT" "$delay" > "$work/proxy.out" &
proxy_pid=$!
for _ in $(seq 50); do grep -q ready "$work/proxy.out" 2>/dev/null && break; sleep 0.1; done
port=$(awk '/ready/ {print $2}' "$work/proxy.out")
echo "150 pages and 150 images at http://127.0.0.1:$port/ (nginx behind a ${delay} ms each way proxy)"
modes=("--keep-alive" "")
if "$harbek" --help | grep -q -- --connections; then modes=("--connections 8" "${modes[@]}"); fi
python3 scripts/bench_measure.py compare-modes "http://127.0.0.1:$port/" "$harbek" "$runs" "${modes[@]}"
