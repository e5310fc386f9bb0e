// The history of a copy with a window: recording switched on and off from the window's
// menu, and what the history has to say shown in the window.
#pragma once

#include <QTimer>
#include <memory>

#include "app/history_feed.h"
#include "ui/main_frame.h"

namespace murelo {

class CWindowHistory {
 public:
  /// Gives frame the history, recording as murelo.conf has it; frame must outlive this.
  explicit CWindowHistory(CMainFrame& frame);
  /// The conversation stops recording first, ending its stay.
  ~CWindowHistory();
  CWindowHistory(const CWindowHistory&) = delete;
  CWindowHistory& operator=(const CWindowHistory&) = delete;

 private:
  void Record(bool on);
  void Notice(const CHistoryNotice& notice);

  CMainFrame& m_frame;
  std::unique_ptr<CHistoryFeed> m_feed;
  // Once lines are dropped, the window is told how many every second while it grows.
  QTimer m_dropCount;
  qint64 m_nDropsTold = 0;
};

}  // namespace murelo
