#include "ui/one_line_edit.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QValidator>
#include <algorithm>

#include "platform/cp932.h"

namespace murelo {

namespace {

/// Refuses a change that would put a line break in the text or take it over the
/// limit. A refused change (a key, a drop, a paste from the context menu) leaves the
/// edit and its undo history as they were.
class COneLineValidator : public QValidator {
 public:
  COneLineValidator(QObject* parent, size_t maxBytes) : QValidator(parent), m_nMaxBytes(maxBytes) {}

  State validate(QString& input, int& /*pos*/) const override {
    if (COneLineEdit::FirstLine(input).size() != input.size()) return Invalid;
    if (m_nMaxBytes != SIZE_MAX && Cp932Length(input) > m_nMaxBytes) return Invalid;
    return Acceptable;
  }

 private:
  size_t m_nMaxBytes;
};

}  // namespace

COneLineEdit::COneLineEdit(QWidget* parent, size_t maxCp932Bytes)
    : QLineEdit(parent), m_nMaxBytes(maxCp932Bytes) {
  setValidator(new COneLineValidator(this, maxCp932Bytes));
}

void COneLineEdit::PasteFitting() {
  const QString clip = QGuiApplication::clipboard()->text();
  const QString line = FirstLine(clip);
  qsizetype fitting = line.size();
  if (m_nMaxBytes != SIZE_MAX) {
    const size_t kept = Cp932Length(text()) - Cp932Length(selectedText());
    fitting = Cp932FittingPrefix(line, m_nMaxBytes - std::min(kept, m_nMaxBytes));
  }
  if (fitting == clip.size()) {
    paste();  // the whole text: the edit's own paste, a step of its own for Undo
  } else if (fitting > 0 || hasSelectedText()) {
    // Only part of it: Undo takes this back together with any typing just before.
    insert(line.left(fitting));
  }
}

QString COneLineEdit::FirstLine(const QString& text) {
  qsizetype end = 0;
  while (end < text.size() && text[end] != QLatin1Char('\n') && text[end] != QLatin1Char('\r')) {
    ++end;
  }
  return text.left(end);
}

void COneLineEdit::contextMenuEvent(QContextMenuEvent* event) {
  // As Qt shows it: a popup that deletes itself, so no nested loop runs here.
  QMenu* menu = createStandardContextMenu();
  menu->setAttribute(Qt::WA_DeleteOnClose);
  // Qt's own Paste would insert nothing of a text over the limit. Its item is the one
  // that shows the paste key, in any language.
  const QString pasteKey = QKeySequence(QKeySequence::Paste).toString(QKeySequence::NativeText);
  for (QAction* action : menu->actions()) {
    if (!action->text().endsWith(QLatin1Char('\t') + pasteKey)) continue;
    action->disconnect(this);
    connect(action, &QAction::triggered, this, &COneLineEdit::PasteFitting);
  }
  menu->popup(event->globalPos());
}

void COneLineEdit::focusOutEvent(QFocusEvent* event) {
  // The selection stays when the focus goes, so that the window's copy and cut keys act
  // on it from anywhere.
  const int start = selectionStart();
  const int length = static_cast<int>(selectedText().size());
  const bool cursorAtStart = cursorPosition() == start;
  QLineEdit::focusOutEvent(event);
  if (start >= 0 && !hasSelectedText()) {
    setSelection(cursorAtStart ? start + length : start, cursorAtStart ? -length : length);
  }
}

void COneLineEdit::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Paste)) {
    PasteFitting();
    return;
  }
  QLineEdit::keyPressEvent(event);
}

}  // namespace murelo
