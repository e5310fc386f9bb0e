#include "platform/markup_reader.h"

#include <algorithm>
#include <string_view>

namespace murelo {

namespace {

using enum ElementKind;

// Every element the program treats otherwise than as plain content. Named anchors and
// style or class attributes are left out of the inline ones: an empty <a name> marks
// the next character, which may be in the next piece, and a style sheet can make an
// inline element a block.
constexpr std::array<CElement, 47> kElements = {{
    {u"a", kInline, false, true, {u"href"}},
    {u"address", kBreak},
    {u"b", kInline, false, true},
    {u"big", kInline, false, true},
    {u"blockquote", kBreak},
    {u"body", kHead, false, false, {u"bgcolor", u"text", u"link"}},
    {u"br", kInline, true},
    {u"caption", kBreak},
    {u"center", kBreak},
    {u"cite", kInline},
    {u"code", kInline, false, true},
    {u"dd", kBreak},
    {u"div", kBreak},
    {u"dl", kBreak},
    {u"dt", kBreak},
    {u"em", kInline, false, true},
    {u"font", kInline, false, true, {u"color", u"face", u"size"}},
    {u"h1", kBreak},
    {u"h2", kBreak},
    {u"h3", kBreak},
    {u"h4", kBreak},
    {u"h5", kBreak},
    {u"h6", kBreak},
    {u"head", kHidden},
    {u"hr", kBreak},
    {u"html", kHead},
    {u"i", kInline, false, true},
    {u"li", kBreak},
    {u"ol", kBreak},
    {u"p", kBreak},
    {u"pre", kBreak},
    {u"s", kInline, false, true},
    {u"script", kHidden},
    {u"small", kInline, false, true},
    {u"strike", kOther, false, true},
    {u"strong", kInline, false, true},
    {u"style", kHidden},
    {u"sub", kInline},
    {u"sup", kInline},
    {u"table", kBreak},
    {u"td", kCell},
    {u"th", kCell},
    {u"title", kHidden},
    {u"tr", kBreak},
    {u"tt", kInline, false, true},
    {u"u", kInline, false, true},
    {u"ul", kBreak},
}};

bool IsAsciiLetter(QChar c) { return c.unicode() < 0x80 && c.isLetter(); }
bool IsAsciiLetterOrDigit(QChar c) { return c.unicode() < 0x80 && c.isLetterOrNumber(); }

}  // namespace

const CElement& FindElement(QStringView name) {
  static const CElement kUnknown;
  // Compared as standard strings, which compare inline: every tag of every line is
  // looked up here.
  const auto standard = [](QStringView text) {
    return std::u16string_view(text.utf16(), text.size());
  };
  const auto it = std::ranges::lower_bound(kElements, standard(name), {},
                                           [&](const CElement& e) { return standard(e.name); });
  return it != kElements.end() && standard(it->name) == standard(name) ? *it : kUnknown;
}

bool CMarkupReader::Next(CMarkupToken& token) {
  if (m_nPos >= m_html.size()) return false;
  const qsizetype start = m_nPos;
  QString name = std::move(token.strName);  // keeps its room for ReadTag to write into
  token = {};
  token.strName = std::move(name);
  if (Peek() == u'<' && StartsTag()) {
    ReadTag(token);
  } else {
    token.strName.resize(0);
    if (Peek() == u'&') {
      ReadReference(token);
    } else {
      ++m_nPos;
      while (m_nPos < m_html.size() && Peek() != u'&' && !(Peek() == u'<' && StartsTag())) ++m_nPos;
    }
  }
  token.raw = m_html.sliced(start, m_nPos - start);
  return true;
}

void CMarkupReader::SkipHiddenContent(const QString& name) {
  const qsizetype end = m_html.indexOf(QStringLiteral("</") + name, m_nPos, Qt::CaseInsensitive);
  m_nPos = end < 0 ? m_html.size() : end;
}

bool CMarkupReader::StartsTag() const {
  const QChar next = Peek(1);
  return IsAsciiLetter(next) || next == u'!' || next == u'?' ||
         (next == u'/' && IsAsciiLetter(Peek(2)));
}

void CMarkupReader::ReadTag(CMarkupToken& token) {
  ++m_nPos;  // '<'
  if (Peek() == u'!' || Peek() == u'?') {
    token.kind = CMarkupToken::Kind::kComment;
    token.strName.resize(0);
    const bool dashes = m_html.sliced(m_nPos).startsWith(u"!--");
    const qsizetype end = m_html.indexOf(dashes ? u"-->" : u">", m_nPos);
    token.bClosed = end >= 0;
    m_nPos = end < 0 ? m_html.size() : end + (dashes ? 3 : 1);
    return;
  }
  token.kind = Peek() == u'/' ? CMarkupToken::Kind::kEndTag : CMarkupToken::Kind::kStartTag;
  if (Peek() == u'/') ++m_nPos;
  const qsizetype nameAt = m_nPos;
  while (IsAsciiLetterOrDigit(Peek())) ++m_nPos;
  // Written in place, into the room the token kept from its last name.
  token.strName.resize(m_nPos - nameAt);
  char16_t* name = reinterpret_cast<char16_t*>(token.strName.data());
  for (const QChar c : m_html.sliced(nameAt, m_nPos - nameAt)) {
    *name++ =
        c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c.unicode() + (u'a' - u'A')) : c.unicode();
  }
  const qsizetype attributesAt = m_nPos;
  token.bClosed = SkipAttributes();
  token.attributes = m_html.sliced(attributesAt, m_nPos - attributesAt - (token.bClosed ? 1 : 0));
}

