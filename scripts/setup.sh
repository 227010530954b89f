#!/usr/bin/env bash
# Installs what the build, the tests and the program need on Debian 12 (as root, or
# through sudo). Idempotent: when every package is present it touches nothing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libsdl2-dev libstb-dev
  fonts-dejavu-core fonts-liberation2 fonts-noto-cjk
  locales netcat-openbsd
  xvfb xdotool imagemagick libx11-dev  # the program tested in a real X window, as an operator drives it
  desktop-file-utils file   # the installed tree's desktop entry checked; packaging
  clang libclang-rt-14-dev  # the fuzz harnesses (libFuzzer ships in libclang-rt-14-dev, only recommended by clang)
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A locale with a decimal comma: tests check that files are read and written the same
# whatever the user's locale is.
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  grep -q '^de_DE\.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null ||
    echo 'de_DE.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen >/dev/null
fi
