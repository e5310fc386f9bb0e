#include "core/murelo_view.h"

#include <algorithm>
#include <span>
#include <utility>

#include "core/chat_line.h"
#include "core/message_catalog.h"
#include "platform/posix/event_loop.h"
#include "platform/posix/plain_file.h"
#include "ui/page_writer.h"

namespace murelo {

namespace {

constexpr std::string_view kClearWord = "clear";

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

/// True when the lines are the command with this word and line count.
bool IsCommand(const LineTable& lines, int count, int expectedCount, std::string_view word) {
  return count == expectedCount && lines[0].empty() && lines[1] == word;
}

}  // namespace

CMureloView::CMureloView(CViewHost& host, CViewOptions options)
    : m_host(host), m_options(std::move(options)), m_lifetime(std::make_shared<char>()) {}

void CMureloView::OnInitialUpdate() {
  WriteSplashPage();
  for (int i = 0; i < kPeerSlots; ++i) {
    m_Peers[i].Init(this, i);
    m_Members[i].bActive = false;
  }
  m_Listener.Init(this, -1);
  m_Log = {};
  m_bConnected = false;
  WriteBlankPage();
  m_host.EnableInput(false);
  m_host.LoadSettings();
}

void CMureloView::ResetMembers() {
  for (MemberEntry& row : m_Members) row.bActive = false;
  m_Members[0] = {true, m_strName, m_strColor};
}

void CMureloView::ReportRoom() {
  const int members = static_cast<int>(
      std::ranges::count_if(m_Members, [](const MemberEntry& row) { return row.bActive; }));
  // Every message comes here: the host hears only of a change.
  if (m_Listener.IsOpen() == m_bRoomHosting && m_strName == m_strRoomName &&
      members == m_nRoomMembers)
    return;
  m_bRoomHosting = m_Listener.IsOpen();
  m_strRoomName = m_strName;
  m_nRoomMembers = members;
  m_host.RoomChanged(m_bRoomHosting, m_strRoomName, m_nRoomMembers);
}

void CMureloView::ProcessMessage(const std::string& text) {
  m_host.MessageArrived(text);
  LineTable lines;
  const int count = SplitLines(lines, text);
  // All three handlers always run; at most one can claim the message.
  const int handled = HandleAddCommand(lines, count) + HandleDelCommand(lines, count) +
                      HandleChangeCommand(lines, count);
  HandleClearRequest(lines, count);
  if (handled == 0) {
    BalanceTags(lines[0]);
    LogEntry entry{std::move(lines[0]), std::move(lines[1])};
    m_host.EntryLogged(entry, m_bInPeerMessages);
    KeepInHistory(entry);
    m_Log.Append(std::move(entry));
  }
  ReportRoom();
  RequestPageWrite();
}

void CMureloView::KeepInHistory(const LogEntry& entry) {
  if (m_pHistory == nullptr) return;
  const int64_t now = NowMs();
  if (!m_stayRoom) {
    if (!m_Listener.IsOpen() && !m_bConnected) return;
    m_stayRoom = m_bServer ? m_szOwnIp : m_strHost;
    m_pHistory->StayBegan(now, *m_stayRoom, m_strName);
  }
  CHistoryLine line{now, false, {}, {}, entry.strSenderIp, entry.strHtml};
  if (const std::optional<CChatLineParts> parts = ParseChatLine(entry.strHtml)) {
    line.bChatLine = true;
    line.strName = parts->name;
    line.strColor = parts->color;
  }
  m_pHistory->LineLogged(std::move(line));
}

void CMureloView::EndStay() {
  if (m_pHistory != nullptr && m_stayRoom) m_pHistory->StayEnded(NowMs());
  m_stayRoom.reset();
}

int CMureloView::SplitLines(LineTable& lines, const std::string& text) {
  const int count = SplitMessageLines(text, lines);
  // Once per message, not once per surplus line: a peer could otherwise stack a
  // thousand boxes on every copy with one message of line feeds.
  if (count > kMaxWellFormedLines) ShowPeerBox(kBoxMalformedText);
  return count;
}

int CMureloView::HandleAddCommand(const LineTable& lines, int count) {
  if (!IsCommand(lines, count, 4, "add")) return 0;
  // Rows are filled from the highest free index down.
  auto freeRow = std::find_if(m_Members.rbegin(), m_Members.rend(),
                              [](const MemberEntry& row) { return !row.bActive; });
  if (freeRow != m_Members.rend()) *freeRow = {true, lines[3], lines[2]};
  return 1;
}

int CMureloView::HandleDelCommand(const LineTable& lines, int count) {
  if (!IsCommand(lines, count, 4, "del")) return 0;
  for (MemberEntry& row : m_Members) {
    if (row.bActive && row.strColor == lines[2] && row.strName == lines[3]) row.bActive = false;
  }
  return 1;
}

int CMureloView::HandleChangeCommand(const LineTable& lines, int count) {
  if (!IsCommand(lines, count, 6, "change")) return 0;
  auto match = std::find_if(m_Members.begin(), m_Members.end(), [&](const MemberEntry& row) {
    return row.bActive && row.strColor == lines[2] && row.strName == lines[3];
  });
  if (match != m_Members.end()) {
    match->strColor = lines[4];
    match->strName = lines[5];
  }
  return 1;
}

void CMureloView::HandleClearRequest(LineTable& lines, int count) {
  std::string& html = lines[0];
  if (count != 2 || !html.ends_with(kClearWord)) return;

  m_Log.RemoveSender(lines[1]);

  html.resize(html.size() - kClearWord.size());
  html += kClearReplacement;
}

void CMureloView::WritePage() {
  m_bPageStale = false;
  m_lastPageWrite = std::chrono::steady_clock::now();
  const std::string page = ComposeChatPage(m_Members, m_Log, DisplayLimit(m_host.LogLimitIndex()));
  // A disk that stays full, or a file that is not ours to replace, is reported when the
  // writes start failing, not at every message.
  if (ReplaceFile(PageFilePath(m_options.strPageDirectory), page)) {
    m_bPageWriteFailureShown = false;
  } else if (!m_bPageWriteFailureShown) {
    m_bPageWriteFailureShown = ShowPeerBox(kBoxPageWriteFailed);
  }
  NavigateToPage();
}

void CMureloView::WriteSplashPage() {
  if (!ReplaceFile(PageFilePath(m_options.strPageDirectory), kSplashPage)) {
    ShowBox(kBoxSplashWriteFailed);
  }
  NavigateToPage();
}

void CMureloView::WriteBlankPage() {
  if (!ReplaceFile(PageFilePath(m_options.strPageDirectory), kBlankPage)) {
    ShowBox(kBoxPageWriteFailed);
  }
}

void CMureloView::NavigateToPage() {
  // Without a readable current directory there is no address to show; the view keeps
  // the page it has.
  if (std::optional<std::string> address = PageAddress(m_options.strPageDirectory)) {
    m_host.Navigate(*address);
  }
}

void CMureloView::RequestPageWrite() {
  m_bPageStale = true;
  if (m_bPageWritePosted) return;
  m_bPageWritePosted = true;
  auto write = [this, alive = std::weak_ptr(m_lifetime)] {
    if (alive.expired()) return;
    m_bPageWritePosted = false;
    WriteStalePage();
  };
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(
      m_lastPageWrite + m_options.pageWriteInterval - std::chrono::steady_clock::now());
  if (wait.count() > 0) return EventLoop().PostDelayed(static_cast<int>(wait.count()), write);
  // Posted twice over, so that it runs after the sends this turn has queued: the
  // relay's latency does not wait for the page.
  m_host.PostTask([&host = m_host, alive = std::weak_ptr(m_lifetime), write] {
    if (!alive.expired()) host.PostTask(write);  // a host may go with its view
  });
}

void CMureloView::WriteStalePage() {
  if (m_bPageStale) WritePage();
}

void CMureloView::ShowBox(std::string_view text) {
  WriteStalePage();
  // What the box's nested loop handles is not part of the read that opened it.
  const bool inPeerMessages = std::exchange(m_bInPeerMessages, false);
  m_host.MessageBox(text);
  m_bInPeerMessages = inPeerMessages;
}

bool CMureloView::ShowPeerBox(std::string_view text) {
  if (m_bPeerBoxOpen || (m_nCurrentRead != 0 && m_nCurrentRead <= m_nReadsAnswered)) return false;
  const auto dismissed = m_peerBoxDismissed.find(text);
  if (dismissed != m_peerBoxDismissed.end() &&
      std::chrono::steady_clock::now() - dismissed->second < m_options.peerBoxHoldOff)
    return false;
  m_bPeerBoxOpen = true;
  ShowBox(text);
  m_bPeerBoxOpen = false;
  m_nReadsAnswered = m_nReads;
  m_peerBoxDismissed.insert_or_assign(std::string(text), std::chrono::steady_clock::now());
  return true;
}

}  // namespace murelo
