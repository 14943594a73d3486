// The page's address and talvane-batch's options, one for the other: each
// query parameter is an option by its long name ("size=99" is --size 99), an
// empty value a flag ("play-self" is --play-self), a repeated parameter a
// repeated option (place). The engine checks the options as the batch
// runner does; nothing is checked here.
'use strict';

function argsFromQuery(search) {
  const args = [];
  for (const [name, value] of new URLSearchParams(search)) {
    args.push(`--${name}`);
    if (value !== '') args.push(value);
  }
  return args;
}

function queryFromArgs(args) {
  const parts = [];
  for (let i = 0; i < args.length; ++i) {
    const name = args[i].replace(/^--/, '');
    const next = args[i + 1];
    if (next !== undefined && !next.startsWith('--')) {
      parts.push(`${encodeURIComponent(name)}=${encodeURIComponent(next).replace(/%2C/g, ',').replace(/%2F/g, '/')}`);
      ++i;
    } else {
      parts.push(encodeURIComponent(name));
    }
  }
  return parts.length ? `?${parts.join('&')}` : '';
}

// A painted world in a link: the cells go in the address's fragment (which
// no server sees and only the page reads) as "cells=ROWSxCOLS.DATA", DATA
// being base64url of the deflated bytes: each cell's colour code, row by
// row, then each cell's self * 8 + others. A world whose DATA would be
// longer than this many characters is left out of links.
const LINK_CELLS_LIMIT = 32000;

async function squeeze(bytes, stream) {
  const out = await new Response(new Blob([bytes]).stream().pipeThrough(stream)).arrayBuffer();
  return new Uint8Array(out);
}

// codes: colour * 64 + self * 8 + others of each cell, row by row.
async function encodeCells(rows, cols, codes) {
  const cells = rows * cols;
  const bytes = new Uint8Array(2 * cells);
  for (let i = 0; i < cells; ++i) {
    bytes[i] = codes[i] >> 6;
    bytes[cells + i] = codes[i] & 63;
  }
  const packed = await squeeze(bytes, new CompressionStream('deflate'));
  let binary = '';
  for (const b of packed) binary += String.fromCharCode(b);
  const data = btoa(binary).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
  return `${rows}x${cols}.${data}`;
}

// The cells of a fragment's "cells=" value; throws with a message when they cannot be read.
async function decodeCells(text) {
  const match = /^(\d{1,4})x(\d{1,4})\.([A-Za-z0-9_-]+)$/.exec(text);
  if (!match) throw new Error('they are not ROWSxCOLS.DATA');
  const rows = Number(match[1]), cols = Number(match[2]);
  let bytes;
  try {
    const binary = atob(match[3].replace(/-/g, '+').replace(/_/g, '/'));
    bytes = await squeeze(Uint8Array.from(binary, (c) => c.charCodeAt(0)), new DecompressionStream('deflate'));
  } catch {
    throw new Error('their data is damaged');
  }
  const cells = rows * cols;
  if (bytes.length !== 2 * cells) throw new Error(`they do not hold ${rows} x ${cols} cells`);
  const codes = new Int16Array(cells);
  for (let i = 0; i < cells; ++i) {
    if (bytes[i] > 7 || bytes[cells + i] > 63) throw new Error(`cell ${Math.floor(i / cols)},${i % cols} has no such code`);
    codes[i] = bytes[i] * 64 + bytes[cells + i];
  }
  return { rows, cols, codes };
}

// Ready-made starts, each with a short text for students.
const LESSONS = [
  { name: 'Free play', query: '', text: 'A random world of every strategy. Press Space to run, paint cells, change the game.' },
  { name: 'One defector among cooperators (Nowak and May)',
    query: '?size=99&edges=fixed&payoffs=10,0,19,0&play-self&self-pool=AllC&other-pool=AllC&center=AllD/AllD&generations=0&seed=1',
    text: 'Everyone cooperates except one defector in the middle. Defection spreads, but cooperators hold out in ' +
          'clusters: watch the kaleidoscope of shapes that grows, step by step (N).' },
  { name: 'Tags: segregated colours', query: '?layout=segregated&seed=3',
    text: 'Green cells live on one half, red on the other. Strategies for your own colour and for others can differ. ' +
          'Does living apart favour cooperating with your own kind? Compare with the checkerboard lesson.' },
  { name: 'Tags: checkerboard colours', query: '?layout=checkerboard&seed=3',
    text: 'Every neighbour has the other colour, so how cells treat others decides everything. Press V to see the colours.' },
  { name: "Prisoner's Dilemma", query: '?payoffs=3,0,5,1&seed=7',
    text: "Defecting always pays more against one opponent, yet two cooperators do better than two defectors." },
  { name: 'Chicken', query: '?payoffs=3,1,5,0&seed=7',
    text: 'Giving in beats a crash: the worst outcome is when both insist. Watch mixed patterns of strategies.' },
  { name: 'Stag Hunt', query: '?payoffs=5,0,3,1&seed=7',
    text: 'Cooperating pays best if the other cooperates too, but is risky. Which strategies take over?' },
  { name: 'Deadlock', query: '?payoffs=1,0,5,3&seed=7',
    text: 'Here defection is best for both: no dilemma at all. Does any cooperation survive?' },
];

if (typeof module !== 'undefined') module.exports = { argsFromQuery, queryFromArgs, encodeCells, decodeCells, LESSONS, LINK_CELLS_LIMIT };
