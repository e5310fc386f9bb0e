// CMureloView: the state of one conversation and every operation on it: message
// interpretation, the page, the sockets, connecting, hosting and leaving, and the
// user's chat commands.
//
// Everything runs on the program's one thread. The host's modal boxes and dialogs
// run nested event loops in which socket notifications go on arriving, so any
// operation that opens one may find the state changed when it returns. Operations
// therefore keep their working data in locals, never in members, and re-read the
// state they need after a box.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "core/chat_log.h"
#include "core/conversation_state.h"
#include "core/history_sink.h"
#include "core/message_lines.h"
#include "core/peer_socket.h"
#include "core/view_host.h"

namespace murelo {

inline constexpr uint16_t CHAT_PORT = 4000;
inline constexpr int kListenBacklog = 5;

/// Where a view keeps its conversation. The program uses the defaults; tests run
/// several copies in one process on ports and page directories of their own.
struct CViewOptions {
  uint16_t nChatPort = CHAT_PORT;
  std::string strPageDirectory;  // empty: the current directory
  /// After the user dismisses a box that peers caused, the same box stays shut this long.
  std::chrono::milliseconds peerBoxHoldOff{10000};
  /// The page is written at most once this long, the last change always within it; 0
  /// writes it after every turn that changed it. A page no window shows need not keep
  /// up with every message, and writing it is most of a relayed message's cost.
  std::chrono::milliseconds pageWriteInterval{0};
};

/// The window's page interval: the first change after a quiet spell is shown at once, a
/// burst's changes together at most this often, which no reader tells from every one.
inline constexpr std::chrono::milliseconds kWindowPageWriteInterval{50};

class CMureloView {
 public:
  /// host must outlive the view.
  explicit CMureloView(CViewHost& host, CViewOptions options = {});
  CMureloView(const CMureloView&) = delete;
  CMureloView& operator=(const CMureloView&) = delete;

  /// Start of life: splash page, empty conversation, blank page, input disabled,
  /// settings loaded.
  void OnInitialUpdate();

  /// Row 0 becomes this user with the current name and colour; every other row goes.
  void ResetMembers();

  /// From now on every line logged in a room, and every stay, is also handed to sink,
  /// which must outlive the view; nullptr stops it. A stay open in the sink before ends:
  /// the new sink's lines begin one of their own.
  void SetHistorySink(CHistorySink* sink) {
    EndStay();
    m_pHistory = sink;
  }

  // Messages.

  /// Interprets one decoded message: commands update the participant table, a clear
  /// request removes its sender's entries, anything else is logged; then the page is
  /// brought up to date.
  void ProcessMessage(const std::string& text);

  /// Splits text into lines (see SplitMessageLines) and returns the count. A message
  /// of more than ten lines is malformed: the user is told once, and it is still
  /// counted and stored.
  int SplitLines(LineTable& lines, const std::string& text);

  /// Each returns 1 when the lines are its command (whether or not a row changed),
  /// else 0 and changes nothing.
  int HandleAddCommand(const LineTable& lines, int count);
  int HandleDelCommand(const LineTable& lines, int count);
  int HandleChangeCommand(const LineTable& lines, int count);

  /// When the lines are a clear request, removes every entry of its sender and
  /// replaces the trailing "clear" of line 0 by "♪～".
  void HandleClearRequest(LineTable& lines, int count);

  // The page.

  /// Rewrites data.htm from the participants and the log now, then shows it.
  void WritePage();

  /// The two page writes of start-up: the splash page (shown), then the blank page.
  void WriteSplashPage();
  void WriteBlankPage();

  // Transport.

  /// Sends text to everyone: a server interprets it and sends it to every client, a
  /// client sends it to the server, which relays it back to all.
  void Broadcast(const std::string& text);
  /// A host's part of it: texts sent to every client, uninterpreted, in one write each.
  /// The client in slot `sender`, if any, gets them first: a copy shows its user's own
  /// line only when it comes back, and that is the wait a user feels.
  void RelayToClients(std::span<const std::string> texts, int sender = -1);

  /// Reads what slot index has received and interprets (client) or relays (server)
  /// every message it completes.
  void HandleReceive(int index);

