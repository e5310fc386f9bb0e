// COutputLines: standard output or standard error of a program that must never wait for
// whoever reads it: a pipe nobody drains, a terminal paused with Ctrl+S, a journal that
// lags. Lines are written without blocking, through a buffer of at most kMaxBufferedBytes;
// while the reader is behind by more than that, new lines are dropped, and once it has
// caught up one line says how many. A reader that has gone gets nothing more. The lines
// of one turn of the event loop go out in one write: a room relaying a burst of lines
// would otherwise make a system call for each.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace murelo {

class CFdWatch;

class COutputLines {
 public:
  static constexpr size_t kMaxBufferedBytes = 256 << 10;

  /// fd stays open; writing needs the event loop to be installed.
  explicit COutputLines(int fd);
  ~COutputLines();
  COutputLines(const COutputLines&) = delete;
  COutputLines& operator=(const COutputLines&) = delete;

  /// Writes line and a line feed once the running handler has returned (at once when
  /// no loop is installed), as far as the reader takes them, and the rest when it can.
  void Write(std::string_view line);

 private:
  void Flush();
  void FlushLater();

  int m_fd;
  bool m_bOwnFd = false;  // a description of our own, opened non-blocking
  bool m_bSocket = false;
  bool m_bGone = false;  // the reader has gone
  std::string m_buffer;
  size_t m_nWritten = 0;  // bytes of m_buffer already written
  size_t m_nDropped = 0;  // lines dropped since the last that was written
  bool m_bFlushPosted = false;
  bool m_bReaderBehind = false;  // the write watch is on
  std::unique_ptr<CFdWatch> m_writeWatch;
  std::shared_ptr<char> m_lifetime = std::make_shared<char>();  // posted flushes hold it weakly
};

}  // namespace murelo
