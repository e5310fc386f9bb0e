// The connect and name-and-colour dialogs and the about box, through their real controls.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "app/data_dat.h"
#include "core/message_catalog.h"
#include "platform/cp932.h"
#include "platform/desktop/murelo_conf.h"
#include "platform/message_box.h"
#include "ui/about_dialog.h"
#include "ui/connect_dialog.h"
#include "ui/name_color_dialog.h"
#include "widgets.h"

namespace murelo {
namespace {

using Boxes = std::vector<std::string>;
constexpr char kRed[] = "\220\324";  // 赤, the list's second item

QLineEdit* NameEdit(QWidget& dialog) { return dialog.findChild<QLineEdit*>(IDC_NAME); }
QLineEdit* HostEdit(QWidget& dialog) { return dialog.findChild<QLineEdit*>(IDC_HOST); }
QLineEdit* ColorEdit(QWidget& dialog) {
  return dialog.findChild<QComboBox*>(IDC_COLOR)->lineEdit();
}
void Click(QWidget& dialog, const char* id) {
  QTest::mouseClick(dialog.findChild<QWidget*>(id), Qt::LeftButton);
}
void PickColor(QWidget& dialog, int row) {
  test::PickItem(dialog.findChild<QComboBox*>(IDC_COLOR), row);
}
/// Replaces an edit's text as a user does: select all, then erase and type.
void Retype(QLineEdit* edit, const QString& text) {
  QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(edit, Qt::Key_Backspace);
  test::TypeText(edit, text);
}

class DialogTest : public testing::Test {
 protected:
  DialogTest() {
    SetMessageBoxHook([this](std::string_view text, QMessageBox&) { boxes.emplace_back(text); });
  }
  ~DialogTest() override { SetMessageBoxHook({}); }

  /// Runs dialog, takes steps inside it (cancelling it if they leave it open) and
  /// returns what DoModal returned.
  template <typename Dialog>
  static int RunModal(Dialog& dialog, const std::function<void(Dialog&)>& steps) {
    QTimer::singleShot(0, &dialog, [&] {
      steps(dialog);
      if (dialog.isVisible()) dialog.reject();
    });
    return dialog.DoModal();
  }
  /// The same with a Dialog on the settings.
  template <typename Dialog>
  int Run(const std::function<void(Dialog&)>& steps) {
    Dialog dialog(settings);
    return RunModal(dialog, steps);
  }

