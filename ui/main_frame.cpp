#include "ui/main_frame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QKeyEvent>
#include <QMenuBar>
#include <QVBoxLayout>
#include <QWindow>
#include <utility>

#include "platform/cp932.h"
#include "platform/message_box.h"
#include "platform/page_view/page_view.h"
#include "ui/about_dialog.h"
#include "ui/app_icon.h"
#include "ui/connect_dialog.h"
#include "ui/history_window.h"
#include "ui/input_bar.h"
#include "ui/name_color_dialog.h"
#include "ui/page_writer.h"
#include "ui/resource_ids.h"
#include "ui/ui_texts.h"

namespace murelo {

namespace {
// The caption is the document's title, then the application's, as a single-document
// window shows them.
constexpr char kDocumentTitle[] = "Murelo";
constexpr char kApplicationTitle[] = "murelo";
}  // namespace

CMainFrame::CMainFrame(CDataDat& settings, CViewOptions options)
    : m_settings(settings),
      m_nChatPort(options.nChatPort),
      m_announcer(options.nChatPort),
      m_wndView(new CPageView),
      m_wndInputBar(new CInputBar),
      m_view(std::make_unique<CMureloView>(*this, std::move(options))),
      m_notifier(new CDesktopNotifier(AppIcon(), this)) {
  auto* client = new QWidget;
  auto* layout = new QVBoxLayout(client);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(m_wndView, 1);
  layout->addWidget(m_wndInputBar);
  setCentralWidget(client);
  BuildMenu();
  resize(kFrameWidth, kFrameHeight);
  UpdateTitle();

  connect(m_wndInputBar, &CInputBar::sendRequested, this, [this] { m_view->OnSendCmd(); });
  connect(m_notifier, &CDesktopNotifier::clicked, this, &CMainFrame::BringToFront);
  qApp->installEventFilter(this);
}

CMainFrame::~CMainFrame() { qApp->removeEventFilter(this); }

void CMainFrame::BuildMenu() {
  auto addAction = [this](QMenu* menu, std::string_view text, auto handler) {
    QAction* action = menu->addAction(ToQString(text));
    connect(action, &QAction::triggered, this, handler);
    return action;
  };
  QMenu* connection = menuBar()->addMenu(ToQString(kMenuConnection));
  m_actConnect = addAction(connection, kMenuConnect, [this] { m_view->OnConnectCmd(); });
  m_actDisconnect = addAction(connection, kMenuDisconnect, [this] { m_view->OnDisconnectCmd(); });
  connection->addSeparator();
  addAction(connection, kMenuExit, [this] { close(); });

  QMenu* settings = menuBar()->addMenu(ToQString(kMenuSettings));
  m_actChangeNameColor =
      addAction(settings, kMenuChangeNameColor, [this] { m_view->OnChangeNameColorCmd(); });
  QMenu* logLines = settings->addMenu(ToQString(kMenuLogLines));
  for (int i = 0; i < kLogLimitIndexCount; ++i) {
    m_actLogLines[i] =
        addAction(logLines, std::to_string(kLogLimits[i]), [this, i] { OnLogLines(i); });
  }
  m_actNotifications = addAction(settings, kMenuNotifications,
                                 [this](bool on) { m_mureloConf.SetNotifications(on); });
  m_actNotifications->setCheckable(true);

  m_actHistoryRecord =
      addAction(settings, kMenuHistoryRecord, [this](bool on) { OnHistoryRecord(on); });
  m_actHistoryRecord->setCheckable(true);

  QMenu* history = menuBar()->addMenu(ToQString(kMenuHistory));
  m_actHistorySearch = addAction(history, kMenuHistorySearch, [this] { OnHistorySearch(); });
  m_actHistorySearch->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
  m_actHistoryForget = addAction(history, kMenuHistoryForget, [this] { OnHistoryForget(); });

  QMenu* help = menuBar()->addMenu(ToQString(kMenuHelp));
  addAction(help, kMenuAbout, [this] { OnAppAbout(); });

  for (QMenu* menu : {connection, settings, logLines, history, help}) {
    connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateMenus);
  }
  UpdateMenus();
}

