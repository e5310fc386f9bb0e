// A display message's HTML as one line of plain text, for places that show no markup:
// the headless host's standard output, desktop notifications. Pure function over text.
#pragma once

#include <QString>
#include <QStringView>

namespace murelo {

/// html without its tags and comments, and without the content of the elements whose
/// content is no text (markup_reader.h reads it), its character references decoded
/// (numeric ones and the common named ones), every control character, line or
/// paragraph separator and direction override a space: the line as a reader of the
/// page sees its text, safe for a terminal. A '<' that starts no tag stays text.
QString PlainTextOfHtml(QStringView html);

}  // namespace murelo
