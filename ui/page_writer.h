// The page file data.htm: the bytes of the splash, blank and chat pages, and how the
// file is replaced and addressed. Standard C++ only; the view that shows the file
// lives elsewhere.
//
// Chat page, in this order (CP932 bytes, nothing escaped, the page never closed):
//   "<html>\n<body bgcolor=#eeeeff>\n" "[参加者]  "
//   "<font color=" colour ">" name "</font>☆"   for each active row, rows 0 to 19
//   "\n"
//   "<hr>" (kPageEntryMarker) html "\n"         for each shown entry, newest first
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/chat_log.h"
#include "core/conversation_state.h"
#include "platform/page_view/page_format.h"

namespace murelo {

inline constexpr char kPageFileName[] = "data.htm";
inline constexpr int kLogLimitIndexCount = static_cast<int>(kLogLimits.size());

/// The number of log entries shown for a display-limit index (kLogLimits). An index
/// from a damaged settings file is clamped into that range.
int DisplayLimit(int nLogLimitIndex);

/// The chat page for the given rows and log, showing at most limit entries, newest
/// first.
std::string ComposeChatPage(std::span<const MemberEntry> members, const CChatLog& log, int limit);

/// Where data.htm lives: in directory, or in the current directory when it is empty.
std::string PageFilePath(const std::string& directory);

/// The full path of data.htm in directory (the current directory when empty), or
/// nothing when the current directory cannot be read.
std::optional<std::string> PageAddress(const std::string& directory);

}  // namespace murelo
