// The debug hover's expressions (evaluatable.js) on lines of BASIC: each case marks the hovered
// character with a | before it and names the expression vlmdap is asked for (null: none).
'use strict';
const assert = require('node:assert');
const { test } = require('node:test');
const { expressionAt } = require('../../evaluatable.js');

const cases = [
  ['  ship.|hp% = 40', 'ship.hp%'],
  ['  |ship.hp% = 40', 'ship'],
  ['  ship.hp|% = 40', 'ship.hp%'],
  ['PRINT pts[2].|x', 'pts[2].x'],
  ['PRINT |pts[2].x', 'pts'],
  ['PRINT pts[|k - 1].y', 'k'],
  ['PRINT pts[k - 1].|y + 1', 'pts[k - 1].y'],
  ['a = fleet[i, grid[1, 2]].pos.|y', 'fleet[i, grid[1, 2]].pos.y'],
  ['a = fleet[i].|pos.y', 'fleet[i].pos'],
  ['a = ship.parts[1].|y', 'ship.parts[1].y'],
  ['a$ = |name$ + "x"', 'name$'],
  ['IF |a$ = "b" THEN', 'a$'],
  ['PRINT "ship.|hp%"', null],
  ['PRINT "say ""|hi"""', null],
  ['PRINT "a" + |b$', 'b$'],
  ["x = 1 ' ship.|hp%", null],
  ['x = 1 : REM pts[2].|x', null],
  ['|remaining = 2', 'remaining'],
  ['x = $F|F + 1e5', null],
  ['x = $FF + 1|e5', null],
  ['x = $FF + |e', 'e'],
  ['x = (a).|b', 'b'],
  ['x = ].|b', 'b'],
  ['x = |', null],
  ['x = 1 + 2|', null],
];

test('the hovered expression is the chain of names, elements and fields up to the name', () => {
  for (const [marked, expected] of cases) {
    const at = marked.indexOf('|');
    const line = marked.slice(0, at) + marked.slice(at + 1);
    const found = expressionAt(line, at);
    assert.strictEqual(found && found.text, expected, marked);
    if (found) assert.strictEqual(line.slice(found.start, found.end), found.text, marked);
  }
});
