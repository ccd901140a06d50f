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
  // The table of the mouse and keys, from the viewer's own list, once it has started; the
  // download of the file shown as .glb from then on.
  onRuntimeInitialized: function() {
    var download = document.getElementById('download-glb');
    if (typeof Module._WebExportGlb === 'function') {
      download.disabled = false;
    } else {
      download.hidden = true;  // a build without the export
      download.style.display = 'none';
    }
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
      document.getElementById('maps').textContent = lines[2] || '';
    });
  });
  canvas.addEventListener('mousedown', function() { canvas.focus(); });
  // "Download .glb": the viewer writes the file shown as /exports/NAME.glb (its reason goes
  // on the page when it cannot); the page hands the bytes to the browser and forgets them.
  document.getElementById('download-glb').addEventListener('click', function() {
    var file = Module.UTF8ToString(Module._WebExportGlb());
    if (!file) return;
    var bytes = Module.FS.readFile(file);
    Module.FS.unlink(file);
    var link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob([bytes], {type: 'model/gltf-binary'}));
    link.download = file.slice(file.lastIndexOf('/') + 1);
    document.body.appendChild(link);
    link.click();
    link.remove();
    setTimeout(function() { URL.revokeObjectURL(link.href); }, 1000);
  });
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
