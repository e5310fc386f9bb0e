#include "core/wire_format.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace murelo {

namespace {

/// out[i] = in[i] + delta for every byte, eight at a time as one 64-bit sum: a byte
/// never carries into (or borrows from) the next, since the text to encode has no 0xff
/// and the wire to decode no 0x00 or 0x01, whatever the byte order. GCC's -O2 leaves a
/// byte loop unvectorised, and every relayed message goes through here twice.
template <int delta>
void ShiftBytes(const char* in, char* out, size_t size) {
  constexpr uint64_t kEveryByte = 0x0101010101010101;
  size_t i = 0;
  for (; i + sizeof(uint64_t) <= size; i += sizeof(uint64_t)) {
    uint64_t word;
    std::memcpy(&word, in + i, sizeof word);
    word = delta > 0 ? word + kEveryByte : word - kEveryByte;
    std::memcpy(out + i, &word, sizeof word);
  }
  for (; i < size; ++i) out[i] = static_cast<char>(static_cast<unsigned char>(in[i]) + delta);
}

}  // namespace

std::string EncodeMessage(std::string_view text) {
  std::string wire;
  AppendEncodedMessage(wire, text);
  return wire;
}

void AppendEncodedMessage(std::string& wire, std::string_view text) {
  text = text.substr(0, std::min(text.size(), kMaxSentText));
  text = text.substr(0, std::min(text.size(), text.find('\xff')));
  const size_t at = wire.size();
  wire.resize(at + text.size() + 1, '\0');
  ShiftBytes<+1>(text.data(), wire.data() + at, text.size());
}

void CMessageFramer::Feed(std::string_view wireBytes, std::vector<std::string>& messages) {
  if (wireBytes.empty()) return;  // memchr wants a pointer, even for no bytes
  // A message ends at an encoded NUL (1), or at a raw NUL, which older copies take for
  // one too. Each is found with memchr, the C library's vectorised search, and where
  // each next lies is kept until passed, so that no byte is searched twice for either.
  const auto find = [wireBytes](char byte, size_t from) {
    const void* found = std::memchr(wireBytes.data() + from, byte, wireBytes.size() - from);
    return found == nullptr
               ? wireBytes.size()
               : static_cast<size_t>(static_cast<const char*>(found) - wireBytes.data());
  };
  size_t encodedNul = find('\1', 0);
  size_t rawNul = find('\0', 0);
  for (size_t at = 0; at < wireBytes.size();) {
    if (encodedNul < at) encodedNul = find('\1', at);
    if (rawNul < at) rawNul = find('\0', at);
    const size_t end = std::min(encodedNul, rawNul);
    const std::string_view part = wireBytes.substr(at, end - at);
    if (!m_bDropping) {
      if (m_strPending.size() + part.size() > kMaxReceivedText) {
        m_strPending.clear();
        m_bDropping = true;
      } else {
        // Each message is decoded once, straight into its own string; part holds no
        // terminator, so no byte borrows from the next.
        const size_t size = m_strPending.size();
        m_strPending.resize(size + part.size());
        ShiftBytes<-1>(part.data(), m_strPending.data() + size, part.size());
      }
    }
    if (end == wireBytes.size()) return;
    if (!m_bDropping && !m_strPending.empty()) messages.push_back(std::move(m_strPending));
    m_strPending.clear();
    m_bDropping = false;
    at = end + 1;
  }
}

void CMessageFramer::Reset() {
  m_strPending.clear();
  m_bDropping = false;
}

}  // namespace murelo
