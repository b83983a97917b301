#!/usr/bin/env python3
"""Writes the seed corpus of the fuzzers into fuzz/corpus/<target>/.

Valid answers of each function code, exceptions, truncations, garbage and
answers split or run together. Run it again after changing an input layout;
the files it writes are committed.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def header(length, tid=0, unit=1):
    return struct.pack(">HHHB", tid, 0, length, unit)


def read_answer(fc, values):
    body = bytes([fc, 2 * len(values)]) + b"".join(struct.pack(">H", v) for v in values)
    return header(len(body) + 1) + body


def write_answer(fc, addr, second):
    return header(6) + struct.pack(">BHH", fc, addr, second)


def exception(fc, code):
    return header(3) + bytes([fc | 0x80, code])


ANSWERS = {
    "read_holding_2": (3, 2, read_answer(3, [258, 255])),
    "read_input_3": (4, 3, read_answer(4, [1, 0x8000, 0xffff])),
    "read_none": (3, 0, read_answer(3, [])),
    "read_125": (3, 125, read_answer(3, list(range(125)))),
    "write_single": (6, 1, write_answer(6, 5, 513)),
    "write_multiple": (16, 2, write_answer(16, 0, 2)),
    "exception_2": (3, 2, exception(3, 2)),
    "exception_9": (4, 1, exception(4, 9)),
    "exception_255": (16, 2, exception(16, 255)),
    "truncated": (3, 2, read_answer(3, [1, 2])[:5]),
    "short_read": (3, 2, read_answer(3, [1])),
    "garbage": (3, 2, b"HTTP/1.1 400 Bad Request\r\n\r\n"),
    "oversize": (3, 2, header(255) + bytes([3, 254]) + bytes(253)),
}
FC_SELECTOR = {3: 0, 4: 1, 6: 2, 16: 3}
# Byte 4 of the exchange fuzzer's seeds: a response time-out, and answers
# split around the next send (see fuzz/FuzzExchange.cpp).
TIMING = {
    "ids_late_split": 0x80 | 0x40 | (4 << 3),  # nothing at once, 4 idle
    "ids_stall": 0x40 | 5,  # 5 bytes at once, the rest after the next send
}
OPERATION = {3: 0, 4: 1, 6: 2, 16: 3}


def write(target, name, data):
    if target == "fuzz_exchange":
        data = data[:4] + bytes([TIMING.pop(name, 0)]) + data[4:]
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as out:
        out.write(data)


def main():
    for name, (fc, count, frame) in ANSWERS.items():
        received = min(len(frame), 261)
        write("fuzz_response", name,
              bytes([FC_SELECTOR[fc]]) + struct.pack(">HH", count, received + 1) + frame)
        flags = OPERATION[fc]
        write("fuzz_exchange", name, bytes([flags]) + struct.pack(">H", count) + b"\x00" + frame)
    # The point codes, judged strictly (byte 0 from 0xe0 to 0xef: the code
    # is byte 0 modulo 6, as fuzz/FuzzResponse.cpp builds its request).
    point_answers = {
        "coils_10": (0xe4, 9, header(5) + bytes([1, 2, 0xcd, 0x01])),
        "force_coil_172_off": (0xe0, 172, header(6) + struct.pack(">BHH", 5, 172, 0)),
        "mask_write_4": (0xe2, 4, header(8) + struct.pack(">BHHH", 22, 4, 0xf0f0, 4)),
        "read_write_3": (0xe3, 2, header(9) + bytes([23, 6]) + bytes(6)),
    }
    for name, (selector, count, frame) in point_answers.items():
        write("fuzz_response", name,
              bytes([selector]) + struct.pack(">HH", count, len(frame) + 1) + frame)
    write("fuzz_response", "closed", bytes([0]) + struct.pack(">HH", 2, 1))
    write("fuzz_response", "failed", bytes([0]) + struct.pack(">HH", 2, 0))

    frame = read_answer(3, [258, 255])
    # One byte per receive.
    write("fuzz_exchange", "one_byte_at_a_time",
          bytes([0]) + struct.pack(">H", 2) + bytes([len(frame)]) + bytes([1] * len(frame)) + frame)
    # Split inside the header, then the rest.
    write("fuzz_exchange", "split_in_header",
          bytes([0]) + struct.pack(">H", 2) + bytes([2, 3, 10]) + frame)
    # Two operations, each with its own answer (the first preceded by its
    # size).
    second = read_answer(4, [7, 8])
    write("fuzz_exchange", "two_operations",
          bytes([0x20]) + struct.pack(">H", 2) + b"\x00" +
          struct.pack(">H", len(frame)) + frame + second)
    # Every answer served twice, the copy in the same receive or the next.
    write("fuzz_exchange", "served_twice",
          bytes([0xa0]) + struct.pack(">H", 2) + bytes([1, 13]) +
          struct.pack(">H", len(frame)) + frame + second)
    # An answer with another frame behind it.
    write("fuzz_exchange", "extra_frame",
          bytes([0x20]) + struct.pack(">H", 2) + bytes([1, 13]) +
          struct.pack(">H", len(frame) + 12) + frame + write_answer(6, 1, 2) + second)
    # Reset after half an answer.
    write("fuzz_exchange", "reset_mid_frame",
          bytes([0x04]) + struct.pack(">H", 2) + b"\x00" + frame[:6])
    # A send that goes out only in part, then a good exchange.
    write("fuzz_exchange", "short_send",
          bytes([0x28]) + struct.pack(">H", 2) + b"\x00" +
          struct.pack(">H", len(frame)) + frame + frame)

    # Transaction identifiers on (byte 3, bit 4): two reads, each answer
    # with copies of the previous one before and after it and a frame with
    # an identifier no request had (bits 5 to 7).
    for name, options in (("ids", 0x10), ("ids_copies", 0x70), ("ids_foreign", 0x90)):
        write("fuzz_exchange", name,
              bytes([0x20]) + struct.pack(">H", 2) + bytes([options]) +
              struct.pack(">H", len(frame)) + frame + read_answer(3, [7, 8]))

    # Identifiers on, answers split around the next send: the first
    # request gets nothing in time and its answer comes in two parts, one
    # while idle and one after the next request; or it stalls after 5 bytes.
    for name in ("ids_late_split", "ids_stall"):
        write("fuzz_exchange", name,
              bytes([0x20]) + struct.pack(">H", 2) + bytes([0x10]) +
              struct.pack(">H", len(frame)) + frame + read_answer(3, [7, 8]))

    # Identifiers on, with copies around each answer: the second answer
    # says 13 bytes but brings 9, and would take the start of the copy
    # behind it.
    write("fuzz_exchange", "ids_short_answer",
          bytes([0x20]) + struct.pack(">H", 2) + bytes([0x70]) +
          struct.pack(">H", len(frame)) + frame + header(7) + bytes([4, 4]))

    # A read of 10 coils (operation 4: bit 0 of byte 2 set, bits 0-1 of
    # byte 0 clear).
    write("fuzz_exchange", "read_coils",
          bytes([0]) + struct.pack(">H", 9) + b"\x00" + header(5) + bytes([1, 2, 0xcd, 1]))

    # Batches: four reads of 2 registers answered in another order, with a
    # copy and a foreign frame among them; and the same cut one byte a
    # receive, with a response time-out.
    def batch_answer(read, values):
        answer = read_answer(3, values)
        return bytes([read, len(answer)]) + answer
    batch = (batch_answer(2, [5, 6]) + batch_answer(0, [1, 2]) + batch_answer(0, [1, 2]) +
             bytes([0xff, 13]) + b"\x7f\x7f" + read_answer(3, [9, 9])[2:] +
             batch_answer(3, [7, 8]) + batch_answer(1, [3, 4]))
    write("fuzz_batch", "reordered", bytes([3, 2, 0]) + batch)
    write("fuzz_batch", "one_byte_at_a_time", bytes([0x0b, 2, 15]) + bytes([1] * 15) + batch)
    write("fuzz_batch", "coils", bytes([0x21, 9, 0]) + bytes([0, 11]) +
          header(5) + bytes([1, 2, 0xcd, 1]) + batch_answer(1, [3]))

    write("fuzz_hexdump", "bytes_frame", b"\x00" + frame)
    write("fuzz_hexdump", "bytes_long", b"\x00" + bytes(range(256)))
    write("fuzz_hexdump", "registers_wide", b"\x01" + b"".join(
        struct.pack(">H", v) for v in (0, 0xff, 0x100, 0xfff, 0x1000, 0xffff) * 8))
    write("fuzz_hexdump", "empty", b"\x00")


if __name__ == "__main__":
    main()
