#!/usr/bin/env python3
# Generates random valid BASIC programs that use every construct of the language (TYPEs and
# arrays of records, FOR EACH, APPEND, REMOVE, DIM PRESERVE, BYREF and optional parameters,
# CONST, DATA, SUB, GOTO, DO ... LOOP, the operators and built-ins...) with names taken from
# every runtime operation, the C++ keywords and the C library's macros, translates each with vlmc
# and compiles the C++ in a few batches with -Wall -Wextra -Werror (syntax and warnings only, no
# linking). Fails when vlmc rejects a program or the compiler complains. The seed is fixed, so a
# failure repeats.
import argparse
import os
import random
import re
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
NUMBER_BUILTINS = ['INT', 'SIN', 'COS', 'TAN', 'ACOS', 'SQR', 'ABS', 'SGN', 'ROUND', 'EXP', 'BITNOT']
PAIR_BUILTINS = ['MIN', 'MAX', 'BITAND', 'BITOR', 'BITXOR', 'SHL', 'SHR', 'ATAN2']
KEYWORDS = set('''AND OR XOR NOT MOD IF THEN ELSE ELSEIF ENDIF END FOR EACH IN TO STEP NEXT WHILE WEND REPEAT UNTIL
FOREVER DO LOOP EXIT CONTINUE SELECT CASE RETURN FUNCTION SUB GLOBAL LOCAL CONST TYPE AS BYREF DIM PRESERVE DECLARE
LIB ALIAS PROJECT PRINT INPUT DATA READ RESTORE GOTO APPEND REMOVE REM'''.split())
BUILTINS = set(NUMBER_BUILTINS + PAIR_BUILTINS + '''RANDOM COUNT ERR ACOS LEN STR$ VAL CHR$ ASC LEFT$ RIGHT$ MID$
UPPER$ LOWER$ INSTR EOF'''.split())
# Names C++ or the C library already use, and names the translation's renaming could produce.
CPP_NAMES = '''class new delete int float double char bool auto register static struct union template typename this
throw try catch operator friend virtual public private protected namespace using goto switch case default
break continue return void const volatile signed unsigned long short sizeof typeid explicit export extern
inline mutable asm and or not xor bitand compl errno assert NULL EOF stdin stdout stderr min max linux unix
offsetof alloca int32_t uint32_t size_t M_PI INT32_MAX GL_TRUE SYS_read BUFSIZ SEEK_SET Trunc u_Trunc u2_Trunc
vlm_frame_ Number BasicString BasicArray std main settings mainProgram kCallByName LineHook RoutineFrame
isnan major minor a_Str b_Int x__y _under'''.split()
FIXED = ['g1', 'g2', 'x', 'name', 'g', 'ga', 'gs', 'gi', 'loc', 't', 'la', 'hero', 'crowd', 'pt', 'list', 'area',
         'nudge', 'total', 'tally', 'scale', 'by', 'note', 'extra', 'b', 'a', 's', 'q', 'LIMIT', 'HALF', 'TITLE',
         'tags', 'many']


def binding_names(path):
    with open(path) as f:
        return sorted(set(re.findall(r'^\{"(\w+)"', f.read(), re.M)))


