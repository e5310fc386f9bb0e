// Whether a piece of peer markup reads the same to Qt's HTML parser wherever it stands
// in the chat page, so that the view may parse it on its own (page_view.h). Pure
// functions over text.
#pragma once

#include <QStringView>
#include <cstddef>

namespace murelo {

/// Whether Qt's HTML parser, reading html at the body level right after a block-level
/// tag and followed by a line feed, makes of it the same blocks wherever it stands and
/// leaves its state as it found it for what comes next: nothing but text, character
/// references and the inline elements of markup_reader.h's table with their attributes
/// (b, i, u, s, em, strong, big, small, sub, sup, tt, code, cite, br, font with color,
/// size and face, a with href), each tag well formed, every element closed in the
/// piece and none nested deeper than kMaxInlineDepth. Conservative: false for anything else,
/// comments, block tags, unclosed quotes, tags that a later piece could close or that
/// reach outside the piece (named anchors, style sheets) included.
bool IsSelfContainedMarkup(QStringView html);

/// How deep the elements of a self-contained piece may nest.
inline constexpr size_t kMaxInlineDepth = 32;

/// Whether head, the lines before the participants line, holds only <html> and <body>
/// tags (body with its colour attributes) and white space, so that it leaves the parser
/// inside the body with none of IsSelfContainedMarkup's elements open.
bool IsPlainHead(QStringView head);

}  // namespace murelo
