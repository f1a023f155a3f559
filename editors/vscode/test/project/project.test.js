// The extension's view of Velmora projects (project.js) on real folders and real processes: the
// project of a file, the names `velmora new` takes, the command lines through a real shell, the
// errors of a failed `velmora new`, the problem pattern, and the debug configuration F5 uses
// without a launch.json. With VELMORA_COMMAND naming the built velmora command, the project it
// makes is checked against what the extension expects of it.
'use strict';
const assert = require('node:assert');
const childProcess = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { after, test } = require('node:test');
const project = require('../../project.js');
const manifest = require('../../package.json');

function tempFolder() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'velmora-vscode-'));
  after(() => fs.rmSync(dir, { recursive: true, force: true }));
  return fs.realpathSync(dir);
}

function write(file, text) {
  fs.mkdirSync(path.dirname(file), { recursive: true });
  fs.writeFileSync(file, text);
}

// An executable shell script in dir (a stand-in program whose behaviour the case needs).
function script(dir, name, body) {
  const file = path.join(dir, name);
  fs.writeFileSync(file, `#!/bin/sh\n${body}\n`, { mode: 0o755 });
  return file;
}

test('a file belongs to the nearest folder upward holding velmora.json, else the first workspace folder', () => {
  const root = tempFolder();
  write(path.join(root, 'outer', 'velmora.json'), '{"name": "outer"}');
  write(path.join(root, 'outer', 'src', 'deep', 'main.bas'), 'PRINT 1\n');
  write(path.join(root, 'outer', 'inner', 'velmora.json'), '{"name": "inner"}');
  write(path.join(root, 'outer', 'inner', 'game.bas'), 'PRINT 2\n');
  write(path.join(root, 'loose', 'a.bas'), 'PRINT 3\n');
  const ws = [path.join(root, 'ws1'), path.join(root, 'ws2')];
  const outer = path.join(root, 'outer');
  assert.strictEqual(project.findProject(path.join(outer, 'src', 'deep', 'main.bas'), ws), outer);
  assert.strictEqual(project.findProject(path.join(outer, 'inner', 'game.bas'), ws), path.join(outer, 'inner'));
  assert.strictEqual(project.findProject(path.join(outer, 'velmora.json'), ws), outer);
  assert.strictEqual(project.findProject(path.join(outer, 'src'), ws), outer);
  // A folder named velmora.json is no project file.
  write(path.join(root, 'loose', 'velmora.json', 'keep'), '');
  assert.strictEqual(project.findProject(path.join(root, 'loose', 'a.bas'), ws), ws[0]);
  assert.strictEqual(project.findProject(undefined, ws), ws[0]);
  assert.strictEqual(project.findProject(path.join(root, 'loose', 'a.bas'), []), undefined);
});

test('a project name is 1 to 64 letters, digits, _ and -, first a letter', () => {
  for (const good of ['a', 'Z', 'mygame', 'my-game_2', 'A1-_b', 'a'.repeat(64)]) {
    assert.strictEqual(project.nameProblem(good), undefined, good);
    assert.ok(project.NAME_RULE.test(good), good);
  }
  for (const bad of ['', '1game', '_game', '-game', 'my game', 'my.game', 'my/game', 'jeu-é', 'a$', 'a'.repeat(65)]) {
    assert.strictEqual(typeof project.nameProblem(bad), 'string', JSON.stringify(bad));
    assert.ok(!project.NAME_RULE.test(bad), bad);
  }
  assert.match(project.nameProblem('9'), /starts with a letter/);
  assert.match(project.nameProblem('a b'), /only letters, digits, _ and -/);
  assert.match(project.nameProblem('b'.repeat(65)), /at most 64/);
});

test('the argument lists of velmora new, run and build', () => {
  assert.deepStrictEqual(project.newArgs('mygame', '2d'), ['new', 'mygame', '--template', '2d']);
  assert.deepStrictEqual(project.newArgs('mygame', '3d'), ['new', 'mygame', '--template', '3d']);
  assert.throws(() => project.newArgs('mygame', '4d'), /no template 4d/);
  assert.deepStrictEqual(project.runArgs('/p/my game'), ['run', '/p/my game']);
  assert.deepStrictEqual(project.buildArgs('/p/my game'), ['build', '/p/my game']);
});

