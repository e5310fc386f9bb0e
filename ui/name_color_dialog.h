// CNameColorDlg: the name-and-colour dialog, opened while
// connected to change the handle name and the colour. A confirm stores both in the
// settings; the caller takes m_strName and m_strColor after DoModal returned IDOK.
#pragma once

#include "ui/input_dlg_base.h"

namespace murelo {

class CNameColorDlg : public CInputDlgBase {
  Q_OBJECT

 public:
  /// settings must outlive the dialog; owner may be null.
  explicit CNameColorDlg(CDataDat& settings, QWidget* owner = nullptr);

 protected:
  void OnOkCommand() override;

 private:
  /// The confirm button: name first, then colour, must be given; then name and colour
  /// go to the settings, in that order.
  void OnConfirmButton();
};

}  // namespace murelo
