#include "platform/termination_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

namespace murelo {

namespace {

int g_pipe[2] = {-1, -1};

void WriteToPipe(int) {
  const int savedErrno = errno;  // the code this interrupted may be about to read it
  const char byte = 1;
  // Only async-signal-safe calls here; a full pipe already carries the news.
  [[maybe_unused]] const ssize_t ignored = write(g_pipe[1], &byte, 1);
  errno = savedErrno;
}

}  // namespace

void OnTerminationSignal(std::function<void()> handler) {
  if (pipe2(g_pipe, O_NONBLOCK | O_CLOEXEC) != 0) return;
  auto* notifier =
      new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, notifier, [handler = std::move(handler)] {
    char bytes[16];
    while (read(g_pipe[0], bytes, sizeof bytes) > 0) {
    }
    handler();
  });
  struct sigaction action {};
  action.sa_handler = WriteToPipe;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    // A signal the starter chose to ignore (nohup, a background job) stays ignored.
    struct sigaction inherited {};
    if (sigaction(signal, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
  }
}

}  // namespace murelo
