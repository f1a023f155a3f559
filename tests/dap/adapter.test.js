// Protocol tests of vlmdap, the debug adapter, with the protocol's own test
// client: each test starts the adapter, launches (or attaches to) the BASIC
// test program of tests/dap/program built in debug mode, and drives a
// session. After every test no copy of the program may be left running or
// traced.
//
// Environment (set by tests/dap/CMakeLists.txt): VLMDAP the adapter,
// DAP_DEBUGGEE the program, DAP_SOURCES its BASIC folder, NODE_PATH the
// installed npm packages.
'use strict';

const assert = require('assert');
const cp = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { DebugClient } = require('@vscode/debugadapter-testsupport');

const ADAPTER = process.env.VLMDAP;
const PROGRAM = fs.realpathSync(process.env.DAP_DEBUGGEE);
const MAIN = path.join(process.env.DAP_SOURCES, 'main.bas');
const HELPER = path.join(process.env.DAP_SOURCES, 'helper.bas');
const RECORDS = path.join(process.env.DAP_SOURCES, 'records.bas');
const STOP_MS = 20000;  // generous: the program starts its window and GL first

// The 1-based line whose comment ends in @name.
function lineOf(file, name) {
  const lines = fs.readFileSync(file, 'latin1').split('\n');
  const k = lines.findIndex(l => l.trimEnd().endsWith('@' + name));
  assert.ok(k >= 0, `no @${name} in ${file}`);
  return k + 1;
}

function lineWith(file, text) {
  const k = fs.readFileSync(file, 'latin1').split('\n').findIndex(l => l.includes(text));
  assert.ok(k >= 0, `no '${text}' in ${file}`);
  return k + 1;
}

let tmp;
function programEnv() {
  // In the sanitizer build the leak checker would stop the program's threads
  // with ptrace at its exit, which a traced program does not allow, and the
  // sanitizers' own SIGSEGV handler would turn the crash the tests send into
  // an ordinary exit.
  const add = (name, options) => (process.env[name] ? process.env[name] + ':' : '') + options;
  return {
    SDL_VIDEODRIVER: 'offscreen', SDL_AUDIODRIVER: 'dummy', DISPLAY: '', TMPDIR: tmp,
    ASAN_OPTIONS: add('ASAN_OPTIONS', 'detect_leaks=0:handle_segv=0'),
    UBSAN_OPTIONS: add('UBSAN_OPTIONS', 'handle_segv=0'),
  };
}
function launchArgs(words = [], extra = {}) {
  return Object.assign({ program: PROGRAM, args: words, env: programEnv() }, extra);
}

// Copies of the program now running: [{pid, tracer}].
function programsRunning() {
  const found = [];
  for (const entry of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(entry)) continue;
    let exe;
    try {
      exe = fs.readlinkSync(`/proc/${entry}/exe`);
    } catch (e) {
      continue;
    }
    if (exe !== PROGRAM) continue;
    let tracer = '?';
    try {
      tracer = /TracerPid:\s*(\d+)/.exec(fs.readFileSync(`/proc/${entry}/status`, 'utf8'))[1];
    } catch (e) {
      continue;  // gone meanwhile
    }
    found.push({ pid: Number(entry), tracer });
  }
  return found;
}

const sleep = ms => new Promise(resolve => setTimeout(resolve, ms));

// Waits (at most 5 s) until no copy of the program runs.
async function expectNoProgramLeft() {
  for (let k = 0; k < 50 && programsRunning().length > 0; ++k) await sleep(100);
  assert.deepStrictEqual(programsRunning(), [], 'a copy of the program was left behind');
}

function isRunning(pid) {
  try {
    const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
    return !/\) [ZX] /.test(stat);
  } catch (e) {
    return false;
  }
}

