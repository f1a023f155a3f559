#!/usr/bin/env python3
# Tests of tools/gen_reference.py: what it takes from header texts, and its check on small trees.
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

SOURCE_DIR = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..'))
GENERATOR = os.path.join(SOURCE_DIR, 'tools', 'gen_reference.py')
sys.dont_write_bytecode = True   # no __pycache__ in the source tree
sys.path.insert(0, os.path.join(SOURCE_DIR, 'tools'))
import gen_reference  # noqa: E402

# (case, header text, expected [(kind, qualified name, first comment line or None for none)]).
DECLARATIONS = [
    ('multi-line declaration with defaults',
     '// Draws it.\nvoid Draw(int a,\n          int b = 3);\n',
     [('function', 'Draw', 'Draws it.')]),
    ('overload declared next shares the comment',
     '// Loads.\nbool Load(const char* f);\nbool Load(const BasicString& f);\n',
     [('function', 'Load', 'Loads.'), ('function', 'Load', 'Loads.')]),
    ('overload declared later shares the comment',
     '// Loads.\nbool Load(const char* f);\n\n// Other.\nvoid Other();\n\nbool Load(int id);\n',
     [('function', 'Load', 'Loads.'), ('function', 'Other', 'Other.'), ('function', 'Load', 'Loads.')]),
    ('a function of another name in the row has none',
     '// Sets a.\nvoid SetA();\nvoid SetB();\n',
     [('function', 'SetA', 'Sets a.'), ('function', 'SetB', None)]),
    ('comment at the end of the line',
     'int32_t FindFree();  // highest free id\n',
     [('function', 'FindFree', 'highest free id')]),
    ('blank line between comment and declaration',
     '// Orphan.\n\nvoid Lone();\n',
     [('function', 'Lone', None)]),
    ('section rule above the declaration',
     '// ---------------- drawing\nvoid Rule();\n',
     [('function', 'Rule', None)]),
    ('template function',
     '// Dims.\ntemplate <class T>\nvoid Dim(BasicArray<T>& a, int32_t d1 = 0);\n',
     [('function', 'Dim', 'Dims.')]),
    ('inline body: its comments are not the next declaration\'s',
     '// Twice.\ninline int Twice(int x) {\n  // doubled\n  return x * 2;  // twice\n}\nvoid After();\n',
     [('function', 'Twice', 'Twice.'), ('function', 'After', None)]),
    ('extern variable and extern "C" function',
     'extern int32_t Count;  // things\n// Hook.\nextern "C" void Hook(const char* t);\nextern int32_t Bare;\n',
     [('variable', 'Count', 'things'), ('function', 'Hook', 'Hook.'), ('variable', 'Bare', None)]),
    ('enum with its values',
     '// Codes.\nenum Code : int32_t {\n  kA = 0,  // first\n  kB = 3,\n};\nenum class Plain { kX };\n',
     [('type', 'Code', 'Codes.'), ('type', 'Plain', None)]),
    ('a table of constants under one comment, ended by a blank line',
     '// Keys.\nconstexpr int kA = 1;\nconstexpr int kB = 2;  // note\nconstexpr int kC = 3;\n\nconstexpr int kD = 4;\n',
     [('constant', 'kA', 'Keys.'), ('constant', 'kB', 'Keys.'), ('constant', 'kC', 'Keys.'),
      ('constant', 'kD', None)]),
    ('a note at the end of a line does not start a table',
     'constexpr int kA = 1;  // a\nconstexpr int kB = 2;\n',
     [('constant', 'kA', 'a'), ('constant', 'kB', None)]),
    ('namespaces: named ones qualify, detail ones are hidden',
     'namespace gl {\n// Loads.\nvoid Load();\n}  // namespace gl\nnamespace array_detail {\n'
     'inline int Hidden() { return 1; }\n}\n',
     [('function', 'gl::Load', 'Loads.')]),
    ('class: the type needs the comment, its private part is not listed',
     '// A thing.\nclass Thing {\n public:\n  void Go();\n private:\n  int secret_;\n};\nstruct Bare {\n  int x;\n};\n',
     [('type', 'Thing', 'A thing.'), ('type', 'Bare', None)]),
    ('forward declarations, specializations and static_assert are not entries',
     'class Foo;\nstruct Bar;\ntemplate <class T>\nstruct Traits;\ntemplate <>\nstruct Traits<int> {\n};\n'
     'static_assert(sizeof(int) == 4, "int");\n',
     []),
    ('type alias',
     '// The number.\nusing Number = double;\nusing Bare = int;\n\nusing Other = float;\n',
     [('type', 'Number', 'The number.'), ('type', 'Bare', 'The number.'), ('type', 'Other', None)]),
    ('macros: kept unless undefined again; an invocation is no declaration',
     '// Opens.\n#define VLM_OPEN() frame_\n#define VLM_HELP(a) a\n#undef VLM_HELP\nVLM_DECLARE(int)\n'
     '// Equal.\nbool operator==(const S& a, const S& b);\nbool operator!=(const S& a, const S& b);\n'
     'bool Plain(int a);\n',
     [('macro', 'VLM_OPEN', 'Opens.'), ('function', 'operator==', 'Equal.'),
      ('function', 'operator!=', 'Equal.'), ('function', 'Plain', None)]),
    ('function pointer variable and array',
     '// Hook.\nextern void (*Before)();\n\nextern int32_t Table[16];\n',
     [('variable', 'Before', 'Hook.'), ('variable', 'Table', None)]),
]


