// The settings reader on any data.dat, written in a scratch directory and loaded. The
// three values must be those an independent reading of the file format (app/settings.h)
// gives: CR LF read as LF, lines read in parts of at most 1023 bytes, each part cut at
// its line feed and at a NUL, missing lines giving the defaults, the index read as atoi
// reads but saturating.
#include <algorithm>
#include <climits>
#include <fstream>
#include <string>

#include "app/settings.h"
#include "fuzz_support.h"
#include "scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const murelo::test::ScopedTempDir scratch;
  std::string file(reinterpret_cast<const char*>(data), size);
  std::ofstream(murelo::kSettingsFileName, std::ios::binary) << file;
  murelo::CSettings settings;
  settings.m_strName = "before";  // a missing name line empties the name
  settings.LoadSettings();

  for (size_t at = 0; (at = file.find("\r\n", at)) != std::string::npos;) file.erase(at, 1);
  std::string_view rest = file;
  const auto nextValue = [&](std::string_view missing) {
    if (rest.empty()) return std::string(missing);
    const std::string_view part = rest.substr(0, std::min<size_t>(rest.find('\n'), 1022) + 1);
    rest.remove_prefix(part.size());
    return std::string(part.substr(0, part.find_first_of(std::string_view("\n\0", 2))));
  };
  FUZZ_CHECK(settings.m_strColor == nextValue("red"));
  FUZZ_CHECK(settings.m_strName == nextValue(""));

  // The index as atoi reads it, saturating beyond int.
  const std::string index = nextValue("1");
  size_t p = std::min(index.find_first_not_of(" \t\n\v\f\r"), index.size());
  const bool negative = index[p] == '-';
  p += index[p] == '-' || index[p] == '+';
  int64_t value = 0;
  for (; p < index.size() && index[p] >= '0' && index[p] <= '9'; ++p) {
    value = std::min<int64_t>(value * 10 + (index[p] - '0'), int64_t{INT_MAX} + 1);
  }
  FUZZ_CHECK(settings.m_nLogLimitIndex ==
             std::clamp<int64_t>(negative ? -value : value, INT_MIN, INT_MAX));
  return 0;
}
