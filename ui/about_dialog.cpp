#include "ui/about_dialog.h"

#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include "platform/cp932.h"
#include "platform/japanese_font.h"
#include "ui/dialog_units.h"
#include "ui/resource_ids.h"
#include "ui/ui_texts.h"

namespace murelo {

namespace {

constexpr int kIconPixels = 32;  // an icon control takes its icon's size

}  // namespace

CAboutDlg::CAboutDlg(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
  const QFont font = DialogFont();
  const CDialogUnits du(font);
  setFont(font);
  setWindowTitle(ToQString(kAboutCaption));
  setFixedSize(du.Size(235, 55));

  auto* icon = new QLabel(this);
  icon->setPixmap(QApplication::windowIcon().pixmap(kIconPixels, kIconPixels));
  icon->setGeometry(du.X(11), du.Y(17), kIconPixels, kIconPixels);
  auto* version = new QLabel(ToQString(kAboutVersionLine), this);
  version->setGeometry(du.Rect(40, 10, 119, 8));
  auto* second = new QLabel(ToQString(kAboutSecondLine), this);
  second->setGeometry(du.Rect(40, 25, 119, 8));
  auto* ok = new QPushButton(ToQString(kAboutOkButton), this);
  ok->setObjectName(IDOK_BUTTON);
  ok->setDefault(true);
  ok->setGeometry(du.Rect(178, 7, 50, 14));
  GrowToFitText(this);

  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

int CAboutDlg::DoModal() { return exec() == QDialog::Accepted ? IDOK : IDCANCEL; }

}  // namespace murelo

#include "moc_about_dialog.cpp"
