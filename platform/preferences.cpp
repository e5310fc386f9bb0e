#include "platform/preferences.h"

namespace murelo {

namespace {
constexpr char kNotificationsKey[] = "notifications/enabled";
}

CPreferences::CPreferences()
    : m_file(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("murelo"),
             QStringLiteral("murelo")) {}

bool CPreferences::Notifications() const { return m_file.value(kNotificationsKey, true).toBool(); }

void CPreferences::SetNotifications(bool on) {
  m_file.setValue(kNotificationsKey, on);
  m_file.sync();
}

}  // namespace murelo
