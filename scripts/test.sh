#!/usr/bin/env bash
# Sets everything up, then builds and runs all the tests: once as released,
# once more under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

if [[ ${QUORVANE_SKIP_SANITIZERS:-0} != 1 ]]; then
  cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORVANE_SANITIZE=ON
  cmake --build build-sanitize -j "$jobs"
  ctest --test-dir build-sanitize --output-on-failure -j "$jobs"
fi
