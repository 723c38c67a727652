#!/usr/bin/env bash
# Sets everything up, builds Quorvane, makes the demo database when there is
# none, and starts the program on it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TESTS=OFF
cmake --build build

database=build/share/quorvane/zoradu.dll
if [[ ! -f $database ]]; then
  echo "Making the demo database: $database"
  build/bin/quorvane-demodb --rows 20000 "$database"
fi

exec build/bin/quorvane "$@"
