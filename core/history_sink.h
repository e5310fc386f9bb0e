// Where the conversation hands every line it logs, and the stays it makes in rooms, to
// be kept. The program's history store implements it; the conversation itself keeps no
// more than its 200 entries.
#pragma once

#include <cstdint>
#include <string>

namespace murelo {

/// A logged display message and where it was seen. Texts are CP932, as the wire has them.
struct CHistoryLine {
  int64_t nTimeMs = 0;  // when it arrived, milliseconds since the epoch (UTC)
  bool bChatLine = false;
  std::string strName;  // the sender's handle name and colour, for a chat line
  std::string strColor;
  std::string strAddress;  // the sender line
  std::string strHtml;     // line 0, as logged
};

class CHistorySink {
 public:
  /// A stay begins with its first line: when, where (the host's address as joined, or
  /// this copy's own when hosting), and this copy's name then.
  virtual void StayBegan(int64_t timeMs, const std::string& room, const std::string& name) = 0;
  virtual void LineLogged(CHistoryLine line) = 0;
  virtual void StayEnded(int64_t timeMs) = 0;

 protected:
  ~CHistorySink() = default;
};

}  // namespace murelo
