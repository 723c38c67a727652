#!/usr/bin/env bash
# Builds the search benchmark, makes a store of 1,000,000 demo enterprises
# when there is none, and prints the measurements as Markdown tables.
#
#   bench/run-search.sh [--repeat N] [--only memory|searches|functions]
#
# BUILD_DIR chooses the build tree (default: build, configured as Release
# when it does not exist yet). See bench/README.md.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build}
if [[ ! -f $build/CMakeCache.txt ]]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
fi
cmake --build "$build" -j2 --target quorvane-demodb quorvane-bench-search >&2

if ! command -v sqlite3 >/dev/null; then
  echo "run-search.sh: the sqlite3 shell is needed for the comparison (scripts/setup.sh installs it)" >&2
  exit 1
fi

database=$build/bench/demo-1m.db
if [[ ! -f $database ]]; then
  echo "Making the benchmark store: $database" >&2
  "$build/bin/quorvane-demodb" --rows 1000000 "$database" >&2
fi

echo "# Search benchmark: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg), $(sqlite3 --version | cut -d' ' -f1-2)"
echo "Store: $database ($(($(stat -c %s "$database") / 1048576)) MiB), build: $build ($(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt"))"
echo
exec "$build/bin/quorvane-bench-search" "$@" "$database"
