#!/usr/bin/env python3
# Writes the far end's speech for call tests as a pcap of RTP packets (PCMU, 20 ms each), which sipp plays:
#   make_far_pcap.py OUT.pcap SEGMENT...   each SEGMENT is silence:MS, tone:MS (1 kHz at -10 dBFS) or dtmf:KEYS
#                                          (each key's tone pair for 100 ms, then 100 ms of silence)
import math, struct, sys

def ulaw(sample):  # linear -1..1 -> G.711 mu-law
    s = max(-32635, min(32635, int(sample * 32767)))
    sign = 0x80 if s < 0 else 0
    s = abs(s) + 0x84
    exponent = 7
    while exponent > 0 and not s & (0x4000 >> (7 - exponent)):
        exponent -= 1
    mantissa = (s >> (exponent + 3)) & 0x0F
    return ~(sign | (exponent << 4) | mantissa) & 0xFF

KEYS = "123A456B789C*0#D"

samples = []
for segment in sys.argv[2:]:
    kind, arg = segment.split(":")
    if kind == "dtmf":
        for key in arg:
            low, high = (697, 770, 852, 941)[KEYS.index(key) // 4], (1209, 1336, 1477, 1633)[KEYS.index(key) % 4]
            samples += [0.25 * (math.sin(2 * math.pi * low * i / 8000) + math.sin(2 * math.pi * high * i / 8000))
                        for i in range(800)] + [0.0] * 800
        continue
    n = int(arg) * 8
    for i in range(n):
        samples.append(0.3 * math.sin(2 * math.pi * 1000 * (len(samples)) / 8000) if kind == "tone" else 0.0)

out = open(sys.argv[1], "wb")
out.write(struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, 1))
for k in range(len(samples) // 160):
    payload = bytes(ulaw(x) for x in samples[k * 160:(k + 1) * 160])
    rtp = struct.pack("!BBHII", 0x80, 0, k, k * 160, 0x1234) + payload
    udp = struct.pack("!HHHH", 6000, 6002, 8 + len(rtp), 0) + rtp
    ip = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + len(udp), k, 0, 64, 17, 0, bytes([127, 0, 0, 1]),
                     bytes([127, 0, 0, 1])) + udp
    frame = b"\0" * 12 + b"\x08\x00" + ip
    t = k * 20000
    out.write(struct.pack("<IIII", t // 1000000, t % 1000000, len(frame), len(frame)) + frame)
