#include "core/chat_line.h"

namespace murelo {

std::optional<CChatLineParts> ParseChatLine(std::string_view html) {
  constexpr std::string_view kStart = "<font color=", kNameStart = "><b>",
                             kNameEnd = "</b></font>\201F";  // ：
  // No CP932 trail byte is '<' or '>', so a byte search finds only real ones.
  if (!html.starts_with(kStart)) return std::nullopt;
  const size_t colorEnd = html.find('>', kStart.size());
  if (colorEnd == html.npos || html.substr(colorEnd, kNameStart.size()) != kNameStart)
    return std::nullopt;
  const size_t nameStart = colorEnd + kNameStart.size();
  const size_t nameEnd = html.find(kNameEnd, nameStart);
  if (nameEnd == html.npos) return std::nullopt;
  return CChatLineParts{html.substr(kStart.size(), colorEnd - kStart.size()),
                        html.substr(nameStart, nameEnd - nameStart),
                        html.substr(nameEnd + kNameEnd.size())};
}

}  // namespace murelo
