// The main window through its real widgets, with the conversation on real sockets.
#include "ui/main_frame.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QTimer>

#include "core/wire_format.h"
#include "loopback.h"
#include "platform/cp932.h"
#include "platform/desktop/murelo_conf.h"
#include "platform/page_view/page_view.h"
#include "platform/posix/stream_socket.h"
#include "ui/ui_texts.h"
#include "widgets.h"

namespace murelo {
namespace {

using namespace test;

class MainFrameTest : public testing::Test {
 protected:
  MainFrameTest() { frame.Conversation().OnInitialUpdate(); }
  ~MainFrameTest() override { CStreamSocket::FinishClosingConnections(500); }

  QAction* Item(const QString& text) {
    for (QAction* action : frame.menuBar()->findChildren<QAction*>())
      if (action->text() == text) return action;
    ADD_FAILURE() << text.toStdString();
    return nullptr;
  }
  /// Confirms the connect dialog about to open as the host "host", ticking its server box.
  static void ConfirmAsHost() {
    QTimer::singleShot(0, [] {
      QWidget* dialog = QApplication::activeModalWidget();
      QTest::mouseClick(dialog->findChild<QCheckBox*>(IDC_BE_SERVER), Qt::LeftButton);
      dialog->findChild<QLineEdit*>(IDC_NAME)->setText("host");
      QTest::mouseClick(dialog->findChild<QPushButton*>(IDC_CONNECT_OK), Qt::LeftButton);
    });
  }
  QLineEdit* InputEdit() { return frame.findChild<QLineEdit*>(IDC_INPUT_EDIT); }

