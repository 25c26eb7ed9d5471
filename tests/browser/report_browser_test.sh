#!/usr/bin/env bash
# Opens the report of a clip with every defect in headless Chromium and checks
# the rendered page: a plot per requested indicator with a point per frame that
# has a value, the events shaded on every plot, no script error, and a
# screenshot that is not blank (kept as report-screenshot.png in the work folder).
#   report_browser_test.sh FRAMEPROBE FRAMEPROBE_SAMPLE WORK_FOLDER
set -euo pipefail
frameprobe=$(realpath "$1") sample=$(realpath "$2") work=$(realpath "$3")/report-browser
frames=40

fail() { echo "FAIL: $*" >&2; exit 1; }
command -v chromium >/dev/null || fail "chromium is not installed; scripts/install-deps.sh installs it"

rm -rf "$work" && mkdir -p "$work" && cd "$work"

"$sample" clip.yuv 352 288 $frames blocky:0-3 blur:4-7 noise:8-11 interlace:12-15 lostblocks:16-19 \
  letterbox:20-23 pillarbox:24-27 freeze:28-32 black:33-34 flicker:0-27 >/dev/null
"$frameprobe" -s 352x288 clip.yuv --format json -o out.json --report report.html

# No network, no first-run work, a profile of its own: the page must need nothing else.
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
browser=(chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking
  --disable-component-update --disable-sync --user-data-dir="$profile" --window-size=1200,2600)
timeout 120 "${browser[@]}" --enable-logging=stderr --v=0 --dump-dom "file://$work/report.html" >dom.html 2>console.log
timeout 120 "${browser[@]}" --screenshot="$work/report-screenshot.png" "file://$work/report.html" >/dev/null 2>&1

grep -q 'data-ready="1"' dom.html || fail "the page's script did not finish"
! grep -q 'data-errors=' dom.html || fail "script errors: $(grep -o '<div id="errors">[^<]*' dom.html)"
! grep -qi 'uncaught' console.log || fail "console: $(grep -i uncaught console.log)"

# Expected from the JSON output of the same run.
indicators=$(grep -o '"indicators":\[[^]]*\]' out.json | grep -o '"[a-z_]*"' | grep -v indicators | tr -d '"')
events=$(grep -o '"start_frame":' out.json | wc -l)
[ "$events" -gt 0 ] || fail "the clip gave no events"
plots=0
for key in $indicators; do
  figure=$(grep -o "<figure [^>]*data-indicator=\"$key\"[^>]*>" dom.html) || fail "no plot of $key"
  attribute() { echo "$figure" | grep -o "data-$1=\"[0-9]*\"" | grep -o '[0-9]*'; }
  points=$(attribute points) gaps=$(attribute gaps) shaded=$(attribute events)
  with_value=$(grep -o "\"$key\":{\"count\":[0-9]*" out.json | grep -o '[0-9]*$')
  [ "$points" -eq "$with_value" ] || fail "$key: $points points drawn, $with_value frames with a value"
  [ $((points + gaps)) -eq $frames ] || fail "$key: $points points and $gaps gaps for $frames frames"
  [ "$shaded" -eq "$events" ] || fail "$key: $shaded events shaded of $events"
  plots=$((plots + 1))
done
[ "$plots" -eq 15 ] || fail "$plots plots instead of 15"

# Not blank: a rendered page of plots has many colours.
colours=$(ffmpeg -v error -i report-screenshot.png -vf scale=400:-1:flags=neighbor -f rawvideo -pix_fmt rgb24 - |
  od -An -v -tx1 -w3 | sort -u | wc -l)
[ "$colours" -gt 20 ] || fail "the screenshot has $colours colours"
echo "report in the browser: $plots plots, $events events shaded, $colours colours in report-screenshot.png"
