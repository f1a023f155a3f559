#!/usr/bin/env python3
# Writes docs/reference.md, the program author's reference, from the comments of the runtime's faces.
"""Reference generator.

Reads the face of every runtime folder (the headers cmake/faces.txt names: what programs call; the
floor-facing and internal headers are the runtime's own) and writes one section per folder in
layer order (cmake/layers.txt), leaving out folders without a face. Each operation
(namespace-scope function, operator or macro) appears with its signature and the comment block
directly above it (a blank line or a // ---- rule line cuts it off) and the comment at the end of
its own line. An overload without a comment shares the one of the overload declared before it;
one-line constants, variables, type aliases, macros and operators written on consecutive lines
under one comment block form a table that shares it. Types, constants and variables are listed
the same way, a type with its public members (an enum with its values).

  gen_reference.py [--root DIR] [--output FILE]   write the reference
  gen_reference.py [--root DIR] --check           fail (exit 1) when a public declaration has no
                                                  comment or docs/reference.md is not what the
                                                  faces give now
"""
import argparse
import os
import re
import sys

sys.dont_write_bytecode = True   # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import runtime_headers  # noqa: E402

OUTPUT = os.path.join('docs', 'reference.md')
HIDDEN_NAMESPACES = re.compile(r'(detail|internal)$')

KIND_TITLES = [('function', 'Operations'), ('macro', 'Macros'), ('type', 'Types'),
               ('constant', 'Constants'), ('variable', 'Variables')]
# Kinds that form tables: one-line declarations on consecutive lines sharing one comment.
RUN_KINDS = {'constant', 'variable', 'type', 'macro'}
# Kinds that must carry a comment.
DOCUMENTED_KINDS = {'function', 'macro', 'type', 'constant', 'variable'}


class Token:
    __slots__ = ('text', 'line', 'start', 'end')

    def __init__(self, text, line, start, end):
        self.text, self.line, self.start, self.end = text, line, start, end


class Decl:
    """One public declaration: kind, name, signature text, line, comment lines, members."""

    def __init__(self, kind, name, signature, line, comment, scope, end_line=None):
        self.kind, self.name, self.signature, self.line = kind, name, signature, line
        self.end_line = line if end_line is None else end_line
        self.comment, self.scope = comment, scope
        self.members = []
        self.inherited = False
        self.table = None   # the comment block of the table of declarations this one belongs to
        self.note = []      # its own note within such a table


TOKEN_RE = re.compile(r'''
    (?P<ws>[ \t\r\f\v]+) | (?P<nl>\n) | (?P<comment>//[^\n]*) | (?P<block>/\*.*?\*/) |
    (?P<string>[uUL8]*R"(?P<delim>[^(\s]*)\(.*?\)(?P=delim)"|[uUL8]*"(?:\\.|[^"\\\n])*"|'(?:\\.|[^'\\\n])*') |
    (?P<ident>[A-Za-z_]\w*) | (?P<number>\.?\d(?:[\w.']|[eEpP][+-])*) |
    (?P<punct>::|->|\.\.\.|.)
''', re.VERBOSE | re.DOTALL)
DIRECTIVE_RE = re.compile(r'[ \t]*#')


