#include "ui/input_dlg_base.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/message_catalog.h"
#include "platform/cp932.h"
#include "platform/japanese_font.h"
#include "platform/message_box.h"
#include "ui/color_table.h"
#include "ui/one_line_edit.h"
#include "ui/resource_ids.h"

namespace murelo {

CInputDlgBase::CInputDlgBase(CDataDat& settings, QWidget* owner, std::string_view cp932Caption,
                             int width, int height)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_settings(settings),
      m_du(DialogFont()) {
  setFont(DialogFont());
  setWindowTitle(ToQString(cp932Caption));
  setFixedSize(m_du.Size(width, height));
}

int CInputDlgBase::DoModal() {
  OnInitDialog();
  return exec() == QDialog::Accepted ? IDOK : IDCANCEL;
}

void CInputDlgBase::OnInitDialog() {
  m_cbColor->setCurrentIndex(-1);
  m_cbColor->setEditText(ToQString(m_settings.m_strColor));
  m_strColor = m_settings.m_strColor;
  m_strName = m_settings.m_strName;
  m_editName->setText(ToQString(m_strName));
  m_editName->setFocus();
}

bool CInputDlgBase::NameAndColorGiven() {
  m_strName = ToCp932(m_editName->text());
  if (m_strName.empty()) {
    ShowMessageBox(this, kBoxNameMissing);
    return false;
  }
  if (m_strColor.empty()) {
    ShowMessageBox(this, kBoxColorMissing);
    return false;
  }
  return true;
}

QLabel* CInputDlgBase::AddLabel(std::string_view cp932Text, int left, int top, int width,
                                int height) {
  return CreateTemplateLabel(this, cp932Text, m_du.Rect(left, top, width, height));
}

QLineEdit* CInputDlgBase::AddEdit(const char* id, int left, int top, int width, int height) {
  auto* edit = new COneLineEdit(this);
  edit->setObjectName(QLatin1String(id));
  edit->setGeometry(m_du.Rect(left, top, width, height));
  return edit;
}

QPushButton* CInputDlgBase::AddButton(const char* id, std::string_view cp932Text, int left, int top,
                                      int width, int height) {
  auto* button = new QPushButton(ToQString(cp932Text), this);
  button->setObjectName(QLatin1String(id));
  // No button is the default: Enter presses the focused button, and anywhere else is the
  // IDOK command, which keyPressEvent routes to the confirm handler.
  button->setAutoDefault(false);
  button->setDefault(false);
  button->setGeometry(m_du.Rect(left, top, width, height));
  return button;
}

QComboBox* CInputDlgBase::AddTypedBox(const QRect& place) {
  auto* box = new QComboBox(this);
  box->setLineEdit(new COneLineEdit(box));  // editable, in the program's one-line edit
  // The box must not second-guess what the user types: no completion from the list,
  // no item added or chosen on Enter (a typed "赤" stays "赤", not "red").
  box->setCompleter(nullptr);
  box->setInsertPolicy(QComboBox::NoInsert);
  box->setDuplicatesEnabled(true);
  // Nor when the edit loses the focus: Qt's box would take its text as a pick of the item
  // it matches. Only a pick from the list is one.
  QObject::disconnect(box->lineEdit(), &QLineEdit::editingFinished, nullptr, nullptr);
  box->setGeometry(place);
  // Enter in the box's edit is the dialog's IDOK command; the box itself would take it
  // as a pick of the item its text matches.
  box->lineEdit()->installEventFilter(this);
  return box;
}

QComboBox* CInputDlgBase::AddColorBox(int left, int top, int width, int /*height*/) {
  // The template's height is that of the open list; closed, the box keeps its own.
  const QRect place = m_du.Rect(left, top, width, 0);
  QComboBox* box = AddTypedBox(place);
  box->setObjectName(IDC_COLOR);
  for (const ColorTableEntry& entry : kColorTable) box->addItem(ToQString(entry.strItem));
  box->setGeometry(place.x(), place.y(), place.width(), box->sizeHint().height());
  connect(box, &QComboBox::activated, this, &CInputDlgBase::OnSelchangeColor);
  connect(box->lineEdit(), &QLineEdit::textEdited, this, &CInputDlgBase::OnEditchangeColor);
  return box;
}

bool CInputDlgBase::IsEnterKey(const QKeyEvent& event) {
  const bool enter = event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter;
  return enter && (event.modifiers() == Qt::NoModifier ||
                   (event.modifiers() == Qt::KeypadModifier && event.key() == Qt::Key_Enter));
}

void CInputDlgBase::keyPressEvent(QKeyEvent* event) {
  if (IsEnterKey(*event)) {
    if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
      button->click();
    } else {
      OnOkCommand();
    }
    return;
  }
  QDialog::keyPressEvent(event);  // Escape cancels
}

bool CInputDlgBase::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && m_cbColor != nullptr &&
      watched == m_cbColor->lineEdit() && IsEnterKey(*static_cast<QKeyEvent*>(event))) {
    OnOkCommand();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void CInputDlgBase::OnSelchangeColor(int index) {
  if (index < 0 || index >= static_cast<int>(kColorTable.size())) return;
  m_strColor = kColorTable[index].strValue;
}

void CInputDlgBase::OnEditchangeColor(const QString& text) { m_strColor = ToCp932(text); }

}  // namespace murelo

#include "moc_input_dlg_base.cpp"
