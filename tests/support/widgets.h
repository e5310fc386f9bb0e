// Driving real widgets in tests: typing, answering message boxes, running a modal
// dialog while a test works its controls.
#pragma once

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <string>
#include <vector>

#include "platform/message_box.h"
#include "ui/resource_ids.h"

namespace murelo::test {

/// Types text into widget one key at a time, as a keyboard (or an input method that
/// commits each character) would; unlike QTest::keyClicks it takes any character.
inline void TypeText(QWidget* widget, const QString& text) {
  for (qsizetype at = 0; at < text.size();) {
    const qsizetype width = text[at].isHighSurrogate() && at + 1 < text.size() ? 2 : 1;
    QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, text.mid(at, width), Qt::NoModifier);
    at += width;
  }
}

/// Picks an item of a combo box as a user does: open the list, click.
inline void PickItem(QComboBox* box, int row) {
  box->showPopup();
  QAbstractItemView* list = box->view();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualRect(list->model()->index(row, 0)).center());
}

/// Confirms the connect dialog that the next connect command opens: as host, or joining
/// the host on this machine.
inline void AnswerConnectDialog(bool server, const QString& name) {
  QTimer::singleShot(0, [server, name] {
    QWidget* dialog = QApplication::activeModalWidget();
    if (dialog == nullptr) return;  // the caller finds it not connected
    dialog->findChild<QLineEdit*>(IDC_NAME)->setText(name);
    if (server) QTest::mouseClick(dialog->findChild<QCheckBox*>(IDC_BE_SERVER), Qt::LeftButton);
    dialog->findChild<QLineEdit*>(IDC_HOST)->setText("127.0.0.1");
    QTest::mouseClick(dialog->findChild<QPushButton*>(IDC_CONNECT_OK), Qt::LeftButton);
  });
}

/// Answers every message box shown during its lifetime with OK and records its text.
class MessageBoxRecorder {
 public:
  MessageBoxRecorder() {
    SetMessageBoxHook([this](std::string_view text, QMessageBox&) { texts.emplace_back(text); });
  }
  ~MessageBoxRecorder() { SetMessageBoxHook({}); }
  MessageBoxRecorder(const MessageBoxRecorder&) = delete;
  MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

  std::vector<std::string> texts;
};

/// How a modal run went: what DoModal returned, and whether the dialog was still open
/// when the steps were done (the run is then cancelled).
struct ModalRun {
  int result = 0;
  bool openAfterSteps = false;
};

/// Calls dialog.DoModal() and, inside its event loop, steps(dialog).
template <typename Dialog, typename Steps>
ModalRun RunModal(Dialog& dialog, Steps steps) {
  ModalRun run;
  QTimer::singleShot(0, &dialog, [&] {
    steps(dialog);
    run.openAfterSteps = dialog.isVisible();
    if (run.openAfterSteps) dialog.reject();
  });
  run.result = dialog.DoModal();
  return run;
}

}  // namespace murelo::test
