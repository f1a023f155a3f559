#!/usr/bin/env python3
# A hostile session peer on loopback, driven line by line on standard input; one reply line each.
# Arguments: the host's port, and optionally the loopback address to connect from (127.0.0.x).
#   join NAME            -> joins as a protocol-following peer: the id the host gave, 0 when
#                           it refused or did not answer within 5 s
#   more COUNT           -> asks for COUNT more players on the joined connection: their ids
#   send FROM TO TEXT    -> a text on the joined connection, with any sender: 1
#   leave FROM           -> a departure of player FROM on the joined connection: 1
#   flood TO MEGABYTES   -> 1024-byte texts from the joined player until that much went or the
#                           host closed: "<bytes sent> closed|open"
#   burst TO COUNT       -> COUNT one-byte texts from the joined player, then closes: 1
#   closed [SECONDS]     -> waits up to SECONDS (5) for the host to close the joined connection:
#                           closed|open
#   hold CONNS PLAYERS   -> opens CONNS connections one after another, each asking for PLAYERS
#                           players at once, and keeps them: "<accepted> <refused> <reasons>",
#                           reasons the refusals' distinct reason codes ("-" for none); a refused
#                           connection counts once and is closed
#   again PLAYERS        -> asks for PLAYERS more players on the last connection "hold" kept:
#                           "<accepted> <refused> closed|open"
#   churn ROUNDS PLAYERS -> ROUNDS times: a connection asks for PLAYERS players and closes:
#                           "<accepted> <refused> <unanswered> <lowest id> <highest id>"
#   stillopen SECONDS    -> waits SECONDS, then: how many idle connections the host left open
#   idle COUNT [SPREAD]  -> opens COUNT connections that never send (from SPREAD addresses
#                           127.0.0.2, 127.0.0.3, ... in turn when given): how many connected
#   idlewait SECONDS     -> waits for the host to close every idle connection:
#                           "<still open> <ms the last one opened lived>"
#   impostor PORT        -> opens an idle connection from that source port: the type of the first
#                           message the host sends on it within 1 s, "none" when none came
#   refusals COUNT [close] -> opens COUNT connections that never send (8 at a time, as idle) and
#                           keeps each until the host closes it (or closes it once told, with
#                           close): "<told why> <closed untold> <least ms> <most ms> <told more>",
#                           the times from the refusal to the close of those told why, and how
#                           many of those were sent anything after the refusal
#   serve MODE           -> acts as a broken host on the port instead: listens ("1" once it does)
#                           and serves one member, who joins and asks; with MODE "short" a count
#                           answer has 1 byte, with "unasked" 65 answers nobody asked for follow
#                           the probe's; it replies nothing more
#   keepalive            -> a keepalive on the joined connection: 1
#   keepalives SECONDS   -> counts the keepalives the host sends on the joined connection in SECONDS
import select
import socket
import struct
import sys
import time

JOIN_REQUEST, JOIN_ACCEPTED, PLAYER_TEXT, JOIN_REFUSED = 1, 2, 3, 6

port = int(sys.argv[1])
source = (sys.argv[2], 0) if len(sys.argv) > 2 else None
held = []  # connections that "hold" keeps
joined = None  # the socket of the joined player
player = 0
idle = []  # [socket, connected at, closed at]


def message(kind, to, sender, payload=b""):
    return struct.pack("<BHHH", kind, len(payload), to, sender) + payload


def connect():
    return socket.create_connection(("127.0.0.1", port), timeout=5, source_address=source)


def join_request(name):
    payload = b"\xff" * 4 + struct.pack("<HBB", 0xFFFE, 0, 0) + name.encode().ljust(128, b"\0")[:128]
    return message(JOIN_REQUEST, 0, 0, payload)


def answers(sock, count, seconds=5):
    """Reads the host's answers to count join requests: (accepted ids, refusal reasons, connection
    refused); stops early when the host refuses the connection, closes it or stays silent."""
    ids, reasons, buffered = [], [], b""
    deadline = time.monotonic() + seconds
    while len(ids) + len(reasons) < count:
        while len(buffered) >= 7:
            kind, length, to, _ = struct.unpack("<BHHH", buffered[:7])
            if len(buffered) < 7 + length:
                break
            payload, buffered = buffered[7:7 + length], buffered[7 + length:]
            if kind == JOIN_ACCEPTED:
                ids.append(to)
            elif kind == JOIN_REFUSED:
                reasons.append(struct.unpack("<H", payload[:2])[0])
                if to == 0:
                    return ids, reasons, True
        if len(ids) + len(reasons) >= count:
            break
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([sock], [], [], left)[0]:
            break
        try:
            piece = sock.recv(65536)
        except OSError:
            break
        if not piece:
            break
        buffered += piece
    return ids, reasons, False


def hold(connections, players):
    accepted, refused, reasons = 0, 0, set()
    for n in range(connections):
        sock = connect()
        sock.sendall(join_request(f"h{n}") * players)
        ids, why, refused_outright = answers(sock, players)
        accepted += len(ids)
        refused += len(why)
        reasons.update(why)
        if refused_outright:
            sock.close()  # as a client does: the host waits for it to close
        else:
            held.append(sock)
    return f"{accepted} {refused} {','.join(str(r) for r in sorted(reasons)) or '-'}"


