// What search compares: text folded so that the differences users do not see as
// differences go (full-width and half-width forms, half-width katakana, Latin case), and
// a query split into its words.
#pragma once

#include <QString>
#include <QStringList>

namespace murelo {

/// NFKC, then case folding: applied to stored text and to queries alike.
QString FoldForSearch(const QString& text);

/// The folded words of a query, split at blanks (an ideographic space folds to one).
QStringList QueryWords(const QString& query);

/// Words this long (in characters) or longer are looked up in the trigram index;
/// shorter ones have no trigram and are matched on the text itself.
inline constexpr qsizetype kIndexedWordLength = 3;

}  // namespace murelo
