#!/usr/bin/python3
"""A small POP3 server that misbehaves on purpose, for the replies no real
server gives. Standard library only.

    fake_pop3.py MODE [--log FILE] [--listen ADDRESS:PORT]

Listens on a free port of 127.0.0.1 (or on ADDRESS:PORT), prints that port on
the first line of standard output (0 when it cannot listen there), and serves
every connection in MODE until killed. Each command line received is appended
to FILE when given, and FILE.sessions gets a line "start" as a connection is
accepted and "end" once its session has written everything it will write, so
a reader knows when FILE is complete.

Modes:
  normal            a mailbox of one message (accepts any login)
  no-greeting       accepts the connection and says nothing
  stall             greets, then never answers
  garbage           greets, then answers every command with non-POP3 bytes
  drop-in-retr      RETR sends the +OK and half of the message, then closes
  huge-size         LIST gives 2147483647 bytes; RETR gives a small message
  negative-size     LIST gives -5 bytes
  overflow-size     LIST gives 99999999999999999999 bytes
  no-timestamp      a greeting without an APOP timestamp
  long-status       the answer to USER is a 2 MiB line
  long-body-line    RETR gives a message with a 64 MiB line in its body
  trickle-terminator  RETR sends its data and terminator one byte at a time
  garbage-greeting  greets with bytes that are not POP3
  capa-flood        CAPA answers +OK and then lines without end
  capa-trickle      CAPA answers +OK and then a short line every 50 ms, never ending
  trickle-status    the answer to USER is "+OK " and then one byte every 50 ms, never ending
  top-flood         TOP answers +OK and then header lines without end
  broken-stls       CAPA lists STLS; STLS answers +OK and then bytes that are not TLS
  huge-count-drop   STAT claims 2147483647 messages; the next command closes the link
  huge-count-refuse STAT claims 2147483647 messages; TOP, LIST and RETR are refused
  slow-refusals     as huge-count-refuse, each refusal after 20 ms
  pipelining        announces PIPELINING; a mailbox of 20 messages, where the
                    server refuses TOP 2 0, RETR 3 and LIST 4. Before each
                    answer it takes in whatever the client has sent so far
                    and logs, at the end of the session, the most commands it
                    ever held unanswered: "MAX-UNANSWERED n".
  pipelining-drop   as pipelining, but RETR 5 sends half its message, then
                    the link closes
  mailbox           the first three messages of pipelining, none refused,
                    without PIPELINING; MAX-UNANSWERED is logged as there
  mailbox-list-odd  as mailbox, but LIST without argument lists messages 1,
                    3 and 7 only
  mailbox-list-refused  as mailbox, but LIST without argument is refused
  tls               as normal, over TLS from the first byte (a self-signed
                    certificate for 127.0.0.1, made beside the log); after
                    answering QUIT it logs "CLOSE-NOTIFY" when the client ends
                    the TLS session with its close notice, "NO-CLOSE-NOTIFY"
                    when it just goes
  tls-hold          as tls, but QUIT goes unanswered: the server neither
                    reads nor closes for a minute
  no-capabilities   a mailbox of 50 messages of 20,000 bytes from a server that
                    knows no CAPA, so offers neither STLS nor PIPELINING (for
                    the benchmarks)
  swallow           takes no connection: its backlog is filled at once, so
                    further connection attempts get no answer at all (an
                    address whose route is broken)

A mode of the first list followed by "+pipelining" (huge-count-refuse+pipelining)
behaves as that mode and lists PIPELINING in its answer to CAPA.
"""
import os
import select
import socket
import ssl
import subprocess
import sys
import threading
import time

HUGE_COUNT = b"2147483647"

MESSAGE = (b"Subject: fake\r\nFrom: a@example.com\r\n\r\n"
           b"line one\r\n.dotted\r\nlast\r\n")


