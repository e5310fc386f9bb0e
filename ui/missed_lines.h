// CMissedLines: what a display message means to a user who is not looking at the
// conversation. Lines from others that arrive while the window is inactive are missed
// and counted until the window is active again; each is announced, a burst as one
// summary. A line that names the user is a mention, announced even when notifications
// of ordinary lines are off. The copy's own messages never count: what its own steps
// made (its notices, which carry its address but not its name), and its lines back from
// the host.
#pragma once

#include <QString>
#include <optional>
#include <string>

#include "core/conversation_state.h"

namespace murelo {

struct CAnnouncement {
  QString strSummary;     // the sender's name, or "murelo"; "太郎 ほか 4 件" in a burst
  QString strBody;        // the line as plain text
  bool bMention = false;  // this line, or one before it in the burst, names the user
};

class CMissedLines {
 public:
  /// A display message entered the log, over a connection when fromPeer. ownName and
  /// ownIp (CP932) say who this user is.
  std::optional<CAnnouncement> Arrived(const LogEntry& entry, bool fromPeer,
                                       const std::string& ownName, const std::string& ownIp,
                                       bool windowActive, bool notificationsOn);
  /// The user is looking again: nothing is missed, and the next line starts a new burst.
  void WindowActivated() {
    m_nMissed = 0;
    m_bMentioned = false;
  }
  int Count() const { return m_nMissed; }

 private:
  int m_nMissed = 0;
  bool m_bMentioned = false;  // in this burst: its notification stays critical
};

}  // namespace murelo
