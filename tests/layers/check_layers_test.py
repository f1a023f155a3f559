#!/usr/bin/env python3
# Tests of tools/check_layers.py: small trees with one bad include each, and a copy of the real runtime.
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

SOURCE_DIR = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..'))
CHECKER = os.path.join(SOURCE_DIR, 'tools', 'check_layers.py')

TABLE = """# test layers
platform:
core: platform
files: core platform
gfx2d: files core platform
sound: files core platform
host: gfx2d sound files core platform
"""

# A tree that follows every rule; each case below adds one line to one file of it.
CLEAN_TREE = {
    'runtime/platform/platform.h': '#pragma once\n',
    'runtime/platform/sdl_internal.h': '#pragma once\n#include <SDL2/SDL.h>\n',
    'runtime/platform/video.cpp': '#include <unistd.h>\n#include "platform/sdl_internal.h"\n',
    'runtime/core/core.h': '#pragma once\n#include "platform/platform.h"\n#include <cstdint>\n',
    'runtime/core/clock.cpp': '#include "core/core.h"\n',
    'runtime/files/files.h': '#pragma once\n#include "core/core.h"\n',
    'runtime/files/files_internal.h': '#pragma once\n#include "files/files.h"\n',
    'runtime/files/internal/block.h': '#pragma once\n',
    'runtime/files/channel.cpp': '#include "files/files_internal.h"\n#include "files/internal/block.h"\n',
    'runtime/gfx2d/gfx2d.h': '#pragma once\n#include "files/files.h"\n',
    'runtime/gfx2d/draw.cpp': '#include "gfx2d/gfx2d.h"\n#include "platform/platform.h"\n',
    'runtime/sound/sound.h': '#pragma once\n',
    'runtime/sound/sound.cpp': '#include "sound/sound.h"\n#include "files/files.h"\n',
    'runtime/host/host.h': '#pragma once\n#include "gfx2d/gfx2d.h"\n#include "sound/sound.h"\n',
    'runtime/host/startup.cpp': '#include "host/host.h"\n',
    'cmake/layers.txt': TABLE,
    'cmake/faces.txt': 'platform:\ncore: core.h\nfiles: files.h\ngfx2d: gfx2d.h\nsound: sound.h\nhost: host.h\n',
    'runtime/files/archive.h': '#pragma once\n#include "files/files.h"\n',
    'bench/files_read.cpp': '#include "files/internal/block.h"\n#include "files/archive.h"\n',
    'tests/files/channel_test.cpp': '#include "files/files_internal.h"\n#include "host/host.h"\n',
    'tests/support/fixture.h': '#include "host/host.h"\n#include "fixture_util.h"\n',
    'app/main.cpp': '#include "host/host.h"\n#include <SDL2/SDL.h>\n',
}

# (file, added line, the report expected for it)
BAD_INCLUDES = [
    ('runtime/gfx2d/draw.cpp', '#include "host/host.h"', 'gfx2d -> host (host/host.h): host is not below gfx2d'),
    ('runtime/core/clock.cpp', '#include "../host/host.h"', 'core -> host (../host/host.h): host is not below core'),
    ('runtime/sound/sound.cpp', '#include "gfx2d/gfx2d.h"', 'sound -> gfx2d (gfx2d/gfx2d.h): gfx2d is not below sound'),
    ('runtime/gfx2d/gfx2d.h', '#include "sound/sound.h"', 'gfx2d -> sound (sound/sound.h): sound is not below gfx2d'),
    ('runtime/gfx2d/draw.cpp', '#include "files/files_internal.h"',
     'gfx2d -> files (files/files_internal.h): internal header of files'),
    ('runtime/host/startup.cpp', '#include "files/internal/block.h"',
     'host -> files (files/internal/block.h): internal header of files'),
    ('runtime/files/files.h', '#include "files/files_internal.h"',
     'files -> files (files/files_internal.h): public header includes an internal one'),
    ('runtime/core/clock.cpp', '#include <SDL2/SDL.h>', 'core -> <SDL2/SDL.h>: only platform includes SDL and OS headers'),
    ('runtime/files/channel.cpp', '#include <sys/stat.h>', 'files -> <sys/stat.h>: only platform includes SDL and OS headers'),
    ('tests/files/channel_test.cpp', '#include "platform/sdl_internal.h"',
     'tests -> platform (platform/sdl_internal.h): internal header of platform'),
    ('tests/support/fixture.h', '#include "files/files_internal.h"',
     'tests -> files (files/files_internal.h): internal header of files'),
    ('app/main.cpp', '#include "files/files_internal.h"', 'app -> files (files/files_internal.h): internal header of files'),
    ('bench/files_read.cpp', '#include "platform/sdl_internal.h"',
     'bench -> platform (platform/sdl_internal.h): internal header of platform'),
]

