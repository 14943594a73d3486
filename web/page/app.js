// The classroom page: controls, the grid canvas, painting, the chart and the
// files. The world lives in the engine's worker (worker.js); this file only
// sends it requests and draws what it answers.
'use strict';

const $ = (id) => document.getElementById(id);
const STRATEGY_NAMES = ['AllD', '1', 'STFT', '3', 'C-then-AllD', '5', 'TFT', 'AllC'];
// The desktop's palette (the renderer's, as bytes), strategy codes 0..7, white, black.
const PALETTES = {
  design: ['#00ff00', '#00ffff', '#ff0000', '#ff00ff', '#ffff00', '#b2b2b2', '#4f4f4f', '#0000ff', '#ffffff', '#000000'],
  // Okabe and Ito's colours: told apart with red-green colour blindness, each at least 3:1 against black.
  safe: ['#009e73', '#56b4e9', '#d55e00', '#cc79a7', '#f0e442', '#ffffff', '#e69f00', '#0a84ff', '#ffffff', '#000000'],
};
PALETTES.safe[5] = '#bbbbbb';

const worker = new Worker('worker.js');
const grid = $('grid');
const gridContext = grid.getContext('2d');
const state = {
  args: argsFromQuery(location.search), seed: null, rows: 64, cols: 64, running: false, view: 0,
  cellPixels: 9, frame: null, history: [], undo: [], redo: [], stroke: null, pending: new Map(), nextId: 1,
  palette: PALETTES.design, chartColors: [],
};

function request(message) {
  const id = state.nextId++;
  return new Promise((resolve) => {
    state.pending.set(id, resolve);
    worker.postMessage({ ...message, id });
  });
}

// --- The options and the form ---

const FORM_OPTIONS = ['size', 'edges', 'neighbourhood', 'layout', 'seed', 'competition', 'update', 'noise', 'mutation'];

function optionValue(args, name) {
  const at = args.lastIndexOf(`--${name}`);
  if (at < 0) return undefined;
  const next = args[at + 1];
  return next === undefined || next.startsWith('--') ? '' : next;
}

function fillForm(args) {
  for (const name of FORM_OPTIONS) {
    const value = optionValue(args, name);
    if (value !== undefined) $(name).value = value;
  }
  $('play-self').checked = optionValue(args, 'play-self') !== undefined;
  $('extra-point').checked = optionValue(args, 'extra-point') !== undefined;
  for (const pool of POOLS) {
    const codes = poolCodes(optionValue(args, pool));
    document.querySelectorAll(`#${pool} input`).forEach((box) => { box.checked = codes.includes(Number(box.value)); });
  }
  const payoffs = (optionValue(args, 'payoffs') || '3,0,5,1').split(',');
  ['R', 'S', 'T', 'P'].forEach((key, i) => setPayoff(key, payoffs[i]));
}

// The strategy pools: the codes seeding may draw, from an option's value
// (codes 0 to 7 or names, as talvane-batch reads them; none given: all).
const POOLS = ['self-pool', 'other-pool'];
function poolCodes(value) {
  if (!value) return [0, 1, 2, 3, 4, 5, 6, 7];
  const codes = value.split(',').map((item) => (/^[0-7]$/.test(item) ? Number(item) :
    STRATEGY_NAMES.findIndex((name) => !/^\d/.test(name) && name.toLowerCase() === item.toLowerCase())));
  return codes.includes(-1) ? [0, 1, 2, 3, 4, 5, 6, 7] : codes;
}

function makePoolControls() {
  for (const pool of POOLS) {
    $(pool).innerHTML = STRATEGY_NAMES.map((name, k) =>
      `<label><input type="checkbox" value="${k}" checked> ${name === String(k) ? k : `${k} ${name}`}</label>`).join('');
    // A pool keeps at least one strategy.
    $(pool).addEventListener('change', (event) => {
      if (!$(pool).querySelector('input:checked')) event.target.checked = true;
    });
  }
}

