#!/bin/bash
# Copies a web site with harbek in terminal mode.
#   bash scripts/run.sh            copies the bundled sample site, served by
#                                  nginx on a free loopback port
#   bash scripts/run.sh URL        copies the site at URL
# The copy goes to ./harbek-copy, its links converted for offline browsing
# once the crawl is done; the crawl's settings file (and with it the queue
# counters, so an interrupted copy resumes) to build/run/sys.ini. The script
# ends with the file:// address of the copy's start page.
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

build/release/bin/harbek --headless --convert-links --ini "$state/sys.ini" --save-dir "$out" "$url"

echo
echo "saved under $out:"
(cd "$out" && find . -type f ! -path './tmp/*' | sort)

# The start page's file, named as the copy names it: host and path in lower
# case, index.html for a folder.
start=${url#*://}
start=${start%%[?#]*}
case $start in */*) ;; *) start=$start/ ;; esac
case $start in */) start=${start}index.html ;; esac
start=$out/${start,,}
if [ -f "$start" ]; then
  echo
  echo "open the copy in a browser: $(python3 -c 'import pathlib, sys; print(pathlib.Path(sys.argv[1]).as_uri())' "$start")"
fi