def main():
    mode = sys.argv[1]
    log_path = None
    if "--log" in sys.argv:
        log_path = sys.argv[sys.argv.index("--log") + 1]
    log_lock = threading.Lock()

    address, port = "127.0.0.1", 0
    if "--listen" in sys.argv:
        address, port = sys.argv[sys.argv.index("--listen") + 1].rsplit(":", 1)
        port = int(port)

    family = socket.AF_INET6 if ":" in address else socket.AF_INET
    server = socket.socket(family, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    try:
        server.bind((address, port))
    except OSError:
        print(0, flush=True)
        return
    if mode == "swallow":
        swallow(server, family)
        return
    server.listen(16)
    print(server.getsockname()[1], flush=True)

    def log(line):
        if log_path:
            with log_lock, open(log_path, "ab") as f:
                f.write(line + b"\n")

    tls = None
    if mode.startswith("tls"):
        folder = os.path.dirname(os.path.abspath(log_path or "."))
        key, cert = os.path.join(folder, "tls.key"), os.path.join(folder, "tls.crt")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                        "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", key, "-out",
                        cert, "-days", "2", "-subj", "/CN=127.0.0.1", "-addext",
                        "subjectAltName=IP:127.0.0.1"], check=True, capture_output=True)
        tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        tls.load_cert_chain(cert, key)
        # Python sets this by default, which makes an end without the close
        # notice look like one with it.
        tls.options &= ~getattr(ssl, "OP_IGNORE_UNEXPECTED_EOF", 0)

    def mark(word):
        if log_path:
            with log_lock, open(log_path + ".sessions", "ab") as f:
                f.write(word + b"\n")

    def serve(conn):
        try:
            with conn:
                try:
                    if tls:
                        # A ragged end (no close notice) is an error, not an end.
                        conn = tls.wrap_socket(conn, server_side=True,
                                               suppress_ragged_eofs=False)
                    session(conn, mode, log)
                except OSError:
                    pass
        finally:
            mark(b"end")

    while True:
        conn, _ = server.accept()
        # Marked before the greeting goes out, so a client that was answered
        # is always counted.
        mark(b"start")
        threading.Thread(target=serve, args=(conn,), daemon=True).start()


def swallow(server, family):
    """After listen(0) and a few connections nobody accepts, the queue is
    full and the system answers no further SYN."""
    server.listen(0)
    held = []
    for _ in range(4):
        c = socket.socket(family, socket.SOCK_STREAM)
        c.setblocking(False)
        c.connect_ex(server.getsockname()[:2])
        held.append(c)
    select.select([], held[:1], [], 10)  # the first one is in the queue
    print(server.getsockname()[1], flush=True)
    while True:
        time.sleep(3600)


def read_lines(conn):
    buf = b""
    while True:
        data = conn.recv(4096)
        if not data:
            return
        buf += data
        while b"\n" in buf:
            line, buf = buf.split(b"\n", 1)
            yield line.rstrip(b"\r")


def stuffed(message):
    out = b""
    for line in message.split(b"\r\n")[:-1]:
        if line.startswith(b"."):
            line = b"." + line
        out += line + b"\r\n"
    return out + b".\r\n"


PIPELINED_COUNT = 20
PIPELINED_REFUSED = {b"TOP 2 0", b"RETR 3", b"LIST 4"}


def pipelined_message(n):
    return (b"Subject: message %d\r\nFrom: a@example.com\r\n\r\n" % n
            + b"line of message %d\r\n" % n * (n * 50) + b".dot\r\n")


