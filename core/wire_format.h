// The byte format of messages on a connection, as pure functions over bytes.
//
//   stream  = *message
//   message = encoded-text terminator
//   encoded-text = 0*1023 byte   ; each text byte b written as (b + 1) mod 256
//   terminator   = %x00
//
// A sender takes at most the first 1024 bytes of a text; a text byte 0xFF would be
// written as 0x00 and so ends the text there. A receiver decodes every byte other
// than 0x00 as b - 1; any byte that decodes to 0x00 (0x00 and 0x01 on the wire) ends
// a message. Texts longer than 1023 bytes are never delivered: a receiver drops such
// a message whole, up to its terminator. An empty message (a lone terminator) is
// no message and is ignored. Messages may be split across reads in any way.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace murelo {

inline constexpr size_t kMaxSentText = 1024;
inline constexpr size_t kMaxReceivedText = 1023;

/// The wire bytes of text, terminator included.
std::string EncodeMessage(std::string_view text);
/// Appends the wire bytes of text, terminator included, to wire.
void AppendEncodedMessage(std::string& wire, std::string_view text);

/// Reassembles the messages of one connection from its bytes as they arrive.
class CMessageFramer {
 public:
  /// Decodes wireBytes and appends every message they complete to messages, in order.
  void Feed(std::string_view wireBytes, std::vector<std::string>& messages);
  /// Forgets any partial message, for a new connection.
  void Reset();

 private:
  std::string m_strPending;  // decoded bytes of the message under way
  bool m_bDropping = false;  // the message under way is too long and is skipped
};

}  // namespace murelo
