// The page's WebAssembly engine against the native talvane-batch: for each
// option set, the world the engine holds after tv_start must be the file
// talvane-batch --save writes, byte for byte, and its statistics must equal
// the last row of talvane-batch --stats; a world too large for the memory
// left is refused.
//   node engine_vs_batch.js PAGE_DIR TALVANE_BATCH
'use strict';
const assert = require('assert');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { execFileSync } = require('child_process');

const [pageDir, batch] = process.argv.slice(2);
const TalvaneEngine = require(path.resolve(pageDir, 'talvane-engine.js'));

// Rules, shapes, edges, layouts, pools, start conditions and variants.
const optionSets = [
  ['--size', '99', '--edges', 'fixed', '--payoffs', '10,0,19,0', '--play-self', '--seed', '5', '--generations', '30'],
  ['--seed', '1', '--generations', '25'],
  ['--size', '40x23', '--neighbourhood', 'von-neumann', '--seed', '7', '--generations', '12', '--layout', 'segregated'],
  ['--size', '31', '--edges', 'fixed', '--neighbourhood', 'von-neumann', '--layout', 'random', '--seed', '3',
   '--generations', '9', '--extra-point'],
  ['--size', '48', '--payoffs', '1,0,1.9,0', '--seed', '11', '--generations', '15'],
  ['--size', '32', '--competition', 'infinite', '--seed', '2', '--generations', '10'],
  ['--size', '30', '--update', 'asynchronous', '--seed', '4', '--generations', '6'],
  ['--size', '30', '--update', 'fermi', '--noise', '0.5', '--seed', '4', '--generations', '6'],
  ['--size', '36', '--mutation', '0.01', '--seed', '9', '--generations', '8', '--self-pool', '0,3,6',
   '--other-pool', 'TFT,AllD'],
  ['--size', '41', '--mix', '7/7:0.9,0/0:0.1', '--seed', '6', '--generations', '10'],
  ['--size', '21', '--edges', 'fixed', '--center', 'AllD/AllD', '--place', '0,5,TFT/AllD', '--seed', '8',
   '--generations', '5'],
  ['--size', '64', '--seed', '12', '--generations', '0', '--threads', '4'],
];

// The header and the last row of a statistics table.
function headerAndLastRow(file) {
  const lines = fs.readFileSync(file, 'utf8').trimEnd().split('\n');
  return `${lines[0]}\n${lines[lines.length - 1]}\n`;
}

// Emscripten 3.1.6 would fetch() the file, which Node cannot do from a path.
TalvaneEngine({ wasmBinary: fs.readFileSync(path.resolve(pageDir, 'talvane-engine.wasm')) }).then((engine) => {
  const start = engine.cwrap('tv_start', 'number', ['string']);
  const message = engine.cwrap('tv_message', 'string', []);
  const save = engine.cwrap('tv_save', 'string', []);
  const statsTable = engine.cwrap('tv_stats_table', 'string', []);
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'talvane-web-'));
  let failures = 0;
  for (const options of optionSets) {
    const name = options.join(' ');
    try {
      const saved = path.join(dir, 'world.csv');
      const table = path.join(dir, 'stats.csv');
      execFileSync(batch, [...options, '--save', saved, '--stats', table, '--log', path.join(dir, 'log.csv')],
                   { stdio: ['ignore', 'ignore', 'pipe'] });
      assert.strictEqual(start(options.join('\n')), 1, message());
      assert.ok(save() === fs.readFileSync(saved, 'utf8'), 'the saved worlds differ');
      assert.ok(statsTable() === headerAndLastRow(table), 'the statistics differ');
      console.log(`ok   ${name}`);
    } catch (fault) {
      ++failures;
      console.log(`FAIL ${name}: ${fault.message}`);
    }
  }
  // Options the page refuses, with a message and the world left as it was.
  const before = save();
  for (const bad of [['--size', '2000'], ['--size', 'x'], ['--save', 'a.csv'], ['--payoffs', '1,2'], ['--bogus']]) {
    const made = start(bad.join('\n'));
    const why = message();
    if (made !== 0 || why.length === 0 || why.startsWith('row,col') || save() !== before) {
      ++failures;
      console.log(`FAIL refused: ${bad.join(' ')}`);
    } else {
      console.log(`ok   refused ${bad.join(' ')}: ${why}`);
    }
  }
  // A world the memory left cannot hold is refused with a message, with no
  // abort, and the world before stays: first with some memory left (the
  // world's own room is refused), then with next to none (even reading the
  // options fails). Freed again, the memory takes the same world.
  start(['--size', '40', '--seed', '3', '--generations', '2'].join('\n'));
  const world = save();
  for (const [chunk, spare] of [[16 << 20, 1], [64 << 10, 0]]) {
    const held = [];
    try {
      for (let p = engine._malloc(chunk); p !== 0; p = engine._malloc(chunk)) held.push(p);
      if (spare === 0) for (let p = engine._malloc(64); p !== 0; p = engine._malloc(64)) held.push(p);
      for (let i = 0; i < spare; ++i) engine._free(held.pop());
      let made;
      let why;
      try {
        made = start(['--size', '1024', '--seed', '3'].join('\n'));
        why = message();
      } catch (fault) {
        made = `a fault: ${fault}`;
      }
      for (const p of held.splice(0)) engine._free(p);
      assert.strictEqual(made, 0, 'the world was not refused');
      assert.match(why, /memory/);
      assert.ok(save() === world, 'the world before changed');
      console.log(`ok   refused with ${spare ? 'some' : 'no'} memory left: ${why}`);
    } catch (fault) {
      for (const p of held) engine._free(p);
      ++failures;
      console.log(`FAIL refused with ${spare ? 'some' : 'no'} memory left: ${fault.message}`);
    }
  }
  if (start(['--size', '1024', '--seed', '3'].join('\n')) === 1 && engine.cwrap('tv_rows', 'number', [])() === 1024) {
    console.log('ok   the freed memory holds a 1024 x 1024 world');
  } else {
    ++failures;
    console.log(`FAIL the freed memory holds no 1024 x 1024 world: ${message()}`);
  }
  fs.rmSync(dir, { recursive: true, force: true });
  process.exit(failures === 0 ? 0 : 1);
});
