// CMureloView: the state of one conversation and every operation on it. It runs on
// the program's one thread; the host's modal boxes run nested event loops, so any
// operation that shows a box may find the state changed when the box returns. Each
// operation therefore keeps its working data in locals, never in members.
#pragma once

#include <string>

#include "core/conversation_state.h"
#include "core/message_lines.h"
#include "core/view_host.h"

namespace murelo {

class CMureloView {
 public:
  /// host must outlive the view.
  explicit CMureloView(CViewHost& host);
  CMureloView(const CMureloView&) = delete;
  CMureloView& operator=(const CMureloView&) = delete;

  /// Start of life: splash page, empty conversation, blank page, input disabled,
  /// settings loaded.
  void OnInitialUpdate();

  /// Row 0 becomes this user with the current name and colour; every other row goes.
  void ResetMembers();

  /// Interprets one decoded message: commands update the participant table, a clear
  /// request removes its sender's entries, anything else is logged; then the page is
  /// rewritten.
  void ProcessMessage(std::string text);

  /// Splits text into lines (see SplitMessageLines) and returns the count. A message
  /// of more than ten lines is malformed: the user is told once, and it is still
  /// counted and stored.
  int SplitLines(LineTable& lines, std::string text);

  /// Each returns 1 when the lines are its command (whether or not a row changed),
  /// else 0 and changes nothing.
  int HandleAddCommand(const LineTable& lines, int count);
  int HandleDelCommand(const LineTable& lines, int count);
  int HandleChangeCommand(const LineTable& lines, int count);

  /// When the lines are a clear request, removes every entry of its sender and
  /// replaces the trailing "clear" of line 0 by "♪～".
  void HandleClearRequest(LineTable& lines, int count);

  /// Rewrites data.htm from the participants and the log, then shows it.
  void WritePage();

  /// The two page writes of start-up: the splash page (shown), then the blank page.
  void WriteSplashPage();
  void WriteBlankPage();

  MemberTable m_Members;
  ChatLog m_Log;
  int m_nLogCount = 0;      // valid entries of m_Log, 0 to kLogCapacity
  std::string m_szOwnIp;    // this machine's dotted address, the sender line of our messages
  std::string m_strColor;   // this user's colour
  std::string m_strHost;    // the host typed in the connect dialog
  std::string m_strName;    // this user's handle name
  bool m_bConnected = false;
  bool m_bServer = false;

 private:
  void AppendToLog(std::string html, std::string senderIp);
  void NavigateToPage();

  CViewHost& m_host;
};

}  // namespace murelo