test('the terminal line reaches the command word for word through a real shell', () => {
  const dir = tempFolder();
  const shown = path.join(dir, 'shown');
  const command = script(dir, "my velmora's", `for a; do printf '%s\\n' "$a"; done > '${shown}'`);
  const folder = path.join(dir, `it's a "game" $HOME \`id\` \\ x`);
  const line = project.shellLine(command, project.runArgs(folder));
  childProcess.execFileSync('/bin/sh', ['-c', line], { timeout: 10000 });
  assert.deepStrictEqual(fs.readFileSync(shown, 'utf8').split('\n').slice(0, -1), ['run', folder]);
  // Plain words stay bare; the rest is quoted.
  assert.strictEqual(project.shellLine('velmora', ['run', '/home/a/my-game']), 'velmora run /home/a/my-game');
  assert.strictEqual(project.shellWord('a b'), "'a b'");
});

test('a failed velmora new reports one line: its first error line, else what became of it', async () => {
  const dir = tempFolder();
  const complains = script(dir, 'complains', "echo >&2; echo '  velmora: mygame: the folder exists  ' >&2; echo 'second' >&2; exit 2");
  await assert.rejects(project.createProject(complains, dir, 'mygame', '2d'),
    { message: 'velmora: mygame: the folder exists' });
  const silent = script(dir, 'silent', 'exit 3');
  await assert.rejects(project.createProject(silent, dir, 'mygame', '2d'), { message: `${silent} ended with exit status 3` });
  const missing = path.join(dir, 'no-such-velmora');
  await assert.rejects(project.createProject(missing, dir, 'mygame', '2d'), { message: new RegExp(`^${missing} was not found`) });
  const hangs = script(dir, 'hangs', 'exec sleep 20');
  const started = Date.now();
  await assert.rejects(project.createProject(hangs, dir, 'mygame', '2d', 300), { message: `${hangs} did not finish in time` });
  assert.ok(Date.now() - started < 10000, 'the hanging command was stopped');
  // The arguments it was given, in the parent folder; the new folder's path on success.
  const parent = path.join(dir, 'parent');
  fs.mkdirSync(parent);
  const records = script(dir, 'records', `pwd > '${dir}/where'; printf '%s\\n' "$@" > '${dir}/args'`);
  assert.strictEqual(await project.createProject(records, parent, 'mygame', '3d'), path.join(parent, 'mygame'));
  assert.strictEqual(fs.readFileSync(path.join(dir, 'where'), 'utf8').trim(), parent);
  assert.deepStrictEqual(fs.readFileSync(path.join(dir, 'args'), 'utf8').trim().split('\n'), ['new', 'mygame', '--template', '3d']);
});

test('the problem pattern takes file:line:col: message, as the package.json problem matcher does', () => {
  const matcher = manifest.contributes.problemMatchers.find(m => m.name === 'velmora');
  assert.strictEqual(matcher.pattern.regexp, project.PROBLEM_PATTERN);
  const re = new RegExp(project.PROBLEM_PATTERN);
  const [, file, line, col, message] = re.exec('/home/a/my game/main.bas:12:5: expected a value, found the end of the line');
  assert.deepStrictEqual([file, line, col, message], ['/home/a/my game/main.bas', '12', '5', 'expected a value, found the end of the line']);
  assert.deepStrictEqual(re.exec('main.bas:3:1: no routine foo: did you mean fo?').slice(1),
    ['main.bas', '3', '1', 'no routine foo: did you mean fo?']);
  assert.strictEqual(re.exec('  x = '), null);
  assert.strictEqual(re.exec('      ^'), null);
  assert.strictEqual(re.exec('main.bas:3: no column'), null);
});

