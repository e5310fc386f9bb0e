#include "app/window_history.h"

namespace murelo {

CWindowHistory::CWindowHistory(CMainFrame& frame) : m_frame(frame) {
  m_frame.SetHistory(HistoryPath(), [this](bool on) { Record(on); });
}

CWindowHistory::~CWindowHistory() { m_frame.Conversation().SetHistorySink(nullptr); }

void CWindowHistory::Record(bool on) {
  m_frame.Conversation().SetHistorySink(nullptr);  // the stay in the old feed ends
  m_feed = on ? std::make_unique<CHistoryFeed>(
                    HistoryOptions(CMureloConf()),
                    [this](const CHistoryNotice& notice) { m_frame.HistoryNotice(notice); })
              : nullptr;
  m_frame.Conversation().SetHistorySink(m_feed.get());
}

}  // namespace murelo
