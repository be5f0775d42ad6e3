#!/bin/sh
# End-to-end test of the phone pages in headless Chromium. Skipped when Chromium is not installed.
# Usage: tests/e2e/run.sh [build folder]   (default: build)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build}
if [ ! -x /usr/bin/chromium ]; then
    echo "e2e: skipped, /usr/bin/chromium is not installed"
    exit 0
fi
if [ ! -d "$here/node_modules/playwright-core" ]; then
    (cd "$here" && npm ci --no-audit --no-fund)
fi
cmake --build "$build" --target Lanserve test_lanserve_e2e
ctest --test-dir "$build" -R '^test_lanserve_e2e$' --output-on-failure
