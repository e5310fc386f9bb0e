// The history from the window: the search window through real keys, erasing and
// switching recording off from the menu.
#include "ui/history_window.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QMessageBox>
#include <QStackedWidget>

#include "app/window_history.h"
#include "loopback.h"
#include "platform/cp932.h"
#include "platform/message_box.h"
#include "platform/page_view/page_view.h"
#include "ui/ui_texts.h"
#include "widgets.h"

namespace murelo {
namespace {

using namespace test;

class HistoryWindowTest : public testing::Test {
 protected:
  HistoryWindowTest() {
    QFile::remove(HistoryPath());
    frame.Conversation().OnInitialUpdate();
  }
  ~HistoryWindowTest() override { SetMessageBoxHook({}); }

  /// Lines 1 to count, one a minute in one stay of room 10.0.0.9, "会議" in every tenth.
  static void Keep(int count) {
    std::vector<CHistoryEvent> events{
        {CHistoryEvent::Kind::kStayBegan, 0, "10.0.0.9", "me", {}, {}, {}, false, 0}};
    for (int i = 1; i <= count; ++i) {
      const QString text = i % 10 ? u"行%1"_qs.arg(i) : u"行%1 は会議"_qs.arg(i);
      events.push_back({CHistoryEvent::Kind::kLine,
                        i * 60000LL,
                        {},
                        "bob",
                        "#ff0000",
                        "10.0.0.2",
                        ToCp932(u"<font color=#ff0000><b>bob</b></font>："_qs + text),
                        true,
                        0});
    }
    QString movedAside;
    ASSERT_TRUE(CHistoryStore::Open(HistoryPath(), movedAside)->Write(events));
  }
  QAction* Item(std::string_view text) {
    for (QAction* action : frame.menuBar()->findChildren<QAction*>())
      if (action->text() == ToQString(text)) return action;
    return nullptr;
  }
  static qint64 Lines() {
    const auto store = CHistoryStore::OpenToRead(HistoryPath());
    return store ? store->LineCount() : 0;
  }
  CHistoryWindow* Window() {
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (auto* window = qobject_cast<CHistoryWindow*>(widget)) return window;
    return nullptr;
  }

