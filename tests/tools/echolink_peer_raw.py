#!/usr/bin/env python3
"""A hostile EchoLink station for the tests: raw datagrams from its own address at a node's ports.

  echolink_peer_raw.py FROM NODE PORT_BASE WHAT [ARGS]
    killer                    the 16-byte RTCP datagram (RR, then an SDES without chunks and a length far past the
                              datagram) three times at the control port, and a text packet with a NUL before its text
    connect CALL              an SDES packet as a station calling (the control port)
    bye                       a goodbye
    info TEXT                 a station info packet (Python escapes in TEXT are resolved: \\x1b, \\r ...)
    talk MS                   GSM audio packets in real time for MS milliseconds
    flood COUNT SECONDS       COUNT GSM audio packets spread over SECONDS (faster than real time)
    flap CALL SECONDS PERIOD  connect and leave every PERIOD seconds for SECONDS
    callers COUNT PERIOD      COUNT stations N0ULn calling from FROM's next addresses (its last number counting up),
                              one every PERIOD seconds
"""
import socket
import struct
import sys
import time


def rr():
    return bytes([0xC0, 201, 0, 1, 0, 0, 0, 0])


def packet(kind, body):
    body = b"\0\0\0\0" + body
    while len(body) % 4:
        body += b"\0"
    return bytes([0xC1, kind]) + struct.pack(">H", len(body) // 4) + body


def sdes(call, name):
    items = b""
    for kind, text in ((1, b"CALLSIGN"), (2, call.ljust(15).encode() + name.encode()), (3, b"CALLSIGN"),
                       (4, b"08:30")):
        items += bytes([kind, len(text)]) + text
    return rr() + packet(202, items + b"\0\0")


def bye():
    return rr() + packet(203, b"\x07jan2002")


def gsm(sequence):
    frame = bytes([0xD0]) + bytes(32)
    return bytes([0xC0, 3]) + struct.pack(">HII", sequence & 0xFFFF, 0, 0) + frame * 4


def main():
    source, node, base, what = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
    args = sys.argv[5:]
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind((source, 0))
    control, audio = (node, base + 1), (node, base)
    if what == "killer":
        for _ in range(3):
            s.sendto(rr() + bytes([0xC0, 202, 0xFF, 0xFF, 0, 0, 0, 0]), control)
        s.sendto(b"\0NDATA\rinfo\0", audio)
    elif what == "connect":
        s.sendto(sdes(args[0], "Hostile"), control)
    elif what == "bye":
        s.sendto(bye(), control)
    elif what == "info":
        text = args[0].encode().decode("unicode_escape").encode("latin-1")
        s.sendto(b"oNDATA\r" + text + b"\0", audio)
    elif what == "talk":
        start = time.monotonic()
        for n in range(int(args[0]) // 80):
            s.sendto(gsm(n), audio)
            time.sleep(max(0.0, start + (n + 1) * 0.08 - time.monotonic()))
    elif what == "flood":
        count, seconds = int(args[0]), float(args[1])
        start = time.monotonic()
        for n in range(count):
            s.sendto(gsm(n), audio)
            if n % 50 == 49:
                time.sleep(max(0.0, start + (n + 1) * seconds / count - time.monotonic()))
    elif what == "flap":
        call, seconds, period = args[0], float(args[1]), float(args[2])
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            s.sendto(sdes(call, "Hostile"), control)
            time.sleep(period / 2)
            s.sendto(bye(), control)
            time.sleep(period / 2)
    elif what == "callers":
        first = source.rsplit(".", 1)
        for i in range(int(args[0])):
            number = int(first[1]) + i
            caller = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            caller.bind((first[0] + "." + str(number), 0))
            caller.sendto(sdes("N0UL%d" % number, "Hostile"), control)
            caller.close()
            time.sleep(float(args[1]))
    else:
        sys.exit("unknown: " + what)


main()
