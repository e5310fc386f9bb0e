#include "platform/message_box.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include "core/message_catalog.h"
#include "platform/cp932.h"

namespace murelo {
namespace {

TEST(MessageBox, IsModalWithTheTextAnOkButtonAndTheProgramCaption) {
  QWidget owner;
  int shown = 0;
  SetMessageBoxHook([&](std::string_view text, QMessageBox& box) {
    ++shown;
    EXPECT_EQ(text, kBoxColorMissing);
    EXPECT_EQ(box.text(), ToQString(kBoxColorMissing));
    EXPECT_EQ(box.windowTitle(), "murelo");
    EXPECT_EQ(box.standardButtons(), QMessageBox::Ok);
    EXPECT_TRUE(box.isModal());
    EXPECT_EQ(box.parentWidget(), &owner);
  });
  ShowMessageBox(&owner, kBoxColorMissing);
  SetMessageBoxHook({});
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(owner.findChildren<QMessageBox*>().isEmpty());  // gone once dismissed
}

TEST(MessageBox, RunsTheEventLoopUntilDismissed) {
  // A timer set before the box fires inside it, as a socket notification would.
  bool answered = false;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    box->button(QMessageBox::Ok)->click();
    answered = true;
  });
  ShowMessageBox(nullptr, kBoxNameMissing);
  EXPECT_TRUE(answered);
}

TEST(MessageBox, SurvivesItsOwnerBeingDestroyedWhileOpen) {
  QPointer<QWidget> owner = new QWidget;
  SetMessageBoxHook([&](std::string_view, QMessageBox&) { delete owner.data(); });
  ShowMessageBox(owner, kBoxNoFreeSlot);
  SetMessageBoxHook({});
  EXPECT_TRUE(owner.isNull());
}

}  // namespace
}  // namespace murelo
