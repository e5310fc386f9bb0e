#include "ui/page_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <vector>

#include "core/message_catalog.h"
#include "core/message_format.h"

namespace murelo {

int DisplayLimit(int nLogLimitIndex) {
  static constexpr std::array<int, kLogLimitIndexCount> kLimits = {20, 50, 100, 200};
  return kLimits[std::clamp(nLogLimitIndex, 0, kLogLimitIndexCount - 1)];
}

std::string ComposeChatPage(std::span<const MemberEntry> members, const CChatLog& log, int limit) {
  const int shown = std::clamp(limit, 0, log.Count());
  const int oldestShown = log.Count() - shown;

  // One exact reservation keeps composing to plain copies.
  static constexpr size_t kMemberMarkup = kPageMemberFormat.size() - 4;
  static constexpr size_t kEntryMarkup = kPageEntryFormat.size() - 2;
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
    AppendFormat(page, kPageEntryFormat, {log[i].strHtml});
  }
  return page;
}

bool ReplaceFile(const char* name, std::string_view bytes) {
  // Written over the old content and then cut to length, rather than emptied first:
  // ext4 starts writing back a file that was emptied and rewritten as soon as it is
  // closed, which would cost a disk flush for every page.
  const int fd = open(name, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool written = true;
  for (size_t done = 0; written && done < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    written = n > 0;
    if (written) done += static_cast<size_t>(n);
  }
  written = written && ftruncate(fd, static_cast<off_t>(bytes.size())) == 0;
  return close(fd) == 0 && written;
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
