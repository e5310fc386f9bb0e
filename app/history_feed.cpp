#include "app/history_feed.h"

#include <QStandardPaths>

#include "platform/desktop/murelo_conf.h"

namespace murelo {

QString HistoryPath() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
         u"/murelo/history.sqlite"_qs;
}

CHistoryFeed::CHistoryFeed(CHistoryOptions options, std::function<void(const CHistoryNotice&)> say)
    : m_recorder(std::move(options), std::move(say)) {}

void CHistoryFeed::StayBegan(int64_t timeMs, const std::string& room, const std::string& name) {
  m_recorder.Add({CHistoryEvent::Kind::kStayBegan, timeMs, room, name, {}, {}, {}, false, 0});
}

void CHistoryFeed::LineLogged(CHistoryLine line) {
  CHistoryEvent event;
  event.nTimeMs = line.nTimeMs;
  event.strName = std::move(line.strName);
  event.strColor = std::move(line.strColor);
  event.strAddress = std::move(line.strAddress);
  event.strHtml = std::move(line.strHtml);
  event.bChatLine = line.bChatLine;
  m_recorder.Add(std::move(event));
}

void CHistoryFeed::StayEnded(int64_t timeMs) {
  m_recorder.Add({CHistoryEvent::Kind::kStayEnded, timeMs, {}, {}, {}, {}, {}, false, 0});
}

CHistoryOptions HistoryOptions(const CMureloConf& conf) {
  return {HistoryPath(), conf.HistoryKeepDays()};
}

std::unique_ptr<CHistoryFeed> StartHistory(std::function<void(const CHistoryNotice&)> say) {
  const CMureloConf conf;  // read once, at start-up
  if (!conf.History()) return nullptr;
  return std::make_unique<CHistoryFeed>(HistoryOptions(conf), std::move(say));
}

}  // namespace murelo
