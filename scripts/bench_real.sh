#!/bin/bash
# Copies a real documentation tree (Debian's python3.11-doc HTML, served by
# nginx on a free loopback port) with harbek and with wget --mirror
# --no-parent, alternating, and prints for each run: files saved, files
# byte-identical to the served ones, requests made, wall and CPU seconds,
# peak memory and byte-exact files per second, then the ratios.
#   bash scripts/bench_real.sh [HARBEK] [RUNS]   (default 3 runs each)
set -euo pipefail
cd "$(dirname "$0")/.."
harbek=${1:-build/release/bin/harbek}
runs=${2:-3}
tree=/usr/share/doc/python3.11/html
if [ ! -d "$tree" ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq python3.11-doc >/dev/null
fi
work=$(mktemp -d /tmp/harbek-real.XXXXXX)
source scripts/nginx.sh
trap 'stop_nginx; rm -rf "$work"' EXIT
start_nginx "$tree" "$work/nginx"
echo "$tree ($(find "$tree" -type f | wc -l) files) at http://127.0.0.1:$NGINX_PORT/"
python3 scripts/bench_measure.py compare-real "http://127.0.0.1:$NGINX_PORT/" "$tree" "$work/nginx/access.log" \
  "$(realpath "$harbek")" "$runs"
