#include "platform/desktop/murelo_conf.h"

#include <QStandardPaths>
#include <algorithm>

namespace murelo {

namespace {
constexpr char kNotificationsKey[] = "notifications/enabled";
constexpr char kRecentHostsKey[] = "connect/recent_hosts";
constexpr char kHistoryKey[] = "history/enabled";
constexpr char kHistoryKeepDaysKey[] = "history/keep_days";
constexpr char kHistoryWindowKey[] = "history/window_geometry";
constexpr char kBridgeRateKey[] = "bridge/lines_per_second";
constexpr char kBridgeQueueKey[] = "bridge/queue_lines";
}  // namespace

// Named in full: QSettings' own name for an ini file in user scope ends in .ini.
CMureloConf::CMureloConf()
    : m_file(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                 "/murelo/murelo.conf",
             QSettings::IniFormat) {}

bool CMureloConf::Notifications() const { return m_file.value(kNotificationsKey, true).toBool(); }

void CMureloConf::SetNotifications(bool on) {
  m_file.setValue(kNotificationsKey, on);
  m_file.sync();
}

bool CMureloConf::History() const { return m_file.value(kHistoryKey, true).toBool(); }

void CMureloConf::SetHistory(bool on) {
  m_file.setValue(kHistoryKey, on);
  m_file.sync();
}

int CMureloConf::HistoryKeepDays() const {
  return std::max(0, m_file.value(kHistoryKeepDaysKey, 0).toInt());
}

QByteArray CMureloConf::HistoryWindowGeometry() const {
  return m_file.value(kHistoryWindowKey).toByteArray();
}

void CMureloConf::SetHistoryWindowGeometry(const QByteArray& geometry) {
  m_file.setValue(kHistoryWindowKey, geometry);
  m_file.sync();
}

double CMureloConf::BridgeLinesPerSecond() const {
  bool number = false;
  const double rate = m_file.value(kBridgeRateKey).toDouble(&number);
  return number ? std::clamp(rate, 0.1, 1000.0) : 4.0;
}

int CMureloConf::BridgeQueueLines() const {
  bool number = false;
  const int lines = m_file.value(kBridgeQueueKey).toInt(&number);
  return number ? std::clamp(lines, 10, 100000) : 500;
}

QStringList CMureloConf::RecentHosts() const {
  return m_file.value(kRecentHostsKey).toStringList().mid(0, kRecentHosts);
}

void CMureloConf::AddRecentHost(const QString& host) {
  QStringList hosts = RecentHosts();
  hosts.removeAll(host);
  hosts.prepend(host);
  m_file.setValue(kRecentHostsKey, hosts.mid(0, kRecentHosts));
  m_file.sync();
}

}  // namespace murelo
