#include "platform/plain_text.h"

#include "platform/markup_reader.h"

namespace murelo {

QString PlainTextOfHtml(QStringView html) {
  QString text;
  text.reserve(html.size());
  CMarkupReader reader(html);
  for (CMarkupToken token; reader.Next(token);) {
    using enum CMarkupToken::Kind;
    if (token.kind == kStartTag && FindElement(token.strName).kind == ElementKind::kHidden) {
      reader.SkipHiddenContent(token.strName);
    } else if (token.kind == kText) {
      text += token.raw;
    } else if (token.kind == kReference) {
      const QString decoded = DecodeReference(token.raw);
      text += decoded.isEmpty() ? token.raw.toString() : decoded;
    }
  }
  for (QChar& c : text) {
    const char16_t code = c.unicode();          // controls, line breaks, direction overrides
    if (code >= 0x20 && code < 0x7f) continue;  // most of a line
    if (code < 0x20 || (code >= 0x7f && code <= 0x9f) || (code >= 0x2028 && code <= 0x202e) ||
        (code >= 0x2066 && code <= 0x2069))
      c = u' ';
  }
  return text;
}

}  // namespace murelo
