// CInputBar: the bar along the bottom of the main window: a
// one-line input edit and the send button, both disabled until a connection exists.
// Enter in the edit and a click on the button ask for the typed line to be sent; the
// bar itself sends nothing. The edit holds at most kInputLimit bytes of CP932 text.
#pragma once

#include <QWidget>
#include <cstddef>
#include <string>
#include <string_view>

#include "ui/dialog_units.h"

class QPushButton;
class QResizeEvent;

namespace murelo {

class COneLineEdit;

class CInputBar : public QWidget {
  Q_OBJECT

 public:
  /// CP932 bytes the edit takes; a character CP932 cannot hold counts by the length of
  /// the numeric character reference it is sent as.
  static constexpr size_t kInputLimit = 1000;

  explicit CInputBar(QWidget* parent = nullptr);

  /// Places the controls for a bar cx pixels wide: the button 70 pixels from the
  /// right edge, the edit from x = 5 to 80 pixels from it. Under 85 pixels the edit
  /// shrinks to nothing and the button stops at x = 15. Runs on every resize.
  void LayOut(int cx);

  /// Enables or disables the send button, then the input edit.
  void EnableInput(bool enable);

  /// The edit's text as CP932.
  std::string InputText() const;
  /// Replaces the edit's text with the CP932 text: its first line, cut to the whole
  /// characters that fit.
  void SetInputText(std::string_view cp932);

  /// The clipboard commands. Each acts on the input edit whatever has the focus and
  /// whether or not the edit is enabled. Paste inserts the clipboard's first line, as
  /// much of it as fits the limit.
  void Copy();
  void Cut();
  void Paste();
  void Undo();

  /// Full width of the template, 20 dialog units high.
  QSize sizeHint() const override;

 signals:
  /// Enter in the edit, or the send button clicked.
  void sendRequested();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  const CDialogUnits m_du;
  COneLineEdit* m_editInput;
  QPushButton* m_btnSend;
};

}  // namespace murelo
