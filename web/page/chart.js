// The chart's numbers: the statistics of each frame, as the worker sends
// them, turned into the series the chart draws and the rows of its CSV
// table. The table's columns that talvane-batch --stats also writes have its
// names and its format, so that the two can be set side by side.
'use strict';

// Values of one group in a frame's statistics (web_api.cpp): cells, the
// cells of each self strategy, of each others strategy, then the share of
// cooperation with the own colour and with others (-1: no such game).
const GROUP_VALUES = 19;
const COLOR_NAMES = ['green', 'cyan', 'red', 'color3', 'color4', 'color5', 'color6', 'color7'];

function groupValue(stats, group, at) { return stats[group * GROUP_VALUES + at]; }

// The colour codes that have cells in these statistics.
function colorsIn(stats) {
  return COLOR_NAMES.map((_, c) => c).filter((c) => groupValue(stats, 1 + c, 0) > 0);
}

// A number as C's printf("%.6f") writes it: the nearest six-decimal value,
// an exact tie going to the even last digit (Number.toFixed takes the
// larger). Only a multiple of 1/128 can be an exact tie.
function sixDecimals(x) {
  const scaled = x * 1e6;
  if (Number.isInteger(x * 128) && Math.abs(scaled) < 2 ** 52 && Math.abs(scaled % 1) === 0.5) {
    const low = Math.floor(scaled);
    const even = low % 2 === 0 ? low : low + 1;
    return (even / 1e6).toFixed(6);
  }
  return x.toFixed(6);
}

// A share as the statistics table writes it: an empty field when nothing was measured.
function rateField(value) { return value < 0 ? '' : sixDecimals(value); }

// The series the chart shows in each of its views, from one frame's statistics.
function chartSeries(stats, colors, show) {
  const cells = groupValue(stats, 0, 0);
  const share = (n) => (cells > 0 ? n / cells : 0);
  if (show === 'colours') return colors.map((c) => share(groupValue(stats, 1 + c, 0)));
  if (show === 'cooperation') {
    const out = [groupValue(stats, 0, 17), groupValue(stats, 0, 18)];
    for (const c of colors) out.push(groupValue(stats, 1 + c, 17), groupValue(stats, 1 + c, 18));
    return out.map((v) => (v < 0 ? null : v));
  }
  return Array.from({ length: 8 }, (_, k) => share(groupValue(stats, 0, 1 + k)));
}

// The names of the series of a view, in chartSeries's order.
function seriesNames(colors, show, strategyNames) {
  if (show === 'colours') return colors.map((c) => COLOR_NAMES[c]);
  if (show === 'cooperation') {
    const out = ['all: with own colour', 'all: with others'];
    for (const c of colors) out.push(`${COLOR_NAMES[c]}: with own colour`, `${COLOR_NAMES[c]}: with others`);
    return out;
  }
  return strategyNames.map((name, k) => `${k} ${name}`);
}

// The CSV table of the chart's points: the columns of talvane-batch --stats
// that the chart draws (cells, self strategies, cooperation), then the
// shares drawn.
function chartTable(points, colors) {
  const header = ['generation', 'all_cells'];
  for (let k = 0; k < 8; ++k) header.push(`all_self_${k}`);
  for (const c of colors) header.push(`${COLOR_NAMES[c]}_cells`);
  header.push('all_coop_same', 'all_coop_other');
  for (const c of colors) header.push(`${COLOR_NAMES[c]}_coop_same`, `${COLOR_NAMES[c]}_coop_other`);
  for (let k = 0; k < 8; ++k) header.push(`share_self_${k}`);
  for (const c of colors) header.push(`share_${COLOR_NAMES[c]}`);
  const lines = [header.join(',')];
  for (const { generation, stats } of points) {
    const cells = groupValue(stats, 0, 0);
    const row = [String(generation), String(cells)];
    for (let k = 0; k < 8; ++k) row.push(String(groupValue(stats, 0, 1 + k)));
    for (const c of colors) row.push(String(groupValue(stats, 1 + c, 0)));
    row.push(rateField(groupValue(stats, 0, 17)), rateField(groupValue(stats, 0, 18)));
    for (const c of colors) row.push(rateField(groupValue(stats, 1 + c, 17)), rateField(groupValue(stats, 1 + c, 18)));
    for (let k = 0; k < 8; ++k) row.push(cells > 0 ? sixDecimals(groupValue(stats, 0, 1 + k) / cells) : '');
    for (const c of colors) row.push(cells > 0 ? sixDecimals(groupValue(stats, 1 + c, 0) / cells) : '');
    lines.push(row.join(','));
  }
  return `${lines.join('\n')}\n`;
}

if (typeof module !== 'undefined') {
  module.exports = { sixDecimals, colorsIn, chartSeries, seriesNames, chartTable, COLOR_NAMES };
}
