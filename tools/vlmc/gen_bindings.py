#!/usr/bin/env python3
# Builds vlmc's table of runtime operations from the faces of the runtime folders.
#
#   gen_bindings.py OUT.inc HEADER...      writes the table (C++ initialisers) from the face headers
#   gen_bindings.py --check UNBOUND.txt --root DIR [--table BUILT.inc]
#                                          checks the faces of the tree at DIR (cmake/faces.txt)
#   gen_bindings.py --check UNBOUND.txt HEADER...   the same check of the headers named
#
# An operation is a free function declared at namespace scope of a face header: what a BASIC
# program may call. It is bound when every parameter and the result have a type a BASIC program
# can pass or take; UNBOUND.txt names the face functions left out on purpose, one per line with
# a reason ("Name: reason"). --check fails when a face operation is neither bound nor listed,
# when a listed name is not declared in a face, and (with --table) when the built table holds an
# operation that no face declares or lacks one that a face declares.
import os
import re
import sys

sys.dont_write_bytecode = True   # no __pycache__ in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
import runtime_headers  # noqa: E402

# C++ parameter types and the kinds vlmc knows them by.
PARAM_KINDS = {
    'double': 'num', 'Number': 'num', 'float': 'f32', 'int': 'i32', 'int32_t': 'i32',
    'uint32_t': 'u32', 'int64_t': 'i64', 'bool': 'bool', 'uint8_t': 'i32', 'uint16_t': 'i32',
    'const BasicString&': 'str', 'BasicString': 'str', 'const char*': 'cstr',
    'double&': 'num&', 'Number&': 'num&', 'int&': 'i32&', 'int32_t&': 'i32&', 'float&': 'f32&',
    'BasicString&': 'str&', 'BasicArray<double>&': 'numarr&', 'BasicArray<Number>&': 'numarr&',
    'const BasicArray<double>&': 'numarr&', 'const BasicArray<Number>&': 'numarr&',
    'BasicArray<BasicString>&': 'strarr&',
    'BasicArray<int32_t>&': 'intarr&', 'const BasicArray<int32_t>&': 'intarr&',
}
RESULT_KINDS = {
    'void': 'void', 'double': 'num', 'Number': 'num', 'float': 'num', 'int': 'num',
    'int32_t': 'num', 'uint32_t': 'num', 'int64_t': 'num', 'bool': 'num', 'BasicString': 'str',
    'const char*': 'cstr', 'BasicString&': 'str', 'const BasicString&': 'str', 'uint64_t': 'num',
    'size_t': 'num', 'uint8_t': 'num', 'char': 'num',
}
QUALIFIERS = ('inline ', 'static ', 'extern ', 'constexpr ', '[[nodiscard]] ', '[[noreturn]] ')


def strip_comments(text):
    text = re.sub(r'/\*.*?\*/', ' ', text, flags=re.S)
    return re.sub(r'//[^\n]*', '', text)


def top_level_statements(text):
    """Yields the text of each statement at brace depth 0 (a function body counts as its end)."""
    depth = 0
    current = []
    for ch in text:
        if depth == 0:
            if ch == ';':
                yield ''.join(current)
                current = []
            elif ch == '{':
                head = ''.join(current).strip()
                # namespace / extern "C" blocks keep their contents at the top level.
                if re.match(r'^(namespace\b|extern\s+"C")', head):
                    current = []
                    continue
                yield ''.join(current)
                current = []
                depth = 1
            elif ch == '}':
                current = []
            else:
                current.append(ch)
        else:
            if ch == '{':
                depth += 1
            elif ch == '}':
                depth -= 1
                if depth == 0:
                    current = []


def normalise(t):
    t = re.sub(r'\s+', ' ', t).strip()
    t = re.sub(r'\s*([&*])', r'\1', t)
    t = re.sub(r'\s*<\s*', '<', t)
    t = re.sub(r'\s*>', '>', t)
    return t


DECL = re.compile(r'^(?P<ret>[\w:<>\s\*&,\[\]]+?)\s*\b(?P<name>[A-Za-z_]\w*)\s*\((?P<params>[^()]*)\)\s*(noexcept)?\s*$')


