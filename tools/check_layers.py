#!/usr/bin/env python3
# Checks that includes follow the runtime layers of cmake/layers.txt; lists each violation and exits 1.
"""Scans the #include lines of the runtime and of the code built on it.

Rules (the same ones the build enforces with its per-folder include roots):
  - runtime/<folder>/ includes its own headers and the public headers of the
    folders its line in cmake/layers.txt names, nothing from any other folder;
  - a public header never includes an internal one (its users could not
    compile it);
  - only runtime/platform/ includes SDL or operating-system headers;
  - app/, tools/, bench/ and tests/ include public headers only; tests/<folder>/
    may also include the internal headers of the runtime folder it tests, and a
    file of the harnesses (bench/, tests/app/, tests/fuzz/, tests/programs/)
    those of one folder, the one it drives;
  - every runtime folder has a line in the table and one in cmake/faces.txt,
    whose face headers exist and are public, and the table has no circle.

A header directly in runtime/<folder>/ is public unless its name ends in
"_internal.h"; everything under runtime/<folder>/internal/ and every other
file (*.inc, ...) is internal. Of the public headers, the ones cmake/faces.txt
names are the folder's face (what programs call); the others face the floors
above. The report lists the three kinds per folder.
"""

import argparse
import os
import re
import sys

sys.dont_write_bytecode = True   # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import runtime_headers  # noqa: E402
from runtime_headers import is_internal  # noqa: E402

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
SOURCE_SUFFIXES = ('.h', '.hpp', '.cpp', '.cc', '.c', '.inc')
# System headers that belong behind the platform seam.
OS_HEADER_PREFIXES = ('SDL', 'sys/', 'unistd.h', 'fcntl.h', 'dlfcn.h', 'dirent.h', 'pthread.h',
                      'signal.h', 'termios.h', 'windows.h', 'X11/', 'EGL/')
CONSUMER_FOLDERS = ('app', 'tools', 'bench', 'tests')
# Harnesses that drive a folder from outside its own tests (with bench/): each file may reach
# into the internal headers of one folder, which its build makes visible.
HARNESS_TESTS = ('app', 'fuzz', 'programs')
HARNESS = object()


def read_table(path):
    """Returns ({folder: set of folders below it}, [folders in table order]) or raises ValueError."""
    allowed, order = {}, []
    with open(path, encoding='utf-8') as table:
        for number, line in enumerate(table, 1):
            line = line.split('#', 1)[0].strip()
            if not line:
                continue
            folder, colon, below = line.partition(':')
            folder = folder.strip()
            if not colon or not re.fullmatch(r'[a-z0-9_]+', folder) or folder in allowed:
                raise ValueError(f'{path}:{number}: expected one "<folder>: <folders below>" line per folder')
            allowed[folder] = set(below.split())
            order.append(folder)
    for folder, below in allowed.items():
        unknown = below - set(allowed)
        if unknown or folder in below:
            raise ValueError(f'{path}: {folder} names {", ".join(sorted(unknown or {folder}))}, '
                             'which is not a folder below it in the table')
    # A circle in the table would let two folders include each other.
    state = {}

    def visit(folder, trail):
        if state.get(folder) == 'done':
            return
        if state.get(folder) == 'open':
            raise ValueError(f'{path}: layers form a circle: {" -> ".join(trail + [folder])}')
        state[folder] = 'open'
        for below in sorted(allowed[folder]):
            visit(below, trail + [folder])
        state[folder] = 'done'

    for folder in order:
        visit(folder, [])
    return allowed, order


def check_faces(faces, order, root, path):
    """Raises ValueError unless every folder of the layer table has a line in the faces table
    naming public headers that exist, and the faces table names no other folder."""
    for folder in order:
        if folder not in faces:
            raise ValueError(f'{path}: runtime/{folder} has no line in it')
        for name in faces[folder]:
            if is_internal(name) or not os.path.isfile(os.path.join(root, 'runtime', folder, name)):
                raise ValueError(f'{path}: {folder}/{name} is not a public header of runtime/{folder}')
    for folder in faces:
        if folder not in order:
            raise ValueError(f'{path}: {folder} is not a folder of the layer table')


def source_files(top):
    for directory, subdirs, files in os.walk(top):
        subdirs.sort()
        for name in sorted(files):
            if name.endswith(SOURCE_SUFFIXES):
                yield os.path.join(directory, name)


