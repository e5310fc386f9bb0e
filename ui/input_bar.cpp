#include "ui/input_bar.h"

#include <QPushButton>
#include <QResizeEvent>
#include <algorithm>

#include "platform/cp932.h"
#include "platform/japanese_font.h"
#include "ui/one_line_edit.h"
#include "ui/resource_ids.h"
#include "ui/ui_texts.h"

namespace murelo {

namespace {

constexpr int kControlTop = 3;
constexpr int kEditLeft = 5;
constexpr int kEditHeight = 22;
constexpr int kEditRightMargin = 80;    // from the edit's right edge to the bar's
constexpr int kButtonRightMargin = 70;  // from the button's left edge to the bar's
constexpr int kButtonMinLeft = kEditLeft + kEditRightMargin - kButtonRightMargin;

}  // namespace

CInputBar::CInputBar(QWidget* parent) : QWidget(parent), m_du(DialogFont()) {
  setFont(DialogFont());
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

  // The edit comes first in tab order.
  m_editInput = new COneLineEdit(this, kInputLimit);
  m_editInput->setObjectName(IDC_INPUT_EDIT);
  m_editInput->setGeometry(m_du.Rect(5, 2, 280, 15));
  m_editInput->setEnabled(false);

  m_btnSend = new QPushButton(ToQString(kSendButton), this);
  m_btnSend->setObjectName(IDC_SEND);
  m_btnSend->setAutoDefault(true);  // Enter on the focused button sends, as a click does
  m_btnSend->setDefault(false);
  m_btnSend->setGeometry(m_du.Rect(290, 2, 25, 15));
  m_btnSend->setEnabled(false);

  connect(m_editInput, &QLineEdit::returnPressed, this, &CInputBar::sendRequested);
  connect(m_btnSend, &QPushButton::clicked, this, &CInputBar::sendRequested);
}

void CInputBar::LayOut(int cx) {
  m_btnSend->move(std::max(cx - kButtonRightMargin, kButtonMinLeft), kControlTop);
  m_btnSend->raise();
  m_editInput->setGeometry(kEditLeft, kControlTop, std::max(cx - kEditLeft - kEditRightMargin, 0),
                           kEditHeight);
  m_editInput->raise();
}

void CInputBar::EnableInput(bool enable) {
  m_btnSend->setEnabled(enable);
  m_editInput->setEnabled(enable);
}

std::string CInputBar::InputText() const { return ToCp932(m_editInput->text()); }

void CInputBar::SetInputText(std::string_view cp932) {
  const QString text = COneLineEdit::FirstLine(ToQString(cp932));
  m_editInput->setText(text.left(Cp932FittingPrefix(text, kInputLimit)));
}

void CInputBar::Copy() { m_editInput->copy(); }

void CInputBar::Cut() { m_editInput->cut(); }

void CInputBar::Paste() { m_editInput->PasteFitting(); }

void CInputBar::Undo() { m_editInput->undo(); }

QSize CInputBar::sizeHint() const { return m_du.Size(324, 20); }

void CInputBar::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayOut(event->size().width());
}

}  // namespace murelo

#include "moc_input_bar.cpp"
