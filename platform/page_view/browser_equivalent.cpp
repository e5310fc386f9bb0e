#include "platform/page_view/browser_equivalent.h"

#include <QRegularExpression>
#include <algorithm>
#include <vector>

namespace murelo {

namespace {

bool IsFormattingElement(QStringView name) {
  static constexpr QStringView kNames[] = {u"a",      u"b",  u"big", u"code",  u"em",
                                           u"font",   u"i",  u"s",   u"small", u"strike",
                                           u"strong", u"tt", u"u"};
  return std::ranges::any_of(
      kNames, [&](QStringView known) { return name.compare(known, Qt::CaseInsensitive) == 0; });
}

struct COpenElement {
  QString strName;
  QString strStartTag;  // as written, to open it again
};

QString WithBodyTextColour(QString page) {
  static const QRegularExpression body(
      QStringLiteral(R"re(<body\b([^>]*?)\stext\s*=\s*"?([#\w]+)"?)re"),
      QRegularExpression::CaseInsensitiveOption);
  return page.replace(body, QStringLiteral(R"(<body\1 style="color:\2")"));
}

}  // namespace

QString ToBrowserEquivalent(QStringView page) {
  static const QRegularExpression tag(QStringLiteral(R"(<(/?)([a-zA-Z][a-zA-Z0-9]*)[^>]*>)"));
  QString out;
  std::vector<COpenElement> open;  // formatting elements, innermost last
  qsizetype written = 0;
  for (const QRegularExpressionMatch& match : tag.globalMatch(page)) {
    const QString name = match.captured(2).toLower();
    if (!IsFormattingElement(name)) continue;
    out += page.sliced(written, match.capturedStart() - written);
    written = match.capturedEnd();
    if (match.capturedLength(1) == 0) {
      open.push_back({name, match.captured()});
      out += match.captured();
      continue;
    }
    const auto it = std::ranges::find(open.rbegin(), open.rend(), name, &COpenElement::strName);
    if (it == open.rend()) continue;  // closes nothing
    const auto closed = std::prev(it.base());
    for (auto inner = open.rbegin(); inner != it; ++inner) out += "</" + inner->strName + '>';
    out += match.captured();
    for (auto inner = std::next(closed); inner != open.end(); ++inner) out += inner->strStartTag;
    open.erase(closed);
  }
  out += page.sliced(written);
  return WithBodyTextColour(std::move(out));
}

}  // namespace murelo
