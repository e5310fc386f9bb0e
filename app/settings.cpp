#include "app/settings.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace murelo {

namespace {

constexpr char kDefaultColor[] = "red";
constexpr int kDefaultLogLimitIndex = 1;
constexpr int kLineBufferSize = 1024;  // so a line part holds at most 1023 bytes

/// Reads the next part of a line into buffer as fgets would in text mode, where CR LF
/// reads as LF: up to and including the next LF, at most size - 1 bytes, NUL-ended.
/// False at the end of the file with nothing read.
bool ReadLinePart(std::FILE* file, char* buffer, int size) {
  int length = 0;
  while (length < size - 1) {
    int c = std::getc(file);
    if (c == EOF) break;
    if (c == '\r') {
      const int next = std::getc(file);
      if (next == '\n') {
        c = '\n';
      } else if (next != EOF) {
        std::ungetc(next, file);
      }
    }
    buffer[length++] = static_cast<char>(c);
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

void CSettings::LoadSettings() {
  std::FILE* file = std::fopen(kSettingsFileName, "r");
  if (file == nullptr) {
    m_nLogLimitIndex = kDefaultLogLimitIndex;
    m_strColor = kDefaultColor;
    return;
  }
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
  std::fclose(file);
}

void CSettings::SaveSettings() const {
  std::FILE* file = std::fopen(kSettingsFileName, "w");
  if (file == nullptr) return;
  std::fprintf(file, "%s\n%s\n%d", m_strColor.c_str(), m_strName.c_str(), m_nLogLimitIndex);
  std::fclose(file);
}

void CSettings::CutAtLineFeed(char* text) {
  char* lineFeed = std::strchr(text, '\n');
  if (lineFeed != nullptr) *lineFeed = '\0';
}

}  // namespace murelo