  ScopedTempDir dir;
  CDataDat settings;
  CMainFrame frame{settings, {FreePort(), ""}};
  CWindowHistory history{frame};
};

TEST_F(HistoryWindowTest, TypingFindsHitsEnterShowsTheirContextKeysMoveCopyAndClose) {
  Keep(1000);
  frame.show();
  frame.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
  QTest::keyClick(&frame, Qt::Key_F, Qt::ControlModifier);
  CHistoryWindow* window = Window();
  ASSERT_TRUE(window && window->isVisible());
  auto* query = window->findChild<QLineEdit*>();
  auto* hits = window->findChild<QListView*>();
  auto* pages = window->findChild<QStackedWidget*>();
  TypeText(query, u"ｶｲ"_qs);  // found nowhere
  ASSERT_TRUE(
      WaitFor([&] { return window->findChild<QLabel*>(u"count"_qs)->text() == u"0 件"_qs; }));
  QTest::keyClick(query, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(query, Qt::Key_Backspace);
  Settle(100);
  // 会議 through an input method: the reading as typed, converted, then committed by
  // the Enter that neither searches again nor opens a hit.
  int searches = 0;
  QObject::connect(hits->model(), &QAbstractItemModel::modelReset, [&] { ++searches; });
  for (const QString& preedit : {u"か"_qs, u"かい"_qs, u"かいぎ"_qs, u"会議"_qs}) {
    QInputMethodEvent event(preedit, {});
    QApplication::sendEvent(query, &event);
  }
  QInputMethodEvent commit;
  commit.setCommitString(u"会議"_qs);
  QApplication::sendEvent(query, &commit);
  ASSERT_TRUE(WaitFor([&] { return hits->model()->rowCount() > 0; }));
  Settle(100);
  EXPECT_EQ(searches, 1);
  EXPECT_EQ(pages->currentWidget(), hits);
  EXPECT_EQ(window->findChild<QLabel*>(u"count"_qs)->text(), u"100 件"_qs);
  // Newest first, a page at a time.
  EXPECT_EQ(hits->model()->index(0, 0).data(Qt::ToolTipRole).toString().section(u' ', 2),
            u"bob：行1000 は会議"_qs);
  EXPECT_EQ(hits->model()->rowCount(), 100);

  QTest::keyClick(query, Qt::Key_Down);  // from the query, through the hits
  EXPECT_EQ(hits->currentIndex().row(), 1);
  QTest::keyClick(query, Qt::Key_Return);  // 行990 in its context, newest first
  auto* context = qobject_cast<CPageView*>(pages->currentWidget());
  ASSERT_TRUE(context);
  ASSERT_TRUE(WaitFor([&] {  // the older lines and the newer, which come apart
    return context->toPlainText().contains(u"行940"_qs) &&
           context->toPlainText().contains(u"行1000"_qs);
  }));
  const QString shown = context->toPlainText();
  EXPECT_LT(shown.indexOf(u"行991"), shown.indexOf(u"行990 は"));
  QTest::keyClick(context, Qt::Key_Escape);
  EXPECT_EQ(pages->currentWidget(), hits);

  hits->selectionModel()->select(hits->model()->index(0, 0), QItemSelectionModel::Select);
  QTest::keyClick(hits, Qt::Key_C, Qt::ControlModifier);
  const QStringList copied = QApplication::clipboard()->text().split(u'\n');
  ASSERT_EQ(copied.size(), 2);
  EXPECT_TRUE(copied[0].endsWith(u" 10.0.0.9 bob：行1000 は会議"_qs) &&
              copied[1].endsWith(u" 10.0.0.9 bob：行990 は会議"_qs));
  QTest::keyClick(hits, Qt::Key_Escape);
  EXPECT_FALSE(window->isVisible());
}

TEST_F(HistoryWindowTest, ErasingAsksFirstAndTheSwitchStopsRecording) {
  Keep(30);
  std::string asked;
  bool yes = false;
  SetMessageBoxHook([&](std::string_view text, QMessageBox& box) {
    asked = text;
    box.button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
  });
  Item(kMenuHistoryForget)->trigger();
  ASSERT_TRUE(WaitFor([&] { return !asked.empty(); }));
  EXPECT_NE(ToQString(asked).indexOf(u"30 行"_qs), -1) << asked;
  EXPECT_EQ(Lines(), 30);  // kept after no
  yes = true;
  Item(kMenuHistoryForget)->trigger();
  EXPECT_TRUE(WaitFor([&] { return Lines() == 0; }));

  // Switched off, a line said in a room is not kept; switched on again, it is.
  settings.m_strName = "host";
  settings.m_strColor = "red";
  frame.ConnectAtStart(true);  // hosting: lines said now are the room's
  for (const bool on : {false, true}) {
    Item(kMenuHistoryRecord)->trigger();
    EXPECT_EQ(CMureloConf().History(), on);
    frame.Conversation().ProcessMessage(on ? "kept\n1.1.1.1\n" : "dropped\n1.1.1.1\n");
    Settle(400);  // the recorder writes five times a second
  }
  const auto found = CHistoryStore::OpenToRead(HistoryPath())->Search({u"kept"_qs, {}, 0, 50});
  ASSERT_TRUE(found);
  EXPECT_EQ(found->nTotal, 1);
}

// A hit's time as the list shows it, and the words marked where they fold to the query.
TEST(HitList, TimesByAgeAndWordsMarkedInAnyWidth) {
  const QDateTime now(QDate(2026, 12, 8), QTime(15, 0));
  const auto at = [](int year, int month, int day) {
    return QDateTime(QDate(year, month, day), QTime(9, 5)).toMSecsSinceEpoch();
  };
  EXPECT_EQ(HitTime(at(2026, 12, 8), now), u"09:05"_qs);
  EXPECT_EQ(HitTime(at(2026, 3, 1), now), u"3月1日 09:05"_qs);
  EXPECT_EQ(HitTime(at(2025, 12, 31), now), u"2025年12月31日"_qs);

  std::vector<CTextRun> runs;
  AppendMarkedRuns(runs, u"新ﾃﾞｰﾀとABC"_qs, {u"データ"_qs, u"abc"_qs}, Qt::black, false);
  std::vector<std::pair<QString, bool>> pieces;
  for (const CTextRun& run : runs) pieces.emplace_back(run.strText, run.bMarked);
  EXPECT_EQ(pieces,
            (std::vector<std::pair<QString, bool>>{
                {u"新"_qs, false}, {u"ﾃﾞｰﾀ"_qs, true}, {u"と"_qs, false}, {u"ABC"_qs, true}}));
}

}  // namespace
}  // namespace murelo
