#!/bin/bash
# Builds the Debian package of a build folder, unpacks it into a temporary
# root and runs what it holds: harbek copies the sample site served by nginx
# on loopback, comcall calls a component through the installed registry, and
# lintian finds no error in the package. A copy of the build's bin/ folder
# moved elsewhere works as well.
#   bash package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d /tmp/harbek-package.XXXXXX)
source "$source/scripts/nginx.sh"
trap 'stop_nginx; rm -rf "$work"' EXIT

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/out/harbek_*.deb)
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"
dpkg-deb -x "$deb" "$work/root"
root=$work/root/usr

# The unpacked programs find their modules through the installed registry,
# whatever the build tree holds.
unset HARBEK_REGISTRY
got=$("$root/bin/comcall" vornet.WebUrl rightUrl http://site/news/list.html ../d.html)
[ "$got" = "http://site/d.html" ] || { echo "comcall printed '$got'"; exit 1; }
echo "comcall: $got"

# The build's own programs, moved: the registry names its modules relative
# to itself.
cp -r "$build/bin" "$work/moved"
got=$("$work/moved/comcall" vornet.WebUrl gethost http://Moved.Site/x)
[ "$got" = "moved.site" ] || { echo "the moved comcall printed '$got'"; exit 1; }
echo "moved build: $got"

start_nginx "$source/app/sample_site" "$work/nginx"
"$root/bin/harbek" --headless --quiet --ini "$work/sys.ini" --save-dir "$work/copy" --interval 0 \
  "http://127.0.0.1:$NGINX_PORT/" 2>"$work/harbek.err" || { cat "$work/harbek.err"; exit 1; }
tail -n 1 "$work/harbek.err"
cmp "$source/app/sample_site/index.html" "$work/copy/127.0.0.1:$NGINX_PORT/index.html"
"$root/bin/harbek" --version

# The installed program finds its TLS engine: an https address on a closed
# port fails as refused, not for want of the engine.
"$root/bin/harbek" --headless --ini "$work/sys.ini" --save-dir "$work/tls-copy" --interval 0 \
  "https://127.0.0.1:1/" >"$work/tls.out" 2>&1 || true
grep -q "wskError:the connection was refused" "$work/tls.out" || { cat "$work/tls.out"; exit 1; }
echo "TLS engine: found"

if command -v lintian >/dev/null; then
  lintian --no-tag-display-limit "$deb" >"$work/lintian.log" 2>&1 || true
  if grep -q '^E:' "$work/lintian.log"; then
    grep '^E:' "$work/lintian.log"
    exit 1
  fi
  echo "lintian: no errors ($(grep -c '^W:' "$work/lintian.log" || true) warnings)"
else
  echo "lintian is not installed; the package was not checked"
fi
echo "1 passed, 0 failed"