class Generator:
    def __init__(self, rng, pool, label_base):
        self.r = rng
        self.lines = []
        self.pool = pool
        self.labels = label_base

    # ------------------------------------------------------------------ expressions

    def num_expr(self, s, depth=0):
        r = self.r
        choice = r.randrange(18 if depth < 3 else 4)
        if choice == 0:
            return str(r.choice([0, 1, 2, 7, 255, 1000])) + r.choice(['', '.5'])
        if choice == 1:
            return r.choice(['$FF', '$1A', '0.25', '.5', '3e2', 'LIMIT', 'HALF'])
        if choice == 2:
            return r.choice(s['num'])
        if choice == 3:
            return '%s[%s]' % (r.choice(s['arr']), r.randrange(4))
        if choice == 4:
            op = r.choice(['+', '-', '*', '/', 'MOD', 'AND', 'OR', 'XOR', '^', '\\'])
            return '(%s %s %s)' % (self.num_expr(s, depth + 1), op, self.num_expr(s, depth + 1))
        if choice == 5:
            return '%s(%s)' % (r.choice(NUMBER_BUILTINS), self.num_expr(s, depth + 1))
        if choice == 6:
            return r.choice(['LEN', 'VAL', 'ASC']) + '(%s)' % self.str_expr(s, depth + 1)
        if choice == 7:
            return 'INSTR(%s, %s)' % (self.str_expr(s, depth + 1), self.str_expr(s, depth + 1))
        if choice == 8:
            return '-' + self.num_expr(s, depth + 1)
        if choice == 9:
            name, kinds, result = r.choice([c for c in VALUE_CALLS if c[2] == 'n'])
            return '%s(%s)' % (name, self.args(kinds, s, depth))
        if choice == 10 and s['funcs']:
            name, params = r.choice(s['funcs'])
            return '%s(%s)' % (name, ', '.join(self.num_expr(s, depth + 1) for _ in range(params)))
        if choice == 11:
            return '%s(%s, %s)' % (r.choice(PAIR_BUILTINS), self.num_expr(s, depth + 1), self.num_expr(s, depth + 1))
        if choice == 12:
            return r.choice(['RANDOM()', 'ERR()', 'COUNT(%s)' % r.choice(s['arr'] + s['recarr'])])
        if choice in (13, 14) and s['rec']:
            return self.field(s, r.choice(['n', 'i', 'p']))
        if choice == 15:
            return self.area_call(s, depth)
        return "(" + self.condition(s, depth + 1) + ")"

    def record(self, s):
        r = self.r
        if s['recarr'] and r.randrange(2):
            return '%s[%d]' % (r.choice(s['recarr']), r.randrange(3))
        return r.choice(s['rec'])

    # A field of a record: n a number, i the integer, p an element of the array field, t text.
    def field(self, s, kind):
        base = self.record(s)
        f = self.fields
        if kind == 'n':
            return '%s.%s' % (base, self.r.choice([f['n'], f['inner'] + '.' + f['x']]))
        if kind == 'i':
            return '%s.%s' % (base, f['i'])
        if kind == 'p':
            return '%s.%s[%d]' % (base, f['p'], self.r.randrange(3))
        return '%s.%s' % (base, f['t'])

    def area_call(self, s, depth):
        args = [self.record(s)]
        if self.r.randrange(2):
            args.append(self.num_expr(s, depth + 1))
        return 'area(%s)' % ', '.join(args)

    def str_expr(self, s, depth=0):
        r = self.r
        choice = r.randrange(9 if depth < 3 else 2)
        if choice == 0:
            return '"%s"' % r.choice(['', 'a', 'text ""quoted""', 'x?y', 'media/', '??=', '\\n'])
        if choice == 1:
            return r.choice(s['str'])
        if choice == 2:
            return '%s + %s' % (self.str_expr(s, depth + 1), self.str_expr(s, depth + 1))
        if choice == 3:
            return 'STR$(%s)' % self.num_expr(s, depth + 1)
        if choice == 4:
            return r.choice(['LEFT$', 'RIGHT$']) + '(%s, %s)' % (self.str_expr(s, depth + 1), self.num_expr(s, depth + 1))
        if choice == 5:
            return 'MID$(%s, %s, %s)' % (self.str_expr(s, depth + 1), self.num_expr(s, depth + 1),
                                         self.num_expr(s, depth + 1))
        if choice == 6 and s['rec']:
            return self.field(s, 't')
        if choice == 7:
            return r.choice(['TITLE$', 'gs$[%d]' % r.randrange(3), 'STR$(INT(%s))' % self.num_expr(s, depth + 1)])
        name, kinds, result = r.choice([c for c in VALUE_CALLS if c[2] == 's'])
        return '%s(%s)' % (name, self.args(kinds, s, depth))

    def condition(self, s, depth=0):
        r = self.r
        if r.randrange(3) == 0:
            return '%s %s %s' % (self.str_expr(s, depth + 1), r.choice(['=', '<>', '<']), self.str_expr(s, depth + 1))
        c = '%s %s %s' % (self.num_expr(s, depth + 1), r.choice(['=', '<>', '<', '>', '<=', '>=']),
                          self.num_expr(s, depth + 1))
        if r.randrange(3) == 0:
            c = 'NOT (%s) %s %s' % (c, r.choice(['AND', 'OR', 'XOR']), c)
        return c

    def args(self, kinds, s, depth):
        out = []
        for k in kinds:
            out.append({'n': lambda: self.num_expr(s, depth + 1), 's': lambda: self.str_expr(s, depth + 1),
                        'N': lambda: self.r.choice(s['num']), 'S': lambda: self.r.choice(s['str']),
                        'A': lambda: self.r.choice(s['arr'])}[k]())
        return ', '.join(out)

    # ------------------------------------------------------------------ statements

    def simple(self, s):
        r = self.r
        f = self.fields
        choice = r.randrange(16)
        if choice == 0:
            return '%s = %s' % (r.choice(s['num']), self.num_expr(s))
        if choice == 1:
            return '%s = %s' % (r.choice(s['str']), self.str_expr(s))
        if choice == 2:
            name, kinds = r.choice(CALLS)
            return '%s(%s)' % (name, self.args(kinds, s, 0))
        if choice == 3:
            return '%s[%d] = %s' % (r.choice(s['arr']), r.randrange(4), self.num_expr(s))
        if choice == 4 and s['rec']:
            return '%s = %s' % (self.field(s, r.choice(['n', 'i', 'p'])), self.num_expr(s))
        if choice == 5 and s['rec']:
            return '%s = %s' % (self.field(s, 't'), self.str_expr(s))
        if choice == 6 and s['rec']:
            return '%s = %s' % (self.record(s), self.record(s))
        if choice == 7:
            return r.choice(['APPEND %s, %s' % (r.choice(s['arr']), self.num_expr(s)),
                             'APPEND gs$, %s' % self.str_expr(s), 'APPEND gi%%, %s' % self.num_expr(s),
                             'REMOVE %s, %s' % (r.choice(s['arr']), self.num_expr(s))])
        if choice == 8 and s['recarr']:
            return r.choice(['APPEND %s, %s' % (r.choice(s['recarr']), self.record(s)),
                             'REMOVE %s, %d' % (r.choice(s['recarr']), r.randrange(-2, 3))])
        if choice == 9:
            return r.choice(['DIM PRESERVE %s[%s]' % (r.choice(s['arr']), self.num_expr(s)),
                             'DIM PRESERVE gs$[3], gi%[4]', 'DIM PRESERVE %s[5]' % r.choice(s['recarr'] or ['crowd'])])
        if choice == 10:
            return 'READ %s, %s' % (r.choice(s['num']), r.choice(s['str']))
        if choice == 11:
            return r.choice(['RESTORE', 'RESTORE %s' % self.data_label])
        if choice == 12 and s['rec']:
            return 'nudge(%s, %s, %s)' % (self.record(s), r.choice(s['num']), r.choice(s['str']))
        if choice == 13:
            return 'total(%s)' % r.choice(s['arr'])
        if choice == 14:
            return r.choice(['tally', 'tally()', 'INPUT %s' % r.choice(s['str']),
                             'INPUT "? "; %s, %s' % (r.choice(s['num']), r.choice(s['str']))])
        items = [self.str_expr(s), self.num_expr(s), self.str_expr(s)]
        return 'PRINT %s%s %s%s %s%s' % (items[0], r.choice([';', ',']), items[1], r.choice([';', ',']), items[2],
                                         r.choice(['', ';', ',']))

    def statements(self, s, indent, count, depth, loops):
        r = self.r
        pad = '  ' * indent
        for _ in range(count):
            choice = r.randrange(16 if depth < 3 else 4)
            if choice <= 2:
                self.lines.append(pad + self.simple(s))
            elif choice == 3:
                # A name and ':' at the start of a line is a label: a routine called first is written tally().
                first = self.simple(s)
                self.lines.append(pad + '%s: %s' % ('tally()' if first == 'tally' else first, self.simple(s)))
            elif choice == 4:
                self.lines.append(pad + 'IF %s THEN %s: %s ELSE PRINT %s' % (self.condition(s), self.simple(s),
                                                                            self.simple(s), self.str_expr(s)))
            elif choice == 5:
                self.lines.append(pad + 'IF %s' % self.condition(s))
                self.statements(s, indent + 1, 2, depth + 1, loops)
                if r.randrange(2):
                    self.lines.append(pad + 'ELSEIF %s THEN' % self.condition(s))
                    self.statements(s, indent + 1, 1, depth + 1, loops)
                self.lines.append(pad + 'ELSE')
                self.statements(s, indent + 1, 1, depth + 1, loops)
                self.lines.append(pad + 'ENDIF')
            elif choice == 6:
                var = r.choice([n for n in s['num'] if not n.startswith('item')])
                step = r.choice(['', ' STEP -1', ' STEP 2', ' STEP %s' % r.choice(s['num'])])
                self.lines.append(pad + 'FOR %s = 0 TO %s%s' % (var, self.num_expr(s), step))
                self.statements(s, indent + 1, 2, depth + 1, loops + ['FOR'])
                self.lines.append(pad + 'NEXT')
            elif choice == 7:
                self.lines.append(pad + 'WHILE %s' % self.condition(s))
                self.statements(s, indent + 1, 2, depth + 1, loops + ['WHILE'])
                self.lines.append(pad + 'WEND')
            elif choice == 8:
                self.lines.append(pad + 'REPEAT')
                self.statements(s, indent + 1, 2, depth + 1, loops + ['REPEAT'])
                self.lines.append(pad + 'UNTIL %s' % self.condition(s))
            elif choice == 9:
                self.lines.append(pad + 'SELECT CASE %s' % self.num_expr(s))
                self.lines.append(pad + '  CASE 1, 2')
                self.statements(s, indent + 2, 1, depth + 1, loops)
                self.lines.append(pad + '  CASE 3 TO 5')
                self.statements(s, indent + 2, 1, depth + 1, loops)
                self.lines.append(pad + '  CASE ELSE')
                self.statements(s, indent + 2, 1, depth + 1, loops)
                self.lines.append(pad + 'END SELECT')
            elif choice == 10 and loops:
                self.lines.append(pad + 'IF %s THEN %s %s' % (self.condition(s), r.choice(['EXIT', 'CONTINUE']),
                                                              r.choice(loops)))
            elif choice == 11:
                self.do_loop(s, pad, indent, depth, loops)
            elif choice == 12:
                self.for_each(s, pad, indent, depth, loops)
            elif choice == 13:
                label = self.new_label()
                self.lines.append(pad + 'IF %s THEN GOTO %s' % (self.condition(s), label))
                self.statements(s, indent, 1, depth + 1, loops)
                self.lines.append('%s:' % label)
            elif choice == 14:
                self.lines.append(pad + 'REM ' + r.choice(['a comment', 'x = )', '"open']))
            else:
                self.lines.append(pad + 'PRINT %s; %s' % (self.str_expr(s), self.num_expr(s)))

    def do_loop(self, s, pad, indent, depth, loops):
        r = self.r
        form = r.randrange(3)
        self.lines.append(pad + ('DO %s %s' % (r.choice(['WHILE', 'UNTIL']), self.condition(s)) if form == 0 else 'DO'))
        self.statements(s, indent + 1, 2, depth + 1, loops + ['DO'])
        self.lines.append(pad + ('LOOP %s %s' % (r.choice(['WHILE', 'UNTIL']), self.condition(s)) if form == 1 else 'LOOP'))

    def for_each(self, s, pad, indent, depth, loops):
        r = self.r
        if s['recarr'] and r.randrange(2):
            element = 'each%d' % r.randrange(1000)
            inner = dict(s, rec=s['rec'] + [element])
            self.lines.append(pad + 'FOR EACH %s IN %s' % (element, r.choice(s['recarr'])))
            self.lines.append(pad + '  %s.%s = %s' % (element, self.fields['n'], self.num_expr(inner)))
            self.lines.append(pad + '  IF %s THEN REMOVE %s' % (self.condition(inner), element))
            self.statements(inner, indent + 1, 1, depth + 1, loops + ['FOR'])
        else:
            element = 'item%d' % r.randrange(1000)
            inner = dict(s, num=s['num'] + [element])
            self.lines.append(pad + 'FOR EACH %s IN %s' % (element, r.choice(s['arr'])))
            self.statements(inner, indent + 1, 2, depth + 1, loops + ['FOR'])
        self.lines.append(pad + 'NEXT')

    def new_label(self):
        self.labels += 1
        return 'lab%d' % self.labels

    # ------------------------------------------------------------------ the program

    def take(self, count):
        names = self.pool[:count]
        del self.pool[:count]
        return names

    def types(self):
        inner_type, outer_type = self.take(2)
        f = dict(zip(['x', 'n', 'inner', 'p', 'i', 't'], self.take(6)))
        f['i'] += '%'
        f['t'] += '$'
        self.fields = f
        self.lines += ['TYPE %s' % inner_type, '  %s' % f['x'], 'END TYPE',
                       'TYPE %s' % outer_type, '  %s, %s' % (f['n'], f['t']), '  %s AS %s' % (f['inner'], inner_type),
                       '  %s[3], %s' % (f['p'], f['i']), '  tags$[2], many[2] AS %s' % inner_type, 'END TYPE']
        return outer_type

    def routines(self, rtype, funcs, glob):
        f = self.fields
        self.lines += ['FUNCTION area(b AS %s, scale = 2)' % rtype, '  RETURN b.%s * scale' % f['n'], 'END FUNCTION',
                       'SUB nudge(b AS %s, BYREF by, BYREF note$, extra$ = "")' % rtype,
                       '  b.%s = b.%s + by: by = by * 2: note$ = note$ + extra$' % (f['n'], f['n']), 'END SUB',
                       'FUNCTION total(a[])', '  LOCAL s', '  FOR EACH q IN a', '    s = s + q', '  NEXT',
                       '  APPEND a, s', '  RETURN s', 'END FUNCTION', 'SUB tally', '  g1 = g1 + 1', 'END SUB']
        for name, params in funcs:
            pnames = ['p%d' % k for k in range(params)]
            self.lines.append('FUNCTION %s(%s)' % (name, ', '.join(pnames)))
            self.lines.append('  LOCAL loc, t$, la[], pt AS %s, list[] AS %s' % (rtype, rtype))
            self.lines.append('  DIM la[4]: DIM list[2]')
            scope = {'num': pnames + ['loc', 'g1'], 'str': ['t$', 'g$'], 'arr': ['la', 'ga'], 'funcs': funcs,
                     'rec': ['pt', 'hero'], 'recarr': ['list', 'crowd']}
            self.statements(scope, 1, self.r.randrange(2, 8), 0, [])
            self.lines.append('  RETURN %s' % self.num_expr(scope))
            self.lines.append('END FUNCTION')

    def program(self):
        r = self.r
        self.lines.append("' generated")
        if r.randrange(2):
            self.lines.append('PROJECT ScreenWidth = 320, AppTitle = "gen", DebugMode = %d' % r.randrange(2))
        rtype = self.types()
        names = self.take(4)
        self.lines.append('CONST LIMIT = %d, HALF = LIMIT / 2, TITLE$ = "t" + "%s"' % (r.randrange(1, 9), names[0]))
        glob = {'num': ['g1', 'g2', 'x', names[0], names[1]], 'str': ['name$', 'g$', names[2] + '$'], 'arr': ['ga', names[3]],
                'funcs': [], 'rec': ['hero'], 'recarr': ['crowd']}
        self.lines.append('GLOBAL g1, g2, x, %s, %s, name$, g$, %s$, ga[], %s[], gs$[], gi%%[]' % tuple(names))
        self.lines.append('GLOBAL hero AS %s, crowd[] AS %s' % (rtype, rtype))
        self.data_label = self.new_label()
        self.lines += ['DATA 1, "two", -3.5, LIMIT', '%s:' % self.data_label, 'DATA TITLE$, 4']
        funcs = [(name, r.randrange(0, 4)) for name in self.take(r.randrange(1, 4))]
        glob['funcs'] = funcs
        self.lines.append('DIM ga[4], %s[4], crowd[3]: DIM gs$[3], gi%%[2]' % names[3])
        self.statements(glob, 0, r.randrange(3, 10), 0, [])
        self.routines(rtype, funcs, glob)
        return '\n'.join(self.lines) + '\n'


