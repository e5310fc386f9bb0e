// Qt's own texts in Japanese: the edit's context menu (元に戻す, 切り取り, 貼り付け ...) and
// the standard dialogs, as the rest of the program speaks.
#pragma once

class QCoreApplication;

namespace murelo {

/// Installs Qt's Japanese translation (qtbase_ja.qm, from Debian's qt6-translations-l10n)
/// into application. Without the file, Qt's texts stay in English, without a word.
void InstallQtJapaneseTranslation(QCoreApplication& application);

}  // namespace murelo