def pipelining_session(conn, mode, log):
    """Answers every command in order, like a server that reads ahead:
    before each answer, what the client has sent so far is taken in, so the
    lines waiting show how many commands the client has left unanswered."""
    pipelining = mode.startswith("pipelining")
    count = PIPELINED_COUNT if pipelining else 3
    refused = PIPELINED_REFUSED if pipelining else set()
    listed = [1, 3, 7] if mode == "mailbox-list-odd" else range(1, count + 1)
    conn.sendall(b"+OK fake server ready <1234.5678@fake.example>\r\n")
    buf = b""
    most = 0
    try:
        while True:
            while b"\n" not in buf or select.select([conn], [], [], 0.002)[0]:
                data = conn.recv(65536)
                if not data:
                    return
                buf += data
            most = max(most, buf.count(b"\n"))
            line, buf = buf.split(b"\n", 1)
            line = line.rstrip(b"\r")
            log(line)
            words = line.split(b" ")
            verb = words[0].upper()
            if line in refused or (line == b"LIST" and mode == "mailbox-list-refused"):
                conn.sendall(b"-ERR refused on purpose\r\n")
            elif verb == b"CAPA":
                conn.sendall(b"+OK\r\nUSER\r\nTOP\r\n"
                             + (b"PIPELINING\r\n" if pipelining else b"") + b".\r\n")
            elif verb in (b"USER", b"PASS"):
                conn.sendall(b"+OK\r\n")
            elif verb == b"STAT":
                conn.sendall(b"+OK %d 0\r\n" % count)
            elif line == b"LIST":
                conn.sendall(b"+OK\r\n" + b"".join(b"%d %d\r\n" % (n, len(pipelined_message(n)))
                                                   for n in listed) + b".\r\n")
            elif verb in (b"TOP", b"LIST", b"RETR") and len(words) > 1:
                message = pipelined_message(int(words[1]))
                if verb == b"LIST":
                    conn.sendall(b"+OK %s %d\r\n" % (words[1], len(message)))
                elif verb == b"TOP":
                    conn.sendall(b"+OK\r\n" + stuffed(message.split(b"\r\n\r\n")[0]
                                                      + b"\r\n\r\n"))
                elif mode == "pipelining-drop" and words[1] == b"5":
                    data = stuffed(message)
                    conn.sendall(b"+OK\r\n" + data[: len(data) // 2])
                    conn.shutdown(socket.SHUT_RDWR)
                    return
                else:
                    conn.sendall(b"+OK\r\n" + stuffed(message))
            elif verb == b"QUIT":
                conn.sendall(b"+OK bye\r\n")
                return
            else:
                conn.sendall(b"-ERR unknown command\r\n")
    finally:
        log(b"MAX-UNANSWERED %d" % most)


def plain_message(n, size=20000):
    head = b"From: a@example.com\r\nSubject: message %d\r\n\r\n" % n
    line = b"%c" % (ord("a") + n % 26) * 78 + b"\r\n"
    body = line * ((size - len(head)) // len(line))
    return head + body + b"z" * (size - len(head) - len(body) - 2) + b"\r\n"


def no_capabilities_session(conn, log):
    """Answers one command at a time, as a small server of old does."""
    messages = [plain_message(n) for n in range(1, 51)]
    conn.sendall(b"+OK ready\r\n")
    for line in read_lines(conn):
        log(line)
        words = line.split(b" ")
        verb = words[0].upper()
        no = int(words[1]) if len(words) > 1 and words[1].isdigit() else 0
        if verb in (b"USER", b"PASS"):
            conn.sendall(b"+OK\r\n")
        elif verb == b"STAT":
            conn.sendall(b"+OK %d %d\r\n" % (len(messages), sum(map(len, messages))))
        elif verb == b"LIST" and no == 0:
            conn.sendall(b"+OK\r\n" + b"".join(b"%d %d\r\n" % (i + 1, len(m))
                                               for i, m in enumerate(messages)) + b".\r\n")
        elif 1 <= no <= len(messages) and verb == b"LIST":
            conn.sendall(b"+OK %d %d\r\n" % (no, len(messages[no - 1])))
        elif 1 <= no <= len(messages) and verb in (b"TOP", b"RETR"):
            m = messages[no - 1]
            conn.sendall(b"+OK\r\n" + stuffed(m if verb == b"RETR" else m.split(b"\r\n\r\n")[0]
                                                + b"\r\n\r\n"))
        elif verb == b"QUIT":
            conn.sendall(b"+OK bye\r\n")
            return
        else:
            conn.sendall(b"-ERR unknown command\r\n")


def session(conn, mode, log):
    conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    if mode == "no-capabilities":
        no_capabilities_session(conn, log)
        return
    if mode.startswith("pipelining") or mode.startswith("mailbox"):
        pipelining_session(conn, mode, log)
        return
    mode, _, extra = mode.partition("+")
    capabilities = b"USER\r\nTOP\r\n" + (b"PIPELINING\r\n" if extra == "pipelining" else b"")
    if mode == "no-greeting":
        for _ in read_lines(conn):
            pass
        return
    if mode == "no-timestamp":
        conn.sendall(b"+OK fake server ready\r\n")
    elif mode == "garbage-greeting":
        conn.sendall(b"HTTP/1.1 400 Bad Request\r\n\r\n")
    else:
        conn.sendall(b"+OK fake server ready <1234.5678@fake.example>\r\n")

    for line in read_lines(conn):
        log(line)
        verb = line.split(b" ")[0].upper()
        if mode == "stall":
            continue
        if mode == "garbage":
            conn.sendall(b"\x00\xff\xfe garbage\r\n")
            continue
        if mode == "huge-count-drop" and verb in (b"TOP", b"LIST", b"RETR"):
            conn.shutdown(socket.SHUT_RDWR)
            return
        if mode in ("huge-count-refuse", "slow-refusals") and verb in (b"TOP", b"LIST", b"RETR"):
            if mode == "slow-refusals":
                time.sleep(0.02)
            conn.sendall(b"-ERR no such message\r\n")
            continue
        if verb == b"CAPA":
            if mode == "capa-flood":
                conn.sendall(b"+OK\r\n")
                while True:
                    conn.sendall(b"X-FLOOD " + b"f" * 100 + b"\r\n")
            elif mode == "capa-trickle":
                conn.sendall(b"+OK\r\n")
                while True:
                    conn.sendall(b"X-TRICKLE\r\n")
                    time.sleep(0.05)
            elif mode == "broken-stls":
                conn.sendall(b"+OK\r\nUSER\r\nSTLS\r\n.\r\n")
            else:
                conn.sendall(b"+OK\r\n" + capabilities + b".\r\n")
        elif verb == b"STLS" and mode == "broken-stls":
            conn.sendall(b"+OK begin TLS\r\n")
            conn.recv(4096)  # the client's hello
            conn.sendall(b"this is not TLS\r\n" * 8)
            conn.shutdown(socket.SHUT_RDWR)
            return
        elif verb == b"USER":
            if mode == "long-status":
                conn.sendall(b"+OK " + b"x" * (2 * 1024 * 1024) + b"\r\n")
            elif mode == "trickle-status":
                conn.sendall(b"+OK ")
                while True:
                    conn.sendall(b"x")
                    time.sleep(0.05)
            else:
                conn.sendall(b"+OK\r\n")
        elif verb in (b"PASS", b"APOP"):
            conn.sendall(b"+OK logged in\r\n")
        elif verb == b"STAT":
            if mode in ("huge-count-drop", "huge-count-refuse", "slow-refusals"):
                conn.sendall(b"+OK " + HUGE_COUNT + b" 0\r\n")
            else:
                conn.sendall(b"+OK 1 %d\r\n" % len(MESSAGE))
        elif verb == b"LIST":
            size = {"huge-size": b"2147483647", "negative-size": b"-5",
                    "overflow-size": b"99999999999999999999"}.get(mode, b"%d" % len(MESSAGE))
            if line == b"LIST":
                conn.sendall(b"+OK\r\n1 " + size + b"\r\n.\r\n")
            else:
                conn.sendall(b"+OK 1 " + size + b"\r\n")
        elif verb == b"TOP":
            if mode == "top-flood":
                conn.sendall(b"+OK\r\n")
                while True:
                    conn.sendall(b"X-Flood: " + b"h" * 100 + b"\r\n")
            conn.sendall(b"+OK\r\n" + stuffed(MESSAGE.split(b"\r\n\r\n")[0] + b"\r\n\r\n"))
        elif verb == b"RETR":
            if mode == "drop-in-retr":
                data = stuffed(MESSAGE)
                conn.sendall(b"+OK\r\n" + data[: len(data) // 2])
                conn.shutdown(socket.SHUT_RDWR)
                return
            if mode == "long-body-line":
                conn.sendall(b"+OK\r\nSubject: long\r\n\r\n")
                chunk = b"y" * (1024 * 1024)
                for _ in range(64):
                    conn.sendall(chunk)
                conn.sendall(b"\r\nend\r\n.\r\n")
            elif mode == "trickle-terminator":
                conn.sendall(b"+OK\r\n")
                for i in range(len(stuffed(MESSAGE))):
                    conn.sendall(stuffed(MESSAGE)[i:i + 1])
            else:
                conn.sendall(b"+OK\r\n" + stuffed(MESSAGE))
        elif verb == b"QUIT":
            if mode == "tls-hold":
                time.sleep(60)
                return
            conn.sendall(b"+OK bye\r\n")
            if mode == "tls":
                try:
                    conn.settimeout(10)
                    noticed = conn.recv(1) == b""
                except OSError:
                    noticed = False
                log(b"CLOSE-NOTIFY" if noticed else b"NO-CLOSE-NOTIFY")
            return
        else:
            conn.sendall(b"-ERR unknown command\r\n")


if __name__ == "__main__":
    main()
