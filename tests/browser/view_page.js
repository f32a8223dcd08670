// Opens a shared panorama page in headless Chromium, waits for the viewer and
// takes two screenshots through the DevTools protocol: at the start view and
// turned by 180°. Usage: node view_page.js PAGE_FOLDER OUTDIR [--no-webgl | --no-script | --serve]
// opens PAGE_FOLDER/index.html from file://, or with --serve from a small web
// server on the loopback address. Prints one line per fact, "key=value".
'use strict';
const fs = require('fs');
const http = require('http');
const path = require('path');
const {pathToFileURL} = require('url');
const puppeteer = require('puppeteer-core');

const [folder, outDir, mode] = process.argv.slice(2);
const chromium = process.env.CHROMIUM || '/usr/bin/chromium';

// Serves the folder's files (nothing below it) on 127.0.0.1, any free port.
function serve() {
  const types = {'.html': 'text/html; charset=utf-8', '.js': 'text/javascript',
                 '.css': 'text/css', '.jpg': 'image/jpeg', '.txt': 'text/plain'};
  const server = http.createServer((request, response) => {
    const name = path.basename(decodeURIComponent(request.url.split('?')[0]));
    fs.readFile(path.join(folder, name), (error, data) => {
      if (error) {
        response.writeHead(404);
        response.end();
        return;
      }
      response.writeHead(200, {'Content-Type': types[path.extname(name)] || 'application/octet-stream'});
      response.end(data);
    });
  });
  return new Promise((done) => server.listen(0, '127.0.0.1', () => done(server)));
}

async function main() {
  const server = mode === '--serve' ? await serve() : null;
  const url = server ? `http://127.0.0.1:${server.address().port}/index.html`
                     : pathToFileURL(path.resolve(folder, 'index.html')).href;
  console.log('url=' + url.replace(/^(file|http):.*\//, '$1:'));
  const args = ['--headless=new', '--no-sandbox', '--use-angle=swiftshader',
                '--enable-unsafe-swiftshader', '--window-size=800,450', '--hide-scrollbars'];
  if (mode === '--no-webgl') args.push('--disable-3d-apis');
  const browser = await puppeteer.launch({executablePath: chromium, headless: true, args,
                                          defaultViewport: {width: 800, height: 450}});
  try {
    const page = await browser.newPage();
    if (mode === '--no-script') await page.setJavaScriptEnabled(false);
    const problems = [];
    page.on('pageerror', (e) => problems.push(String(e.message || e)));
    page.on('requestfailed', (r) => problems.push('request failed: ' + r.url().slice(0, 80)));
    await page.goto(url, {waitUntil: 'load'});
    // Loaded, failed (the viewer's error box) or fell back to the flat picture.
    await page.waitForFunction(() => {
      const flat = document.getElementById('flat');
      if (flat && getComputedStyle(flat).display !== 'none') return true;
      if (window.viewer && window.viewer.isLoaded && window.viewer.isLoaded()) return true;
      const box = document.querySelector('.pnlm-error-msg');
      return !!(box && getComputedStyle(box).display !== 'none');
    }, {timeout: 40000, polling: 50});
    const state = await page.evaluate(() => {
      const flat = document.getElementById('flat');
      const box = document.querySelector('.pnlm-error-msg');
      const v = window.viewer;
      return {
        loaded: !!(v && v.isLoaded && v.isLoaded()),
        flat: !!(flat && getComputedStyle(flat).display !== 'none'),
        error: box && getComputedStyle(box).display !== 'none' ? box.textContent : '',
        yaw: v ? v.getYaw() : 0,
        pitch: v ? v.getPitch() : 0,
        hfov: v ? v.getHfov() : 0,
        title: document.title,
      };
    });
    for (const [key, value] of Object.entries(state)) console.log(key + '=' + value);
    console.log('problems=' + problems.join(' | '));
    // Two frames so the view drawn is the one asked for.
    const settle = () => page.evaluate(() => new Promise((done) =>
        requestAnimationFrame(() => requestAnimationFrame(done))));
    if (state.loaded) await settle();
    await page.screenshot({path: path.join(outDir, 'start.png')});
    if (state.loaded) {
      await page.evaluate(() => viewer.setYaw(viewer.getYaw() + 180, false));
      await settle();
      console.log('turnedYaw=' + await page.evaluate(() => viewer.getYaw()));
      await page.screenshot({path: path.join(outDir, 'turned.png')});
    }
  } finally {
    await browser.close();
    if (server) server.close();
  }
}

main().catch((e) => {
  console.log('failure=' + String(e && e.message || e).replace(/\n/g, ' '));
  process.exit(1);
});
