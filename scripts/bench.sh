#!/bin/bash
# Copies a generated site with harbek and with wget, in turn, and prints the
# files saved, wall and CPU seconds, peak memory and pages per second of each.
#   bash scripts/bench.sh [PAGES] [RUNS]     (default 2000 pages, 3 runs each)
# Pages here are page files: each page also has one image, so a copy saves
# about twice as many files.
set -euo pipefail
cd "$(dirname "$0")/.."
pages=${1:-2000}
runs=${2:-3}

bash scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j "$(nproc)" >/dev/null

work=$(mktemp -d /tmp/harbek-bench.XXXXXX)
source scripts/nginx.sh
trap 'stop_nginx; rm -rf "$work"' EXIT
python3 scripts/bench_measure.py make-site "$work/site" "$pages"
# A smaller site for the run at the default 100 ms interval, which takes a
# tenth of a second a file.
python3 scripts/bench_measure.py make-site "$work/site" 150 small
start_nginx "$work/site" "$work/nginx"
echo "site of $pages pages (and $pages images) at http://127.0.0.1:$NGINX_PORT/"
python3 scripts/bench_measure.py compare "http://127.0.0.1:$NGINX_PORT/" "http://127.0.0.1:$NGINX_PORT/small/" \
  "$PWD/build/release/bin/harbek" "$runs"
