// Line 0 of a chat line, as copies build it: <font color=COLOUR><b>NAME</b></font>：TEXT.
#pragma once

#include <optional>
#include <string_view>

namespace murelo {

struct CChatLineParts {
  std::string_view color;
  std::string_view name;
  std::string_view text;
};

/// The parts of a chat line (CP932), or nothing for any other display message. The
/// name ends where "</b></font>：" first follows it.
std::optional<CChatLineParts> ParseChatLine(std::string_view html);

}  // namespace murelo
