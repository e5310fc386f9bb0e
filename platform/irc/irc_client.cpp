#include "platform/irc/irc_client.h"

#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>
#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

#include "platform/irc/irc_text.h"

namespace murelo {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::seconds;

constexpr int kMaxNickTries = 99;
constexpr int kNickLength = 9;  // RFC 2812's, and ngIRCd's default
// Beyond these a server that says nothing is pinged, and then given up on; registering
// and joining must be done within the first.
constexpr seconds kQuietAfter{60};
constexpr seconds kSilentAfter{150};
constexpr seconds kWatchInterval{10};
// A server whose line grows past this without ending is broken or hostile.
constexpr qsizetype kMaxReceivedLine = 16384;
// Sending waits while this much is still unsent: the server is not reading.
constexpr qint64 kMaxUnsent = 65536;
// Our prefix as others see it, until the server shows it: nick!~user@ and a host name as
// long as ngIRCd allows, with room for the number a taken nick gets.
constexpr size_t kAssumedHostBytes = 63;
constexpr size_t kNickNumberBytes = 2;
// A text always gets this much of a line, however long the head before it.
constexpr size_t kMinTextBytes = 16;

bool SameChannel(std::string_view a, const QString& b) {
  return QString::fromUtf8(a.data(), static_cast<qsizetype>(a.size()))
             .compare(b, Qt::CaseInsensitive) == 0;
}

std::string_view Param(const CIrcLine& line, size_t index) {
  return index < line.params.size() ? std::string_view(line.params[index]) : std::string_view();
}

}  // namespace

CIrcClient::CIrcClient(CIrcEndpoint endpoint, CIrcPacing pacing, Listener listener)
    : m_endpoint(std::move(endpoint)), m_pacing(pacing), m_listener(std::move(listener)) {
  m_tokens = m_pacing.nBurst;
  m_tokensAt = Clock::now();
  m_retryTimer.setSingleShot(true);
  m_sendTimer.setSingleShot(true);
  QObject::connect(&m_retryTimer, &QTimer::timeout, [this] { Connect(); });
  QObject::connect(&m_sendTimer, &QTimer::timeout, [this] { SendQueued(); });
  QObject::connect(&m_watchTimer, &QTimer::timeout, [this] {
    if (m_retryTimer.isActive()) return;
    const auto quiet = Clock::now() - m_lastHeard;
    if (quiet > kSilentAfter || (!m_bJoined && quiet > kQuietAfter))
      Retry(QStringLiteral("サーバーから応答がありません"));
    else if (quiet > kQuietAfter)
      SendNow(IrcCommand("PING", {}, "murelo"));
  });
  // Plain IRC needs no TLS library: the room loads one only for ircs://.
  QSslSocket* const tls = m_endpoint.bTls ? new QSslSocket : nullptr;
  m_socket.reset(tls ? tls : new QTcpSocket);
  QTcpSocket* const socket = m_socket.get();
  QObject::connect(socket, &QTcpSocket::connected, [this] {
    if (!m_endpoint.bTls) Registered();
  });
  QObject::connect(socket, &QTcpSocket::readyRead, [this] { ReadLines(); });
  QObject::connect(socket, &QTcpSocket::bytesWritten, [this] { SendQueued(); });
  QObject::connect(socket, &QTcpSocket::disconnected,
                   [this] { Retry(QStringLiteral("サーバーが接続を閉じました")); });
  QObject::connect(socket, &QTcpSocket::errorOccurred,
                   [this](QAbstractSocket::SocketError) { Retry(m_socket->errorString()); });
  if (!tls) return;
  QObject::connect(tls, &QSslSocket::encrypted, [this] { Registered(); });
  QObject::connect(tls, &QSslSocket::sslErrors, [this](const QList<QSslError>& errors) {
    Retry(errors.isEmpty() ? m_socket->errorString() : errors.first().errorString());
  });
}

CIrcClient::~CIrcClient() {
  QObject::disconnect(m_socket.get(), nullptr, nullptr, nullptr);
  if (m_socket->state() == QAbstractSocket::ConnectedState) {
    SendNow(IrcCommand("QUIT", {}, {}));
    m_socket->flush();
  }
}

