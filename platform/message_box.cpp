#include "platform/message_box.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <string>
#include <utility>

#include "platform/cp932.h"

namespace murelo {

namespace {

constexpr char kDefaultCaption[] = "murelo";

MessageBoxHook& Hook() {
  static MessageBoxHook hook;
  return hook;
}

/// Shows the box with buttons until one is pressed, or the box is closed (the last of
/// buttons, then); returns which.
QMessageBox::StandardButton RunBox(QWidget* owner, std::string_view cp932Text,
                                   QMessageBox::StandardButtons buttons,
                                   QMessageBox::StandardButton closed) {
  // The box lives on the heap and is watched: its nested loop may run a handler that
  // destroys owner, and owner takes its children with it.
  QPointer<QMessageBox> box = new QMessageBox(owner);
  box->setWindowTitle(QString::fromLatin1(kDefaultCaption));
  box->setTextFormat(Qt::PlainText);
  box->setText(ToQString(cp932Text));
  box->setStandardButtons(buttons);
  box->setDefaultButton(closed);
  box->setEscapeButton(closed);
  if (Hook()) {
    QTimer::singleShot(0, box.data(), [hook = Hook(), text = std::string(cp932Text), box, closed] {
      hook(text, *box);
      if (box && box->isVisible()) box->button(closed)->click();
    });
  }
  const auto pressed = static_cast<QMessageBox::StandardButton>(box->exec());  // app-modal
  delete box.data();
  return pressed;
}

}  // namespace

void ShowMessageBox(QWidget* owner, std::string_view cp932Text) {
  RunBox(owner, cp932Text, QMessageBox::Ok, QMessageBox::Ok);
}

bool AskYesOrNo(QWidget* owner, std::string_view cp932Text) {
  return RunBox(owner, cp932Text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
         QMessageBox::Yes;
}

void SetMessageBoxHook(MessageBoxHook hook) { Hook() = std::move(hook); }

}  // namespace murelo
