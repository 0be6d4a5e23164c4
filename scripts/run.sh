#!/usr/bin/env bash
# Builds Norvik and starts the main window with its default store
# ($XDG_CONFIG_HOME/norvik/norvik.sqlite3, or NORVIK_STORE). Arguments go to
# the program ("/quiet").
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/deps.sh"
"$top/scripts/build.sh" build -DNORVIK_TESTS=OFF -DNORVIK_BENCH=OFF
exec "$top/build/src/norvik" "$@"
