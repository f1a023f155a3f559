#!/usr/bin/env python3
# Generates random valid BASIC programs, translates each with vlmc and compiles the C++ in a few
# batches with -Wall -Wextra -Werror (syntax and warnings only, no linking). Fails when vlmc
# rejects a program or the compiler complains. The seed is fixed, so a failure repeats.
import argparse
import os
import random
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

# Runtime operations the generator calls, with the kinds of their arguments:
# n number, s text, N a number variable written to, S a text variable written to, A a number array.
CALLS = [
    ('SetCamera', 'nnnnnn'), ('AddMeshVertex', 'nnnnnn'), ('PrintText', 'snnn'), ('WriteLog', 's'),
    ('LoadSprite', 'sn'), ('GetMouseState', 'NNNN'), ('ReadNumberLine', 'nN'), ('ReadLine', 'nS'),
    ('SetScreenMode', 'nnn'), ('DrawMesh', 'nn'), ('ClearScreen', 'n'), ('SetFog', 'nnnn'),
    ('GetMeshTriangle', 'nnnA'), ('OpenFile', 'nsn'), ('CloseFile', 'n'), ('SeedRnd', 'n'),
]
VALUE_CALLS = [('IntMod', 'nn', 'n'), ('Rnd', 'n', 'n'), ('Mid', 'sn', 's'), ('Format', 'nnn', 's'),
               ('EndOfFile', 'n', 'n'), ('GetFrameDelta', '', 'n'), ('Upper', 's', 's')]


