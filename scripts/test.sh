#!/usr/bin/env bash
# Builds everything and runs every test. Extra arguments go to cmake, e.g.
#   FRAMEPROBE_BUILD_DIR=build-asan scripts/test.sh -DFRAMEPROBE_SANITIZE=address,undefined
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${FRAMEPROBE_BUILD_DIR:-build}
bash "$root/scripts/build.sh" "$dir" "$@"
cd "$root/$dir"
# FRAMEPROBE_CTEST_ARGS narrows the run, e.g. "-LE system" leaves out the browser and cluster tests.
# shellcheck disable=SC2086
ctest --output-on-failure -j"$(nproc)" ${FRAMEPROBE_CTEST_ARGS:-}