def declarations(path):
    text = strip_comments(open(path, encoding='utf-8').read())
    text = re.sub(r'^\s*#[^\n]*', '', text, flags=re.M)
    for stmt in top_level_statements(text):
        stmt = ' '.join(stmt.split())
        if not stmt or stmt.startswith(('using ', 'typedef ', 'template', 'class ', 'struct ', 'enum ',
                                         'static_assert', 'friend ', 'VLM_')):
            continue
        if '=' in stmt.split('(')[0] or 'operator' in stmt:
            continue
        for q in QUALIFIERS:
            stmt = stmt.replace(q, '')
        stmt = stmt.replace('extern "C" ', '')
        m = DECL.match(stmt)
        if not m or m.group('ret').strip() in ('', 'return', 'class', 'struct'):
            continue
        yield m.group('name'), normalise(m.group('ret')), m.group('params').strip()


def parse_params(params):
    if params in ('', 'void'):
        return []
    out = []
    for p in params.split(','):
        default = None
        if '=' in p:
            p, default = p.split('=', 1)
            default = default.strip()
        p = p.strip()
        m = re.match(r'^(.*?)([A-Za-z_]\w*)$', p)
        if m and m.group(1).strip() and not m.group(1).strip().endswith('::'):
            ptype, pname = normalise(m.group(1)), m.group(2)
        else:
            ptype, pname = normalise(p), 'value'
        if ptype in ('const', 'unsigned', 'long'):
            ptype, pname = normalise(p), 'value'
        out.append((ptype, pname, default))
    return out


def unbindable(ret, params):
    """The first type with no BASIC counterpart, or None."""
    if ret not in RESULT_KINDS:
        return 'result ' + ret
    for ptype, pname, default in params:
        if ptype not in PARAM_KINDS:
            return ptype
    return None


def bind(name, ret, params, header):
    """The table entry, or None when a type has no BASIC counterpart."""
    if unbindable(ret, params) or len(params) > 12:
        return None
    kinds = []
    for ptype, pname, default in params:
        kind = PARAM_KINDS.get(ptype)
        kinds.append((kind, pname, default is not None))
    required = sum(1 for k in kinds if not k[2])
    plist = ', '.join('{"%s", "%s"}' % (k, n) for k, n, _ in kinds)
    return '{"%s", "%s", "%s", %d, %d, {%s}},' % (name, header, RESULT_KINDS[ret], required, len(kinds), plist)


def table_from(headers):
    """(entries, {name: (header, why)}) of the operations the headers declare."""
    bound, unbound = [], {}
    for h in sorted(headers):
        for name, ret, params in declarations(h):
            include = '/'.join(h.replace('\\', '/').split('/')[-2:])
            entry = bind(name, ret, parse_params(params), include)
            if entry:
                bound.append(entry)
            else:
                unbound.setdefault(name, (h, unbindable(ret, parse_params(params)) or 'too many parameters'))
    return bound, unbound


def check(listing, faces, table):
    bound, unbound = table_from(faces)
    bound_names = {e.split('"')[1] for e in bound}
    listed = {}
    for line in open(listing, encoding='utf-8'):
        line = line.strip()
        if line and not line.startswith('#'):
            listed[line.split(':')[0].strip()] = line
    problems = []
    for n in sorted(n for n in unbound if n not in bound_names and n not in listed):
        problems.append('%s: face operation %s has no binding: it uses %s (list it in %s with a reason)'
                        % (unbound[n][0], n, unbound[n][1], listing))
    for n in sorted(n for n in listed if n not in bound_names | set(unbound)):
        problems.append('%s: %s is listed but no face declares it' % (listing, n))
    if table:
        built = [line.strip() for line in open(table, encoding='utf-8') if line.startswith('{')]
        for entry in sorted(set(built) - set(bound)):
            problems.append('%s: %s is bound but no face declares it (%s)'
                            % (table, entry.split('"')[1], entry.split('"')[3]))
        for entry in sorted(set(bound) - set(built)):
            problems.append('%s: %s of %s is missing: the table is older than the faces'
                            % (table, entry.split('"')[1], entry.split('"')[3]))
    for problem in problems:
        print(problem)
    print('%d operations bound from %d face headers, %d listed as unbound'
          % (len(bound_names), len(faces), len(listed)))
    return 1 if problems else 0


def main(argv):
    if argv[1] == '--check' and argv[3:4] == ['--root']:
        options = dict(zip(argv[3::2], argv[4::2]))
        root = options['--root']
        faces = [os.path.join(root, path) for path in runtime_headers.face_headers(root)]
        return check(argv[2], faces, options.get('--table'))
    if argv[1] == '--check':
        return check(argv[2], argv[3:], None)
    bound, _ = table_from(argv[2:])
    with open(argv[1], 'w', encoding='utf-8') as out:
        out.write('// Generated by gen_bindings.py from the faces of the runtime folders: do not edit.\n')
        out.write('\n'.join(bound) + '\n')
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
