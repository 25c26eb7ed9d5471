#!/usr/bin/env bash
# Installs what the tests need, builds everything (the tests, the benchmarks and the
# Python module too) and runs every test. Extra arguments go to cmake, e.g.
#   FRAMEPROBE_BUILD_DIR=build-asan scripts/test.sh -DFRAMEPROBE_SANITIZE=address,undefined
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${FRAMEPROBE_BUILD_DIR:-build}
bash "$root/scripts/install-deps.sh" --tests
# After run-sample.sh, the build folder holds the program alone: the tests are switched on
# again here (arguments given after these win).
bash "$root/scripts/build.sh" "$dir" -DBUILD_TESTING=ON -DFRAMEPROBE_BENCH=ON "$@"
cd "$root/$dir"
# FRAMEPROBE_CTEST_ARGS narrows the run, e.g. "-LE system" leaves out the browser and cluster tests.
# shellcheck disable=SC2086
ctest --output-on-failure -j"$(nproc)" ${FRAMEPROBE_CTEST_ARGS:-}
