#include "platform/message_box.h"

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

}  // namespace

void ShowMessageBox(QWidget* owner, std::string_view cp932Text) {
  // The box lives on the heap and is watched: its nested loop may run a handler that
  // destroys owner, and owner takes its children with it.
  QPointer<QMessageBox> box = new QMessageBox(owner);
  box->setWindowTitle(QString::fromLatin1(kDefaultCaption));
  box->setTextFormat(Qt::PlainText);
  box->setText(ToQString(cp932Text));
  box->setStandardButtons(QMessageBox::Ok);
  box->setDefaultButton(QMessageBox::Ok);
  if (Hook()) {
    QTimer::singleShot(0, box.data(), [hook = Hook(), text = std::string(cp932Text), box] {
      hook(text, *box);
      if (box && box->isVisible()) box->accept();
    });
  }
  box->exec();  // application-modal
  delete box.data();
}

void SetMessageBoxHook(MessageBoxHook hook) { Hook() = std::move(hook); }

}  // namespace murelo