# What the clean tree's report says of each folder's headers.
HEADER_KINDS = [
    'platform: face -; floor platform.h; internal sdl_internal.h',
    'core: face core.h; floor -; internal -',
    'files: face files.h; floor archive.h; internal files_internal.h internal/block.h',
    'gfx2d: face gfx2d.h; floor -; internal -',
    'sound: face sound.h; floor -; internal -',
    'host: face host.h; floor -; internal -',
]


def run_checker(root):
    result = subprocess.run([sys.executable, CHECKER, '--root', root], capture_output=True, text=True)
    return result.returncode, result.stdout.splitlines(), result.stderr


def write_tree(root, files):
    for relative, text in files.items():
        path = os.path.join(root, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, 'w', encoding='utf-8') as out:
            out.write(text)


class CheckLayersTest(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix='check_layers_')
        self.addCleanup(shutil.rmtree, self.root)

    def test_clean_tree_passes(self):
        write_tree(self.root, CLEAN_TREE)
        code, lines, _ = run_checker(self.root)
        self.assertEqual(code, 0)
        self.assertEqual(lines[:-1], HEADER_KINDS)
        self.assertIn('includes go down only', lines[-1])

    def test_each_bad_include_is_reported_at_its_line(self):
        for relative, line, report in BAD_INCLUDES:
            with self.subTest(file=relative, line=line):
                shutil.rmtree(self.root)
                write_tree(self.root, CLEAN_TREE)
                with open(os.path.join(self.root, relative), 'a', encoding='utf-8') as out:
                    out.write(line + '\n')
                number = CLEAN_TREE[relative].count('\n') + 1
                code, lines, _ = run_checker(self.root)
                self.assertEqual(code, 1)
                self.assertEqual(lines, [f'{relative}:{number}: {report}'])

    def test_folder_missing_from_the_table_is_reported(self):
        write_tree(self.root, dict(CLEAN_TREE, **{'runtime/extra/extra.cpp': '#include "core/core.h"\n'}))
        code, lines, _ = run_checker(self.root)
        self.assertEqual((code, lines), (1, ['runtime/extra:0: runtime/extra has no line in the layer table']))

    def test_bad_tables_are_refused(self):
        for name, table, faces, message in [
            ('circle', 'platform:\ncore: files\nfiles: core\n', '', 'circle'),
            ('unknown folder', 'platform:\ncore: platfrom\n', '', 'names platfrom'),
            ('folder above itself', 'platform:\ncore: core platform\n', '', 'names core'),
            ('repeated folder', 'platform:\nplatform:\n', '', 'one "<folder>'),
            ('folder without a face line', TABLE, 'platform:\ncore: core.h\n', 'runtime/files has no line'),
            ('face that is not there', TABLE, CLEAN_TREE['cmake/faces.txt'].replace('sound.h', 'audio.h'),
             'sound/audio.h is not a public header'),
        ]:
            with self.subTest(table=name):
                write_tree(self.root, dict(CLEAN_TREE, **{'cmake/layers.txt': table, 'cmake/faces.txt': faces}))
                code, lines, error = run_checker(self.root)
                self.assertEqual((code, lines), (2, []))
                self.assertIn(message, error)

    def test_upward_include_injected_into_a_copy_of_the_runtime(self):
        shutil.copytree(os.path.join(SOURCE_DIR, 'runtime'), os.path.join(self.root, 'runtime'))
        shutil.copytree(os.path.join(SOURCE_DIR, 'cmake'), os.path.join(self.root, 'cmake'))
        _, before, _ = run_checker(self.root)
        host = os.path.join(self.root, 'runtime', 'host')
        header = sorted(name for name in os.listdir(host) if name.endswith('.h') and '_internal' not in name)[0]
        core = os.path.join(self.root, 'runtime', 'core')
        source = sorted(name for name in os.listdir(core) if name.endswith('.cpp'))[0]
        with open(os.path.join(core, source), encoding='utf-8') as original:
            number = original.read().count('\n') + 1
        with open(os.path.join(core, source), 'a', encoding='utf-8') as out:
            out.write(f'#include "host/{header}"\n')
        code, after, _ = run_checker(self.root)
        expected = f'runtime/core/{source}:{number}: core -> host (host/{header}): host is not below core'
        self.assertEqual(code, 1)
        self.assertNotIn(expected, before)
        self.assertEqual(sorted(set(after) - set(before)), [expected])


if __name__ == '__main__':
    unittest.main()
