// The page around the viewer: where the viewer's title, counts and complaints are shown.
// Everything the viewer does is in trellis.js and trellis.wasm.
var Module = {
  print: function(line) { console.log(line); },
  // The viewer's one-line reasons ("trellis: FILE: why") go on the page.
  printErr: function(line) {
    console.warn(line);
    if (line.indexOf('trellis: ') === 0) {
      document.getElementById('failure').textContent = line.slice('trellis: '.length);
    }
  },
  // The table of the mouse and keys, from the viewer's own list, once it has started.
  onRuntimeInitialized: function() {
    var table = document.getElementById('keys');
    Module.UTF8ToString(Module._WebKeyLines()).split('\n').forEach(function(line) {
      if (!line) return;
      var parts = line.split('\t');
      var row = table.insertRow();
      row.insertCell().textContent = parts[0];
      row.insertCell().textContent = parts[1];
    });
  },
  // The viewer could not start at all (no WebAssembly, trellis.wasm missing).
  onAbort: function(what) {
    document.getElementById('file').textContent = '';
    document.getElementById('failure').textContent = 'the viewer could not start: ' + what;
  },
};

(function() {
  var canvas = document.getElementById('canvas');
  // Each file opened retitles the window: its name, then what it holds (read once the
  // viewer has finished opening it), and no complaint unless one follows.
  canvas.addEventListener('trellis-title', function(event) {
    document.getElementById('file').textContent = event.detail;
    document.getElementById('failure').textContent = '';
    requestAnimationFrame(function() {
      var lines = Module.UTF8ToString(Module._WebSceneLines()).split('\n');
      document.getElementById('counts').textContent = lines[1] || 'not loaded';
    });
  });
  canvas.addEventListener('mousedown', function() { canvas.focus(); });
  // Until the viewer takes them, files dropped must not make the browser leave the page.
  document.addEventListener('dragover', function(e) { e.preventDefault(); });
  document.addEventListener('dragenter', function() { document.body.classList.add('dragging'); });
  document.addEventListener('dragleave', function(e) {
    if (!e.relatedTarget) document.body.classList.remove('dragging');
  });
  document.addEventListener('drop', function(e) {
    e.preventDefault();
    document.body.classList.remove('dragging');
  });
})();
