// The records a conversation is made of: participant rows and log entries, with the
// fixed capacities every copy of the program shares.
#pragma once

#include <array>
#include <string>

namespace murelo {

inline constexpr int kPeerSlots = 20;
inline constexpr int kMemberRows = 20;
inline constexpr int kLogCapacity = 200;

/// One row of the participant table. Rows are switched on and off in place and never
/// moved, so the page lists active rows in table order.
struct MemberEntry {
  bool bActive = false;
  std::string strName;
  std::string strColor;
};

/// One entry of the chat log.
struct LogEntry {
  std::string strHtml;      // line 0 of a display message, after tag balancing
  std::string strSenderIp;  // line 1: the address of the copy that built it
};

using MemberTable = std::array<MemberEntry, kMemberRows>;

}  // namespace murelo
