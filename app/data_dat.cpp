#include "app/data_dat.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#include "platform/posix/plain_file.h"

namespace murelo {

namespace {

constexpr char kDefaultColor[] = "red";
constexpr int kDefaultLogLimitIndex = 1;
constexpr int kLineBufferSize = 1024;  // so a line part holds at most 1023 bytes
// More than the three line parts can span, a CR LF read as one byte included.
constexpr size_t kReadBytes = size_t{3} * 2 * kLineBufferSize;

/// Reads the next part of a line from the front of text as fgets would in text mode,
/// where CR LF reads as LF: up to and including the next LF, at most size - 1 bytes,
/// NUL-ended. False at the end of the text with nothing read.
bool ReadLinePart(std::string_view& text, char* buffer, int size) {
  int length = 0;
  while (length < size - 1 && !text.empty()) {
    char c = text.front();
    text.remove_prefix(1);
    if (c == '\r' && text.starts_with('\n')) {
      c = '\n';
      text.remove_prefix(1);
    }
    buffer[length++] = c;
    if (c == '\n') break;
  }
  buffer[length] = '\0';
  return length > 0;
}

/// atoi without its undefined behaviour: a value beyond int saturates.
int ReadIndex(const char* text) {
  const long value = std::strtol(text, nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

}  // namespace

void CDataDat::LoadSettings() {
  const std::optional<std::string> content = ReadRegularFile(kSettingsFileName, kReadBytes);
  if (!content) {
    m_nLogLimitIndex = kDefaultLogLimitIndex;
    m_strColor = kDefaultColor;
    return;
  }
  std::string_view file = *content;
  char line[kLineBufferSize];
  if (ReadLinePart(file, line, sizeof line)) {
    CutAtLineFeed(line);
    m_strColor = line;
  } else {
    m_strColor = kDefaultColor;
  }
  if (ReadLinePart(file, line, sizeof line)) {
    CutAtLineFeed(line);
    m_strName = line;
  } else {
    m_strName.clear();
  }
  if (ReadLinePart(file, line, sizeof line)) {
    CutAtLineFeed(line);
    m_nLogLimitIndex = ReadIndex(line);
  } else {
    m_nLogLimitIndex = kDefaultLogLimitIndex;
  }
}

bool CDataDat::SaveSettings() const {
  return ReplaceFile(kSettingsFileName,
                     m_strColor + "\n" + m_strName + "\n" + std::to_string(m_nLogLimitIndex));
}

void CDataDat::CutAtLineFeed(char* text) {
  char* lineFeed = std::strchr(text, '\n');
  if (lineFeed != nullptr) *lineFeed = '\0';
}

}  // namespace murelo