  /// A host's flow control. While some client has more queued than it takes in, the
  /// host stops reading from the clients that send the most, and TCP holds them back;
  /// the others go on talking. A client that cannot catch up within the backlog's time
  /// limit is cut (see CStreamSocket), so no one holds the room back for longer.
  void UpdateFlowControl();

  // Connections.

  void OnConnectCmd();
  void OnDisconnectCmd();
  /// The close steps, however the program ends: the disconnect steps, the settings
  /// saved, data.htm deleted. A page write still waiting is dropped, so the file does
  /// not come back when the loop turns once more.
  void OnClose();
  void HandleAccept();
  void HandleConnected();
  /// index: the slot whose connection ended, or -1 for the listener.
  void HandlePeerClosed(int index);

  // Chat commands.

  void OnSendCmd();
  void OnChangeNameColorCmd();

  std::array<CPeerSocket, kPeerSlots> m_Peers;
  MemberTable m_Members;
  CPeerSocket m_Listener;
  CChatLog m_Log;
  std::string m_szOwnIp;   // this machine's dotted address, the sender line of our messages
  std::string m_strColor;  // this user's colour
  std::string m_strHost;   // the host typed in the connect dialog
  std::string m_strName;   // this user's handle name
  bool m_bConnected = false;
  bool m_bServer = false;

 private:
  void NavigateToPage();
  /// Tells the host whether this copy hosts, under which name, and the room's size.
  void ReportRoom();
  /// Marks the page out of date and has it written once the running handler returns,
  /// so a burst of messages costs one page write.
  void RequestPageWrite();
  /// Writes the page now if a write is still waiting: the user must see the newest
  /// state before a box or dialog opens.
  void WriteStalePage();
  /// Opens a modal box, with the page brought up to date first.
  void ShowBox(std::string_view text);
  /// Opens a box for something a peer's traffic or the disk caused, unless such a box is
  /// open, the event came in a read taken before the last one was dismissed, or the same
  /// box was dismissed less than peerBoxHoldOff ago: then the event is handled in full
  /// without one. A box's nested loop handles the next message, whose box would open
  /// inside the first, and so on: peers could otherwise stack boxes until the stack runs
  /// out, or bury the window in them. With one at most, the depth of the stack no longer
  /// grows with what peers send, and one answer covers all that had arrived when it was
  /// given; the hold-off keeps an attack from reopening the box as fast as the user
  /// dismisses it. True when the box was shown.
  bool ShowPeerBox(std::string_view text);
  void FindOwnAddress();
  /// Hands a logged entry to the history sink, within the stay it opens if none is open.
  /// A notice of this copy's own outside any room is in no stay and is not kept.
  void KeepInHistory(const LogEntry& entry);
  /// The conversation has left its room: the stay, if one is open, ends now.
  void EndStay();
  /// Ends whatever an earlier connect command left open.
  void CloseAllSockets();
  bool AnySlotInUse() const;

  CViewHost& m_host;
  const CViewOptions m_options;
  bool m_bPageStale = false;
  // The room as last reported to the host.
  bool m_bRoomHosting = false;
  std::string m_strRoomName;
  int m_nRoomMembers = 0;
  bool m_bPageWritePosted = false;
  std::chrono::steady_clock::time_point m_lastPageWrite;
  bool m_bPeerBoxOpen = false;
  std::map<std::string, std::chrono::steady_clock::time_point, std::less<>> m_peerBoxDismissed;
  bool m_bPageWriteFailureShown = false;  // until a page write succeeds again
  bool m_bInPeerMessages = false;         // the messages handled now came from a peer
  bool m_bBacklogged = false;             // some client has a backlog
  uint64_t m_nReads = 0;                  // reads taken from peers so far
  uint64_t m_nCurrentRead = 0;            // the read whose messages are being handled, 0 for none
  uint64_t m_nReadsAnswered = 0;          // the reads taken when the last peer box was dismissed
  CHistorySink* m_pHistory = nullptr;
  std::optional<std::string> m_stayRoom;  // the room of the open stay, if one is open
  std::unique_ptr<char[]> m_readBuffer;   // what HandleReceive reads into, made once
  std::shared_ptr<char> m_lifetime;       // posted work holds it weakly: gone with the view
};

}  // namespace murelo
