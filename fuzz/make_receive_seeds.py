#!/usr/bin/env python3
"""Writes the seed corpus of fuzz_receive (fuzz/corpus/receive/): the program's calls with the
answers a sensor gives, whole, in pieces, short, long, wrong and missing. The record format is
described at the top of fuzz_receive.cpp. Run from anywhere; it rewrites the folder's seeds."""
import os
import struct

SYNC = 0x00AA
ECHO, READ_RAM, READ_EEPROM, FIRMWARE, MEASURE, BLOCK, HARDWARE = 5, 2, 4, 7, 8, 9, 10
CHECK, GET_HW, GET_FW, READ64, PUSH_GET, RUN = 2, 3, 4, 5, 6, 7


def frame(order, words=(), sync=SYNC):
    words = list(words) + [0] * (16 - len(words))
    return struct.pack(">18H", sync, order, *words)


def hardware(type_, max_pixel, resolution, board, max_x8, subpixel, pix_b, pix_e, firmware):
    return frame(HARDWARE, [type_, max_pixel, resolution, board, max_x8, subpixel, pix_b, pix_e, firmware])


def answer(data, piece=0):
    """One answer, in pieces of `piece` bytes (a multiple of 4 up to 124; 0: whole)."""
    out = bytearray()
    first = True
    while first or data:
        out += bytes([(piece // 4) * 8 + (0 if first else 1), len(data[:255])]) + data[:255]
        data, first = data[255:], False
    return bytes(out)


def call(kind, arg=0):
    return bytes([arg * 8 + kind, 0])


def block(first):
    return b"".join(struct.pack(">H", (first + i) * 3 % 1024) for i in range(64))


def result(ledge, redge):
    return frame(MEASURE, [ledge, redge, (ledge + redge) // 2, 1234, 0, 500, 20, 2])


plain_fw = b"HFW 3.10 line sensor".ljust(72, b"\0")
word_fw = b"".join(b"\0" + c.encode() for c in "WFW 2.20").ljust(72, b"\0")
params = frame(READ_RAM, [500] * 16)

SEEDS = {
    "identify": answer(frame(ECHO, [500])) + call(CHECK)
    + answer(hardware(1, 1024, 0, 100, 8192, 1024, 1, 1024, 310)) + call(GET_HW)
    + answer(params) + call(PUSH_GET, 0) + answer(plain_fw) + call(GET_FW),
    "identify-word-coded": answer(hardware(102, 768, 0, 0, 6144, 2048, 1, 768, 220)) + call(GET_HW)
    + answer(word_fw, 8) + call(GET_FW) + answer(frame(READ_EEPROM, [7] * 16), 12) + call(PUSH_GET, 1),
    "identify-types": b"".join(answer(hardware(t, px, res, 0, px * 8, sub, 1, px, fw)) + call(GET_HW)
                               for t, px, res, sub, fw in [(2, 1024, 350, 2360, 220), (2, 1024, 750, 1180, 300),
                                                           (3, 512, 0, 512, 300), (4, 512, 0, 768, 300),
                                                           (101, 256, 0, 8192, 300), (103, 1536, 0, 1536, 220),
                                                           (7, 999, 0, 777, 1)]),
    "cycle": b"".join(answer(result(100 + i, 900 - i)) for i in range(5))
    + answer(frame(ECHO)) + answer(result(300, 700)) + call(RUN),
    "cycle-split": answer(result(100, 900), 4) + answer(result(120, 880), 12)
    + answer(result(140, 860) + b"\x00\xaa\x00\x08", 24) + answer(result(160, 840)[:20]) + call(RUN),
    "video": answer(frame(MEASURE, [1, 2])) + call(RUN)
    + b"".join(answer(block(first), 32 if first else 0) + call(READ64, first // 16 + 1)
               for first in (0, 64, 128, 192)),
    "blocks-odd": answer(block(0)[:100]) + call(READ64, 1) + answer(block(0) * 9) + call(READ64, 1)
    + answer(block(64)) + call(READ64, 31) + answer(block(0)) + call(READ64, 0) + call(READ64, 5),
    "firmware-odd": answer(plain_fw[:50]) + call(GET_FW) + answer(plain_fw + plain_fw, 16) + call(GET_FW)
    + answer(b"X" * 72) + call(GET_FW),
    "wrong-sync-extra": answer(frame(ECHO, sync=0x1234)) + call(CHECK)
    + answer(frame(ECHO)[:30]) + call(CHECK) + answer(frame(MEASURE, [5]) + b"\xff" * 10) + call(GET_HW)
    + answer(frame(READ_RAM, [65535] * 16)[:35]) + call(PUSH_GET, 0),
    "silent": call(CHECK) + call(GET_HW) + call(GET_FW) + call(READ64, 1) + call(PUSH_GET, 0) + call(RUN),
}

folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "receive")
for name in os.listdir(folder):
    os.remove(os.path.join(folder, name))
for name, data in SEEDS.items():
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)
