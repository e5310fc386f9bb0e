#include "platform/cp932.h"

#include <iconv.h>

#include <QList>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <vector>

namespace murelo {

namespace {

/// The two converters of a thread (the history's writer converts too), opened on its
/// first use and kept for the thread's life, with what the first has read each
/// character as so far. Where the C
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

  /// What toUtf16 reads the character at cp932 (one byte from 0x80 up, or a lead and a
  /// trail byte) as, or kUnreadable. The converter is asked once per character: a call to it costs
  /// hundreds of instructions, more than the rest of a short run of text.
  char16_t Unit(const unsigned char* cp932, size_t size) {
    if (learned.empty()) learned.resize(kTableSize, kUnasked);
    char16_t& unit =
        learned[size == 1 ? cp932[0] - 0x80u : 0x80u + (cp932[0] - 0x80u) * 0x100u + cp932[1]];
    if (unit == kUnasked) unit = Ask(cp932, size);
    return unit;
  }

  // iconv_open's own way of saying it failed.
  static inline const iconv_t kInvalid =
      reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)
  // No character of CP932 reads as either: U+0000 is ASCII's, U+FFFF is no character.
  static constexpr char16_t kUnasked = 0;
  static constexpr char16_t kUnreadable = 0xffff;
  iconv_t toUtf16;  // straight into a QString's own units
  iconv_t fromUcs4;

 private:
  // The bytes from 0x80 up, then every pair that starts with one of them: byte b at
  // b - 0x80, pair (lead, trail) at 0x80 + (lead - 0x80) * 0x100 + trail.
  static constexpr size_t kTableSize = 0x80 + 0x80 * 0x100;

  char16_t Ask(const unsigned char* cp932, size_t size) const {
    if (toUtf16 == kInvalid) return kUnreadable;
    char* in = reinterpret_cast<char*>(const_cast<unsigned char*>(cp932));
    char16_t units[2];
    char* out = reinterpret_cast<char*>(units);
    size_t inLeft = size;
    size_t outLeft = sizeof units;
    const bool read = iconv(toUtf16, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1);
    iconv(toUtf16, nullptr, nullptr, nullptr, nullptr);
    return read && inLeft == 0 && outLeft == sizeof units - sizeof(char16_t) && units[0] != kUnasked
               ? units[0]
               : kUnreadable;
  }

  std::vector<char16_t> learned;  // kUnasked until the converter is asked
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
  Converters& converters = Shared();
  // Every CP932 character is in the Basic Multilingual Plane: no byte takes more than
  // one UTF-16 unit, nor does U+FFFD.
  QString text(static_cast<qsizetype>(cp932.size()), Qt::Uninitialized);
  char16_t* out = reinterpret_cast<char16_t*>(text.data());
  const auto* in = reinterpret_cast<const unsigned char*>(cp932.data());
  const auto* const end = in + cp932.size();
  // ASCII reads as itself. A lead byte takes the next byte with it, though that may look
  // like ASCII. From a character the converter cannot read on, the converter takes all
  // that is left, with replacements.
  while (in < end) {
    if (*in < 0x80) {
      *out++ = *in++;
      continue;
    }
    const size_t size = IsLeadByte(*in) && in + 1 < end ? 2 : 1;
    const char16_t unit = converters.Unit(in, size);
    if (unit == Converters::kUnreadable) {
      char* rest = reinterpret_cast<char*>(const_cast<unsigned char*>(in));
      size_t restLeft = static_cast<size_t>(end - in);
      char* restOut = reinterpret_cast<char*>(out);
      size_t outLeft = restLeft * sizeof(char16_t);
      ConvertWithReplacements(converters.toUtf16, rest, restLeft, restOut, outLeft);
      out = reinterpret_cast<char16_t*>(restOut);
      break;
    }
    *out++ = unit;
    in += size;
  }
  text.truncate(out - reinterpret_cast<const char16_t*>(text.constData()));
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