class Header:
    """The tokens of one header with its comment lines, trailing comments and macros."""

    def __init__(self, text):
        self.text = text
        self.comment_lines = {}    # line number -> text of a line that is only a comment
        self.trailing = {}         # line number -> text of a comment after code on that line
        self.tokens = []
        self.macros = []           # (name, signature, first line, last line)
        self.undefined = set()
        self._scan()

    def _scan(self):
        code_lines = set()
        line, pos, at_line_start = 1, 0, True
        text = self.text
        while pos < len(text):
            if at_line_start and DIRECTIVE_RE.match(text, pos):
                pos, line = self._directive(pos, line)
                continue
            m = TOKEN_RE.match(text, pos)
            kind, value = m.lastgroup, m.group()
            if kind == 'delim':
                kind = 'string'
            if kind == 'nl':
                line += 1
                at_line_start = True
            elif kind == 'ws':
                pass
            elif kind == 'comment':
                body = value[2:]
                if body.startswith(' '):
                    body = body[1:]
                if line in code_lines:
                    self.trailing[line] = body.strip()
                else:
                    self.comment_lines[line] = body.rstrip()
            elif kind == 'block':
                line += value.count('\n')
            else:
                self.tokens.append(Token(value, line, m.start(), m.end()))
                code_lines.add(line)
                line += value.count('\n')
                at_line_start = False
            pos = m.end()

    def _directive(self, pos, line):
        end = pos
        while True:
            newline = self.text.find('\n', end)
            if newline < 0:
                newline = len(self.text)
            if self.text[end:newline].rstrip().endswith('\\') and newline < len(self.text):
                end = newline + 1
                continue
            break
        directive = self.text[pos:newline]
        m = re.match(r'\s*#\s*(define|undef)\s+(\w+)(\([^)]*\))?', directive)
        if m and m.group(1) == 'define':
            self.macros.append((m.group(2), m.group(2) + (m.group(3) or ''), line,
                                line + directive.count('\n')))
        elif m:
            self.undefined.add(m.group(2))
        trailing = re.search(r'//\s?(.*)$', directive.split('\n')[0])
        if trailing and m and m.group(1) == 'define':
            self.trailing[line] = trailing.group(1).strip()
        line += directive.count('\n')
        return newline, line

    def comment_above(self, line):
        """The comment block ending on the line above `line`; a rule line (// ----) ends it."""
        block = []
        number = line - 1
        while number in self.comment_lines:
            content = self.comment_lines[number]
            if re.match(r'-{4,}', content.strip()):
                break
            block.append(content)
            number -= 1
        block.reverse()
        while block and not block[0].strip():
            block.pop(0)
        return block

    def comment_for(self, first_line, last_line):
        block = self.comment_above(first_line)
        for number in range(first_line, last_line + 1):
            if number in self.trailing:
                block = block + [self.trailing[number]]
        return block


def matching(tokens, i, opening, closing):
    """Index of the token closing the bracket at tokens[i]."""
    depth = 0
    while i < len(tokens):
        if tokens[i].text == opening:
            depth += 1
        elif tokens[i].text == closing:
            depth -= 1
            if depth == 0:
                return i
        i += 1
    return len(tokens) - 1


def skip_template_head(words, k=0):
    """Index past a `template <...>` head starting at words[k] (k itself when there is none)."""
    if k < len(words) and words[k] == 'template' and k + 1 < len(words) and words[k + 1] == '<':
        depth, k = 0, k + 1
        while k < len(words):
            if words[k] == '<':
                depth += 1
            elif words[k] == '>':
                depth -= 1
                if depth == 0:
                    return k + 1
            elif words[k] == '>>':
                depth -= 2
            k += 1
    return k