void CMainFrame::UpdateMenus() {
  const bool connected = m_view->m_bConnected;
  m_actConnect->setEnabled(!connected);
  m_actDisconnect->setEnabled(connected);
  m_actChangeNameColor->setEnabled(connected);
  for (int i = 0; i < kLogLimitIndexCount; ++i) {
    // Only the item in force shows a mark; the others show no empty box either.
    m_actLogLines[i]->setCheckable(m_settings.m_nLogLimitIndex == i);
    m_actLogLines[i]->setChecked(m_settings.m_nLogLimitIndex == i);
    m_actLogLines[i]->setEnabled(connected);
  }
  m_actNotifications->setChecked(m_mureloConf.Notifications());
  m_actHistoryRecord->setChecked(m_mureloConf.History());
  for (QAction* action : {m_actHistoryRecord, m_actHistorySearch, m_actHistoryForget})
    action->setEnabled(m_searcher != nullptr);
}

void CMainFrame::SetHistory(const QString& path, std::function<void(bool)> record) {
  m_strHistoryPath = path;
  m_recordHistory = std::move(record);
  m_searcher = std::make_unique<CHistorySearcher>(path);
  m_recordHistory(m_mureloConf.History());
  UpdateMenus();
}

void CMainFrame::HistoryNotice(const CHistoryNotice& notice) {
  m_strHistoryNotice = notice.kind == CHistoryNotice::Kind::kResumed ? QString() : notice.strText;
  if (m_historyWindow) m_historyWindow->SetNotice(HistoryNoticeText());
  if (notice.kind == CHistoryNotice::Kind::kMovedAside &&
      !std::exchange(m_bBrokenHistoryTold, true))
    ShowMessageBox(this, ToCp932(notice.strText));
}

QString CMainFrame::HistoryNoticeText() const {
  return m_mureloConf.History() ? m_strHistoryNotice : ToQString(kHistoryNotRecording);
}

void CMainFrame::OnHistorySearch() {
  if (!m_searcher) return;
  if (!m_historyWindow) {
    m_historyWindow = std::make_unique<CHistoryWindow>(*m_searcher, m_mureloConf, nullptr);
    m_historyWindow->SetNotice(HistoryNoticeText());
  }
  m_historyWindow->Present();
}

void CMainFrame::OnHistoryForget() {
  if (!m_searcher) return;
  // Counted and erased on the searcher's thread: a million lines take a while.
  m_searcher->LineCount([this](qint64 lines) {
    const QString question = ToQString(kHistoryForgetQuestion)
                                 .arg(QDir::toNativeSeparators(m_strHistoryPath))
                                 .arg(lines);
    if (!AskYesOrNo(this, ToCp932(question))) return;
    m_searcher->Forget([this](bool forgotten) {
      if (!forgotten) ShowMessageBox(this, kHistoryForgetFailed);
      if (m_historyWindow) m_historyWindow->Refresh();
    });
  });
}

void CMainFrame::OnHistoryRecord(bool on) {
  m_mureloConf.SetHistory(on);
  if (m_recordHistory) m_recordHistory(on);
  if (m_historyWindow) m_historyWindow->SetNotice(HistoryNoticeText());
}

void CMainFrame::OnLogLines(int index) {
  m_settings.m_nLogLimitIndex = index;
  m_view->WritePage();
}

void CMainFrame::OnAppAbout() {
  CAboutDlg about(this);
  about.DoModal();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (!m_bClosed) {
    m_bClosed = true;
    if (m_historyWindow) m_historyWindow->close();
    m_view->OnClose();
  }
  event->accept();
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  if (widget == nullptr || widget->window() != this) return false;
  const auto* key = static_cast<QKeyEvent*>(event);
  if (key->modifiers() != Qt::ControlModifier) return false;
  switch (key->key()) {
    case Qt::Key_C:
      m_wndInputBar->Copy();
      return true;
    case Qt::Key_X:
      m_wndInputBar->Cut();
      return true;
    case Qt::Key_V:
      m_wndInputBar->Paste();
      return true;
    case Qt::Key_Z:
      m_wndInputBar->Undo();
      return true;
    default:
      return false;
  }
}

void CMainFrame::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  FitOuterSize();
}

void CMainFrame::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  FitOuterSize();
}

