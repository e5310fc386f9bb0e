// Qt's own texts in Japanese.
#include "platform/qt_translation.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLineEdit>
#include <QMenu>

namespace murelo {
namespace {

TEST(QtTranslation, TheEditsContextMenuIsInJapanese) {
  InstallQtJapaneseTranslation(*QCoreApplication::instance());
  QLineEdit edit;
  const std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
  EXPECT_TRUE(menu->actions().first()->text().startsWith("元に戻す"));
}

}  // namespace
}  // namespace murelo
