#!/usr/bin/python3
"""Writes the seed inputs of the fuzz targets into corpus/<target>/.

Each target reads its input in its own layout (see the target's source):
a few bytes of choices, pieces of one length byte followed by that many
bytes, then the rest. Run again after changing a layout; the files are
committed. Inputs kept from fuzzing runs sit beside them under names of their
own (corpus/pop3_client/apop_reply_ahead_of_stat: a command held back by the
client's TCP stack, once taken by the test server for a client waiting).
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))


def piece(data):
    assert len(data) < 256
    return bytes([len(data)]) + data


def sjis(text):
    return text.encode("cp932")


def utf16_body(text):
    return text.encode("utf-16-le")


MESSAGE = (b"Received: from x\r\nSubject: =?ISO-2022-JP?B?GyRCJTUbKEI=?=\r\n"
           b"\tfolded\r\nFrom: a@example.com\r\nDate: Mon, 1 Jan 2024 00:00:00 +0900\r\n"
           b"\r\nbody\r\n.dotted\r\n")

def steps(*replies):
    """A POP3 session for the client target: flags, buffer sizes, then each
    reply as (cut sizes, bytes)."""
    out = b""
    for cuts, data in replies:
        out += piece(bytes(cuts)) + piece(data)
    return out


HEADER = b"Subject: hi\r\nFrom: a@example.com\r\n\r\n"
SESSION = [
    ([1, 3], b"+OK ready <1.2@example>\r\n"),
    ([2], b"+OK\r\nUSER\r\nTOP\r\n.\r\n"),
    ([], b"+OK\r\n"),
    ([5], b"+OK logged in\r\n"),
    ([4, 1], b"+OK 1 40\r\n"),
    ([1, 1, 1, 1, 1, 1, 1], b"+OK\r\n" + HEADER + b".\r\n"),
    ([], b"+OK 1 40\r\n"),
    ([6, 2, 1], b"+OK\r\n" + HEADER + b"body\r\n..dot\r\n.\r\n"),
    ([], b"+OK bye\r\n"),
]

SEEDS = {
    "header_parser": {
        "plain": bytes([16, 40, 40, 200]) + piece(b"\x03\x01\x07") + MESSAGE,
        "bare_lf": bytes([63, 63, 63, 255]) + piece(b"") + MESSAGE.replace(b"\r\n", b"\n"),
        "no_end": bytes([1, 0, 5, 9]) + piece(b"\x02") + b"Subject: cut\r\nFrom: x",
        "long_line": bytes([8, 8, 8, 8]) + piece(b"\x05\x05") + b"Subject: " + b"\x95\x5c" * 40
        + b"\r\n\r\n",
    },
    "pop3_host": {
        "name": b"mail.example.net",
        "port": b"mail.example.net:1110",
        "v6": b"[2001:db8::1]:110",
        "zone": b"[fe80::1%eth0]",
        "bare_v6": b"::1",
        "pop3s": b"pop3s://mail.example.net:995/",
        "pop3": b" POP3://mail.example.net ",
        "sjis": sjis("メール.example.jp"),
        "bad_port": b"host:99999",
    },
    "cp932": {
        "mixed": bytes([20]) + sjis("ID:表ソ能 ①～髙 ﾊﾝｶｸ a\\b|c"),
        "odd_bytes": bytes([3]) + b"\x80\xa0\xfd\xfe\xff",
        "lone_leads": bytes([4]) + b"\x81\x31z\x85\x40x\xeb\x40y\x81",
        "nec_ibm": bytes([255]) + b"\xed\x40\xee\xef\xfa\x54\x87\x90",
    },
    "profile_file": {
        "crlf": bytes([0]) + piece(b"EXEINI") + piece(b"NAME2") + piece(b"pilot")
        + piece(b"EXEINI") + piece(b"NAME") + b"[EXEINI]\r\nNAME=user\r\nNAME3=x\r\n",
        "lone_cr_end": bytes([0]) + piece(b"EXEINI") + piece(b"NAME2") + piece(b"a")
        + piece(b"exeini") + piece(b"name") + b"[EXEINI]\r\nNAME=pilot\r",
        "lf_mixed": bytes([0]) + piece(b"S") + piece(b"k") + piece(sjis("表ゾ"))
        + piece(b"T") + piece(b"k") + b"x=1\n[S]\nk=old\r[T]\r\nk= 'q' \x1a\n",
        "missing_section": bytes([0]) + piece(b"NEW") + piece(b"NUMBER") + piece(b"0x10")
        + piece(b"EXEINI") + piece(b"NUMBER") + b"[EXEINI]\r\nNUMBER=5",
        "utf16": bytes([1]) + piece(b"EXEINI") + piece(b"NAME") + piece(sjis("パイロット"))
        + piece(b"EXEINI") + piece(b"NAME2") + utf16_body("[EXEINI]\r\nNAME=a\r\nNAME2=b\r\n"),
        "sjis_names": bytes([0]) + piece(sjis("表")) + piece(sjis("ソ")) + piece(b"v")
        + piece(sjis("表")) + piece(b"x") + sjis("[表]\r\nソ=1\r\nx=2\r\n"),
    },
    "pop3_client": {
        "session": bytes([0, 20, 40]) + steps(*SESSION),
        "plain_apop": bytes([3, 31, 200]) + steps(SESSION[0], *SESSION[3:]),
        "stls": bytes([0, 1, 1]) + steps(SESSION[0], ([], b"+OK\r\nSTLS\r\n.\r\n"),
                                          ([], b"+OK go\r\n\x16\x03\x01")),
        # Said ahead, without pipelining: one LIST (giving message 1 only),
        # then RETR 1, LIST 2 and RETR 2.
        "one_round_trip": bytes([4, 20, 60]) + steps(
            *SESSION[:4], ([], b"+OK 2 80\r\n"), ([2], b"+OK\r\n1 40\r\n.\r\n"),
            ([7, 1], b"+OK\r\n" + HEADER + b"body\r\n.\r\n"), ([], b"+OK 2 40\r\n"),
            ([], b"+OK\r\n" + HEADER + b"..dot\r\n.\r\n"), SESSION[-1]),
        "huge_count": bytes([2, 9, 9]) + steps(SESSION[0], SESSION[2], SESSION[3],
                                               ([], b"+OK 2147483647 0\r\n"),
                                               ([], b"-ERR no\r\n"),
                                               ([], b"+OK 1 -5\r\n"),
                                               ([3], b"+OK\r\nx\r\n")),
    },
    "server_settings": {
        "four": b"SMTP=smtp.example\r\nPOP3=pop.example:110\r\nMAIL=a@example\r\nAPOP=1\r\n",
        "odd": b"POP3=" + b"\x95\x5c" * 120 + b"\rAPOP= -2.5\nSMTP=\x81\x31\nMAIL=x\x81",
        "repeated": b"POP3=a\nPOP3=b\r\nAPOP=99999999\r\nAPOP=0.5\r\npop3=lower",
    },
}


def main():
    for target, seeds in SEEDS.items():
        folder = os.path.join(HERE, "corpus", target)
        os.makedirs(folder, exist_ok=True)
        for name, data in seeds.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
