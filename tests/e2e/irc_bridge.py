#!/usr/bin/env python3
# Three rooms with no window bridged into one channel of two linked ngIRCd servers, one of
# them over TLS with a test CA, with raw TCP peers in the rooms and an IRC client
# watching: every line everywhere once, escaped both ways, no command injected, and the
# bridge through a server's restart. Usage: irc_bridge.py path/to/murelo. Everything
# listens on loopback; the servers run in the foreground and go with the test.
import contextlib, os, re, socket, subprocess, sys, tempfile, time

sys.path.insert(0, os.path.dirname(__file__))
from headless_host import Peer, check, encode, free_port  # noqa: E402

BIN = os.path.realpath(sys.argv[1])
WORK = tempfile.TemporaryDirectory()
W = WORK.name
PORTS = {name: free_port() for name in ("a", "b", "tls")}
procs = []


def spawn(*command, env=None, **kwargs):
    proc = subprocess.Popen(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kwargs)
    procs.append(proc)
    return proc


def ngircd(name, port, link, extra=""):
    conf = f"{W}/{name}.conf"
    with open(conf, "w") as f:
        f.write(f"[Global]\nName = {name}.test\nInfo = test\nListen = 127.0.0.1\nPorts = {port}\n"
                f"MotdPhrase = test\n[Limits]\nMaxConnectionsIP = 0\n[Options]\nPAM = no\nIdent = no\n"
                f"DNS = no\n{extra}[Server]\nName = {link[0]}.test\nHost = 127.0.0.1\n{link[1]}"
                f"MyPassword = link\nPeerPassword = link\n")
    proc, deadline = spawn("ngircd", "-n", "-f", conf), time.monotonic() + 10
    while socket.socket().connect_ex(("127.0.0.1", port)) != 0:
        check(time.monotonic() < deadline and proc.poll() is None, f"ngircd {name} listens: {proc.poll() and proc.stdout.read()}")
        time.sleep(0.05)
    return proc


def server_a():
    return ngircd("a", PORTS["a"], ("b", f"Port = {PORTS['b']}\n"),
                  f"[SSL]\nCertFile = {W}/server.pem\nKeyFile = {W}/server.key\nPorts = {PORTS['tls']}\n")


class Irc:
    def __init__(self, nick, port):
        self.sock, self.data = socket.create_connection(("127.0.0.1", port), timeout=5), b""
        self.send(f"NICK {nick}\r\nUSER watch 0 * :w\r\nJOIN #room\r\n")

    def send(self, text):
        self.sock.sendall(text.encode())

    def lines_until(self, condition, seconds=15):
        deadline = time.monotonic() + seconds
        while not condition(self.lines()) and time.monotonic() < deadline:
            with contextlib.suppress(socket.timeout):
                self.data += self.sock.recv(65536)
                if b"\nPING " in self.data[-600:]:
                    self.send("PONG :x\r\n")
        return self.lines()

    def lines(self):
        return self.data.decode(errors="replace").split("\r\n")

    def said(self, command="PRIVMSG"):
        return [l.split(f" {command} #room :", 1)[1] for l in self.lines() if f" {command} #room :" in l]


def room(name, url, *options):
    port = free_port()
    env = dict(os.environ, MURELO_CHAT_PORT=str(port), XDG_DATA_HOME=W, XDG_CONFIG_HOME=W)
    os.makedirs(f"{W}/{name}")
    proc = spawn(BIN, "--headless", "--name", name, "--color", "navy", "--dir", f"{W}/{name}",
                 "--bridge", url, *options, env=env, text=True)
    deadline = time.monotonic() + 10
    while True:
        with contextlib.suppress(OSError):
            return proc, Peer(port)
        check(time.monotonic() < deadline and proc.poll() is None, f"room {name} listens")
        time.sleep(0.05)


def say(peer, name, text):
    peer.sock.sendall(encode(f"\nadd\nblue\n{name}\n") + encode(f"<font color=blue><b>{name}</b></font>：{text}\n10.0.0.9\n"))


