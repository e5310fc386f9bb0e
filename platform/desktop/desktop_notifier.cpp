#include "platform/desktop/desktop_notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <cstdlib>
#include <utility>

namespace murelo {

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kDefaultAction = QStringLiteral("default");
constexpr uchar kNormalUrgency = 1;
constexpr uchar kCriticalUrgency = 2;
constexpr int kTrayMessageMs = 10000;
}  // namespace

CDesktopNotifier::CDesktopNotifier(QIcon icon, QObject* parent)
    : QObject(parent), m_icon(std::move(icon)) {}

bool CDesktopNotifier::SessionBusUsable() {
  if (m_bBusChecked) return m_bBusUsable;
  m_bBusChecked = true;
  // Without an address, the bus library would try to launch a bus of its own.
  const QString runtime = QString::fromLocal8Bit(std::getenv("XDG_RUNTIME_DIR"));
  if (std::getenv("DBUS_SESSION_BUS_ADDRESS") == nullptr &&
      (runtime.isEmpty() || !QFileInfo::exists(runtime + "/bus")))
    return false;
  QDBusConnection bus = QDBusConnection::sessionBus();
  // Any sender: naming the service would have Qt ask the bus for its owner and wait.
  m_bBusUsable =
      bus.isConnected() && bus.connect(QString(), kPath, kService, QStringLiteral("ActionInvoked"),
                                       this, SLOT(OnActionInvoked(uint, QString)));
  return m_bBusUsable;
}

void CDesktopNotifier::Show(const QString& summary, const QString& body, bool critical) {
  // Without a bus there is no tray to ask either: Qt would look for one over a bus it
  // launched itself, and wait for it.
  if (!SessionBusUsable()) return;
  if (m_bCallPending) {
    m_waiting = CNotification{summary, body, critical};
    return;
  }
  m_bCallPending = true;
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, "Notify");
  const QVariantMap hints = {
      {"urgency", QVariant::fromValue(critical ? kCriticalUrgency : kNormalUrgency)},
      {"desktop-entry", QStringLiteral("murelo")}};
  // Services read the body as markup: what peers wrote shows as the text it is.
  call << QStringLiteral("murelo") << m_nShownId << IconPath() << summary << body.toHtmlEscaped()
       << QStringList{kDefaultAction, QStringLiteral("開く")} << hints << -1;
  auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this, summary, body](QDBusPendingCallWatcher* finished) {
            const QDBusPendingReply<uint> reply = *finished;
            if (reply.isError()) {
              ShowInTray(summary, body);
            } else {
              m_nShownId = reply.value();
            }
            finished->deleteLater();
            m_bCallPending = false;
            if (const std::optional<CNotification> next = std::exchange(m_waiting, std::nullopt))
              Show(next->strSummary, next->strBody, next->bCritical);
          });
}

void CDesktopNotifier::OnActionInvoked(uint id, const QString& action) {
  if (id == m_nShownId && action == kDefaultAction) emit clicked();
}

void CDesktopNotifier::ShowInTray(const QString& summary, const QString& body) {
  if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
  if (m_tray == nullptr) {
    m_tray = new QSystemTrayIcon(m_icon, this);
    connect(m_tray, &QSystemTrayIcon::messageClicked, this, &CDesktopNotifier::clicked);
  }
  m_tray->show();
  m_tray->showMessage(summary, body, m_icon, kTrayMessageMs);
}

QString CDesktopNotifier::IconPath() {
  // The service takes an icon by name or file; the program draws its own, so a file.
  if (m_strIconPath.isEmpty()) {
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    const QString path = dir + "/murelo-icon.png";
    if (QDir().mkpath(dir) && m_icon.pixmap(64, 64).save(path)) m_strIconPath = path;
  }
  return m_strIconPath;
}

}  // namespace murelo

#include "moc_desktop_notifier.cpp"
