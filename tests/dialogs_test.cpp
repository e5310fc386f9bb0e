#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <string>
#include <vector>

#include "app/settings.h"
#include "core/message_catalog.h"
#include "gui_support.h"
#include "platform/cp932.h"
#include "ui/about_dialog.h"
#include "ui/connect_dialog.h"
#include "ui/name_color_dialog.h"
#include "ui/resource_ids.h"

namespace murelo {
namespace {

using test::RunModal;

// 赤, 水色 and x typed after 赤, in CP932.
constexpr char kRed[] = "\220\324";
constexpr char kRedX[] = "\220\324x";
constexpr int kLightBlueRow = 4;
constexpr int kRedRow = 1;

template <typename Widget>
Widget* Control(QWidget& dialog, const char* id) {
  auto* widget = dialog.findChild<Widget*>(QLatin1String(id));
  EXPECT_NE(widget, nullptr) << id;
  return widget;
}

QLineEdit* NameEdit(QWidget& dialog) { return Control<QLineEdit>(dialog, IDC_NAME); }
QLineEdit* HostEdit(QWidget& dialog) { return Control<QLineEdit>(dialog, IDC_HOST); }
QComboBox* ColorBox(QWidget& dialog) { return Control<QComboBox>(dialog, IDC_COLOR); }
QPushButton* ConfirmButton(QWidget& dialog) { return Control<QPushButton>(dialog, IDC_CONNECT_OK); }

void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }

/// Picks a list item of the colour box the way a user does: open the list, click.
void PickColor(QComboBox* box, int row) {
  box->showPopup();
  QAbstractItemView* list = box->view();
  const QRect item = list->visualRect(list->model()->index(row, 0));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item.center());
}

/// Replaces the colour box's text as a user does: select all, then type.
void TypeColor(QComboBox* box, const QString& text) {
  QTest::keyClick(box->lineEdit(), Qt::Key_A, Qt::ControlModifier);
  if (text.isEmpty()) {
    QTest::keyClick(box->lineEdit(), Qt::Key_Backspace);
  } else {
    test::TypeText(box->lineEdit(), text);
  }
}

class DialogTest : public testing::Test {
 protected:
  CSettings settings;
  test::MessageBoxRecorder boxes;
};

TEST_F(DialogTest, FirstStartOpensWithEmptyNameAndRedAndWantsAName) {
  settings.m_strColor = "red";  // as LoadSettings leaves it without a file
  CConnectDlg dialog(settings);
  const auto run = RunModal(dialog, [&](CConnectDlg& dlg) {
    EXPECT_EQ(NameEdit(dlg)->text(), "");
    EXPECT_EQ(ColorBox(dlg)->currentText(), "red");
    EXPECT_EQ(HostEdit(dlg)->text(), "");
    Click(ConfirmButton(dlg));
  });
  EXPECT_TRUE(run.openAfterSteps);
  EXPECT_EQ(run.result, IDCANCEL);
  EXPECT_EQ(boxes.texts, std::vector<std::string>{std::string(kBoxNameMissing)});
  EXPECT_EQ(settings.m_strColor, "red");
}

TEST_F(DialogTest, PickedColourStoresTheTableValue) {
  CConnectDlg dialog(settings);
  const auto run = RunModal(dialog, [&](CConnectDlg& dlg) {
    QTest::keyClicks(NameEdit(dlg), "taro");
    PickColor(ColorBox(dlg), kLightBlueRow);
    EXPECT_EQ(ColorBox(dlg)->currentText(), ToQString("\220\205\220F"));
    Click(ConfirmButton(dlg));
  });
  EXPECT_FALSE(run.openAfterSteps);
  EXPECT_EQ(run.result, IDOK);
  EXPECT_TRUE(boxes.texts.empty());
  EXPECT_EQ(dialog.m_strColor, "#00ffff");
  EXPECT_EQ(settings.m_strColor, "#00ffff");
  EXPECT_EQ(settings.m_strName, "taro");

  CNameColorDlg next(settings);
  RunModal(next, [&](CNameColorDlg& dlg) {
    EXPECT_EQ(ColorBox(dlg)->currentText(), "#00ffff");
    EXPECT_EQ(NameEdit(dlg)->text(), "taro");
  });
}

TEST_F(DialogTest, TypedColourIsStoredAsTypedAndWinsOverAPick) {
  settings.m_strName = "taro";
  CNameColorDlg picked(settings);
  EXPECT_EQ(RunModal(picked,
                     [&](CNameColorDlg& dlg) {
                       PickColor(ColorBox(dlg), kRedRow);
                       QTest::keyClick(ColorBox(dlg)->lineEdit(), Qt::Key_End);
                       QTest::keyClicks(ColorBox(dlg)->lineEdit(), "x");
                       Click(ConfirmButton(dlg));
                     })
                .result,
            IDOK);
  EXPECT_EQ(picked.m_strColor, kRedX);
  EXPECT_EQ(settings.m_strColor, kRedX);

  // A typed list item is no pick, even when Enter in the box confirms.
  CNameColorDlg typed(settings);
  EXPECT_EQ(RunModal(typed,
                     [&](CNameColorDlg& dlg) {
                       TypeColor(ColorBox(dlg), ToQString(kRed));
                       QTest::keyClick(ColorBox(dlg)->lineEdit(), Qt::Key_Return);
                     })
                .result,
            IDOK);
  EXPECT_EQ(settings.m_strColor, kRed);
}

