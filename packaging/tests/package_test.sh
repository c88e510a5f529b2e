#!/bin/bash
# Builds the two Debian packages of a build folder (harbek, harbek-windows),
# unpacks harbek alone into a temporary root and runs what it holds: harbek
# copies the sample site served by nginx on loopback, keeps its settings in
# the user's configuration folder (not beside the program), refuses a save
# folder whose tmp/ is someone else's and tells how to get the windows;
# comcall calls a component through the installed registry; harbek depends
# on no Qt; lintian finds no error or warning in either package. A copy of the build's
# bin/ folder moved elsewhere works as well.
#   bash package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d /tmp/harbek-package.XXXXXX)
source "$source/scripts/nginx.sh"
trap 'stop_nginx; rm -rf "$work"' EXIT

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/out/harbek_*.deb)
windows_deb=$(ls "$work"/out/harbek-windows_*.deb)
for d in "$deb" "$windows_deb"; do
  echo "package: $(basename "$d"), $(stat -c %s "$d") bytes; Depends: $(dpkg-deb -f "$d" Depends)"
done
if dpkg-deb -f "$deb" Depends Recommends | grep -qi 'qt\|libx\|libgl'; then
  echo "harbek pulls a display stack: $(dpkg-deb -f "$deb" Depends Recommends)"
  exit 1
fi
dpkg-deb -c "$deb" >"$work/harbek.files"
dpkg-deb -c "$windows_deb" >"$work/harbek-windows.files"
grep -q 'harbek-windows.so' "$work/harbek.files" && { echo "the window module is in harbek"; exit 1; }
grep -q 'lib/harbek/harbek-windows.so' "$work/harbek-windows.files" || { echo "harbek-windows lacks the module"; exit 1; }
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
# The installed program keeps its settings in the user's configuration
# folder, whoever runs it, and makes that folder only to write them.
mkdir -p "$work/home"
as_user=(env -u XDG_CONFIG_HOME -u HARBEK_REGISTRY -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$work/home")
run_as_user() { "${as_user[@]}" "$@"; }
run_as_user "$root/bin/harbek" --version
[ ! -e "$work/home/.config" ] || { echo "--version made $work/home/.config"; exit 1; }
run_as_user "$root/bin/harbek" --headless --quiet --save-dir "$work/copy" --interval 0 \
  "http://127.0.0.1:$NGINX_PORT/" 2>"$work/harbek.err" || { cat "$work/harbek.err"; exit 1; }
tail -n 1 "$work/harbek.err"
cmp "$source/app/sample_site/index.html" "$work/copy/127.0.0.1:$NGINX_PORT/index.html"
[ ! -e "$root/bin/sys.ini" ] || { echo "sys.ini was written beside the installed program"; exit 1; }
[ ! -e "$work/home/.config" ] || [ -f "$work/home/.config/harbek/sys.ini" ] ||
  { echo "~/.config made with no settings in it"; exit 1; }
# A copy stopped before its first fetch spills its queue and so writes its
# counters: into ~/.config/harbek, made for them.
"${as_user[@]}" "$root/bin/harbek" --headless --quiet --save-dir "$work/stopped" --interval 600000 \
  "http://127.0.0.1:$NGINX_PORT/" 2>"$work/stopped.err" &
stopped=$!
sleep 1
kill -TERM "$stopped"
status=0
wait "$stopped" || status=$?
[ "$status" = 143 ] || { echo "SIGTERM gave $status"; cat "$work/stopped.err"; exit 1; }
[ -f "$work/home/.config/harbek/sys.ini" ] || { echo "no sys.ini in ~/.config/harbek"; exit 1; }
[ ! -e "$root/bin/sys.ini" ] || { echo "sys.ini was written beside the installed program"; exit 1; }
echo "settings: ~/.config/harbek/sys.ini"

# A new user copying from a home folder with a tmp/ of its own: refused,
# and that folder untouched.
rm -r "$work/home/.config"
mkdir -p "$work/home/tmp"
echo "my notes" >"$work/home/tmp/0.dat"
(cd "$work/home" && run_as_user "$root/bin/harbek" --headless --interval 0 "http://127.0.0.1:$NGINX_PORT/") \
  >"$work/own-tmp.out" 2>&1 && { echo "a copy started over a user's tmp/"; exit 1; }
grep -q "choose another save folder" "$work/own-tmp.out" || { cat "$work/own-tmp.out"; exit 1; }
[ "$(cat "$work/home/tmp/0.dat")" = "my notes" ] && [ "$(ls -A "$work/home/tmp")" = "0.dat" ] ||
  { echo "the user's tmp/ was changed"; exit 1; }
echo "a user's own tmp/: left alone, the copy refused"

# Without the windows package, window mode says how to get it.
run_as_user "$root/bin/harbek" >"$work/nowindows.out" 2>&1 && exit 1
grep -q "apt-get install harbek-windows" "$work/nowindows.out" || { cat "$work/nowindows.out"; exit 1; }
echo "no windows: $(grep -o 'apt-get install harbek-windows' "$work/nowindows.out")"

# The installed program finds its TLS engine: an https address on a closed
# port fails as refused, not for want of the engine.
"$root/bin/harbek" --headless --ini "$work/sys.ini" --save-dir "$work/tls-copy" --interval 0 \
  "https://127.0.0.1:1/" >"$work/tls.out" 2>&1 || true
grep -q "wskError:the connection was refused" "$work/tls.out" || { cat "$work/tls.out"; exit 1; }
echo "TLS engine: found"

if command -v lintian >/dev/null; then
  # lintian's scratch files go into the work folder, removed with it.
  TMPDIR="$work" lintian --tag-display-limit 0 "$deb" "$windows_deb" >"$work/lintian.log" 2>&1 || true
  if grep -q '^[EW]:' "$work/lintian.log"; then
    grep '^[EW]:' "$work/lintian.log"
    exit 1
  fi
  echo "lintian: no errors, no warnings"
else
  echo "lintian is not installed; the package was not checked"
fi
echo "1 passed, 0 failed"
