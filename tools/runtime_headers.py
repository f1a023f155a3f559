# The three kinds of runtime header, as cmake/faces.txt and the folder layout give them.
"""Which headers of runtime/<folder>/ are its face, which face the floors above, which are internal.

  face      named on the folder's line of cmake/faces.txt: the operations programs call;
  floor     any other header directly in runtime/<folder>/: public, for the runtime above
            (start-up, GL plumbing, records), the tests and the tools, but not language;
  internal  a header under runtime/<folder>/internal/ or named *_internal.h: the folder's own.

tools/vlmc/gen_bindings.py, tools/gen_reference.py and tools/check_layers.py use this module;
cmake/VelmoraLayers.cmake reads the same table.
"""
import os
import re

FACES = os.path.join('cmake', 'faces.txt')
HEADER_SUFFIXES = ('.h', '.hpp')


def read_faces(path):
    """{folder: [face header names]} in table order, or raises ValueError."""
    faces = {}
    with open(path, encoding='utf-8') as table:
        for number, line in enumerate(table, 1):
            line = line.split('#', 1)[0].strip()
            if not line:
                continue
            folder, colon, names = line.partition(':')
            folder = folder.strip()
            if not colon or not re.fullmatch(r'[a-z0-9_]+', folder) or folder in faces:
                raise ValueError(f'{path}:{number}: expected one "<folder>: <face headers>" line per folder')
            faces[folder] = names.split()
    return faces


def is_internal(relative):
    """relative: a path below runtime/<folder>/, e.g. "files_internal.h" or "internal/x.h"."""
    name = os.path.basename(relative)
    return (os.sep in relative or '/' in relative or not name.endswith(HEADER_SUFFIXES)
            or name.endswith(('_internal.h', '_internal.hpp')))


def classify(root, folder, faces):
    """(face, floor, internal): header paths below runtime/<folder>/, each list sorted
    (the face in table order)."""
    top = os.path.join(root, 'runtime', folder)
    floor, internal = [], []
    for directory, subdirs, files in os.walk(top):
        subdirs.sort()
        for name in sorted(files):
            if not name.endswith(HEADER_SUFFIXES):
                continue
            relative = os.path.relpath(os.path.join(directory, name), top).replace(os.sep, '/')
            if is_internal(relative):
                internal.append(relative)
            elif relative not in faces.get(folder, []):
                floor.append(relative)
    return list(faces.get(folder, [])), floor, internal


def face_headers(root):
    """Paths (relative to root, "runtime/<folder>/<name>.h") of every face header, in table order."""
    faces = read_faces(os.path.join(root, FACES))
    return ['runtime/%s/%s' % (folder, name) for folder, names in faces.items() for name in names]
