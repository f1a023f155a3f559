// Velmora projects as the extension sees them: a folder holding velmora.json, built and run by
// the `velmora` command. Where a file's project is, which names `velmora new` takes, the command
// lines the extension runs, the build task's problem pattern and the debug configuration F5 uses
// without a launch.json. Plain JavaScript without the editor's API, so that node tests it alone.
'use strict';
const childProcess = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');

const PROJECT_FILE = 'velmora.json';
const TEMPLATES = ['2d', '3d'];
const BUILD_TASK = 'velmora build';
// A program's name: 1 to 64 letters, digits, _ and -, first a letter.
const NAME_RULE = /^[A-Za-z][A-Za-z0-9_-]{0,63}$/;
// The errors of `velmora build` and `velmora check`: file:line:col: message.
const PROBLEM_PATTERN = '^(.+?):(\\d+):(\\d+): (.*)$';

function isProject(folder) {
  try {
    return fs.statSync(path.join(folder, PROJECT_FILE)).isFile();
  } catch {
    return false;
  }
}

// The project of a file (or folder): the nearest folder from it upward that holds velmora.json,
// else the first workspace folder, else undefined.
function findProject(file, workspaceFolders = []) {
  if (file) {
    let folder = path.resolve(file);
    if (!isDirectory(folder)) folder = path.dirname(folder);
    for (;;) {
      if (isProject(folder)) return folder;
      const parent = path.dirname(folder);
      if (parent === folder) break;
      folder = parent;
    }
  }
  return workspaceFolders.length > 0 ? workspaceFolders[0] : undefined;
}

function isDirectory(p) {
  try {
    return fs.statSync(p).isDirectory();
  } catch {
    return false;
  }
}

// Why `velmora new` would refuse a name, or undefined for a good one (the input box's message).
function nameProblem(name) {
  if (name === '') return 'Give the project a name.';
  if (!/^[A-Za-z]/.test(name)) return 'A name starts with a letter.';
  if (!/^[A-Za-z0-9_-]*$/.test(name)) return 'A name holds only letters, digits, _ and -.';
  if (!NAME_RULE.test(name)) return 'A name is at most 64 characters long.';
  return undefined;
}

function newArgs(name, template) {
  if (!TEMPLATES.includes(template)) throw new Error(`no template ${template} (2d or 3d)`);
  return ['new', name, '--template', template];
}

function runArgs(project) {
  return ['run', project];
}

function buildArgs(project) {
  return ['build', project];
}

// One word for a POSIX shell (and fish): single quotes, a quote inside as '\''.
function shellWord(word) {
  return /^[A-Za-z0-9_\/.,:=+-]+$/.test(word) ? word : `'${word.replace(/'/g, `'\\''`)}'`;
}

function shellLine(command, args) {
  return [command, ...args].map(shellWord).join(' ');
}

// The one line that says why a command failed: the first line it wrote on its error output,
// else what became of the process.
function errorLine(command, error, stderr) {
  const first = String(stderr || '').split('\n').map(l => l.trim()).find(l => l !== '');
  if (first) return first;
  if (error.code === 'ENOENT') return `${command} was not found (the setting velmora.command.path names it)`;
  if (error.killed) return `${command} did not finish in time`;
  if (typeof error.code === 'number') return `${command} ended with exit status ${error.code}`;
  return `${command} failed: ${error.message}`;
}

// Runs `COMMAND new NAME --template TEMPLATE` in parent; resolves with the new project's folder,
// rejects with an Error holding the command's error line.
function createProject(command, parent, name, template, timeoutMs = 60000) {
  const args = newArgs(name, template);
  return new Promise((resolve, reject) => {
    childProcess.execFile(command, args, { cwd: parent, timeout: timeoutMs, killSignal: 'SIGKILL' },
      (error, stdout, stderr) => {
        if (error) reject(new Error(errorLine(command, error, stderr)));
        else resolve(path.join(parent, name));
      });
  });
}

// The program's name a project declares (its velmora.json's "name"), else fallback.
function programName(project, fallback) {
  try {
    const name = JSON.parse(fs.readFileSync(path.join(project, PROJECT_FILE), 'utf8')).name;
    if (typeof name === 'string' && NAME_RULE.test(name)) return name;
  } catch {
    // unreadable or not JSON: `velmora build` reports it
  }
  return fallback;
}

// F5 without a launch.json. A project folder: build it with the build task, then debug its
// debug program under .velmora/debug/. Any other folder: the program named after the folder in
// its build/ folder, as a CMake build of it names it.
function fallbackDebugConfiguration(folder, folderName, buildTask = BUILD_TASK) {
  const root = folder || '.';
  const base = folderName || (folder ? path.basename(folder) : 'program');
  const config = { type: 'vlmdap', request: 'launch', name: 'Debug a Velmora program', args: [], stopOnEntry: false };
  if (folder && isProject(folder)) {
    const dir = path.join(root, '.velmora', 'debug');
    return { ...config, program: path.join(dir, programName(folder, base)), cwd: dir, preLaunchTask: buildTask };
  }
  return { ...config, program: `${root}/build/${base}`, cwd: `${root}/build` };
}

module.exports = {
  PROJECT_FILE, TEMPLATES, BUILD_TASK, NAME_RULE, PROBLEM_PATTERN,
  isProject, findProject, nameProblem, newArgs, runArgs, buildArgs, shellWord, shellLine, errorLine,
  createProject, programName, fallbackDebugConfiguration,
};
