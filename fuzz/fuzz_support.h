// What the fuzz targets share: a check that aborts with a reason (so libFuzzer keeps
// the input), a scratch directory made the current one, and a byte reader over the
// fuzzer's input.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace murelo::fuzz {

/// Aborts with what failed: a finding.
#define FUZZ_CHECK(condition)                                                            \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (false)

/// A fresh directory under the temporary directory, made the current one; removed
/// with what it holds when the process ends normally.
inline const std::filesystem::path& ScratchDirectory() {
  struct Directory {
    Directory() {
      std::string pattern =
          (std::filesystem::temp_directory_path() / "murelo-fuzz-XXXXXX").string();
      FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
      path = pattern;
      std::filesystem::current_path(path);
    }
    ~Directory() {
      std::error_code ignored;
      std::filesystem::current_path(std::filesystem::temp_directory_path(), ignored);
      std::filesystem::remove_all(path, ignored);
    }
    std::filesystem::path path;
  };
  static Directory directory;
  return directory.path;
}

/// Takes the fuzzer's input apart piece by piece; past its end every read is empty.
class CInputReader {
 public:
  CInputReader(const uint8_t* data, size_t size)
      : m_rest(reinterpret_cast<const char*>(data), size) {}

  bool Empty() const { return m_rest.empty(); }
  uint8_t Byte() {
    if (m_rest.empty()) return 0;
    const auto byte = static_cast<uint8_t>(m_rest.front());
    m_rest.remove_prefix(1);
    return byte;
  }
  int32_t Int() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | Byte();
    return static_cast<int32_t>(value);
  }
  /// A string of a length given by the next byte (a short one) or two bytes.
  std::string String() {
    size_t length = Byte();
    if (length == 0xff) length = static_cast<size_t>(Byte()) << 8 | Byte();
    const std::string_view taken = m_rest.substr(0, length);
    m_rest.remove_prefix(taken.size());
    return std::string(taken);
  }

 private:
  std::string_view m_rest;
};

}  // namespace murelo::fuzz