// The form's world as options; those the form does not show (the mix, cells
// placed, generations) are kept from the current start.
function formArgs() {
  const kept = [];
  for (let i = 0; i < state.args.length; ++i) {
    const name = state.args[i].replace(/^--/, '');
    const hasValue = state.args[i + 1] !== undefined && !state.args[i + 1].startsWith('--');
    if (![...FORM_OPTIONS, ...POOLS, 'payoffs', 'play-self', 'extra-point'].includes(name)) {
      kept.push(state.args[i]);
      if (hasValue) kept.push(state.args[i + 1]);
    }
    if (hasValue) ++i;
  }
  const args = [];
  for (const name of FORM_OPTIONS) if ($(name).value !== '') args.push(`--${name}`, $(name).value);
  args.push('--payoffs', ['R', 'S', 'T', 'P'].map((k) => $(`payoff${k}`).value).join(','));
  if ($('play-self').checked) args.push('--play-self');
  if ($('extra-point').checked) args.push('--extra-point');
  for (const pool of POOLS) {
    const codes = [...document.querySelectorAll(`#${pool} input:checked`)].map((box) => box.value);
    if (codes.length < 8) args.push(`--${pool}`, codes.join(','));
  }
  return [...args, ...kept];
}

function makePayoffControls() {
  for (const key of ['R', 'S', 'T', 'P']) {
    const row = document.createElement('div');
    row.className = 'payoff';
    row.innerHTML = `<span>${key}</span><input id="slide${key}" type="range" min="-10" max="30" step="0.1" aria-label="${key}">` +
                    `<input id="payoff${key}" type="number" step="any" aria-label="payoff ${key}">`;
    $('payoffs').append(row);
    $(`slide${key}`).addEventListener('input', () => { $(`payoff${key}`).value = $(`slide${key}`).value; nameGame(); });
    $(`payoff${key}`).addEventListener('input', () => { $(`slide${key}`).value = $(`payoff${key}`).value; nameGame(); });
  }
}

function setPayoff(key, value) {
  $(`payoff${key}`).value = value;
  $(`slide${key}`).value = value;
}

function nameGame() {
  worker.postMessage({ type: 'gameName', payoffs: ['R', 'S', 'T', 'P'].map((k) => Number($(`payoff${k}`).value)) });
}

// --- Starting worlds ---

function startWorld(args) {
  worker.postMessage({ type: 'run', on: false });
  state.pendingArgs = args;
  worker.postMessage({ type: 'start', args });
}

// The world file text of these cells (codes row by row), as talvane-batch --save writes it.
function worldFileText(rows, cols, codes) {
  const lines = ['row,col,color,self,other'];
  for (let i = 0; i < rows * cols; ++i) {
    lines.push(`${Math.floor(i / cols)},${i % cols},${codes[i] >> 6},${(codes[i] >> 3) & 7},${codes[i] & 7}`);
  }
  return `${lines.join('\n')}\n`;
}

function openWorldText(text) {
  state.opening = true;
  worker.postMessage({ type: 'load', text });
}

function started(message) {
  // A painted world in the address's fragment replaces the cells of the
  // world of its options, at the generation they give, with its generator
  // as they left it: the world the link was copied from.
  if (state.linkCells) {
    const cells = state.linkCells;
    state.linkCells = null;
    request({ type: 'setCells', codes: cells.codes }).then(({ ok }) => {
      if (!ok) state.linkFault = `The painted cells in this link (${cells.rows} x ${cells.cols}) do not fit its world; the world of its options is shown.`;
      state.opening = ok;
      started(message);
    });
    return;
  }
  state.painted = state.opening === true;
  state.opening = false;
  state.args = state.pendingArgs || state.args;
  state.seed = message.seed;
  state.rows = message.rows;
  state.cols = message.cols;
  state.history = [];
  state.chartColors = [];
  state.undo = [];
  state.redo = [];
  $('refusal').hidden = true;
  if (state.linkFault) {
    $('refusal').textContent = state.linkFault;
    $('refusal').hidden = false;
    state.linkFault = null;
  }
  fillForm(state.args);
  $('seed').value = message.seed;
  history.replaceState(null, '', queryFromArgs(state.args) || location.pathname);
  fitCells();
  document.body.dataset.state = 'ready';
}

function refused(message) {
  if (state.opening || state.linkCells) {
    // The world before (or the world of the link's options) stays.
    state.opening = false;
    state.linkCells = null;
    if (state.frame) document.body.dataset.state = 'ready';
  }
  $('refusal').textContent = message;
  $('refusal').hidden = false;
  $('status').textContent = 'Not started: see the message under the grid.';
  document.body.dataset.refused = message;
}

