#!/bin/bash
# Copies a web site with harbek in terminal mode.
#   bash scripts/run.sh            copies the bundled sample site, served by
#                                  nginx on a free loopback port
#   bash scripts/run.sh URL        copies the site at URL
# The copy goes to ./harbek-copy; the crawl's settings file (and with it the
# queue counters, so an interrupted copy resumes) to build/run/sys.ini.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j "$(nproc)" >/dev/null

out=$root/harbek-copy
state=$root/build/run
mkdir -p "$state"

source scripts/nginx.sh
if [ $# -eq 0 ]; then
  start_nginx app/sample_site "$state/nginx"
  trap stop_nginx EXIT
  url="http://127.0.0.1:$NGINX_PORT/"
  rm -rf "$out" "$state/sys.ini"
  echo "serving the sample site at $url"
else
  url=$1
fi

build/release/bin/harbek --headless --ini "$state/sys.ini" --save-dir "$out" "$url"

echo
echo "saved under $out:"
(cd "$out" && find . -type f ! -path './tmp/*' | sort)
