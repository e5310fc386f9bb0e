// CClosingConnection: a connection the program has closed: it still writes what was queued, then
// half-closes and reads until the peer closes too, so the peer receives every byte
// (closing with unread input would reset the connection and could lose them).
// A peer that never closes is cut off after kLingerMs. At most kMaxClosing connections
// linger so: beyond them, one is reset at once, so that peers who connect and never
// close cannot hold the program's descriptors.
//
// The connections being closed are kept here, by number, so that an event for one that
// has already finished finds nothing rather than a destroyed object.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace murelo {

class CFdWatch;

class CClosingConnection {
 public:
  static constexpr int kLingerMs = 10000;
  static constexpr size_t kMaxClosing = 128;

  /// Takes over fd, with the bytes still to be written to it.
  static void Start(int fd, std::string pending);

  /// Blocks until every connection being closed has finished, or timeoutMs has passed;
  /// then closes what is left. For the end of the program.
  static void FinishAll(int timeoutMs);

  ~CClosingConnection();
  CClosingConnection(const CClosingConnection&) = delete;
  CClosingConnection& operator=(const CClosingConnection&) = delete;

 private:
  CClosingConnection(uint64_t id, int fd, std::string pending);
  static void Step(uint64_t id);
  /// Moves the close on as far as it can go now; ends it (destroying this) when done.
  void Advance();
  /// Reads and discards input. False when the connection failed.
  bool Drain();
  void Finish();

  static inline std::map<uint64_t, std::unique_ptr<CClosingConnection>> s_closing;
  static inline uint64_t s_nextId = 1;

  const uint64_t m_id;
  const int m_fd;
  std::string m_pending;
  bool m_bHalfClosed = false;
  bool m_bPeerClosed = false;
  std::unique_ptr<CFdWatch> m_readWatch;
  std::unique_ptr<CFdWatch> m_writeWatch;
};

}  // namespace murelo
