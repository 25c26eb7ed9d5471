#!/usr/bin/env bash
# Configures and builds into the folder given as first argument; more arguments go to cmake.
# FRAMEPROBE_TARGETS="a b" builds only those targets. It installs nothing: the packages
# come from scripts/install-deps.sh (run-sample.sh and test.sh call it).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build}
shift || true
if ! cmake -S "$root" -B "$root/$dir" "$@" >/dev/null; then
  echo "build.sh: cmake could not configure the build; a package may be missing:" \
    "bash scripts/install-deps.sh (--tests for the tests)" >&2
  exit 1
fi
targets=()
for target in ${FRAMEPROBE_TARGETS:-}; do targets+=(--target "$target"); done
cmake --build "$root/$dir" -j"$(nproc)" "${targets[@]}"
