#include "platform/posix/flush_queue.h"

#include <utility>

#include "platform/posix/event_loop.h"
#include "platform/posix/stream_socket.h"

namespace murelo {

void CFlushQueue::Add(CStreamSocket& socket) {
  if (s_waiting.empty() && s_nHolds == 0) EventLoop().Post(FlushAll);
  s_waiting.push_back({&socket, socket.m_lifetime, socket.m_nConnection});
}

void CFlushQueue::Release() {
  if (--s_nHolds == 0) FlushAll();
}

void CFlushQueue::FlushAll() {
  std::vector<Waiting> waiting = std::exchange(s_waiting, std::move(s_spare));
  for (const Waiting& entry : waiting) {
    if (entry.alive.expired() || entry.socket->m_nConnection != entry.connection) continue;
    entry.socket->m_bFlushPosted = false;
    entry.socket->Flush();
  }
  waiting.clear();
  s_spare = std::move(waiting);
}

}  // namespace murelo
