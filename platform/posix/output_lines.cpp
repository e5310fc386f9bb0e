#include "platform/posix/output_lines.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/posix/event_loop.h"

namespace murelo {

COutputLines::COutputLines(int fd) : m_fd(fd) {
  struct stat info;
  if (fstat(fd, &info) != 0 || S_ISREG(info.st_mode)) return;  // a file never waits on a reader
  if (S_ISSOCK(info.st_mode)) {  // a journal's: each send says it must not wait
    m_bSocket = true;
  } else {
    // A pipe or a terminal: a new open description of it, so that O_NONBLOCK is ours
    // alone and not also the shell's, which shares the one we were given.
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    const int own = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (own >= 0) {
      m_fd = own;
      m_bOwnFd = true;
    } else {
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);  // without /proc, the shared one
    }
  }
  m_writeWatch =
      EventLoop().Watch(m_fd, CEventLoop::Readiness::kWritable, [this](bool) { Flush(); });
}

COutputLines::~COutputLines() {
  Flush();  // as far as the reader takes it now
  m_writeWatch.reset();
  if (m_bOwnFd) close(m_fd);
}

void COutputLines::Write(std::string_view line) {
  if (m_bGone) return;
  if (m_buffer.size() - m_nWritten + line.size() + 1 > kMaxBufferedBytes) {
    ++m_nDropped;
    return;
  }
  m_buffer.append(line);
  m_buffer += '\n';
  FlushLater();
}

void COutputLines::FlushLater() {
  if (!EventLoopInstalled()) return Flush();
  if (m_bReaderBehind || std::exchange(m_bFlushPosted, true)) return;  // writability flushes
  EventLoop().Post([this, alive = std::weak_ptr(m_lifetime)] {
    if (alive.expired()) return;
    m_bFlushPosted = false;
    Flush();
  });
}

void COutputLines::Flush() {
  while (m_nWritten < m_buffer.size()) {
    const char* bytes = m_buffer.data() + m_nWritten;
    const size_t size = m_buffer.size() - m_nWritten;
    const ssize_t n =
        m_bSocket ? send(m_fd, bytes, size, MSG_DONTWAIT | MSG_NOSIGNAL) : write(m_fd, bytes, size);
    if (n > 0) {
      m_nWritten += static_cast<size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && m_writeWatch) {
      m_writeWatch->SetEnabled(true);
      m_bReaderBehind = true;
      return;
    } else if (n < 0 && errno != EINTR) {
      m_bGone = true;
      m_writeWatch.reset();
      m_buffer.clear();
      m_nWritten = 0;
      return;
    }
  }
  m_buffer.clear();
  m_nWritten = 0;
  if (m_writeWatch) m_writeWatch->SetEnabled(false);
  m_bReaderBehind = false;
  if (m_nDropped > 0) {
    const size_t dropped = std::exchange(m_nDropped, 0);
    Write("murelo: ほか " + std::to_string(dropped) + " 行を出力できませんでした");
  }
}

}  // namespace murelo
