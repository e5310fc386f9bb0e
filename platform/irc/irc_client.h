// CIrcClient: one IRC connection that stays in one channel. It connects, over TLS when
// asked, registers under its nick (with a number added while that nick is taken), joins
// the channel and answers the server's pings. What it is given to say waits in a bounded
// queue and goes out paced, so that the server never throttles or drops it for
// flooding; lines said while the connection is down wait there too. When the connection
// ends, fails or goes silent, it connects again after a delay that doubles each time,
// up to a minute. Everything runs on the thread's event loop: name lookups, connecting
// and TLS never block it.
//
// User-interface thread only.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTcpSocket>
#include <QTimer>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/irc/irc_line.h"

namespace murelo {

/// Where the client goes and who it is there.
struct CIrcEndpoint {
  bool bTls = false;
  QString strHost;
  quint16 nPort = 6667;
  QString strChannel;  // with its # or &
  QString strNick = QStringLiteral("murelo");
  QByteArray password;           // the server's, empty for none
  QByteArray extraCertificates;  // PEM, trusted besides the system's
  QString strUser;               // the user name of USER
  QString strRealName;
};

/// How fast the client may send: a burst, then a steady rate; and how many lines may
/// wait before the oldest is dropped.
struct CIrcPacing {
  double linesPerSecond = 4;
  int nBurst = 4;
  int nQueueLines = 500;
};

/// A message someone else said in the channel, as the server relayed it.
struct CIrcChannelMessage {
  std::string strNick;
  std::string strUser;  // without a leading ~
  std::string strText;  // UTF-8 as sent, formatting and all
};

class CIrcClient {
 public:
  /// What the client tells its owner, on the loop's thread.
  struct Listener {
    std::function<void(const CIrcChannelMessage&)> heard;  // a PRIVMSG to the channel
    /// The client is in the channel (true) or no longer (false), with a reason.
    std::function<void(bool up, const QString& why)> state;
    std::function<void()> dropping;  // the queue is full: the oldest lines go
  };

  static constexpr std::chrono::seconds kMaxRetryDelay{60};

  CIrcClient(CIrcEndpoint endpoint, CIrcPacing pacing, Listener listener);
  /// Says QUIT, without waiting for it to go, and tells the listener nothing more.
  ~CIrcClient();
  CIrcClient(const CIrcClient&) = delete;
  CIrcClient& operator=(const CIrcClient&) = delete;

  /// Connects for the first time.
  void Start();

  /// Queues a PRIVMSG (or a NOTICE) to the channel. utf8 is cut into as many messages as
  /// keep each relayed line within IRC's 512 bytes, each starting with head.
  void Say(std::string_view head, std::string_view utf8, bool notice = false);

 private:
  void Connect();
  void Registered();
  void ReadLines();
  void Handle(const CIrcLine& line);
  /// Closes the connection and connects again later; why is told once per outage.
  void Retry(const QString& why);
  void SendNow(const std::string& line);
  void SendQueued();
  /// The bytes a relayed PRIVMSG to the channel takes besides its text.
  size_t RelayOverhead() const;

  const CIrcEndpoint m_endpoint;
  const CIrcPacing m_pacing;
  const Listener m_listener;
  std::unique_ptr<QTcpSocket> m_socket;  // a QSslSocket for TLS
  QByteArray m_received;
  QString m_strNick;
  int m_nNickTries = 0;
  bool m_bJoined = false;
  bool m_bToldDown = false;
  std::string m_strOwnPrefix;  // as the server shows our lines to others, once it has
  std::chrono::steady_clock::time_point m_joinedAt;
  std::deque<std::string> m_queue;
  bool m_bDropping = false;  // lines were dropped since the queue last emptied
  double m_tokens = 0;
  std::chrono::steady_clock::time_point m_tokensAt;
  std::chrono::seconds m_retryDelay{1};
  std::chrono::steady_clock::time_point m_lastHeard;
  QTimer m_retryTimer;
  QTimer m_sendTimer;
  QTimer m_watchTimer;  // pings a quiet server, gives up on a silent one
};

}  // namespace murelo
