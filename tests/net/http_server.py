#!/usr/bin/env python3
"""Loopback HTTP test server with exact responses; prints its port, then serves until killed.

Paths: /crlf and /lf answer with a header ended by CRLF CRLF or by bare LF LF;
/missing answers 404 with a body; /silent accepts and never answers; /request
echoes the request bytes as the body; /files/NAME serves a file of --root.
With --cert/--key the server speaks TLS; with --log FILE every request's
bytes, as they came, are appended to FILE before it is answered.

Faulty and unusual responses: /status/NNN (that status with a page and a
Location of /echo/followed, which only a redirect should lead to),
/truncated (half the announced length), /endless-header, /unended-header,
/empty, /not-http (an SSH banner, then silence), /binary, /bad-length,
/two-lengths, /gzip (a coding other than chunked), /chunked, /bad-chunk,
/chunked-cut, /trickle/N/MS (N bytes, one every MS ms), /reset (a TCP reset
mid-body), /cut and /clean (no length; the connection ends without or, over
TLS, with close_notify). Redirects: /go?URL (302 to URL), /hop/N (a chain of
N redirects of every kind, then 200), /loop, /rel/... (a relative Location),
/no-location; /echo/... answers with its own path.
"""
import argparse
import os
import socket
import random
import ssl
import struct
import sys
import threading
import time


LOG_LOCK = threading.Lock()


def respond(conn, root, log):
    request = b""
    while b"\r\n\r\n" not in request:
        chunk = conn.recv(4096)
        if not chunk:
            return
        request += chunk
        if request.startswith(b"\x16") and not isinstance(conn, ssl.SSLSocket):
            # A TLS handshake at a plain server: answered in plain HTTP, as web servers do.
            conn.sendall(b"HTTP/1.0 400 Bad Request\r\n\r\n")
            return
    if log:
        with LOG_LOCK, open(log, "ab") as f:
            f.write(request)
    path = request.split(b" ")[1].decode()
    if path == "/silent":
        threading.Event().wait(120)
        return
    if respond_unusual(conn, path):
        return
    if path == "/crlf":
        conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nbody after crlf")
    elif path == "/lf":
        conn.sendall(b"HTTP/1.0 200 OK\nContent-Type: text/plain\n\nbody after lf")
    elif path == "/missing":
        conn.sendall(b"HTTP/1.0 404 Not Found\r\n\r\n<h1>404 not here</h1>")
    elif path == "/request":
        conn.sendall(b"HTTP/1.0 200 OK\r\n\r\n" + request)
    elif path.startswith("/files/"):
        name = os.path.join(root, os.path.basename(path))
        size = os.path.getsize(name)
        conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: %d\r\n\r\n" % size)
        with open(name, "rb") as f:
            while True:
                block = f.read(1 << 16)
                if not block:
                    break
                conn.sendall(block)
    else:
        conn.sendall(b"HTTP/1.0 400 Bad Request\r\n\r\n")


HOP_STATUSES = [301, 302, 303, 307, 308]


def respond_unusual(conn, path):
    """Answers the faulty, slow and redirecting paths; False for any other path."""
    if path.startswith("/status/"):
        status = int(path[len("/status/"):])
        page = b"<h1>%d page</h1>" % status
        conn.sendall(b"HTTP/1.0 %d Status\r\nLocation: /echo/followed\r\nContent-Length: %d\r\n\r\n"
                     % (status, len(page)) + page)
    elif path == "/truncated":
        conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n" + b"t" * 50)
    elif path == "/endless-header":
        conn.sendall(b"HTTP/1.0 200 OK\r\n")
        for number in range(1 << 16):
            conn.sendall(b"X-Filler-%d: %s\r\n" % (number, b"f" * 200))
    elif path == "/unended-header":
        conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n")
    elif path == "/empty":
        pass
    elif path == "/not-http":
        conn.sendall(b"SSH-2.0-OpenSSH_9.2p1 Debian-2\r\n")
        threading.Event().wait(30)
    elif path == "/binary":
        generator = random.Random(7)
        conn.sendall(bytes(generator.randrange(256) for _ in range(2048)))
    elif path == "/bad-length":
        conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: 12x\r\n\r\nbody")
    elif path == "/two-lengths":
        conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: 4\r\nContent-Length: 5\r\n\r\nbody!")
    elif path == "/gzip":
        conn.sendall(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\n\r\nbody")
    elif path == "/chunked":
        conn.sendall(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\nContent-Length: 3\r\n\r\n"
                     b"5;name=value\r\nhello\r\n1\r\n \r\n6  \r\nchunks\r\nA\r\n0123456789\r\n"
                     b"0\r\nX-Trailer: yes\r\n\r\n")
    elif path == "/bad-chunk":
        conn.sendall(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nhello\r\n0\r\n\r\n")
    elif path == "/chunked-cut":
        conn.sendall(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n")
    elif path.startswith("/trickle/"):
        count, pause = (int(part) for part in path.split("/")[2:4])
        conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: %d\r\n\r\n" % count)
        for _ in range(count):
            time.sleep(pause / 1000)
            conn.sendall(b"s")
    elif path == "/reset":
        conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: 1000000\r\n\r\n" + b"r" * 100000)
        time.sleep(0.05)
        conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        conn.close()
    elif path in ("/cut", "/clean"):
        conn.sendall(b"HTTP/1.0 200 OK\r\n\r\nbody up to the close")
        if path == "/clean" and isinstance(conn, ssl.SSLSocket):
            conn.unwrap()
        else:
            # Over TLS this ends the connection without close_notify.
            conn.shutdown(socket.SHUT_RDWR)
    elif path.startswith("/go?"):
        conn.sendall(b"HTTP/1.0 302 Found\r\nLocation: %s\r\nContent-Length: 0\r\n\r\n" % path[4:].encode())
    elif path.startswith("/hop/"):
        left = int(path[len("/hop/"):])
        if left == 0:
            conn.sendall(b"HTTP/1.0 200 OK\r\n\r\nafter the hops")
        else:
            status = HOP_STATUSES[left % len(HOP_STATUSES)]
            conn.sendall(b"HTTP/1.0 %d Moved\r\nLocation: /hop/%d\r\n\r\nmoved page" % (status, left - 1))
    elif path == "/loop":
        conn.sendall(b"HTTP/1.0 301 Moved\r\nLocation: /loop\r\n\r\n")
    elif path.startswith("/rel/") and "/echo/" not in path:
        conn.sendall(b"HTTP/1.0 307 Moved\r\nlocation:  ../echo/next?x=1#part \r\n\r\n")
    elif path == "/no-location":
        conn.sendall(b"HTTP/1.0 302 Found\r\nContent-Length: 0\r\n\r\n")
    elif "/echo/" in path:
        conn.sendall(b"HTTP/1.0 200 OK\r\n\r\n" + path.encode())
    else:
        return False
    return True


def serve(conn, root, context, log):
    try:
        if context is not None:
            conn = context.wrap_socket(conn, server_side=True)
        respond(conn, root, log)
        conn.close()
    except (OSError, ssl.SSLError):
        pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bind", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--root", default=".")
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--log")
    args = parser.parse_args()
    context = None
    if args.cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.cert, args.key)
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((args.bind, args.port))
    listener.listen(16)
    print(listener.getsockname()[1], flush=True)
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=serve, args=(conn, args.root, context, args.log), daemon=True).start()


if __name__ == "__main__":
    sys.exit(main())
