// The hostile peers of the attack suite, and the well-behaved client it times. Plain
// blocking system calls and threads: they run in a process of their own, apart from the
// copy under attack, and take their orders from it one line at a time.
#pragma once

#include <cstdint>
#include <string>

namespace murelo::attack {

/// Each order is "NAME PORT SECONDS": run attack NAME against the copy hosting on PORT,
/// or, for the hostile-host attacks, be the host the copy joins on PORT. The answer is
/// one line: "ok" or "fail", then figures as "key=value" (worst_ms: the well-behaved
/// client's slowest relay; lines, missed: its lines relayed and lost). The hostile host
/// and the attack "slots" first answer "ready" when the copy is to act.
int RunPeers(int controlFd);

}  // namespace murelo::attack
