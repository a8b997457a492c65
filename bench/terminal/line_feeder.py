#!/usr/bin/env python3
"""Writes monitor-like output into a pseudo-terminal at a serial line's rate.

    line_feeder.py SLAVE_PATH_FILE GO_FILE [MEGABYTES] [PACKET_MS] [BAUD]

Opens a pseudo-terminal, writes its device path to SLAVE_PATH_FILE, waits until GO_FILE exists
(the program under test has the device open), then writes MEGABYTES (2) of 78-character dump
lines ending in CR LF, paced at BAUD (115200) with 10 bits a byte, as packets every PACKET_MS
(16) milliseconds, and exits a second after the last one. What the reader sends back is
read and dropped.
"""
import os
import select
import sys
import time
import tty


def traffic(size):
    out = bytearray()
    address = 0
    while len(out) < size:
        out += b"%08X 4E 71 4E 75 20 3C 00 00 10 00 61 00 FF FE 4E 75  Nq Nu <....a...Nu\r\n" % address
        address += 16
    return bytes(out[:size])


def main():
    path_file, go_file = sys.argv[1], sys.argv[2]
    megabytes = float(sys.argv[3]) if len(sys.argv) > 3 else 2.0
    packet_ms = float(sys.argv[4]) if len(sys.argv) > 4 else 16.0
    baud = int(sys.argv[5]) if len(sys.argv) > 5 else 115200
    master, slave = os.openpty()
    tty.setraw(slave)
    with open(path_file + ".tmp", "w") as f:
        f.write(os.ttyname(slave) + "\n")
    os.rename(path_file + ".tmp", path_file)
    while not os.path.exists(go_file):
        time.sleep(0.05)
    data = traffic(int(megabytes * 1_000_000))
    bytes_per_second = baud / 10.0
    start = time.monotonic()
    sent = 0
    while sent < len(data):
        due = int((time.monotonic() - start) * bytes_per_second)
        if due > sent:
            n = os.write(master, data[sent:min(due, len(data))])
            sent += n
        ready, _, _ = select.select([master], [], [], packet_ms / 1000.0)
        if ready:
            try:
                os.read(master, 4096)
            except OSError:
                pass
    time.sleep(1.0)  # the reader takes the last packet
    os.close(master)
    os.close(slave)


if __name__ == "__main__":
    main()
