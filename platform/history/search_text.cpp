#include "platform/history/search_text.h"

#include <QRegularExpression>

namespace murelo {

QString FoldForSearch(const QString& text) {
  return text.normalized(QString::NormalizationForm_KC).toCaseFolded();
}

QStringList QueryWords(const QString& query) {
  static const QRegularExpression blanks(u"\\s+"_qs);
  return FoldForSearch(query).split(blanks, Qt::SkipEmptyParts);
}

}  // namespace murelo
