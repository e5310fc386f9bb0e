// The message box: modal, on Qt's loop, and safe when its owner goes.
#include "platform/message_box.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include "core/message_catalog.h"
#include "platform/cp932.h"

namespace murelo {
namespace {

TEST(MessageBox, IsModalRunsTheLoopAndSurvivesItsOwner) {
  QPointer<QWidget> owner = new QWidget;
  SetMessageBoxHook([&](std::string_view text, QMessageBox& box) {
    EXPECT_EQ(box.text(), ToQString(text));
    EXPECT_TRUE(box.isModal() && box.parentWidget() == owner.data());
    delete owner.data();  // a window may go while its box is open
  });
  ShowMessageBox(owner, kBoxColorMissing);
  SetMessageBoxHook({});
  EXPECT_TRUE(owner.isNull());
  bool answered = false;  // a timer set before the box fires inside it, as a socket would
  QTimer::singleShot(0, [&] {
    qobject_cast<QMessageBox*>(QApplication::activeModalWidget())->button(QMessageBox::Ok)->click();
    answered = true;
  });
  ShowMessageBox(nullptr, kBoxNameMissing);
  EXPECT_TRUE(answered);
}

}  // namespace
}  // namespace murelo
