// The input bar: its layout, its limit of 1000 CP932 bytes however text comes in, and
// the clipboard commands the menu sends it.
#include "ui/input_bar.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include "platform/cp932.h"
#include "widgets.h"

namespace murelo {
namespace {

const QString kA = QString::fromUtf8("\xE3\x81\x82");          // あ, two CP932 bytes
const QString kEmoji = QString::fromUtf8("\xF0\x9F\x98\x80");  // 😀, sent as "&#128512;"

class InputBarTest : public testing::Test {
 protected:
  InputBarTest() {
    EXPECT_FALSE(Edit()->isEnabled() || Button()->isEnabled());  // until connected
    EXPECT_EQ(Edit()->nextInFocusChain(), Button());
    bar.resize(600, bar.sizeHint().height());
    bar.show();  // a hidden widget gets its resize events only when shown
    bar.EnableInput(true);
  }
  QLineEdit* Edit() { return bar.findChild<QLineEdit*>(IDC_INPUT_EDIT); }
  QPushButton* Button() { return bar.findChild<QPushButton*>(IDC_SEND); }

  CInputBar bar;
};

TEST_F(InputBarTest, LayoutFollowsTheWidthAndEnterOrTheButtonAsksToSend) {
  // The edit, then the button, whole and of one size, inside the bar at any width; too
  // narrow a bar leaves the edit no room at all.
  const QSize button = Button()->size();
  for (const int width : {600, 84}) {
    bar.resize(width, bar.height());
    EXPECT_TRUE(bar.rect().contains(Button()->geometry()) &&
                Edit()->geometry().right() < Button()->x() && Button()->size() == button)
        << width;
  }
  EXPECT_EQ(Edit()->width(), 0);

  QSignalSpy sends(&bar, &CInputBar::sendRequested);
  QTest::keyClicks(Edit(), "hello");
  QTest::keyClick(Edit(), Qt::Key_Return);
  QTest::mouseClick(Button(), Qt::LeftButton);
  QTest::keyClick(Button(), Qt::Key_Return);  // with the focus on the button too
  EXPECT_EQ(sends.count(), 3);
  EXPECT_EQ(bar.InputText(), "hello");  // the bar sends nothing and clears nothing
}

TEST_F(InputBarTest, EditTakesAtMost1000Cp932BytesOfWholeCharacters) {
  test::TypeText(Edit(), kA.repeated(499) + "b");
  test::TypeText(Edit(), kA);  // one byte left: a double-byte character does not fit
  QTest::keyClicks(Edit(), "cd");
  EXPECT_EQ(bar.InputText(), ToCp932(kA.repeated(499)) + "bc");
  bar.Undo();  // a refused key leaves the undo history alone: the typing goes as one
  EXPECT_EQ(bar.InputText(), "");

  // A character CP932 cannot hold counts as its nine-byte reference.
  QTest::keyClicks(Edit(), QString(992, 'x'));
  test::TypeText(Edit(), kEmoji);  // 1001 bytes: refused, so Backspace takes an x
  QTest::keyClick(Edit(), Qt::Key_Backspace);
  test::TypeText(Edit(), kEmoji);
  EXPECT_EQ(bar.InputText(), std::string(991, 'x') + "&#128512;");

  bar.SetInputText(std::string(1002, 'y') + "\ntwo");
  EXPECT_EQ(bar.InputText(), std::string(1000, 'y'));
  bar.SetInputText("one\ntwo");
  EXPECT_EQ(bar.InputText(), "one");
}

TEST_F(InputBarTest, PasteTakesTheFirstLineAsFarAsItFitsWhereverTheFocusIs) {
  QLineEdit elsewhere;
  elsewhere.setFocus();
  QClipboard* clipboard = QApplication::clipboard();
  clipboard->setText(kA.repeated(600));
  QTest::keyClicks(Edit(), "ab");
  bar.Paste();
  EXPECT_EQ(Edit()->text(), "ab" + kA.repeated(499));
  Edit()->selectAll();  // the edit's own paste key does the same; a selection makes room
  QTest::keyClick(Edit(), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(Edit()->text(), kA.repeated(500));
  Edit()->setText("ab");  // and so does the context menu's Paste
  QTimer::singleShot(0, [] { QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_P); });
  QContextMenuEvent menu(QContextMenuEvent::Keyboard, {1, 1}, Edit()->mapToGlobal(QPoint(1, 1)));
  QCoreApplication::sendEvent(Edit(), &menu);
  QCoreApplication::processEvents();  // the menu opens, and its Paste is picked
  EXPECT_EQ(Edit()->text(), "ab" + kA.repeated(499));

  Edit()->clear();
  QTest::keyClicks(Edit(), "typed ");
  clipboard->setText("pasted");
  bar.Paste();
  bar.Undo();  // a paste that fits whole is a step of its own
  EXPECT_EQ(bar.InputText(), "typed ");
  clipboard->setText("first\r\nsecond");
  bar.Paste();
  EXPECT_EQ(bar.InputText(), "typed first");
  Edit()->selectAll();
  bar.Cut();
  EXPECT_EQ(clipboard->text(), "typed first");
  bar.EnableInput(false);  // the menu's Paste reaches the edit even so
  bar.Paste();
  EXPECT_EQ(bar.InputText(), "typed first");
}

}  // namespace
}  // namespace murelo