// --- Drawing ---

// The largest cell (at most the desktop's 9 pixels) whose picture fits the
// space the window gives the grid in device pixels, so that it is drawn
// scaled up, never down, and every cell's border line shows.
function fitCells() {
  const box = $('stage').getBoundingClientRect();
  const room = Math.min(box.width, window.innerHeight - 8 * parseFloat(getComputedStyle(document.documentElement).fontSize));
  const pixels = Math.max(1, room) * (window.devicePixelRatio || 1);
  const k = Math.max(1, Math.min(9, Math.floor(pixels / Math.max(state.rows, state.cols))));
  if (k !== state.cellPixels || !state.frame) {
    state.cellPixels = k;
    worker.postMessage({ type: 'look', view: state.view, cellPixels: k });
  }
}

function hexToRgb(hex) {
  return [1, 3, 5].map((i) => parseInt(hex.slice(i, i + 2), 16));
}

function drawFrame(frame) {
  state.frame = frame;
  if (grid.width !== frame.width || grid.height !== frame.height) {
    grid.width = frame.width;
    grid.height = frame.height;
  }
  const rgb = state.palette.map(hexToRgb);
  const image = gridContext.createImageData(frame.width, frame.height);
  const data = image.data;
  for (let i = 0, o = 0; i < frame.pixels.length; ++i, o += 4) {
    const c = rgb[frame.pixels[i]] || rgb[9];
    data[o] = c[0]; data[o + 1] = c[1]; data[o + 2] = c[2]; data[o + 3] = 255;
  }
  gridContext.putImageData(image, 0, 0);
  $('generation').textContent = `generation ${frame.generation}`;
  $('status').textContent = `${frame.rows} x ${frame.cols} cells, seed ${frame.seed}, ${frame.running ? 'running' : 'paused'}`;
  addToChart(frame);
}

// --- The chart: shares of self strategies, of colours, and cooperation, one point per frame ---

function addToChart(frame) {
  const stats = Float64Array.from(frame.stats);
  const last = state.history[state.history.length - 1];
  if (!last || last.generation !== frame.generation) state.history.push({ generation: frame.generation, stats });
  else last.stats = stats;
  if (state.history.length > 2000) state.history.splice(0, state.history.length - 2000);
  // Colours never change while the world runs, but painting can add one.
  const colors = new Set([...state.chartColors, ...colorsIn(stats)]);
  if (colors.size !== state.chartColors.length) {
    state.chartColors = [...colors].sort((a, b) => a - b);
    makeLegend();
  }
  drawChart();
}

function lineColor(code) { return state.palette[code] === '#ffff00' ? '#c8b400' : state.palette[code]; }

// The look of each series of the chart's view: a colour and a dash.
function seriesStyles() {
  const show = $('chartShow').value;
  if (show === 'colours') return state.chartColors.map((c) => ({ color: lineColor(c), dash: [] }));
  if (show === 'cooperation') {
    const out = [{ color: '#000', dash: [] }, { color: '#000', dash: [6, 4] }];
    for (const c of state.chartColors) out.push({ color: lineColor(c), dash: [] }, { color: lineColor(c), dash: [6, 4] });
    return out;
  }
  return STRATEGY_NAMES.map((_, k) => ({ color: lineColor(k), dash: [] }));
}

function drawChart() {
  const chart = $('chart');
  const width = chart.clientWidth, height = chart.clientHeight;
  if (chart.width !== width) chart.width = width;
  if (chart.height !== height) chart.height = height;
  const context = chart.getContext('2d');
  context.fillStyle = '#fff';
  context.fillRect(0, 0, width, height);
  const points = state.history;
  if (points.length === 0) return;
  const show = $('chartShow').value;
  const series = points.map((p) => chartSeries(p.stats, state.chartColors, show));
  seriesStyles().forEach((style, k) => {
    context.strokeStyle = style.color;
    context.setLineDash(style.dash);
    context.lineWidth = 2;
    context.beginPath();
    let drawing = false;
    series.forEach((values, i) => {
      const value = values[k];
      if (value === null || value === undefined) { drawing = false; return; }
      const x = points.length === 1 ? 0 : (i / (points.length - 1)) * (width - 1);
      const y = (1 - value) * (height - 2) + 1;
      if (drawing) context.lineTo(x, y); else context.moveTo(x, y);
      drawing = true;
    });
    context.stroke();
  });
  context.setLineDash([]);
}

