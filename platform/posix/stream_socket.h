// CStreamSocket: a non-blocking IPv4 TCP socket whose events arrive as notifications
// from the program's event loop (event_loop.h), one at a time, each with an error
// code (0 for success, else an errno value).
//
// A notification is not delivered again until the call that answers it has been
// made: after OnAccept, none until Accept; after OnReceive, none until Receive. So a
// handler that opens a modal box before answering sees exactly one notification.
//
// Sending never blocks and never raises SIGPIPE. Bytes are queued and written when
// the running handler has returned, gathered into one system call per connection;
// what the kernel does not take at once is written when the socket is writable. A
// queue that the kernel leaves above kHighWaterBytes is a backlog, reported through
// OnBacklog until it is written down to kLowWaterBytes: the owner can then stop taking
// in what would only add to it. A connection whose backlog lasts kMaxBacklogMs, or
// whose queue passes kMaxQueuedBytes, is a peer that cannot keep up: it is dropped and
// reported through OnClose with ENOBUFS. Close hands the connection to a closer that
// still delivers everything sent before it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace murelo {

class CFdWatch;

class CStreamSocket {
 public:
  static constexpr size_t kHighWaterBytes = 256 << 10;
  static constexpr size_t kLowWaterBytes = 64 << 10;
  static constexpr int kMaxBacklogMs = 2000;
  static constexpr size_t kMaxQueuedBytes = 2 << 20;
  /// How long a listener waits before it accepts again when the process or the system
  /// has no descriptor or memory to spare.
  static constexpr int kAcceptRetryMs = 100;

  CStreamSocket();
  /// Closes the socket if it is open.
  virtual ~CStreamSocket();
  CStreamSocket(const CStreamSocket&) = delete;
  CStreamSocket& operator=(const CStreamSocket&) = delete;

  /// Opens a socket bound to port on every local interface (0: any free port). A
  /// fixed port is bound with SO_REUSEADDR so a host can restart at once.
  bool Create(uint16_t port);
  /// Starts listening; each waiting connection is announced by OnAccept.
  bool Listen(int backlog);
  /// Attaches the waiting connection to into, closing what into held, and re-arms
  /// OnAccept.
  bool Accept(CStreamSocket& into);
  /// Starts connecting a created socket to host (a dotted address, or a name that is
  /// resolved before the call returns) at port. The outcome arrives as OnConnect.
  bool Connect(const std::string& host, uint16_t port);
  /// Queues bytes for the peer; does nothing unless connected.
  void Send(std::string_view bytes);
  /// Reads at most size bytes: the count, 0 once the peer has closed, -1 when nothing
  /// can be read. Re-arms OnReceive, unless receiving is paused.
  ssize_t Receive(char* buffer, size_t size);
  /// While paused, OnReceive is not announced: the peer's bytes wait in the kernel, and
  /// TCP holds the peer back once its window is full.
  void PauseReceiving(bool paused);
  /// Closes the socket; does nothing if it is not open. The object can then be
  /// created or accepted into again.
  void Close();

  bool IsOpen() const { return m_fd >= 0; }
  bool IsBacklogged() const { return m_bBacklogged; }

  /// Writes every queued byte of closed connections, half-closes them and waits for
  /// their peers to close, for at most timeoutMs in all. For the end of the program,
  /// when the event loop will not turn again: the default is how long the program
  /// waits for its farewells to reach the peers.
  static void FinishClosingConnections(int timeoutMs = 2000);
  /// While one lives, sends are gathered without waking the loop; when it goes, all that
  /// every socket has queued is written at once, rather than once the running handler
  /// has returned. For a burst of sends that runs no event loop, whose bytes should go
  /// before anything slower the handler does next.
  class CSendBatch {
   public:
    CSendBatch();
    ~CSendBatch();
    CSendBatch(const CSendBatch&) = delete;
    CSendBatch& operator=(const CSendBatch&) = delete;
  };

 protected:
  virtual void OnAccept(int error);
  virtual void OnConnect(int error);
  virtual void OnReceive(int error);
  /// The queue has been written out after the kernel had refused part of it.
  virtual void OnSend(int error);
  /// A backlog began (true) or ended (false).
  virtual void OnBacklog(bool backlogged);
  virtual void OnClose(int error);

 private:
  enum class Mode { kClosed, kCreated, kListening, kConnecting, kConnected };

  void Attach(int fd);
  void OnReadable(bool bytesWaiting);
  void OnWritable();
  void ScheduleFlush();
  void Flush();
  void UpdateBacklog();
  /// Drops the connection with a reset, unsent bytes and all, and reports it closed.
  void Cut(int error);
  void ReportClose(int error);
  void ReportCloseLater(int error);
  void ReportConnectLater(int error);
  void Release();

  int m_fd = -1;
  Mode m_mode = Mode::kClosed;
  bool m_bCloseReported = false;  // a connection reports its end once
  bool m_bFlushPosted = false;
  bool m_bWriteBlocked = false;  // the kernel refused part of the queue; wait for writability
  bool m_bBacklogged = false;
  uint64_t m_nBacklogs = 0;  // backlogs so far: the one a deadline was set for
  bool m_bReceivePaused = false;
  bool m_bReceiveOwed = false;  // OnReceive was announced and Receive not called yet
  std::string m_outQueue;
  size_t m_nOutSent = 0;  // bytes of m_outQueue already written
  std::unique_ptr<CFdWatch> m_readWatch;
  std::unique_ptr<CFdWatch> m_writeWatch;
  // Deferred work holds m_lifetime weakly and the connection number it was meant
  // for, so it never reaches a destroyed socket or a later connection of the object.
  std::shared_ptr<char> m_lifetime;
  uint64_t m_nConnection = 0;

  friend class CFlushQueue;
};

}  // namespace murelo
