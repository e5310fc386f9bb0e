// The main window through its real widgets, with the chat view on real sockets.
#include "ui/main_frame.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "core/message_catalog.h"
#include "core/message_format.h"
#include "core/wire_format.h"
#include "gui_support.h"
#include "network_support.h"
#include "platform/chat_browser.h"
#include "platform/cp932.h"
#include "platform/own_address.h"
#include "platform/qt_event_loop.h"
#include "platform/stream_socket.h"
#include "ui/input_bar.h"
#include "ui/resource_ids.h"
#include "ui/ui_texts.h"

namespace murelo {
namespace {

using test::AnswerConnectDialog;
using test::RawPeer;
using test::WaitFor;

class MainFrameTest : public testing::Test {
 protected:
  MainFrameTest() { frame.Conversation().OnInitialUpdate(); }
  ~MainFrameTest() override { CStreamSocket::FinishClosingConnections(500); }

  QAction* Item(std::string_view cp932Text) {
    for (QAction* action : frame.menuBar()->findChildren<QAction*>()) {
      if (action->text() == ToQString(cp932Text)) return action;
    }
    ADD_FAILURE() << "no menu item";
    return nullptr;
  }
  QAction* LimitItem(const char* text) {
    for (QAction* action : frame.menuBar()->findChildren<QAction*>()) {
      if (action->text() == text) return action;
    }
    return nullptr;
  }
  void Host() {
    AnswerConnectDialog(true, "host");
    frame.Conversation().OnConnectCmd();
  }
  QLineEdit* InputEdit() { return frame.findChild<QLineEdit*>(IDC_INPUT_EDIT); }

  test::ScopedTempDir dir;
  CQtEventLoop loop;
  CSettings settings;
  const uint16_t port = test::FreePort();
  CMainFrame frame{settings, {port, ""}};
};

TEST_F(MainFrameTest, StartsAsAFreshWindow) {
  EXPECT_EQ(frame.windowTitle(), "Murelo - murelo");
  frame.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
  EXPECT_EQ(frame.frameGeometry().size(), QSize(480, 480));
  EXPECT_EQ(test::ReadFile("data.htm"), "<html>\n<body bgcolor=#eeeeff>");
  EXPECT_FALSE(InputEdit()->isEnabled());
  EXPECT_FALSE(frame.findChild<QPushButton*>(IDC_SEND)->isEnabled());
  EXPECT_EQ(settings.m_strColor, "red");
  EXPECT_EQ(settings.m_nLogLimitIndex, 1);
}

TEST_F(MainFrameTest, MenuFollowsTheConnectionState) {
  frame.UpdateMenus();
  QAction* connect = Item(kMenuConnect);
  QAction* disconnect = Item(kMenuDisconnect);
  QAction* rename = Item(kMenuChangeNameColor);
  EXPECT_TRUE(connect->isEnabled());
  EXPECT_FALSE(disconnect->isEnabled());
  EXPECT_FALSE(rename->isEnabled());
  EXPECT_FALSE(LimitItem("50")->isEnabled());
  EXPECT_TRUE(LimitItem("50")->isChecked());
  EXPECT_FALSE(LimitItem("20")->isChecked());

  Host();  // listening, but nobody has come yet
  frame.UpdateMenus();
  EXPECT_TRUE(connect->isEnabled());
  EXPECT_FALSE(disconnect->isEnabled());

  RawPeer peer(port);
  ASSERT_TRUE(WaitFor([&] { return frame.Conversation().m_bConnected; }));
  frame.UpdateMenus();
  EXPECT_FALSE(connect->isEnabled());
  EXPECT_TRUE(disconnect->isEnabled());
  EXPECT_TRUE(rename->isEnabled());
  EXPECT_TRUE(LimitItem("100")->isEnabled());
  EXPECT_TRUE(InputEdit()->isEnabled());

  for (int i = 0; i < 120; ++i)
    frame.Conversation().ProcessMessage("e" + std::to_string(i) + "\n1.1.1.1\n");
  LimitItem("100")->trigger();
  frame.UpdateMenus();
  EXPECT_TRUE(LimitItem("100")->isChecked());
  EXPECT_FALSE(LimitItem("50")->isChecked());
  const std::string page = test::ReadFile("data.htm");
  EXPECT_NE(page.find("<hr>e20\n"), std::string::npos);
  EXPECT_EQ(page.find("<hr>e19\n"), std::string::npos);

  settings.m_nLogLimitIndex = 7;  // from a damaged settings file: no item is checked
  frame.UpdateMenus();
  for (const char* item : {"20", "50", "100", "200"}) EXPECT_FALSE(LimitItem(item)->isChecked());
}

TEST_F(MainFrameTest, InputBarFollowsTheLayoutRule) {
  frame.resize(600, 480);
  frame.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
  ASSERT_EQ(frame.InputBar().width(), 600);
  EXPECT_EQ(frame.findChild<QPushButton*>(IDC_SEND)->x(), 530);
  EXPECT_EQ(InputEdit()->x(), 5);
  EXPECT_EQ(InputEdit()->geometry().right() + 1, 520);
}

TEST_F(MainFrameTest, ClipboardKeysActOnTheInputEditWhereverTheFocusIs) {
  frame.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
  QApplication::clipboard()->setText("pasted");
  frame.PageView().setFocus();
  QTest::keyClick(&frame.PageView(), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(frame.InputText(), "pasted");
  EXPECT_TRUE(frame.PageView().toPlainText().indexOf("pasted") < 0);
}

TEST_F(MainFrameTest, EnterSendsTheTypedLine) {
  Host();
  RawPeer peer(port);
  ASSERT_TRUE(WaitFor([&] { return frame.Conversation().m_bConnected; }));
  frame.show();
  InputEdit()->setFocus();
  QTest::keyClicks(InputEdit(), "hello");
  QTest::keyClick(InputEdit(), Qt::Key_Return);
  EXPECT_EQ(frame.InputText(), "");
  const std::string line = FillFormat(
      kChatLineFormat, {"red", "host", "hello", FindOwnIpv4Address().value_or("127.0.0.1")});
  ASSERT_TRUE(peer.ReadUntil([&](const std::string& bytes) {
    return bytes.find(EncodeMessage(line)) != std::string::npos;
  }));
}

TEST_F(MainFrameTest, ClosingSaysFarewellSavesTheSettingsAndRemovesThePage) {
  Host();
  RawPeer peer(port);
  ASSERT_TRUE(WaitFor([&] { return frame.Conversation().m_bConnected; }));
  settings.m_nLogLimitIndex = 3;
  frame.close();

  const std::string ip = FindOwnIpv4Address().value_or("127.0.0.1");
  const std::string farewell = EncodeMessage("\ndel\nred\nhost\n") +
                               EncodeMessage(FillFormat(kLeaveNoticeFormat, {"red", "host", ip}));
  ASSERT_TRUE(peer.ReadUntil([&](const std::string&) { return peer.closed; }));
  EXPECT_TRUE(peer.received.ends_with(farewell));
  EXPECT_EQ(test::ReadFile("data.dat"), "red\nhost\n3");
  EXPECT_FALSE(std::filesystem::exists("data.htm"));
}

}  // namespace
}  // namespace murelo
