#include "report/report_assets.h"

const char* const kReportStyle = R"css(
body { font: 14px/1.4 system-ui, sans-serif; margin: 1.5em; color: #1d2228; background: #fff; }
h1 { font-size: 1.4em; margin: 0 0 .4em; }
h2 { font-size: 1.15em; margin: 1.4em 0 .5em; }
table { border-collapse: collapse; }
th, td { padding: .15em .7em; text-align: left; border-bottom: 1px solid #dde1e6; }
td.n { text-align: right; font-variant-numeric: tabular-nums; }
dl.run { display: grid; grid-template-columns: max-content auto; gap: .1em 1em; margin: 0; }
dl.run dt { color: #5a636e; }
dl.run dd { margin: 0; word-break: break-all; }
.pass { color: #17703a; font-weight: bold; }
.fail { color: #b3261e; font-weight: bold; }
#controls { position: sticky; top: 0; background: #fff; padding: .3em 0; z-index: 1; }
#controls button { margin-right: .3em; }
figure.plot { margin: 0; }
figure.plot figcaption { font-weight: bold; margin-top: .3em; }
figure.plot svg { width: 100%; max-width: 1100px; height: auto; display: block; cursor: crosshair; user-select: none; }
svg .frame { fill: #f6f7f9; stroke: #c3c8cf; stroke-width: .5; }
svg .line { fill: none; stroke: #1f5fa8; stroke-width: 1.3; stroke-linecap: round; stroke-linejoin: round; }
svg .axis { font-size: 10px; fill: #5a636e; }
svg .tick { stroke: #c3c8cf; stroke-width: .5; }
svg .cursor { stroke: #1d2228; stroke-width: .6; }
svg .mark { fill: #f2c200; opacity: .45; }
svg .select { fill: #1f5fa8; opacity: .15; }
#tip { position: fixed; pointer-events: none; background: #1d2228; color: #fff; padding: .2em .5em;
       border-radius: 3px; font-size: 12px; white-space: pre; }
.gallery { display: flex; flex-wrap: wrap; gap: 1em; }
.gallery figure { margin: 0; }
.gallery img { display: block; image-rendering: auto; border: 1px solid #c3c8cf; }
.gallery figcaption { font-size: 12px; max-width: 240px; }
#errors { color: #b3261e; white-space: pre; }
)css";

const char* const kReportErrorScript = R"js(
window.onerror = function (message, source, line) {
  var box = document.getElementById("errors");
  if (box) box.textContent += message + " (line " + line + ")\n";
  document.documentElement.dataset.errors = String((+document.documentElement.dataset.errors || 0) + 1);
};
)js";

const char* const kReportScript = R"js(
(function () {
  "use strict";
  var data = JSON.parse(document.getElementById("report-data").textContent);
  var W = 1000, H = 120, L = 64, R = 8, T = 6, B = 20, COLS = W - L - R;
  var PALETTE = ["#7a4fb5", "#c0392b", "#16a085", "#d68910", "#2e86c1", "#a04000"];
  var first = data.first, last = data.first + data.frames - 1, bw = data.binWidth;
  var view = [first, last], marked = null, dragFrom = null;
  var plots = [].slice.call(document.querySelectorAll("figure.plot"));
  var series = {};
  data.plots.forEach(function (p) { series[p.key] = { lo: p.lo || p.v, hi: p.hi || p.lo || p.v, plot: p }; });
  var tip = document.getElementById("tip");

  function span() { return view[1] - view[0] + 1; }
  function edge(f) { return L + (f - view[0]) / span() * COLS; }
  function el(svg, name, attrs, parent) {
    var node = document.createElementNS(svg.namespaceURI, name);
    for (var k in attrs) node.setAttribute(k, attrs[k]);
    (parent || svg).appendChild(node);
    return node;
  }
  function fmt(v) { return Math.abs(v) >= 1e5 || (v !== 0 && Math.abs(v) < 1e-3) ? v.toExponential(3) : String(+v.toPrecision(6)); }
  function binsInView() { return [Math.max(0, Math.floor((view[0] - first) / bw)), Math.min(data.bins - 1, Math.floor((view[1] - first) / bw))]; }
  function ticks() {
    var step = Math.pow(10, Math.floor(Math.log10(Math.max(1, span() / 5))));
    if (span() / step > 10) step *= span() / step > 20 ? 5 : 2;
    var out = [];
    for (var f = Math.ceil(view[0] / step) * step; f <= view[1]; f += step) out.push(f);
    return out;
  }

  // Values are drawn per pixel column: the bins falling into one column give a
  // vertical stroke from their smallest to their largest value; a bin without
  // any value breaks the line, and a lone value is drawn as a dot.
  function drawPlot(fig) {
    var svg = fig.querySelector("svg"), s = series[fig.dataset.indicator];
    while (svg.firstChild) svg.removeChild(svg.firstChild);
    var range = binsInView(), lo = Infinity, hi = -Infinity, b;
    for (b = range[0]; b <= range[1]; b++) {
      if (s.lo[b] !== null) { lo = Math.min(lo, s.lo[b]); hi = Math.max(hi, s.hi[b]); }
    }
    if (lo === Infinity) { lo = 0; hi = 1; }
    if (lo === hi) { lo -= 0.5; hi += 0.5; }
    function y(v) { return T + (1 - (v - lo) / (hi - lo)) * (H - T - B); }
    el(svg, "rect", { "class": "frame", x: L, y: T, width: COLS, height: H - T - B });
    data.events.forEach(function (e) {
      if (e.end < view[0] || e.start > view[1]) return;
      var x0 = edge(Math.max(e.start, view[0])), x1 = edge(Math.min(e.end, view[1]) + 1);
      var r = el(svg, "rect", { "class": "event", "data-type": e.type, x: x0, y: T, width: Math.max(1, x1 - x0),
                                height: H - T - B, fill: PALETTE[data.eventTypes.indexOf(e.type) % PALETTE.length], opacity: 0.22 });
      el(svg, "title", {}, r).textContent = e.type + ", frames " + e.start + "-" + e.end;
    });
    if (marked) el(svg, "rect", { "class": "mark", x: edge(Math.max(marked[0], view[0])), y: T,
                                  width: Math.max(2, edge(Math.min(marked[1], view[1]) + 1) - edge(Math.max(marked[0], view[0]))), height: H - T - B });
    ticks().forEach(function (f) {
      var x = edge(f + 0.5);
      el(svg, "line", { "class": "tick", x1: x, x2: x, y1: H - B, y2: H - B + 4 });
      el(svg, "text", { "class": "axis", x: x, y: H - 4, "text-anchor": "middle" }).textContent = f;
    });
    el(svg, "text", { "class": "axis", x: L - 4, y: T + 9, "text-anchor": "end" }).textContent = fmt(hi);
    el(svg, "text", { "class": "axis", x: L - 4, y: H - B, "text-anchor": "end" }).textContent = fmt(lo);
    el(svg, "text", { "class": "axis", x: L - 4, y: H - 4, "text-anchor": "end" }).textContent = "frame";
    var d = "", points = 0, gaps = 0, col = -1, cLo = 0, cHi = 0, pen = false;
    function flush() {
      if (col < 0) return;
      var x = (L + col + 0.5).toFixed(1);
      d += (pen ? "L" : "M") + x + "," + y(cHi).toFixed(1) + (pen ? "" : "h0");
      if (cLo !== cHi) d += "L" + x + "," + y(cLo).toFixed(1);
      pen = true; points++; col = -1;
    }
    for (b = range[0]; b <= range[1]; b++) {
      if (s.lo[b] === null) { flush(); pen = false; gaps++; continue; }
      var centre = first + b * bw + (bw - 1) / 2;
      var c = Math.max(0, Math.min(COLS - 1, Math.floor((centre - view[0] + 0.5) / span() * COLS)));
      if (c !== col) { flush(); col = c; cLo = s.lo[b]; cHi = s.hi[b]; }
      else { cLo = Math.min(cLo, s.lo[b]); cHi = Math.max(cHi, s.hi[b]); }
    }
    flush();
    el(svg, "path", { "class": "line", d: d });
    el(svg, "line", { "class": "cursor", x1: -10, x2: -10, y1: T, y2: H - B });
    el(svg, "rect", { "class": "select", x: 0, y: T, width: 0, height: H - T - B });
    // What was drawn, for tests and users' scripts: points (pixel columns), empty bins, events.
    fig.dataset.points = points;
    fig.dataset.gaps = gaps;
    fig.dataset.events = svg.querySelectorAll("rect.event").length;
  }

  function draw() {
    plots.forEach(drawPlot);
    document.getElementById("view").textContent = "frames " + view[0] + " to " + view[1] +
      (bw > 1 ? " (" + bw + " frames per point)" : "");
  }
  function setView(a, b) {
    a = Math.max(first, Math.round(a)); b = Math.min(last, Math.round(b));
    if (b - a < 1) { a = Math.max(first, Math.min(a, last - 1)); b = Math.min(last, a + 1); }
    view = [a, b];
    draw();
  }
  function frameAt(svg, clientX) {
    var box = svg.getBoundingClientRect(), x = (clientX - box.left) / box.width * W;
    return Math.max(view[0], Math.min(view[1], view[0] + Math.floor((x - L) / COLS * span())));
  }
  function describe(key, f) {
    var s = series[key], b = Math.floor((f - first) / bw);
    var text = data.plots.filter(function (p) { return p.key === key; })[0].name + "\nframe " + f +
      ", " + (f / data.fps).toFixed(3) + " s\n";
    if (s.lo[b] === null) return text + "no value";
    if (bw === 1) return text + fmt(s.lo[b]);
    var a = first + b * bw;
    return text + "frames " + a + "-" + Math.min(last, a + bw - 1) + ": " + fmt(s.lo[b]) + " to " + fmt(s.hi[b]);
  }
  function cursorAt(f) {
    plots.forEach(function (fig) {
      var line = fig.querySelector("line.cursor"), x = f === null ? -10 : edge(f + 0.5);
      line.setAttribute("x1", x); line.setAttribute("x2", x);
    });
  }

  plots.forEach(function (fig) {
    var svg = fig.querySelector("svg");
    svg.addEventListener("mousemove", function (ev) {
      var f = frameAt(svg, ev.clientX);
      cursorAt(f);
      tip.hidden = false;
      tip.textContent = describe(fig.dataset.indicator, f);
      tip.style.left = (ev.clientX + 14) + "px"; tip.style.top = (ev.clientY + 14) + "px";
      if (dragFrom !== null) {
        var sel = svg.querySelector("rect.select"), x0 = edge(Math.min(dragFrom, f)), x1 = edge(Math.max(dragFrom, f) + 1);
        sel.setAttribute("x", x0); sel.setAttribute("width", x1 - x0);
      }
    });
    svg.addEventListener("mouseleave", function () { tip.hidden = true; cursorAt(null); dragFrom = null; });
    svg.addEventListener("mousedown", function (ev) { dragFrom = frameAt(svg, ev.clientX); ev.preventDefault(); });
    svg.addEventListener("mouseup", function (ev) {
      var to = frameAt(svg, ev.clientX), from = dragFrom;
      dragFrom = null;
      if (from !== null && to !== from) setView(Math.min(from, to), Math.max(from, to));
      else draw();
    });
  });
  document.getElementById("zoom-in").onclick = function () { var c = (view[0] + view[1]) / 2, h = span() / 4; setView(c - h, c + h); };
  document.getElementById("zoom-out").onclick = function () { var c = (view[0] + view[1]) / 2, h = span(); setView(c - h, c + h); };
  document.getElementById("zoom-all").onclick = function () { marked = null; setView(first, last); };

  // Links "#frame-N" and "#frames-A-B" zoom onto those frames and mark them.
  function follow() {
    var m = /^#frames?-(\d+)(?:-(\d+))?$/.exec(location.hash);
    if (!m) return;
    var a = +m[1], b = m[2] === undefined ? a : +m[2], pad = Math.max(10, Math.round((b - a + 1) * 2));
    marked = [a, b];
    setView(a - pad, b + pad);
    document.getElementById("plots").scrollIntoView();
  }
  window.addEventListener("hashchange", follow);
  draw();
  follow();
  document.documentElement.dataset.ready = "1";
})();
)js";
