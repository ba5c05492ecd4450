#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a user meets:
# the program folder and launchers, the desktop entry, icons and metadata,
# a run from the installed path with that folder read-only (nothing may be
# written into it), and the Debian package's contents and dependencies.
#   install_check.sh BUILD_DIR CMAKE CPACK
set -euo pipefail
build=$1 cmake=$2 cpack=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/mivora-install.XXXXXX")
trap 'chmod -R u+w "$work" 2>/dev/null || true; rm -rf "$work"' EXIT
chmod 755 "$work"
prefix=$work/prefix
app=$prefix/lib/mivora
fail() { echo "install check: $*" >&2; exit 1; }

"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" || { cat "$work/install.log"; fail "install failed"; }

# The program folder and the launchers.
for f in mivora-cli trancor libglimra.so libcuenc.so Help.html "Profiles/General Video"; do
  [ -e "$app/$f" ] || fail "missing lib/mivora/$f"
done
for picture in $(grep -o 'src="help/[^"]*"' "$app/Help.html" | sed 's/src="//;s/"$//'); do
  [ -f "$app/$picture" ] || fail "the guide's picture $picture is not installed"
done
gui=0
[ -e "$app/mivora" ] && gui=1
launchers=(mivora-cli)
[ $gui = 1 ] && launchers+=(mivora)
for launcher in "${launchers[@]}"; do
  [ -L "$prefix/bin/$launcher" ] || fail "bin/$launcher is not a link"
  [ "$(readlink -f "$prefix/bin/$launcher")" = "$(readlink -f "$app/$launcher")" ] || fail "bin/$launcher points elsewhere"
done

# The desktop entry, its icons and the metadata.
if [ $gui = 1 ]; then
  desktop=$prefix/share/applications/org.mivora.Mivora.desktop
  desktop-file-validate "$desktop" || fail "the desktop entry does not validate"
  grep -qx 'Exec=mivora %F' "$desktop" || fail "the desktop entry does not take files"
  appstreamcli validate --no-net "$prefix/share/metainfo/org.mivora.Mivora.metainfo.xml" >"$work/as.log" ||
    { cat "$work/as.log"; fail "the metainfo does not validate"; }
  for size in 16 24 32 48 64 128 256; do
    icon=$prefix/share/icons/hicolor/${size}x${size}/apps/org.mivora.Mivora.png
    [ -f "$icon" ] || fail "missing icon ${size}x${size}"
    file "$icon" | grep -q "PNG image data, $size x $size" || fail "icon ${size}x${size} has the wrong size"
  done
  [ -f "$prefix/share/icons/hicolor/scalable/apps/org.mivora.Mivora.svg" ] || fail "missing the scalable icon"
fi

# A run from the installed path with the program folder read-only. Root may
# write anywhere, so then the run is made as the unprivileged user nobody.
listing() { (cd "$prefix" && find . -printf '%p %s %T@ %m %y\n' | sort); }
listing >"$work/before"
chmod -R a-w "$prefix"
home=$work/home
mkdir -p "$home/tmp" "$home/run" "$home/out"
chmod 700 "$home/run"
runas=()
if [ "$(id -u)" = 0 ]; then
  chown -R nobody "$home"
  runas=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
env -i PATH=/usr/bin:/bin HOME="$home" XDG_CONFIG_HOME="$home/.config" TMPDIR="$home/tmp" \
  XDG_RUNTIME_DIR="$home/run" "${runas[@]}" "$prefix/bin/mivora-cli" demo -o "$home/out" >"$work/demo.log" 2>&1 ||
  { cat "$work/demo.log"; fail "mivora-cli demo failed from the installed path"; }
ls "$home/out/"*.avi >/dev/null 2>&1 || { cat "$work/demo.log"; fail "the demo made no output"; }
[ -z "$(ls -A "$home/tmp")" ] || { ls -lA "$home/tmp"; fail "the demo left temporary files behind"; }
ls "$home/.config/Mivora/Profiles/General Video/"*.xml >/dev/null 2>&1 ||
  fail "no per-user copy of the profiles was made"
chmod -R u+w "$prefix"
listing >"$work/after"
diff "$work/before" "$work/after" || fail "the run wrote into the installed program folder"

# The Debian package.
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/deb" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(ls "$work"/deb/mivora_*.deb)
dpkg-deb -c "$deb" >"$work/contents"
for f in ./usr/lib/mivora/mivora-cli ./usr/lib/mivora/trancor ./usr/lib/mivora/libglimra.so \
         ./usr/lib/mivora/Help.html "./usr/lib/mivora/Profiles/General Video/" "./usr/bin/mivora-cli -> ../lib/mivora/mivora-cli"; do
  grep -qF "$f" "$work/contents" || fail "the package lacks $f"
done
depends=$(dpkg-deb -f "$deb" Depends)
needed=(ffmpeg xdg-utils libtinyxml2 libre2 libfontconfig)
[ $gui = 1 ] && needed+=(libqt6widgets6 libqt6gui6 libcurl libzip "./usr/share/applications/org.mivora.Mivora.desktop"
                         "./usr/share/icons/hicolor/48x48/apps/org.mivora.Mivora.png")
[ -e "$app/playrun" ] && needed+=(libavformat libavcodec libavfilter libswscale libsdl2)
for d in "${needed[@]}"; do
  case $d in
    ./*) grep -qF "$d" "$work/contents" || fail "the package lacks $d" ;;
    *) grep -q "$d" <<<"$depends" || fail "the package does not depend on $d: $depends" ;;
  esac
done
echo "install check passed: $(basename "$deb"), depends: $depends"