void CMainFrame::FitOuterSize() {
  // A window manager frames the window some time after the first show, and the window
  // moves into its frame then: the frame's size is known only from that move on.
  if (m_bSized || !isVisible() || windowHandle() == nullptr) return;
  const QMargins frame = windowHandle()->frameMargins();
  if (frame.isNull()) return;  // not framed yet, or never: no window manager
  m_bSized = true;
  if (size() != QSize(kFrameWidth, kFrameHeight)) return;  // sized by someone already
  resize(kFrameWidth - frame.left() - frame.right(), kFrameHeight - frame.top() - frame.bottom());
}

void CMainFrame::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
    m_missed.WindowActivated();
    UpdateTitle();
  }
}

void CMainFrame::UpdateTitle() {
  const QString title = QString("%1 - %2").arg(kDocumentTitle, kApplicationTitle);
  setWindowTitle(m_missed.Count() > 0 ? QString("(%1) %2").arg(m_missed.Count()).arg(title)
                                      : title);
}

void CMainFrame::BringToFront() {
  showNormal();
  raise();
  activateWindow();
}

void CMainFrame::EntryLogged(const LogEntry& entry, bool fromPeer) {
  if (m_bClosed) return;  // the close steps' own notices
  // The user reads the conversation while any of the program's windows is active: the
  // window itself, or a dialog or box over it; never while it is minimised. Qt learns of
  // that first: it lets the activation go only some time after the focus has left, in
  // case the focus comes back, and lines that arrive meanwhile were read by no one.
  const bool reading = QApplication::activeWindow() != nullptr && !isMinimized();
  const std::optional<CAnnouncement> announcement = m_missed.Arrived(
      entry, fromPeer, m_view->m_strName, m_view->m_szOwnIp, reading, m_mureloConf.Notifications());
  UpdateTitle();
  if (!announcement) return;
  m_notifier->Show(announcement->strSummary, announcement->strBody, announcement->bMention);
  QApplication::alert(this);
}

void CMainFrame::RoomChanged(bool hosting, const std::string& name, int members) {
  m_announcer.Update(hosting, ToQString(name), members);
}

void CMainFrame::MessageBox(std::string_view text) { ShowMessageBox(this, text); }

void CMainFrame::Navigate(const std::string& path) { m_wndView->Navigate(path); }

int CMainFrame::LogLimitIndex() const { return m_settings.m_nLogLimitIndex; }

void CMainFrame::EnableInput(bool enable) {
  m_wndInputBar->EnableInput(enable);
  // A client's input opens when it has joined: the host goes to the top of the recent.
  if (enable && !m_view->m_bServer) m_mureloConf.AddRecentHost(ToQString(m_view->m_strHost));
}

void CMainFrame::LoadSettings() { m_settings.LoadSettings(); }

void CMainFrame::SaveSettings() { m_settings.SaveSettings(); }

void CMainFrame::ConnectAtStart(bool server) {
  m_startAsServer = server;
  m_view->OnConnectCmd();
}

bool CMainFrame::RunConnectDialog(CConnectChoice& choice) {
  const std::optional<bool> start = std::exchange(m_startAsServer, std::nullopt);
  if (start && !m_settings.m_strName.empty() && !m_settings.m_strColor.empty()) {
    choice = {*start, m_settings.m_strColor, m_settings.m_strName, m_settings.m_strHost};
    return true;
  }
  CConnectDlg dialog(m_settings, m_nChatPort, this);
  dialog.m_bServer = start.value_or(false);
  if (dialog.DoModal() != IDOK) return false;
  choice = {dialog.m_bServer, dialog.m_strColor, dialog.m_strName, dialog.m_strHost};
  return true;
}

bool CMainFrame::RunNameColorDialog(CNameColorChoice& choice) {
  CNameColorDlg dialog(m_settings, this);
  if (dialog.DoModal() != IDOK) return false;
  choice = {dialog.m_strColor, dialog.m_strName};
  return true;
}

std::string CMainFrame::InputText() const { return m_wndInputBar->InputText(); }

void CMainFrame::SetInputText(std::string_view text) { m_wndInputBar->SetInputText(text); }

void CMainFrame::PostTask(std::function<void()> task) {
  // The same queue as the socket layer's posted work, so the order of the two holds.
  QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

}  // namespace murelo

#include "moc_main_frame.cpp"