def first_line(decl):
    lines = [line for line in decl.comment if line.strip()]
    return lines[0] if lines else None


class DeclarationTest(unittest.TestCase):
    def test_declarations(self):
        for case, text, expected in DECLARATIONS:
            with self.subTest(case=case):
                _, decls = gen_reference.parse_header(text)
                found = [(d.kind, '::'.join(d.scope + [d.name]), first_line(d)) for d in decls]
                self.assertEqual(found, expected)

    def test_signatures(self):
        _, decls = gen_reference.parse_header(
            '// Draws.\ntemplate <class T>\ninline T& Draw(int a,\n    int b = 3) {\n  return x;\n}\n')
        self.assertEqual([d.signature for d in decls], ['template <class T> inline T& Draw(int a, int b = 3);'])

    def test_enum_values(self):
        _, decls = gen_reference.parse_header('// Codes.\nenum Code {\n  kA = 0,  // first\n  kB = 3,\n};\n')
        values = [(m.signature, first_line(m)) for m in decls[0].members]
        self.assertEqual(values, [('kA = 0', 'first'), ('kB = 3', None)])

    def test_class_members_are_the_public_ones(self):
        _, decls = gen_reference.parse_header(
            '// A thing.\nclass Thing {\n public:\n  // Goes.\n  void Go();\n  Thing(const Thing&) = delete;\n'
            ' private:\n  int secret_;\n};\n')
        self.assertEqual([(m.name, first_line(m)) for m in decls[0].members], [('Go', 'Goes.')])


TABLE = 'platform:\nzeta: platform\nalpha: zeta platform\n'

# A documented tree; the layer table puts zeta below alpha.
CLEAN_TREE = {
    'cmake/layers.txt': TABLE,
    'cmake/faces.txt': 'platform:\nzeta: zeta.h\nalpha: alpha.h\n',
    'runtime/platform/platform.h': '#pragma once\nvoid OsCall();\n',
    'runtime/zeta/zeta_floor.h': '#pragma once\n// For the floors above.\nvoid FloorHelper();\n',
    'runtime/zeta/zeta.h': '// Zeta.\n#pragma once\n\n// Starts zeta.\nvoid StartZeta();\n',
    'runtime/zeta/zeta_internal.h': '#pragma once\nvoid InternalHelper();\n',
    'runtime/zeta/internal/deep.h': '#pragma once\nvoid DeepHelper();\n',
    'runtime/alpha/alpha.h': '// Alpha.\n#pragma once\n\n// Starts alpha.\nvoid StartAlpha(int n = 1);\n',
}


class TreeTest(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix='gen_reference_test_')
        for path, text in CLEAN_TREE.items():
            self.write(path, text)

    def tearDown(self):
        shutil.rmtree(self.root)

    def write(self, path, text):
        full = os.path.join(self.root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, 'w', encoding='utf-8') as f:
            f.write(text)

    def run_generator(self, *args):
        result = subprocess.run([sys.executable, GENERATOR, '--root', self.root] + list(args),
                                capture_output=True, text=True)
        return result.returncode, result.stdout + result.stderr

    def reference(self):
        with open(os.path.join(self.root, 'docs', 'reference.md'), encoding='utf-8') as f:
            return f.read()

    def test_generated_tree_passes_and_output_is_stable(self):
        os.makedirs(os.path.join(self.root, 'docs'))
        self.assertEqual(self.run_generator()[0], 0)
        first = self.reference()
        self.assertEqual(self.run_generator('--check'), (0, ''))
        self.assertEqual(self.run_generator()[0], 0)
        self.assertEqual(self.reference(), first)

    def test_sections_follow_the_layer_table_and_leave_out_what_programs_cannot_call(self):
        os.makedirs(os.path.join(self.root, 'docs'))
        self.run_generator()
        text = self.reference()
        self.assertLess(text.index('## zeta'), text.index('## alpha'))
        self.assertIn('void StartAlpha(int n = 1);', text)
        for hidden in ('OsCall', 'FloorHelper', 'InternalHelper', 'DeepHelper', '## platform'):
            self.assertNotIn(hidden, text)

    def test_undocumented_operation_fails_with_its_place(self):
        os.makedirs(os.path.join(self.root, 'docs'))
        self.write('runtime/alpha/alpha.h', CLEAN_TREE['runtime/alpha/alpha.h'] + '\nvoid Bare();\n')
        self.run_generator()
        code, output = self.run_generator('--check')
        self.assertEqual(code, 1)
        self.assertIn('runtime/alpha/alpha.h:7: function Bare has no comment', output)
        self.assertNotIn('StartAlpha', output)

    def test_stale_reference_fails(self):
        os.makedirs(os.path.join(self.root, 'docs'))
        self.run_generator()
        self.write('runtime/zeta/zeta.h', CLEAN_TREE['runtime/zeta/zeta.h'].replace('Starts zeta.', 'Starts it.'))
        code, output = self.run_generator('--check')
        self.assertEqual(code, 1)
        self.assertIn('docs/reference.md: not what the headers give now', output)
        self.assertNotIn('has no comment', output)

    def test_missing_reference_fails(self):
        code, output = self.run_generator('--check')
        self.assertEqual(code, 1)
        self.assertIn('docs/reference.md: not what the headers give now', output)


if __name__ == '__main__':
    unittest.main()
