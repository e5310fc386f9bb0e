#!/usr/bin/env python3
"""Three rooms of 20 raw clients each, bridged into one channel through two linked ngIRCd
servers with the settings the README recommends for trusted bridges, and an IRC client
watching. 3,000 chat lines from random clients, 100 a second in all.

Usage: bridge_bench.py path/to/murelo. Prints
  bridge_delivered_ratio: lines received exactly once and in their sender's order, by
      all 60 clients and the watcher, over all that should have been
  bridge_p95_ms: from sending to arrival, over arrivals in the other rooms and the watcher
  bridge_rss_mb: the largest peak resident memory of the three rooms
"""
import os, random, re, selectors, socket, subprocess, sys, tempfile, time

BIN = os.path.realpath(sys.argv[1])
LINES, RATE, PER_ROOM = 3000, 100.0, 20
W = tempfile.mkdtemp()
procs = []


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_listening(port, proc):
    while socket.socket().connect_ex(("127.0.0.1", port)) != 0:
        assert proc.poll() is None, "a server or room ended at start"
        time.sleep(0.05)


def ngircd(name, port, other, active):
    conf = f"{W}/{name}.conf"
    with open(conf, "w") as f:
        f.write(f"[Global]\nName = {name}.bench\nInfo = bench\nListen = 127.0.0.1\nPorts = {port}\n"
                "[Limits]\nMaxConnectionsIP = 0\nMaxPenaltyTime = 0\n[Options]\nPAM = no\nIdent = no\nDNS = no\n"
                f"[Server]\nName = {other[0]}.bench\nHost = 127.0.0.1\n{f'Port = {other[1]}' if active else ''}\n"
                "MyPassword = link\nPeerPassword = link\n")
    procs.append(subprocess.Popen(["ngircd", "-n", "-f", conf], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    wait_listening(port, procs[-1])


def room(name, irc_port, nick):
    port = free_port()
    env = dict(os.environ, MURELO_CHAT_PORT=str(port), XDG_DATA_HOME=W, XDG_CONFIG_HOME=W)
    os.makedirs(f"{W}/{name}")
    procs.append(subprocess.Popen([BIN, "--headless", "--name", name, "--color", "navy", "--dir", f"{W}/{name}",
                                   "--bridge", f"irc://127.0.0.1:{irc_port}/#bench", "--bridge-nick", nick],
                                  env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    wait_listening(port, procs[-1])
    return procs[-1], port


def main():
    os.makedirs(f"{W}/murelo")
    with open(f"{W}/murelo/murelo.conf", "w") as f:
        f.write("[bridge]\nlines_per_second=50\n")
    a, b = free_port(), free_port()
    ngircd("b", b, ("a", a), False)
    ngircd("a", a, ("b", b), True)
    watcher = socket.create_connection(("127.0.0.1", b))
    watcher.sendall(b"NICK watcher\r\nUSER w 0 * :w\r\nJOIN #bench\r\n")
    rooms = [room("r0", a, "bridge0"), room("r1", b, "bridge1"), room("r2", a, "bridge2")]
    joined = b""
    while not all(f":bridge{i}!".encode() in joined for i in range(3)):
        joined += watcher.recv(65536)
    clients = [socket.create_connection(("127.0.0.1", port)) for _, port in rooms for _ in range(PER_ROOM)]
    time.sleep(1)  # the snapshots of joining

    selector = selectors.DefaultSelector()
    buffers = {}
    for index, sock in enumerate(clients + [watcher]):
        sock.setblocking(False)
        selector.register(sock, selectors.EVENT_READ, index)
        buffers[index] = b""
    seen = [[] for _ in range(len(clients) + 1)]  # per receiver: (sender, seq, time)
    line_re = re.compile(rb"<b>c(\d+)(?:\xef\xbc\xa0\w+)?</b></font>\xef\xbc\x9as(\d+)-(\d+)|<c(\d+)> s(\d+)-(\d+)")

    def drain(timeout):
        for key, _ in selector.select(timeout):
            index, now = key.data, time.monotonic()
            chunk = key.fileobj.recv(1 << 20)
            if index == len(clients):
                buffers[index] += chunk
                *lines, buffers[index] = buffers[index].split(b"\r\n")
                if any(l.startswith(b"PING") for l in lines):
                    watcher.sendall(b"PONG :x\r\n")
            else:
                buffers[index] += chunk
                *messages, buffers[index] = buffers[index].split(b"\0")
                lines = [bytes((x - 1) & 255 for x in m).decode("cp932", "replace").encode() for m in messages]
            for line in lines:
                if match := line_re.search(line):
                    groups = [g for g in match.groups() if g is not None]
                    seen[index].append((int(groups[1]), int(groups[2]), now))

    random.seed(7)
    sent, began = [], time.monotonic()
    for seq in range(LINES):
        sender = random.randrange(len(clients))
        while (now := time.monotonic()) < began + seq / RATE:
            drain(began + seq / RATE - now)
        text = f"<font color=blue><b>c{sender}</b></font>：s{sender}-{seq}\n10.0.0.1\n"
        clients[sender].sendall(bytes((x + 1) & 255 for x in text.encode("cp932")) + b"\0")
        sent.append((sender, time.monotonic()))
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline and sum(map(len, seen)) < LINES * (len(clients) + 1):
        drain(0.2)
    drain(1)

    good, delays = 0, []
    for receiver, arrivals in enumerate(seen):
        home = receiver // PER_ROOM if receiver < len(clients) else -1
        counts, last, in_order = {}, {}, set()
        for sender, seq, when in arrivals:
            counts[seq] = counts.get(seq, 0) + 1
            if last.get(sender, -1) < seq:
                in_order.add(seq)
                last[sender] = seq
            if sender // PER_ROOM != home:
                delays.append(when - sent[seq][1])
        good += sum(1 for seq, count in counts.items() if count == 1 and seq in in_order)
    expected = LINES * (len(clients) + 1)
    delays.sort()
    rss = max(int(re.search(r"VmHWM:\s+(\d+)", open(f"/proc/{p.pid}/status").read()).group(1)) for p, _ in rooms)
    print(f"bridge_delivered_ratio: {good / expected:.4f} ratio")
    print(f"bridge_p95_ms: {delays[int(len(delays) * 0.95)] * 1000:.1f} ms")
    print(f"bridge_rss_mb: {rss / 1024:.1f} MB")


try:
    main()
finally:
    for proc in procs:
        proc.kill()
