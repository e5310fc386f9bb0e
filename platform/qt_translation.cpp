#include "platform/qt_translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace murelo {

void InstallQtJapaneseTranslation(QCoreApplication& application) {
  auto* translator = new QTranslator(&application);
  // Japanese whatever the desktop's locale: the program's own texts are Japanese too.
  if (translator->load(QLocale(QLocale::Japanese, QLocale::Japan), "qtbase", "_",
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    application.installTranslator(translator);
  } else {
    delete translator;
  }
}

}  // namespace murelo
