// Warnings that peers' markup makes Qt write are kept to a trickle; others all pass.
#include "platform/markup_warnings.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QStringList>
#include <QTextDocument>

namespace murelo {
namespace {

QStringList g_passed;

void Capture(QtMsgType, const QMessageLogContext&, const QString& message) {
  g_passed.append(message);
}

TEST(MarkupWarningsTest, UnknownColoursFromPeersReachTheLogOnlyAFewTimesAMinute) {
  qInstallMessageHandler(&Capture);
  LimitMarkupWarnings();
  QTextDocument page;
  QString html;
  for (int i = 0; i < 1000; ++i) html += QStringLiteral("<font color=nosuch%1>x</font>").arg(i);
  page.setHtml(html);
  qWarning("the program's own warning");
  qInfo("and its own information");

  ASSERT_EQ(g_passed.size(), kMarkupWarningsPerMinute + 3) << g_passed.join(u'\n').toStdString();
  EXPECT_TRUE(g_passed.front().startsWith("QTextHtmlParser"));
  EXPECT_TRUE(g_passed[kMarkupWarningsPerMinute].contains("dropped"));
  EXPECT_EQ(g_passed.back(), "and its own information");
}

}  // namespace
}  // namespace murelo

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
