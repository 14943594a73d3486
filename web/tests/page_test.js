// The classroom page in headless Chromium (the system's, driven by
// playwright-core): the page loads with no console error, a start from the
// address equals talvane-batch --save byte for byte, painting and undo
// change exactly the cells they should, a key steps the world, and a world
// too large is refused with a message.
//   node page_test.js PAGE_DIR TALVANE_BATCH
'use strict';
const assert = require('assert');
const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');
const { execFileSync } = require('child_process');
const { chromium } = require('playwright-core');
const { argsFromQuery, queryFromArgs } = require('../page/options.js');

const pageDir = path.resolve(process.argv[2]);
const batch = process.argv[3];
const WAIT = { timeout: 30000 };
const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm' };
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'talvane-page-'));

function serve() {
  const server = http.createServer((req, res) => {
    const name = decodeURIComponent(new URL(req.url, 'http://x').pathname);
    const file = path.join(pageDir, name === '/' ? 'index.html' : name);
    if (!file.startsWith(pageDir) || !fs.existsSync(file)) { console.log(`404 ${name}`); res.writeHead(404); res.end(); return; }
    res.writeHead(200, { 'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream' });
    fs.createReadStream(file).pipe(res);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

function batchSave(args) {
  const file = path.join(scratch, 'batch.csv');
  execFileSync(batch, [...args, '--save', file, '--log', path.join(scratch, 'log.csv')], { stdio: 'ignore' });
  return fs.readFileSync(file, 'utf8');
}

async function savedWorld(page) {
  const [download] = await Promise.all([page.waitForEvent('download', WAIT), page.click('#saveWorld')]);
  return fs.readFileSync(await download.path(), 'utf8');
}

async function open(page, base, query, generation) {
  await page.goto(base + query);
  await page.waitForFunction((g) => document.body.dataset.state === 'ready' &&
    document.getElementById('generation').textContent === `generation ${g}`, generation, WAIT);
}

// Client coordinates of the middle of a cell: the picture's x runs along the rows.
async function cellPoint(page, row, col) {
  return page.evaluate(([r, c]) => {
    const grid = document.getElementById('grid');
    const box = grid.getBoundingClientRect();
    const scale = Math.min(box.width / grid.width, box.height / grid.height);
    const k = grid.width / Number(document.getElementById('size').value);
    const left = box.left + (box.width - grid.width * scale) / 2;
    const top = box.top + (box.height - grid.height * scale) / 2;
    return { x: left + (r + 0.5) * k * scale, y: top + (c + 0.5) * k * scale };
  }, [row, col]);
}

function changedLines(before, after) {
  const a = before.split('\n'), b = after.split('\n');
  assert.strictEqual(a.length, b.length, 'the worlds have different sizes');
  return b.filter((line, i) => line !== a[i]);
}

const tests = {
  'the address round-trips through the options'() {
    const args = ['--size', '99', '--edges', 'fixed', '--payoffs', '10,0,19,0', '--play-self', '--place', '1,2,TFT/AllD',
                  '--place', '3,4,7/0'];
    assert.deepStrictEqual(argsFromQuery(queryFromArgs(args)), args);
    assert.deepStrictEqual(argsFromQuery('?size=99&play-self&seed=5'), ['--size', '99', '--play-self', '--seed', '5']);
  },
  async 'a start from the address is the world talvane-batch saves'(page, base) {
    for (const query of ['?size=99&edges=fixed&payoffs=10,0,19,0&play-self&seed=5&generations=30',
                         '?size=40x23&neighbourhood=von-neumann&layout=segregated&seed=7&generations=12',
                         '?size=33&update=fermi&noise=0.5&payoffs=1,0,1.9,0&seed=4&generations=5']) {
      const generation = Number(new URLSearchParams(query).get('generations'));
      await open(page, base, query, generation);
      assert.ok(await savedWorld(page) === batchSave(argsFromQuery(query)), `the worlds of ${query} differ`);
    }
  },
  async 'the pencil paints the cell under the pointer and undo takes it back'(page, base) {
    await open(page, base, '?size=16&seed=2&generations=0', 0);
    const before = await savedWorld(page);
    const line = before.split('\n').find((l) => l.startsWith('3,5,'));
    const [, , color, self] = line.split(',').map(Number);
    const brush = (self + 1) % 8;
    await page.selectOption('#brushSelf', String(brush));
    await page.selectOption('#brushOther', String(brush));
    const point = await cellPoint(page, 3, 5);
    await page.mouse.click(point.x, point.y);
    await page.waitForFunction(() => document.body.dataset.state === 'ready', null, WAIT);
    let painted = await savedWorld(page);
    for (let tries = 0; tries < 50 && painted === before; ++tries) painted = await savedWorld(page);
    assert.deepStrictEqual(changedLines(before, painted), [`3,5,${color},${brush},${brush}`]);
    await page.keyboard.press('Control+z');
    let undone = await savedWorld(page);
    for (let tries = 0; tries < 50 && undone !== before; ++tries) undone = await savedWorld(page);
    assert.ok(undone === before, 'undo did not restore the world');
    await page.keyboard.press('Control+y');
    let redone = await savedWorld(page);
    for (let tries = 0; tries < 50 && redone !== painted; ++tries) redone = await savedWorld(page);
    assert.ok(redone === painted, 'redo did not paint again');
  },
  async 'N steps one generation, as talvane-batch runs it'(page, base) {
    await open(page, base, '?size=50&seed=9&generations=3', 3);
    await page.keyboard.press('n');
    await page.waitForFunction(() => document.getElementById('generation').textContent === 'generation 4', null, WAIT);
    assert.ok(await savedWorld(page) === batchSave(['--size', '50', '--seed', '9', '--generations', '4']));
  },
  async '"Copy link" reproduces a start whose seed came from the clock'(page, base) {
    await page.context().grantPermissions(['clipboard-read', 'clipboard-write']);
    await open(page, base, '?size=20&layout=random&generations=3', 3);
    const first = await savedWorld(page);
    await page.click('#copyLink');
    await page.waitForFunction(() => document.getElementById('status').textContent === 'Link copied.', null, WAIT);
    const link = await page.evaluate(() => navigator.clipboard.readText());
    assert.match(link, /[?&]seed=\d+/);
    await open(page, '', link, 3);
    assert.ok(await savedWorld(page) === first, 'the link gave another world');
  },
  async 'a saved world opens again'(page, base) {
    await open(page, base, '?size=24&seed=3&generations=0', 0);
    const file = path.join(scratch, 'opened.csv');
    fs.writeFileSync(file, batchSave(['--size', '30x17', '--seed', '8', '--generations', '2']));
    await page.setInputFiles('#openWorld', file);
    await page.waitForFunction(() => document.getElementById('status').textContent.startsWith('30 x 17'), null, WAIT);
    assert.ok(await savedWorld(page) === fs.readFileSync(file, 'utf8'), 'the opened world differs');
  },
  async 'a world larger than the page allows is refused with a message'(page, base) {
    await page.goto(`${base}?size=2000`);
    await page.waitForFunction(() => document.body.dataset.refused !== undefined, null, WAIT);
    const message = await page.textContent('#refusal');
    assert.match(message, /up to 1024 x 1024/);
    assert.ok(await page.isVisible('#refusal'));
  },
};

(async () => {
  const server = await serve();
  const base = `http://127.0.0.1:${server.address().port}/`;
  const browser = await chromium.launch({ executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
                                          args: ['--no-sandbox'] });
  let failures = 0;
  for (const [name, test] of Object.entries(tests)) {
    const context = await browser.newContext({ viewport: { width: 1280, height: 720 }, acceptDownloads: true });
    const page = await context.newPage();
    const errors = [];
    page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
    page.on('pageerror', (e) => errors.push(String(e)));
    try {
      await test(page, base);
      assert.deepStrictEqual(errors, [], 'console errors');
      console.log(`ok   ${name}`);
    } catch (fault) {
      ++failures;
      console.log(`FAIL ${name}: ${fault.message}`);
    }
    await context.close();
  }
  await browser.close();
  server.close();
  fs.rmSync(scratch, { recursive: true, force: true });
  process.exit(failures === 0 ? 0 : 1);
})();
