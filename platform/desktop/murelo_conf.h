// CMureloConf: the program's settings beyond data.dat, which keeps its three lines.
// They live in one file under the user's XDG configuration directory,
// murelo/murelo.conf (QSettings, ini format).
#pragma once

#include <QSettings>

namespace murelo {

class CMureloConf {
 public:
  CMureloConf();

  /// Desktop notifications of ordinary lines; on unless switched off.
  bool Notifications() const;
  void SetNotifications(bool on);

  /// The last hosts this copy joined, newest first, at most kRecentHosts.
  QStringList RecentHosts() const;
  void AddRecentHost(const QString& host);
  static constexpr int kRecentHosts = 10;

  /// Keeping every line in the history; on unless switched off.
  bool History() const;
  void SetHistory(bool on);
  /// How many days lines stay in the history; 0, the default, for ever.
  int HistoryKeepDays() const;
  /// The history search window's size and place, as QWidget::saveGeometry gives them.
  QByteArray HistoryWindowGeometry() const;
  void SetHistoryWindowGeometry(const QByteArray& geometry);

  /// How many lines a second a bridged room sends its IRC server after a burst of as
  /// many (4 unless set: what ngIRCd takes from a client by default), and how many may
  /// wait before the oldest are dropped (500 unless set). Values out of range are
  /// brought within 0.1 to 1000 lines a second and 10 to 100,000 lines.
  double BridgeLinesPerSecond() const;
  int BridgeQueueLines() const;

 private:
  QSettings m_file;
};

}  // namespace murelo
