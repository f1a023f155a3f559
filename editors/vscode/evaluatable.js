// The expression a debug hover evaluates: the whole chain of names, elements and fields that
// ends at the name under the pointer (`ship.hp%` over hp%, `pts[2].x` over x, `pts` over pts),
// with the suffixes $ and % kept. Nothing inside a text or a comment, a number or a hexadecimal
// $FF is one. Plain JavaScript without the editor's API, so that node tests it alone.
'use strict';

const NAME = /[A-Za-z][A-Za-z0-9_]*[$%]?/y;
const isWordChar = c => c !== undefined && /[A-Za-z0-9_]/.test(c);

// Where each character of the line stands: 'code', 'text' (inside double quotes) or 'comment'.
function regions(line) {
  const kinds = new Array(line.length).fill('code');
  let inText = false;
  for (let k = 0; k < line.length; ++k) {
    const c = line[k];
    if (inText) {
      kinds[k] = 'text';
      if (c === '"') inText = false;  // "" inside a text closes and reopens it
      continue;
    }
    if (c === '"') {
      inText = true;
      kinds[k] = 'text';
    } else if (c === "'" || (/^REM\b/i.test(line.slice(k)) && !isWordChar(line[k - 1]))) {
      kinds.fill('comment', k);
      break;
    }
  }
  return kinds;
}

// The names of the line as [start, end) ranges, in code only and not parts of numbers.
function names(line, kinds) {
  const found = [];
  for (let k = 0; k < line.length; ++k) {
    if (kinds[k] !== 'code' || !/[A-Za-z]/.test(line[k]) || isWordChar(line[k - 1])) continue;
    NAME.lastIndex = k;
    const m = NAME.exec(line);
    const end = k + m[0].length;
    const before = line[k - 1];
    // $FF is a number; 1e5's e was skipped above as a part of the number's word.
    if (before !== '$' || isWordChar(line[k - 2])) found.push([k, end]);
    k = end - 1;
  }
  return found;
}

// The start of the chain whose last name starts at `start`: back over ".name" and ".name[...]".
function chainStart(line, kinds, start, starts) {
  let at = start;
  while (line[at - 1] === '.') {
    let before = at - 2;
    if (line[before] === ']') {
      let depth = 0;
      for (; before >= 0; --before) {
        if (kinds[before] !== 'code') continue;
        if (line[before] === ']') ++depth;
        else if (line[before] === '[' && --depth === 0) break;
      }
      if (before < 0) return at;
      before -= 1;
    }
    const name = starts.get(before + 1);
    if (name === undefined) return at;
    at = name;
  }
  return at;
}

// The hover expression at character (0-based) of line: { start, end, text } or null.
function expressionAt(line, character) {
  const kinds = regions(line);
  const found = names(line, kinds);
  const hit = found.find(([s, e]) => character >= s && character < e);
  if (!hit) return null;
  const starts = new Map(found.map(([s, e]) => [e, s]));  // by a name's end, its start
  const start = chainStart(line, kinds, hit[0], starts);
  return { start, end: hit[1], text: line.slice(start, hit[1]) };
}

module.exports = { expressionAt };
