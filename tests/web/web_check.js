// The browser check of the web build (make web-check): headless chromium, through
// puppeteer-core, opens the page from a local server and checks what only the browser does:
//   - the bundled scene, stopped with Space, equals pixel for pixel the desktop's frame of
//     `trellis --output` after as many ticks;
//   - the canvas's box resized, the frame follows: drawn anew at the new size, equal to the
//     desktop's frame of `trellis --output --size` there, and back again;
//   - W draws the bundled scene shaded, equal to the desktop's frame of `--render shaded`;
//   - the table of mouse and keys is filled from the viewer's own list;
//   - a file given to the file input is shown fitted and shaded, equal to the desktop's frame 1 of
//     `trellis --output x.png --frames 1 FILE`;
//   - a broken file shows the desktop's one-line reason on the page, and the page keeps
//     working (a good file opens after it);
//   - a drag on the canvas (mouse or finger) changes the frame, so do the wheel and '-'; Space restarts the
//     turn and Space stops it;
//   - F12 offers the frame shown as the download trellis-0001.png;
//   - a scene's texture map is found beside it on the page: missing for the scene alone,
//     found when the scene and its image are dropped together, found in a folder picked
//     whole (named in another case, in its textures folder);
//   - "Download .glb" offers the file shown as NAME.glb, a glTF binary with no validator
//     error;
//   - trellis.js and trellis.wasm together stay under the size budget.
//
// Each drop or pick goes into a folder of its own on the page (drop1, drop2, ...), which its
// messages name as the desktop names a file in a folder.
//
// usage: node web_check.js SITE_DIR TRELLIS FIXTURE_SCENE WORK_DIR
//   SITE_DIR       the built page (build/web)
//   TRELLIS        the desktop program, for the frames to compare with
//   FIXTURE_SCENE  a program that writes a small .3ds scene to the path given
//   WORK_DIR       where the files and frames of the check go
'use strict';

const childProcess = require('child_process');
const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');
const puppeteer = require('puppeteer-core');

const kSizeBudget = 400 * 1000;  // bytes of trellis.js and trellis.wasm together
const kChromium = process.env.CHROMIUM || '/usr/bin/chromium';

const [siteDir, trellis, fixtureScene, workDir] = process.argv.slice(2).map((p) => path.resolve(p));
if (!workDir) {
  console.error('usage: node web_check.js SITE_DIR TRELLIS FIXTURE_SCENE WORK_DIR');
  process.exit(2);
}
const assetsDir = path.resolve(__dirname, '../../assets');