# Program names: the runtime's operation names (not those the generator calls, which a FUNCTION
# of that name would hide) and the C++ names, each at most once in a program and never two that
# differ only in letter case.
def name_pools(bindings, count, rng):
    called = set(c[0] for c in CALLS) | set(c[0] for c in VALUE_CALLS)
    fixed = set(n.upper() for n in FIXED)
    strip = lambda n: n.upper().rstrip('$%')
    names = [n for n in bindings + CPP_NAMES
             if n not in called and n.upper() not in KEYWORDS and n.upper() not in BUILTINS and strip(n) not in fixed
             and not n.upper().startswith(('LAB', 'EACH', 'ITEM')) and not re.match(r'^[pP]\d+$', n)]
    names = sorted(set(names), key=lambda n: (n.upper(), n))
    unique, seen = [], set()
    for n in names:
        if n.upper() not in seen:
            seen.add(n.upper())
            unique.append(n)
    pools, position = [], 0
    for _ in range(count):
        pool = []
        while len(pool) < 20:
            pool.append(unique[position % len(unique)])
            position += 1
        rng.shuffle(pool)
        pools.append(pool)
    return pools


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--vlmc', required=True)
    ap.add_argument('--compiler', required=True)
    ap.add_argument('--runtime', required=True)
    ap.add_argument('--bindings', required=True, help="vlmc's table of runtime operations (vlmc_bindings.inc)")
    ap.add_argument('--work', required=True)
    ap.add_argument('--count', type=int, default=300)
    ap.add_argument('--batches', type=int, default=3)
    ap.add_argument('--seed', type=int, default=19)
    args = ap.parse_args()
    os.makedirs(args.work, exist_ok=True)
    rng = random.Random(args.seed)
    pools = name_pools(binding_names(args.bindings), args.count, rng)
    batches = [[] for _ in range(args.batches)]
    for k in range(args.count):
        name = 'gen%03d' % k
        folder = os.path.join(args.work, name)
        os.makedirs(folder, exist_ok=True)
        source = os.path.join(folder, name + '.bas')
        with open(source, 'w') as f:
            f.write(Generator(rng, pools[k], 0).program())
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
