#!/usr/bin/env bash
# Checks the install rules and the package.
# Usage: check.sh install|deb BUILD_DIR VERSION APP_ID
set -euo pipefail
check=$1 build=$2 version=$3 id=$4
work=$(mktemp -d /tmp/vistrelcv-package-XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# What an install puts under its prefix.
expected=(bin/vistrelcv share/applications/$id.desktop share/metainfo/$id.metainfo.xml
  share/icons/hicolor/scalable/apps/$id.svg share/man/man1/vistrelcv.1.gz
  share/vistrelcv/sounds/{rec,rel,stop}.wav share/doc/vistrelcv/{copyright,changelog.gz})
for size in 16 24 32 48 64 128 256; do expected+=("share/icons/hicolor/${size}x$size/apps/$id.png"); done

case "$check" in
install)
  cmake --install "$build" --prefix "$work/prefix" >/dev/null
  cd "$work/prefix"
  for f in "${expected[@]}"; do [ -s "$f" ] || fail "$f was not installed"; done
  desktop=share/applications/$id.desktop metainfo=share/metainfo/$id.metainfo.xml
  desktop-file-validate "$desktop" || fail "the desktop file is not valid"
  appstreamcli validate --no-net "$metainfo" >"$work/as.log" || fail "metainfo: $(cat "$work/as.log")"
  # One version everywhere: the program, the metainfo's release, the man page.
  bin/vistrelcv --version >"$work/version"
  [ "$(head -n1 "$work/version")" = "VistrelCV $version" ] || fail "--version: $(cat "$work/version")"
  grep -q '^License GPLv3+' "$work/version" || fail "--version names no licence"
  # An option it does not know: the usage text and status 2, with no display needed.
  status=0
  env -u DISPLAY -u WAYLAND_DISPLAY bin/vistrelcv --bogus 2>"$work/usage" || status=$?
  [ $status = 2 ] && grep -q '^Usage:' "$work/usage" || fail "--bogus: status $status"
  grep -q "<release version=\"$version\"" "$metainfo" || fail "metainfo release"
  # The man page: this version, every section a reader looks for, and groff has nothing to say.
  zcat share/man/man1/vistrelcv.1.gz >"$work/man"
  grep -q "VistrelCV $version" "$work/man" || fail "man page version"
  for section in NAME SYNOPSIS DESCRIPTION OPTIONS ENVIRONMENT FILES '"EXIT STATUS"' '"SEE ALSO"'; do
    grep -qx ".SH $section" "$work/man" || fail "man page lacks $section"
  done
  LC_ALL=C.UTF-8 groff -ww -z -k -man -Tutf8 "$work/man" 2>"$work/groff.log"
  [ ! -s "$work/groff.log" ] || fail "groff: $(cat "$work/groff.log")"
  # A per-camera program: no field code, and an action per camera.
  for n in '' ' 1' ' 2' ' 3' ' 4'; do grep -qx "Exec=vistrelcv$n" "$desktop" || fail "Exec=vistrelcv$n"; done
  [ "$(identify -format '%wx%h' share/icons/hicolor/48x48/apps/$id.png)" = 48x48 ] || fail "48 px icon"
  ;;
deb)
  cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
    fail "cpack: $(tail -n 20 "$work/cpack.log")"
  deb="$work/vistrelcv_${version}_$(dpkg --print-architecture).deb"
  [ -f "$deb" ] || fail "no $(basename "$deb"): $(ls "$work")"
  dpkg-deb -c "$deb" | awk '{print $6}' >"$work/files"
  for f in "${expected[@]}"; do grep -qx "./usr/$f" "$work/files" || fail "/usr/$f is not in the package"; done
  depends=$(dpkg-deb -f "$deb" Depends)
  # Mostly worked out from the libraries the program links; the SVG plugins are loaded.
  for lib in libqt6widgets6 libqt6svg6 libopencv-imgproc406 libavcodec59 libcanberra0 libc6; do
    grep -Eq "(^| )$lib( |,|$)" <<<"$depends" || fail "Depends lacks $lib: $depends"
  done
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version"
  # Debian's own checker, strictest level: no error and no warning.
  lintian --pedantic --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 ||
    fail "lintian: $(cat "$work/lintian.log")"
  # Everything it depends on can be installed here.
  apt-get install --simulate --no-install-recommends "$deb" >"$work/apt.log" 2>&1 ||
    fail "apt cannot install it: $(tail -n 5 "$work/apt.log")"
  ;;
*) fail "unknown check $check" ;;
esac
