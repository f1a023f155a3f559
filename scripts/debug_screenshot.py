#!/usr/bin/env python3
# Draws the picture of docs/getting-started.md's "Debugging in an editor" from a real debugging
# session: vlmdap launches a program built from BASIC in debug mode, stops it at a breakpoint,
# and the adapter's own stackTrace, scopes and variables responses are drawn as an editor shows
# them (the source with the stopped line, the variables, the call stack) with Python PIL
# (Debian's python3-pil, which scripts/setup.sh installs).
#   scripts/debug_screenshot.py --vlmdap build/tools/vlmdap/vlmdap --program build/tests/dap/dap_debuggee \
#       --source tests/dap/program/helper.bas --line 6 --out docs/debugging-in-an-editor.png
# (the program's folder is its working folder; its run log goes to $TMPDIR)
# Prints the responses it drew as JSON on standard output.
import argparse
import json
import os
import select
import subprocess
import sys
import time

from PIL import Image, ImageDraw, ImageFont

FONT = '/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf'
BOLD = '/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf'


class Adapter:
    def __init__(self, command):
        self.p = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.seq = 0
        self.buffer = b''
        self.events = []

    def _message(self, timeout=30):
        deadline = time.monotonic() + timeout
        while True:
            if b'\r\n\r\n' in self.buffer:
                header, rest = self.buffer.split(b'\r\n\r\n', 1)
                length = int(header.split(b':')[1])
                if len(rest) >= length:
                    self.buffer = rest[length:]
                    return json.loads(rest[:length])
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.p.stdout], [], [], left)[0]:
                raise SystemExit('vlmdap did not answer in time')
            chunk = os.read(self.p.stdout.fileno(), 1 << 16)
            if not chunk:
                raise SystemExit('vlmdap ended')
            self.buffer += chunk

    def request(self, command, arguments=None):
        self.seq += 1
        body = json.dumps({'seq': self.seq, 'type': 'request', 'command': command,
                           'arguments': arguments or {}}).encode()
        self.p.stdin.write(b'Content-Length: %d\r\n\r\n' % len(body) + body)
        self.p.stdin.flush()
        while True:
            m = self._message()
            if m.get('type') == 'response' and m.get('request_seq') == self.seq:
                if not m.get('success'):
                    raise SystemExit('%s failed: %s' % (command, m.get('message')))
                return m.get('body', {})
            if m.get('type') == 'event':
                self.events.append(m)

    def event(self, name):
        while True:
            for e in self.events:
                if e.get('event') == name:
                    self.events.remove(e)
                    return e
            m = self._message()
            if m.get('type') == 'event':
                self.events.append(m)


def session(args):
    a = Adapter([args.vlmdap])
    a.request('initialize', {'adapterID': 'vlmdap', 'linesStartAt1': True, 'columnsStartAt1': True,
                             'pathFormat': 'path'})
    env = {'SDL_VIDEODRIVER': 'offscreen', 'SDL_AUDIODRIVER': 'dummy', 'DISPLAY': ''}
    a.request('launch', {'program': args.program, 'args': [], 'env': env,
                         'cwd': os.path.dirname(os.path.abspath(args.program))})
    a.event('initialized')
    a.request('setBreakpoints', {'source': {'path': os.path.abspath(args.source)}, 'breakpoints': [{'line': args.line}]})
    a.request('configurationDone')
    stopped = a.event('stopped')
    frames = a.request('stackTrace', {'threadId': 1})['stackFrames']
    scopes = a.request('scopes', {'frameId': frames[0]['id']})['scopes']
    variables = [(s['name'], a.request('variables', {'variablesReference': s['variablesReference']})['variables'])
                 for s in scopes]
    try:
        a.request('terminate')
    except SystemExit:
        pass
    try:
        a.p.wait(timeout=10)
    except subprocess.TimeoutExpired:
        a.p.kill()
    return stopped, frames, variables


def draw(args, stopped, frames, variables):
    font = ImageFont.truetype(FONT, 15)
    bold = ImageFont.truetype(BOLD, 15)
    small = ImageFont.truetype(FONT, 13)
    width, height, side, row = 1180, 640, 430, 22
    image = Image.new('RGB', (width, height), (30, 30, 30))
    d = ImageDraw.Draw(image)
    # Title bar and the two panes.
    d.rectangle([0, 0, width, 30], fill=(50, 50, 52))
    d.text((12, 7), 'Velmora BASIC - %s (stopped: %s)' % (os.path.basename(args.source), stopped['body'].get('reason')),
           font=small, fill=(204, 204, 204))
    d.rectangle([0, 30, side, height], fill=(37, 37, 38))
    y = 42
    d.text((12, y), 'VARIABLES', font=bold, fill=(187, 187, 187))
    y += row + 4
    for name, values in variables:
        d.text((12, y), 'v ' + name, font=bold, fill=(204, 204, 204))
        y += row
        for v in values[:9]:
            value = v.get('value', '')
            if len(value) > 28:
                value = value[:27] + '...'
            d.text((30, y), v['name'], font=font, fill=(156, 220, 254))
            d.text((30 + d.textlength(v['name'] + ' ', font=font), y), '= ' + value, font=font, fill=(206, 145, 120))
            y += row
        if len(values) > 9:
            d.text((30, y), '... %d more' % (len(values) - 9), font=small, fill=(140, 140, 140))
            y += row
    y += 8
    d.text((12, y), 'CALL STACK', font=bold, fill=(187, 187, 187))
    y += row + 4
    for k, f in enumerate(frames):
        where = '%s:%d' % (os.path.basename((f.get('source') or {}).get('path', '?')), f.get('line', 0))
        d.text((20, y), f['name'], font=bold if k == 0 else font, fill=(220, 220, 170) if k == 0 else (204, 204, 204))
        d.text((side - 12 - d.textlength(where, font=small), y), where, font=small, fill=(140, 140, 140))
        y += row
    # The source, with the breakpoint and the stopped line.
    with open(args.source, encoding='utf-8', errors='replace') as f:
        lines = f.read().splitlines()
    x0, y = side + 16, 42
    for number, text in enumerate(lines[:26], 1):
        if number == frames[0].get('line'):
            d.rectangle([side, y - 2, width, y + row - 4], fill=(75, 75, 24))
        if number == args.line:
            d.ellipse([x0, y + 3, x0 + 11, y + 14], fill=(229, 20, 0))
        d.text((x0 + 18, y), '%3d' % number, font=font, fill=(133, 133, 133))
        code, _, comment = text.partition("'")
        d.text((x0 + 60, y), code, font=font, fill=(212, 212, 212))
        if comment or text.lstrip().startswith("'"):
            d.text((x0 + 60 + d.textlength(code, font=font), y), "'" + comment, font=font, fill=(106, 153, 85))
        y += row
    d.rectangle([0, height - 24, width, height], fill=(0, 122, 204))
    d.text((12, height - 20), 'vlmdap: stopped at %s line %d' % (os.path.basename(args.source), frames[0].get('line', 0)),
           font=small, fill=(255, 255, 255))
    image.save(args.out)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument('--vlmdap', required=True)
    parser.add_argument('--program', required=True)
    parser.add_argument('--source', required=True)
    parser.add_argument('--line', type=int, required=True)
    parser.add_argument('--out', required=True)
    args = parser.parse_args()
    stopped, frames, variables = session(args)
    draw(args, stopped, frames, variables)
    json.dump({'stopped': stopped, 'stackFrames': frames, 'variables': dict(variables)}, sys.stdout, indent=1)
    print()
    return 0


if __name__ == '__main__':
    sys.exit(main())
