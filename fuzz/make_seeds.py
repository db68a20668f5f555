#!/usr/bin/env python3
# Writes the seed corpus of the fuzz targets into fuzz/corpus/<target>/ (run once; the files
# are kept in the repository). Each seed is a small, genuine example of its input.
import os
import struct

here = os.path.dirname(os.path.abspath(__file__))


def fnv_message(name):
    h = 2166136261
    for b in name.encode():
        h ^= b
        h = (h * 16777619) & 0xFFFFFFFF
    return 0xC000 + h % 0x4000


MSG = fnv_message("FsasmLib:IPC")
MAGIC = 0x43504956
NAME = b"FsasmLib:IPC:F022:1"


def put(target, name, data):
    d = os.path.join(here, "corpus", target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


def read(offset, size, dest=0):
    return struct.pack("<IIII", 1, offset, size, dest) + bytes(size)


def write(offset, data):
    return struct.pack("<III", 2, offset, len(data)) + data


END = struct.pack("<I", 0)

# Settings file: the 41 lines as the program writes them, and damaged variants.
lines = [100, 80, 0, 280, 400] + [1, 0, 128, 255] * 7 + [0, 0, 64, 0, 0]
good = "".join("%d\n" % v for v in lines[:40]) + "=0\n"
put("fuzz_settings", "saved", good.encode())
put("fuzz_settings", "empty", b"")
put("fuzz_settings", "short", b"10\n20\n-30\n")
put("fuzz_settings", "long_line", b"1" * 150 + b"\n" + b"-99999999999999999999\n" * 5)
put("fuzz_settings", "odd_layout", b"0\n0\n-50\n10\n10\n" + b"x\n" * 32 + b"77\n-4\n9\n")
put("fuzz_settings", "crlf", good.replace("\n", "\r\n").encode())

# Simulator blocks.
put("fuzz_sim_block", "version", read(0x3304, 4) + read(0x3308, 4) + write(0x330A, b"\xd2\x07") + END)
put("fuzz_sim_block", "radios", read(0x034E, 2) + read(0x3118, 2) + read(0x0350, 2) +
    read(0x0352, 2) + read(0x311A, 2) + write(0x311A, b"\x50\x21") + END)
msg = b"Valdora V2.08 Connected\0"
put("fuzz_sim_block", "message", write(0x3380, msg) + write(0x32FA, b"\x05\x00") + END)
put("fuzz_sim_block", "past_space", read(0xFFFE, 4) + END)
put("fuzz_sim_block", "no_end", read(0x3304, 4))
put("fuzz_sim_block", "unknown", struct.pack("<III", 7, 0, 0) + END)
put("fuzz_sim_block", "step", b"\x5a" + bytes(3) + END)

# Reply walk: record kinds and sizes, then bytes XORed over the genuine reply.
plan = bytes([2, 0, 4, 0x4E, 1, 2, 0x46, 0, 2, 0x18])
put("fuzz_reply_walk", "genuine", plan)
put("fuzz_reply_walk", "huge_size", plan + bytes(8) + b"\xff\xff\xff\xf0")
put("fuzz_reply_walk", "read_made_write", plan + b"\x03")
put("fuzz_reply_walk", "end_marker_kept", bytes([0, 0, 0, 0]) + bytes(16) + b"\x01")
put("fuzz_reply_walk", "many", bytes([15]) + bytes([0, 255, 1, 1, 17, 2]) * 8 + b"\x01" * 64)

# Server request frames: a valid request for the target's own block, pipelined requests,
# garbage, a huge announced name, half a frame, a wrong message.
def frame(msg=MSG, name=NAME, magic=MAGIC):
    return struct.pack("<IIIIH", magic, msg, 0xC000, 0, len(name)) + name

put("fuzz_server_frames", "request", b"\x00" + frame())
put("fuzz_server_frames", "pipelined", b"\x07" + frame() * 3)
put("fuzz_server_frames", "garbage", b"\x00" + b"GET / HTTP/1.0\r\n\r\n")
put("fuzz_server_frames", "huge_name", b"\x00" + struct.pack("<IIIIH", MAGIC, MSG, 0, 0, 0xFFFF))
put("fuzz_server_frames", "half", b"\x03" + frame()[:25])
put("fuzz_server_frames", "other_message", b"\x00" + frame(msg=MSG + 1))
put("fuzz_server_frames", "foreign_name", b"\x00" + frame(name=b"FsasmLib:IPC:1:1"))
put("fuzz_server_frames", "bad_name", b"\x00" + frame(name=b"../../etc/passwd"))
put("fuzz_server_frames", "zero_in_name", b"\x00" + frame(name=b"FsasmLib:IPC:F0\x0022:1"))

# Client replies: flags, then the server's bytes.
reply = struct.pack("<II", MAGIC, 1)
put("fuzz_client_reply", "good", b"\x00" + reply)
put("fuzz_client_reply", "good_with_atom", b"\x02" + reply)
put("fuzz_client_reply", "refused", b"\x00" + struct.pack("<II", MAGIC, 0))
put("fuzz_client_reply", "short_then_hangup", b"\x01" + reply[:5])
put("fuzz_client_reply", "bad_magic", b"\x00" + struct.pack("<II", 0x12345678, 1))
put("fuzz_client_reply", "extra_bytes", b"\x00" + reply + reply)
put("fuzz_client_reply", "silent", b"\x00")


# Serial board link: whole frames as the board sends them, and damaged streams.
def crc8(data):
    c = 0
    for b in data:
        c ^= b
        for _ in range(8):
            c = ((c << 1) ^ 0x07) & 0xFF if c & 0x80 else (c << 1) & 0xFF
    return c


def frame(kind, payload):
    body = bytes([kind, len(payload)]) + payload
    return b"\xa5" + body + bytes([crc8(body)])


snap = frame(0x82, bytes([7, 1, 4, 0, 16, 10, 20, 30, 40, 50, 60, 70, 255, 0]))
put("fuzz_serial_frames", "snapshots", snap + snap)
put("fuzz_serial_frames", "hello_reply", frame(0x81, b"\x01\x01") + snap)
put("fuzz_serial_frames", "bad_crc", snap[:-1] + bytes([snap[-1] ^ 1]) + snap)
put("fuzz_serial_frames", "noise", b"\x00\xa5\xa5\x40\x13\xa5" + snap[:7] + snap)
