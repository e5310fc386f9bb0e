#!/usr/bin/env python3
"""The room with no window as a relay, from outside, against a bare epoll relay and
`ncat --broker`, in one run: 20 clients on loopback (relay_clients), four scenarios,
five runs each, the relays taking turns. Figures are medians; ratios are medians of the
ratios within each turn.

Usage: relay_compare.py path/to/murelo path/to/bare_relay path/to/relay_clients. Prints
  relay_sat1_ratio, relay_satall_ratio, relay_ping_ratio: murelo's lines a second over
      the bare relay's (one sender; all 20 sending; ping-pong)
  relay_paced_p99_ratio: murelo's 99th-percentile delay over the bare relay's, 20 clients
      at 50 lines a second
  relay_vs_ncat_sat1: murelo's lines a second over ncat's, one sender
  relay_lost: lines lost or corrupted, in all runs of murelo
and each relay's own figures.
"""
import os, shutil, socket, statistics, subprocess, sys, tempfile, time

MURELO, BARE, CLIENTS = (os.path.realpath(p) for p in sys.argv[1:4])
SCENARIOS = ("sat1", "satall", "paced", "ping")
RUNS = 5


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def start(relay, port, work):
    env = dict(os.environ, MURELO_CHAT_PORT=str(port), XDG_DATA_HOME=work, XDG_CONFIG_HOME=work)
    command = {"murelo": [MURELO, "--headless", "--name", "relay", "--color", "navy", "--dir", work],
               "bare": [BARE, str(port)],
               "ncat": ["ncat", "--broker", "--listen", "127.0.0.1", str(port), "--max-conns", "20"]}[relay]
    proc = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    while socket.socket().connect_ex(("127.0.0.1", port)) != 0:
        assert proc.poll() is None, f"{relay} ended at start"
        time.sleep(0.02)
    return proc


def measure(relay, scenario):
    """One run on a fresh relay: (value, lost)."""
    with tempfile.TemporaryDirectory() as work:
        port = free_port()
        proc = start(relay, port, work)
        try:
            out = subprocess.run([CLIENTS, str(port), scenario], capture_output=True, text=True, timeout=60).stdout
        finally:
            proc.terminate()
            proc.wait(5)
    value, lost = out.split()
    return float(value), int(lost)


def main():
    relays = ["murelo", "bare"] + (["ncat"] if shutil.which("ncat") else [])
    runs = {(relay, scenario): [] for relay in relays for scenario in SCENARIOS}
    for scenario in SCENARIOS:
        # The relays take turns, so that a slow spell of the machine weighs on all alike.
        for _ in range(RUNS):
            for relay in relays:
                runs[relay, scenario].append(measure(relay, scenario))
    median = lambda relay, scenario: statistics.median(v for v, _ in runs[relay, scenario])
    for relay in relays:
        print(f"relay_{relay}_sat1: {median(relay, 'sat1'):.0f} lines/s")
        print(f"relay_{relay}_satall: {median(relay, 'satall'):.0f} lines/s")
        print(f"relay_{relay}_paced_p99: {median(relay, 'paced'):.2f} ms")
        print(f"relay_{relay}_ping: {median(relay, 'ping'):.0f} lines/s")

    def ratio(relay, other, scenario):
        """The median of relay's figure over other's in the same round, run one after the
        other: steadier than a ratio of medians on a machine whose speed drifts."""
        return statistics.median(a / b for (a, _), (b, _) in zip(runs[relay, scenario], runs[other, scenario]))

    for scenario in SCENARIOS:
        name = f"relay_{scenario}_p99_ratio" if scenario == "paced" else f"relay_{scenario}_ratio"
        print(f"{name}: {ratio('murelo', 'bare', scenario):.2f} ratio")
    if "ncat" in relays:
        print(f"relay_vs_ncat_sat1: {ratio('murelo', 'ncat', 'sat1'):.2f} ratio")
    print(f"relay_lost: {sum(lost for scenario in SCENARIOS for _, lost in runs['murelo', scenario])} lines")


main()
