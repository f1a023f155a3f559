// The Velmora BASIC extension: starts the language server vlmls for .bas files and serves the
// debugger type "vlmdap" by starting the debug adapter vlmdap. Both are found on PATH unless the
// settings velmora.languageServer.path and velmora.debugAdapter.path name them. Debug hovers
// evaluate whole names, elements and fields (evaluatable.js). The commands "Velmora: Run" and
// "Velmora: New Project" and the task "velmora: build" run the `velmora` command
// (velmora.command.path) on the project, the folder holding velmora.json (project.js).
'use strict';
const path = require('node:path');
const vscode = require('vscode');
const { LanguageClient, TransportKind } = require('vscode-languageclient/node');
const { expressionAt } = require('./evaluatable.js');
const project = require('./project.js');

const TERMINAL = 'Velmora';
// The task this extension provides for each workspace folder holding velmora.json.
const PROVIDED_BUILD_TASK = 'velmora: build';

let client;

function setting(name, fallback) {
  const value = vscode.workspace.getConfiguration('velmora').get(name);
  return typeof value === 'string' && value.trim() !== '' ? value.trim() : fallback;
}

// The project of the active editor's file, else the first workspace folder.
function activeProject() {
  const editor = vscode.window.activeTextEditor;
  const file = editor && editor.document.uri.scheme === 'file' ? editor.document.uri.fsPath : undefined;
  const folders = (vscode.workspace.workspaceFolders || []).map(f => f.uri.fsPath);
  return project.findProject(file, folders);
}

async function runProject() {
  const dir = activeProject();
  if (!dir) {
    vscode.window.showErrorMessage('Velmora: open a .bas file or a project folder (one holding velmora.json) to run it.');
    return;
  }
  // `velmora run` reads the modules from disk.
  const inside = dir.endsWith(path.sep) ? dir : dir + path.sep;
  await Promise.all(vscode.workspace.textDocuments
    .filter(d => d.isDirty && d.uri.scheme === 'file' && d.uri.fsPath.startsWith(inside))
    .map(d => d.save()));
  let terminal = vscode.window.terminals.find(t => t.name === TERMINAL && t.exitStatus === undefined);
  if (!terminal) terminal = vscode.window.createTerminal({ name: TERMINAL, cwd: dir });
  terminal.show(true);
  terminal.sendText(project.shellLine(setting('command.path', 'velmora'), project.runArgs(dir)));
}

async function newProject() {
  const picked = await vscode.window.showOpenDialog({
    canSelectFolders: true, canSelectFiles: false, canSelectMany: false,
    openLabel: 'Create the project here', title: 'Velmora: the folder that will hold the new project',
  });
  if (!picked || picked.length === 0) return;
  const parent = picked[0].fsPath;
  const name = await vscode.window.showInputBox({
    title: 'Velmora: New Project', prompt: `The project's name (its folder in ${parent} and its program)`,
    placeHolder: 'mygame', validateInput: value => project.nameProblem(value),
  });
  if (name === undefined) return;
  const template = await vscode.window.showQuickPick([
    { label: '2d', description: 'a square the arrow keys or a joystick move, with a sound' },
    { label: '3d', description: 'a 3D scene whose camera the arrow keys or a joystick move' },
  ], { title: 'Velmora: New Project', placeHolder: 'The starter program' });
  if (!template) return;
  const command = setting('command.path', 'velmora');
  let folder;
  try {
    folder = await vscode.window.withProgress(
      { location: vscode.ProgressLocation.Notification, title: `Velmora: making ${name}` },
      () => project.createProject(command, parent, name, template.label));
  } catch (error) {
    vscode.window.showErrorMessage(`Velmora: ${error.message}`);
    return;
  }
  await vscode.commands.executeCommand('vscode.openFolder', vscode.Uri.file(folder));
}

// "velmora: build" for each workspace folder holding velmora.json: `velmora build FOLDER`, its
// errors in the Problems view.
function buildTask(folder) {
  const execution = new vscode.ShellExecution(setting('command.path', 'velmora'), project.buildArgs(folder.uri.fsPath));
  const task = new vscode.Task({ type: 'velmora', task: 'build' }, folder, 'build', 'velmora', execution, ['$velmora']);
  task.group = vscode.TaskGroup.Build;
  return task;
}

function activate(context) {
  context.subscriptions.push(vscode.commands.registerCommand('velmora.run', runProject));
  context.subscriptions.push(vscode.commands.registerCommand('velmora.newProject', newProject));
  context.subscriptions.push(vscode.tasks.registerTaskProvider('velmora', {
    provideTasks() {
      return (vscode.workspace.workspaceFolders || []).filter(f => project.isProject(f.uri.fsPath)).map(buildTask);
    },
    resolveTask(task) {
      const folder = task.scope;
      if (task.definition.task !== 'build' || !folder || typeof folder !== 'object') return undefined;
      const execution = new vscode.ShellExecution(setting('command.path', 'velmora'), project.buildArgs(folder.uri.fsPath));
      return new vscode.Task(task.definition, folder, task.name, 'velmora', execution, task.problemMatchers);
    },
  }));

  const server = { command: setting('languageServer.path', 'vlmls'), args: ['--stdio'], transport: TransportKind.stdio };
  client = new LanguageClient('vlmls', 'Velmora BASIC (vlmls)', { run: server, debug: server }, {
    documentSelector: [{ scheme: 'file', language: 'velmora-basic' }],
    synchronize: { fileEvents: vscode.workspace.createFileSystemWatcher('**/{*.bas,velmora.json}') },
  });
  client.start().catch((error) => {
    vscode.window.showErrorMessage(`Velmora BASIC: the language server ${server.command} did not start: ${error}`);
  });
  context.subscriptions.push({ dispose: () => client && client.stop() });

  context.subscriptions.push(vscode.debug.registerDebugAdapterDescriptorFactory('vlmdap', {
    createDebugAdapterDescriptor() {
      return new vscode.DebugAdapterExecutable(setting('debugAdapter.path', 'vlmdap'), []);
    },
  }));
  // The editor's own guess stops at $, % and brackets (ship.hp for ship.hp%, .x for pts[2].x).
  context.subscriptions.push(vscode.languages.registerEvaluatableExpressionProvider('velmora-basic', {
    provideEvaluatableExpression(document, position) {
      const found = expressionAt(document.lineAt(position.line).text, position.character);
      if (!found) return undefined;
      const range = new vscode.Range(position.line, found.start, position.line, found.end);
      return new vscode.EvaluatableExpression(range, found.text);
    },
  }));
  // F5 without a launch.json: a project folder is built by the task "velmora: build" and its debug
  // program debugged; another folder's program is the one named after it, as a CMake build names it.
  context.subscriptions.push(vscode.debug.registerDebugConfigurationProvider('vlmdap', {
    resolveDebugConfiguration(folder, config) {
      if (!config.type && !config.request && !config.name) {
        return project.fallbackDebugConfiguration(folder && folder.uri.fsPath, folder && folder.name, PROVIDED_BUILD_TASK);
      }
      return config;
    },
  }));
}

function deactivate() {
  return client ? client.stop() : undefined;
}

module.exports = { activate, deactivate };