function makeLegend() {
  const names = seriesNames(state.chartColors, $('chartShow').value, STRATEGY_NAMES);
  const styles = seriesStyles();
  $('legend').innerHTML = names.map((name, k) =>
    `<span><i style="background:${styles[k].color}${styles[k].dash.length ? ';opacity:0.55' : ''}"></i>${name}</span>`).join('');
}

// --- Painting: the pencil, the bucket and the whole-grid fill ---

function brush() {
  const color = Number($('brushColor').value);
  return state.view === 1 ? [color < 0 ? 0 : color, -1, -1] : [color, Number($('brushSelf').value), Number($('brushOther').value)];
}

// The cell under a pointer event: the picture's x runs along the rows, y along the columns.
function cellAt(event) {
  const box = grid.getBoundingClientRect();
  const scale = Math.min(box.width / grid.width, box.height / grid.height);
  const left = box.left + (box.width - grid.width * scale) / 2;
  const top = box.top + (box.height - grid.height * scale) / 2;
  const row = Math.floor((event.clientX - left) / scale / (grid.width / state.rows));
  const col = Math.floor((event.clientY - top) / scale / (grid.height / state.cols));
  return row >= 0 && col >= 0 && row < state.rows && col < state.cols ? [row, col] : null;
}

async function paint(cells) {
  if (cells.length === 0) return;
  const answer = await request({ type: 'paint', cells });
  if (answer.before.length) state.painted = true;
  if (state.stroke) {
    state.stroke.before.push(...answer.before);
    state.stroke.after.push(...cells.filter(([r, c]) => answer.before.some(([br, bc]) => br === r && bc === c)));
  }
}

async function paintRegion(tool, row, col) {
  const { codes } = await request({ type: 'cells' });
  const [color, self, other] = brush();
  const keyOf = (code) => (state.view === 1 ? code >> 6 : code & 63);
  const target = keyOf(codes[row * state.cols + col]);
  const cells = [];
  if (tool === 'fill') {
    for (let r = 0; r < state.rows; ++r) for (let c = 0; c < state.cols; ++c) cells.push([r, c, color, self, other]);
  } else {
    // The region of cells like the one clicked, joined side by side (the world's edges as its shape has them).
    const seen = new Uint8Array(state.rows * state.cols);
    const stack = [[row, col]];
    seen[row * state.cols + col] = 1;
    const wrap = optionValue(state.args, 'edges') !== 'fixed';
    while (stack.length) {
      const [r, c] = stack.pop();
      cells.push([r, c, color, self, other]);
      for (const [dr, dc] of [[1, 0], [-1, 0], [0, 1], [0, -1]]) {
        let nr = r + dr, nc = c + dc;
        if (wrap) { nr = (nr + state.rows) % state.rows; nc = (nc + state.cols) % state.cols; }
        if (nr < 0 || nc < 0 || nr >= state.rows || nc >= state.cols) continue;
        const at = nr * state.cols + nc;
        if (!seen[at] && keyOf(codes[at]) === target) { seen[at] = 1; stack.push([nr, nc]); }
      }
    }
  }
  await paint(cells);
}

function beginStroke() { state.stroke = { before: [], after: [] }; }
function endStroke() {
  const stroke = state.stroke;
  state.stroke = null;
  if (stroke && stroke.before.length) { state.undo.push(stroke); state.redo = []; }
}

function pointerPaint(event) {
  const cell = cellAt(event);
  if (!cell) return;
  const tool = document.querySelector('input[name=tool]:checked').value;
  if (tool === 'pencil') {
    state.strokeDone = paint([[...cell, ...brush()]]);
  } else if (event.type === 'pointerdown') {
    state.strokeDone = paintRegion(tool, cell[0], cell[1]);
  }
}

