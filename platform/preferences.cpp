#include "platform/preferences.h"

#include <QStandardPaths>

namespace murelo {

namespace {
constexpr char kNotificationsKey[] = "notifications/enabled";
}

// Named in full: QSettings' own name for an ini file in user scope ends in .ini.
CPreferences::CPreferences()
    : m_file(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                 "/murelo/murelo.conf",
             QSettings::IniFormat) {}

bool CPreferences::Notifications() const { return m_file.value(kNotificationsKey, true).toBool(); }

void CPreferences::SetNotifications(bool on) {
  m_file.setValue(kNotificationsKey, on);
  m_file.sync();
}

}  // namespace murelo
