// The engine's worker: holds the one world, steps it, draws it, and answers
// the page's messages, so the page never waits for a generation.
'use strict';
importScripts('talvane-engine.js');

let engine = null;
let api = null;
let running = false;
let rate = 10;            // generations a second asked for; Infinity: as fast as the device goes
let view = 0;             // 0 strategies, 1 colours
let cellPixels = 3;       // pixels per cell side of the pictures sent
let credit = 0;           // generations owed at the asked rate
let lastTick = 0;
const queue = [];

function wrap() {
  api = {
    start: engine.cwrap('tv_start', 'number', ['string']),
    message: engine.cwrap('tv_message', 'string', []),
    restart: engine.cwrap('tv_restart', null, []),
    step: engine.cwrap('tv_step', null, ['number']),
    generation: engine.cwrap('tv_generation', 'number', []),
    rows: engine.cwrap('tv_rows', 'number', []),
    cols: engine.cwrap('tv_cols', 'number', []),
    seed: engine.cwrap('tv_seed', 'number', []),
    setCell: engine.cwrap('tv_set_cell', 'number', ['number', 'number', 'number', 'number', 'number']),
    setCells: engine.cwrap('tv_set_cells', 'number', ['number', 'number']),
    cell: engine.cwrap('tv_cell', 'number', ['number', 'number']),
    save: engine.cwrap('tv_save', 'string', []),
    load: engine.cwrap('tv_load', 'number', ['string']),
    draw: engine.cwrap('tv_draw', 'number', ['number', 'number']),
    width: engine.cwrap('tv_image_width', 'number', []),
    height: engine.cwrap('tv_image_height', 'number', []),
    stats: engine.cwrap('tv_stats', 'number', []),
    statsTable: engine.cwrap('tv_stats_table', 'string', []),
    gameName: engine.cwrap('tv_game_name', 'string', ['number', 'number', 'number', 'number']),
  };
}

// Every cell's code (colour * 64 + self * 8 + others), row by row.
function allCodes() {
  const rows = api.rows(), cols = api.cols();
  const codes = new Int16Array(rows * cols);
  for (let r = 0; r < rows; ++r) for (let c = 0; c < cols; ++c) codes[r * cols + c] = api.cell(r, c);
  return codes;
}

function setAll(codes) {
  const pointer = engine._malloc(codes.length * 4);
  if (!pointer) return false;
  engine.HEAP32.set(Int32Array.from(codes), pointer / 4);
  const ok = api.setCells(pointer, codes.length) === 1;
  engine._free(pointer);
  return ok;
}

// The grid as palette indexes and the statistics, posted to the page.
function sendFrame() {
  const pointer = api.draw(cellPixels, view);
  const width = api.width(), height = api.height();
  const pixels = engine.HEAPU8.slice(pointer, pointer + width * height);
  const stats = engine.HEAPF64.slice(api.stats() / 8, api.stats() / 8 + 19 * 9);
  postMessage({ type: 'frame', width, height, pixels, stats, generation: api.generation(),
                rows: api.rows(), cols: api.cols(), seed: api.seed(), running, view, cellPixels }, [pixels.buffer, stats.buffer]);
}

// Steps as many generations as the rate owes since the last tick, within
// about 30 ms of work, then draws.
function tick() {
  if (!running) return;
  const now = performance.now();
  credit = rate === Infinity ? Infinity : Math.min(credit + (now - lastTick) * rate / 1000, rate + 1);
  lastTick = now;
  const began = performance.now();
  let done = 0;
  while (credit >= 1 && performance.now() - began < 30) {
    api.step(1);
    credit -= 1;
    ++done;
  }
  if (rate === Infinity) credit = 0;
  if (done > 0) sendFrame();
  setTimeout(tick, rate === Infinity ? 0 : Math.max(0, Math.min(16, 1000 / rate)));
}

