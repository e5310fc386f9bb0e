#!/usr/bin/env python3
# The headless room against raw TCP peers on loopback, and the command line's answers.
# Usage: headless_host.py path/to/murelo. Runs with no display at all. Exits 1 on the
# first failure, saying what was expected.
import contextlib, os, re, resource, signal, socket, stat, subprocess, sys, tempfile, time

BIN = os.path.realpath(sys.argv[1])  # also when imported by another end-to-end test
ENV = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
DATA = tempfile.TemporaryDirectory()  # the history, never the user's
ENV["XDG_DATA_HOME"] = DATA.name


def check(condition, what):
    condition or sys.exit(f"{os.path.basename(sys.argv[0])}: FAILED: {what}")


def encode(text):
    return bytes((b + 1) & 255 for b in text.encode("cp932")) + b"\0"


class Peer:
    def __init__(self, port):
        self.sock, self.data = socket.create_connection(("127.0.0.1", port), timeout=5), b""

    # Reads until condition holds on the decoded messages, or the end, or the time is up.
    def messages_until(self, condition, seconds=5):
        deadline = time.monotonic() + seconds
        while not condition(self.messages()) and time.monotonic() < deadline and (chunk := self.sock.recv(65536)):
            self.data += chunk
        return self.messages()

    def messages(self):
        return [bytes((b - 1) & 255 for b in m).decode("cp932") for m in self.data.split(b"\0")[:-1]]


def run(*arguments, env=ENV):
    return subprocess.run([BIN, *arguments], env=env, capture_output=True, text=True, timeout=20)


def command_line():
    help_ = run("--help")
    check(help_.returncode == 0 and all(o in help_.stdout for o in ("--host", "--join", "--headless")),
          "--help lists the options and exits 0")
    check(re.fullmatch(r"murelo \d+\.\d+\.\d+\n", run("--version").stdout), "--version prints it")
    for arguments in (["--bogus"], ["--join"], ["--host", "--join", "x"], ["--headless", "--join", "x"],
                      ["--name", ""], ["--color", "a\nb"], ["--join", " x"], ["extra"], ["--name", "--headless"],
                      ["--host=1"], ["--dir", "/nonexistent/murelo"], ["--search"], ["--room", "x"],
                      ["--search", "x", "--limit", "0"], ["--search", "x", "--since", "yesterday"],
                      ["--search", "x", "--host"], ["--bridge", "irc://h/#c"], ["--bridge-nick", "n"],
                      *(["--headless", "--bridge", url] for url in ("http://h/#c", "irc:///#c", "irc://h/", "irc://u:p@h/#c", "irc://h:0/#c", "irc://h/a#b")),
                      ["--headless", "--bridge", "irc://h/#c", "--bridge-nick", "9"],
                      ["--headless", "--bridge", "irc://h/#c", "--bridge-ca", "/etc/hostname"]):
        answer = run(*arguments)
        check(answer.returncode == 2 and "murelo" in answer.stderr and not answer.stdout,
              f"{arguments} is refused with status 2: {answer.returncode} {answer.stderr!r}")
    with tempfile.TemporaryDirectory() as empty:  # no data.dat, so no name
        check(run("--headless", "--dir", empty).returncode == 2, "a room with no name is refused")


def free_port():
    with socket.socket() as probe:
        return probe.bind(("127.0.0.1", 0)) or probe.getsockname()[1]


# The room for the length of a with block, and a first peer in it; killed after the block
# whether it ends or fails, so that no room outlives the test.
@contextlib.contextmanager
def room_running(work, port, **kwargs):
    host = subprocess.Popen([BIN, "--headless", "--name", "部屋", "--color", "navy", "--dir", work], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, env=dict(ENV, MURELO_CHAT_PORT=str(port)), **kwargs)
    try:
        peer, deadline = None, time.monotonic() + 10
        while peer is None:
            check(time.monotonic() < deadline and host.poll() is None, "the room listens")
            with contextlib.suppress(OSError):
                peer = Peer(port)
            time.sleep(0.02)
        yield host, peer
    finally:
        host.kill()


def relays_within(port, seconds, a=None, b=None):
    a, b = a or Peer(port), b or Peer(port)
    line = f"<b>ping</b>{time.monotonic()}\n127.0.0.1\n"
    a.sock.sendall(encode(line))
    return line in b.messages_until(lambda m: line in m, seconds)


