#include "platform/page_view/markup_check.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

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

/// An inline element the pieces may use, and the attributes it may carry.
struct CInlineTag {
  std::u16string_view name;
  bool bEmpty = false;  // takes no content and no end tag
  std::array<std::u16string_view, 3> attributes = {};
};

// Every one of these is an inline element to Qt. Named anchors are left out (an empty
// <a name> marks the next character, which may be in the next piece), and so are style
// and class (a style sheet can make an inline element a block or change white space).
constexpr std::array<CInlineTag, 16> kInlineTags = {{
    {u"a", false, {u"href"}},
    {u"b"},
    {u"big"},
    {u"br", true},
    {u"cite"},
    {u"code"},
    {u"em"},
    {u"font", false, {u"color", u"face", u"size"}},
    {u"i"},
    {u"s"},
    {u"small"},
    {u"strong"},
    {u"sub"},
    {u"sup"},
    {u"tt"},
    {u"u"},
}};

// The tags of a head, and the attributes its body may carry.
constexpr std::array<CInlineTag, 2> kHeadTags = {{
    {u"html"},
    {u"body", false, {u"bgcolor", u"text", u"link"}},
}};

/// Reads markup the way Qt's HTML parser does, but accepts only the forms whose reading
/// is beyond doubt; every Read function returns false for anything else.
class CMarkupScanner {
 public:
  explicit CMarkupScanner(QStringView text) : m_text(text) {}

  bool AtEnd() const { return m_nPos >= m_text.size(); }
  char16_t Peek(qsizetype ahead = 0) const {
    const qsizetype at = m_nPos + ahead;
    return at < m_text.size() ? m_text[at].unicode() : u'\0';
  }
  void Skip(qsizetype count = 1) { m_nPos += count; }

  /// A name of ASCII letters and digits (dashes too when withDash), lower-cased.
  bool ReadName(std::u16string& name, bool withDash) {
    name.clear();
    if (!IsAsciiLetter(Peek())) return false;
    while (IsAsciiLetter(Peek()) || IsAsciiDigit(Peek()) || (withDash && Peek() == u'-')) {
      name += AsciiLower(Peek());
      Skip();
    }
    return true;
  }

  /// Plain spaces; whether there was one. Qt takes any Unicode space here, so a tag with
  /// another kind of space is refused by the caller seeing no space at all.
  bool SkipSpaces() {
    const qsizetype start = m_nPos;
    while (Peek() == u' ') Skip();
    return m_nPos > start;
  }

  /// An attribute value after "=": quoted without '<', '>' or a backslash inside, or
  /// bare ASCII up to a space or '>', not ending in '/' (Qt would read "/>" as the end of
  /// an empty element).
  bool ReadAttributeValue() {
    const char16_t quote = Peek();
    if (quote == u'"' || quote == u'\'') {
      Skip();
      while (!AtEnd() && Peek() != quote) {
        const char16_t c = Peek();
        if (c == u'<' || c == u'>' || c == u'\\' || IsReservedCodePoint(c)) return false;
        Skip();
      }
      if (AtEnd()) return false;  // an unclosed quote runs into whatever follows
      Skip();
      return true;
    }
    const qsizetype start = m_nPos;
    while (!AtEnd() && Peek() > u' ' && Peek() < 0x7f && Peek() != u'>' && Peek() != u'<' &&
           Peek() != u'"' && Peek() != u'\'' && Peek() != u'=' && Peek() != u'`') {
      Skip();
    }
    return m_nPos > start && m_text[m_nPos - 1] != u'/';
  }

  /// The attributes of a tag up to and including its '>'. allowed lists the names it may
  /// carry; emptyTag lets it end in "/>".
  bool ReadAttributesAndEnd(const std::array<std::u16string_view, 3>& allowed, bool emptyTag) {
    std::u16string name;
    for (;;) {
      const bool spaced = SkipSpaces();
      if (Peek() == u'>') break;
      if (emptyTag && Peek() == u'/' && Peek(1) == u'>') {
        Skip();
        break;
      }
      if (!spaced || !ReadName(name, true)) return false;
      if (std::find(allowed.begin(), allowed.end(), name) == allowed.end()) return false;
      const qsizetype afterName = m_nPos;
      SkipSpaces();
      if (Peek() != u'=') {  // a bare attribute: the spaces belong to what follows
        m_nPos = afterName;
        continue;
      }
      Skip();
      SkipSpaces();
      if (!ReadAttributeValue()) return false;
    }
    Skip();  // '>'
    return true;
  }

