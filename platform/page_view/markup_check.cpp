#include "platform/page_view/markup_check.h"

#include <algorithm>
#include <vector>

#include "platform/markup_reader.h"

namespace murelo {

namespace {

bool IsAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
bool IsAsciiDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool IsHexDigit(char16_t c) {
  return IsAsciiDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}
char16_t AsciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c; }

/// Code points whose meaning to the parser or to the document reaches past the text they
/// stand in: controls (the tab aside), the paragraph separator, the code points Qt uses
/// for frame boundaries, the object replacement character, and values that are no
/// character at all. (Decoded CP932 holds no surrogates, so refusing them costs nothing.)
bool IsReservedCodePoint(char32_t c) {
  return (c < 0x20 && c != u'\t') || (c >= 0x7f && c <= 0x9f) || c == 0x2029 ||
         (c >= 0xd800 && c <= 0xdfff) || (c >= 0xfdd0 && c <= 0xfdef) || c == 0xfffc ||
         c == 0xfffe || c == 0xffff || c > 0x10ffff;
}

/// Text Qt reads as nothing but its characters: no '<' (every '<' starts a tag for Qt)
/// and no reserved code point.
bool IsPlainText(QStringView text) {
  return std::ranges::none_of(
      text, [](QChar c) { return c == u'<' || IsReservedCodePoint(c.unicode()); });
}

/// Whether the parser reads a reference token as one ordinary character, or as text.
bool IsReadableReference(QStringView reference) {
  const QStringView body = reference.sliced(1).chopped(1);  // between '&' and ';'
  if (!body.startsWith(u'#')) return IsPlainText(body);     // a name: a character or text
  const bool hex = body.size() > 1 && (body[1] == u'x' || body[1] == u'X');
  const QStringView digits = body.sliced(hex ? 2 : 1);
  if (digits.isEmpty()) return false;
  char32_t codePoint = 0;
  for (const QChar c : digits) {
    if (hex ? !IsHexDigit(c.unicode()) : !IsAsciiDigit(c.unicode())) return false;
    const char32_t digit =
        IsAsciiDigit(c.unicode()) ? c.unicode() - u'0' : AsciiLower(c.unicode()) - u'a' + 10;
    codePoint = codePoint * (hex ? 16 : 10) + digit;
    if (codePoint > 0x10ffff) return false;
  }
  return !IsReservedCodePoint(codePoint);
}

/// Whether the attributes of a tag are in the one form whose reading by Qt is beyond
/// doubt, naming only what allowed lists, each after a plain space: a quoted value
/// without '<', '>' or a backslash, or a bare ASCII one not ending in '/' (Qt reads "/>"
/// as the end of an empty element); an empty element may end in "/".
bool AreStrictAttributes(QStringView text, const std::array<QStringView, 3>& allowed,
                         bool emptyTag) {
  qsizetype at = 0;
  auto peek = [&](qsizetype ahead = 0) {
    return at + ahead < text.size() ? text[at + ahead].unicode() : u'\0';
  };
  auto skipSpaces = [&] {
    const qsizetype start = at;
    while (peek() == u' ') ++at;
    return at > start;
  };
  for (;;) {
    const bool spaced = skipSpaces();
    if (at == text.size()) return true;
    if (emptyTag && peek() == u'/' && at + 1 == text.size()) return true;
    const qsizetype nameStart = at;
    while (IsAsciiLetter(peek()) || IsAsciiDigit(peek()) || peek() == u'-') ++at;
    const QString name = text.sliced(nameStart, at - nameStart).toString().toLower();
    if (!spaced || name.isEmpty() || !IsAsciiLetter(name[0].unicode()) ||
        std::ranges::find(allowed, QStringView(name)) == allowed.end()) {
      return false;
    }
    const qsizetype afterName = at;
    skipSpaces();
    if (peek() != u'=') {  // a bare attribute: the spaces belong to what follows
      at = afterName;
      continue;
    }
    ++at;
    skipSpaces();
    const char16_t quote = peek();
    if (quote == u'"' || quote == u'\'') {
      const qsizetype end = text.indexOf(QChar(quote), at + 1);
      if (end < 0) return false;  // an unclosed quote runs into whatever follows
      const QStringView value = text.sliced(at + 1, end - at - 1);
      if (!IsPlainText(value) || value.contains(u'>') || value.contains(u'\\')) return false;
      at = end + 1;
      continue;
    }
    const qsizetype valueStart = at;
    while (at < text.size() && peek() > u' ' && peek() < 0x7f && peek() != u'<' && peek() != u'"' &&
           peek() != u'\'' && peek() != u'=' && peek() != u'`') {
      ++at;
    }
    if (at == valueStart || text[at - 1] == u'/') return false;
  }
}

}  // namespace

bool IsSelfContainedMarkup(QStringView html) {
  using enum CMarkupToken::Kind;
  CMarkupReader reader(html);
  std::vector<const CElement*> open;  // the elements opened in html, innermost last
  for (CMarkupToken token; reader.Next(token);) {
    if (token.kind == kText) {
      if (token.bBrokenReference || !IsPlainText(token.raw)) return false;
      continue;
    }
    if (token.kind == kReference) {
      if (!IsReadableReference(token.raw)) return false;
      continue;
    }
    if (token.kind == kComment || !token.bClosed) return false;
    const CElement& element = FindElement(token.strName);
    if (element.kind != ElementKind::kInline) return false;
    if (token.kind == kEndTag) {
      if (element.bEmpty || !token.attributes.isEmpty()) return false;
      // Qt closes the nearest open element of that name and everything inside it, and
      // ignores an end tag with none open. Above the piece only <html> and <body> are
      // open, so "none open" means none open in the piece.
      const auto it = std::find(open.rbegin(), open.rend(), &element);
      if (it != open.rend()) open.erase(std::prev(it.base()), open.end());
      continue;
    }
    if (!AreStrictAttributes(token.attributes, element.attributes, element.bEmpty)) return false;
    if (!element.bEmpty) {
      if (open.size() == kMaxInlineDepth) return false;
      open.push_back(&element);
    }
  }
  return open.empty();
}

bool IsPlainHead(QStringView head) {
  CMarkupReader reader(head);
  for (CMarkupToken token; reader.Next(token);) {
    if (token.kind == CMarkupToken::Kind::kText) {
      // Text would start the participants' block early.
      if (!std::ranges::all_of(token.raw,
                               [](QChar c) { return c == u' ' || c == u'\n' || c == u'\t'; }))
        return false;
      continue;
    }
    const CElement& element = FindElement(token.strName);
    if (token.kind != CMarkupToken::Kind::kStartTag || !token.bClosed ||
        element.kind != ElementKind::kHead ||
        !AreStrictAttributes(token.attributes, element.attributes, false)) {
      return false;
    }
  }
  return true;
}

}  // namespace murelo
