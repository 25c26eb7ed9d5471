#!/usr/bin/env bash
# Configures and builds into the folder given as first argument; more arguments go to cmake.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build}
shift || true
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/$dir" "$@" >/dev/null
cmake --build "$root/$dir" -j"$(nproc)"
