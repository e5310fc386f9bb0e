// Qt warns on standard error about markup it cannot read: a colour name it does not know,
// a font size of zero. Peers choose the markup the page view reads, so they would choose
// how much the program writes to the desktop's session log: a stream of random frames
// wrote 27 MB of such lines in minutes. This keeps those warnings to a trickle; every
// other message of Qt's and the program's own passes as before.
#pragma once

namespace murelo {

/// Warnings about page markup beyond kMarkupWarningsPerMinute in a minute are dropped,
/// with one line saying so. Installs a Qt message handler in front of the one in place;
/// call once, at start-up.
void LimitMarkupWarnings();

inline constexpr int kMarkupWarningsPerMinute = 5;

}  // namespace murelo
