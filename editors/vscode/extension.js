// The Velmora BASIC extension: starts the language server vlmls for .bas files and serves the
// debugger type "vlmdap" by starting the debug adapter vlmdap. Both are found on PATH unless the
// settings velmora.languageServer.path and velmora.debugAdapter.path name them. Debug hovers
// evaluate whole names, elements and fields (evaluatable.js).
'use strict';
const vscode = require('vscode');
const { LanguageClient, TransportKind } = require('vscode-languageclient/node');
const { expressionAt } = require('./evaluatable.js');

let client;

function setting(name, fallback) {
  const value = vscode.workspace.getConfiguration('velmora').get(name);
  return typeof value === 'string' && value.trim() !== '' ? value.trim() : fallback;
}

function activate(context) {
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
  // F5 without a launch.json: debug the program named after the folder, as the build names it.
  context.subscriptions.push(vscode.debug.registerDebugConfigurationProvider('vlmdap', {
    resolveDebugConfiguration(folder, config) {
      if (!config.type && !config.request && !config.name) {
        const root = folder ? folder.uri.fsPath : '.';
        const name = folder ? folder.name : 'program';
        return { type: 'vlmdap', request: 'launch', name: 'Debug a Velmora program',
                 program: `${root}/build/${name}`, cwd: `${root}/build`, args: [], stopOnEntry: false };
      }
      return config;
    },
  }));
}

function deactivate() {
  return client ? client.stop() : undefined;
}

module.exports = { activate, deactivate };
