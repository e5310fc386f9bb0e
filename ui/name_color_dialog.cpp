#include "ui/name_color_dialog.h"

#include <QPushButton>

#include "ui/resource_ids.h"
#include "ui/ui_texts.h"

namespace murelo {

CNameColorDlg::CNameColorDlg(CDataDat& settings, QWidget* owner)
    : CInputDlgBase(settings, owner, kNameColorCaption, 143, 82) {
  // In the template's order, which is also the tab order.
  AddLabel(kNameLabel, 10, 5, 40, 15);
  m_editName = AddEdit(IDC_NAME, 55, 5, 80, 15);
  QPushButton* cancel = AddButton(IDCANCEL_BUTTON, kCancelButton, 90, 55, 45, 15);
  QPushButton* confirm = AddButton(IDC_CONNECT_OK, kUpdateButton, 40, 55, 45, 15);
  AddLabel(kColorLabel, 10, 30, 40, 15);
  m_cbColor = AddColorBox(55, 30, 80, 80);

  GrowToFitText(this);

  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(confirm, &QPushButton::clicked, this, &CNameColorDlg::OnConfirmButton);
}

void CNameColorDlg::OnOkCommand() { OnConfirmButton(); }

void CNameColorDlg::OnConfirmButton() {
  if (!NameAndColorGiven()) return;
  m_settings.m_strName = m_strName;
  m_settings.m_strColor = m_strColor;
  accept();
}

}  // namespace murelo

#include "moc_name_color_dialog.cpp"