class Checker:
    def __init__(self, root, allowed):
        self.root = root
        self.runtime = os.path.join(root, 'runtime')
        self.allowed = allowed
        self.violations = []
        self.files = 0

    def report(self, path, line, text):
        self.violations.append(f'{os.path.relpath(path, self.root)}:{line}: {text}')

    def target_of(self, including, spelled, quoted):
        """(folder, path below the folder) that an include names inside runtime/, or None."""
        if quoted:
            beside = os.path.normpath(os.path.join(os.path.dirname(including), spelled))
            if os.path.isfile(beside):
                parts = os.path.relpath(beside, self.runtime).split(os.sep)
                return (parts[0], os.path.join(*parts[1:])) if len(parts) >= 2 and parts[0] != '..' else None
        parts = os.path.normpath(spelled).split(os.sep)
        if len(parts) >= 2 and (parts[0] in self.allowed or os.path.isdir(os.path.join(self.runtime, parts[0]))):
            return parts[0], os.path.join(*parts[1:])
        return None

    def scan(self, path, folder, own_internal):
        """folder: the runtime folder the file belongs to (None for app/tests/...);
        own_internal: the runtime folder whose internal headers the file may include."""
        self.files += 1
        harness = own_internal is HARNESS
        public_header = False
        if folder is not None:
            public_header = not is_internal(os.path.relpath(path, os.path.join(self.runtime, folder)))
        with open(path, encoding='utf-8', errors='replace') as source:
            for number, line in enumerate(source, 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                quoted, spelled = match.group(1) == '"', match.group(2)
                if not quoted and folder not in (None, 'platform') and spelled.startswith(OS_HEADER_PREFIXES):
                    self.report(path, number, f'{folder} -> <{spelled}>: only platform includes SDL and OS headers')
                    continue
                target = self.target_of(path, spelled, quoted)
                if target is None:
                    continue
                to, below = target
                where = folder or os.path.relpath(path, self.root).split(os.sep)[0]
                if harness and is_internal(below):
                    own_internal, harness = to, False
                if to not in self.allowed:
                    self.report(path, number, f'{where} -> {to} ({spelled}): {to} is not in the layer table')
                elif folder is not None and to != folder and to not in self.allowed[folder]:
                    self.report(path, number, f'{folder} -> {to} ({spelled}): {to} is not below {folder}')
                elif is_internal(below) and to != own_internal:
                    self.report(path, number, f'{where} -> {to} ({spelled}): internal header of {to}')
                elif is_internal(below) and public_header:
                    self.report(path, number, f'{folder} -> {to} ({spelled}): public header includes an internal one')

    def run(self):
        if os.path.isdir(self.runtime):
            for folder in sorted(os.listdir(self.runtime)):
                top = os.path.join(self.runtime, folder)
                if not os.path.isdir(top):
                    continue
                if folder not in self.allowed:
                    self.report(top, 0, f'runtime/{folder} has no line in the layer table')
                    continue
                for path in source_files(top):
                    self.scan(path, folder, folder)
        for consumer in CONSUMER_FOLDERS:
            top = os.path.join(self.root, consumer)
            if not os.path.isdir(top):
                continue
            for path in source_files(top):
                self.scan(path, None, self.white_box(consumer, os.path.relpath(path, top).split(os.sep)))

    @staticmethod
    def white_box(consumer, parts):
        """The runtime folder whose internal headers a consumer file may include (None: no
        folder; HARNESS: the first one it includes)."""
        if consumer == 'bench':
            return HARNESS
        if consumer == 'tests' and len(parts) > 1:
            return HARNESS if parts[0] in HARNESS_TESTS else parts[0]
        return None


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description='Checks that includes go down the runtime layers only.')
    parser.add_argument('--root', default=os.path.dirname(here), help='source tree (default: this checkout)')
    parser.add_argument('--table', help='layer table (default: ROOT/cmake/layers.txt)')
    args = parser.parse_args(argv)
    try:
        allowed, order = read_table(args.table or os.path.join(args.root, 'cmake', 'layers.txt'))
        faces_path = os.path.join(args.root, runtime_headers.FACES)
        faces = runtime_headers.read_faces(faces_path)
        check_faces(faces, order, args.root, faces_path)
    except (OSError, ValueError) as error:
        print(f'check_layers: {error}', file=sys.stderr)
        return 2
    checker = Checker(args.root, allowed)
    checker.run()
    for violation in checker.violations:
        print(violation)
    if checker.violations:
        print(f'check_layers: {len(checker.violations)} violation(s) in {checker.files} files', file=sys.stderr)
        return 1
    for folder in order:
        kinds = runtime_headers.classify(args.root, folder, faces)
        print(f'{folder}: ' + '; '.join(f'{kind} {" ".join(names) or "-"}'
                                       for kind, names in zip(('face', 'floor', 'internal'), kinds)))
    print(f'check_layers: {checker.files} files, includes go down only')
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
