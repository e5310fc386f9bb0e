#include "platform/cp932.h"

#include <iconv.h>

#include <QList>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>

namespace murelo {

namespace {

/// The two converters of a thread (the history's writer converts too), opened on its
/// first use and kept for the thread's life. Where the C
/// library lacks CP932, a descriptor stays invalid and the converters fall back to
/// ASCII: other bytes read as U+FFFD, other characters are written as references.
struct Converters {
  Converters()
      : toUtf16(iconv_open(std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE",
                           "CP932")),
        fromUcs4(iconv_open(
            "CP932", std::endian::native == std::endian::little ? "UTF-32LE" : "UTF-32BE")) {}
  ~Converters() {
    if (toUtf16 != kInvalid) iconv_close(toUtf16);
    if (fromUcs4 != kInvalid) iconv_close(fromUcs4);
  }
  Converters(const Converters&) = delete;
  Converters& operator=(const Converters&) = delete;

  // iconv_open's own way of saying it failed.
  static inline const iconv_t kInvalid =
      reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)
  iconv_t toUtf16;                    // straight into a QString's own units
  iconv_t fromUcs4;
};

Converters& Shared() {
  thread_local Converters converters;
  return converters;
}

void AppendReference(std::string& out, char32_t codePoint) {
  out += "&#";
  out += std::to_string(static_cast<unsigned long>(codePoint));
  out += ';';
}

/// Converts what is left at in, replacing what the converter cannot read.
void ConvertWithReplacements(iconv_t cd, char*& in, size_t& inLeft, char*& out, size_t& outLeft) {
  while (inLeft > 0) {
    if (cd != Converters::kInvalid &&
        iconv(cd, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1)) {
      break;
    }
    // An invalid or cut-off sequence, or no converter: pass ASCII, replace the rest.
    const auto byte = static_cast<unsigned char>(*in);
    const char16_t unit = byte < 0x80 ? char16_t{byte} : u'\uFFFD';
    std::memcpy(out, &unit, sizeof unit);
    out += sizeof unit;
    outLeft -= sizeof unit;
    ++in;
    --inLeft;
    if (cd != Converters::kInvalid) iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
}

bool IsLeadByte(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9f) || byte >= 0xe0; }

}  // namespace

QString ToQString(std::string_view cp932) {
  const iconv_t cd = Shared().toUtf16;
  // Every CP932 character is in the Basic Multilingual Plane: no byte takes more than
  // one UTF-16 unit, nor does U+FFFD.
  QString text(static_cast<qsizetype>(cp932.size()), Qt::Uninitialized);
  char* in = const_cast<char*>(cp932.data());
  char* const end = in + cp932.size();
  char* const start = reinterpret_cast<char*>(text.data());
  char* out = start;
  size_t outLeft = cp932.size() * sizeof(char16_t);
  if (cd != Converters::kInvalid) iconv(cd, nullptr, nullptr, nullptr, nullptr);
  // ASCII reads as itself, and is copied: a chat line is mostly markup, and the converter
  // takes its every byte through two conversions. The rest goes to the converter a run at
  // a time, a run ending where a character that is ASCII begins (a trail byte may look
  // like one); from a sequence it cannot read on, it takes all that is left.
  while (in < end) {
    char* ascii = in;
    while (ascii < end && static_cast<unsigned char>(*ascii) < 0x80) ++ascii;
    QChar* const copied = reinterpret_cast<QChar*>(out);
    for (char* byte = in; byte < ascii; ++byte) copied[byte - in] = QLatin1Char(*byte);
    out += (ascii - in) * sizeof(char16_t);
    outLeft -= static_cast<size_t>(ascii - in) * sizeof(char16_t);
    in = ascii;
    char* runEnd = in;
    while (runEnd < end && static_cast<unsigned char>(*runEnd) >= 0x80)
      runEnd += IsLeadByte(static_cast<unsigned char>(*runEnd)) && runEnd + 1 < end ? 2 : 1;
    size_t runLeft = static_cast<size_t>(runEnd - in);
    if (cd == Converters::kInvalid ||
        iconv(cd, &in, &runLeft, &out, &outLeft) == static_cast<size_t>(-1)) {
      size_t inLeft = static_cast<size_t>(end - in);
      ConvertWithReplacements(cd, in, inLeft, out, outLeft);
      break;
    }
  }
  text.truncate(static_cast<qsizetype>(static_cast<size_t>(out - start) / sizeof(char16_t)));
  return text;
}

std::string ToCp932(QStringView text) {
  const iconv_t cd = Shared().fromUcs4;
  const auto ucs4 = text.toUcs4();  // unpaired surrogates are U+FFFD already
  std::string result;
  result.reserve(static_cast<size_t>(ucs4.size()) * 2);
  std::array<char, 1024> chunk;
  char* in = reinterpret_cast<char*>(const_cast<uint*>(ucs4.data()));
  size_t inLeft = static_cast<size_t>(ucs4.size()) * sizeof(uint);
  if (cd != Converters::kInvalid) iconv(cd, nullptr, nullptr, nullptr, nullptr);
  while (inLeft > 0) {
    char* out = chunk.data();
    size_t outLeft = chunk.size();
    bool stuck = true;  // at a character the converter cannot take
    if (cd != Converters::kInvalid) {
      stuck = iconv(cd, &in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1) && errno != E2BIG;
    }
    result.append(chunk.data(), out - chunk.data());
    if (!stuck) continue;
    // in points at a character CP932 cannot hold (or there is no converter).
    char32_t codePoint;
    std::memcpy(&codePoint, in, sizeof codePoint);
    if (codePoint < 0x80) {
      result += static_cast<char>(codePoint);
    } else {
      AppendReference(result, codePoint);
    }
    in += sizeof codePoint;
    inLeft -= sizeof codePoint;
  }
  return result;
}

size_t Cp932Length(QStringView text) { return ToCp932(text).size(); }

qsizetype Cp932FittingPrefix(QStringView text, size_t maxBytes) {
  size_t bytes = 0;
  qsizetype end = 0;
  while (end < text.size()) {
    const qsizetype width =
        text[end].isHighSurrogate() && end + 1 < text.size() && text[end + 1].isLowSurrogate() ? 2
                                                                                               : 1;
    bytes += Cp932Length(text.sliced(end, width));
    if (bytes > maxBytes) break;
    end += width;
  }
  return end;
}

}  // namespace murelo