void CIrcClient::Start() {
  m_watchTimer.start(kWatchInterval);
  Connect();
}

void CIrcClient::Connect() {
  m_socket->abort();
  m_received.clear();
  m_strOwnPrefix.clear();
  m_bJoined = false;
  m_nNickTries = 0;
  m_strNick = m_endpoint.strNick;
  m_lastHeard = Clock::now();
  if (!m_endpoint.bTls) {
    m_socket->connectToHost(m_endpoint.strHost, m_endpoint.nPort);
    return;
  }
  QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
  tls.addCaCertificates(QSslCertificate::fromData(m_endpoint.extraCertificates, QSsl::Pem));
  auto* socket = static_cast<QSslSocket*>(m_socket.get());
  socket->setSslConfiguration(tls);
  socket->connectToHostEncrypted(m_endpoint.strHost, m_endpoint.nPort);
}

void CIrcClient::Registered() {
  if (!m_endpoint.password.isEmpty())
    SendNow(IrcCommand("PASS", {}, m_endpoint.password.toStdString()));
  SendNow(IrcCommand("NICK", {m_strNick.toStdString()}, {}));
  SendNow(IrcCommand("USER", {m_endpoint.strUser.toStdString(), "0", "*"},
                     m_endpoint.strRealName.toStdString()));
}

void CIrcClient::ReadLines() {
  m_lastHeard = Clock::now();
  m_received += m_socket->readAll();
  // Handled lines are removed once, after the last: a read of many short lines costs
  // its length, not its length times their number.
  const QByteArray received = std::exchange(m_received, {});
  qsizetype start = 0;
  for (qsizetype end; (end = received.indexOf('\n', start)) >= 0; start = end + 1) {
    std::string_view text(received.constData() + start, static_cast<size_t>(end - start));
    if (text.ends_with('\r')) text.remove_suffix(1);
    CIrcLine line;
    if (ParseIrcLine(text, line)) Handle(line);
    if (m_retryTimer.isActive()) return;  // the line ended the connection
  }
  m_received = received.sliced(start);
  if (m_received.size() > kMaxReceivedLine) Retry(QStringLiteral("サーバーの行が長すぎます"));
}

void CIrcClient::Handle(const CIrcLine& line) {
  const std::string& command = line.strCommand;
  const bool mine = line.Nick() == m_strNick.toStdString();
  if (command == "PING") {
    SendNow(IrcCommand("PONG", {}, Param(line, 0)));
  } else if (command == "001") {
    m_strNick = QString::fromStdString(std::string(Param(line, 0)));
    SendNow(IrcCommand("JOIN", {m_endpoint.strChannel.toStdString()}, {}));
  } else if (!m_bJoined &&
             (command == "432" || command == "433" || command == "436" || command == "437") &&
             !SameChannel(Param(line, 1), m_endpoint.strChannel)) {
    // The nick is taken or not allowed here: the base with a number, within nine.
    if (++m_nNickTries > kMaxNickTries) return Retry(QStringLiteral("ニックネームが使えません"));
    const QString number = QString::number(m_nNickTries);
    m_strNick = m_endpoint.strNick.left(kNickLength - number.size()) + number;
    SendNow(IrcCommand("NICK", {m_strNick.toStdString()}, {}));
  } else if (command == "JOIN" && mine && SameChannel(Param(line, 0), m_endpoint.strChannel)) {
    m_bJoined = true;
    m_joinedAt = Clock::now();
    m_bToldDown = false;
    m_strOwnPrefix = line.strPrefix;
    m_listener.state(true, {});
    SendQueued();
  } else if (!m_bJoined && command.size() == 3 && command >= "403" && command <= "477" &&
             SameChannel(Param(line, 1), m_endpoint.strChannel)) {
    Retry(QString::fromUtf8(line.params.back()));  // full, banned, invite only, ...
  } else if (command == "KICK" && SameChannel(Param(line, 0), m_endpoint.strChannel) &&
             Param(line, 1) == m_strNick.toStdString()) {
    Retry(QStringLiteral("チャンネルから外されました: ") + QString::fromUtf8(Param(line, 2)));
  } else if (command == "NICK" && mine) {
    m_strNick = QString::fromUtf8(Param(line, 0));
    m_strOwnPrefix.clear();
  } else if (command == "PRIVMSG" && !mine && SameChannel(Param(line, 0), m_endpoint.strChannel)) {
    m_listener.heard(
        {std::string(line.Nick()), std::string(line.User()), std::string(Param(line, 1))});
  } else if (command == "ERROR") {
    Retry(QString::fromUtf8(Param(line, 0)));
  }
}