class Parser:
    def __init__(self, header):
        self.h = header
        self.t = header.tokens

    def source(self, first, last):
        """The source text of tokens[first..last], comments dropped and white space collapsed."""
        parts = []
        for i in range(first, last + 1):
            tok = self.t[i]
            if parts and (i > first) and (self.t[i - 1].end != tok.start):
                parts.append(' ')
            parts.append(tok.text)
        text = ''.join(parts)
        text = re.sub(r'\s+', ' ', text)
        text = re.sub(r'\( ', '(', text)
        text = re.sub(r' \)', ')', text)
        text = re.sub(r'< ', '<', text)
        return text.strip()

    def statement_end(self, i, end):
        """Index of the `;` or `{` ending the statement at i (parentheses and brackets nest)."""
        depth = 0
        while i < end:
            text = self.t[i].text
            if text in '([':
                depth += 1
            elif text in ')]':
                depth -= 1
            elif depth == 0 and text in (';', '{', '}'):
                return i
            i += 1
        return end

    def parse_scope(self, i, end, scope, in_class=False, class_name='', public=True, hidden=False):
        decls = []
        while i < end:
            tok = self.t[i]
            if in_class and tok.text in ('public', 'private', 'protected') and i + 1 < end and \
                    self.t[i + 1].text == ':':
                public = tok.text == 'public'
                i += 2
                continue
            if tok.text == ';':
                i += 1
                continue
            if tok.text == '}':   # stray close: leave the scope
                break
            if re.match(r'[A-Z][A-Z0-9_]{2,}$', tok.text) and i + 1 < end and self.t[i + 1].text == '(':
                # A macro invocation standing as a statement (it declares what its expansion does).
                close = matching(self.t, i + 1, '(', ')')
                i = close + 2 if close + 1 < end and self.t[close + 1].text == ';' else close + 1
                continue
            stop = self.statement_end(i, end)
            words = [self.t[k].text for k in range(i, stop)]
            if stop >= end or self.t[stop].text == '}':
                # A macro invocation or trailing text without a terminator.
                i = stop if stop > i else i + 1
                continue
            decl = None
            if self.t[stop].text == '{':
                close = matching(self.t, stop, '{', '}')
                decl, next_i = self.braced(i, stop, close, end, words, scope, in_class, class_name,
                                           public and not hidden)
            else:
                decl = self.plain(i, stop, words, scope, in_class, class_name)
                next_i = stop + 1
            if decl is not None and decl != 'scope':
                decl.end_line = self.t[min(next_i, len(self.t)) - 1].line
                visible = public and not hidden
                if visible:
                    decls.append(decl)
            i = next_i
        return decls, i

    def braced(self, i, stop, close, end, words, scope, in_class, class_name, visible):
        """A statement ending in a brace block: namespace, linkage block, type, body or initializer."""
        k = skip_template_head(words)
        head = words[k:]
        if words and words[0] == 'namespace':
            name = ''.join(words[1:]) if len(words) > 1 else ''
            hide = bool(HIDDEN_NAMESPACES.search(name)) or name == ''
            inner, _ = self.parse_scope(stop + 1, close, scope + [name] if name else scope,
                                        hidden=not visible or hide)
            self.collected.extend(inner)
            return 'scope', close + 1
        if words[:2] == ['extern', '"C"'] and len(words) == 2:
            inner, _ = self.parse_scope(stop + 1, close, scope, hidden=not visible)
            self.collected.extend(inner)
            return 'scope', close + 1
        after = close + 1
        if head and head[0] in ('enum', 'struct', 'class', 'union') and '(' not in head:
            # Skip declarators after the body up to the `;`.
            while after < end and self.t[after].text != ';':
                after += 1
            if k > 0 and words[k - 1] == '>' and words[1:3] == ['<', '>']:
                return None, after + 1   # an explicit specialization
            signature = self.source(i, stop - 1)
            name = self.type_name(head)
            decl = Decl('type', name, signature, self.t[i].line,
                        self.h.comment_for(self.t[i].line, self.t[stop].line), scope)
            if head[0] in ('struct', 'class', 'union'):
                members, _ = self.parse_scope(stop + 1, close, scope + [name], in_class=True,
                                              class_name=name, public=head[0] != 'class')
                decl.members = members
            else:
                decl.members = self.enumerators(stop + 1, close)
            return decl, after + 1
        if '(' in head:
            decl = self.function(i, stop, words, scope, in_class, class_name)
            return decl, close + 1
        # A variable with a braced initializer.
        while after < end and self.t[after].text != ';':
            after += 1
        decl = self.variable(i, stop, words, scope, in_class)
        return decl, after + 1

    def enumerators(self, first, close):
        names = []
        i = first
        while i < close:
            tok = self.t[i]
            if re.match(r'[A-Za-z_]\w*$', tok.text):
                j = i + 1
                while j < close and self.t[j].text != ',':
                    j += 1
                comment = self.h.comment_for(tok.line, self.t[j - 1].line if j > i else tok.line)
                if j < close:
                    comment = self.h.comment_for(tok.line, self.t[j].line)
                member = Decl('enumerator', tok.text, self.source(i, j - 1), tok.line, comment, [])
                names.append(member)
                i = j + 1
            else:
                i += 1
        return names

    @staticmethod
    def type_name(head):
        k = 1
        if k < len(head) and head[k] == 'class':   # enum class
            k += 1
        while k < len(head) and head[k] in ('[', '[[', 'alignas'):
            k += 1
        name = head[k] if k < len(head) else '(anonymous)'
        if name in ('{', ':'):
            name = '(anonymous)'
        return name

    def plain(self, i, stop, words, scope, in_class, class_name):
        """A statement ending in `;`."""
        if not words:
            return None
        first = words[0]
        if first in ('static_assert', 'friend', 'using') and words[:2] == ['using', 'namespace']:
            return None
        if first in ('static_assert', 'friend'):
            return None
        if words[:2] == ['extern', 'template'] or (first == 'template' and len(words) > 1 and
                                                   words[1] != '<'):
            return None
        k = skip_template_head(words)
        head = words[k:]
        if not head:
            return None
        if head[0] == 'using':
            if '=' not in head:
                return None
            return Decl('type', head[1], self.source(i, stop - 1) + ';', self.t[i].line,
                        self.h.comment_for(self.t[i].line, self.t[stop].line), scope)
        if head[0] in ('class', 'struct', 'union', 'enum') and '(' not in head and '=' not in head:
            return None   # a forward declaration
        if head[0] == 'typedef':
            name = [w for w in head if re.match(r'[A-Za-z_]\w*$', w)][-1]
            return Decl('type', name, self.source(i, stop - 1) + ';', self.t[i].line,
                        self.h.comment_for(self.t[i].line, self.t[stop].line), scope)
        if self.function_shape(head):
            return self.function(i, stop, words, scope, in_class, class_name)
        return self.variable(i, stop, words, scope, in_class)

    @staticmethod
    def function_shape(head):
        """True when the statement declares a function: a `(` that follows the name, not `=`."""
        if 'operator' in head:
            return True
        depth = 0
        for n, w in enumerate(head):
            if w == '=' and depth == 0:
                return False
            if w in ('[',):
                depth += 1
            elif w == ']':
                depth -= 1
            elif w == '(' and depth == 0:
                before = head[n - 1] if n else ''
                # `void (*name)(...)` is a pointer variable; `type name(` or `operator X(` a function.
                if n + 1 < len(head) and head[n + 1] == '*':
                    return False
                return bool(re.match(r'[A-Za-z_~]\w*$', before)) or 'operator' in head[:n] or \
                    before in ('>',)
        return False

    def function(self, i, stop, words, scope, in_class, class_name):
        # Attributes [[...]] are part of the signature but never the name.
        depth = 0
        name = None
        for n in range(i, stop):
            text = self.t[n].text
            if text == '[':
                depth += 1
            elif text == ']':
                depth -= 1
            elif text == '(' and depth == 0:
                j = n - 1
                if self.t[j].text == '>' and not self.operator_before(i, n):
                    # A template-id: walk back to the name.
                    angle = 0
                    while j > i:
                        if self.t[j].text == '>':
                            angle += 1
                        elif self.t[j].text == '<':
                            angle -= 1
                            if angle == 0:
                                j -= 1
                                break
                        j -= 1
                op = self.operator_before(i, n)
                if op is not None:
                    name = 'operator' + ''.join(self.t[m].text for m in range(op + 1, n))
                    if name == 'operator' and self.t[n + 1].text == ')':
                        name = 'operator()'
                else:
                    name = self.t[j].text
                    if j > i and self.t[j - 1].text == '~':
                        name = '~' + name
                break
        if name is None:
            return None
        tail = words[-3:]
        if tail[-2:] == ['=', 'delete'] or tail[-2:] == ['=', 'default']:
            return None
        signature = self.source(i, stop - 1) + ';'
        # A body's own comments are not the declaration's: the comment ends where the body opens.
        comment = self.h.comment_for(self.t[i].line, self.t[stop].line)
        return Decl('function', name, signature, self.t[i].line, comment, scope)

    def operator_before(self, i, n):
        for m in range(n - 1, max(i, n - 4) - 1, -1):
            if self.t[m].text == 'operator':
                return m
        return None

    def variable(self, i, stop, words, scope, in_class):
        depth = 0
        name = None
        for n in range(len(words) - 2):
            if words[n] == '(' and words[n + 1] == '*' and re.match(r'[A-Za-z_]\w*$', words[n + 2]):
                name = words[n + 2]   # a pointer to a function: `void (*name)(...)`
                break
        for n, w in enumerate(words):
            if w in ('(', '['):
                if depth == 0 and name is None and n:
                    name = words[n - 1]
                depth += 1
            elif w in (')', ']'):
                depth -= 1
            elif depth == 0 and w in ('=', ',', '{') and name is None:
                name = words[n - 1]
        if name is None:
            name = words[-1]
        if not re.match(r'[A-Za-z_]\w*$', name):
            return None
        kind = 'constant' if ('constexpr' in words or 'const' in words[:3]) else 'variable'
        if in_class:
            kind = 'field'
        comment = self.h.comment_for(self.t[i].line, self.t[stop].line)
        return Decl(kind, name, self.source(i, stop - 1) + ';', self.t[i].line, comment, scope)

    def parse(self):
        self.collected = []
        decls, _ = self.parse_scope(0, len(self.t), [])
        merged = decls + self.collected
        merged.sort(key=lambda d: d.line)
        return merged


