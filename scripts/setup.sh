#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Mivora
# needs, and only those that are missing. Safe to run again: it does nothing
# when everything is there.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config clang libclang-rt-14-dev ccache
  qt6-base-dev qt6-svg-dev libgl-dev
  libtinyxml2-dev libre2-dev libfontconfig-dev libcurl4-openssl-dev libzip-dev
  ffmpeg libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev libavfilter-dev
  libsdl2-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-dejavu-core fonts-liberation2 fontconfig
  locales procps
  xvfb x11-utils imagemagick
  dbus-daemon
  qt6-wayland weston
  desktop-file-utils appstream xdg-utils dpkg-dev file
  parallel
  universal-ctags
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A decimal-comma locale, so tests can check that numbers in files stay in C form.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  "${sudo_cmd[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "setup: no de_DE.UTF-8 locale (tests needing it skip)"
fi
