// Ending the program from outside (SIGTERM, SIGINT, SIGHUP) the same way as closing
// its window: the signal is turned into a call on the event loop's thread, where it is
// safe to do anything.
#pragma once

#include <functional>

namespace murelo {

/// From now on, each of those signals calls handler from the event loop. Needs a
/// running QCoreApplication; call once.
void OnTerminationSignal(std::function<void()> handler);

}  // namespace murelo
