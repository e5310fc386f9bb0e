#include "core/wire_format.h"

#include <algorithm>

namespace murelo {

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
  // Plain pointers: stores through the string's own iterator would make the compiler
  // reload the string at every byte.
  char* out = wire.data() + at;
  const char* in = text.data();
  for (size_t i = 0; i < text.size(); ++i)
    out[i] = static_cast<char>(static_cast<unsigned char>(in[i]) + 1);
}

namespace {

/// Where the first message in wire ends: at an encoded NUL (1), or at a raw NUL, which
/// older copies take for one too. One pass: searching the whole read for each byte in
/// turn would scan the rest of a read again for every message in it.
size_t FindTerminator(std::string_view wire) {
  const auto* end = std::find_if(wire.begin(), wire.end(),
                                 [](char byte) { return static_cast<unsigned char>(byte) <= 1; });
  return end == wire.end() ? std::string_view::npos : static_cast<size_t>(end - wire.begin());
}

void AppendDecoded(std::string& text, std::string_view wire) {
  const size_t at = text.size();
  text.resize(at + wire.size());
  char* out = text.data() + at;
  for (size_t i = 0; i < wire.size(); ++i)
    out[i] = static_cast<char>(static_cast<unsigned char>(wire[i]) - 1);
}

}  // namespace

void CMessageFramer::Feed(std::string_view wireBytes, std::vector<std::string>& messages) {
  // Each message is decoded once, straight into its own string.
  while (!wireBytes.empty()) {
    const size_t end = FindTerminator(wireBytes);
    const std::string_view part = wireBytes.substr(0, end);
    if (!m_bDropping) {
      if (m_strPending.size() + part.size() > kMaxReceivedText) {
        m_strPending.clear();
        m_bDropping = true;
      } else {
        AppendDecoded(m_strPending, part);
      }
    }
    if (end == std::string_view::npos) return;
    if (!m_bDropping && !m_strPending.empty()) messages.push_back(std::move(m_strPending));
    m_strPending.clear();
    m_bDropping = false;
    wireBytes.remove_prefix(end + 1);
  }
}

void CMessageFramer::Reset() {
  m_strPending.clear();
  m_bDropping = false;
}

}  // namespace murelo
