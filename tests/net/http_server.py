#!/usr/bin/env python3
"""Loopback HTTP test server with exact responses; prints its port, then serves until killed.

Paths: /crlf and /lf answer with a header ended by CRLF CRLF or by bare LF LF;
/missing answers 404 with a body; /silent accepts and never answers; /request
echoes the request bytes as the body; /files/NAME serves a file of --root.
With --cert/--key the server speaks TLS.
"""
import argparse
import os
import socket
import ssl
import sys
import threading


def respond(conn, root):
    request = b""
    while b"\r\n\r\n" not in request:
        chunk = conn.recv(4096)
        if not chunk:
            return
        request += chunk
    path = request.split(b" ")[1].decode()
    if path == "/silent":
        threading.Event().wait(120)
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


def serve(conn, root, context):
    try:
        if context is not None:
            conn = context.wrap_socket(conn, server_side=True)
        respond(conn, root)
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
        threading.Thread(target=serve, args=(conn, args.root, context), daemon=True).start()


if __name__ == "__main__":
    sys.exit(main())
