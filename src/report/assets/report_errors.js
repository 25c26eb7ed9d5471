window.onerror = function (message, source, line) {
  var box = document.getElementById("errors");
  if (box) box.textContent += message + " (line " + line + ")\n";
  document.documentElement.dataset.errors = String((+document.documentElement.dataset.errors || 0) + 1);
};
