#!/usr/bin/env bash
# Opens the report of a clip with every defect in headless Chromium and checks
# the rendered page: a plot per requested indicator with a point per frame that
# has a value, the events shaded on every plot, no script error; the legend, the
# overview strip, the time axis and stepping with the keys at 800 and 1600
# pixels wide and in a dark colour scheme; and a screenshot that is not blank
# (kept as report-screenshot.png in the work folder); the verdict and severity
# colours; the catalogue page of twenty results; and a report in time codes.
#   report_browser_test.sh FRAMEPROBE FRAMEPROBE_SAMPLE WORK_FOLDER
set -euo pipefail
frameprobe=$(realpath "$1") sample=$(realpath "$2") work=$(realpath "$3")/report-browser
frames=40

fail() { echo "FAIL: $*" >&2; exit 1; }
command -v chromium >/dev/null || fail "chromium is not installed; scripts/install-deps.sh --tests installs it"

rm -rf "$work" && mkdir -p "$work" && cd "$work"

"$sample" clip.yuv 352 288 $frames blocky:0-3 blur:4-7 noise:8-11 interlace:12-15 lostblocks:16-19 \
  letterbox:20-23 pillarbox:24-27 freeze:28-32 black:33-34 flicker:0-27 >/dev/null
# A condition that holds, so that the page shows a failed verdict (status 3).
status=0
"$frameprobe" -s 352x288 clip.yuv --format json -o out.json --report report.html --fail-on 'blur.max>0' || status=$?
[ $status -eq 3 ] || fail "status $status instead of 3 for a failed condition"

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
  [ "$with_value" -gt 0 ] || echo "$figure" | grep -q 'data-empty="1"' || fail "$key: no value, but not marked empty"
  plots=$((plots + 1))
done
[ "$plots" -eq 15 ] || fail "$plots plots instead of 15"

