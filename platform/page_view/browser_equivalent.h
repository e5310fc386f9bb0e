// Whole pages (the splash and blank pages) as a web browser draws them, where Qt's HTML
// import would draw them otherwise. The page file keeps its bytes; only what the chat
// view parses changes. Pure function over text.
#pragma once

#include <QString>
#include <QStringView>

namespace murelo {

/// page rewritten for Qt's HTML import:
/// - the body's text colour (text=), which Qt ignores, becomes its style colour;
/// - a formatting element (b, i, font ...) closed while others opened inside it are
///   still open closes them and opens them again after itself, as browsers do. Qt
///   closes them for good: "<b><font>a</b>b" would show b plain, a browser shows it
///   in the font.
/// Everything else is left as it is.
QString ToBrowserEquivalent(QStringView page);

}  // namespace murelo
