#!/bin/bash
# Peak memory of harbek copying one large HTML page, for each size given (MB):
#   bash scripts/bench_bigpage.sh [HARBEK] [SIZE_MB ...]   (default 16 64 300)
# Each page is text with a link every 10 kB or so, served by nginx on a
# free loopback port. Prints the size, the peak resident memory, the memory
# above the program's baseline (a 1 KB page) and the bytes per body byte.
set -euo pipefail
cd "$(dirname "$0")/.."
harbek=${1:-build/release/bin/harbek}
shift || true
sizes=("$@")
((${#sizes[@]})) || sizes=(16 64 300)

work=$(mktemp -d /tmp/harbek-bigpage.XXXXXX)
source scripts/nginx.sh
trap 'stop_nginx; rm -rf "$work"' EXIT
mkdir -p "$work/site"
python3 - "$work/site" "${sizes[@]}" <<'PY'
import sys
root, sizes = sys.argv[1], [int(s) for s in sys.argv[2:]]
text = b"<p>" + b"text and more words of a long page " * 3 + b"</p>\n"
link = b'<p><a href="/l%03d.html">link</a></p>\n'
for mb in [0] + sizes:
    with open(f"{root}/p{mb}.html", "wb") as f:
        if mb == 0:
            f.write(b"<p>small</p>\n")
            continue
        written, i = 0, 0
        while written < mb << 20:
            chunk = b"".join(link % ((i + k) % 1000) if k % 100 == 0 else text for k in range(1000))
            f.write(chunk)
            written += len(chunk)
            i += 1000
PY
start_nginx "$work/site" "$work/nginx"

peak_kb() {  # SIZE_MB -> peak RSS in kB of a copy of that page
  rm -rf "$work/save" "$work/sys.ini"
  /usr/bin/time -f "%M" -o "$work/rss" "$harbek" --headless --ini "$work/sys.ini" --save-dir "$work/save" \
    --interval 0 "http://127.0.0.1:$NGINX_PORT/p$1.html" >"$work/out" 2>&1 || true
  [ "$(stat -c %s "$work/save/127.0.0.1:$NGINX_PORT/p$1.html" 2>/dev/null)" = "$(stat -c %s "$work/site/p$1.html")" ] ||
    echo "p$1.html was not copied whole: $(tail -n 3 "$work/out")" >&2
  tail -n 1 "$work/rss"  # time notes a non-zero status on a line of its own
}

base=$(peak_kb 0)
printf "%-8s %12s %14s %16s\n" "page MB" "peak MB" "above base MB" "bytes/body byte"
for mb in "${sizes[@]}"; do
  kb=$(peak_kb "$mb")
  python3 -c "
kb, base, mb = $kb, $base, $mb
above = (kb - base) / 1024
print(f'{mb:<8} {kb / 1024:12.1f} {above:14.1f} {above / mb:16.2f}')"
done