  ScopedTempDir dir;
  CDataDat settings;
  const uint16_t port = FreePort();
  CMainFrame frame{settings, {port, ""}};
};

TEST_F(MainFrameTest, StartsFreshMenusAndKeysFollowTheConnectionAndClosingSaysFarewell) {
  frame.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
  EXPECT_EQ(frame.frameGeometry().size(), QSize(480, 480));
  EXPECT_EQ(frame.PageView().DrawnPage(), kSplashPage);  // then the blank page, not shown
  EXPECT_EQ(ReadFile("data.htm"), "<html>\n<body bgcolor=#eeeeff>");
  frame.UpdateMenus();
  QAction* connect = Item(ToQString(kMenuConnect));
  QAction* disconnect = Item(ToQString(kMenuDisconnect));
  EXPECT_TRUE(connect->isEnabled() && !disconnect->isEnabled() && !Item("50")->isEnabled());
  QAction* notify = Item(ToQString(kMenuNotifications));
  EXPECT_TRUE(notify->isChecked());  // on by default, and kept in murelo.conf
  notify->trigger();
  const std::string conf = qgetenv("XDG_CONFIG_HOME").toStdString() + "/murelo/murelo.conf";
  EXPECT_EQ(ReadFile(conf), "[notifications]\nenabled=false\n");
  notify->trigger();

  ConfirmAsHost();
  connect->trigger();
  RawPeer peer(port);
  ASSERT_TRUE(WaitFor([&] { return frame.Conversation().m_bConnected; }));
  frame.UpdateMenus();
  EXPECT_TRUE(!connect->isEnabled() && disconnect->isEnabled() && Item("100")->isEnabled());
  EXPECT_TRUE(Item(ToQString(kMenuChangeNameColor))->isEnabled() && InputEdit()->isEnabled());
  for (int i = 0; i < 120; ++i)
    frame.Conversation().ProcessMessage("e" + std::to_string(i) + "\n1.1.1.1\n");
  Item("100")->trigger();
  frame.UpdateMenus();
  EXPECT_TRUE(Item("100")->isChecked() && !Item("50")->isChecked());
  EXPECT_TRUE(ReadFile("data.htm").ends_with("<hr>e20\n"));
  settings.m_nLogLimitIndex = 7;  // from a damaged data.dat: no item is checked
  frame.UpdateMenus();
  for (const char* item : {"20", "50", "100", "200"}) EXPECT_FALSE(Item(item)->isCheckable());

  // The clipboard keys, the edit enabled now that the frame is connected.
  frame.activateWindow();  // back from the connect dialog
  ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
  QApplication::clipboard()->setText("pasted");
  frame.PageView().setFocus();
  QTest::keyClick(&frame.PageView(), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(frame.InputText(), "pasted");
  InputEdit()->setFocus();
  InputEdit()->setSelection(0, 3);  // kept when the focus goes
  frame.PageView().setFocus();
  QTest::keyClick(&frame.PageView(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), "pas");
  QTest::keyClick(&frame.PageView(), Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(frame.InputText(), "ted");

  // Closing says farewell, saves the settings and removes the page.
  settings.m_nLogLimitIndex = 3;
  frame.close();
  const std::string farewell =
      EncodeMessage("\ndel\nred\nhost\n") +
      EncodeMessage(FillFormat(kLeaveNoticeFormat, {"red", "host", OwnIp()}));
  ASSERT_TRUE(peer.ReadToEnd());
  EXPECT_TRUE(peer.received.ends_with(farewell));
  EXPECT_EQ(ReadFile("data.dat"), "red\nhost\n3");
  Settle();  // a page write still posted at the close must not bring the file back
  EXPECT_FALSE(std::filesystem::exists("data.htm"));
}

// Run by tests/e2e/discovery.sh beside a real Avahi daemon (MURELO_DISCOVERY set).
TEST_F(MainFrameTest, RoomPublishedNearbyIsListedAndAPickJoinsIt) {
  if (qEnvironmentVariableIsEmpty("MURELO_DISCOVERY")) GTEST_SKIP() << "needs an Avahi daemon";
  uint16_t roomPort = 0;  // the room: a raw listener, announced by avahi-publish
  const int listener = ListenOnLoopback(roomPort);
  CMainFrame joining(settings, {roomPort, ""});
  joining.Conversation().OnInitialUpdate();
  QProcess publish;
  publish.start("avahi-publish", {"-s", "花子 (nearby)", "_murelo._tcp", QString::number(roomPort),
                                  "name=花子", "members=3"});
  CMureloConf().AddRecentHost("192.0.2.9");
  // The LAN may hold thousands of other services of the type (discovery.sh): they
  // neither hide the room nor cost much memory.
  const auto peakKiB = [] {
    rusage usage;
    return getrusage(RUSAGE_SELF, &usage) == 0 ? usage.ru_maxrss : 0;
  };
  [[maybe_unused]] const long before = peakKiB();
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    auto* list = dialog->findChild<QComboBox*>(IDC_HOST_LIST);
    // A daemon still busy with thousands of services answers slowly; a room that
    // never comes closes the dialog, so that the test fails instead of hanging.
    if (!WaitFor([&] { return list->findText(u"花子（3人） 127.0.0.1"_qs) == 0; }, 60000)) {
      dialog->reject();
      FAIL() << "the room was not listed";
    }
#ifndef __SANITIZE_ADDRESS__  // whose shadow memory and quarantine are far larger
    EXPECT_LT(peakKiB() - before, 20 * 1024);
#endif
    EXPECT_EQ(list->itemText(1), "192.0.2.9");  // then the recent hosts
    dialog->findChild<QLineEdit*>(IDC_NAME)->setText("guest");
    PickItem(list, 0);
    QTest::mouseClick(dialog->findChild<QPushButton*>(IDC_CONNECT_OK), Qt::LeftButton);
  });
  joining.Conversation().OnConnectCmd();
  EXPECT_EQ(joining.Conversation().m_strHost, "127.0.0.1");
  EXPECT_TRUE(RawPeer::Accept(listener) != nullptr &&
              WaitFor([&] { return joining.Conversation().m_bConnected; }));
  close(listener);
}

}  // namespace
}  // namespace murelo
