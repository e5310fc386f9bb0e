// The settings reader on any data.dat. The input is written as data.dat in a scratch
// directory and loaded. Checks: colour and name hold no line feed and at most 1023
// bytes, and all three values are those an independent reading of the file format
// (app/settings.h) gives: CR LF read as LF, lines read in parts of at most 1023
// bytes, each part cut at its line feed and at a NUL, missing lines giving the
// defaults, the index read as atoi reads but saturating.
#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <fstream>
#include <string>

#include "app/settings.h"
#include "fuzz_support.h"

namespace murelo::fuzz {
namespace {

struct CReferenceSettings {
  std::string strColor = "red";
  std::string strName;
  int nLogLimitIndex = 1;
};

std::string CutValue(std::string part) {
  part = part.substr(0, part.find('\n'));
  return part.substr(0, part.find('\0'));
}

int ReadIndex(const std::string& text) {
  size_t p = 0;
  while (p < text.size() && std::isspace(static_cast<unsigned char>(text[p]))) ++p;
  bool negative = false;
  if (p < text.size() && (text[p] == '+' || text[p] == '-')) negative = text[p++] == '-';
  int64_t value = 0;
  for (; p < text.size() && std::isdigit(static_cast<unsigned char>(text[p])); ++p) {
    value = std::min<int64_t>(value * 10 + (text[p] - '0'), int64_t{INT_MAX} + 1);
  }
  if (negative) value = -value;
  return static_cast<int>(std::clamp<int64_t>(value, INT_MIN, INT_MAX));
}

CReferenceSettings Reference(const std::string& file) {
  std::string text;
  for (size_t i = 0; i < file.size(); ++i) {
    if (file[i] == '\r' && i + 1 < file.size() && file[i + 1] == '\n') continue;
    text += file[i];
  }
  std::string_view rest = text;
  auto nextPart = [&](std::string& part) {
    if (rest.empty()) return false;
    const size_t feed = rest.find('\n');
    const size_t length =
        std::min<size_t>(feed == std::string_view::npos ? rest.size() : feed + 1, 1023);
    part = rest.substr(0, length);
    rest.remove_prefix(length);
    return true;
  };
  CReferenceSettings settings;
  std::string part;
  if (nextPart(part)) settings.strColor = CutValue(part);
  if (nextPart(part)) settings.strName = CutValue(part);
  if (nextPart(part)) settings.nLogLimitIndex = ReadIndex(CutValue(part));
  return settings;
}

}  // namespace
}  // namespace murelo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace murelo;
  using namespace murelo::fuzz;
  ScratchDirectory();
  const std::string file(reinterpret_cast<const char*>(data), size);
  {
    std::ofstream out(kSettingsFileName, std::ios::binary | std::ios::trunc);
    out.write(file.data(), static_cast<std::streamsize>(file.size()));
  }
  CSettings settings;
  settings.m_strName = "before";  // a missing name line empties the name
  settings.LoadSettings();

  FUZZ_CHECK(settings.m_strColor.find('\n') == std::string::npos);
  FUZZ_CHECK(settings.m_strName.find('\n') == std::string::npos);
  FUZZ_CHECK(settings.m_strColor.size() <= 1023);
  FUZZ_CHECK(settings.m_strName.size() <= 1023);

  const CReferenceSettings expected = Reference(file);
  FUZZ_CHECK(settings.m_strColor == expected.strColor);
  FUZZ_CHECK(settings.m_strName == expected.strName);
  FUZZ_CHECK(settings.m_nLogLimitIndex == expected.nLogLimitIndex);
  return 0;
}
