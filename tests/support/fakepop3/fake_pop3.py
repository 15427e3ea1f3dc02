#!/usr/bin/python3
"""A small POP3 server that misbehaves on purpose, for the replies no real
server gives. Standard library only.

    fake_pop3.py MODE [--log FILE]

Listens on a free port of 127.0.0.1, prints that port on the first line of
standard output, and serves every connection in MODE until killed. Each
command line received is appended to FILE when given.

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
"""
import socket
import sys
import threading

MESSAGE = (b"Subject: fake\r\nFrom: a@example.com\r\n\r\n"
           b"line one\r\n.dotted\r\nlast\r\n")


def main():
    mode = sys.argv[1]
    log_path = None
    if "--log" in sys.argv:
        log_path = sys.argv[sys.argv.index("--log") + 1]
    log_lock = threading.Lock()

    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", 0))
    server.listen(16)
    print(server.getsockname()[1], flush=True)

    def log(line):
        if log_path:
            with log_lock, open(log_path, "ab") as f:
                f.write(line + b"\n")

    def serve(conn):
        with conn:
            try:
                session(conn, mode, log)
            except OSError:
                pass

    while True:
        conn, _ = server.accept()
        threading.Thread(target=serve, args=(conn,), daemon=True).start()


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


def session(conn, mode, log):
    conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    if mode == "no-greeting":
        for _ in read_lines(conn):
            pass
        return
    if mode == "no-timestamp":
        conn.sendall(b"+OK fake server ready\r\n")
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
        if verb == b"CAPA":
            conn.sendall(b"+OK\r\nUSER\r\nTOP\r\n.\r\n")
        elif verb == b"USER":
            if mode == "long-status":
                conn.sendall(b"+OK " + b"x" * (2 * 1024 * 1024) + b"\r\n")
            else:
                conn.sendall(b"+OK\r\n")
        elif verb in (b"PASS", b"APOP"):
            conn.sendall(b"+OK logged in\r\n")
        elif verb == b"STAT":
            conn.sendall(b"+OK 1 %d\r\n" % len(MESSAGE))
        elif verb == b"LIST":
            size = {"huge-size": b"2147483647", "negative-size": b"-5",
                    "overflow-size": b"99999999999999999999"}.get(mode, b"%d" % len(MESSAGE))
            conn.sendall(b"+OK 1 " + size + b"\r\n")
        elif verb == b"TOP":
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
            conn.sendall(b"+OK bye\r\n")
            return
        else:
            conn.sendall(b"-ERR unknown command\r\n")


if __name__ == "__main__":
    main()