# The triage parts, driven as a user would: a copy of the page with a probe
# script after the page's own, which steps with the keys, toggles the legend
# and writes what it found into the page's attributes.
cat > probe.js <<'JS'
(function () {
  var root = document.documentElement, out = [];
  function check(ok, what) { if (!ok) out.push(what); }
  var data = JSON.parse(document.getElementById("report-data").textContent);
  var events = data.events.slice().sort(function (a, b) { return a.start - b.start || a.end - b.end; });
  function key(k) { document.dispatchEvent(new KeyboardEvent("keydown", { key: k, bubbles: true })); }
  function view() { return root.dataset.view.split("-").map(Number); }
  function covers(e) { var v = view(); return v[0] <= e.start && v[1] >= e.end; }
  var strip = document.getElementById("strip");
  var verdict = document.getElementById("verdict");
  check(verdict && verdict.dataset.status === "fail" && /failed/.test(verdict.textContent) &&
        verdict.querySelectorAll("#findings li").length === 1 && /blur\.max = /.test(verdict.textContent), "verdict");
  // Stretches take their type's colour, the legend's; the severity is a mark of its own.
  var swatches = {};
  [].slice.call(document.querySelectorAll("#legend button")).forEach(function (b) {
    swatches[b.dataset.type] = getComputedStyle(b.querySelector(".swatch")).backgroundColor;
  });
  var probe = document.createElement("span");
  document.body.appendChild(probe);
  [].slice.call(strip.querySelectorAll("rect.stretch")).forEach(function (r) {
    probe.style.backgroundColor = r.getAttribute("fill");
    check(getComputedStyle(probe).backgroundColor === swatches[r.dataset.type], "strip: colour of type " + r.dataset.type);
  });
  probe.remove();
  check(strip.querySelectorAll("rect.severity-mark[data-severity='warning']").length === events.length,
        "strip: a severity mark per event");
  check(getComputedStyle(document.querySelector("#event-table td.severity-warning")).color !== getComputedStyle(document.body).color,
        "table: severity colour");
  check(document.querySelectorAll("#legend button").length === data.runTypes.length, "legend: a button per type");
  check(+strip.dataset.rows === data.runTypes.length, "strip: a row per type");
  check(+strip.dataset.stretches === events.length, "strip: a stretch per event");
  var times = [].slice.call(document.querySelectorAll("figure.plot text.time")).map(function (t) { return t.textContent; });
  check(times.length > 0 && times.every(function (t) { return /^\d\d:\d\d:\d\d\.\d{3}$/.test(t); }), "time axis: " + times.slice(0, 3));
  key("n"); check(covers(events[0]), "n: first event " + root.dataset.view);
  key("n"); check(covers(events[1]), "n: second event " + root.dataset.view);
  key("p"); check(covers(events[0]), "p: back to the first " + root.dataset.view);
  check(/^#view=\d+-\d+/.test(location.hash), "view in the address: " + location.hash);
  key("n"); key("0"); check(view()[0] === data.first && view()[1] === data.first + data.frames - 1, "0: whole run");
  var button = document.querySelector("#legend button"), type = button.dataset.type;
  button.click();
  var left = events.filter(function (e) { return e.type !== type; }).length;
  check(+strip.dataset.stretches === left, "legend hides " + type);
  check(location.hash.indexOf("hide=" + type) > 0, "hidden types in the address");
  check(document.querySelectorAll("#event-table tbody tr[data-type='" + type + "']:not([hidden])").length === 0, "table filtered");
  document.querySelector("#legend button").click();
  var film = [].slice.call(document.querySelectorAll("#filmstrip img"));
  check(film.length >= events.length, "filmstrip: " + film.length + " pictures");
  var last = film[film.length - 1];
  last.click();
  var viewer = document.getElementById("viewer");
  check(!viewer.hidden && viewer.dataset.frame === last.dataset.frame &&
        viewer.textContent.indexOf("frame " + last.dataset.frame + ", 00:00:") === 0, "a filmstrip picture opens larger");
  check(root.scrollWidth <= window.innerWidth + 1, "no sideways scrolling at " + window.innerWidth + " px");
  root.dataset.background = getComputedStyle(document.body).backgroundColor;
  root.dataset.probe = out.length ? out.join("; ") : "ok";
})();
JS
sed 's#</body>#<script src="probe.js"></script>\n</body>#' report.html >probe.html
for width in 800 1600; do
  timeout 120 "${browser[@]}" --window-size=$width,2000 --dump-dom "file://$work/probe.html" >probe-$width.html 2>/dev/null
  result=$(grep -o 'data-probe="[^"]*"' probe-$width.html) || fail "the probe did not run at $width px"
  [ "$result" = 'data-probe="ok"' ] || fail "at $width px: $result"
  ! grep -q 'data-errors=' probe-$width.html || fail "script errors at $width px"
done
timeout 120 "${browser[@]}" --force-dark-mode --blink-settings=preferredColorScheme=0 --dump-dom "file://$work/probe.html" \
  >probe-dark.html 2>/dev/null
grep -q 'data-background="rgb(22, 25, 29)"' probe-dark.html || fail "no dark scheme: $(grep -o 'data-background="[^"]*"' probe-dark.html)"
grep -q 'data-probe="ok"' probe-dark.html || fail "dark: $(grep -o 'data-probe="[^"]*"' probe-dark.html)"

# The catalogue of twenty results, made from this run's: each its own input, verdict
# and worst blur; one with the run's report beside it. Its script sorts, filters and
# carries the table as CSV, without an error.
mkdir -p results && cp out.json results/result.json && cp report.html results/result.html
python3 - <<'PY'
import json
doc = json.load(open("out.json"))
for i in range(1, 20):
    d = json.loads(json.dumps(doc))
    d["input"]["path"] = "clip-%02d.yuv" % i
    d["summary"]["blur"]["worst"][0]["value"] = i / 4
    kind = i % 4
    if kind == 1:
        for f in d["verdict"]["findings"]: f["severity"] = "warning"
        d["verdict"]["status"] = "warn"
    elif kind == 2:
        d["verdict"] = {"status": "pass", "profile": None, "findings": []}
    elif kind == 3:
        d["verdict"] = None
    json.dump(d, open("results/clip-%02d.json" % i, "w"))
PY
"$frameprobe" index catalogue.html results
cat > catalogue-probe.js <<'JS'
(function () {
  var root = document.documentElement, out = [], table = document.getElementById("catalogue");
  function check(ok, what) { if (!ok) out.push(what); }
  var body = table.tBodies[0], heads = [].slice.call(table.tHead.rows[0].cells);
  function rows() { return [].slice.call(body.rows); }
  function column(name) { return heads.map(function (th) { return th.textContent; }).indexOf(name); }
  function values(c) { return rows().map(function (r) { return r.cells[c].dataset.value; }); }
  check(rows().length === 20, rows().length + " rows");
  var statuses = rows().map(function (r) { return r.dataset.status; });
  check(statuses.slice(0, 5).every(function (s) { return s === "fail"; }) && statuses[5] === "warn" &&
        statuses[19] === "not judged",
        "failed first: " + statuses.join());
  var link = table.querySelector("a[href='results/result.html']");
  check(link && link.closest("tr").cells[0].textContent === "results/result.json", "a link to the report");
  var blur = column("worst blur");
  check(blur > 0 && heads[blur].dataset.worse === "higher", "a worst blur column");
  heads[blur].click();
  var worst = values(blur).map(Number), highest = Math.max.apply(null, worst);
  check(worst[0] === highest && worst.every(function (v, k) { return !k || worst[k - 1] >= v; }), "worst first: " + worst);
  heads[blur].click();
  check(+values(blur)[0] === Math.min.apply(null, worst), "sorted the other way: " + values(blur)[0]);
  heads[column("result")].click();
  check(values(column("result"))[0] === "results/clip-01.json", "by name: " + values(column("result"))[0]);
  var filter = document.getElementById("filter");
  function shown(words) { filter.value = words; filter.dispatchEvent(new Event("input")); return +table.dataset.shown; }
  check(shown("clip-07") === 1, "filter clip-07: " + table.dataset.shown);
  check(shown("warn") === 5, "filter warn: " + table.dataset.shown);
  check(shown("no such file") === 0 && shown("") === 20, "filter: " + table.dataset.shown);
  var csv = atob(document.getElementById("csv").getAttribute("href").split(",")[1]).split("\n");
  var header = csv[0].split(","), at = header.indexOf("worst_blur");
  check(csv.length === 22 && csv[21] === "", "csv: " + csv.length + " lines");
  check(at > 0 && header.indexOf("worst_blackout") < 0, "csv header: " + csv[0]);
  var clip = csv.filter(function (l) { return l.indexOf("results/clip-08.json,clip-08.yuv,fail,") === 0; })[0] || "";
  check(clip.split(",")[at] === "2", "csv row: " + clip);
  check(root.scrollWidth <= window.innerWidth + 1, "the page scrolls sideways at " + window.innerWidth + " px");
  // The table fits the window: texts wrap and the worst values give way, a box brings them back.
  var wrap = table.parentNode, box = document.getElementById("show-worst");
  check(wrap.scrollWidth <= wrap.clientWidth + 1, "the table is " + wrap.scrollWidth + " px wide in " + wrap.clientWidth);
  check(box && !box.checked && getComputedStyle(heads[blur]).display === "none", "the worst values stay shown");
  box.checked = true; box.onchange();
  check(getComputedStyle(heads[blur]).display !== "none", "the box does not show the worst values");
  check(/(error|warning): /.test(body.rows[0].cells[column("findings")].textContent), "no findings' text: " +
        body.rows[0].cells[column("findings")].textContent);
  root.dataset.probe = out.length ? out.join("; ") : "ok";
})();
JS
sed 's#</body>#<script src="catalogue-probe.js"></script>\n</body>#' catalogue.html >catalogue-probe.html
timeout 120 "${browser[@]}" --window-size=800,2000 --dump-dom "file://$work/catalogue-probe.html" >catalogue-dom.html 2>/dev/null
grep -q 'data-probe="ok"' catalogue-dom.html || fail "catalogue: $(grep -o 'data-probe="[^"]*"' catalogue-dom.html)"
! grep -q 'data-errors=' catalogue-dom.html || fail "script errors on the catalogue"

# Time codes: a drop-frame clip at 29.97 frames per second that crosses a minute.
ffmpeg -v error -f lavfi -i testsrc=size=64x48:rate=30000/1001 -frames:v 6 -c:v mpeg4 -timecode '00:00:59;28' tc.mov
"$frameprobe" tc.mov -q --no-log --indicators blur -o /dev/null --report timecode.html --timecode
timeout 120 "${browser[@]}" --dump-dom "file://$work/timecode.html" >timecode-dom.html 2>/dev/null
codes=$(grep -o '<text class="axis time"[^>]*>[^<]*' timecode-dom.html | sed 's/.*>//' | sort -u | tr '\n' ' ')
[ "$codes" = "00:00:59;28 00:00:59;29 00:01:00;02 00:01:00;03 00:01:00;04 00:01:00;05 " ] || fail "time codes: $codes"
! grep -q 'data-errors=' timecode-dom.html || fail "script errors with time codes"

# Not blank: a rendered page of plots has many colours.
colours=$(ffmpeg -v error -i report-screenshot.png -vf scale=400:-1:flags=neighbor -f rawvideo -pix_fmt rgb24 - |
  od -An -v -tx1 -w3 | sort -u | wc -l)
[ "$colours" -gt 20 ] || fail "the screenshot has $colours colours"
echo "report in the browser: $plots plots, $events events shaded, $colours colours in report-screenshot.png"
