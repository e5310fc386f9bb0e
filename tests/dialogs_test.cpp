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

QLineEdit* NameEdit(QWidget& dlg) { return dlg.findChild<QLineEdit*>(IDC_NAME); }
QLineEdit* HostEdit(QWidget& dlg) { return dlg.findChild<QLineEdit*>(IDC_HOST); }
QLineEdit* ColorEdit(QWidget& dlg) { return dlg.findChild<QComboBox*>(IDC_COLOR)->lineEdit(); }
void Click(QWidget& dlg, const char* id) {
  QTest::mouseClick(dlg.findChild<QWidget*>(id), Qt::LeftButton);
}

class DialogTest : public testing::Test {
 protected:
  DialogTest() {
    SetMessageBoxHook([this](std::string_view text, QMessageBox&) { boxes.emplace_back(text); });
  }
  ~DialogTest() override { SetMessageBoxHook({}); }

  /// Runs a Dialog on the settings, takes steps inside it (cancelling it if they leave it
  /// open) and returns what DoModal returned.
  template <typename Dialog>
  int Run(const std::function<void(Dialog&)>& steps) {
    Dialog dialog(settings);
    QTimer::singleShot(0, &dialog, [&] {
      steps(dialog);
      if (dialog.isVisible()) dialog.reject();
    });
    return dialog.DoModal();
  }

  CDataDat settings;
  Boxes boxes;  // the texts of the message boxes shown, each answered with OK
};

TEST_F(DialogTest, NameAndColourAreRequiredNameFirstAndCancelChangesNothing) {
  settings.m_strColor = "red";  // as LoadSettings leaves it without a file
  const int result = Run<CConnectDlg>([](CConnectDlg& dlg) {
    Click(dlg, IDC_CONNECT_OK);
    QTest::keyClick(ColorEdit(dlg), Qt::Key_A, Qt::ControlModifier);  // erased as a user does
    QTest::keyClick(ColorEdit(dlg), Qt::Key_Backspace);
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
              test::PickItem(dlg.findChild<QComboBox*>(IDC_COLOR), 4);
              EXPECT_EQ(ColorEdit(dlg)->text(), ToQString("\220\205\220F"));  // 水色
              QTest::keyClick(NameEdit(dlg), Qt::Key_Return);
            }),
            IDOK);
  EXPECT_EQ(settings.m_strName + "/" + settings.m_strColor, "\202\240&#128512;/#00ffff");  // あ😀
  Run<CNameColorDlg>([](CNameColorDlg& dlg) {  // opens with what is stored
    EXPECT_EQ(ColorEdit(dlg)->text() + NameEdit(dlg)->text(),
              QString::fromUtf8("#00ffffあ&#128512;"));
    test::PickItem(dlg.findChild<QComboBox*>(IDC_COLOR), 1);
    QTest::keyClick(ColorEdit(dlg), Qt::Key_End);
    QTest::keyClicks(ColorEdit(dlg), "x");
    Click(dlg, IDC_CONNECT_OK);
  });
  EXPECT_EQ(settings.m_strColor, std::string(kRed) + "x");
  EXPECT_TRUE(boxes.empty());
}

TEST_F(DialogTest, HostIsCutAtItsFirstAsciiBlankAndServerGreysIt) {
  settings.m_strName = "taro";
  settings.m_strColor = "red";
  const std::tuple<QString, std::string, bool> cases[] = {
      {" 192.168.0.5", "", false},
      {u"ホスト　名 x"_qs, "\203z\203X\203g\201@\226\274", true},  // a full-width blank stays
      {"host\tname x", "host\tname", false},  // and the server box was no setting
  };
  for (const auto& [typed, stored, server] : cases) {
    Run<CConnectDlg>([&](CConnectDlg& dlg) {
      EXPECT_FALSE(dlg.findChild<QCheckBox*>(IDC_BE_SERVER)->isChecked());
      HostEdit(dlg)->selectAll();
      HostEdit(dlg)->insert(typed);  // as a paste would; a tab cannot be typed
      if (server) Click(dlg, IDC_BE_SERVER);
      EXPECT_EQ(HostEdit(dlg)->isEnabled() || dlg.findChild<QLabel*>(IDC_HOST_LABEL)->isEnabled(),
                !server);
      Click(dlg, IDC_CONNECT_OK);
      EXPECT_EQ(dlg.m_bServer, server);
    });
    EXPECT_EQ(settings.m_strHost, stored);  // cut for a server too
  }
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
      const std::string text = control->property("text").toString().toStdString();
      EXPECT_TRUE(dialog->rect().contains(control->geometry())) << text;
      if (qobject_cast<QLabel*>(control) || qobject_cast<QAbstractButton*>(control)) {
        EXPECT_TRUE(control->size().expandedTo(control->sizeHint()) == control->size()) << text;
      }
      for (QWidget* other : controls)
        EXPECT_TRUE(other == control || !other->geometry().intersects(control->geometry())) << text;
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
