// CDesktopNotifier: desktop notifications through the freedesktop notification service
// (org.freedesktop.Notifications on the session bus), each replacing the one shown
// before, so a burst never stacks; the tray's balloon where the bus has no such
// service. Every call is asynchronous: a missing bus, service or tray costs the event
// loop nothing and shows no error. Without a session bus, nothing is shown.
//
// User-interface thread only.
#pragma once

#include <QIcon>
#include <QObject>
#include <QString>
#include <optional>

class QSystemTrayIcon;

namespace murelo {

class CDesktopNotifier : public QObject {
  Q_OBJECT

 public:
  /// icon: the program's, shown with each notification.
  explicit CDesktopNotifier(QIcon icon, QObject* parent = nullptr);

  /// Shows summary and body in place of what was shown before; critical urgency when
  /// critical. While the service has not answered the last call, only the newest of
  /// what comes meanwhile is shown, once it has: that answer names what to replace.
  void Show(const QString& summary, const QString& body, bool critical);

 signals:
  /// The user clicked the notification (its default action) or the balloon.
  void clicked();

 private slots:
  void OnActionInvoked(uint id, const QString& action);

 private:
  /// Connects to the session bus the first time, when there is one to connect to.
  bool SessionBusUsable();
  void ShowInTray(const QString& summary, const QString& body);
  QString IconPath();

  QIcon m_icon;
  QString m_strIconPath;
  uint m_nShownId = 0;  // the notification a new one replaces
  bool m_bBusChecked = false;
  bool m_bBusUsable = false;
  QSystemTrayIcon* m_tray = nullptr;
  struct CNotification {
    QString strSummary, strBody;
    bool bCritical;
  };
  bool m_bCallPending = false;
  std::optional<CNotification> m_waiting;  // to show once the pending call is answered
};

}  // namespace murelo
