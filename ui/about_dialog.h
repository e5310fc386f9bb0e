// CAboutDlg: the about box: the application icon, the version
// and one more line, and an OK button that is the default.
#pragma once

#include <QDialog>

namespace murelo {

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  /// owner may be null.
  explicit CAboutDlg(QWidget* owner = nullptr);

  /// Runs the box in a nested event loop: IDOK from the OK button or Enter, else
  /// IDCANCEL.
  int DoModal();
};

}  // namespace murelo
