// COneLineEdit: the program's one-line edit, used by the input bar and the dialogs.
// Every text taken from an edit (a chat line, a name, a colour, a host) goes into a
// line of a message or of data.dat, so the edit never holds a line break, whether the
// text is typed, pasted or dropped; and where it has a limit, it never holds more
// CP932 bytes than that.
#pragma once

#include <QLineEdit>
#include <QString>
#include <cstddef>
#include <cstdint>

class QContextMenuEvent;
class QFocusEvent;
class QKeyEvent;

namespace murelo {

class COneLineEdit : public QLineEdit {
 public:
  /// maxCp932Bytes: the longest text it takes, counted as ToCp932 counts it.
  explicit COneLineEdit(QWidget* parent, size_t maxCp932Bytes = SIZE_MAX);

  /// Inserts the clipboard's first line in place of the selection, as much of it (in
  /// whole characters) as fits the limit. The paste key and the context menu's Paste of
  /// the edit do the same.
  void PasteFitting();

  /// text up to its first line break (CR or LF).
  static QString FirstLine(const QString& text);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  size_t m_nMaxBytes;
};

}  // namespace murelo
