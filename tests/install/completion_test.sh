#!/usr/bin/env bash
# Drives the bash completion function the way bash calls it, for a few command lines.
# Usage: completion_test.sh COMPLETION_FILE FRAMEPROBE
set -uo pipefail
export LC_ALL=C
source "$1"
PATH=$(cd "$(dirname "$2")" && pwd):$PATH
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" && touch clip.mp4 clip.y4m notes.txt
failures=0

compopt() { options+=" $*"; }  # outside a real completion bash refuses compopt; record it instead
complete_line() {  # words of the line, the last one being completed
    options=""
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMPREPLY=()
    _frameprobe frameprobe
    got=$(printf '%s ' "${COMPREPLY[@]}")
    got=${got% }
}
expect() {  # EXPECTED WORDS...: the sorted candidates
    local expected=$1
    shift
    complete_line "$@"
    got=$(tr ' ' '\n' <<<"$got" | sort | tr '\n' ' ')
    got=${got% }
    if [[ $got != "$expected" ]]; then
        echo "FAIL: '$*' completed to '$got', expected '$expected'"
        failures=$((failures + 1))
    fi
}

expect "--format" frameprobe --form
expect "--frames --freeze-min-duration" frameprobe --fr
expect "csv json jsonl legacy qctools" frameprobe --format ""
expect "json jsonl" frameprobe --format = j
expect "blackout block_loss blockiness blur" frameprobe --indicators bl
expect "blur,freezing" frameprobe --indicators blur,fr
[[ $options == *nospace* ]] || { echo "FAIL: a list of indicators goes on without a space"; failures=$((failures + 1)); }
expect "clip.mp4 clip.y4m" frameprobe --no-log cl
expect "clip.mp4 clip.y4m" frameprobe -o cl
expect "merge" frameprobe me
expect "clip.mp4 clip.y4m" frameprobe -q --format csv cl
expect "" frameprobe --fps ""
expect "csv" frameprobe merge --format c
expect "--realtime" frameprobe monitor --realt
expect "--format" frameprobe merge --fo
expect "profiles" frameprobe pro
expect "show" frameprobe profiles s
expect "archive-transfer" frameprobe profiles show arch
expect "broadcast-delivery" frameprobe --profile broad
expect "clip.mp4 clip.y4m" frameprobe --junit cl
exit $((failures > 0))
