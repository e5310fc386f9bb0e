#!/usr/bin/env python3
"""The headless room's start and memory.

Usage: headless_bench.py path/to/murelo. Prints
  headless_startup_ms: from the start of the process until it listens (median of 5)
  headless_rss_mb: its resident memory with 20 clients and a full log of long lines
"""
import os
import socket
import statistics
import subprocess
import sys
import tempfile
import time

BIN = os.path.realpath(sys.argv[1])


def encode(text):
    return bytes((b + 1) & 255 for b in text.encode("cp932")) + b"\0"


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def start(work, port):
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    env["MURELO_CHAT_PORT"] = str(port)
    began = time.perf_counter()
    room = subprocess.Popen([BIN, "--headless", "--name", "room", "--dir", work], env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    while True:
        try:
            return room, socket.create_connection(("127.0.0.1", port)), time.perf_counter() - began
        except OSError:
            time.sleep(0.0005)


def resident_mb(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024


with tempfile.TemporaryDirectory() as work:
    startups = []
    for _ in range(5):
        room, first, took = start(work, free_port())
        startups.append(took * 1000)
        first.close()
        room.terminate()
        room.wait()
    print(f"headless_startup_ms: {statistics.median(startups):.1f} ms")

    room, first, _ = start(work, free_port())
    port = first.getpeername()[1]
    clients = [first] + [socket.create_connection(("127.0.0.1", port))
                         for _ in range(19)]
    for n, client in enumerate(clients):
        client.sendall(encode(f"\nadd\nblue\nmember{n}\n"))
    line = "<font color=blue><b>member</b></font>：" + "長い行" * 300
    for n in range(400):
        clients[n % 20].sendall(encode(f"{line[:990]}{n}\n10.0.0.{n % 20}\n"))
        for client in clients:  # keep every client reading, as a real one does
            client.setblocking(False)
            try:
                while client.recv(1 << 20):
                    pass
            except BlockingIOError:
                pass
    time.sleep(0.5)
    print(f"headless_rss_mb: {resident_mb(room.pid):.1f} MB")
    room.terminate()
    room.wait()
