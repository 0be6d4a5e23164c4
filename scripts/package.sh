#!/usr/bin/env bash
# Builds the Debian package in its own tree: package.sh [DIR [cmake options...]]
# (DIR defaults to build-deb). The .deb lands in DIR; install it with
#   sudo apt install ./DIR/norvik_*.deb
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build-deb}
[ $# -gt 0 ] && shift
"$top/scripts/deps.sh"
# Debian's own hardening flags, as a package build would use them, with
# immediate binding too.
export DEB_BUILD_MAINT_OPTIONS=hardening=+bindnow
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
ldflags="$(dpkg-buildflags --get LDFLAGS)"
cmake -S "$top" -B "$top/$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNORVIK_TESTS=OFF \
  -DNORVIK_BENCH=OFF -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
  "$@" >/dev/null
cmake --build "$top/$dir" -j "$(nproc)"
cd "$top/$dir"
rm -f norvik_*.deb
cpack -G DEB
ls "$top/$dir"/norvik_*.deb
