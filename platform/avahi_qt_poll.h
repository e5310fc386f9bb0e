// Avahi's client library driven by Qt's event loop, the program's one loop: an
// AvahiPoll whose watches are socket notifiers and whose timeouts are timers.
#pragma once

#include <avahi-common/watch.h>

namespace murelo {

/// The poll every Avahi client of the program uses; user-interface thread only.
const AvahiPoll* QtAvahiPoll();

}  // namespace murelo
