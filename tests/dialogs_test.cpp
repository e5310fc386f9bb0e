// The connect, name-and-colour and about dialogs and the message box, through their real
// controls.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>

#include "app/settings.h"
#include "core/message_catalog.h"
#include "platform/cp932.h"
#include "ui/about_dialog.h"
#include "ui/connect_dialog.h"
#include "ui/name_color_dialog.h"
#include "widgets.h"

namespace murelo {
namespace {

using test::RunModal;
using Boxes = std::vector<std::string>;

constexpr char kRed[] = "\220\324";  // 赤
constexpr int kRedRow = 1;
constexpr int kLightBlueRow = 4;

QLineEdit* NameEdit(QWidget& dialog) { return dialog.findChild<QLineEdit*>(IDC_NAME); }
QLineEdit* HostEdit(QWidget& dialog) { return dialog.findChild<QLineEdit*>(IDC_HOST); }
QComboBox* ColorBox(QWidget& dialog) { return dialog.findChild<QComboBox*>(IDC_COLOR); }
void Confirm(QWidget& dialog) {
  QTest::mouseClick(dialog.findChild<QPushButton*>(IDC_CONNECT_OK), Qt::LeftButton);
}
/// Picks an item of the colour box as a user does: open the list, click.
void PickColor(QWidget& dialog, int row) {
  ColorBox(dialog)->showPopup();
  QAbstractItemView* list = ColorBox(dialog)->view();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualRect(list->model()->index(row, 0)).center());
}
/// Replaces the colour box's text as a user does: select all, then type or erase.
void TypeColor(QWidget& dialog, const QString& text) {
  QLineEdit* edit = ColorBox(dialog)->lineEdit();
  QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(edit, Qt::Key_Backspace);
  test::TypeText(edit, text);
}

class DialogTest : public testing::Test {
 protected:
  CSettings settings;
  test::MessageBoxRecorder boxes;
};

TEST_F(DialogTest, NameAndColourAreRequiredNameFirst) {
  settings.m_strColor = "red";  // as LoadSettings leaves it without a file
  CConnectDlg dialog(settings);
  const auto run = RunModal(dialog, [&](CConnectDlg& dlg) {
    EXPECT_EQ(NameEdit(dlg)->text(), "");
    EXPECT_EQ(ColorBox(dlg)->currentText(), "red");
    Confirm(dlg);
    TypeColor(dlg, "");
    QTest::keyClick(NameEdit(dlg), Qt::Key_Return);  // Enter in an edit is the confirm button
    QTest::keyClicks(NameEdit(dlg), "taro");
    Confirm(dlg);
  });
  EXPECT_TRUE(run.openAfterSteps);
  EXPECT_EQ(boxes.texts, (Boxes{std::string(kBoxNameMissing), std::string(kBoxNameMissing),
                                std::string(kBoxColorMissing)}));
  EXPECT_EQ(settings.m_strName, "");
  EXPECT_EQ(settings.m_strColor, "red");
}

TEST_F(DialogTest, PickedColourStoresTheTableValueAndTypedTextStaysAsTyped) {
  CConnectDlg dialog(settings);
  EXPECT_EQ(RunModal(dialog,
                     [&](CConnectDlg& dlg) {
                       test::TypeText(NameEdit(dlg),
                                      QString::fromUtf8("\xE3\x81\x82\xF0\x9F\x98\x80"));  // あ😀
                       PickColor(dlg, kLightBlueRow);
                       EXPECT_EQ(ColorBox(dlg)->currentText(), ToQString("\220\205\220F"));  // 水色
                       QTest::keyClick(NameEdit(dlg), Qt::Key_Return);
                     })
                .result,
            IDOK);
  EXPECT_EQ(settings.m_strColor, "#00ffff");
  EXPECT_EQ(settings.m_strName, "\202\240&#128512;");
  EXPECT_TRUE(boxes.texts.empty());

  CNameColorDlg next(settings);  // opens with the stored values; a pick then typing is typed
  RunModal(next, [&](CNameColorDlg& dlg) {
    EXPECT_EQ(ColorBox(dlg)->currentText(), "#00ffff");
    EXPECT_EQ(NameEdit(dlg)->text(), QString::fromUtf8("\xE3\x81\x82&#128512;"));
    PickColor(dlg, kRedRow);
    QTest::keyClick(ColorBox(dlg)->lineEdit(), Qt::Key_End);
    QTest::keyClicks(ColorBox(dlg)->lineEdit(), "x");
    Confirm(dlg);
  });
  EXPECT_EQ(settings.m_strColor, std::string(kRed) + "x");
  CNameColorDlg typed(settings);  // a typed list item is no pick, even confirmed by Enter
  RunModal(typed, [&](CNameColorDlg& dlg) {
    TypeColor(dlg, ToQString(kRed));
    QTest::keyClick(ColorBox(dlg)->lineEdit(), Qt::Key_Return);
  });
  EXPECT_EQ(settings.m_strColor, kRed);
}

TEST_F(DialogTest, HostIsCutAtItsFirstAsciiBlankAndServerOnlyGreysIt) {
  settings.m_strName = "taro";
  settings.m_strColor = "red";
  const std::pair<QString, std::string> cases[] = {
      {"192.168.0.5 more words", "192.168.0.5"},
      {" 192.168.0.5", ""},
      {"host\tname", "host\tname"},
      {QString::fromUtf8("ホスト　名 x"),
       "\203z\203X\203g\201@\226\274"},  // a full-width blank stays
  };
  for (const auto& [typed, stored] : cases) {
    CConnectDlg dialog(settings);
    RunModal(dialog, [&](CConnectDlg& dlg) {
      HostEdit(dlg)->selectAll();
      HostEdit(dlg)->insert(typed);  // as a paste would; a tab cannot be typed
      Confirm(dlg);
    });
    EXPECT_EQ(dialog.m_strHost, stored);
    EXPECT_EQ(settings.m_strHost, stored);
  }
  CConnectDlg dialog(settings);
  RunModal(dialog, [&](CConnectDlg& dlg) {
    auto* server = dlg.findChild<QCheckBox*>(IDC_BE_SERVER);
    EXPECT_FALSE(server->isChecked());
    QTest::mouseClick(server, Qt::LeftButton);
    EXPECT_FALSE(HostEdit(dlg)->isEnabled() || dlg.findChild<QLabel*>(IDC_HOST_LABEL)->isEnabled());
    QTest::mouseClick(server, Qt::LeftButton);
    EXPECT_TRUE(HostEdit(dlg)->isEnabled() && dlg.findChild<QLabel*>(IDC_HOST_LABEL)->isEnabled());
    QTest::mouseClick(server, Qt::LeftButton);
    Confirm(dlg);
  });
  EXPECT_TRUE(dialog.m_bServer);
  EXPECT_EQ(settings.m_strHost, "\203z\203X\203g\201@\226\274");  // kept for a server too
  CConnectDlg next(settings);
  RunModal(next, [&](CConnectDlg& dlg) {
    EXPECT_FALSE(dlg.findChild<QCheckBox*>(IDC_BE_SERVER)->isChecked());
  });
}

TEST_F(DialogTest, CancellingChangesNothingAndEditsKeepToOneLine) {
  settings.m_strName = "taro";
  settings.m_strColor = "blue";
  settings.m_strHost = "10.0.0.1";
  for (bool escape : {true, false}) {
    CConnectDlg dialog(settings);
    const auto run = RunModal(dialog, [&](CConnectDlg& dlg) {
      QTest::keyClicks(NameEdit(dlg), "x");
      QTest::keyClicks(HostEdit(dlg), "9");
      PickColor(dlg, kRedRow);
      if (escape)
        QTest::keyClick(ColorBox(dlg)->lineEdit(), Qt::Key_Escape);
      else
        dlg.close();
    });
    EXPECT_FALSE(run.openAfterSteps);
    EXPECT_EQ(run.result, IDCANCEL);
  }
  EXPECT_EQ(settings.m_strName + settings.m_strColor + settings.m_strHost, "taroblue10.0.0.1");

  CConnectDlg dialog(settings);
  RunModal(dialog, [&](CConnectDlg& dlg) {
    QApplication::clipboard()->setText("ann\nadd\nred\nmallory");
    NameEdit(dlg)->selectAll();
    QTest::keyClick(NameEdit(dlg), Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(ColorBox(dlg)->lineEdit(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(ColorBox(dlg)->lineEdit(), Qt::Key_V, Qt::ControlModifier);
    ColorBox(dlg)->lineEdit()->insert("\r\n");  // a drop takes this road: refused
    Confirm(dlg);
  });
  EXPECT_EQ(settings.m_strName + "/" + settings.m_strColor, "ann/ann");
  EXPECT_TRUE(boxes.texts.empty());
}

TEST_F(DialogTest, TabOrderFollowsTheTemplateAndNoButtonIsDefault) {
  CConnectDlg dialog(settings);
  EXPECT_TRUE(QFontMetrics(dialog.font()).inFont(QChar(0x3042)));  // a Japanese font: あ
  std::vector<QString> order;
  QWidget* widget = NameEdit(dialog);
  do {  // the colour box's own edit is part of the box and has no name
    if (!widget->objectName().isEmpty() && (widget->focusPolicy() & Qt::TabFocus))
      order.push_back(widget->objectName());
    widget = widget->nextInFocusChain();
  } while (widget != NameEdit(dialog) && order.size() < 20);
  EXPECT_EQ(order, (std::vector<QString>{IDC_NAME, IDC_HOST, IDC_BE_SERVER, IDCANCEL_BUTTON,
                                         IDC_CONNECT_OK, IDC_COLOR}));
  for (QPushButton* button : dialog.findChildren<QPushButton*>())
    EXPECT_FALSE(button->isDefault() || button->autoDefault())
        << button->objectName().toStdString();

  CAboutDlg about;
  EXPECT_EQ(RunModal(about, [](CAboutDlg& dlg) { QTest::keyClick(&dlg, Qt::Key_Return); }).result,
            IDOK);
  CAboutDlg escaped;
  EXPECT_EQ(RunModal(escaped, [](CAboutDlg& dlg) { QTest::keyClick(&dlg, Qt::Key_Escape); }).result,
            IDCANCEL);
}

TEST(MessageBox, IsModalRunsTheLoopAndSurvivesItsOwner) {
  QPointer<QWidget> owner = new QWidget;
  SetMessageBoxHook([&](std::string_view text, QMessageBox& box) {
    EXPECT_EQ(box.text(), ToQString(text));
    EXPECT_EQ(box.windowTitle(), "murelo");
    EXPECT_EQ(box.standardButtons(), QMessageBox::Ok);
    EXPECT_TRUE(box.isModal());
    EXPECT_EQ(box.parentWidget(), owner.data());
    delete owner.data();  // a window may go while its box is open
  });
  ShowMessageBox(owner, kBoxColorMissing);
  SetMessageBoxHook({});
  EXPECT_TRUE(owner.isNull());
  bool answered = false;  // a timer set before the box fires inside it, as a socket would
  QTimer::singleShot(0, [&] {
    qobject_cast<QMessageBox*>(QApplication::activeModalWidget())->button(QMessageBox::Ok)->click();
    answered = true;
  });
  ShowMessageBox(nullptr, kBoxNameMissing);
  EXPECT_TRUE(answered);
}

}  // namespace
}  // namespace murelo
