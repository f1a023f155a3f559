#!/usr/bin/env python3
# The .vsix the build packaged holds exactly the files `vsce ls` lists for the extension (the
# grammar, the language configuration, the client, its project module and its runtime npm packages;
# no tests, no lock file), and its manifest contributes the language, the grammar, the breakpoints,
# the debugger type with the launch and attach attributes vlmdap reads, and the commands Velmora: Run
# and Velmora: New Project with the setting that names the velmora command, at the project's version.
#   vsix_contents_test.py VSIX STAGE NODE VERSION
import json
import subprocess
import sys
import zipfile

failures = []


def check(ok, what):
    print(('ok   ' if ok else 'FAIL ') + what, flush=True)
    if not ok:
        failures.append(what)


def main(vsix, stage, node, version):
    listed = subprocess.run([node, stage + '/node_modules/@vscode/vsce/vsce', 'ls'], cwd=stage,
                            capture_output=True, text=True, timeout=240)
    check(listed.returncode == 0, 'vsce ls runs: ' + listed.stderr.strip()[:300])
    expected = {line.strip() for line in listed.stdout.splitlines() if line.strip()}
    with zipfile.ZipFile(vsix) as archive:
        names = archive.namelist()
        packaged = {n[len('extension/'):] for n in names if n.startswith('extension/')}
        manifest = json.loads(archive.read('extension/package.json'))
        vsixmanifest = archive.read('extension.vsixmanifest').decode()
        main_script = archive.read('extension/' + manifest.get('main', './extension.js').lstrip('./')).decode()
    check(packaged == expected, 'the package holds what vsce ls lists (%d files; missing %s, extra %s)' % (
        len(packaged), sorted(expected - packaged)[:5], sorted(packaged - expected)[:5]))
    for name in ['package.json', 'extension.js', 'project.js', 'evaluatable.js', 'language-configuration.json', 'README.md',
                 'syntaxes/velmora-basic.tmLanguage.json', 'node_modules/vscode-languageclient/node.js',
                 'node_modules/vscode-languageclient/package.json']:
        check(name in packaged, 'it holds ' + name)
    check(not any(n.startswith(('test/', 'node_modules/@vscode/vsce/', 'node_modules/vscode-tmgrammar-test/')) or
                  n == 'package-lock.json' for n in packaged), 'no tests, lock file or build-time packages')
    check(manifest.get('version') == version and ('Version="%s"' % version) in vsixmanifest,
          'at version ' + version)
    contributes = manifest.get('contributes', {})
    languages = contributes.get('languages', [])
    check(any(l.get('id') == 'velmora-basic' and '.bas' in l.get('extensions', []) for l in languages),
          'the language velmora-basic for .bas files')
    check(any(g.get('scopeName') == 'source.velmora-basic' for g in contributes.get('grammars', [])), 'its grammar')
    check({'language': 'velmora-basic'} in contributes.get('breakpoints', []), 'breakpoints in .bas files')
    debuggers = [d for d in contributes.get('debuggers', []) if d.get('type') == 'vlmdap']
    attributes = debuggers[0].get('configurationAttributes', {}) if debuggers else {}
    launch = set(attributes.get('launch', {}).get('properties', {}))
    attach = set(attributes.get('attach', {}).get('properties', {}))
    check(launch == {'program', 'args', 'cwd', 'env', 'stopOnEntry', 'lineMap'} and attach == {'processId', 'lineMap'},
          'the debugger vlmdap with its launch and attach arguments: %s / %s' % (sorted(launch), sorted(attach)))
    commands = {c.get('command') for c in contributes.get('commands', [])}
    events = set(manifest.get('activationEvents', []))
    check({'velmora.run', 'velmora.newProject'} <= commands and
          {'onCommand:velmora.run', 'onCommand:velmora.newProject', 'workspaceContains:velmora.json'} <= events,
          'the commands velmora.run and velmora.newProject, and their activation: %s' % sorted(commands))
    settings = contributes.get('configuration', {}).get('properties', {})
    check(settings.get('velmora.command.path', {}).get('default') == 'velmora', 'the setting velmora.command.path')
    check("require('./project.js')" in main_script and "registerCommand('velmora.run'" in main_script and
          "registerCommand('velmora.newProject'" in main_script, 'the client registers the commands')
    check('vlmls' in main_script and 'DebugAdapterExecutable' in main_script and
          "require('vscode-languageclient/node')" in main_script, 'the client starts vlmls and vlmdap')
    print('%d check(s) failed' % len(failures) if failures else 'all checks passed')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main(*sys.argv[1:]))
