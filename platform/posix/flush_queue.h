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

 private:
  struct Waiting {
    CStreamSocket* socket;
    std::weak_ptr<char> alive;
    uint64_t connection;
  };

  static void FlushAll();

  static inline std::vector<Waiting> s_waiting;
};

}  // namespace murelo
