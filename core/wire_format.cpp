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

void CMessageFramer::Feed(std::string_view wireBytes, std::vector<std::string>& messages) {
  std::string decoded(wireBytes.size(), '\0');
  char* out = decoded.data();
  for (size_t i = 0; i < wireBytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(wireBytes[i]);
    out[i] = static_cast<char>(byte == 0 ? 0 : byte - 1);
  }

  std::string_view rest = decoded;
  while (!rest.empty()) {
    const size_t end = rest.find('\0');
    const std::string_view part = rest.substr(0, end);
    if (!m_bDropping) {
      if (m_strPending.size() + part.size() > kMaxReceivedText) {
        m_strPending.clear();
        m_bDropping = true;
      } else {
        m_strPending.append(part);
      }
    }
    if (end == std::string_view::npos) return;
    if (!m_bDropping && !m_strPending.empty()) messages.push_back(std::move(m_strPending));
    m_strPending.clear();
    m_bDropping = false;
    rest.remove_prefix(end + 1);
  }
}

void CMessageFramer::Reset() {
  m_strPending.clear();
  m_bDropping = false;
}

}  // namespace murelo