bool CMarkupReader::SkipAttributes() {
  auto skipSpaces = [this] {
    while (Peek().isSpace()) ++m_nPos;
  };
  for (;;) {
    skipSpaces();
    if (m_nPos >= m_html.size()) return false;
    if (Peek() == u'>') {
      ++m_nPos;
      return true;
    }
    while (m_nPos < m_html.size() && !Peek().isSpace() && Peek() != u'=' && Peek() != u'>') {
      ++m_nPos;
    }
    skipSpaces();
    if (Peek() != u'=') continue;
    ++m_nPos;
    skipSpaces();
    const QChar quote = Peek();
    if (quote == u'"' || quote == u'\'') {
      const qsizetype end = m_html.indexOf(quote, m_nPos + 1);
      if (end < 0) {
        m_nPos = m_html.size();
        return false;
      }
      m_nPos = end + 1;
    } else {
      while (m_nPos < m_html.size() && !Peek().isSpace() && Peek() != u'>') ++m_nPos;
    }
  }
}

void CMarkupReader::ReadReference(CMarkupToken& token) {
  // Qt reads "&", up to 8 characters other than blanks and ';', and ';' as a reference.
  qsizetype qtLength = 0;
  while (qtLength < 9 && Peek(qtLength + 1) != QChar() && Peek(qtLength + 1) != u';' &&
         !Peek(qtLength + 1).isSpace()) {
    ++qtLength;
  }
  const bool qtReads = qtLength > 0 && qtLength <= 8 && Peek(qtLength + 1) == u';';
  const QStringView candidate = m_html.sliced(m_nPos + 1, qtLength);
  if (qtReads && !candidate.contains(u'<') && !candidate.contains(u'&')) {
    token.kind = CMarkupToken::Kind::kReference;
    m_nPos += qtLength + 2;
    return;
  }
  token.bBrokenReference = qtReads && candidate.startsWith(u'#');
  ++m_nPos;  // a plain '&'
}

std::vector<std::pair<QString, QString>> ReadAttributes(QStringView text) {
  std::vector<std::pair<QString, QString>> attributes;
  qsizetype at = 0;
  auto peek = [&] { return at < text.size() ? text[at] : QChar(); };
  auto skipSpaces = [&] {
    while (peek().isSpace()) ++at;
  };
  for (;;) {
    skipSpaces();
    if (at >= text.size()) return attributes;
    const qsizetype nameStart = at;
    while (at < text.size() && !peek().isSpace() && peek() != u'=') ++at;
    QString name = text.sliced(nameStart, at - nameStart).toString().toLower();
    skipSpaces();
    QString value;
    if (peek() == u'=') {
      ++at;
      skipSpaces();
      const QChar quote = peek();
      const bool quoted = quote == u'"' || quote == u'\'';
      if (quoted) ++at;
      const qsizetype valueStart = at;
      while (at < text.size() && (quoted ? peek() != quote : !peek().isSpace())) ++at;
      value = text.sliced(valueStart, at - valueStart).toString();
      if (quoted && at < text.size()) ++at;
    } else if (name.isEmpty()) {
      ++at;  // a lone '=' or the like
    }
    attributes.emplace_back(std::move(name), std::move(value));
  }
}

QString DecodeReference(QStringView reference) {
  static constexpr std::pair<QStringView, char16_t> kNamed[] = {
      {u"&amp;", u'&'},   {u"&lt;", u'<'},   {u"&gt;", u'>'},       {u"&quot;", u'"'},
      {u"&apos;", u'\''}, {u"&nbsp;", u' '}, {u"&copy;", u'\u00a9'}};
  for (const auto& [name, character] : kNamed) {
    if (reference == name) return QString(QChar(character));
  }
  if (!reference.startsWith(u"&#") || !reference.endsWith(u';')) return {};
  const bool hex = reference.size() > 2 && (reference[2] == u'x' || reference[2] == u'X');
  const QStringView digits = reference.sliced(hex ? 3 : 2).chopped(1);
  bool ok = false;
  const uint code = digits.toUInt(&ok, hex ? 16 : 10);
  const bool plainDigits = std::ranges::all_of(digits, [hex](QChar c) {
    return c.isDigit() || (hex && ((c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F')));
  });
  if (!ok || !plainDigits || code == 0 || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff))
    return {};
  const char32_t character = code;
  return QString::fromUcs4(&character, 1);
}

}  // namespace murelo