void CIrcClient::Retry(const QString& why) {
  if (m_retryTimer.isActive()) return;
  // A connection that lasted starts the delays afresh; one that a server or channel ends
  // at once, again and again, waits longer each time.
  if (m_bJoined && Clock::now() - m_joinedAt >= kMaxRetryDelay) m_retryDelay = seconds(1);
  m_retryTimer.start(m_retryDelay);
  m_retryDelay = std::min(m_retryDelay * 2, kMaxRetryDelay);
  m_socket->abort();
  m_bJoined = false;
  if (!std::exchange(m_bToldDown, true)) m_listener.state(false, why);
}

void CIrcClient::SendNow(const std::string& line) {
  m_socket->write(line.data(), static_cast<qint64>(line.size()));
}

void CIrcClient::Say(std::string_view head, std::string_view utf8, bool notice) {
  const std::string safeHead = IrcSafeText(head);
  const size_t used = RelayOverhead() + safeHead.size();
  const size_t room = used + kMinTextBytes < kIrcLineBytes ? kIrcLineBytes - used : kMinTextBytes;
  const std::string channel = m_endpoint.strChannel.toStdString();
  for (const std::string& piece : SplitUtf8(IrcSafeText(utf8), room)) {
    m_queue.push_back(IrcCommand(notice ? "NOTICE" : "PRIVMSG", {channel}, safeHead + piece));
    if (m_queue.size() <= static_cast<size_t>(m_pacing.nQueueLines)) continue;
    m_queue.pop_front();
    // Told once the running handler returns: the line that overflowed is still being
    // handled by the room.
    if (!std::exchange(m_bDropping, true))
      QTimer::singleShot(0, &m_watchTimer, [this] { m_listener.dropping(); });
  }
  SendQueued();
}

void CIrcClient::SendQueued() {
  if (!m_bJoined || m_queue.empty()) return;
  const Clock::time_point now = Clock::now();
  const double elapsed = std::chrono::duration<double>(now - m_tokensAt).count();
  m_tokens = std::min<double>(m_pacing.nBurst, m_tokens + elapsed * m_pacing.linesPerSecond);
  m_tokensAt = now;
  while (!m_queue.empty() && m_tokens >= 1 && m_socket->bytesToWrite() < kMaxUnsent) {
    SendNow(m_queue.front());
    m_queue.pop_front();
    m_tokens -= 1;
  }
  if (m_queue.empty()) {
    m_bDropping = false;
  } else if (m_tokens < 1 && !m_sendTimer.isActive()) {
    const double wait = (1 - m_tokens) / m_pacing.linesPerSecond;
    m_sendTimer.start(static_cast<int>(std::ceil(wait * 1000)));
  }  // else bytesWritten calls again
}

size_t CIrcClient::RelayOverhead() const {
  const size_t prefix = m_strOwnPrefix.empty()
                            ? static_cast<size_t>(m_strNick.toUtf8().size()) + kNickNumberBytes +
                                  2 + static_cast<size_t>(m_endpoint.strUser.toUtf8().size()) + 1 +
                                  kAssumedHostBytes
                            : m_strOwnPrefix.size();
  // ":" prefix " PRIVMSG " channel " :" text CR LF
  return 1 + prefix + 9 + static_cast<size_t>(m_endpoint.strChannel.toUtf8().size()) + 2 + 2;
}

}  // namespace murelo