# Line 0 of each message the peer has had, once condition holds of them or the time is up.
def texts(peer, seconds, condition):
    peer.sock.settimeout(seconds)
    with contextlib.suppress(TimeoutError):
        peer.messages_until(lambda m: condition([x.split("\n")[0] for x in m]), seconds)
    return [m.split("\n")[0] for m in peer.messages()]


def openssl(*arguments):
    subprocess.run(["openssl", *arguments], cwd=W, check=True, capture_output=True)


def main():
    openssl("req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-keyout", "ca.key",
            "-out", "ca.pem", "-subj", "/CN=murelo test CA", "-days", "2")
    openssl("req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-keyout", "server.key",
            "-out", "server.csr", "-subj", "/CN=127.0.0.1")
    with open(f"{W}/san", "w") as f:
        f.write("subjectAltName=IP:127.0.0.1\n")
    openssl("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
            "-out", "server.pem", "-days", "2", "-extfile", "san")
    os.chmod(f"{W}/server.key", 0o644)  # ngIRCd reads it as nobody once it has dropped root
    os.chmod(W, 0o755)
    os.makedirs(f"{W}/murelo")
    with open(f"{W}/murelo/murelo.conf", "w") as f:  # a short queue, to see it overflow
        f.write("[bridge]\nlines_per_second=5\nqueue_lines=10\n")
    ngircd("b", PORTS["b"], ("a", ""))
    a = server_a()
    watcher = Irc("watcher", PORTS["b"])
    squatter = Irc("murelo", PORTS["a"])  # the default nick is taken: the bridge adds a number
    squatter.lines_until(lambda l: any(" 366 " in x for x in l))
    r1, bob = room("本社", f"irc://127.0.0.1:{PORTS['a']}/#room", "--bridge-nick", "honsha")
    r2, hanako = room("支店", f"irc://127.0.0.1:{PORTS['b']}/room", "--bridge-nick", "shiten")
    r3, carol = room("別館", f"ircs://127.0.0.1:{PORTS['tls']}/%23room", "--bridge-ca", f"{W}/ca.pem")
    r4, _ = room("偽", f"ircs://127.0.0.1:{PORTS['tls']}/#room", "--bridge-nick", "untrusted")
    joined = lambda l: all(any(x.startswith(f":{n}!") and " JOIN " in x for x in l) for n in ("honsha", "shiten", "murelo1"))
    check(joined(watcher.lines_until(joined)), f"three bridges join across the link: {watcher.lines()[-8:]}")
    squatter.sock.close()

    # Each room's line reaches the channel once and the other rooms once, from name＠bridge.
    say(bob, "bob", "やあ <b>&amp;</b> \x01VERSION\x01 \rQUIT :x")
    say(hanako, "hanako", "こんにちは")
    say(carol, "carol", "あ" * 330)
    say(bob, "名" * 300, "長い名前")  # a name no line could hold
    expect = ["<bob> やあ & \x20VERSION\x20  QUIT :x", "<hanako> こんにちは", f"<{'名' * 21}> 長い名前"]
    got = watcher.lines_until(lambda l: len(watcher.said()) >= 3 + 3)
    said = watcher.said()
    check(sorted(s for s in said if not s.startswith("<carol>")) == sorted(expect), f"the watcher sees each line once: {said}")
    pieces = [s for s in said if s.startswith("<carol> ")]
    check("".join(p[8:] for p in pieces) == "あ" * 330 and all(len(l.encode()) + 2 <= 512 for l in got),
          f"a long line comes in pieces of at most 512 bytes: {[len(p) for p in pieces]}")
    check(not any(l.startswith(":honsha!") and l.split(" ")[1] not in ("JOIN", "PRIVMSG", "NOTICE") or "\x01" in l
                  for l in got), "nothing a peer writes becomes a command or CTCP")
    times = {"bob＠honsha": 1, "hanako＠shiten": 1, "carol＠murelo1": len(pieces)}
    rooms = ((bob, "bob＠honsha"), (hanako, "hanako＠shiten"), (carol, "carol＠murelo1"))
    for peer, mine in rooms:
        texts(peer, 10, lambda t: sum("＠" in x for x in t) >= sum(times.values()) - times[mine])
    check(any("&lt;b&gt;" not in x and "やあ &amp; " in x for x in texts(hanako, 1, lambda t: False)),
          "a room's line goes out as its plain text")

    # From the channel: markup escaped, formatting gone, an action marked.
    watcher.send("PRIVMSG #room :<i>hi</i> & \x02bold\x02 \x034,2red\x03 😀\r\nPRIVMSG #room :\x01ACTION waves\x01\r\n"
                 "PRIVMSG #room :\x01VERSION\x01\r\n")
    want = ["<font color=", "<b>watcher＠irc</b></font>：&lt;i&gt;hi&lt;/i&gt; &amp; bold red &#128512;"]
    for peer in (bob, hanako, carol):
        lines = texts(peer, 10, lambda t: any("waves" in x for x in t))
        heard = [x for x in lines if "watcher＠irc" in x]
        check(len(heard) == 2 and heard[0].startswith(want[0]) and heard[0].endswith(want[1])
              and heard[1].endswith("：＊waves"), f"the channel's lines come in escaped, once: {heard}")
    check("IRC とつながりません" in r4.stderr.readline(),
          "a server the CA file does not vouch for is refused")

    # Server a goes: its rooms say so once, keep a line, and say once that they are back.
    a.terminate()
    a.wait(5)
    down = "との橋渡しが切れました"
    lines = texts(bob, 10, lambda t: any(down in x for x in t))
    say(bob, "bob", "留守中")
    # The room's next two tries meet a stand-in that only hangs up, so that the try after
    # them, four seconds on, finds server a linked to b again; a line that reached a
    # before the link would go no further.
    with socket.create_server(("127.0.0.1", PORTS["a"])) as stand_in:
        stand_in.settimeout(15)
        for _ in range(2):
            stand_in.accept()[0].close()
    a = server_a()
    back = "との橋渡しが戻りました"
    lines = texts(bob, 70, lambda t: any(back in x for x in t))
    check(sum(down in x for x in lines) == 1 and sum(back in x for x in lines) == 1, f"once down, once back: {lines[-4:]}")
    watcher.lines_until(lambda l: "<bob> 留守中" in watcher.said(), 20)
    check("<bob> 留守中" in watcher.said(), f"the line said meanwhile arrives: {watcher.said()[-3:]}")
    check(not any(down in x or back in x for x in watcher.lines()), "the bridge's notices stay in the room")
    check(not any(down in x for x in texts(hanako, 1, lambda t: False)), "and in that room alone")
    times["bob＠honsha"] += 1
    for peer, mine in rooms:  # nothing came twice meanwhile
        lines = texts(peer, 0.5, lambda t: False)
        for name, count in times.items():
            heard = sum(f"<b>{name}</b>" in x for x in lines)
            # 別館 went down with server a as well, and may be back only after bob's waiting
            # line went out: IRC keeps nothing for whoever was away.
            least = count - 1 if (mine, name) == ("carol＠murelo1", "bob＠honsha") else count
            check(heard == 0 if name == mine else least <= heard <= count,
                  f"{mine}'s room hears {name} once a piece: {[x for x in lines if name in x]}")

    # A flood: the first lines go at once, the newest wait, the rest are dropped with a notice.
    for i in range(40):
        say(bob, "bob", f"flood {i}")
    watcher.lines_until(lambda l: "<bob> flood 39" in watcher.said(), 10)
    floods = [s for s in watcher.said() if s.startswith("<bob> flood ")]
    check(floods == [f"<bob> flood {i}" for i in (*range(5), *range(30, 40))], f"the oldest waiting go: {floods}")
    check(sum("古いものから捨てています" in x for x in texts(bob, 1, lambda t: False)) == 1, "the room hears it once")
    print("irc_bridge: three rooms and an IRC client held one conversation")


try:
    main()
finally:
    for proc in procs:
        proc.kill()