def parse_header(text):
    """The public declarations of one header, in file order (macros included)."""
    header = Header(text)
    decls = Parser(header).parse()
    for name, signature, line, end_line in header.macros:
        if name in header.undefined:
            continue
        decls.append(Decl('macro', name, '#define ' + signature, line, header.comment_for(line, line), [],
                          end_line))
    decls.sort(key=lambda d: d.line)
    # An overload without a comment shares the one of the overload declared before it. One-line
    # constants, variables, type aliases, macros and operators written on consecutive lines under a
    # comment block form a table that shares the block; a note at the end of one line adds to it.
    previous = None
    documented = {}
    for decl in decls:
        key = (tuple(decl.scope), decl.kind, decl.name)
        above = header.comment_above(decl.line)
        tabular = (decl.line == decl.end_line or decl.kind == 'macro') and (
            decl.kind in RUN_KINDS or decl.name.startswith('operator'))
        continues = tabular and not above and previous is not None and previous.table is not None and \
            previous.scope == decl.scope and decl.line == previous.end_line + 1 and \
            (previous.kind in RUN_KINDS) == (decl.kind in RUN_KINDS)
        decl.table = None
        decl.note = []
        if continues:
            decl.table = previous.table
            decl.note = decl.comment
            decl.comment = decl.table + decl.comment if decl.comment else decl.table
            decl.inherited = True
        elif not decl.comment and key in documented:
            decl.comment = documented[key].comment
            decl.inherited = True
        elif tabular and above:
            decl.table = decl.comment if decl.comment == above else above
            decl.note = decl.comment[len(above):]
        if decl.comment:
            documented[key] = decl
        previous = decl
    return header, decls


