// What the chat page's writer (ui/page_writer.h), its reader (the page view) and the
// log-limit menu agree on. Standard C++ only.
#pragma once

#include <array>
#include <string_view>

namespace murelo {

/// Starts the line of every log entry, and no other line: marker, the entry's HTML,
/// a line feed.
inline constexpr std::string_view kPageEntryMarker = "<hr>";

/// How many log entries the page shows, for the display-limit index 0 to 3.
inline constexpr std::array<int, 4> kLogLimits = {20, 50, 100, 200};

}  // namespace murelo
