// The classroom page in headless Chromium (the system's, driven by
// playwright-core): the page loads with no console error, a start from the
// address equals talvane-batch --save byte for byte, the grid is the picture
// talvane-batch --image draws, the chart's table agrees with --stats,
// painting and undo change exactly the cells they should, a key steps the
// world, links reproduce starts (painted ones too), the pool editor seeds as
// --self-pool does, and a world too large is refused with a message.
//   node page_test.js PAGE_DIR TALVANE_BATCH [PART_OF_A_TEST_NAME]
'use strict';
const assert = require('assert');
const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');
const { execFileSync } = require('child_process');
const { chromium } = require('playwright-core');
const { argsFromQuery, queryFromArgs, LINK_CELLS_LIMIT } = require('../page/options.js');
const { sixDecimals } = require('../page/chart.js');

const pageDir = path.resolve(process.argv[2]);
const batch = process.argv[3];
const only = process.argv[4];
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

function batchRun(args) {
  execFileSync(batch, [...args, '--log', path.join(scratch, 'log.csv')], { stdio: 'ignore' });
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

async function download(page, button) {
  const [file] = await Promise.all([page.waitForEvent('download', WAIT), page.click(button)]);
  return fs.readFileSync(await file.path(), 'utf8');
}

// The frame on the grid once it is drawn at the cell size the page asked for.
async function settledFrame(page, view) {
  await page.waitForFunction((v) => state.frame && state.frame.cellPixels === state.cellPixels &&
    state.frame.view === v, view, WAIT);
  return page.evaluate(() => ({ cellPixels: state.frame.cellPixels, width: grid.width, height: grid.height }));
}

// Pixels of the grid canvas that differ from a PNG file's, and the first of them.
async function canvasAgainstPng(page, png) {
  return page.evaluate(async (data) => {
    const bytes = Uint8Array.from(atob(data), (c) => c.charCodeAt(0));
    const bitmap = await createImageBitmap(new Blob([bytes], { type: 'image/png' }),
                                           { colorSpaceConversion: 'none', premultiplyAlpha: 'none' });
    const grid = document.getElementById('grid');
    if (bitmap.width !== grid.width || bitmap.height !== grid.height) {
      return { size: `${bitmap.width} x ${bitmap.height} against ${grid.width} x ${grid.height}` };
    }
    const scratch = new OffscreenCanvas(bitmap.width, bitmap.height);
    const context = scratch.getContext('2d');
    context.drawImage(bitmap, 0, 0);
    const want = context.getImageData(0, 0, bitmap.width, bitmap.height).data;
    const have = grid.getContext('2d').getImageData(0, 0, grid.width, grid.height).data;
    let differing = 0, first = null;
    for (let i = 0; i < want.length; i += 4) {
      if (want[i] !== have[i] || want[i + 1] !== have[i + 1] || want[i + 2] !== have[i + 2] || have[i + 3] !== 255) {
        if (first === null) first = { x: (i / 4) % grid.width, y: Math.floor(i / 4 / grid.width) };
        ++differing;
      }
    }
    return { differing, first, pixels: want.length / 4 };
  }, png.toString('base64'));
}

function csvRows(text) {
  const lines = text.trimEnd().split('\n');
  const header = lines[0].split(',');
  return lines.slice(1).map((line) => Object.fromEntries(line.split(',').map((v, i) => [header[i], v])));
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
  async 'the grid is, pixel for pixel, the picture talvane-batch --image draws'(page, base) {
    // At 1280 x 720 a 40 x 40 world is drawn at the desktop's 9 pixels a
    // cell, a 200 x 200 one at 2 (one colour a cell, no borders).
    for (const [query, view] of [['?size=40&seed=3&generations=5', 0],
                                 ['?size=40x27&layout=segregated&edges=fixed&seed=8&generations=3', 1],
                                 ['?size=200&neighbourhood=von-neumann&seed=2&generations=2', 0]]) {
      const generation = Number(new URLSearchParams(query).get('generations'));
      await open(page, base, query, generation);
      if (view === 1) await page.keyboard.press('v');
      const { cellPixels } = await settledFrame(page, view);
      const png = path.join(scratch, 'grid.png');
      batchRun([...argsFromQuery(query), '--image', png, '--cell-pixels', String(cellPixels),
                '--view', view === 1 ? 'colors' : 'strategies']);
      const result = await canvasAgainstPng(page, fs.readFileSync(png));
      assert.ok(result.size === undefined, `${query}: the pictures' sizes differ: ${result.size}`);
      assert.ok(result.pixels > 0);
      assert.strictEqual(result.differing, 0,
                         `${query} at ${cellPixels} pixels a cell: ${result.differing} pixels differ, the first at ` +
                         JSON.stringify(result.first));
    }
  },
  'the chart writes shares with six decimals as C does'() {
    // Exact ties (multiples of 1/128) and values around them, against the shell's printf.
    const values = [];
    for (let k = 0; k <= 256; ++k) values.push(k / 256, k / 1024 + 3);
    const printf = execFileSync('printf', ['%.6f\n', ...values.map(String)], { encoding: 'utf8' }).trimEnd().split('\n');
    assert.deepStrictEqual(values.map(sixDecimals), printf);
  },
  async "the chart's last values are the statistics table's last row"(page, base) {
    const query = '?size=30&layout=random&extra-point&payoffs=3,0.5,5,1&seed=4&generations=6';
    await open(page, base, query, 6);
    await page.keyboard.press('n');
    await page.waitForFunction(() => document.getElementById('generation').textContent === 'generation 7', null, WAIT);
    const chart = csvRows(await download(page, '#chartTable'));
    const last = chart[chart.length - 1];
    assert.strictEqual(last.generation, '7');
    const table = path.join(scratch, 'stats.csv');
    batchRun([...argsFromQuery(query).filter((a, i, all) => a !== '--generations' && all[i - 1] !== '--generations'),
              '--generations', '7', '--stats', table]);
    const rows = csvRows(fs.readFileSync(table, 'utf8'));
    const row = rows[rows.length - 1];
    const shared = Object.keys(last).filter((name) => name in row);
    // The counts, the colours and the cooperation with one's own colour and with others.
    for (const name of ['all_cells', 'all_self_0', 'all_self_7', 'green_cells', 'red_cells', 'all_coop_same',
                        'all_coop_other', 'green_coop_same', 'red_coop_other']) {
      assert.ok(shared.includes(name), `the chart's table has no ${name}`);
    }
    for (const name of shared) assert.strictEqual(last[name], row[name], `${name} differs`);
    const cells = Number(row.all_cells);
    for (let k = 0; k < 8; ++k) {
      assert.ok(Math.abs(Number(last[`share_self_${k}`]) - Number(row[`all_self_${k}`]) / cells) <= 5e-7, `share_self_${k}`);
    }
    assert.ok(Math.abs(Number(last.share_green) + Number(last.share_red) - 1) <= 2e-6);
    // Every view draws from the same points: the legend names what it shows.
    await page.selectOption('#chartShow', 'cooperation');
    assert.match(await page.textContent('#legend'), /green: with own colour.*red: with others/);
    await page.selectOption('#chartShow', 'colours');
    assert.strictEqual((await page.textContent('#legend')).replace(/\s+/g, ''), 'greenred');
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
  async '"Fill all" paints every cell at once, keeping colours, and undo takes it back'(page, base) {
    await open(page, base, '?size=100&layout=random&seed=4&generations=1', 1);
    const before = await savedWorld(page);
    await page.check('input[name=tool][value=fill]');
    await page.selectOption('#brushSelf', '7');
    await page.selectOption('#brushOther', '2');
    const point = await cellPoint(page, 50, 50);
    await page.mouse.click(point.x, point.y);
    const want = before.split('\n').map((line, i) => (i === 0 || line === '' ? line : line.replace(/,\d,\d$/, ',7,2'))).join('\n');
    let filled = await savedWorld(page);
    for (let tries = 0; tries < 50 && filled !== want; ++tries) filled = await savedWorld(page);
    assert.ok(filled === want, 'the fill left cells unpainted or changed colours');
    await page.keyboard.press('Control+z');
    let undone = await savedWorld(page);
    for (let tries = 0; tries < 50 && undone !== before; ++tries) undone = await savedWorld(page);
    assert.ok(undone === before, 'undo did not restore the world');
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
  async '"Copy link" carries a painted world, unless it is too large'(page, base) {
    await page.context().grantPermissions(['clipboard-read', 'clipboard-write']);
    await open(page, base, '?size=24&seed=6&generations=2', 2);
    // A block of TFT by the bucket on a fixed colour region, and two cells by the pencil.
    await page.selectOption('#brushSelf', '6');
    await page.selectOption('#brushOther', '0');
    for (const [row, col] of [[1, 1], [10, 7]]) {
      const point = await cellPoint(page, row, col);
      await page.mouse.click(point.x, point.y);
    }
    await page.waitForFunction(() => state.painted === true, null, WAIT);
    await page.check('input[name=tool][value=bucket]');
    const before = await savedWorld(page);
    // A cell the brush changes.
    const [row, col] = before.split('\n').slice(1).map((l) => l.split(',').map(Number))
      .find(([r, c, , self, other]) => r > 12 && c > 5 && (self !== 6 || other !== 0));
    const point = await cellPoint(page, row, col);
    await page.mouse.click(point.x, point.y);
    let painted = await savedWorld(page);
    for (let tries = 0; tries < 50 && changedLines(before, painted).length === 0; ++tries) painted = await savedWorld(page);
    assert.ok(changedLines(before, painted).length > 0, 'the bucket painted nothing');
    await page.click('#copyLink');
    await page.waitForFunction(() => document.getElementById('status').textContent.startsWith('Link copied.'), null, WAIT);
    const link = await page.evaluate(() => navigator.clipboard.readText());
    assert.match(link, /#cells=24x24\./);
    const other = await page.context().newPage();
    assert.match(link, /[?&]generations=2(&|#)/);
    await open(other, '', link, 2);
    assert.ok(await savedWorld(other) === painted, 'the link gave another world');
    // The link's world goes on as the painted one does (the generator's
    // draws, which break ties, included): three generations, one by one.
    for (let g = 3; g <= 5; ++g) {
      for (const p of [page, other]) {
        await p.keyboard.press('n');
        await p.waitForFunction((n) => document.getElementById('generation').textContent === `generation ${n}`, g, WAIT);
      }
      assert.ok(await savedWorld(other) === await savedWorld(page), `the two worlds went apart at generation ${g}`);
    }
    // A painted random 256 x 256 world does not fit: its link has the options only, and says so.
    await open(page, base, '?size=256&seed=6&generations=0', 0);
    await page.check('input[name=tool][value=pencil]');
    const self = Number((await savedWorld(page)).split('\n')[1].split(',')[3]);
    await page.selectOption('#brushSelf', String((self + 1) % 8));
    const corner = await cellPoint(page, 0, 0);
    await page.mouse.click(corner.x, corner.y);
    await page.waitForFunction(() => state.painted === true, null, WAIT);
    await page.click('#copyLink');
    await page.waitForFunction(() => /too many for a link/.test(document.getElementById('status').textContent), null, WAIT);
    const plain = await page.evaluate(() => navigator.clipboard.readText());
    assert.ok(!plain.includes('#'), `the large world's link has a fragment: ${plain.slice(0, 200)}`);
    assert.ok(LINK_CELLS_LIMIT < 256 * 256, 'the limit lets a random 256 x 256 world in');
  },
  async 'a link with damaged painted cells shows the world of its options and says so'(page, base) {
    await open(page, base, '?size=20&seed=5&generations=1#cells=20x20.AAAA', 1);
    assert.match(await page.textContent('#refusal'), /cannot be read/);
    assert.ok(await savedWorld(page) === batchSave(['--size', '20', '--seed', '5', '--generations', '1']));
  },
  async 'the pool editor seeds as --self-pool and --other-pool do'(page, base) {
    await open(page, base, '?size=30&seed=5&generations=0', 0);
    for (const k of [1, 2, 3, 4, 5, 7]) await page.uncheck(`#self-pool input[value="${k}"]`);
    for (const k of [0, 1, 2, 3, 4, 5, 6]) await page.uncheck(`#other-pool input[value="${k}"]`);
    // The last strategy of a pool cannot be taken out.
    await page.uncheck('#other-pool input[value="7"]').catch(() => {});
    assert.ok(await page.isChecked('#other-pool input[value="7"]'), 'a pool was left empty');
    await page.click('#apply');
    await page.waitForFunction(() => /self-pool=0,6/.test(location.search) && /other-pool=7/.test(location.search), null, WAIT);
    await page.waitForFunction(() => document.body.dataset.state === 'ready', null, WAIT);
    const saved = await savedWorld(page);
    const cells = saved.trimEnd().split('\n').slice(1).map((line) => line.split(',').map(Number));
    assert.strictEqual(cells.length, 900);
    assert.ok(cells.every(([, , , self, other]) => (self === 0 || self === 6) && other === 7), 'a strategy outside the pools');
    assert.ok(new Set(cells.map((c) => c[3])).size === 2, 'one pool strategy was never drawn');
    const args = argsFromQuery(await page.evaluate(() => location.search));
    assert.ok(saved === batchSave(args), 'talvane-batch seeds another world');
    // The editor shows the pools of an address, names or codes.
    await open(page, base, '?size=16&seed=1&self-pool=tft,AllD&other-pool=3&generations=0', 0);
    const checked = await page.evaluate(() => ['self-pool', 'other-pool'].map((id) =>
      [...document.querySelectorAll(`#${id} input:checked`)].map((box) => Number(box.value))));
    assert.deepStrictEqual(checked, [[0, 6], [3]]);
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
  async 'a world too large asked for in the controls leaves the world before running'(page, base) {
    await open(page, base, '?size=20&seed=3&generations=2', 2);
    const before = await savedWorld(page);
    for (const size of ['2000', '1025']) {
      await page.fill('#size', size);
      await page.click('#apply');
      await page.waitForFunction((s) => document.body.dataset.refused !== undefined &&
        !document.getElementById('refusal').hidden && /1024 x 1024/.test(document.getElementById('refusal').textContent),
        size, WAIT);
      assert.ok(await savedWorld(page) === before, `asking for ${size} changed the world`);
      assert.strictEqual(await page.textContent('#generation'), 'generation 2');
      await page.evaluate(() => { delete document.body.dataset.refused; });
    }
    // The world before still steps as talvane-batch runs it, and a world that fits starts again.
    await page.keyboard.press('n');
    await page.waitForFunction(() => document.getElementById('generation').textContent === 'generation 3', null, WAIT);
    assert.ok(await savedWorld(page) === batchSave(['--size', '20', '--seed', '3', '--generations', '3']));
    await page.fill('#size', '1024');
    await page.click('#apply');
    await page.waitForFunction(() => document.getElementById('status').textContent.startsWith('1024 x 1024'), null, WAIT);
    assert.ok(await page.isHidden('#refusal'));
  },
};

(async () => {
  const server = await serve();
  const base = `http://127.0.0.1:${server.address().port}/`;
  const browser = await chromium.launch({ executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
                                          args: ['--no-sandbox'] });
  let failures = 0;
  for (const [name, test] of Object.entries(tests).filter(([n]) => !only || n.includes(only))) {
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