const handlers = {
  start({ args }) {
    if (api.start(args.join('\n')) !== 1) {
      postMessage({ type: 'refused', message: api.message() });
      return;
    }
    postMessage({ type: 'started', seed: api.seed(), rows: api.rows(), cols: api.cols() });
    sendFrame();
  },
  restart() { api.restart(); sendFrame(); },
  run({ on }) {
    running = on;
    if (on) { lastTick = performance.now(); credit = 1; tick(); }
    postMessage({ type: 'running', running });
  },
  step() { api.step(1); sendFrame(); },
  rate({ value }) { rate = value; },
  look({ view: v, cellPixels: k }) { view = v; cellPixels = k; sendFrame(); },
  // cells: [[row, col, color, self, other], ...] (a code below 0 keeps that
  // part); answers with what they were. Many cells (the bucket, the fill)
  // are set in one pass, so that the world is recounted once.
  paint({ cells, id }) {
    const before = [];
    if (cells.length <= 16) {
      for (const [row, col, color, self, other] of cells) {
        const was = api.cell(row, col);
        if (was < 0) continue;
        if (api.setCell(row, col, color, self, other)) before.push([row, col, was >> 6, (was >> 3) & 7, was & 7]);
      }
    } else {
      const rows = api.rows(), cols = api.cols();
      const codes = allCodes();
      for (const [row, col, color, self, other] of cells) {
        if (row < 0 || col < 0 || row >= rows || col >= cols) continue;
        const was = codes[row * cols + col];
        const now = (color >= 0 && color < 8 ? color : was >> 6) * 64 + (self >= 0 && self < 8 ? self : (was >> 3) & 7) * 8 +
                    (other >= 0 && other < 8 ? other : was & 7);
        if (now !== was) {
          before.push([row, col, was >> 6, (was >> 3) & 7, was & 7]);
          codes[row * cols + col] = now;
        }
      }
      if (before.length) setAll(codes);
    }
    postMessage({ type: 'painted', id, before });
    sendFrame();
  },
  cells({ id }) {
    const codes = allCodes();
    postMessage({ type: 'cells', id, rows: api.rows(), cols: api.cols(), codes }, [codes.buffer]);
  },
  // Every cell at once (codes as tv_cell gives them, row by row): 'cellsSet' says whether they fitted.
  setCells({ codes, id }) {
    const ok = codes.length === api.rows() * api.cols() && setAll(codes);
    postMessage({ type: 'cellsSet', id, ok });
    sendFrame();
  },
  save({ id }) { postMessage({ type: 'saved', id, text: api.save() }); },
  statsTable({ id }) { postMessage({ type: 'statsTable', id, text: api.statsTable() }); },
  load({ text }) {
    if (api.load(text) !== 1) {
      postMessage({ type: 'refused', message: `This world file cannot be opened: ${api.message()}` });
      return;
    }
    postMessage({ type: 'started', seed: api.seed(), rows: api.rows(), cols: api.cols() });
    sendFrame();
  },
  gameName({ payoffs }) { postMessage({ type: 'gameName', name: api.gameName(...payoffs) }); },
  // Seconds for this many generations of a busy world: the world is
  // restarted from its seed (not timed) after every 30 generations, before
  // it settles.
  bench({ generations, id }) {
    let seconds = 0;
    for (let done = 0; done < generations; done += 30) {
      api.restart();
      const began = performance.now();
      api.step(Math.min(30, generations - done));
      seconds += (performance.now() - began) / 1000;
    }
    postMessage({ type: 'bench', id, seconds });
  },
};

onmessage = (event) => {
  if (api) handlers[event.data.type](event.data);
  else queue.push(event.data);
};

TalvaneEngine().then((module) => {
  engine = module;
  wrap();
  postMessage({ type: 'ready' });
  for (const message of queue.splice(0)) handlers[message.type](message);
}).catch((fault) => postMessage({ type: 'refused', message: `The engine could not start: ${fault}` }));
