#include "app/history_feed.h"

#include <QStandardPaths>

#include "platform/cp932.h"
#include "platform/desktop/murelo_conf.h"
#include "platform/plain_text.h"

namespace murelo {

QString HistoryPath() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
         u"/murelo/history.sqlite"_qs;
}

CHistoryFeed::CHistoryFeed(std::function<void(const QString&)> say)
    : m_recorder({HistoryPath(), CMureloConf().HistoryKeepDays()}, std::move(say)) {}

void CHistoryFeed::StayBegan(int64_t timeMs, const std::string& room, const std::string& name) {
  CHistoryEvent event;
  event.kind = CHistoryEvent::Kind::kStayBegan;
  event.nTimeMs = timeMs;
  event.strRoom = ToQString(room);
  event.strName = ToQString(name);
  m_recorder.Add(std::move(event));
}

void CHistoryFeed::LineLogged(const CHistoryLine& line) {
  CHistoryEvent event;
  event.nTimeMs = line.nTimeMs;
  event.bChatLine = line.bChatLine;
  event.strName = ToQString(line.strName);
  event.strColor = ToQString(line.strColor);
  event.strAddress = ToQString(line.strAddress);
  event.strHtml = ToQString(line.strHtml);
  event.strPlain = PlainTextOfHtml(event.strHtml);
  m_recorder.Add(std::move(event));
}

void CHistoryFeed::StayEnded(int64_t timeMs) {
  CHistoryEvent event;
  event.kind = CHistoryEvent::Kind::kStayEnded;
  event.nTimeMs = timeMs;
  m_recorder.Add(std::move(event));
}

std::unique_ptr<CHistoryFeed> StartHistory(std::function<void(const QString&)> say) {
  if (!CMureloConf().History()) return nullptr;
  return std::make_unique<CHistoryFeed>(std::move(say));
}

}  // namespace murelo