class Generator:
    def __init__(self, rng):
        self.r = rng
        self.lines = []

    def num_expr(self, scope, depth=0):
        r = self.r
        choice = r.randrange(12 if depth < 3 else 3)
        if choice == 0:
            return str(r.choice([0, 1, 2, 7, 255, 1000])) + r.choice(['', '.5'])
        if choice == 1:
            return r.choice(['$FF', '$1A', '0.25', '.5', '3e2'])
        if choice == 2:
            return r.choice(scope['num'])
        if choice == 3:
            return '%s[%s]' % (r.choice(scope['arr']), r.randrange(4))
        if choice == 4:
            op = r.choice(['+', '-', '*', '/', 'MOD', 'AND', 'OR', '^'])
            return '(%s %s %s)' % (self.num_expr(scope, depth + 1), op, self.num_expr(scope, depth + 1))
        if choice == 5:
            return '%s(%s)' % (r.choice(['INT', 'SIN', 'COS', 'TAN', 'ACOS', 'SQR', 'ABS']), self.num_expr(scope, depth + 1))
        if choice == 6:
            return r.choice(['LEN', 'VAL', 'ASC']) + '(%s)' % self.str_expr(scope, depth + 1)
        if choice == 7:
            return 'INSTR(%s, %s)' % (self.str_expr(scope, depth + 1), self.str_expr(scope, depth + 1))
        if choice == 8:
            return '-' + self.num_expr(scope, depth + 1)
        if choice == 9:
            name, kinds, result = r.choice([c for c in VALUE_CALLS if c[2] == 'n'])
            return '%s(%s)' % (name, self.args(kinds, scope, depth))
        if choice == 10 and scope['funcs']:
            name, params = r.choice(scope['funcs'])
            return '%s(%s)' % (name, ', '.join(self.num_expr(scope, depth + 1) for _ in range(params)))
        return "(" + self.condition(scope, depth + 1) + ")"

    def str_expr(self, scope, depth=0):
        r = self.r
        choice = r.randrange(7 if depth < 3 else 2)
        if choice == 0:
            return '"%s"' % r.choice(['', 'a', 'text ""quoted""', 'x?y', 'media/'])
        if choice == 1:
            return r.choice(scope['str'])
        if choice == 2:
            return '%s + %s' % (self.str_expr(scope, depth + 1), self.str_expr(scope, depth + 1))
        if choice == 3:
            return 'STR$(%s)' % self.num_expr(scope, depth + 1)
        if choice == 4:
            return r.choice(['LEFT$', 'RIGHT$']) + '(%s, %s)' % (self.str_expr(scope, depth + 1), self.num_expr(scope, depth + 1))
        if choice == 5:
            return 'MID$(%s, %s, %s)' % (self.str_expr(scope, depth + 1), self.num_expr(scope, depth + 1),
                                         self.num_expr(scope, depth + 1))
        name, kinds, result = r.choice([c for c in VALUE_CALLS if c[2] == 's'])
        return '%s(%s)' % (name, self.args(kinds, scope, depth))

    def condition(self, scope, depth=0):
        r = self.r
        if r.randrange(3) == 0:
            return '%s %s %s' % (self.str_expr(scope, depth + 1), r.choice(['=', '<>', '<']), self.str_expr(scope, depth + 1))
        c = '%s %s %s' % (self.num_expr(scope, depth + 1), r.choice(['=', '<>', '<', '>', '<=', '>=']),
                          self.num_expr(scope, depth + 1))
        if r.randrange(3) == 0:
            c = 'NOT (%s) %s %s' % (c, r.choice(['AND', 'OR']), c)
        return c

    def args(self, kinds, scope, depth):
        out = []
        for k in kinds:
            out.append({'n': lambda: self.num_expr(scope, depth + 1), 's': lambda: self.str_expr(scope, depth + 1),
                        'N': lambda: self.r.choice(scope['num']), 'S': lambda: self.r.choice(scope['str']),
                        'A': lambda: self.r.choice(scope['arr'])}[k]())
        return ', '.join(out)

    def statements(self, scope, indent, count, depth, loops):
        r = self.r
        pad = '  ' * indent
        for _ in range(count):
            choice = r.randrange(12 if depth < 3 else 4)
            if choice == 0:
                self.lines.append(pad + '%s = %s' % (r.choice(scope['num']), self.num_expr(scope)))
            elif choice == 1:
                self.lines.append(pad + '%s = %s' % (r.choice(scope['str']), self.str_expr(scope)))
            elif choice == 2:
                name, kinds = r.choice(CALLS)
                self.lines.append(pad + '%s(%s)' % (name, self.args(kinds, scope, 0)))
            elif choice == 3:
                self.lines.append(pad + '%s[%d] = %s' % (r.choice(scope['arr']), r.randrange(4), self.num_expr(scope)))
            elif choice == 4:
                self.lines.append(pad + 'IF %s THEN %s = 1 ELSE PRINT %s' % (self.condition(scope), r.choice(scope['num']),
                                                                            self.str_expr(scope)))
            elif choice == 5:
                self.lines.append(pad + 'IF %s' % self.condition(scope))
                self.statements(scope, indent + 1, 2, depth + 1, loops)
                if r.randrange(2):
                    self.lines.append(pad + 'ELSEIF %s THEN' % self.condition(scope))
                    self.statements(scope, indent + 1, 1, depth + 1, loops)
                self.lines.append(pad + 'ELSE')
                self.statements(scope, indent + 1, 1, depth + 1, loops)
                self.lines.append(pad + 'ENDIF')
            elif choice == 6:
                var = r.choice(scope['num'])
                step = r.choice(['', ' STEP -1', ' STEP 2', ' STEP %s' % r.choice(scope['num'])])
                self.lines.append(pad + 'FOR %s = 0 TO %s%s' % (var, self.num_expr(scope), step))
                self.statements(scope, indent + 1, 2, depth + 1, loops + ['FOR'])
                self.lines.append(pad + 'NEXT')
            elif choice == 7:
                self.lines.append(pad + 'WHILE %s' % self.condition(scope))
                self.statements(scope, indent + 1, 2, depth + 1, loops + ['WHILE'])
                self.lines.append(pad + 'WEND')
            elif choice == 8:
                self.lines.append(pad + 'REPEAT')
                self.statements(scope, indent + 1, 2, depth + 1, loops + ['REPEAT'])
                self.lines.append(pad + 'UNTIL %s' % self.condition(scope))
            elif choice == 9:
                self.lines.append(pad + 'SELECT CASE %s' % self.num_expr(scope))
                self.lines.append(pad + '  CASE 1, 2')
                self.statements(scope, indent + 2, 1, depth + 1, loops)
                self.lines.append(pad + '  CASE 3 TO 5')
                self.statements(scope, indent + 2, 1, depth + 1, loops)
                self.lines.append(pad + '  CASE ELSE')
                self.statements(scope, indent + 2, 1, depth + 1, loops)
                self.lines.append(pad + 'END SELECT')
            elif choice == 10 and loops:
                self.lines.append(pad + 'IF %s THEN EXIT %s' % (self.condition(scope), r.choice(loops)))
            else:
                self.lines.append(pad + 'PRINT %s; %s' % (self.str_expr(scope), self.num_expr(scope)))

    def program(self):
        r = self.r
        glob = {'num': ['g1', 'g2', 'class', 'x'], 'str': ['name$', 'g$'], 'arr': ['ga'], 'funcs': []}
        self.lines.append("' generated")
        if r.randrange(2):
            self.lines.append('PROJECT ScreenWidth = 320, AppTitle = "gen", DebugMode = %d' % r.randrange(2))
        self.lines.append('GLOBAL g1, g2, class, x, name$, g$, ga[]')
        funcs = []
        for f in range(r.randrange(1, 4)):
            params = r.randrange(0, 4)
            funcs.append(('f%d' % f, params))
        glob['funcs'] = funcs
        self.lines.append('DIM ga[4]')
        self.statements(glob, 0, r.randrange(3, 10), 0, [])
        for name, params in funcs:
            pnames = ['p%d' % k for k in range(params)]
            self.lines.append('FUNCTION %s(%s)' % (name, ', '.join(pnames)))
            self.lines.append('  LOCAL loc, t$, la[]')
            self.lines.append('  DIM la[4]')
            scope = {'num': pnames + ['loc', 'g1'], 'str': ['t$', 'g$'], 'arr': ['la', 'ga'], 'funcs': funcs}
            self.statements(scope, 1, r.randrange(2, 8), 0, [])
            self.lines.append('  RETURN %s' % self.num_expr(scope))
            self.lines.append('END FUNCTION')
        return '\n'.join(self.lines) + '\n'


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--vlmc', required=True)
    ap.add_argument('--compiler', required=True)
    ap.add_argument('--runtime', required=True)
    ap.add_argument('--work', required=True)
    ap.add_argument('--count', type=int, default=300)
    ap.add_argument('--batches', type=int, default=3)
    ap.add_argument('--seed', type=int, default=19)
    args = ap.parse_args()
    os.makedirs(args.work, exist_ok=True)
    rng = random.Random(args.seed)
    batches = [[] for _ in range(args.batches)]
    for k in range(args.count):
        name = 'gen%03d' % k
        folder = os.path.join(args.work, name)
        os.makedirs(folder, exist_ok=True)
        source = os.path.join(folder, name + '.bas')
        with open(source, 'w') as f:
            f.write(Generator(rng).program())
        mode = '--debug' if k % 2 == 0 else '--release'
        done = subprocess.run([args.vlmc, '--program', name, '--out', folder, mode, '--no-main', source],
                              capture_output=True, text=True)
        if done.returncode != 0:
            print('vlmc rejected %s:\n%s' % (source, done.stderr))
            return 1
        batches[k % args.batches] += [os.path.join(folder, f) for f in sorted(os.listdir(folder)) if f.endswith('.cpp')]

    def compile_batch(index):
        unit = os.path.join(args.work, 'batch%d.cpp' % index)
        with open(unit, 'w') as f:
            f.write(''.join('#include "%s"\n' % path for path in batches[index]))
        return subprocess.run([args.compiler, '-std=c++20', '-fsyntax-only', '-Wall', '-Wextra', '-Werror',
                               '-I', args.runtime, unit], capture_output=True, text=True)

    with ThreadPoolExecutor(max_workers=2) as pool:
        results = list(pool.map(compile_batch, range(args.batches)))
    failed = [r for r in results if r.returncode != 0]
    for r in failed:
        print(r.stderr[:20000])
    print('%d programs translated, %d batches compiled, %d failed' % (args.count, args.batches, len(failed)))
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
