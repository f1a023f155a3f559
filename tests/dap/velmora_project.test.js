// The debugger on a program the velmora command built: a new project, built
// with `velmora build` as the editor's F5 task does, launched through vlmdap
// as the launch.json that `velmora new` writes names it. The adapter finds
// the line map beside the program and stops at a breakpoint of the project's
// main.bas, with the program's variable in view.
//
// Environment (tests/dap/CMakeLists.txt): VLMDAP the adapter, VELMORA the
// command, NODE_PATH the installed npm packages.
'use strict';

const assert = require('assert');
const cp = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { DebugClient } = require('@vscode/debugadapter-testsupport');

describe('vlmdap on a velmora project', function () {
  let tmp;
  let dc;

  beforeEach(function () {
    tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'vlmdap-velmora-'));
  });
  afterEach(async function () {
    if (dc) await dc.stop();
    dc = null;
    fs.rmSync(tmp, { recursive: true, force: true });
  });

  it('stops at a breakpoint of main.bas in the program velmora build made', async function () {
    const env = Object.assign({}, process.env, { TMPDIR: tmp });
    cp.execFileSync(process.env.VELMORA, ['new', 'stepper'], { cwd: tmp, env });
    const project = path.join(tmp, 'stepper');
    const main = path.join(project, 'main.bas');
    fs.writeFileSync(main, 'GLOBAL count\nREPEAT\n  count = count + 1\n  ShowScreen()\nFOREVER\n');
    const launch = JSON.parse(fs.readFileSync(path.join(project, '.vscode', 'launch.json'), 'utf8'));
    const built = cp.execFileSync(process.env.VELMORA, ['build'], { cwd: project, env }).toString().trim();
    const config = launch.configurations[0];
    const program = config.program.replace('${workspaceFolder}', project);
    assert.strictEqual(built, program);
    assert.ok(fs.existsSync(program + '.vlmmap'), 'no line map beside the program');

    dc = new DebugClient(process.env.VLMDAP, '--stdio', 'velmora');
    dc.defaultTimeout = 20000;
    await dc.start();
    const initialized = dc.waitForEvent('initialized');
    await dc.initializeRequest();
    await dc.launchRequest({
      program, cwd: config.cwd.replace('${workspaceFolder}', project), args: [],
      env: { SDL_VIDEODRIVER: 'offscreen', SDL_AUDIODRIVER: 'dummy', DISPLAY: '', TMPDIR: tmp,
             ASAN_OPTIONS: 'detect_leaks=0:handle_segv=0', UBSAN_OPTIONS: 'handle_segv=0' },
    });
    await initialized;
    const set = await dc.setBreakpointsRequest({ source: { path: main }, breakpoints: [{ line: 3 }] });
    assert.strictEqual(set.body.breakpoints[0].verified, true);
    await dc.configurationDoneRequest();
    const stopped = await dc.waitForEvent('stopped');
    assert.strictEqual(stopped.body.reason, 'breakpoint');
    const st = await dc.stackTraceRequest({ threadId: 1 });
    assert.strictEqual(st.body.stackFrames[0].line, 3);
    assert.strictEqual(path.resolve(st.body.stackFrames[0].source.path), main);
    // Stopped before line 3 ran for the first time: count is still 0; after one turn, 1.
    const value = async () => (await dc.evaluateRequest({ expression: 'count', frameId: st.body.stackFrames[0].id,
                                                          context: 'watch' })).body.result;
    assert.strictEqual(await value(), '0');
    await dc.continueRequest({ threadId: 1 });
    const again = await dc.waitForEvent('stopped');
    assert.strictEqual(again.body.reason, 'breakpoint');
    const st2 = await dc.stackTraceRequest({ threadId: 1 });
    assert.strictEqual((await dc.evaluateRequest({ expression: 'count', frameId: st2.body.stackFrames[0].id,
                                                   context: 'watch' })).body.result, '1');
  });
});