let failures = 0;
function check(ok, what, detail) {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}${detail ? ': ' + detail : ''}`);
  if (!ok) failures++;
}

// A static server of the site on a free port of localhost.
function serve(root) {
  const types = {'.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css',
                 '.wasm': 'application/wasm'};
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://x').pathname);
    const file = path.join(root, name === '/' ? 'index.html' : name);
    if (!file.startsWith(root + path.sep) || !fs.existsSync(file)) {
      response.writeHead(404);
      response.end();
      return;
    }
    response.writeHead(200, {'Content-Type': types[path.extname(file)] || 'application/octet-stream'});
    fs.createReadStream(file).pipe(response);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

// The desktop's frame after `frames` ticks as a PNG (the bundled scene without `scene`);
// stderr and status for a file that does not load.
function desktopFrame(frames, scene, cwd, size, render) {
  const out = path.join(workDir, `desktop-${scene ? path.basename(scene) : 'svet'}-${frames}` +
                                     `${size || ''}${render || ''}.png`);
  const args = ['--output', out, '--frames', String(frames)];
  if (size) args.push('--size', size);
  if (render) args.push('--render', render);
  if (scene) args.push(scene);
  const run = childProcess.spawnSync(trellis, args, {cwd: cwd || assetsDir, encoding: 'utf8'});
  return {file: out, status: run.status, stderr: run.stderr};
}

// Counts the pixels where the canvas differs from the PNG at `file` (decoded by the browser
// without colour conversion). -1 when the sizes differ.
async function canvasDiffers(page, file) {
  const png = fs.readFileSync(file).toString('base64');
  return page.evaluate(async (data) => {
    const bytes = Uint8Array.from(atob(data), (c) => c.charCodeAt(0));
    const bitmap = await createImageBitmap(new Blob([bytes], {type: 'image/png'}),
                                           {colorSpaceConversion: 'none', premultiplyAlpha: 'none'});
    const canvas = document.getElementById('canvas');
    if (bitmap.width !== canvas.width || bitmap.height !== canvas.height) return -1;
    const other = new OffscreenCanvas(bitmap.width, bitmap.height);
    const context = other.getContext('2d');
    context.drawImage(bitmap, 0, 0);
    const want = context.getImageData(0, 0, bitmap.width, bitmap.height).data;
    const have = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    let differing = 0;
    for (let i = 0; i < want.length; i += 4) {
      if (want[i] !== have[i] || want[i + 1] !== have[i + 1] || want[i + 2] !== have[i + 2] ||
          have[i + 3] !== 255) {
        differing++;
      }
    }
    return differing;
  }, png);
}

function canvasPixels(page) {
  return page.evaluate(() => {
    const canvas = document.getElementById('canvas');
    const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    let hash = 0;
    let lit = 0;
    for (let i = 0; i < data.length; i += 4) {
      const p = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
      hash = (Math.imul(hash, 31) + p) | 0;
      if (p !== 0) lit++;
    }
    return `${hash}/${lit}`;
  });
}

const ticks = (page) => page.evaluate(() => Module._WebTickCount());

// Waits until `count` more ticks have been drawn.
async function waitTicks(page, count) {
  const start = await ticks(page);
  await page.waitForFunction((n) => Module._WebTickCount() >= n, {timeout: 10000}, start + count);
}

// The drops and picks handed to the page so far: each goes into its own folder there.
let drops = 0;

async function openFile(page, file) {
  const input = await page.$('#file-input');
  await input.uploadFile(file);
  drops++;
  await page.waitForFunction((name) => document.getElementById('file').textContent.includes(name),
                             {timeout: 10000}, path.basename(file));
  await waitTicks(page, 3);
}

// Drops `files` on the canvas at once, as one drop.
async function dropFiles(page, files) {
  const given = files.map((file) => ({name: path.basename(file),
                                      data: fs.readFileSync(file).toString('base64')}));
  await page.evaluate((given) => {
    const transfer = new DataTransfer();
    for (const file of given) {
      const bytes = Uint8Array.from(atob(file.data), (c) => c.charCodeAt(0));
      transfer.items.add(new File([bytes], file.name));
    }
    document.getElementById('canvas').dispatchEvent(
        new DragEvent('drop', {dataTransfer: transfer, bubbles: true, cancelable: true}));
  }, given);
  drops++;
}

// Waits until the page's maps line matches `pattern`; returns it.
async function waitMapsLine(page, pattern) {
  try {
    await page.waitForFunction((source) => new RegExp(source).test(
        document.getElementById('maps').textContent), {timeout: 10000}, pattern.source);
  } catch (error) {
    // The check that follows reports the line as it is.
  }
  return page.$eval('#maps', (e) => e.textContent);
}

async function main() {
  fs.mkdirSync(workDir, {recursive: true});
  const sizes = ['trellis.js', 'trellis.wasm'].map((f) => fs.statSync(path.join(siteDir, f)).size);
  const total = sizes[0] + sizes[1];
  check(total < kSizeBudget, 'size budget',
        `trellis.js ${sizes[0]} + trellis.wasm ${sizes[1]} = ${total} bytes (budget ${kSizeBudget})`);

  const scene = path.join(workDir, 'fixture.3ds');
  childProcess.execFileSync(fixtureScene, [scene]);
  // The fixture cut short inside its vertex list: a load that fails with a reason.
  const broken = path.join(workDir, 'broken.3ds');
  fs.writeFileSync(broken, fs.readFileSync(scene).subarray(0, 100));

  const server = await serve(siteDir);
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'trellis-web-check-'));
  const browser = await puppeteer.launch({
    executablePath: kChromium,
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync',
           '--force-color-profile=srgb', `--user-data-dir=${profile}`],
  });
  try {
    const page = await browser.newPage();
    const outside = [];
    page.on('request', (request) => {
      if (!request.url().startsWith(`http://127.0.0.1:${server.address().port}/`)) {
        outside.push(request.url());
      }
    });
    page.on('pageerror', (error) => check(false, 'page error', error.message));
    page.on('requestfailed', (request) => check(false, 'request failed', request.url()));
    page.on('response', (response) => {
      if (response.status() >= 400) check(false, 'request failed', `${response.status()} ${response.url()}`);
    });
    await page.goto(`http://127.0.0.1:${server.address().port}/`);
    // (Module's exports throw until the module has started.)
    await page.waitForFunction(() => {
      try {
        return Module._WebTickCount() > 3;
      } catch (error) {
        return false;
      }
    }, {timeout: 20000});
    check(outside.length === 0, 'nothing fetched from outside the site', outside.join(' '));

    // The bundled scene, stopped with Space after k ticks, shows the desktop's frame k.
    await page.evaluate(() => window.addEventListener('keydown', (event) => {
      if (event.code === 'Space' && window.spaceTick === undefined) {
        window.spaceTick = Module._WebTickCount();
      }
    }));
    await page.keyboard.press('Space');
    await waitTicks(page, 3);
    const k = await page.evaluate(() => window.spaceTick);
    const bundled = desktopFrame(k);
    const bundledDiff = await canvasDiffers(page, bundled.file);
    check(k > 0 && k <= 100 && bundledDiff === 0, 'bundled scene equals the desktop frame',
          `stopped after ${k} ticks, ${bundledDiff} pixels differ`);
    check((await page.$eval('#file', (e) => e.textContent)).startsWith('svet.3ds'),
          'the file line names the bundled scene');

    // The canvas's box resized: the frame follows its size, drawn anew there (still stopped),
    // as the desktop draws that size; and back.
    const resizeTo = async (width, height) => {
      await page.evaluate((w, h) => {
        const box = document.querySelector('.screen');
        box.style.width = `${w}px`;
        box.style.height = `${h}px`;
      }, width, height);
      await page.waitForFunction((w, h) => {
        const canvas = document.getElementById('canvas');
        return canvas.width === w && canvas.height === h;
      }, {timeout: 10000}, width, height);
      await waitTicks(page, 3);
    };
    await resizeTo(480, 360);
    const resized = desktopFrame(k, null, null, '480x360');
    const resizedDiff = await canvasDiffers(page, resized.file);
    check(resizedDiff === 0, 'the canvas resized shows the desktop frame at its new size',
          `480x360, ${resizedDiff} pixels differ`);
    await resizeTo(640, 480);
    check((await canvasDiffers(page, bundled.file)) === 0,
          'the canvas back at 640x480 shows the bundled frame again');
    // W: the bundled scene's frame shaded, as the desktop's --render shaded draws it (the
    // files opened after keep the shading, as they have it anyway).
    await page.keyboard.press('w');
    await waitTicks(page, 3);
    const shaded = desktopFrame(k, null, null, null, 'shaded');
    const shadedDiff = await canvasDiffers(page, shaded.file);
    check(shadedDiff === 0, 'W: the bundled scene shaded equals the desktop frame',
          `${shadedDiff} pixels differ`);
    const keyRows = await page.$$eval('#keys tr', (rows) => rows.map((r) => r.textContent));
    check(keyRows.length >= 10 && keyRows.some((r) => r.startsWith('U')) &&
          keyRows.some((r) => r.startsWith('W')) &&
          !keyRows.some((r) => r.startsWith('Escape')),
          'the table of mouse and keys comes from the viewer\'s list', `${keyRows.length} rows`);
    check(/objects, .* vertices, .* faces/.test(await page.$eval('#counts', (e) => e.textContent)),
          'the counts line', await page.$eval('#counts', (e) => e.textContent));

    // A picked file: fitted and shaded, its first frame (the turn is still stopped).
    await openFile(page, scene);
    const fitted = desktopFrame(1, scene);
    const fittedDiff = await canvasDiffers(page, fitted.file);
    check(fittedDiff === 0, 'picked file equals the desktop frame, fitted and shaded',
          `${fittedDiff} pixels differ`);

    // A broken file: the desktop's reason on the page, for the file in the folder of its drop.
    await openFile(page, broken);
    const failure = await page.$eval('#failure', (e) => e.textContent);
    const dropFolder = `drop${drops}`;
    fs.mkdirSync(path.join(workDir, dropFolder), {recursive: true});
    fs.copyFileSync(broken, path.join(workDir, dropFolder, path.basename(broken)));
    const desktop = desktopFrame(1, `${dropFolder}/${path.basename(broken)}`, workDir);
    const reason = desktop.stderr.trim().replace(/^trellis: /, '');
    check(desktop.status !== 0 && failure !== '' && failure === reason,
          'broken file shows its reason', `page "${failure}", desktop "${reason}"`);

    // The page keeps working: the good file again, this time dropped on the canvas.
    await dropFiles(page, [scene]);
    await page.waitForFunction((name) => document.getElementById('file').textContent.includes(name),
                               {timeout: 10000}, path.basename(scene));
    await waitTicks(page, 3);
    check((await canvasDiffers(page, fitted.file)) === 0 &&
          (await page.$eval('#failure', (e) => e.textContent)) === '',
          'after the broken file, a good one dropped is shown again');

    // A drag turns the view; Space restarts the turn; Space stops it.
    const before = await canvasPixels(page);
    const box = await (await page.$('#canvas')).boundingBox();
    await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
    await page.mouse.down();
    await page.mouse.move(box.x + box.width / 2 + 60, box.y + box.height / 2 + 20, {steps: 6});
    await page.mouse.up();
    await waitTicks(page, 3);
    const mouseDragged = await canvasPixels(page);
    check(mouseDragged !== before, 'a drag changes the frame');
    await page.touchscreen.touchStart(box.x + box.width / 2, box.y + box.height / 2);
    await page.touchscreen.touchMove(box.x + box.width / 2 - 40, box.y + box.height / 2 - 10);
    await page.touchscreen.touchEnd();
    await waitTicks(page, 3);
    const dragged = await canvasPixels(page);
    check(dragged !== mouseDragged, 'a finger drag changes the frame');
    await page.mouse.wheel({deltaY: -100});
    await waitTicks(page, 3);
    const zoomed = await canvasPixels(page);
    await page.keyboard.type('-');
    await waitTicks(page, 3);
    const unzoomed = await canvasPixels(page);
    check(zoomed !== dragged && unzoomed !== zoomed, 'the wheel and - zoom');
    await page.keyboard.press('Space');
    await waitTicks(page, 5);
    check((await canvasPixels(page)) !== unzoomed, 'Space restarts the turn');
    await page.keyboard.press('Space');
    await waitTicks(page, 2);
    const stopped = await canvasPixels(page);
    await waitTicks(page, 5);
    check((await canvasPixels(page)) === stopped, 'Space stops the turn');

    // F12: the frame shown (stopped) offered as the download trellis-0001.png.
    await page.evaluate(() => {
      HTMLAnchorElement.prototype.click = function() {
        window.savedFrame = {name: this.download, url: this.href};
      };
    });
    await page.keyboard.press('F12');
    await page.waitForFunction(() => window.savedFrame, {timeout: 10000});
    const saved = await page.evaluate(async () => {
      const blob = await (await fetch(window.savedFrame.url)).blob();
      const bitmap = await createImageBitmap(blob, {colorSpaceConversion: 'none',
                                                    premultiplyAlpha: 'none'});
      const other = new OffscreenCanvas(bitmap.width, bitmap.height);
      other.getContext('2d').drawImage(bitmap, 0, 0);
      const want = other.getContext('2d').getImageData(0, 0, bitmap.width, bitmap.height).data;
      const canvas = document.getElementById('canvas');
      const have = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
      let same = want.length === have.length;
      for (let i = 0; same && i < want.length; i++) same = want[i] === have[i];
      return {name: window.savedFrame.name, same};
    });
    check(saved.name === 'trellis-0001.png' && saved.same, 'F12 downloads the frame shown',
          saved.name);

    // "Download .glb": the file shown, exported in the browser, offered as NAME.glb: a glTF
    // binary (magic, version, length) whose first chunk is its JSON, and no validator error.
    // (Only in a build with the export: see TRELLIS_WEB_EXPORT in src/app/web_main.cpp.)
    const withExport = await page.$eval('#download-glb', (e) => !e.hidden);
    if (!withExport) console.log('skip Download .glb: this build has no export (size budget)');
    if (withExport) {
      await page.evaluate(() => { window.savedFrame = undefined; });
      await page.click('#download-glb');
      await page.waitForFunction(() => window.savedFrame, {timeout: 10000});
      const glb = await page.evaluate(async () => {
        const bytes = new Uint8Array(await (await fetch(window.savedFrame.url)).arrayBuffer());
        let text = '';
        for (let i = 0; i < bytes.length; i++) text += String.fromCharCode(bytes[i]);
        return {name: window.savedFrame.name, data: btoa(text)};
      });
      const bytes = Buffer.from(glb.data, 'base64');
      const expectedName = path.basename(scene, '.3ds') + '.glb';
      const header = bytes.length >= 20 && bytes.readUInt32LE(0) === 0x46546C67 &&
                     bytes.readUInt32LE(4) === 2 && bytes.readUInt32LE(8) === bytes.length &&
                     bytes.readUInt32LE(16) === 0x4E4F534A;
      let json = null;
      try {
        json = JSON.parse(bytes.subarray(20, 20 + bytes.readUInt32LE(12)).toString('utf8'));
      } catch (error) {
        json = null;
      }
      check(glb.name === expectedName && header && json !== null && json.asset.version === '2.0' &&
            Array.isArray(json.meshes) && json.meshes.length > 0,
            'Download .glb offers the file shown as glTF binary', `${glb.name}, ${bytes.length} bytes`);
      let validator = null;
      try {
        validator = require('gltf-validator');
      } catch (error) {
        console.log('skip the glTF validator on the download: gltf-validator is not installed');
      }
      if (validator) {
        const report = await validator.validateBytes(new Uint8Array(bytes), {maxIssues: 0});
        check(report.issues.numErrors === 0, 'the downloaded .glb passes the glTF validator',
              report.issues.messages.filter((m) => m.severity === 0).map((m) => m.code).join(' '));
      }
    }

    // Texture maps: the bundled scene names jade.png. Picked alone, its map is missing;
    // dropped together with the image, found beside it; picked as a folder holding the
    // image in another case under Textures/, found there.
    const bundledScene = path.join(assetsDir, 'svet.3ds');
    await openFile(page, bundledScene);
    const alone = await waitMapsLine(page, /missing/);
    check(/^maps: 0 found, 1 missing: "jade\.png"$/.test(alone),
          'a scene picked without its image: the map missing', alone);
    await dropFiles(page, [bundledScene, path.join(assetsDir, 'jade.png')]);
    const together = await waitMapsLine(page, /^maps: 1 found$/);
    check(together === 'maps: 1 found', 'a scene dropped with its image: the map found',
          together);
    check((await page.$eval('#file', (e) => e.textContent)).startsWith('svet.3ds'),
          'of the scene and its image dropped together, the scene is shown');
    const house = path.join(workDir, 'house');
    fs.rmSync(house, {recursive: true, force: true});
    fs.mkdirSync(path.join(house, 'Textures'), {recursive: true});
    fs.copyFileSync(bundledScene, path.join(house, 'house.3ds'));
    fs.copyFileSync(path.join(assetsDir, 'jade.png'), path.join(house, 'Textures', 'JADE.PNG'));
    await openFile(page, bundledScene);  // the map missing again, so that a change shows
    await waitMapsLine(page, /missing/);
    const folderInput = await page.$('#folder-input');
    await folderInput.uploadFile(house);
    drops++;
    await page.waitForFunction(() => document.getElementById('file').textContent.includes('house.3ds'),
                               {timeout: 10000}).catch(() => {});
    const picked = await waitMapsLine(page, /^maps: 1 found$/);
    check(picked === 'maps: 1 found' &&
          (await page.$eval('#file', (e) => e.textContent)).startsWith('house.3ds'),
          'a folder picked whole: its scene shown, the map found in another case', picked);
  } finally {
    await browser.close();
    server.close();
    fs.rmSync(profile, {recursive: true, force: true});
  }
  if (failures > 0) {
    console.log(`web check: ${failures} failed`);
    process.exit(1);
  }
  console.log('web check: all passed');
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
