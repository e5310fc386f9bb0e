#!/usr/bin/env python3
"""The headless room's start and memory.

Usage: headless_bench.py path/to/murelo. Prints
  headless_startup_ms: from the start of the process until it listens (median of 5)
  headless_rss_mb: its resident memory with 20 clients and a full log of long lines
  headless_rss_history_off_mb: the same with the history switched off in murelo.conf
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


def start(work, port, history=True):
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    env.update(MURELO_CHAT_PORT=str(port), XDG_DATA_HOME=f"{work}/data", XDG_CONFIG_HOME=f"{work}/config")
    os.makedirs(f"{work}/config/murelo", exist_ok=True)
    with open(f"{work}/config/murelo/murelo.conf", "w") as conf:
        conf.write(f"[history]\nenabled={'true' if history else 'false'}\n")
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

    for history, name in (True, "headless_rss_mb"), (False, "headless_rss_history_off_mb"):
        room, first, _ = start(work, free_port(), history)
        port = first.getpeername()[1]
        clients = [first] + [socket.create_connection(("127.0.0.1", port)) for _ in range(19)]
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
        print(f"{name}: {resident_mb(room.pid):.1f} MB")
        room.terminate()
        room.wait()