def file_comment(header):
    """The header's opening comment block (what the file is)."""
    block = []
    number = 1
    while number in header.comment_lines:
        block.append(header.comment_lines[number])
        number += 1
    return block


def read_layers(root):
    layers = []
    with open(os.path.join(root, 'cmake', 'layers.txt'), encoding='utf-8') as table:
        for raw in table:
            content = raw.split('#', 1)[0].strip()
            if ':' in content:
                layers.append(content.split(':', 1)[0].strip())
    return layers


def collect(root):
    """[(folder, [(path, header, decls)])] for every folder with a face, in layer order."""
    faces = runtime_headers.read_faces(os.path.join(root, runtime_headers.FACES))
    result = []
    for folder in read_layers(root):
        headers = []
        for name in faces.get(folder, []):
            path = 'runtime/%s/%s' % (folder, name)
            with open(os.path.join(root, path), encoding='utf-8') as f:
                header, decls = parse_header(f.read())
            headers.append((path, header, decls))
        if headers:
            result.append((folder, headers))
    return result


def undocumented(folders):
    problems = []
    for _, headers in folders:
        for path, _, decls in headers:
            for decl in decls:
                if decl.kind in DOCUMENTED_KINDS and not any(line.strip() for line in decl.comment):
                    problems.append('%s:%d: %s %s has no comment' % (path, decl.line, decl.kind, decl.name))
    return problems


def anchor(text):
    return re.sub(r'[^a-z0-9]+', '-', text.lower()).strip('-')


def paragraph(lines):
    """Comment lines as Markdown: a paragraph, with indented or drawn lines kept as they are."""
    if any(l.startswith('  ') or re.search(r' {3,}|^\s*[-*] |->|=>', l) for l in lines):
        return ['```text'] + [l.rstrip() for l in lines] + ['```']
    out, current = [], []
    for l in lines:
        if not l.strip():
            if current:
                out.append(' '.join(current))
                current = []
            out.append('')
        else:
            current.append(l.strip())
    if current:
        out.append(' '.join(current))
    return out


def render_group(out, group):
    decl = group[0]
    names = []
    for d in group:
        qualified = '::'.join(d.scope + [d.name])
        if qualified not in names:
            names.append(qualified)
    out.append('#### ' + ', '.join('`%s`' % n for n in names))
    out.append('')
    if len(group) > 1 and all(d.table is not None and d.table is decl.table for d in group):
        # A table: each line with its own note, then the comment over it.
        out.append('```cpp')
        for d in group:
            note = ' '.join(line.strip() for line in d.note)
            out.append(d.signature + ('  // ' + note if note else ''))
        out.append('```')
        out.append('')
        out.extend(paragraph(decl.table))
        out.append('')
        return
    # Signatures that share a comment are shown together, then the comment.
    parts = []
    for d in group:
        if parts and parts[-1][1] is d.comment:
            parts[-1][0].append(d.signature)
        else:
            parts.append(([d.signature], d.comment))
    for signatures, comment in parts:
        out.append('```cpp')
        out.extend(signatures)
        out.append('```')
        out.append('')
        out.extend(paragraph(comment))
        out.append('')
    out.pop()
    members = [m for d in group for m in d.members]
    if members:
        out.append('')
        if decl.signature.split()[0] == 'enum' or ' enum ' in decl.signature:
            out.append('| Value | |')
            out.append('|---|---|')
            for m in members:
                out.append('| `%s` | %s |' % (m.signature.replace('|', '\\|'),
                                              ' '.join(l.strip() for l in m.comment).replace('|', '\\|')))
        else:
            out.append('Public members:')
            out.append('')
            out.append('```cpp')
            for m in members:
                text = m.signature
                note = ' '.join(l.strip() for l in m.comment)
                out.append(text + ('  // ' + note if note else ''))
            out.append('```')
    out.append('')