  CDataDat settings;
  Boxes boxes;  // the texts of the message boxes shown, each answered with OK
};

TEST_F(DialogTest, NameAndColourAreRequiredNameFirstAndCancelChangesNothing) {
  settings.m_strColor = "red";  // as LoadSettings leaves it without a file
  const int result = Run<CConnectDlg>([](CConnectDlg& dlg) {
    EXPECT_EQ(NameEdit(dlg)->text() + ColorEdit(dlg)->text(), "red");
    Click(dlg, IDC_CONNECT_OK);
    Retype(ColorEdit(dlg), "");
    QTest::keyClick(NameEdit(dlg), Qt::Key_Return);  // Enter in an edit is the confirm button
    QTest::keyClicks(NameEdit(dlg), "taro");
    Click(dlg, IDC_CONNECT_OK);
    QTest::keyClicks(HostEdit(dlg), "9");
    auto* cancel = dlg.findChild<QPushButton*>(IDCANCEL_BUTTON);
    cancel->setFocus();  // Enter presses the focused button
    QTest::keyClick(cancel, Qt::Key_Return);
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(boxes, (Boxes{std::string(kBoxNameMissing), std::string(kBoxNameMissing),
                          std::string(kBoxColorMissing)}));
  EXPECT_EQ(settings.m_strName + settings.m_strColor + settings.m_strHost, "red");
}

TEST_F(DialogTest, PickedColourStoresTheTableValueAndTypedTextStaysAsTyped) {
  EXPECT_EQ(Run<CConnectDlg>([](CConnectDlg& dlg) {
              test::TypeText(NameEdit(dlg), QString::fromUtf8("\xE3\x81\x82\xF0\x9F\x98\x80"));
              PickColor(dlg, 4);
              EXPECT_EQ(ColorEdit(dlg)->text(), ToQString("\220\205\220F"));  // 水色
              QTest::keyClick(NameEdit(dlg), Qt::Key_Return);
            }),
            IDOK);
  EXPECT_EQ(settings.m_strColor, "#00ffff");
  EXPECT_EQ(settings.m_strName, "\202\240&#128512;");  // あ😀
  Run<CNameColorDlg>([](CNameColorDlg& dlg) {          // opens with what is stored
    EXPECT_EQ(ColorEdit(dlg)->text() + NameEdit(dlg)->text(),
              QString::fromUtf8("#00ffffあ&#128512;"));
    PickColor(dlg, 1);
    QTest::keyClick(ColorEdit(dlg), Qt::Key_End);
    QTest::keyClicks(ColorEdit(dlg), "x");
    Click(dlg, IDC_CONNECT_OK);
  });
  EXPECT_EQ(settings.m_strColor, std::string(kRed) + "x");
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Tab}) {  // a typed list item is no pick
    Run<CNameColorDlg>([key](CNameColorDlg& dlg) {
      dlg.activateWindow();
      EXPECT_TRUE(QTest::qWaitForWindowActive(&dlg));
      ColorEdit(dlg)->setFocus();
      Retype(ColorEdit(dlg), ToQString(kRed));
      QTest::keyClick(ColorEdit(dlg), key);  // Enter confirms; Tab leaves the box
      if (dlg.isVisible()) Click(dlg, IDC_CONNECT_OK);
    });
    EXPECT_EQ(settings.m_strColor, kRed) << key;
  }
  EXPECT_EQ(Run<CNameColorDlg>([](CNameColorDlg& dlg) {  // the stored 赤 survives a walk round
              dlg.activateWindow();
              EXPECT_TRUE(QTest::qWaitForWindowActive(&dlg));
              for (int i = 0; i < 6; ++i) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
              EXPECT_EQ(QApplication::focusWidget()->objectName(), IDC_CONNECT_OK);  // 更新
              QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            }),
            IDOK);
  EXPECT_EQ(settings.m_strColor, kRed);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(DialogTest, HostIsCutAtItsFirstAsciiBlankAndServerGreysIt) {
  settings.m_strName = "taro";
  settings.m_strColor = "red";
  const std::pair<QString, std::string> cases[] = {
      {" 192.168.0.5", ""},
      {"host\tname x", "host\tname"},
      {QString::fromUtf8("ホスト　名 x"),
       "\203z\203X\203g\201@\226\274"},  // a full-width blank stays
  };
  for (const auto& [typed, stored] : cases) {
    Run<CConnectDlg>([&](CConnectDlg& dlg) {
      HostEdit(dlg)->selectAll();
      HostEdit(dlg)->insert(typed);  // as a paste would; a tab cannot be typed
      Click(dlg, IDC_CONNECT_OK);
    });
    EXPECT_EQ(settings.m_strHost, stored);
  }
  CConnectDlg dialog(settings);
  RunModal<CConnectDlg>(dialog, [](CConnectDlg& dlg) {
    auto* label = dlg.findChild<QLabel*>(IDC_HOST_LABEL);
    Click(dlg, IDC_BE_SERVER);
    EXPECT_FALSE(HostEdit(dlg)->isEnabled() || label->isEnabled());
    Click(dlg, IDC_CONNECT_OK);
  });
  EXPECT_TRUE(dialog.m_bServer);
  EXPECT_EQ(dialog.m_strHost, "\203z\203X\203g\201@\226\274");  // kept for a server too
  Run<CConnectDlg>([](CConnectDlg& dlg) {                       // ticking it is no setting
    EXPECT_FALSE(dlg.findChild<QCheckBox*>(IDC_BE_SERVER)->isChecked());
  });
}

TEST_F(DialogTest, EditsKeepToOneLineAndNoButtonIsDefault) {
  QApplication::clipboard()->setText("ann\nadd\nred\nmallory");
  Run<CNameColorDlg>([](CNameColorDlg& dlg) {
    QTest::keyClick(NameEdit(dlg), Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(ColorEdit(dlg), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(ColorEdit(dlg), Qt::Key_V, Qt::ControlModifier);
    ColorEdit(dlg)->insert("\r\n");  // a drop takes this road: refused
    Click(dlg, IDC_CONNECT_OK);
  });
  EXPECT_EQ(settings.m_strName + "/" + settings.m_strColor, "ann/ann");

  CConnectDlg dialog(settings);
  EXPECT_TRUE(QFontMetrics(dialog.font()).inFont(QChar(0x3042)));  // a Japanese font: あ
  for (QPushButton* button : dialog.findChildren<QPushButton*>())
    EXPECT_FALSE(button->isDefault() || button->autoDefault());
}

// Run at scale factors 1 and 1.5 (QT_SCALE_FACTOR, tests/CMakeLists.txt).
TEST_F(DialogTest, EveryLabelAndButtonShowsItsWholeTextAndNoneOverlaps) {
  CConnectDlg connect(settings);
  CNameColorDlg nameColor(settings);
  CAboutDlg about;
  for (QWidget* dialog : std::initializer_list<QWidget*>{&connect, &nameColor, &about}) {
    const QList<QWidget*> controls = dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* control : controls) {
      const QString text = control->property("text").toString();
      EXPECT_TRUE(dialog->rect().contains(control->geometry())) << text.toStdString();
      if (qobject_cast<QLabel*>(control) || qobject_cast<QAbstractButton*>(control)) {
        EXPECT_TRUE(control->size().expandedTo(control->sizeHint()) == control->size())
            << text.toStdString();
      }
      for (QWidget* other : controls) {
        EXPECT_TRUE(other == control || !other->geometry().intersects(control->geometry()))
            << text.toStdString();
      }
    }
  }
}

// Without an Avahi daemon (or bus) the dialog opens at once, listing the recent hosts.
// tests/e2e/discovery.sh runs it again with a bus whose daemon has gone.
TEST_F(DialogTest, HostListHoldsTheRecentHostsAtOnceWithoutADaemon) {
  CMureloConf().AddRecentHost("192.0.2.9");
  QElapsedTimer timer;
  timer.start();
  Run<CConnectDlg>([&](CConnectDlg& dlg) {
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_EQ(dlg.findChild<QComboBox*>(IDC_HOST_LIST)->itemText(0), "192.0.2.9");
  });
}

}  // namespace
}  // namespace murelo