TEST_F(DialogTest, EmptyNameIsRefusedBeforeEmptyColour) {
  CConnectDlg dialog(settings);
  const auto run = RunModal(dialog, [&](CConnectDlg& dlg) {
    TypeColor(ColorBox(dlg), "");
    Click(ConfirmButton(dlg));  // both empty: only the name is asked for
    QTest::keyClicks(NameEdit(dlg), "taro");
    Click(ConfirmButton(dlg));
  });
  EXPECT_TRUE(run.openAfterSteps);
  EXPECT_EQ(boxes.texts, (std::vector<std::string>{std::string(kBoxNameMissing),
                                                   std::string(kBoxColorMissing)}));
  EXPECT_EQ(settings.m_strName, "");
}

TEST_F(DialogTest, ErasedColourIsRefusedAndChangesNothing) {
  settings.m_strName = "taro";
  settings.m_strColor = "blue";
  CNameColorDlg dialog(settings);
  const auto run = RunModal(dialog, [&](CNameColorDlg& dlg) {
    QTest::keyClicks(NameEdit(dlg), "2");
    TypeColor(ColorBox(dlg), "");
    Click(ConfirmButton(dlg));
  });
  EXPECT_TRUE(run.openAfterSteps);
  EXPECT_EQ(boxes.texts, std::vector<std::string>{std::string(kBoxColorMissing)});
  EXPECT_EQ(settings.m_strName, "taro");
  EXPECT_EQ(settings.m_strColor, "blue");
}

TEST_F(DialogTest, HostIsCutAtItsFirstAsciiBlank) {
  struct Case {
    QString typed;
    std::string stored;
  };
  const std::vector<Case> cases = {
      {"192.168.0.5 more words", "192.168.0.5"},
      {" 192.168.0.5", ""},
      {"host\tname", "host\tname"},
      {QString::fromUtf8("ホスト　名 x"),
       "\203z\203X\203g\201@\226\274"},  // full-width blank stays
  };
  for (const Case& c : cases) {
    settings.m_strName = "taro";
    settings.m_strColor = "red";
    CConnectDlg dialog(settings);
    const auto run = RunModal(dialog, [&](CConnectDlg& dlg) {
      HostEdit(dlg)->selectAll();
      HostEdit(dlg)->insert(c.typed);  // as a paste would; a tab cannot be typed
      Click(ConfirmButton(dlg));
    });
    EXPECT_EQ(run.result, IDOK);
    EXPECT_EQ(dialog.m_strHost, c.stored) << c.typed.toStdString();
    EXPECT_EQ(settings.m_strHost, c.stored) << c.typed.toStdString();
  }
}

TEST_F(DialogTest, CancellingLeavesTheSettingsAsTheyWere) {
  settings.m_strName = "taro";
  settings.m_strColor = "blue";
  settings.m_strHost = "10.0.0.1";
  const auto change = [&](CConnectDlg& dlg) {
    QTest::keyClicks(NameEdit(dlg), "x");
    QTest::keyClicks(HostEdit(dlg), "9");
    PickColor(ColorBox(dlg), kRedRow);
  };
  CConnectDlg escaped(settings);
  EXPECT_EQ(RunModal(escaped,
                     [&](CConnectDlg& dlg) {
                       change(dlg);
                       QTest::keyClick(ColorBox(dlg)->lineEdit(), Qt::Key_Escape);
                     })
                .result,
            IDCANCEL);
  CConnectDlg closed(settings);
  const auto run = RunModal(closed, [&](CConnectDlg& dlg) {
    change(dlg);
    dlg.close();
  });
  EXPECT_FALSE(run.openAfterSteps);
  EXPECT_EQ(run.result, IDCANCEL);
  EXPECT_EQ(settings.m_strName, "taro");
  EXPECT_EQ(settings.m_strColor, "blue");
  EXPECT_EQ(settings.m_strHost, "10.0.0.1");
  EXPECT_TRUE(boxes.texts.empty());
}

