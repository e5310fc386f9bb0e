#include "app/window_history.h"

namespace murelo {

CWindowHistory::CWindowHistory(CMainFrame& frame) : m_frame(frame) {
  m_dropCount.setInterval(1000);
  QObject::connect(&m_dropCount, &QTimer::timeout, [this] {
    const qint64 dropped = m_feed ? m_feed->DroppedLines() : m_nDropsTold;
    if (dropped == m_nDropsTold) return;
    m_nDropsTold = dropped;
    m_frame.HistoryNotice(
        {CHistoryNotice::Kind::kDropping,
         u"履歴: 記録が追いつかず、%1 行を履歴に残していません (会話には残っています)。"_qs.arg(
             dropped)});
  });
  m_frame.SetHistory(HistoryPath(), [this](bool on) { Record(on); });
}

CWindowHistory::~CWindowHistory() { m_frame.Conversation().SetHistorySink(nullptr); }

void CWindowHistory::Record(bool on) {
  m_frame.Conversation().SetHistorySink(nullptr);  // the stay in the old feed ends
  m_feed =
      on ? std::make_unique<CHistoryFeed>(HistoryOptions(CMureloConf()),
                                          [this](const CHistoryNotice& notice) { Notice(notice); })
         : nullptr;
  m_frame.Conversation().SetHistorySink(m_feed.get());
  m_nDropsTold = 0;  // a new recorder counts afresh
}

void CWindowHistory::Notice(const CHistoryNotice& notice) {
  if (notice.kind == CHistoryNotice::Kind::kDropping) m_dropCount.start();
  m_frame.HistoryNotice(notice);
}

}  // namespace murelo