def render(folders):
    out = ['<!-- Written by tools/gen_reference.py from the faces of the runtime folders (cmake/faces.txt): '
           'edit the headers\' comments, then run `cmake --build build --target reference`. -->',
           '# Velmora reference',
           '',
           'Every operation a program can call, by subsystem (runtime folder), lowest layer first. Each entry '
           'gives the declaration as the header has it and the comment written with it. Colours, error codes '
           'and the conventions of a subsystem are described at the top of its main header, shown at the start '
           'of its section.',
           '']
    counts = {}
    for _, headers in folders:
        for _, _, decls in headers:
            for d in decls:
                counts[d.kind] = counts.get(d.kind, 0) + 1
    out.append('%d operations (functions and operators), %d macros, %d types, %d constants, %d variables.' % (
        counts.get('function', 0), counts.get('macro', 0), counts.get('type', 0), counts.get('constant', 0),
        counts.get('variable', 0)))
    out.append('')
    out.append('## Contents')
    out.append('')
    for folder, headers in folders:
        out.append('- [%s](#%s)' % (folder, anchor('subsystem ' + folder)))
        for path, _, _ in headers:
            out.append('  - [%s](#%s)' % (path[len('runtime/'):], anchor(path)))
    out.append('')
    for folder, headers in folders:
        out.append('<a id="%s"></a>' % anchor('subsystem ' + folder))
        out.append('')
        out.append('## %s' % folder)
        out.append('')
        for path, header, decls in headers:
            out.append('<a id="%s"></a>' % anchor(path))
            out.append('')
            out.append('### %s' % path[len('runtime/'):])
            out.append('')
            intro = file_comment(header)
            if intro:
                out.extend(paragraph(intro))
                out.append('')
            for kind, title in KIND_TITLES:
                chosen = [d for d in decls if d.kind == kind]
                if not chosen:
                    continue
                out.append('**%s**' % title)
                out.append('')
                if kind == 'function' or kind == 'macro':
                    # One entry per name, its overloads gathered at the first one.
                    order, by_name = [], {}
                    for d in chosen:
                        if d.name not in by_name:
                            order.append(d.name)
                            by_name[d.name] = []
                        by_name[d.name].append(d)
                    chosen = [d for name in order for d in by_name[name]]
                group = []
                for d in chosen:
                    same_table = d.table is not None and d.table is group[-1].table if group else False
                    if group and not same_table and not (d.inherited and d.comment is group[-1].comment) and \
                            not (kind in ('function', 'macro') and d.name == group[0].name):
                        render_group(out, group)
                        group = []
                    group.append(d)
                if group:
                    render_group(out, group)
    while out and not out[-1]:
        out.pop()
    return '\n'.join(out) + '\n'


def main(argv):
    parser = argparse.ArgumentParser(description='Writes or checks docs/reference.md.')
    parser.add_argument('--root', default=os.path.abspath(os.path.join(os.path.dirname(__file__), '..')))
    parser.add_argument('--output', help='where to write (default: <root>/docs/reference.md)')
    parser.add_argument('--check', action='store_true',
                        help='fail on an undocumented declaration or an out-of-date reference')
    args = parser.parse_args(argv)
    folders = collect(args.root)
    text = render(folders)
    output = args.output or os.path.join(args.root, OUTPUT)
    if not args.check:
        with open(output, 'w', encoding='utf-8', newline='\n') as f:
            f.write(text)
        return 0
    problems = undocumented(folders)
    for problem in problems:
        print(problem)
    stale = False
    try:
        with open(output, encoding='utf-8') as f:
            stale = f.read() != text
    except OSError:
        stale = True
    if stale:
        print('%s: not what the headers give now; regenerate it with `cmake --build build --target reference` '
              'or `python3 tools/gen_reference.py`' % os.path.relpath(output, args.root))
    if problems:
        print('%d public declarations have no comment' % len(problems))
    return 1 if problems or stale else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
