#include "platform/page_view/browser_equivalent.h"

#include <QRegularExpression>
#include <algorithm>
#include <vector>

#include "platform/markup_reader.h"

namespace murelo {

namespace {

struct COpenElement {
  QString strName;
  QStringView startTag;  // as written, to open it again
};

QString WithBodyTextColour(QString page) {
  static const QRegularExpression body(
      QStringLiteral(R"re(<body\b([^>]*?)\stext\s*=\s*"?([#\w]+)"?)re"),
      QRegularExpression::CaseInsensitiveOption);
  return page.replace(body, QStringLiteral(R"(<body\1 style="color:\2")"));
}

}  // namespace

QString ToBrowserEquivalent(QStringView page) {
  using enum CMarkupToken::Kind;
  QString out;
  std::vector<COpenElement> open;  // formatting elements, innermost last
  CMarkupReader reader(page);
  for (CMarkupToken token; reader.Next(token);) {
    const bool tag = (token.kind == kStartTag || token.kind == kEndTag) && token.bClosed;
    if (!tag || !FindElement(token.strName).bFormatting) {
      out += token.raw;
    } else if (token.kind == kStartTag) {
      open.push_back({token.strName, token.raw});
      out += token.raw;
    } else if (const auto it = std::ranges::find(open.rbegin(), open.rend(), token.strName,
                                                 &COpenElement::strName);
               it != open.rend()) {  // an end tag that closes nothing is dropped
      const auto closed = std::prev(it.base());
      for (auto inner = open.rbegin(); inner != it; ++inner) out += "</" + inner->strName + '>';
      out += token.raw;
      for (auto inner = std::next(closed); inner != open.end(); ++inner) out += inner->startTag;
      open.erase(closed);
    }
  }
  return WithBodyTextColour(std::move(out));
}

}  // namespace murelo
