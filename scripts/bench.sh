#!/bin/bash
# Copies a generated site with harbek and with wget, in turn, and prints the
# files saved, wall and CPU seconds, peak memory and pages per second of each;
# then the same over https (a certificate of a CA made for the run, given to
# both copiers).
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
# The floor for any copier that fetches one file at a time on a connection of
# its own, as harbek does: the same files, with nothing saved or scanned.
(cd "$work/site" && find . -path ./small -prune -o -type f -printf '/%P\n') > "$work/paths"
build/release/bin/serial_fetch_bench "$NGINX_PORT" "$work/paths" "$runs"

stop_nginx
tls="$work/tls"
mkdir -p "$tls"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout "$tls/ca.key" -out "$tls/ca.pem" \
  -days 2 -subj "/CN=bench CA" 2>/dev/null
openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout "$tls/server.key" -out "$tls/server.csr" \
  -subj "/CN=bench server" 2>/dev/null
echo "subjectAltName=IP:127.0.0.1" > "$tls/ext"
openssl x509 -req -in "$tls/server.csr" -CA "$tls/ca.pem" -CAkey "$tls/ca.key" -CAcreateserial -days 2 \
  -extfile "$tls/ext" -out "$tls/server.pem" 2>/dev/null
start_nginx "$work/site" "$work/nginx-tls" "$tls/server.pem" "$tls/server.key"
echo "the same site over https at https://127.0.0.1:$NGINX_PORT/"
python3 scripts/bench_measure.py compare-https "https://127.0.0.1:$NGINX_PORT/" "$PWD/build/release/bin/harbek" "$runs" \
  "$tls/ca.pem"