TEST_F(DialogTest, BecomingTheServerGreysTheHostAndIsNoSetting) {
  settings.m_strName = "taro";
  settings.m_strColor = "red";
  CConnectDlg dialog(settings);
  const auto run = RunModal(dialog, [&](CConnectDlg& dlg) {
    auto* server = Control<QCheckBox>(dlg, IDC_BE_SERVER);
    auto* label = Control<QLabel>(dlg, IDC_HOST_LABEL);
    EXPECT_FALSE(server->isChecked());
    EXPECT_TRUE(label->isEnabled());
    EXPECT_TRUE(HostEdit(dlg)->isEnabled());
    Click(server);
    EXPECT_FALSE(label->isEnabled());
    EXPECT_FALSE(HostEdit(dlg)->isEnabled());
    Click(server);
    EXPECT_TRUE(label->isEnabled());
    EXPECT_TRUE(HostEdit(dlg)->isEnabled());
    QTest::keyClicks(HostEdit(dlg), "10.0.0.1 x");
    Click(server);
    EXPECT_EQ(HostEdit(dlg)->text(), "10.0.0.1 x");
    Click(ConfirmButton(dlg));
  });
  EXPECT_EQ(run.result, IDOK);
  EXPECT_TRUE(dialog.m_bServer);
  EXPECT_EQ(settings.m_strHost, "10.0.0.1");  // cut and stored for a server too

  CConnectDlg next(settings);
  RunModal(next, [&](CConnectDlg& dlg) {
    EXPECT_FALSE(Control<QCheckBox>(dlg, IDC_BE_SERVER)->isChecked());
    EXPECT_TRUE(HostEdit(dlg)->isEnabled());
    EXPECT_EQ(HostEdit(dlg)->text(), "10.0.0.1");
  });
}

TEST_F(DialogTest, EnterInTheNameEditIsTheConfirmButton) {
  settings.m_strColor = "red";
  CConnectDlg dialog(settings);
  const auto run = RunModal(dialog, [&](CConnectDlg& dlg) {
    QTest::keyClick(NameEdit(dlg), Qt::Key_Return);
    EXPECT_EQ(boxes.texts.size(), 1u);
    test::TypeText(NameEdit(dlg), QString::fromUtf8("\xE3\x81\x82\xF0\x9F\x98\x80"));  // あ😀
    QTest::keyClick(NameEdit(dlg), Qt::Key_Return);
  });
  EXPECT_FALSE(run.openAfterSteps);
  EXPECT_EQ(run.result, IDOK);
  EXPECT_EQ(boxes.texts, std::vector<std::string>{std::string(kBoxNameMissing)});
  EXPECT_EQ(dialog.m_strName, "\202\240&#128512;");
  EXPECT_EQ(settings.m_strName, "\202\240&#128512;");
  EXPECT_EQ(dialog.m_strColor, "red");
}

TEST_F(DialogTest, EditsKeepToOneLine) {
  settings.m_strColor = "red";
  CConnectDlg dialog(settings);
  const auto run = RunModal(dialog, [&](CConnectDlg& dlg) {
    QApplication::clipboard()->setText("taro\nadd\nred\nmallory");
    QTest::keyClick(NameEdit(dlg), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(NameEdit(dlg)->text(), "taro");
    QTest::keyClick(ColorBox(dlg)->lineEdit(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(ColorBox(dlg)->lineEdit(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(ColorBox(dlg)->currentText(), "taro");
    ColorBox(dlg)->lineEdit()->insert("\r\n");  // a drop takes this road: refused
    Click(ConfirmButton(dlg));
  });
  EXPECT_EQ(run.result, IDOK);
  EXPECT_EQ(settings.m_strName, "taro");
  EXPECT_EQ(settings.m_strColor, "taro");
}

TEST_F(DialogTest, TabOrderFollowsTheTemplateAndNoButtonIsDefault) {
  CConnectDlg dialog(settings);
  EXPECT_TRUE(QFontMetrics(dialog.font()).inFont(QChar(0x3042)));  // a Japanese font: あ

  std::vector<QString> order;
  QWidget* first = NameEdit(dialog);
  QWidget* widget = first;
  do {
    // The colour box's own edit is part of the box and has no name.
    const bool control = !widget->objectName().isEmpty();
    if (control && (widget->focusPolicy() & Qt::TabFocus)) order.push_back(widget->objectName());
    widget = widget->nextInFocusChain();
  } while (widget != first && order.size() < 20);
  EXPECT_EQ(order, (std::vector<QString>{IDC_NAME, IDC_HOST, IDC_BE_SERVER, IDCANCEL_BUTTON,
                                         IDC_CONNECT_OK, IDC_COLOR}));
  for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
    EXPECT_FALSE(button->isDefault() || button->autoDefault())
        << button->objectName().toStdString();
  }
}

TEST_F(DialogTest, AboutBoxEndsWithOkOnEnter) {
  CAboutDlg about;
  const auto run = RunModal(about, [](CAboutDlg& dlg) { QTest::keyClick(&dlg, Qt::Key_Return); });
  EXPECT_EQ(run.result, IDOK);
  CAboutDlg escaped;
  EXPECT_EQ(RunModal(escaped, [](CAboutDlg& dlg) { QTest::keyClick(&dlg, Qt::Key_Escape); }).result,
            IDCANCEL);
}

}  // namespace
}  // namespace murelo