grid.addEventListener('pointerdown', (event) => {
  grid.setPointerCapture(event.pointerId);
  beginStroke();
  pointerPaint(event);
});
grid.addEventListener('pointermove', (event) => { if (state.stroke && event.buttons) pointerPaint(event); });
const finishStroke = async () => { if (!state.stroke) return; await state.strokeDone; endStroke(); };
grid.addEventListener('pointerup', finishStroke);
grid.addEventListener('pointercancel', finishStroke);

async function undo() {
  const stroke = state.undo.pop();
  if (!stroke) return;
  await request({ type: 'paint', cells: stroke.before });
  state.redo.push(stroke);
}
async function redo() {
  const stroke = state.redo.pop();
  if (!stroke) return;
  await request({ type: 'paint', cells: stroke.after });
  state.undo.push(stroke);
}

// --- Running ---

function speedRate() {
  const value = Number($('speed').value);
  if ($('slow').checked) return 2;
  return value >= 100 ? Infinity : Math.round(10 ** (value / 25));
}
function sendRate() {
  const rate = speedRate();
  $('speedText').textContent = rate === Infinity ? 'fastest' : `${rate} / s`;
  worker.postMessage({ type: 'rate', value: rate });
}
function setRunning(on) {
  state.running = on;
  $('run').textContent = on ? 'Pause' : 'Run';
  worker.postMessage({ type: 'run', on });
}
function setView(view) {
  state.view = view;
  $('colours').checked = view === 1;
  worker.postMessage({ type: 'look', view, cellPixels: state.cellPixels });
}
function restartWithForm() { startWorld(formArgs()); }

// --- Files ---

function download(name, blob) {
  const link = document.createElement('a');
  link.href = URL.createObjectURL(blob);
  link.download = name;
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 10000);
}

async function saveWorld() {
  const { text } = await request({ type: 'save' });
  download('world.csv', new Blob([text], { type: 'text/csv' }));
}

function withoutOption(args, name) {
  const out = [];
  for (let i = 0; i < args.length; ++i) {
    if (args[i] === `--${name}`) {
      if (args[i + 1] !== undefined && !args[i + 1].startsWith('--')) ++i;
    } else {
      out.push(args[i]);
    }
  }
  return out;
}

// A link to the start now: its options with its seed; for a painted (or
// opened) world small enough, also its cells now and the generation they
// are at. The page opening it runs the options' world to that generation
// (which draws as many numbers as the painted world's did, whatever its
// cells) and puts the cells in: the world now, as it will go on. { link,
// cells: whether the cells are in it }.
async function linkNow() {
  const address = `${location.origin}${location.pathname}`;
  const args = [...withoutOption(state.args, 'seed'), '--seed', String(state.seed)];
  if (!state.painted) return { link: address + queryFromArgs(args), cells: false };
  const { rows, cols, codes } = await request({ type: 'cells' });
  const cells = await encodeCells(rows, cols, codes);
  const painted = [...withoutOption(withoutOption(args, 'size'), 'generations'), '--size', `${rows}x${cols}`,
                   '--generations', String(state.frame.generation)];
  if (cells.length > LINK_CELLS_LIMIT) return { link: address + queryFromArgs(args), cells: false };
  return { link: `${address}${queryFromArgs(painted)}#cells=${cells}`, cells: true };
}

// --- Wiring ---

worker.onmessage = ({ data }) => {
  if (data.id && state.pending.has(data.id)) {
    state.pending.get(data.id)(data);
    state.pending.delete(data.id);
  }
  switch (data.type) {
    case 'started': started(data); break;
    case 'refused': refused(data.message); break;
    case 'frame': drawFrame(data); break;
    case 'running': state.running = data.running; break;
    case 'gameName': $('gameName').textContent = data.name; break;
    default: break;
  }
};

function fillChoices() {
  for (const id of ['brushSelf', 'brushOther']) {
    $(id).innerHTML = STRATEGY_NAMES.map((name, k) => `<option value="${k}">${k} ${name}</option>`).join('');
  }
  $('brushSelf').value = 0;
  $('brushOther').value = 0;
  $('lesson').innerHTML = LESSONS.map((lesson, i) => `<option value="${i}">${lesson.name}</option>`).join('');
}

function chooseLesson(index) {
  const lesson = LESSONS[index];
  $('lessonText').textContent = lesson.text;
  startWorld(argsFromQuery(lesson.query));
}

