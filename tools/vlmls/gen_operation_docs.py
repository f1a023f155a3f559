#!/usr/bin/env python3
# Writes vlmls' table of the runtime operations' reference texts from the comments of the faces.
"""Operation texts for the language server's hover and completion.

  gen_operation_docs.py --root DIR OUT.inc

Reads the face headers (cmake/faces.txt) with tools/gen_reference.py's parser, so each operation
carries the same comment as in docs/reference.md: the comment block above its declaration, or
the one of the overload before it. Writes one C++ initialiser per operation name, sorted by name:
{"Name", "folder/face.h", "signature\\nsignature...", "comment as Markdown"}.
"""
import os
import sys

sys.dont_write_bytecode = True   # no __pycache__ in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
import gen_reference  # noqa: E402


def c_string(text):
    out = ['"']
    for byte in text.encode('utf-8'):
        ch = chr(byte)
        if ch == '"' or ch == '\\':
            out.append('\\' + ch)
        elif ch == '\n':
            out.append('\\n')
        elif 32 <= byte < 127 and ch != '?':
            out.append(ch)
        else:
            out.append('\\%03o' % byte)
    out.append('"')
    return ''.join(out)


def main(argv):
    if len(argv) != 3 or argv[0] != '--root':
        print('usage: gen_operation_docs.py --root DIR OUT.inc', file=sys.stderr)
        return 2
    root, output = argv[1], argv[2]
    operations = {}
    for _, headers in gen_reference.collect(root):
        for path, _, decls in headers:
            include = path[len('runtime/'):]
            for decl in decls:
                if decl.kind != 'function' or decl.scope or decl.name.startswith('operator'):
                    continue
                entry = operations.setdefault(decl.name, {'header': include, 'signatures': [], 'comment': None})
                entry['signatures'].append(' '.join(decl.signature.split()))
                if entry['comment'] is None and any(line.strip() for line in decl.comment):
                    entry['comment'] = '\n'.join(gen_reference.paragraph(decl.comment)).strip()
    lines = ['// Written by tools/vlmls/gen_operation_docs.py from the runtime\'s face headers.']
    for name in sorted(operations):
        entry = operations[name]
        lines.append('{%s, %s, %s, %s},' % (c_string(name), c_string(entry['header']),
                                            c_string('\n'.join(entry['signatures'])),
                                            c_string(entry['comment'] or '')))
    text = '\n'.join(lines) + '\n'
    try:
        with open(output, encoding='utf-8') as f:
            if f.read() == text:
                return 0
    except OSError:
        pass
    with open(output, 'w', encoding='utf-8', newline='\n') as f:
        f.write(text)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
