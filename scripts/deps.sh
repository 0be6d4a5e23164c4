#!/usr/bin/env bash
# Installs the Debian packages Norvik needs to build, run and test, when any
# is missing. Needs root (or sudo) only when something has to be installed.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-svg-dev libqt6svg6 qt6-qpa-plugins
  libsqlite3-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  iproute2 xvfb xauth locales
  traceroute iputils-ping nftables mtr-tiny
  librsvg2-bin gzip dpkg-dev libcap2-bin desktop-file-utils appstream lintian
  clang-14 libclang-rt-14-dev
  qt6-httpserver-dev qt6-websockets-dev openssl
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