const KEYS = {
  ' ': () => setRunning(!state.running),
  r: () => startWorld(state.args),
  n: () => worker.postMessage({ type: 'step' }),
  s: () => { $('slow').checked = !$('slow').checked; sendRate(); },
  v: () => setView(1 - state.view),
  c: () => { const l = $('layout'); l.selectedIndex = (l.selectedIndex + 1) % l.options.length; restartWithForm(); },
  y: () => { $('play-self').checked = !$('play-self').checked; restartWithForm(); },
  '+': () => { $('extra-point').checked = !$('extra-point').checked; restartWithForm(); },
  p: () => {
    const tools = [...document.querySelectorAll('input[name=tool]')];
    const at = tools.findIndex((t) => t.checked);
    tools[(at + 1) % tools.length].checked = true;
  },
};

document.addEventListener('keydown', (event) => {
  const typing = ['INPUT', 'SELECT', 'TEXTAREA'].includes(event.target.tagName) && event.target.type !== 'checkbox' &&
                 event.target.type !== 'radio' && event.target.type !== 'range';
  if (typing) return;
  const key = event.key.toLowerCase();
  if ((event.ctrlKey || event.metaKey) && key === 'z') { event.preventDefault(); undo(); return; }
  if ((event.ctrlKey || event.metaKey) && key === 'y') { event.preventDefault(); redo(); return; }
  if (event.ctrlKey || event.metaKey || event.altKey) return;
  const action = KEYS[key === '=' ? '+' : key];
  if (action) { event.preventDefault(); action(); }
});

makePayoffControls();
makePoolControls();
fillChoices();
makeLegend();
fillForm(state.args);
nameGame();
$('run').onclick = () => setRunning(!state.running);
$('step').onclick = () => worker.postMessage({ type: 'step' });
$('restart').onclick = () => startWorld(state.args);
$('apply').onclick = restartWithForm;
$('speed').oninput = sendRate;
$('slow').onchange = sendRate;
$('colours').onchange = () => setView($('colours').checked ? 1 : 0);
$('safePalette').onchange = () => {
  state.palette = $('safePalette').checked ? PALETTES.safe : PALETTES.design;
  makeLegend();
  if (state.frame) drawFrame(state.frame);
};
$('undo').onclick = undo;
$('redo').onclick = redo;
$('lesson').onchange = () => chooseLesson(Number($('lesson').value));
$('saveWorld').onclick = saveWorld;
$('openWorld').onchange = async () => {
  const file = $('openWorld').files[0];
  if (file) openWorldText(await file.text());
};
$('savePicture').onclick = () => grid.toBlob((blob) => download('world.png', blob), 'image/png');
$('copyLink').onclick = async () => {
  const { link, cells } = await linkNow();
  const note = state.painted && !cells ? ' The painted cells are too many for a link: save the world to keep them.' : '';
  try { await navigator.clipboard.writeText(link); $('status').textContent = `Link copied.${note}`; }
  catch { $('status').textContent = link; }
};
$('chartShow').onchange = () => { makeLegend(); drawChart(); };
$('chartPicture').onclick = () => $('chart').toBlob((blob) => download(`chart-${$('chartShow').value}.png`, blob), 'image/png');
$('chartTable').onclick = () =>
  download('chart.csv', new Blob([chartTable(state.history, state.chartColors)], { type: 'text/csv' }));
$('fullScreen').onclick = () => (document.fullscreenElement ? document.exitFullscreen() : document.documentElement.requestFullscreen());
window.addEventListener('resize', () => { drawChart(); fitCells(); });
$('lessonText').textContent = LESSONS[0].text;
// For benchmarks: seconds the worker takes for this many generations of the world now.
window.talvaneBench = async (generations) => (await request({ type: 'bench', generations })).seconds;
sendRate();
(async () => {
  const fragment = new URLSearchParams(location.hash.slice(1)).get('cells');
  if (fragment) {
    try {
      state.linkCells = await decodeCells(fragment);
    } catch (fault) {
      state.linkFault = `The painted cells in this link cannot be read (${fault.message}); the world of its options is shown.`;
    }
  }
  startWorld(state.args);
})();
