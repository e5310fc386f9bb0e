// The program's one event loop, as the socket layer needs it: readiness of file
// descriptors and work deferred until the running handler has returned. The program
// and its tests install Qt's loop (qt_event_loop.h); everything runs on its thread.
#pragma once

#include <functional>
#include <memory>

namespace murelo {

/// A watch on one kind of readiness of one file descriptor; starts disabled.
/// Destroying it ends the watch, also from inside its own callback.
class CFdWatch {
 public:
  virtual ~CFdWatch() = default;
  virtual void SetEnabled(bool enabled) = 0;
};

class CEventLoop {
 public:
  enum class Readiness { kReadable, kWritable };
  /// Called with whether the report is known to have bytes to read. A readable report
  /// without them may be the peer's close or an error; a writable one never has them.
  using OnReady = std::function<void(bool bytesWaiting)>;

  virtual ~CEventLoop() = default;

  /// Calls onReady from the loop each time fd is ready while the watch is enabled.
  virtual std::unique_ptr<CFdWatch> Watch(int fd, Readiness readiness, OnReady onReady) = 0;

  /// Runs task once from the loop, after the handler now running has returned.
  virtual void Post(std::function<void()> task) = 0;

  /// Runs task once from the loop after delayMs milliseconds.
  virtual void PostDelayed(int delayMs, std::function<void()> task) = 0;
};

/// Installs the loop every socket uses; it must outlive them.
void SetEventLoop(CEventLoop* loop);
CEventLoop& EventLoop();
bool EventLoopInstalled();

}  // namespace murelo
