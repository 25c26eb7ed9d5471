#!/usr/bin/env bash
# Builds the libFuzzer targets into build-fuzz/ with clang and runs each for
# SECONDS (default 60), starting from the checked-in corpus. Fails when any target
# finds something; the input is left in build-fuzz/findings/<target>/.
#   scripts/fuzz.sh [SECONDS]
# FRAMEPROBE_FUZZ_DIR names a build folder configured already with clang, the sanitizers
# and -DFRAMEPROBE_FUZZ=ON (CI's AddressSanitizer build): its targets are used as they are.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
dir=${FRAMEPROBE_FUZZ_DIR:-$root/build-fuzz}
targets=(fuzz_command_line fuzz_y4m fuzz_engine fuzz_jsonl_reader fuzz_profile)

bash "$root/scripts/install-deps.sh"
if ! command -v clang++ >/dev/null || ! clang++ -fsanitize=fuzzer -x c++ - -o /dev/null <<<'
#include <cstddef>
#include <cstdint>
extern "C" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }' 2>/dev/null; then
  echo "Installing clang and its libFuzzer runtime"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq clang libclang-rt-14-dev
fi

# -O1 with line tables, as in CI's sanitizer builds: it compiles much faster and
# findings still name the function and line.
[ -n "${FRAMEPROBE_FUZZ_DIR:-}" ] || CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" \
  -DFRAMEPROBE_FUZZ=ON -DFRAMEPROBE_SANITIZE=address,undefined -DFRAMEPROBE_WERROR=ON \
  -DFRAMEPROBE_BENCH=OFF -DBUILD_TESTING=OFF >/dev/null
cmake --build "$dir" -j"$(nproc)" --target "${targets[@]}"

failed=()
for target in "${targets[@]}"; do
  echo "== $target: $seconds s =="
  # New inputs go to a scratch corpus so that the checked-in seeds stay small.
  corpus="$dir/corpus/$target"
  findings="$dir/findings/$target"
  mkdir -p "$corpus" "$findings"
  # close_fd_mask=3 silences the targets' own output; findings are still reported.
  (cd "$findings" && "$dir/fuzz/$target" -max_total_time="$seconds" -close_fd_mask=3 -print_final_stats=1 \
    -artifact_prefix="$findings/" "$corpus" "$root/fuzz/corpus/$target") || failed+=("$target")
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "Findings in: ${failed[*]} (inputs in $dir/findings/)" >&2
  exit 1
fi
