#!/usr/bin/env python3
# The language server fed malformed messages by a raw JSON-RPC client over its pipes: invalid
# JSON, Content-Lengths that are short, long or not numbers, junk without a header end, a
# message over the size limit streamed in full, one with too many values, deep nesting, bad
# UTF-8, requests before initialize, unknown methods. Each gets a clear error response (the
# JSON-RPC code and a reason), the server keeps answering well-formed requests after it, its
# peak memory stays far below the 100 MiB message it was sent, and it ends with 0 on exit.
#   raw_messages_test.py VLMLS
import json
import os
import select
import subprocess
import sys
import time

LIMIT = 16 << 20          # the server's body limit (message_reader.h)
HUGE = 100 << 20          # a message well over it, streamed in full
failures = []


def check(ok, what):
    print(('ok   ' if ok else 'FAIL ') + what, flush=True)
    if not ok:
        failures.append(what)


class Client:
    def __init__(self, server):
        self.p = subprocess.Popen([server], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.buffer = b''

    def raw(self, data):
        self.p.stdin.write(data)
        self.p.stdin.flush()

    def send(self, message):
        body = json.dumps(message).encode()
        self.raw(b'Content-Length: %d\r\n\r\n' % len(body) + body)

    def _fill(self, deadline):
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                return False
            ready, _, _ = select.select([self.p.stdout], [], [], left)
            if ready:
                chunk = os.read(self.p.stdout.fileno(), 1 << 16)
                if not chunk:
                    return False
                self.buffer += chunk
                return True

    def receive(self, timeout=30):
        """The next message from the server, or None at a time-out or end of output."""
        deadline = time.monotonic() + timeout
        while b'\r\n\r\n' not in self.buffer:
            if not self._fill(deadline):
                return None
        header, rest = self.buffer.split(b'\r\n\r\n', 1)
        length = int(header.split(b':')[1])
        self.buffer = rest
        while len(self.buffer) < length:
            if not self._fill(deadline):
                return None
        body, self.buffer = self.buffer[:length], self.buffer[length:]
        return json.loads(body)

    def peak_kib(self):
        with open('/proc/%d/status' % self.p.pid) as status:
            for line in status:
                if line.startswith('VmHWM:'):
                    return int(line.split()[1])
        return -1


def answered_after(client, n, code, words, what):
    """Sends a well-formed request n after bad bytes: the errors the bad bytes gave come first
    (each with a null id, at least one with the code and words), then n's own answer."""
    client.send({'jsonrpc': '2.0', 'id': n, 'method': 'textDocument/documentSymbol',
                 'params': {'textDocument': {'uri': 'file:///nonexistent/none.bas'}}})
    errors = []
    while True:
        reply = client.receive()
        if reply is None or reply.get('id') == n:
            break
        errors.append(reply)
    clear = all(e.get('id', 0) is None and e.get('error', {}).get('code') in (-32700, -32600) and
                e['error'].get('message') for e in errors)
    named = any(e['error']['code'] == code and words in e['error']['message'] for e in errors if clear)
    check(clear and named, '%s: %s' % (what, json.dumps([e.get('error') for e in errors])[:300]))
    check(reply is not None and reply.get('result') == [], 'request %d answered after %s' % (n, what))


def main(server):
    client = Client(server)
    # Before initialize a request is refused with ServerNotInitialized.
    client.send({'jsonrpc': '2.0', 'id': 1, 'method': 'textDocument/hover', 'params': {}})
    reply = client.receive()
    check(reply and reply.get('id') == 1 and reply.get('error', {}).get('code') == -32002,
          'a request before initialize: ' + json.dumps(reply))
    client.send({'jsonrpc': '2.0', 'id': 2, 'method': 'initialize', 'params': {'capabilities': {}}})
    reply = client.receive()
    check(reply and reply.get('id') == 2 and 'capabilities' in reply.get('result', {}), 'initialize')
    client.send({'jsonrpc': '2.0', 'method': 'initialized', 'params': {}})
    start_kib = client.peak_kib()

    body = b'{"jsonrpc": "2.0", "id": 3, "method": '
    client.raw(b'Content-Length: %d\r\n\r\n' % len(body) + body)
    answered_after(client, 4, -32700, 'Parse error', 'invalid JSON')

    # A Content-Length shorter than the body: the cut body is invalid JSON, the rest no header.
    good = json.dumps({'jsonrpc': '2.0', 'id': 5, 'method': 'shutdownx'}).encode()
    client.raw(b'Content-Length: 10\r\n\r\n' + good)
    answered_after(client, 6, -32600, 'no Content-Length', 'a Content-Length too short')

    # A Content-Length longer than the body: it swallows the start of the next message (whose
    # answer is lost with it); the rest of that one is no header.
    client.raw(b'Content-Length: %d\r\n\r\n' % (len(good) + 30) + good)
    client.send({'jsonrpc': '2.0', 'id': 7, 'method': 'textDocument/documentSymbol', 'params': {}})
    answered_after(client, 8, -32700, 'Parse error', 'a Content-Length too long')

    client.raw(b'Content-Length: twelve\r\n\r\n{}')
    answered_after(client, 9, -32600, 'Content-Length is not a number', 'a Content-Length that is no number')

    client.raw(b'x' * 20000 + b'\r\n')
    answered_after(client, 10, -32600, 'header block longer than', 'junk without a header end')

    # Over the limit: refused before its body, which is streamed in full and dropped unread.
    client.raw(b'Content-Length: %d\r\n\r\n' % HUGE)
    chunk = b'[' + b'0,' * ((1 << 20) // 2 - 1) + b'0'
    sent = 0
    while sent < HUGE:
        part = chunk[:min(len(chunk), HUGE - sent)]
        client.raw(part)
        sent += len(part)
    answered_after(client, 11, -32600, 'over the limit', 'a message of 100 MiB')

    many = b'[' + b'0,' * (1 << 21) + b'0]'
    check(len(many) < LIMIT, 'the many-values message is within the byte limit')
    client.raw(b'Content-Length: %d\r\n\r\n' % len(many) + many)
    answered_after(client, 12, -32600, 'JSON values', 'a message of 2 million values')

    deep = b'[' * 100000 + b']' * 100000
    client.raw(b'Content-Length: %d\r\n\r\n' % len(deep) + deep)
    answered_after(client, 13, -32700, 'Parse error', 'nesting 100,000 deep')
    bad = b'{"jsonrpc": "2.0", "id": 14, "method": "\xff\xfe"}'
    client.raw(b'Content-Length: %d\r\n\r\n' % len(bad) + bad)
    answered_after(client, 15, -32700, 'Parse error', 'a string that is not UTF-8')
    client.send([1, 2, 3])
    answered_after(client, 16, -32600, 'Invalid Request', 'a message that is no object')
    client.send({'jsonrpc': '2.0', 'id': 14, 'method': 'workspace/frobnicate', 'params': {}})
    reply = client.receive()
    check(reply and reply.get('id') == 14 and reply.get('error', {}).get('code') == -32601,
          'an unknown method: ' + json.dumps(reply))
    client.send({'jsonrpc': '2.0', 'id': 15, 'method': 'textDocument/hover', 'params': 7})
    reply = client.receive()
    check(reply and reply.get('id') == 15 and reply.get('error', {}).get('code') == -32602,
          'params that are no object: ' + json.dumps(reply))

    grown = (client.peak_kib() - start_kib) / 1024
    check(0 <= grown < 48, 'peak memory grew by %.1f MiB for a 100 MiB message (under 48)' % grown)

    client.send({'jsonrpc': '2.0', 'id': 17, 'method': 'shutdown'})
    reply = client.receive()
    check(reply and reply.get('id') == 17 and reply.get('result', 0) is None, 'shutdown')
    client.send({'jsonrpc': '2.0', 'method': 'exit'})
    try:
        code = client.p.wait(timeout=20)
    except subprocess.TimeoutExpired:
        client.p.kill()
        code = None
    check(code == 0, 'exit status 0 after shutdown and exit (got %s)' % code)
    print('%d check(s) failed' % len(failures) if failures else 'all checks passed')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1]))