# Nothing outside the room stops it: output nobody reads, files that are not files,
# too few descriptors.
def hostile_surroundings(work):
    port = free_port()
    os.mkfifo(f"{work}/data.htm")
    os.symlink("victim", f"{work}/data.dat")
    open(f"{work}/victim", "w").write("keep")
    with room_running(work, port) as (host, peer):  # standard output and error are never read
        flood = b"".join(encode(f"{'x' * 200}{i}\n127.0.0.1\n") for i in range(2000))
        peer.sock.sendall(flood + encode("\n".join("x" * 12)))
        peer.messages_until(lambda m: m[-1:] and m[-1].startswith("x\nx"), 60)  # relayed, none read
        check(relays_within(port, 1), "the room relays while nobody reads its output")
        os.set_blocking(host.stdout.fileno(), False)
        said, talker, deadline = b"", Peer(port), time.monotonic() + 30
        while "行を出力できませんでした".encode() not in said and time.monotonic() < deadline:
            talker.sock.sendall(encode("more\n127.0.0.1\n"))  # a reader that catches up is told
            time.sleep(0.05)
            said += host.stdout.read() or b""
        check("行を出力できませんでした".encode() in said, "dropped lines are counted")
        host.send_signal(signal.SIGTERM)  # a room that does not end within 2 s raises here
        check(host.wait(2) == 0, "SIGTERM ends the room within 2 s")
    check(open(f"{work}/victim").read() == "keep" and os.path.islink(f"{work}/data.dat")
          and stat.S_ISFIFO(os.stat(f"{work}/data.htm").st_mode), "a FIFO and a link there are left alone")

    with room_running(work, port, preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (64, 64))) as (host, peer):
        other, crowd = Peer(port), [socket.socket() for _ in range(100)]
        [(c.setblocking(False), c.connect_ex(("127.0.0.1", port))) for c in crowd]
        ticks = lambda: sum(map(int, open(f"/proc/{host.pid}/stat").read().rsplit(")", 1)[1].split()[11:13]))
        before = ticks()
        time.sleep(2)
        busy = (ticks() - before) / os.sysconf("SC_CLK_TCK") / 2
        check(busy < 0.5, f"out of descriptors, the host is not busy: {busy:.0%} of a core")
        check(relays_within(port, 1, peer, other), "and relays")


def room(work):
    port = free_port()
    with room_running(work, port, text=True) as (host, first):
        check(first.messages_until(lambda m: m)[0] == "\nadd\nnavy\n部屋\n", "the room's row comes first")
        line = "<font color=blue><b>bob</b></font>：やあ &amp; &#128512;<br>\n10.0.0.7\n"
        first.sock.sendall(encode("\nadd\nblue\nbob\n") + encode(line))
        check(line in first.messages_until(lambda m: line in m), "a line comes back to its sender")
        peers = [Peer(port) for _ in range(19)]
        check(peers[-1].messages_until(lambda m: len(m) >= 2)[:2] == ["\nadd\nnavy\n部屋\n", "\nadd\nblue\nbob\n"],
              "a newcomer's snapshot starts with the room's row")
        (refused := Peer(port)).messages_until(lambda m: False)
        check(len(refused.data) == 33 and refused.messages()[0].startswith("接続が混んでます"),
              f"the 21st gets the 33-byte notice: {refused.data!r}")
        first.sock.sendall(encode("\n".join(["x"] * 12) + "\n"))
        first.messages_until(lambda m: m[-1].startswith("x\nx"))
        host.send_signal(signal.SIGTERM)
        farewell = ["\ndel\nnavy\n部屋\n", "<b><font size=+2 color=navy>部屋</font>さん、さようなら～♪</font></b>\n"]
        said = peers[0].messages_until(lambda m: False)
        check(said[-2] == farewell[0] and said[-1].startswith(farewell[1]), f"the farewell, then the close: {said[-2:]}")
        out, err = host.communicate(timeout=10)
    check(host.returncode == 0, f"SIGTERM ends the room with status 0: {host.returncode}")
    check(re.search(r"^\d\d:\d\d:\d\d bob：やあ & 😀$", out, re.M), f"lines are plain UTF-8: {out}")
    check("error" in err and "文字列が異常です" in err, f"boxes go to standard error: {err}")
    check(not os.path.exists(f"{work}/data.htm"), "the page is removed")
    check(open(f"{work}/data.dat", "rb").read() == "navy\n部屋\n1".encode("cp932"), "the settings are saved")
    found, none = run("--search", "やあ", "😀"), run("--search", "やあ", "--room", "192.0.2.99")
    check(found.returncode == 0 and re.fullmatch(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \S+ bob：やあ & 😀\n", found.stdout)
          and none.returncode == 1 and not none.stdout, f"the history finds the line: {found} {none}")
    check(run("--forget-history").returncode == 0 and run("--search", "やあ").returncode == 1, "and forgets it")

    with socket.create_server(("0.0.0.0", port)):  # a busy port
        busy = run("--headless", "--dir", work, env=dict(ENV, MURELO_CHAT_PORT=str(port)))
        check(busy.returncode == 1 and "ポート4000で接続を待機出来ません" in busy.stderr,
              f"a busy port ends it with status 1: {busy.returncode} {busy.stderr!r}")


if __name__ == "__main__":
    command_line()
    for case in room, hostile_surroundings:
        with tempfile.TemporaryDirectory() as scratch:
            case(scratch)
    print("headless_host: the room and the command line behaved")
