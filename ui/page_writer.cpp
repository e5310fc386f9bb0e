#include "ui/page_writer.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "core/message_catalog.h"
#include "core/message_format.h"

namespace murelo {

int DisplayLimit(int nLogLimitIndex) {
  return kLogLimits[std::clamp(nLogLimitIndex, 0, kLogLimitIndexCount - 1)];
}

std::string ComposeChatPage(std::span<const MemberEntry> members, const CChatLog& log, int limit) {
  const int shown = std::clamp(limit, 0, log.Count());
  const int oldestShown = log.Count() - shown;

  // One exact reservation keeps composing to plain copies.
  static constexpr size_t kMemberMarkup = kPageMemberFormat.size() - 4;
  static constexpr size_t kEntryMarkup = kPageEntryMarker.size() + 1;
  size_t size = kPageHead.size() + kPageMembersLabel.size() + 1;
  for (const MemberEntry& row : members) {
    if (row.bActive) size += kMemberMarkup + row.strColor.size() + row.strName.size();
  }
  for (int i = oldestShown; i < log.Count(); ++i) size += kEntryMarkup + log[i].strHtml.size();

  std::string page;
  page.reserve(size);
  page += kPageHead;
  page += kPageMembersLabel;
  for (const MemberEntry& row : members) {
    if (row.bActive) AppendFormat(page, kPageMemberFormat, {row.strColor, row.strName});
  }
  page += '\n';
  for (int i = log.Count() - 1; i >= oldestShown; --i) {
    page += kPageEntryMarker;
    page += log[i].strHtml;
    page += '\n';
  }
  return page;
}

std::string PageFilePath(const std::string& directory) {
  return directory.empty() ? kPageFileName : directory + "/" + kPageFileName;
}

std::optional<std::string> PageAddress(const std::string& directory) {
  if (directory.starts_with('/')) return PageFilePath(directory);
  std::vector<char> buffer(256);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
  std::string address = buffer.data();
  if (address.back() != '/') address += '/';
  return address + PageFilePath(directory);
}

}  // namespace murelo
