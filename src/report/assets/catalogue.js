(function () {
  "use strict";
  var table = document.getElementById("catalogue"), body = table.tBodies[0], filter = document.getElementById("filter");
  var key = -1, up = true;
  [].slice.call(table.tHead.rows[0].cells).forEach(function (th, i) {
    th.onclick = function () {
      // A worst value sorts worst first on the first click; cells without a value stay last.
      up = key === i ? !up : th.dataset.worse !== "higher"; key = i;
      var number = th.dataset.sort === "number";
      [].slice.call(body.rows).sort(function (a, b) {
        var x = a.cells[i].dataset.value, y = b.cells[i].dataset.value;
        if (x === "" || y === "") return (x === "") - (y === "");
        var order = number ? (+x) - (+y) : (x < y ? -1 : x > y ? 1 : 0);
        return up ? order : -order;
      }).forEach(function (r) { body.appendChild(r); });
      table.dataset.sorted = i + (up ? " up" : " down");
    };
  });
  // The worst values' columns give way when the table is wider than the window.
  var worst = document.getElementById("show-worst"), wrap = table.parentNode;
  if (worst) {
    worst.onchange = function () { table.dataset.worst = worst.checked ? "shown" : "hidden"; };
    if (wrap.scrollWidth > wrap.clientWidth + 1) {
      worst.checked = false;
      worst.onchange();
    }
  }
  filter.oninput = function () {
    var words = filter.value.toLowerCase();
    [].slice.call(body.rows).forEach(function (r) { r.hidden = r.textContent.toLowerCase().indexOf(words) < 0; });
    table.dataset.shown = [].slice.call(body.rows).filter(function (r) { return !r.hidden; }).length;
  };
  document.documentElement.dataset.ready = "1";
})();