test('F5 without a launch.json builds a project and debugs its .velmora/debug program; other folders keep build/', () => {
  const root = tempFolder();
  const game = path.join(root, 'folder-name');
  write(path.join(game, 'velmora.json'), '{"name": "spacer", "modules": ["main.bas"]}');
  const dir = path.join(game, '.velmora', 'debug');
  assert.deepStrictEqual(project.fallbackDebugConfiguration(game, 'folder-name', 'velmora: build'), {
    type: 'vlmdap', request: 'launch', name: 'Debug a Velmora program', args: [], stopOnEntry: false,
    program: path.join(dir, 'spacer'), cwd: dir, preLaunchTask: 'velmora: build' });
  // A velmora.json without a usable name: the program is named after the folder.
  for (const text of ['{"modules": ["main.bas"]}', '{"name": "1bad"}', '{"name": 7}', 'not json']) {
    write(path.join(game, 'velmora.json'), text);
    const config = project.fallbackDebugConfiguration(game, 'folder-name');
    assert.strictEqual(config.program, path.join(dir, 'folder-name'), text);
    assert.strictEqual(config.preLaunchTask, project.BUILD_TASK, text);
  }
  const plain = path.join(root, 'plain');
  fs.mkdirSync(plain);
  assert.deepStrictEqual(project.fallbackDebugConfiguration(plain, 'plain'), {
    type: 'vlmdap', request: 'launch', name: 'Debug a Velmora program', args: [], stopOnEntry: false,
    program: `${plain}/build/plain`, cwd: `${plain}/build` });
  assert.strictEqual(project.fallbackDebugConfiguration(undefined, undefined).program, './build/program');
});

test('the manifest contributes the commands, their activation, the setting and the .velmora/debug launch', () => {
  const commands = manifest.contributes.commands.map(c => `${c.category}: ${c.title} (${c.command})`);
  assert.deepStrictEqual(commands, ['Velmora: Run (velmora.run)', 'Velmora: New Project (velmora.newProject)']);
  for (const event of ['onCommand:velmora.run', 'onCommand:velmora.newProject', 'workspaceContains:velmora.json']) {
    assert.ok(manifest.activationEvents.includes(event), event);
  }
  assert.strictEqual(manifest.contributes.configuration.properties['velmora.command.path'].default, 'velmora');
  const [initial] = manifest.contributes.debuggers[0].initialConfigurations;
  assert.strictEqual(initial.program, '${workspaceFolder}/.velmora/debug/${workspaceFolderBasename}');
  assert.strictEqual(initial.cwd, '${workspaceFolder}/.velmora/debug');
  assert.strictEqual(initial.preLaunchTask, project.BUILD_TASK);
});

// The real command: the project `velmora new` makes is one the extension finds, debugs where its
// launch.json does and builds with the task its tasks.json names; a second `new` of the same
// name fails with one line.
const velmora = process.env.VELMORA_COMMAND;
const haveVelmora = Boolean(velmora) && fs.existsSync(velmora);
test('velmora new makes the project the extension expects', { skip: haveVelmora ? false : `no velmora command (VELMORA_COMMAND=${velmora || ''})`, timeout: 120000 }, async () => {
  const parent = tempFolder();
  const folder = await project.createProject(velmora, parent, 'spacer', '2d');
  assert.strictEqual(folder, path.join(parent, 'spacer'));
  assert.strictEqual(project.findProject(path.join(folder, 'main.bas'), [parent]), folder);
  assert.strictEqual(project.programName(folder, 'other'), 'spacer');
  const launch = JSON.parse(fs.readFileSync(path.join(folder, '.vscode', 'launch.json'), 'utf8'));
  const entry = launch.configurations.find(c => c.type === 'vlmdap' && c.request === 'launch');
  const fallback = project.fallbackDebugConfiguration(folder, 'spacer');
  assert.strictEqual(entry.program.replace('${workspaceFolder}', folder), fallback.program);
  assert.strictEqual(entry.cwd.replace('${workspaceFolder}', folder), fallback.cwd);
  assert.strictEqual(entry.preLaunchTask, project.BUILD_TASK);
  const tasks = JSON.parse(fs.readFileSync(path.join(folder, '.vscode', 'tasks.json'), 'utf8'));
  const build = tasks.tasks.find(t => t.label === project.BUILD_TASK);
  assert.ok(build, 'tasks.json holds the task "velmora build"');
  assert.strictEqual(build.type, 'shell');
  assert.match(build.command, /velmora build/);
  const matcher = [build.problemMatcher].flat()[0];
  const regexp = typeof matcher === 'string' ? null : new RegExp([matcher.pattern].flat()[0].regexp);
  if (regexp) {
    const m = regexp.exec('/x/main.bas:4:7: expected a value, found the end of the line');
    assert.ok(m, `the task's pattern ${regexp} takes file:line:col: message`);
  } else {
    assert.strictEqual(matcher, '$velmora');
  }
  await assert.rejects(project.createProject(velmora, parent, 'spacer', '2d'), error => {
    assert.ok(error.message.length > 0 && !error.message.includes('\n'), error.message);
    return true;
  });
});