describe('vlmdap', function () {
  let dc;
  let output;

  beforeEach(async function () {
    tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'vlmdap-test-'));
    dc = new DebugClient(ADAPTER, '--stdio', 'velmora');
    dc.defaultTimeout = STOP_MS;
    output = [];
    dc.on('output', e => output.push(e.body));
    await dc.start();
  });

  afterEach(async function () {
    if (dc) await dc.stop();
    dc = null;
    fs.rmSync(tmp, { recursive: true, force: true });
    await expectNoProgramLeft();
  });

  const printed = category => output.filter(o => o.category === category).map(o => o.output).join('');

  // initialize, launch or attach, breakpoints per file, configurationDone.
  // Returns the program's pid and the setBreakpoints responses.
  async function start(args, breakpoints = [], how = 'launch') {
    const initialized = dc.waitForEvent('initialized');
    const processEvent = dc.waitForEvent('process');
    const init = await dc.initializeRequest();
    assert.strictEqual(init.body.supportsConfigurationDoneRequest, true);
    if (how === 'launch') await dc.launchRequest(args);
    else await dc.attachRequest(args);
    await initialized;
    const responses = [];
    for (const b of breakpoints) responses.push(await dc.setBreakpointsRequest(b));
    await dc.configurationDoneRequest();
    return { pid: (await processEvent).body.systemProcessId, responses };
  }

  function at(file, lines, more = {}) {
    return { source: { path: file }, breakpoints: lines.map(line => Object.assign({ line }, more)) };
  }

  async function frames() {
    const st = await dc.stackTraceRequest({ threadId: 1 });
    return st.body.stackFrames.map(f => [f.name, f.source.path, f.line]);
  }

  async function step(kind) {
    const stopped = dc.waitForEvent('stopped');
    await dc[kind + 'Request']({ threadId: 1 });
    assert.strictEqual((await stopped).body.reason, 'step');
    return frames();
  }

  // Name -> variable of a scope ('Locals' or 'Globals') of a frame, or of a reference.
  async function variables(ref) {
    const r = await dc.variablesRequest({ variablesReference: ref });
    return Object.fromEntries(r.body.variables.map(v => [v.name, v]));
  }
  async function scope(name, frameId = 1) {
    const r = await dc.scopesRequest({ frameId });
    const s = r.body.scopes.find(x => x.name === name);
    assert.ok(s, `no scope ${name}`);
    return variables(s.variablesReference);
  }
  async function evaluate(expression, frameId = 1, context = 'watch') {
    return (await dc.evaluateRequest({ expression, frameId, context })).body;
  }

  async function toTheEnd(kind = 'continue') {
    const exited = dc.waitForEvent('exited');
    const terminated = dc.waitForEvent('terminated');
    if (kind === 'continue') await dc.continueRequest({ threadId: 1 });
    else await dc.terminateRequest({});
    const code = (await exited).body.exitCode;
    await terminated;
    return code;
  }

  for (const [what, args, message] of [
    ['a program without the debugger channel', { program: '/bin/true' }, /not a Velmora program/],
    ['a missing program', { program: '/nonexistent/program' }, /there is no program/],
    ['in a missing folder', { program: PROGRAM, cwd: '/nonexistent/folder' }, /cannot change to \/nonexistent\/folder/],
  ]) {
    it(`refuses to launch ${what}, leaving nothing running`, async function () {
      await dc.initializeRequest();
      await assert.rejects(dc.launchRequest(Object.assign({ env: programEnv() }, args)), message);
      const threads = await dc.threadsRequest();
      assert.deepStrictEqual(threads.body.threads, []);
    });
  }

  // (The runtime itself changes to the program's folder as it starts, so cwd
  // shows in the program path it resolves and in a folder that is not there.)
  it('launches with stopOnEntry, a program path relative to cwd, args and env, and shows its thread', async function () {
    const stopped = dc.waitForEvent('stopped');
    // The adapter passes on its own environment (PATH, here removed) with the launch's changes.
    assert.ok(process.env.PATH);
    const env = Object.assign(programEnv(), { VLMDAP_TEST_WORD: 'kept', PATH: null });
    const relative = path.relative(tmp, PROGRAM);
    const { pid } = await start(launchArgs(['one', 'two words'], { program: relative, cwd: tmp, env, stopOnEntry: true }));
    assert.strictEqual((await stopped).body.reason, 'entry');
    assert.deepStrictEqual(await frames(), [['main program', MAIN, lineOf(MAIN, 'entry')]]);
    assert.deepStrictEqual((await dc.threadsRequest()).body.threads, [{ id: 1, name: 'main' }]);
    assert.deepStrictEqual(fs.readFileSync(`/proc/${pid}/cmdline`, 'latin1').split('\0').slice(1, -1), ['one', 'two words']);
    const environ = fs.readFileSync(`/proc/${pid}/environ`, 'latin1').split('\0');
    assert.ok(environ.includes('VLMDAP_TEST_WORD=kept'));
    assert.ok(!environ.some(e => e.startsWith('PATH=')));
    assert.ok(environ.includes(`TMPDIR=${tmp}`));
    assert.deepStrictEqual(await step('next'), [['main program', MAIN, lineOf(MAIN, 'entry') + 1]]);
    // The program's own path, as the adapter resolved it against cwd, and its arguments.
    assert.strictEqual((await evaluate('command$')).result, `"${tmp}/${relative} one ""two words"""`);
    assert.strictEqual(await toTheEnd(), 0);
    assert.match(printed('stdout'), /result 84\n/);
  });

  it('verifies breakpoints on lines, moves them to the next statement and refuses others', async function () {
    const before = lineOf(MAIN, 'before-loop');
    const forLine = lineWith(MAIN, 'FOR i = 1 TO 10');
    const { responses } = await start(launchArgs(), [
      at(MAIN, [lineOf(MAIN, 'total'), before, 10000]),
      at(HELPER, [lineOf(HELPER, 'sum')], { condition: 'a =' }),
      at(path.join(tmp, 'other.bas'), [3]),
    ]);
    const shown = responses.map(r => r.body.breakpoints.map(b => [b.verified, b.line]));
    assert.deepStrictEqual(shown, [
      [[true, lineOf(MAIN, 'total')], [true, forLine], [false, 10000]],
      [[false, lineOf(HELPER, 'sum')]],
      [[false, 3]],
    ]);
    assert.match(responses[0].body.breakpoints[1].message, /next statement/);
    assert.match(responses[1].body.breakpoints[0].message, /condition/);
    assert.match(responses[2].body.breakpoints[0].message, /not a module/);
    // The moved breakpoint stops at the FOR statement, before the first pass.
    const stopped = await dc.waitForEvent('stopped');
    assert.strictEqual(stopped.body.reason, 'breakpoint');
    assert.deepStrictEqual(await frames(), [['main program', MAIN, forLine]]);
    await dc.setBreakpointsRequest(at(MAIN, []));
    assert.strictEqual(await toTheEnd(), 0);
  });

  it('stops at a line breakpoint and steps over, into and out of routines', async function () {
    const call = lineOf(MAIN, 'call');
    const stopped = dc.waitForEvent('stopped');
    await start(launchArgs(), [at(MAIN, [call])]);
    assert.strictEqual((await stopped).body.reason, 'breakpoint');
    assert.deepStrictEqual(await frames(), [['main program', MAIN, call]]);
    assert.deepStrictEqual(await step('stepIn'),
      [['addUp', HELPER, lineOf(HELPER, 'sum')], ['main program', MAIN, call]]);
    assert.deepStrictEqual((await step('next'))[0], ['addUp', HELPER, lineOf(HELPER, 'sum-again')]);
    // Over the call of twice: its statement is passed without a stop.
    assert.deepStrictEqual((await step('next'))[0], ['addUp', HELPER, lineOf(HELPER, 'return')]);
    assert.deepStrictEqual(await step('stepOut'), [['main program', MAIN, lineOf(MAIN, 'print')]]);
    assert.deepStrictEqual(await step('next'), [['main program', MAIN, lineOf(MAIN, 'print') + 1]]);
    assert.strictEqual(await toTheEnd(), 0);
    assert.match(printed('stdout'), /result 84\n/);
  });

  it('reads globals, locals of each frame, array elements and texts', async function () {
    const stopped = dc.waitForEvent('stopped');
    await start(launchArgs(), [at(HELPER, [lineOf(HELPER, 'sum')])]);
    await stopped;
    const locals = await scope('Locals', 1);
    assert.deepStrictEqual(Object.keys(locals).map(k => [k, locals[k].value]), [['a', '20'], ['b', '22'], ['sum', '0']]);
    const mainLocals = await scope('Locals', 2);
    assert.deepStrictEqual(['r', 'c', 'i'].map(k => mainLocals[k].value), ['3', '4', '11']);
    const globals = await scope('Globals', 1);
    const values = Object.fromEntries(Object.entries(globals).map(([k, v]) => [k, v.value]));
    assert.deepStrictEqual(
      ['counter', 'total', 'setMe', 'greeting$', 'grid', 'flags%', 'names$', 'box', 'pts'].map(k => values[k]),
      ['0', '55', '2', '"hello"', '[3, 4]', '[5]', '[3]', '[2, 3, 2, 5]', '[3] records']);
    assert.strictEqual(globals.grid.indexedVariables, 3);
    // grid[1, *] through the rows, and one page of it.
    const row = (await variables(globals.grid.variablesReference))['[1]'];
    assert.strictEqual(row.indexedVariables, 4);
    const cells = await variables(row.variablesReference);
    assert.deepStrictEqual(Object.values(cells).map(v => [v.name, v.value, v.evaluateName]),
      [0, 1, 2, 3].map(c => [`[${c}]`, String(10 + c), `grid[1, ${c}]`]));
    const page = await dc.variablesRequest({ variablesReference: row.variablesReference, filter: 'indexed', start: 2, count: 2 });
    assert.deepStrictEqual(page.body.variables.map(v => v.value), ['12', '13']);
    const flagsPage = await dc.variablesRequest({ variablesReference: globals['flags%'].variablesReference, filter: 'indexed', start: 1, count: 3 });
    assert.deepStrictEqual(flagsPage.body.variables.map(v => [v.name, v.value, v.evaluateName]),
      [['[1]', '0', 'flags%[1]'], ['[2]', '7', 'flags%[2]'], ['[3]', '0', 'flags%[3]']]);
    // box[1, 2, 1, *], four levels down, and the last page of it.
    let level = globals.box;
    for (const [index, sizes] of [[1, '[3, 2, 5]'], [2, '[2, 5]'], [1, '[5]']]) {
      level = (await variables(level.variablesReference))[`[${index}]`];
      assert.strictEqual(level.value, sizes);
    }
    assert.strictEqual(level.indexedVariables, 5);
    const last = await dc.variablesRequest({ variablesReference: level.variablesReference, filter: 'indexed', start: 3, count: 5 });
    assert.deepStrictEqual(last.body.variables.map(v => [v.value, v.evaluateName]),
      [['0', 'box[1, 2, 1, 3]'], ['1214', 'box[1, 2, 1, 4]']]);
    assert.strictEqual((await variables(globals['names$'].variablesReference))['[1]'].value, '"second"');
    // Evaluation in each frame: its locals, then the globals.
    const cases = [
      ['grid[2, 3]', 1, '23'],
      ['names$[1] + "!"', 1, '"second!"'],
      ['greeting$', 1, '"hello"'],
      ['a + b * 2', 1, '64'],
      ['r * 100 + c', 2, '304'],
      ['flags%[2] = 7 AND total > 50', 1, '1'],
      ['box[1, 2, 1, 4] - box[0, 0, 0, 0]', 1, '1214'],
    ];
    for (const [expression, frameId, result] of cases) {
      assert.strictEqual((await evaluate(expression, frameId, 'hover')).result, result, expression);
    }
    const whole = await evaluate('grid');
    assert.strictEqual(whole.result, '[3, 4]');
    assert.ok(whole.variablesReference > 0);
    for (const [expression, message] of [['r', /no variable 'r'/], ['grid[3, 0]', /outside/], ['grid[1]', /2 dimensions/]]) {
      await assert.rejects(dc.evaluateRequest({ expression, frameId: 1, context: 'repl' }), message);
    }
    assert.strictEqual(await toTheEnd(), 0);
  });

  it('sets numbers, elements and texts that fit, and the program goes on with them', async function () {
    const stopped = dc.waitForEvent('stopped');
    await start(launchArgs(), [at(MAIN, [lineOf(MAIN, 'call')])]);
    await stopped;
    const r = await dc.scopesRequest({ frameId: 1 });
    const globalsRef = r.body.scopes.find(s => s.name === 'Globals').variablesReference;
    const set = async (variablesReference, name, value) =>
      (await dc.setVariableRequest({ variablesReference, name, value })).body.value;
    assert.strictEqual(await set(globalsRef, 'setMe', '1 + 2'), '3');
    assert.strictEqual(await set(globalsRef, 'greeting$', '"HI"'), '"HI"');
    await assert.rejects(dc.setVariableRequest({ variablesReference: globalsRef, name: 'greeting$', value: '"' + 'x'.repeat(40) + '"' }),
      /buffer holds 16/);
    await assert.rejects(dc.setVariableRequest({ variablesReference: globalsRef, name: 'setMe', value: '"text"' }), /takes a number/);
    const grid = (await variables(globalsRef)).grid;
    const row = (await variables(grid.variablesReference))['[1]'];
    assert.strictEqual(await set(row.variablesReference, '[2]', '99'), '99');
    assert.strictEqual((await evaluate('grid[1, 2]')).result, '99');
    const globals = await variables(globalsRef);
    assert.strictEqual(await set(globals['names$'].variablesReference, '[1]', '"2nd"'), '"2nd"');
    assert.strictEqual(await set(globals['flags%'].variablesReference, '[2]', '-3.9'), '-3');
    assert.strictEqual((await evaluate('names$[1] + "!"')).result, '"2nd!"');
    assert.strictEqual((await evaluate('flags%[2] * 2')).result, '-6');
    assert.strictEqual((await evaluate('greeting$')).result, '"HI"');  // the refused text changed nothing
    assert.strictEqual(await toTheEnd(), 0);
    assert.match(printed('stdout'), /result 126\ngreeting HI\n/);
  });

  it('shows records by field, arrays of records by element, evaluates and sets their fields', async function () {
    const stopped = dc.waitForEvent('stopped');
    await start(launchArgs(), [at(RECORDS, [lineOf(RECORDS, 'ship')])]);
    assert.strictEqual((await stopped).body.reason, 'breakpoint');
    assert.deepStrictEqual(await frames(), [
      ['moveShip', RECORDS, lineOf(RECORDS, 'ship')],
      ['main program', MAIN, lineWith(MAIN, 'moveShip(2)')],
    ]);
    const shown = vars => Object.values(vars).map(v => [v.name, v.value, v.evaluateName]);
    // The record LOCAL's "ship.field" entries gather under ship, its inner record under pos.
    const locals = await scope('Locals');
    assert.deepStrictEqual(shown(locals), [
      ['k', '2', 'k'], ['ship', '{5 fields}', 'ship'], ['fleet', '[2] records', 'fleet'],
      ['none', '[0] records', 'none'], ['flat', '[0, 2] records', 'flat'],
    ]);
    assert.strictEqual(locals.ship.namedVariables, 5);
    // The scopes count what they show: a record once, however many fields it registers.
    for (const s of (await dc.scopesRequest({ frameId: 1 })).body.scopes) {
      assert.strictEqual(s.namedVariables, Object.keys(await variables(s.variablesReference)).length, s.name);
    }
    const ship = await variables(locals.ship.variablesReference);
    assert.deepStrictEqual(shown(ship), [
      ['name$', '"Kestrel"', 'ship.name$'], ['hp%', '40', 'ship.hp%'], ['pos', '{2 fields}', 'ship.pos'],
      ['path', '[3]', 'ship.path'], ['parts', '[2] records', 'ship.parts'],
    ]);
    assert.deepStrictEqual(shown(await variables(ship.pos.variablesReference)),
      [['x', '20', 'ship.pos.x'], ['y', '21', 'ship.pos.y']]);
    assert.strictEqual((await variables(ship.path.variablesReference))['[1]'].value, '5');
    const part = (await variables(ship.parts.variablesReference))['[1]'];
    assert.deepStrictEqual(shown(await variables(part.variablesReference)),
      [['x', '0', 'ship.parts[1].x'], ['y', '9', 'ship.parts[1].y']]);
    // The LOCAL array of records: an element's inner record as a group, its array of records.
    assert.strictEqual(locals.fleet.indexedVariables, 2);
    const fleet = await variables(locals.fleet.variablesReference);
    assert.deepStrictEqual(shown(fleet), [['[0]', '{5 fields}', 'fleet[0]'], ['[1]', '{5 fields}', 'fleet[1]']]);
    const heron = await variables(fleet['[1]'].variablesReference);
    assert.deepStrictEqual(shown(heron), [
      ['name$', '"Heron"', 'fleet[1].name$'], ['hp%', '0', 'fleet[1].hp%'], ['pos', '{2 fields}', 'fleet[1].pos'],
      ['path', '[3]', 'fleet[1].path'], ['parts', '[2] records', 'fleet[1].parts'],
    ]);
    assert.strictEqual(heron.pos.namedVariables, 2);
    assert.deepStrictEqual(shown(await variables(heron.pos.variablesReference)),
      [['x', '0', 'fleet[1].pos.x'], ['y', '6', 'fleet[1].pos.y']]);
    const heronPart = (await variables(heron.parts.variablesReference))['[1]'];
    assert.deepStrictEqual(shown(await variables(heronPart.variablesReference)),
      [['x', '8', 'fleet[1].parts[1].x'], ['y', '0', 'fleet[1].parts[1].y']]);
    // Arrays of records without elements: nothing to open, nothing to read.
    assert.strictEqual(locals.none.variablesReference, 0);
    assert.strictEqual(locals.flat.indexedVariables, 0);
    assert.deepStrictEqual(await variables(locals.flat.variablesReference), {});
    // The GLOBAL array of records: its elements, each with its fields.
    const pts = (await scope('Globals')).pts;
    assert.strictEqual(pts.indexedVariables, 3);
    const elements = await variables(pts.variablesReference);
    assert.deepStrictEqual(shown(elements), [0, 1, 2].map(k => [`[${k}]`, '{2 fields}', `pts[${k}]`]));
    for (const k of [0, 1, 2]) {
      assert.deepStrictEqual(shown(await variables(elements[`[${k}]`].variablesReference)),
        [['x', String(10 * k), `pts[${k}].x`], ['y', String(10 * k + 1), `pts[${k}].y`]]);
    }
    // Hover and watch: fields through the record's name and through an element.
    for (const [expression, result] of [
      ['pts[2].x', '20'], ['pts[k - 1].y + ship.pos.y', '32'], ['ship.name$', '"Kestrel"'], ['ship.hp% * 2', '80'],
      ['ship.parts[1].y', '9'], ['ship.path[1] + pts[-1].x', '25'], ['LEN(ship.name$)', '7'],
      ['ship', '{5 fields}'], ['ship.pos', '{2 fields}'], ['pts[1]', '{2 fields}'], ['ship.parts[0]', '{2 fields}'], ['ship.parts', '[2] records'],
      ['fleet[1].pos.y + fleet[-1].parts[-1].x', '14'], ['fleet[-2].name$ + fleet[1].name$', '"Heron"'],
      ['fleet[1]', '{5 fields}'], ['fleet[-1].pos', '{2 fields}'], ['none', '[0] records'], ['flat', '[0, 2] records'],
    ]) {
      for (const context of ['hover', 'watch']) {
        assert.strictEqual((await evaluate(expression, 1, context)).result, result, `${expression} (${context})`);
      }
    }
    const whole = await evaluate('ship.pos');
    assert.deepStrictEqual(shown(await variables(whole.variablesReference)),
      [['x', '20', 'ship.pos.x'], ['y', '21', 'ship.pos.y']]);
    assert.deepStrictEqual(Object.keys(await variables((await evaluate('pts[1]')).variablesReference)), ['x', 'y']);
    const inner = await evaluate('fleet[1].pos', 1, 'hover');
    assert.deepStrictEqual(shown(await variables(inner.variablesReference)),
      [['x', '0', 'fleet[1].pos.x'], ['y', '6', 'fleet[1].pos.y']]);
    for (const [expression, message] of [
      ['pts[3].x', /outside/], ['pts[1].z', /no field 'z'/], ['ship.speed', /no variable 'ship.speed'/], ['ship + 1', /ship is a record; name one of its fields/],
      ['pts[1] + 1', /pts\[1\] is a record; name one of its fields/],
      ['fleet[1].pos * 2', /fleet\[1\]\.pos is a record; name one of its fields/], ['fleet[1].speed', /fleet\[1\] has no field 'speed'/],
      ['fleet[2].pos', /fleet\[2\] is outside the array/], ['fleet[-3].hp%', /fleet\[-3\] is outside the array/],
      ['none[0].x', /none\[0\] is outside the array/], ['flat[0, 0].x', /flat\[0, 0\] is outside the array/],
    ]) {
      await assert.rejects(dc.evaluateRequest({ expression, frameId: 1, context: 'watch' }), message, expression);
    }
    // Setting fields: of the LOCAL through its groups, of an element through its record.
    const set = async (variablesReference, name, value) =>
      (await dc.setVariableRequest({ variablesReference, name, value })).body.value;
    assert.strictEqual(await set(locals.ship.variablesReference, 'hp%', '55.9'), '55');
    assert.strictEqual(await set(locals.ship.variablesReference, 'name$', '"Osprey"'), '"Osprey"');
    assert.strictEqual(await set(ship.pos.variablesReference, 'y', 'ship.pos.y - 24'), '-3');
    assert.strictEqual(await set(elements['[0]'].variablesReference, 'y', '77'), '77');
    assert.strictEqual(await set(heron.pos.variablesReference, 'y', '-fleet[1].pos.y'), '-6');
    assert.strictEqual(await set(fleet['[0]'].variablesReference, 'hp%', '3.5'), '3');
    for (const variablesReference of [locals.ship.variablesReference, fleet['[1]'].variablesReference]) {
      await assert.rejects(dc.setVariableRequest({ variablesReference, name: 'pos', value: '1' }),
        /pos is a record: set its fields/);
    }
    await assert.rejects(dc.setVariableRequest({ variablesReference: locals.ship.variablesReference, name: 'speed', value: '1' }),
      /no variable speed/);
    assert.strictEqual((await evaluate('pts[0].y + ship.hp%')).result, '132');
    assert.strictEqual(await toTheEnd(), 0);
    assert.match(printed('stdout'), /ship Osprey at 21,-3 hp 55\npts 77 11 21 21\nfleet Heron -6 8 3\nhp 55\n/);
  });

  const conditions = [
    { more: { condition: 'i = 7' }, stops: [7] },
    { more: { condition: 'total >= 21 AND i <> 8' }, stops: [7, 9, 10] },
    { more: { condition: 'names$[1] = "second" AND i > 8' }, stops: [9, 10] },
    { more: { condition: 'greeting$ <> "hello" OR i = 1' }, stops: [1] },
    { more: { hitCondition: '% 4' }, stops: [4, 8] },
    { more: { hitCondition: '= 2' }, stops: [2] },
    // Each bound from both sides: the hit it names and the one beside it.
    { more: { hitCondition: '> 3' }, stops: [4, 5, 6, 7, 8, 9, 10] },
    { more: { hitCondition: '>= 9' }, stops: [9, 10] },
    { more: { hitCondition: '< 3' }, stops: [1, 2] },
    { more: { hitCondition: '<=3' }, stops: [1, 2, 3] },
    { more: { condition: 'i > 5', hitCondition: '2' }, stops: [7, 8, 9, 10] },
  ];
  for (const { more, stops } of conditions) {
    it(`stops at a conditional breakpoint only where ${JSON.stringify(more)} holds`, async function () {
      let seen = [];
      let done = false;
      dc.on('stopped', async () => {
        const i = await evaluate('i');
        seen.push(Number(i.result));
        await dc.continueRequest({ threadId: 1 });
      });
      const ended = dc.waitForEvent('terminated').then(() => { done = true; });
      await start(launchArgs(), [at(MAIN, [lineOf(MAIN, 'total')], more)]);
      await ended;
      assert.ok(done);
      assert.deepStrictEqual(seen, stops);
    });
  }

  it('writes log messages at a logpoint without stopping', async function () {
    let stops = 0;
    dc.on('stopped', () => { stops += 1; });
    const ended = dc.waitForEvent('terminated');
    await start(launchArgs(), [at(MAIN, [lineOf(MAIN, 'total')], { logMessage: 'i={i} total={total} {nothing}' })]);
    await ended;
    assert.strictEqual(stops, 0);
    const logged = printed('console').split('\n').filter(l => l.startsWith('i='));
    const expected = [];
    for (let i = 1, total = 0; i <= 10; total += i, ++i) expected.push(`i=${i} total=${total} {error: no variable 'nothing' here}`);
    assert.deepStrictEqual(logged, expected);
  });

  it('pauses a running frame loop, stops at a breakpoint set while it runs, and terminates it through END', async function () {
    await start(launchArgs(['loop']));
    await sleep(500);
    // A breakpoint set while the program runs.
    let stopped = dc.waitForEvent('stopped');
    const frameLine = lineOf(HELPER, 'frame');
    const set = await dc.setBreakpointsRequest(at(HELPER, [frameLine]));
    assert.strictEqual(set.body.breakpoints[0].verified, true);
    assert.strictEqual((await stopped).body.reason, 'breakpoint');
    assert.deepStrictEqual((await frames())[0], ['frameLoop', HELPER, frameLine]);
    let first = Number((await evaluate('frames')).result);
    if (first === 0) {
      // A slow start (the sanitizer build) reaches the loop only now: the next pass counts one.
      stopped = dc.waitForEvent('stopped');
      await dc.continueRequest({ threadId: 1 });
      assert.strictEqual((await stopped).body.reason, 'breakpoint');
      first = Number((await evaluate('frames')).result);
    }
    assert.ok(first > 0, `frames = ${first}`);
    await dc.setBreakpointsRequest(at(HELPER, []));
    await dc.continueRequest({ threadId: 1 });
    await sleep(300);
    stopped = dc.waitForEvent('stopped');
    await dc.pauseRequest({ threadId: 1 });
    assert.strictEqual((await stopped).body.reason, 'pause');
    const top = (await frames())[0];
    assert.strictEqual(top[0], 'frameLoop');
    assert.ok(top[2] === frameLine || top[2] === frameLine + 1, `paused on line ${top[2]}`);
    const later = Number((await evaluate('frames')).result);
    assert.ok(later > first, `frames went from ${first} to ${later}`);
    assert.strictEqual(await toTheEnd('terminate'), 0);
    assert.match(printed('console'), /END with error 0 \(no error\) at statement \d+ of module 1/);
  });

  it('stops on a bounds violation at the failing line, before END', async function () {
    const stopped = dc.waitForEvent('stopped');
    await start(launchArgs(['bounds']));
    const event = await stopped;
    assert.strictEqual(event.body.reason, 'exception');
    assert.match(event.body.text, /bounds: \[ {3}3\]\[ {3}4\]\naccess: \[ {3}5\]\[ {3}0\]/);
    assert.deepStrictEqual(await frames(), [
      ['overrun', HELPER, lineOf(HELPER, 'overrun')],
      ['main program', MAIN, lineWith(MAIN, 'overrun(5)')],
    ]);
    const locals = await scope('Locals', 1);
    assert.deepStrictEqual([locals.n.value, locals.i.value], ['5', '5']);
    const info = await dc.exceptionInfoRequest({ threadId: 1 });
    assert.strictEqual(info.body.exceptionId, 'bounds');
    assert.strictEqual(await toTheEnd(), 1);  // a failure's exit status
    assert.match(printed('console'), /END with error 9 \(out of bounds\)/);
    // The program's own texts: its TX messages in the console, its standard error beside them.
    assert.match(printed('console'), /bounds: \[ {3}3\]\[ {3}4\]\naccess: \[ {3}5\]\[ {3}0\]\n/);
    assert.match(printed('stderr'), /bounds: \[ {3}3\]\[ {3}4\]/);
  });

  it('terminates a program stopped at a breakpoint through END', async function () {
    const stopped = dc.waitForEvent('stopped');
    await start(launchArgs(), [at(MAIN, [lineOf(MAIN, 'total')])]);
    await stopped;
    assert.strictEqual(await toTheEnd('terminate'), 0);
    assert.match(printed('console'), /END with error 0 \(no error\) at statement \d+ of module 0/);
    assert.doesNotMatch(printed('stdout'), /result/);
  });

  for (const [signal, number, where] of [['SIGKILL', 9, 'running'], ['SIGSEGV', 11, 'running'], ['SIGKILL', 9, 'stopped']]) {
    it(`reports the program's end by ${signal} while ${where} and leaves nothing traced`, async function () {
      const stopped = where === 'stopped' ? dc.waitForEvent('stopped') : null;
      const breakpoints = where === 'stopped' ? [at(HELPER, [lineOf(HELPER, 'frame')])] : [];
      const { pid } = await start(launchArgs(['loop']), breakpoints);
      if (where === 'stopped') await stopped;
      else await sleep(300);
      const exited = dc.waitForEvent('exited');
      const terminated = dc.waitForEvent('terminated');
      process.kill(pid, signal);
      assert.strictEqual((await exited).body.exitCode, 128 + number);
      await terminated;
      assert.match(printed('console'), new RegExp(`ended by ${signal}`));
      assert.strictEqual(isRunning(pid), false);
    });
  }

  it('attaches to a running program and leaves it running, untraced, when it detaches', async function () {
    const child = cp.spawn(PROGRAM, ['loop'], { env: Object.assign({}, process.env, programEnv()), stdio: 'ignore' });
    try {
      await sleep(1000);
      const { pid } = await start({ processId: child.pid }, [], 'attach');
      assert.strictEqual(pid, child.pid);
      const stopped = dc.waitForEvent('stopped');
      await dc.pauseRequest({ threadId: 1 });
      assert.strictEqual((await stopped).body.reason, 'pause');
      assert.strictEqual((await frames())[0][0], 'frameLoop');
      await dc.disconnectRequest({ terminateDebuggee: false });
      dc.stopAdapter();
      dc = null;
      await sleep(500);
      assert.deepStrictEqual(programsRunning(), [{ pid: child.pid, tracer: '0' }]);
    } finally {
      child.kill('SIGKILL');
      await new Promise(resolve => (child.exitCode !== null || child.signalCode !== null ? resolve() : child.on('exit', resolve)));
    }
  });

  for (const how of ['SIGTERM', 'SIGKILL', 'closed input', 'disconnect']) {
    it(`ends the launched program when the adapter ends (${how})`, async function () {
      const { pid } = await start(launchArgs(['loop']));
      await sleep(300);
      assert.ok(isRunning(pid));
      const adapter = dc._adapterProcess;
      if (how === 'closed input') adapter.stdin.end();
      else if (how === 'disconnect') await dc.disconnectRequest({ restart: false });
      else adapter.kill(how);
      await new Promise(resolve => adapter.on('exit', resolve));
      dc = null;
      await expectNoProgramLeft();
    });
  }
});