  /// A character reference at '&'. Qt takes "&name;" and "&#N;" of up to 8 characters
  /// before the ';' and reads anything else as a plain '&'; numeric ones must stand for
  /// an ordinary character.
  bool ReadReference() {
    Skip();  // '&'
    qsizetype length = 0;
    while (length < 9 && Peek(length) != u'\0' && Peek(length) != u';' &&
           !QChar(Peek(length)).isSpace()) {
      ++length;
    }
    if (length == 0 || length > 8 || Peek(length) != u';') return true;  // a plain '&'
    if (Peek() != u'#') return true;  // a name; Qt resolves it to a character or keeps '&'
    const bool hex = Peek(1) == u'x' || Peek(1) == u'X';
    const qsizetype digitsAt = hex ? 2 : 1;
    if (length <= digitsAt) return false;
    char32_t codePoint = 0;
    for (qsizetype i = digitsAt; i < length; ++i) {
      const char16_t c = Peek(i);
      if (hex ? !IsHexDigit(c) : !IsAsciiDigit(c)) return false;
      const char32_t digit = IsAsciiDigit(c) ? c - u'0' : AsciiLower(c) - u'a' + 10;
      codePoint = codePoint * (hex ? 16 : 10) + digit;
      if (codePoint > 0x10ffff) return false;
    }
    if (IsReservedCodePoint(codePoint)) return false;
    Skip(length + 1);
    return true;
  }

 private:
  QStringView m_text;
  qsizetype m_nPos = 0;
};

template <size_t N>
const CInlineTag* FindTag(const std::array<CInlineTag, N>& tags, std::u16string_view name) {
  const auto it = std::find_if(tags.begin(), tags.end(),
                               [&](const CInlineTag& tag) { return tag.name == name; });
  return it == tags.end() ? nullptr : &*it;
}

constexpr size_t kMaxOpenElements = 64;

}  // namespace

bool IsSelfContainedMarkup(QStringView html) {
  CMarkupScanner scanner(html);
  std::vector<const CInlineTag*> open;  // the elements opened in html, innermost last
  std::u16string name;
  while (!scanner.AtEnd()) {
    const char16_t c = scanner.Peek();
    if (c == u'&') {
      if (!scanner.ReadReference()) return false;
      continue;
    }
    if (c != u'<') {
      if (IsReservedCodePoint(c)) return false;
      scanner.Skip();
      continue;
    }
    // Every '<' starts a tag for Qt, so it must start one of ours.
    scanner.Skip();
    const bool endTag = scanner.Peek() == u'/';
    if (endTag) scanner.Skip();
    if (!scanner.ReadName(name, false)) return false;
    const CInlineTag* tag = FindTag(kInlineTags, name);
    if (tag == nullptr) return false;
    if (endTag) {
      if (tag->bEmpty || scanner.Peek() != u'>') return false;
      scanner.Skip();
      // Qt closes the nearest open element of that name and everything inside it, and
      // ignores an end tag with none open. Above the piece only <html> and <body> are
      // open, so "none open" means none open in the piece.
      const auto it = std::find(open.rbegin(), open.rend(), tag);
      if (it != open.rend()) open.erase(std::prev(it.base()), open.end());
      continue;
    }
    if (!scanner.ReadAttributesAndEnd(tag->attributes, tag->bEmpty)) return false;
    if (!tag->bEmpty) {
      if (open.size() == kMaxOpenElements) return false;
      open.push_back(tag);
    }
  }
  return open.empty();
}

bool IsPlainHead(QStringView head) {
  CMarkupScanner scanner(head);
  std::u16string name;
  while (!scanner.AtEnd()) {
    const char16_t c = scanner.Peek();
    if (c == u' ' || c == u'\n' || c == u'\t') {
      scanner.Skip();
      continue;
    }
    if (c != u'<') return false;  // text would start the participants' block early
    scanner.Skip();
    if (!scanner.ReadName(name, false)) return false;
    const CInlineTag* tag = FindTag(kHeadTags, name);
    if (tag == nullptr || !scanner.ReadAttributesAndEnd(tag->attributes, false)) return false;
  }
  return true;
}

}  // namespace murelo
