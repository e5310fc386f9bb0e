#include "ui/input_bar.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <string>

#include "gui_support.h"
#include "platform/cp932.h"
#include "platform/japanese_font.h"
#include "ui/dialog_units.h"
#include "ui/resource_ids.h"

namespace murelo {
namespace {

const QString kA = QString::fromUtf8("\xE3\x81\x82");          // あ, two CP932 bytes
const QString kEmoji = QString::fromUtf8("\xF0\x9F\x98\x80");  // 😀, sent as "&#128512;"

class InputBarTest : public testing::Test {
 protected:
  InputBarTest() {
    bar.resize(600, bar.sizeHint().height());
    bar.show();  // a hidden widget gets its resize events only when shown
    bar.EnableInput(true);
  }
  QLineEdit* Edit() { return bar.findChild<QLineEdit*>(IDC_INPUT_EDIT); }
  QPushButton* Button() { return bar.findChild<QPushButton*>(IDC_SEND); }

  CInputBar bar;
};

TEST_F(InputBarTest, StartsDisabledWithTheEditFirstInTabOrder) {
  CInputBar fresh;
  ASSERT_NE(fresh.findChild<QLineEdit*>(IDC_INPUT_EDIT), nullptr);
  EXPECT_FALSE(fresh.findChild<QLineEdit*>(IDC_INPUT_EDIT)->isEnabled());
  EXPECT_FALSE(fresh.findChild<QPushButton*>(IDC_SEND)->isEnabled());
  EXPECT_EQ(fresh.findChild<QLineEdit*>(IDC_INPUT_EDIT)->nextInFocusChain(),
            fresh.findChild<QPushButton*>(IDC_SEND));

  bar.EnableInput(false);
  EXPECT_FALSE(Edit()->isEnabled());
  EXPECT_FALSE(Button()->isEnabled());
  bar.EnableInput(true);
  EXPECT_TRUE(Edit()->isEnabled());
  EXPECT_TRUE(Button()->isEnabled());
}

TEST_F(InputBarTest, LayoutFollowsTheWidthAndClampsWhenNarrow) {
  const QSize buttonSize = CDialogUnits(DialogFont()).Size(25, 15);
  EXPECT_EQ(Button()->geometry(), QRect(QPoint(530, 3), buttonSize));
  EXPECT_EQ(Edit()->geometry(), QRect(5, 3, 515, 22));  // 5 to 520

  for (int cx : {85, 84, 40, 0}) {
    bar.resize(cx, bar.height());
    EXPECT_EQ(Edit()->geometry(), QRect(5, 3, 0, 22)) << cx;
    EXPECT_EQ(Button()->geometry(), QRect(QPoint(15, 3), buttonSize)) << cx;
  }
  bar.LayOut(100);
  EXPECT_EQ(Edit()->geometry(), QRect(5, 3, 15, 22));
  EXPECT_EQ(Button()->pos(), QPoint(30, 3));
}

TEST_F(InputBarTest, EnterAndTheButtonEachAskForOneSend) {
  QSignalSpy sends(&bar, &CInputBar::sendRequested);
  QTest::keyClicks(Edit(), "hello");
  QTest::keyClick(Edit(), Qt::Key_Return);
  EXPECT_EQ(sends.count(), 1);
  QTest::mouseClick(Button(), Qt::LeftButton);
  EXPECT_EQ(sends.count(), 2);
  QTest::keyClick(Edit(), Qt::Key_Escape);
  QTest::keyClick(Edit(), Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(sends.count(), 3);
  EXPECT_EQ(bar.InputText(), "hello");  // the bar sends nothing and clears nothing
}

TEST_F(InputBarTest, EditTakesAtMost1000Cp932Bytes) {
  test::TypeText(Edit(), kA.repeated(500));
  EXPECT_EQ(bar.InputText().size(), 1000u);
  test::TypeText(Edit(), kA);
  QTest::keyClicks(Edit(), "a");
  EXPECT_EQ(Edit()->text(), kA.repeated(500));

  // One byte left: a double-byte character does not fit, a single-byte one does.
  Edit()->clear();
  test::TypeText(Edit(), kA.repeated(499) + "b");
  test::TypeText(Edit(), kA);
  EXPECT_EQ(bar.InputText().size(), 999u);
  QTest::keyClicks(Edit(), "c");
  EXPECT_EQ(bar.InputText().size(), 1000u);

  // A character CP932 cannot hold counts as its nine-byte reference.
  Edit()->clear();
  QTest::keyClicks(Edit(), QString(992, 'x'));
  test::TypeText(Edit(), kEmoji);
  EXPECT_EQ(Edit()->text().size(), 992);
  QTest::keyClick(Edit(), Qt::Key_Backspace);
  test::TypeText(Edit(), kEmoji);
  EXPECT_EQ(bar.InputText(), std::string(991, 'x') + "&#128512;");

  // A refused key leaves the undo history alone.
  Edit()->clear();
  test::TypeText(Edit(), kA.repeated(500));
  test::TypeText(Edit(), kA);
  bar.Undo();
  EXPECT_EQ(Edit()->text(), QString());
}

TEST_F(InputBarTest, SetInputTextKeepsTheWholeCharactersThatFit) {
  std::string text;
  for (int i = 0; i < 501; ++i) text += "\202\240";  // あ
  bar.SetInputText(text);
  EXPECT_EQ(bar.InputText(), text.substr(0, 1000));
  bar.SetInputText("abc");
  EXPECT_EQ(Edit()->text(), "abc");
}

TEST_F(InputBarTest, ClipboardCommandsActOnTheEditWhereverTheFocusIs) {
  QLineEdit elsewhere;
  elsewhere.setFocus();
  QClipboard* clipboard = QApplication::clipboard();

  clipboard->setText(kA + "abc");
  bar.Paste();
  EXPECT_EQ(Edit()->text(), kA + "abc");
  EXPECT_EQ(elsewhere.text(), "");

  Edit()->selectAll();
  bar.Copy();
  clipboard->clear();
  bar.Copy();
  EXPECT_EQ(clipboard->text(), kA + "abc");
  bar.Cut();
  EXPECT_EQ(Edit()->text(), "");
  EXPECT_EQ(clipboard->text(), kA + "abc");
  bar.Undo();
  EXPECT_EQ(Edit()->text(), kA + "abc");

  bar.EnableInput(false);
  Edit()->clear();
  clipboard->setText("while disabled");
  bar.Paste();
  EXPECT_EQ(Edit()->text(), "while disabled");
}

TEST_F(InputBarTest, PasteInsertsTheFirstLineAsFarAsItFits) {
  QClipboard* clipboard = QApplication::clipboard();
  clipboard->setText(kA.repeated(600));
  QTest::keyClicks(Edit(), "ab");
  bar.Paste();
  EXPECT_EQ(Edit()->text(), "ab" + kA.repeated(499));

  // The edit's own paste key does the same; a selection makes room.
  Edit()->selectAll();
  QTest::keyClick(Edit(), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(Edit()->text(), kA.repeated(500));

  // A chat line never holds a line break: a pasted text ends at its first one.
  Edit()->clear();
  clipboard->setText("first\r\nsecond");
  bar.Paste();
  EXPECT_EQ(bar.InputText(), "first");
  bar.SetInputText("one\ntwo");
  EXPECT_EQ(bar.InputText(), "one");

  // A paste that fits is a step of its own for Undo.
  Edit()->clear();
  QTest::keyClicks(Edit(), "typed ");
  clipboard->setText("pasted");
  bar.Paste();
  EXPECT_EQ(Edit()->text(), "typed pasted");
  bar.Undo();
  EXPECT_EQ(Edit()->text(), "typed ");
}

}  // namespace
}  // namespace murelo
