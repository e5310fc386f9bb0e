// CFlushQueue: the sockets with bytes queued this turn, written out by one posted task,
// so that a message relayed to twenty clients costs one task and twenty writes per turn.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace murelo {

class CStreamSocket;

class CFlushQueue {
 public:
  /// socket's queued bytes are written once the running handler has returned, unless
  /// the socket is gone or holds another connection by then.
  static void Add(CStreamSocket& socket);
  /// Between the two, Add wakes no loop; Release writes all that waits.
  static void Hold() { ++s_nHolds; }
  static void Release();

 private:
  static void FlushAll();

  struct Waiting {
    CStreamSocket* socket;
    std::weak_ptr<char> alive;
    uint64_t connection;
  };

  static inline std::vector<Waiting> s_waiting;
  // The storage of the last list written out, for the next: a relay fills the list at
  // every read, and growing it anew each time was most of a relayed line's allocations.
  static inline std::vector<Waiting> s_spare;
  static inline int s_nHolds = 0;
};

}  // namespace murelo
