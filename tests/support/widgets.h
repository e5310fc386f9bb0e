// Driving real widgets in tests: typing, picking from a list.
#pragma once

#include <QAbstractItemView>
#include <QComboBox>
#include <QTest>

#include "ui/resource_ids.h"

namespace murelo::test {

/// Types text into widget one key at a time, as a keyboard (or an input method that
/// commits each character) would; unlike QTest::keyClicks it takes any character.
inline void TypeText(QWidget* widget, const QString& text) {
  for (const char32_t character : text.toUcs4())
    QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString::fromUcs4(&character, 1),
                        Qt::NoModifier);
}

/// Picks an item of a combo box as a user does: open the list, click.
inline void PickItem(QComboBox* box, int row) {
  box->showPopup();
  QAbstractItemView* list = box->view();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualRect(list->model()->index(row, 0)).center());
}

}  // namespace murelo::test
