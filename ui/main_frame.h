// CMainFrame: the program's one window. The chat page fills it above the input bar;
// the menu and the four clipboard keys drive the conversation. It is also the window
// the conversation talks to (CViewHost): message boxes, dialogs, the input edit and the
// page display all go through it.
#pragma once

#include <QMainWindow>
#include <array>
#include <memory>
#include <optional>

#include "app/data_dat.h"
#include "core/murelo_view.h"
#include "core/view_host.h"
#include "platform/desktop/desktop_notifier.h"
#include "platform/desktop/murelo_conf.h"
#include "platform/desktop/room_announcer.h"
#include "platform/history/history_recorder.h"
#include "platform/history/history_searcher.h"
#include "ui/missed_lines.h"

class QAction;
class QCloseEvent;

namespace murelo {

class CPageView;
class CInputBar;
class CHistoryWindow;

inline constexpr int kFrameWidth = 480;
inline constexpr int kFrameHeight = 480;

class CMainFrame : public QMainWindow, public CViewHost {
  Q_OBJECT

 public:
  /// settings must outlive the frame.
  explicit CMainFrame(CDataDat& settings, CViewOptions options = {});
  ~CMainFrame() override;

  /// The conversation: its state and every chat operation.
  CMureloView& Conversation() { return *m_view; }
  /// The widget that shows the page file the conversation writes.
  CPageView& PageView() { return *m_wndView; }

  /// Enables and checks every menu item for the state of the conversation, as is
  /// done each time a menu opens.
  void UpdateMenus();

  /// Gives the window the history kept at path, and record, which switches its
  /// recording on and off; record is called now, as murelo.conf has it.
  void SetHistory(const QString& path, std::function<void(bool on)> record);
  /// Tells the user what the history could not do: on a line of the search window, and
  /// the first time a broken file is moved aside, in a box.
  void HistoryNotice(const CHistoryNotice& notice);

  /// Connects as a confirmed connect dialog would: as a host when server, else to the
  /// host in the settings. Without a name or colour in the settings, the dialog opens
  /// instead, filled in from them and with its box ticked when server.
  void ConnectAtStart(bool server);

  // CViewHost.
  void MessageBox(std::string_view text) override;
  void Navigate(const std::string& path) override;
  int LogLimitIndex() const override;
  void EnableInput(bool enable) override;
  void LoadSettings() override;
  void SaveSettings() override;
  bool RunConnectDialog(CConnectChoice& choice) override;
  bool RunNameColorDialog(CNameColorChoice& choice) override;
  std::string InputText() const override;
  void SetInputText(std::string_view text) override;
  void PostTask(std::function<void()> task) override;
  /// Counts a line that arrives while the window is inactive in the title, and
  /// announces it on the desktop.
  void EntryLogged(const LogEntry& entry, bool fromPeer) override;
  /// Announces the room on the local network while this copy hosts it.
  void RoomChanged(bool hosting, const std::string& name, int members) override;

 protected:
  /// The close steps: farewell, settings saved, page file deleted; then the window
  /// closes. They run once however the end comes.
  void closeEvent(QCloseEvent* event) override;
  /// Ctrl+C, Ctrl+X, Ctrl+V and Ctrl+Z act on the input edit wherever the focus is in
  /// this window, the chat page included.
  bool eventFilter(QObject* watched, QEvent* event) override;
  /// Once the window manager has framed the window, take its frame off the 480 by 480,
  /// which is the outer size of the window.
  void showEvent(QShowEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  /// Activated, the window has nothing missed to count.
  void changeEvent(QEvent* event) override;

 private:
  void BuildMenu();
  void FitOuterSize();
  /// The caption, with the count of missed lines in front while there are any.
  void UpdateTitle();
  void BringToFront();
  void OnLogLines(int index);
  void OnAppAbout();
  void OnHistorySearch();
  void OnHistoryForget();
  void OnHistoryRecord(bool on);
  /// The search window's line: recording off, or the last thing the history said.
  QString HistoryNoticeText() const;

  CDataDat& m_settings;
  const uint16_t m_nChatPort;  // where the rooms listed in the connect dialog must listen
  // Ahead of the conversation, which may still report to them while it is destroyed.
  CMureloConf m_mureloConf;
  CMissedLines m_missed;
  CRoomAnnouncer m_announcer;
  CPageView* m_wndView;
  CInputBar* m_wndInputBar;
  std::unique_ptr<CMureloView> m_view;
  CDesktopNotifier* m_notifier;
  QAction* m_actConnect = nullptr;
  QAction* m_actDisconnect = nullptr;
  QAction* m_actChangeNameColor = nullptr;
  std::array<QAction*, 4> m_actLogLines = {};
  QAction* m_actNotifications = nullptr;
  QAction* m_actHistoryRecord = nullptr;
  QAction* m_actHistorySearch = nullptr;
  QAction* m_actHistoryForget = nullptr;
  QString m_strHistoryPath;
  std::function<void(bool)> m_recordHistory;
  std::unique_ptr<CHistorySearcher> m_searcher;
  // Ahead of what it uses, murelo.conf and the searcher, it goes first.
  std::unique_ptr<CHistoryWindow> m_historyWindow;
  QString m_strHistoryNotice;
  bool m_bBrokenHistoryTold = false;
  std::optional<bool> m_startAsServer;  // while ConnectAtStart runs
  bool m_bClosed = false;
  bool m_bSized = false;
};

}  // namespace murelo
