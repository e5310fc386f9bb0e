#include "platform/posix/event_loop.h"

#include <cassert>

namespace murelo {

namespace {
CEventLoop* g_loop = nullptr;
}

void SetEventLoop(CEventLoop* loop) { g_loop = loop; }

bool EventLoopInstalled() { return g_loop != nullptr; }

CEventLoop& EventLoop() {
  assert(g_loop != nullptr && "no event loop installed");
  return *g_loop;
}

}  // namespace murelo
