// The history of this copy: what the conversation logs goes to the history store,
// $XDG_DATA_HOME/murelo/history.sqlite, unless murelo.conf switches it off.
#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "core/history_sink.h"
#include "platform/desktop/murelo_conf.h"
#include "platform/history/history_recorder.h"

namespace murelo {

/// Where the history is kept.
QString HistoryPath();

class CHistoryFeed final : public CHistorySink {
 public:
  /// options and say: as CHistoryRecorder's.
  CHistoryFeed(CHistoryOptions options, std::function<void(const CHistoryNotice&)> say);

  void StayBegan(int64_t timeMs, const std::string& room, const std::string& name) override;
  void LineLogged(CHistoryLine line) override;
  void StayEnded(int64_t timeMs) override;

  /// As CHistoryRecorder's.
  qint64 DroppedLines() const { return m_recorder.DroppedLines(); }

 private:
  CHistoryRecorder m_recorder;
};

/// Where the history is kept, and how long lines stay, as conf has it.
CHistoryOptions HistoryOptions(const CMureloConf& conf);

/// The feed for a copy starting now, or nothing when the history is switched off.
std::unique_ptr<CHistoryFeed> StartHistory(std::function<void(const CHistoryNotice&)> say);

}  // namespace murelo
