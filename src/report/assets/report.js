(function () {
  "use strict";
  var data = JSON.parse(document.getElementById("report-data").textContent);
  var W = 1000, H = 132, L = 64, R = 8, T = 6, B = 32, COLS = W - L - R;
  var PALETTE = ["#7a4fb5", "#c0392b", "#16a085", "#d68910", "#2e86c1", "#a04000"];
  // Events take their type's colour, as the legend shows it; a severity is a mark of its own.
  var SEVERITY = { info: "#2e86c1", minor: "#d68910", warning: "#d68910", major: "#c0392b", error: "#c0392b",
                   critical: "#7b241c" };
  var first = data.first, last = data.first + data.frames - 1, bw = data.binWidth;
  var view = [first, last], marked = null, dragFrom = null, stepped = -1, hidden = {};
  var plots = [].slice.call(document.querySelectorAll("figure.plot"));
  var series = {};
  data.plots.forEach(function (p) { series[p.key] = { lo: p.lo || p.v, hi: p.hi || p.lo || p.v, plot: p }; });
  var events = data.events.slice().sort(function (a, b) { return a.start - b.start || a.end - b.end; });
  var tip = document.getElementById("tip");

  function span() { return view[1] - view[0] + 1; }
  function edge(f) { return L + (f - view[0]) / span() * COLS; }
  function el(svg, name, attrs, parent) {
    var node = document.createElementNS(svg.namespaceURI, name);
    for (var k in attrs) node.setAttribute(k, attrs[k]);
    (parent || svg).appendChild(node);
    return node;
  }
  function clear(node) { while (node.firstChild) node.removeChild(node.firstChild); }
  function fmt(v) { return Math.abs(v) >= 1e5 || (v !== 0 && Math.abs(v) < 1e-3) ? v.toExponential(3) : String(+v.toPrecision(6)); }
  function pad(n, w) { n = String(n); while (n.length < w) n = "0" + n; return n; }
  // The time at which frame f starts, as HH:MM:SS.mmm.
  function hms(f) {
    var ms = Math.round(f / data.fps * 1000);
    return pad(Math.floor(ms / 3600000), 2) + ":" + pad(Math.floor(ms / 60000) % 60, 2) + ":" +
      pad(Math.floor(ms / 1000) % 60, 2) + "." + pad(ms % 1000, 3);
  }
  // Time codes (--timecode): frames are counted from the start time code at TC.fps a
  // second; a drop-frame code skips the first DROP numbers of each minute but every tenth.
  var TC = data.timecode || null, DROP = TC && TC.drop ? Math.round(TC.fps / 15) : 0;
  // The frames counted before a time code label (frames since 00:00:00:00 as numbered);
  // a skipped label counts as the first frame after it.
  function counted(label) {
    var minutes = Math.floor(label / (TC.fps * 60));
    if (DROP && minutes % 10 && label % (TC.fps * 60) < DROP) label += DROP - label % (TC.fps * 60);
    return label - DROP * (minutes - Math.floor(minutes / 10));
  }
  function labelOf(n) {
    if (!DROP) return n;
    var per10 = TC.fps * 600 - 9 * DROP, tens = Math.floor(n / per10), rest = n % per10;
    return n + 9 * DROP * tens + (rest >= DROP ? DROP * Math.floor((rest - DROP) / (TC.fps * 60 - DROP)) : 0);
  }
  var tcStart = 0;
  if (TC) {
    var parts = /^(\d+):(\d\d):(\d\d)[:;.](\d\d)$/.exec(TC.start) || [0, 0, 0, 0, 0];
    tcStart = counted(((+parts[1] * 60 + +parts[2]) * 60 + +parts[3]) * TC.fps + +parts[4]);
  }
  function timecode(f) {
    var label = labelOf(tcStart + f), second = Math.floor(label / TC.fps);
    return pad(Math.floor(second / 3600), 2) + ":" + pad(Math.floor(second / 60) % 60, 2) + ":" + pad(second % 60, 2) +
      (DROP ? ";" : ":") + pad(label % TC.fps, 2);
  }
  function clock(f) { return TC ? timecode(f) : hms(f); }
  // Both, where there is room: the time code with the time beside it.
  function when(f) { return TC ? timecode(f) + " (" + hms(f) + ")" : hms(f); }
  function typeColour(t) { return PALETTE[Math.max(0, data.eventTypes.indexOf(t)) % PALETTE.length]; }
  function colourOf(e) { return typeColour(e.type); }
  function shown(e) { return !hidden[e.type]; }
  function binsInView() { return [Math.max(0, Math.floor((view[0] - first) / bw)), Math.min(data.bins - 1, Math.floor((view[1] - first) / bw))]; }
  function niceStep(raw) {
    var mag = Math.pow(10, Math.floor(Math.log10(raw))), r = raw / mag;
    return mag * (r <= 1 ? 1 : r <= 2 ? 2 : r <= 5 ? 5 : 10);
  }
  // Ticks of the time axis at round times (or round frame numbers below two
  // seconds), each with the frame it falls on: [position in frames, time, frame].
  var SECONDS = [1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 14400, 28800, 86400];
  function ticks() {
    var out = [], k;
    if (TC && span() >= 2 * TC.fps) return timecodeTicks();
    if (span() < 2 * data.fps) {
      var step = niceStep(Math.max(1, span() / 7));
      for (k = Math.ceil(view[0] / step) * step; k <= view[1]; k += step) out.push([k + 0.5, clock(k), k]);
      return out;
    }
    var seconds = span() / data.fps, s = SECONDS[SECONDS.length - 1];
    for (k = 0; k < SECONDS.length; k++) if (seconds / SECONDS[k] <= 7) { s = SECONDS[k]; break; }
    for (k = Math.ceil(view[0] / data.fps / s) * s; k * data.fps <= view[1] + 1; k += s) {
      var f = Math.ceil(k * data.fps - 1e-9);
      if (f >= view[0] && f <= view[1]) out.push([k * data.fps, clock(f), f]);
    }
    return out;
  }
  // Ticks at round time codes: on the frame that carries the label or, where a drop-frame
  // code skips it, the frame after.
  function timecodeTicks() {
    var out = [], seconds = span() / TC.fps, s = SECONDS[SECONDS.length - 1], k;
    for (k = 0; k < SECONDS.length; k++) if (seconds / SECONDS[k] <= 7) { s = SECONDS[k]; break; }
    var from = Math.ceil(Math.floor(labelOf(tcStart + view[0]) / TC.fps) / s) * s;
    for (k = from; ; k += s) {
      var f = counted(k * TC.fps) - tcStart;
      if (f > view[1]) break;
      if (f >= view[0]) out.push([f, timecode(f), f]);
    }
    return out;
  }
  function timeAxis(svg) {
    ticks().forEach(function (t) {
      var x = edge(t[0]), anchor = x < L + 36 ? "start" : x > L + COLS - 36 ? "end" : "middle";
      el(svg, "line", { "class": "tick", x1: x, x2: x, y1: H - B, y2: H - B + 4 });
      el(svg, "text", { "class": "axis time", x: x, y: H - B + 14, "text-anchor": anchor }).textContent = t[1];
      el(svg, "text", { "class": "axis", x: x, y: H - 4, "text-anchor": anchor }).textContent = t[2];
    });
    el(svg, "text", { "class": "axis", x: L - 4, y: H - B + 14, "text-anchor": "end" }).textContent = TC ? "time code" : "time";
    el(svg, "text", { "class": "axis", x: L - 4, y: H - 4, "text-anchor": "end" }).textContent = "frame";
  }

  // Values are drawn per pixel column: the bins falling into one column give
  // their smallest and largest value. Lines draw a vertical stroke between
  // them and break where a bin has no value; flags fill the columns where
  // they are set; sparse values get a marker each, joined across the frames
  // between them; bands fill the area between the lows and the highs.
  function drawPlot(fig) {
    var svg = fig.querySelector("svg"), s = series[fig.dataset.indicator], style = s.plot.style;
    clear(svg);
    var range = binsInView(), lo = Infinity, hi = -Infinity, b, any = false;
    for (b = range[0]; b <= range[1]; b++) {
      if (s.lo[b] !== null) { lo = Math.min(lo, s.lo[b]); hi = Math.max(hi, s.hi[b]); }
    }
    for (b = 0; b < data.bins && !any; b++) any = s.lo[b] !== null;
    // A plot with limits shows them beside its values.
    var limits = s.plot.limits;
    if (limits && lo !== Infinity) { lo = Math.min(lo, limits[0]); hi = Math.max(hi, limits[1]); }
    if (style === "flag" || lo === Infinity) { lo = 0; hi = 1; }
    if (lo === hi) { lo -= 0.5; hi += 0.5; }
    var step = niceStep((hi - lo) / 4);
    lo = Math.floor(lo / step + 1e-9) * step; hi = Math.ceil(hi / step - 1e-9) * step;
    function y(v) { return T + (1 - (v - lo) / (hi - lo)) * (H - T - B); }
    el(svg, "rect", { "class": "frame", x: L, y: T, width: COLS, height: H - T - B });
    for (var v = lo; v <= hi + step / 2; v += step) {
      var yv = y(v), label = style === "flag" ? (v === 0 ? "off" : v === 1 ? "on" : "") : fmt(+v.toPrecision(12));
      if (!label) continue;
      el(svg, "line", { "class": "grid", x1: L, x2: L + COLS, y1: yv, y2: yv });
      el(svg, "text", { "class": "axis", x: L - 4, y: yv + 3, "text-anchor": "end" }).textContent = label;
    }
    if (limits) limits.forEach(function (v) {
      if (v >= lo && v <= hi) el(svg, "line", { "class": "limit", x1: L, x2: L + COLS, y1: y(v), y2: y(v) });
    });
    // Events: shaded across their own indicator's plot, a thin stripe on the others.
    events.forEach(function (e) {
      if (!shown(e) || e.end < view[0] || e.start > view[1]) return;
      var own = s.plot.event === e.type;
      var x0 = edge(Math.max(e.start, view[0])), x1 = edge(Math.min(e.end, view[1]) + 1);
      var r = el(svg, "rect", { "class": "event", "data-type": e.type, x: x0, y: T, width: Math.max(1, x1 - x0),
                                height: own ? H - T - B : 4, fill: colourOf(e), opacity: own ? 0.22 : 0.8 });
      el(svg, "title", {}, r).textContent = e.type + (e.severity ? " (" + e.severity + ")" : "") +
        ", frames " + e.start + "-" + e.end + ", " + clock(e.start) + " to " + clock(e.end + 1);
    });
    if (marked) el(svg, "rect", { "class": "mark", x: edge(Math.max(marked[0], view[0])), y: T,
                                  width: Math.max(2, edge(Math.min(marked[1], view[1]) + 1) - edge(Math.max(marked[0], view[0]))), height: H - T - B });
    timeAxis(svg);
    var d = "", points = 0, gaps = 0, col = -1, cLo = 0, cHi = 0, pen = false, bands = "", markers = [], run = [];
    // A stretch of band columns without a gap: along the highs, then back along the lows.
    function closeRun() {
      if (!run.length) return;
      var top = run.map(function (c, k) { return (k ? "L" : "M") + c[0].toFixed(1) + "," + y(c[2]).toFixed(1); });
      var foot = run.slice().reverse().map(function (c) { return "L" + c[0].toFixed(1) + "," + y(c[1]).toFixed(1); });
      d += top.join("") + (run.length === 1 ? "h1" : "") + foot.join("") + "Z";
      run = [];
    }
    function flush() {
      if (col < 0) return;
      var x = L + col + 0.5;
      if (style === "band") {
        run.push([x, cLo, cHi]);
      } else if (style === "flag") {
        if (cHi > 0) bands += "M" + (L + col) + "," + y(1).toFixed(1) + "h1V" + y(0).toFixed(1) + "h-1z";
      } else {
        d += (pen ? "L" : "M") + x.toFixed(1) + "," + y(cHi).toFixed(1) + (pen ? "" : "h0");
        if (cLo !== cHi) d += "L" + x.toFixed(1) + "," + y(cLo).toFixed(1);
        if (style === "sparse") markers.push([x, y(cHi)]);
      }
      pen = true; points++; col = -1;
    }
    for (b = range[0]; b <= range[1]; b++) {
      if (s.lo[b] === null) { flush(); closeRun(); if (style !== "sparse") pen = false; gaps++; continue; }
      var centre = first + b * bw + (bw - 1) / 2;
      var c = Math.max(0, Math.min(COLS - 1, Math.floor((centre - view[0] + 0.5) / span() * COLS)));
      if (c !== col) { flush(); col = c; cLo = s.lo[b]; cHi = s.hi[b]; }
      else { cLo = Math.min(cLo, s.lo[b]); cHi = Math.max(cHi, s.hi[b]); }
    }
    flush();
    closeRun();
    if (style === "flag") el(svg, "path", { "class": "band", d: bands });
    else el(svg, "path", { "class": style === "band" ? "area" : "line", d: d });
    if (markers.length <= COLS / 3) markers.forEach(function (m) { el(svg, "circle", { "class": "marker", cx: m[0], cy: m[1], r: 2.5 }); });
    if (!points) {
      el(svg, "text", { "class": "empty", x: L + COLS / 2, y: T + (H - T - B) / 2 + 4, "text-anchor": "middle" }).textContent =
        any ? "no value in these frames" : (s.plot.why || "no value on any frame of the run");
    }
    el(svg, "line", { "class": "cursor", x1: -10, x2: -10, y1: T, y2: H - B });
    el(svg, "rect", { "class": "select", x: 0, y: T, width: 0, height: H - T - B });
    // What was drawn, for tests and users' scripts: points (pixel columns), empty bins, events.
    fig.dataset.points = points;
    fig.dataset.gaps = gaps;
    fig.dataset.events = svg.querySelectorAll("rect.event").length;
    fig.dataset.empty = any ? "0" : "1";
  }

  // The overview: a row per event type the run could mark, over the whole run,
  // with the current view outlined.
  var strip = document.getElementById("strip"), types = data.runTypes;
  function drawStrip() {
    var rowH = 14, top = 4, h = top + Math.max(1, types.length) * rowH + 4, whole = last - first + 1;
    strip.setAttribute("viewBox", "0 0 " + W + " " + h);
    clear(strip);
    function x(f) { return L + (f - first) / whole * COLS; }
    types.forEach(function (t, i) {
      var yr = top + i * rowH;
      el(strip, "rect", { "class": "row", x: L, y: yr + 1, width: COLS, height: rowH - 2 });
      el(strip, "text", { "class": "axis", x: L - 4, y: yr + rowH - 4, "text-anchor": "end" }).textContent = t;
      events.forEach(function (e, k) {
        if (e.type !== t || !shown(e)) return;
        var r = el(strip, "rect", { "class": "stretch", "data-type": t, "data-index": k, x: x(e.start), y: yr + 1,
                                    width: Math.max(2, x(e.end + 1) - x(e.start)), height: rowH - 2, fill: colourOf(e) });
        el(strip, "title", {}, r).textContent = e.type + (e.severity ? " (" + e.severity + ")" : "") + ", frames " +
          e.start + "-" + e.end + ", " + clock(e.start);
        // The severity: a mark along the stretch's foot in the severity's colour.
        if (e.severity) el(strip, "rect", { "class": "severity-mark", "data-severity": e.severity, x: x(e.start),
                                            y: yr + rowH - 4, width: Math.max(2, x(e.end + 1) - x(e.start)), height: 3,
                                            fill: SEVERITY[e.severity] || "#888" });
      });
    });
    if (!types.length) el(strip, "text", { "class": "empty", x: L + COLS / 2, y: top + 10, "text-anchor": "middle" }).textContent =
      "no requested indicator marks events";
    el(strip, "rect", { "class": "window", x: x(view[0]), y: 1, width: Math.max(1, x(view[1] + 1) - x(view[0])), height: h - 2 });
    strip.dataset.rows = types.length;
    strip.dataset.stretches = strip.querySelectorAll("rect.stretch").length;
  }
  strip.addEventListener("click", function (ev) {
    var k = ev.target.getAttribute && ev.target.getAttribute("data-index");
    if (k !== null && k !== undefined) zoomTo(+k);
  });

  // The legend: a button per event type with its count, which hides or shows
  // its events on the plots, the strip and the table.
  var legend = document.getElementById("legend");
  function drawLegend() {
    clear(legend);
    types.forEach(function (t) {
      var n = events.filter(function (e) { return e.type === t; }).length;
      var button = document.createElement("button");
      button.type = "button";
      button.dataset.type = t;
      button.setAttribute("aria-pressed", hidden[t] ? "false" : "true");
      var swatch = document.createElement("span");
      swatch.className = "swatch";
      swatch.style.background = typeColour(t);
      button.appendChild(swatch);
      button.appendChild(document.createTextNode(t + " (" + n + ")"));
      button.onclick = function () { if (hidden[t]) delete hidden[t]; else hidden[t] = true; update(); };
      legend.appendChild(button);
    });
    var severities = {};
    events.forEach(function (e) { if (e.severity) severities[e.severity] = true; });
    Object.keys(severities).forEach(function (v) {
      var item = document.createElement("span");
      item.className = "hint";
      item.innerHTML = "<span class=\"swatch\"></span>";
      item.firstChild.style.background = SEVERITY[v] || "#888";
      item.appendChild(document.createTextNode(v));
      legend.appendChild(item);
    });
  }

  // The event table: sorted by a click on a heading, filtered by the legend.
  var table = document.getElementById("event-table"), sortKey = null, sortUp = true;
  function drawTable() {
    if (!table) return;
    var body = table.tBodies[0], rows = [].slice.call(body.rows);
    if (sortKey) {
      rows.sort(function (a, b) {
        var x = a.dataset[sortKey], z = b.dataset[sortKey];
        var order = sortKey === "type" || sortKey === "severity" ? (x < z ? -1 : x > z ? 1 : 0) : x - z;
        return (sortUp ? order : -order) || a.dataset.start - b.dataset.start;
      });
      rows.forEach(function (r) { body.appendChild(r); });
    }
    rows.forEach(function (r) { r.hidden = !!hidden[r.dataset.type]; });
  }
  if (table) [].slice.call(table.tHead.rows[0].cells).forEach(function (th) {
    th.onclick = function () {
      sortUp = sortKey === th.dataset.sort ? !sortUp : true;
      sortKey = th.dataset.sort;
      drawTable();
    };
  });

  // The filmstrip: evenly spaced frames and the events' first frames from the
  // gallery, placed along the plots' time axis; a click shows one larger with
  // its frame, time and values.
  var film = document.getElementById("filmstrip"), viewer = document.getElementById("viewer"), filmPictures = [];
  [].slice.call(document.querySelectorAll("#strip-pictures img, figure.event-start img")).forEach(function (img) {
    var copy = img.cloneNode(false);
    copy.removeAttribute("width"); copy.removeAttribute("height");
    if (img.closest("figure.event-start")) copy.className = "event-start";
    copy.onclick = function () { showPicture(copy); };
    filmPictures.push(copy);
    film.appendChild(copy);
  });
  function drawFilmstrip() {
    filmPictures.forEach(function (img) {
      var f = +img.dataset.frame;
      img.hidden = f < view[0] || f > view[1];
      img.style.left = (edge(f + 0.5) / W * 100) + "%";
    });
    film.dataset.pictures = filmPictures.filter(function (img) { return !img.hidden; }).length;
  }
  function valuesAt(f) {
    var b = Math.floor((f - first) / bw);
    return data.plots.map(function (p) {
      var s = series[p.key];
      if (s.lo[b] === null || s.lo[b] === undefined) return p.name + ": no value";
      return p.name + ": " + (s.lo[b] === s.hi[b] ? fmt(s.lo[b]) : fmt(s.lo[b]) + " to " + fmt(s.hi[b]) +
        " (frames " + (first + b * bw) + "-" + Math.min(last, first + b * bw + bw - 1) + ")");
    }).join("\n");
  }
  function showPicture(img) {
    var f = +img.dataset.frame;
    viewer.querySelector("img").src = img.src;
    viewer.querySelector("p").textContent = "frame " + f + ", " + when(f) + "\n" + valuesAt(f);
    viewer.hidden = false;
    viewer.dataset.frame = f;
  }
  viewer.onclick = function () { viewer.hidden = true; };

  // The view lives in the address: "#view=A-B", with "&hide=TYPE,..." when the legend hides types.
  function remember() {
    var list = Object.keys(hidden);
    var hash = "#view=" + view[0] + "-" + view[1] + (list.length ? "&hide=" + list.join(",") : "");
    try { history.replaceState(null, "", hash); } catch (e) { /* a page opened where addresses cannot change */ }
  }
  function update() {
    plots.forEach(drawPlot);
    drawStrip();
    drawLegend();
    drawTable();
    drawFilmstrip();
    document.getElementById("view").textContent = "frames " + view[0] + " to " + view[1] + ", " + clock(view[0]) +
      " to " + clock(view[1] + 1) + (bw > 1 ? " (" + bw + " frames per point)" : "");
    document.documentElement.dataset.view = view[0] + "-" + view[1];
    remember();
  }
  function setView(a, b) {
    a = Math.max(first, Math.round(a)); b = Math.min(last, Math.round(b));
    if (b - a < 1) { a = Math.max(first, Math.min(a, last - 1)); b = Math.min(last, a + 1); }
    view = [a, b];
    update();
  }
  function zoomTo(k) {
    var e = events[k], pad = Math.max(10, Math.round((e.end - e.start + 1) * 2));
    stepped = k;
    marked = [e.start, e.end];
    setView(e.start - pad, e.end + pad);
  }
  // The next or previous shown event from the last one stepped to, else the
  // first starting in the view (n) or the last (p).
  function step(dir) {
    var from = stepped >= 0 ? stepped : null;
    for (var i = 0; i < events.length; i++) {
      var k = dir > 0 ? i : events.length - 1 - i, e = events[k];
      if (!shown(e)) continue;
      if (from !== null ? (dir > 0 ? k > from : k < from) : (dir > 0 ? e.start >= view[0] : e.start <= view[1])) return zoomTo(k);
    }
  }
  function whole() { marked = null; stepped = -1; setView(first, last); }
  function frameAt(svg, clientX) {
    var box = svg.getBoundingClientRect(), x = (clientX - box.left) / box.width * W;
    return Math.max(view[0], Math.min(view[1], view[0] + Math.floor((x - L) / COLS * span())));
  }
  function describe(key, f) {
    var s = series[key], b = Math.floor((f - first) / bw);
    var text = s.plot.name + "\nframe " + f + ", " + when(f) + (TC ? "" : " (" + (f / data.fps).toFixed(3) + " s)") + "\n";
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
      else update();
    });
  });
  document.getElementById("zoom-in").onclick = function () { var c = (view[0] + view[1]) / 2, h = span() / 4; setView(c - h, c + h); };
  document.getElementById("zoom-out").onclick = function () { var c = (view[0] + view[1]) / 2, h = span(); setView(c - h, c + h); };
  document.getElementById("zoom-all").onclick = whole;
  document.addEventListener("keydown", function (ev) {
    if (ev.ctrlKey || ev.metaKey || ev.altKey || /^(INPUT|SELECT|TEXTAREA)$/.test((ev.target && ev.target.tagName) || "")) return;
    if (ev.key === "n") step(1);
    else if (ev.key === "p") step(-1);
    else if (ev.key === "0") whole();
    else return;
    ev.preventDefault();
  });

  // Links "#frame-N" and "#frames-A-B" zoom onto those frames and mark them;
  // "#view=A-B&hide=..." restores a view.
  function follow() {
    var v = /^#view=(\d+)-(\d+)(?:&hide=([^&]*))?$/.exec(location.hash);
    if (v) {
      hidden = {};
      (v[3] ? decodeURIComponent(v[3]).split(",") : []).forEach(function (t) { if (t) hidden[t] = true; });
      setView(+v[1], +v[2]);
      return;
    }
    var m = /^#frames?-(\d+)(?:-(\d+))?$/.exec(location.hash);
    if (!m) return;
    var a = +m[1], b = m[2] === undefined ? a : +m[2], pad = Math.max(10, Math.round((b - a + 1) * 2));
    marked = [a, b];
    setView(a - pad, b + pad);
    document.getElementById("plots").scrollIntoView();
  }
  window.addEventListener("hashchange", follow);
  if (/^#(view|frames?)[=-]/.test(location.hash)) follow(); else update();
  document.documentElement.dataset.ready = "1";
})();