def again(players):
    sock = held[-1]
    sock.sendall(join_request("again") * players)
    ids, why, _ = answers(sock, players, 2)
    return f"{len(ids)} {len(why)} {'closed' if closed_by_host(sock, 0.5) else 'open'}"


def churn(rounds, players):
    accepted, refused, unanswered, lowest, highest = 0, 0, 0, 0xFFFF, 0
    for n in range(rounds):
        sock = connect()
        sock.sendall(join_request(f"c{n}") * players)
        ids, why, _ = answers(sock, players)
        sock.close()
        accepted += len(ids)
        refused += len(why)
        unanswered += players - len(ids) - len(why)
        if ids:
            lowest, highest = min(lowest, min(ids)), max(highest, max(ids))
    return f"{accepted} {refused} {unanswered} {lowest} {highest}"


def still_open(seconds):
    wait_idle(seconds)
    return sum(1 for entry in idle if entry[2] is None)


def join(name):
    """The id the host gave, 0 when it refused the join or the connection, or did not answer."""
    global joined, player
    joined = connect()
    joined.sendall(join_request(name))
    ids, _, _ = answers(joined, 1)
    player = ids[0] if ids else 0
    return player


def closed_by_host(sock, seconds):
    """True when the host closes (or resets) sock within seconds; what it sends is read and dropped."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if not select.select([sock], [], [], max(0.0, deadline - time.monotonic()))[0]:
            continue
        try:
            if not sock.recv(65536):
                return True
        except OSError:
            return True
    return False


def flood(to, megabytes):
    text = message(PLAYER_TEXT, to, player, b"f" * 1024)
    chunk = text * 64
    sent = 0
    joined.settimeout(30)  # a host may hold the sender back for a while before it decides
    try:
        while sent < megabytes << 20:
            joined.sendall(chunk)
            sent += len(chunk)
    except TimeoutError:
        return f"{sent} open"
    except OSError:
        return f"{sent} closed"
    return f"{sent} {'closed' if closed_by_host(joined, 0.5) else 'open'}"


def open_idle(count, spread=0):
    # The host's listening queue is short (10): the connections go in batches of 8, each once the
    # host has taken the one before, which it shows by sending its first message (a keepalive)
    # or by closing. A connection left in an overrun queue would look open without being taken.
    opened = 0
    for first in range(0, count, 8):
        batch = []
        for n in range(first, min(count, first + 8)):
            s = socket.socket()
            if spread:
                s.bind((f"127.0.0.{2 + n % spread}", 0))
            elif source:
                s.bind(source)
            s.setblocking(False)
            s.connect_ex(("127.0.0.1", port))
            batch.append(s)
        deadline = time.monotonic() + 5
        connected, pending = [], list(batch)
        while pending and time.monotonic() < deadline:
            writable = select.select([], pending, [], max(0.0, deadline - time.monotonic()))[1]
            for s in writable:
                pending.remove(s)
                if s.getsockopt(socket.SOL_SOCKET, socket.SO_ERROR) == 0:
                    connected.append(s)
        untaken = list(connected)
        while untaken and time.monotonic() < deadline:
            for s in select.select(untaken, [], [], max(0.0, deadline - time.monotonic()))[0]:
                untaken.remove(s)
        for s in connected:
            idle.append([s, time.monotonic(), None])
        opened += len(connected)
    return opened


def impostor(source_port):
    s = socket.socket()
    s.bind((source[0] if source else "127.0.0.1", source_port))
    s.connect(("127.0.0.1", port))
    idle.append([s, time.monotonic(), None])
    if not select.select([s], [], [], 1)[0]:
        return "none"
    first = s.recv(1, socket.MSG_PEEK)
    return first[0] if first else "none"


def ready_pieces(entries, wait=0.05):
    """Each entry (its socket first) that has something to read, with what came: b"" when the
    socket closed or failed."""
    for s in select.select([e[0] for e in entries], [], [], wait)[0]:
        entry = next(e for e in entries if e[0] is s)
        try:
            piece = s.recv(4096)
        except OSError:
            piece = b""
        yield entry, piece


def refusals(count, close_told=False):
    told, untold, lived, opened = 0, 0, [], []
    for first in range(0, count, 8):
        batch = []
        for n in range(first, min(count, first + 8)):
            s = socket.socket()
            if source:
                s.bind(source)
            s.connect(("127.0.0.1", port))
            batch.append([s, None, b""])  # socket, when the refusal came, what came
        # Each one's refusal, or its close without one, before the next batch.
        deadline = time.monotonic() + 5
        pending = list(batch)
        while pending and time.monotonic() < deadline:
            for entry, piece in ready_pieces(pending):
                s = entry[0]
                if piece:
                    entry[2] += piece
                    if entry[1] is None and len(entry[2]) >= 9:
                        entry[1] = time.monotonic()
                        told += 1 if entry[2][0] == JOIN_REFUSED else 0
                        pending.remove(entry)
                        if close_told:
                            s.close()
                            entry[1] = -1
                else:
                    untold += 1 if entry[1] is None else 0
                    entry[1] = entry[1] or -1
                    pending.remove(entry)
                    s.close()
        opened.extend(batch)
    # The ones told why wait for the host's close.
    deadline = time.monotonic() + 5
    open_ones = [e for e in opened if e[1] is not None and e[1] > 0]
    while open_ones and time.monotonic() < deadline:
        for entry, piece in ready_pieces(open_ones):
            s = entry[0]
            entry[2] += piece
            if not piece:
                lived.append(int((time.monotonic() - entry[1]) * 1000))
                open_ones.remove(entry)
                s.close()
    lived += [-1] * len(open_ones)  # never closed
    more = sum(1 for e in opened if len(e[2]) > 9)
    return f"{told} {untold} {min(lived, default=0)} {max(lived, default=0)} {more}"


def keepalives(seconds):
    count, buffered = 0, b""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if not select.select([joined], [], [], max(0.0, deadline - time.monotonic()))[0]:
            continue
        piece = joined.recv(65536)
        if not piece:
            break
        buffered += piece
        while len(buffered) >= 7:
            kind, length = struct.unpack("<BH", buffered[:3])
            if len(buffered) < 7 + length:
                break
            count += 1 if kind == 5 else 0
            buffered = buffered[7 + length:]
    return count


def wait_idle(seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        open_ones = [entry for entry in idle if entry[2] is None]
        if not open_ones:
            break
        readable = select.select([e[0] for e in open_ones], [], [], 0.05)[0]
        for entry in open_ones:
            if entry[0] in readable:
                try:
                    gone = not entry[0].recv(4096)
                except OSError:
                    gone = True
                if gone:
                    entry[2] = time.monotonic()
    still_open = sum(1 for entry in idle if entry[2] is None)
    last = idle[-1] if idle else None
    lived = int(((last[2] or time.monotonic()) - last[1]) * 1000) if last else 0
    return f"{still_open} {lived}"


def serve(mode):
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", port))
    listener.listen(1)
    print(1, flush=True)
    sock, _ = listener.accept()
    buffered, next_id = b"", 101
    while True:
        piece = sock.recv(65536)
        if not piece:
            return
        buffered += piece
        while len(buffered) >= 7:
            kind, length, to, sender = struct.unpack("<BHHH", buffered[:7])
            if len(buffered) < 7 + length:
                break
            buffered = buffered[7 + length:]
            if kind == JOIN_REQUEST:
                sock.sendall(message(JOIN_ACCEPTED, next_id, 0))
                next_id += 1
            elif kind == 104:  # the probe
                sock.sendall(message(104, sender, 0, b"\x01\x00"))
                if mode == "unasked":
                    sock.sendall(message(101, sender, 0, b"\x07\x00") * 65)
            elif kind == 101:  # the count
                sock.sendall(message(101, sender, 0, b"\x07" if mode == "short" else b"\x07\x00"))


for line in sys.stdin:
    words = line.split(maxsplit=3)
    command = words[0] if words else ""
    if command == "join":
        reply = join(words[1])
    elif command == "more":
        joined.sendall(join_request("more") * int(words[1]))
        reply = " ".join(str(i) for i in answers(joined, int(words[1]))[0])
    elif command == "send":
        joined.sendall(message(PLAYER_TEXT, int(words[2]), int(words[1]), words[3].rstrip("\n").encode()))
        reply = 1
    elif command == "leave":
        joined.sendall(message(4, 0, int(words[1])))
        reply = 1
    elif command == "flood":
        reply = flood(int(words[1]), int(words[2]))
    elif command == "burst":
        joined.sendall(message(PLAYER_TEXT, int(words[1]), player, b"b") * int(words[2]))
        joined.close()
        reply = 1
    elif command == "closed":
        reply = "closed" if closed_by_host(joined, float(words[1]) if len(words) > 1 else 5) else "open"
    elif command == "hold":
        reply = hold(int(words[1]), int(words[2]))
    elif command == "again":
        reply = again(int(words[1]))
    elif command == "churn":
        reply = churn(int(words[1]), int(words[2]))
    elif command == "stillopen":
        reply = still_open(float(words[1]))
    elif command == "idle":
        reply = open_idle(int(words[1]), int(words[2]) if len(words) > 2 else 0)
    elif command == "impostor":
        reply = impostor(int(words[1]))
    elif command == "refusals":
        reply = refusals(int(words[1]), len(words) > 2 and words[2].strip() == "close")
    elif command == "serve":
        serve(words[1].strip())
        continue
    elif command == "keepalive":
        joined.sendall(message(5, 0, 0))
        reply = 1
    elif command == "keepalives":
        reply = keepalives(float(words[1]))
    elif command == "idlewait":
        reply = wait_idle(float(words[1]))
    else:
        reply = "?"
    print(reply, flush=True)
