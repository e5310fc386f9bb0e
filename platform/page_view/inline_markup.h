// What a peer's piece of a chat page (an entry or the participants line) may cost the
// page view. Qt lays out tables in time exponential in their nesting (a 400-byte line
// of tables 24 deep froze the window for minutes), a colspan of 2^31 costs 0.1 s per
// draw, a style element reaches every other entry, and a style font size lets one
// link cover the whole view. Inline markup has none of these: Qt bounds its font sizes
// (at 2.4 times the page's), it opens no table, block or frame, and it lets the view
// draw each new entry in place, so that a page full of hostile entries costs a new
// line no more than a page of ordinary ones. Pure function over text.
#pragma once

#include <QString>
#include <QStringView>

namespace murelo {

/// html as the page view draws it, always markup that IsSelfContainedMarkup takes:
/// html itself when it already is (every ordinary chat line), otherwise html rewritten
/// as text with its inline elements (the table of markup_reader.cpp) and their permitted
/// attributes, nested at most kMaxInlineDepth deep. Elements that would start a block, a list item,
/// a table or one of its rows become one line break; table cells a space; comments and
/// the content of head, script, style and title elements are left out; every other
/// element is left out but its content kept; a '<' that starts no tag, and a character
/// reference Qt would not read as one character, become text.
QString ToInlineMarkup(QStringView html);

}  // namespace murelo
