#include "platform/page_view/page_segments.h"

#include <QLatin1StringView>

#include "platform/page_view/page_format.h"

namespace murelo {

namespace {

// The two kinds of text a page is split as: the file's bytes and its decoded text.
qsizetype FindLineFeed(std::string_view text, qsizetype from) {
  const size_t at = text.find('\n', static_cast<size_t>(from));
  return at == std::string_view::npos ? -1 : static_cast<qsizetype>(at);
}
qsizetype FindLineFeed(QStringView text, qsizetype from) { return text.indexOf(u'\n', from); }
bool EndsWithLineFeed(std::string_view text) { return text.ends_with('\n'); }
bool EndsWithLineFeed(QStringView text) { return text.endsWith(u'\n'); }
bool IsEntryLine(std::string_view line) { return line.starts_with(kPageEntryMarker); }
bool IsEntryLine(QStringView line) {
  return line.startsWith(QLatin1StringView(kPageEntryMarker.data(), kPageEntryMarker.size()));
}
std::string_view Slice(std::string_view text, qsizetype at, qsizetype size) {
  return text.substr(static_cast<size_t>(at), static_cast<size_t>(size));
}
QStringView Slice(QStringView text, qsizetype at, qsizetype size) { return text.sliced(at, size); }

constexpr auto kRuleSize = static_cast<qsizetype>(kPageEntryMarker.size());

template <typename View>
std::optional<TPageSegments<View>> Split(View page) {
  if (page.empty() || !EndsWithLineFeed(page)) return std::nullopt;
  TPageSegments<View> segments;
  qsizetype lines = 0;
  qsizetype lastTopLine = -1;  // where the line before the first entry starts
  qsizetype lastTopLineEnd = -1;
  for (qsizetype start = 0; start < static_cast<qsizetype>(page.size());) {
    const qsizetype end = FindLineFeed(page, start);
    const View line = Slice(page, start, end - start);
    if (IsEntryLine(line)) {
      segments.entries.push_back(Slice(line, kRuleSize, line.size() - kRuleSize));
    } else if (!segments.entries.empty()) {
      return std::nullopt;  // a line that is no entry below the entries
    } else {
      lastTopLine = start;
      lastTopLineEnd = end;
      ++lines;
    }
    start = end + 1;
  }
  if (lines < 2) return std::nullopt;  // no head above the participants line
  segments.head = Slice(page, 0, lastTopLine);
  segments.members = Slice(page, lastTopLine, lastTopLineEnd - lastTopLine);
  return segments;
}

}  // namespace

std::optional<TPageSegments<std::string_view>> SplitChatPage(std::string_view page) {
  return Split(page);
}

std::optional<TPageSegments<QStringView>> SplitChatPage(QStringView page) { return Split(page); }

}  // namespace murelo
