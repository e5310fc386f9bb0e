#include "platform/plain_text.h"

#include <utility>

namespace murelo {

namespace {

bool StartsTag(QStringView html, qsizetype at) {
  if (at + 1 >= html.size()) return false;
  const char16_t next = html[at + 1].unicode();
  return (next >= u'a' && next <= u'z') || (next >= u'A' && next <= u'Z') || next == u'/' ||
         next == u'!' || next == u'?';
}

/// The text the reference at the start of html stands for, and its length; length 0
/// when html starts with no reference this reads.
std::pair<QString, qsizetype> DecodeReference(QStringView html) {
  static constexpr std::pair<QStringView, char16_t> kNamed[] = {
      {u"&amp;", u'&'},   {u"&lt;", u'<'},   {u"&gt;", u'>'},       {u"&quot;", u'"'},
      {u"&apos;", u'\''}, {u"&nbsp;", u' '}, {u"&copy;", u'\u00a9'}};
  for (const auto& [name, character] : kNamed) {
    if (html.startsWith(name)) return {QString(QChar(character)), name.size()};
  }
  if (!html.startsWith(u"&#")) return {};
  const bool hex = html.size() > 2 && (html[2] == u'x' || html[2] == u'X');
  qsizetype end = hex ? 3 : 2;
  const auto isDigit = [hex](QChar c) {
    return (c >= u'0' && c <= u'9') ||
           (hex && ((c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F')));
  };
  while (end < html.size() && end < 12 && isDigit(html[end])) ++end;
  bool ok = false;
  const uint code = html.sliced(hex ? 3 : 2, end - (hex ? 3 : 2)).toUInt(&ok, hex ? 16 : 10);
  if (!ok || code == 0 || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return {};
  if (end < html.size() && html[end] == u';') ++end;
  const char32_t character = code;
  return {QString::fromUcs4(&character, 1), end};
}

}  // namespace

QString PlainTextOfHtml(QStringView html) {
  QString text;
  for (qsizetype at = 0; at < html.size();) {
    if (html[at] == u'<' && StartsTag(html, at)) {
      const qsizetype end = html.indexOf(u'>', at);
      if (end >= 0) {
        at = end + 1;
        continue;
      }
    }
    QString piece(html[at]);
    qsizetype length = 1;
    if (html[at] == u'&') {
      if (auto [decoded, used] = DecodeReference(html.sliced(at)); used > 0) {
        piece = std::move(decoded);
        length = used;
      }
    }
    for (QChar& c : piece) {
      const char16_t code = c.unicode();  // controls, line breaks, direction overrides
      if (code < 0x20 || (code >= 0x7f && code <= 0x9f) || (code >= 0x2028 && code <= 0x202e) ||
          (code >= 0x2066 && code <= 0x2069))
        c = u' ';
    }
    text += piece;
    at += length;
  }
  return text;
}

}  // namespace murelo
