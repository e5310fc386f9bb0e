#include "platform/page_view/inline_markup.h"

#include <QChar>
#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "platform/page_view/markup_check.h"

namespace murelo {

namespace {

constexpr size_t kMaxOpenElements = 32;  // IsSelfContainedMarkup itself takes 64

// Elements Qt makes blocks, list items, tables or table rows of.
constexpr std::array<QStringView, 22> kBreakTags = {
    u"address", u"blockquote", u"caption", u"center", u"dd", u"div", u"dl", u"dt",
    u"h1",      u"h2",         u"h3",      u"h4",     u"h5", u"h6",  u"hr", u"li",
    u"ol",      u"p",          u"pre",     u"table",  u"tr", u"ul"};
constexpr std::array<QStringView, 2> kCellTags = {u"td", u"th"};
// Elements whose content Qt does not show as text.
constexpr std::array<QStringView, 4> kHiddenTags = {u"head", u"script", u"style", u"title"};

template <size_t N>
bool IsOneOf(const std::array<QStringView, N>& names, const QString& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

QString StartTag(const QString& name) { return u'<' + name + u'>'; }
QString EndTag(const QString& name) { return QStringLiteral("</") + name + u'>'; }

/// Whether c may stand in the output as it is: the scanner of IsSelfContainedMarkup is
/// the one judge of which code points reach past a piece.
bool IsPlainCharacter(QChar c) {
  return c != u'<' && c != u'&' && IsSelfContainedMarkup(QStringView(&c, 1));
}

enum class Separator { kNone, kSpace, kBreak };

/// Reads markup loosely, the way a browser would guess at it, and writes what it keeps
/// in the strict form IsSelfContainedMarkup takes.
class CInlineWriter {
 public:
  explicit CInlineWriter(QStringView html) : m_html(html) {}

  QString Write() && {
    while (m_nPos < m_html.size()) {
      const QChar c = m_html[m_nPos];
      if (c == u'<' && StartsTag()) {
        ReadTag();
      } else if (c == u'&') {
        ReadReference();
      } else {
        ++m_nPos;
        if (c == u'<') {
          WriteText(u"&lt;");
        } else if (IsPlainCharacter(c)) {
          WriteText(QStringView(&c, 1));
        }
      }
    }
    while (!m_open.empty()) {
      m_strOut += EndTag(m_open.back());
      m_open.pop_back();
    }
    return std::move(m_strOut);
  }

 private:
  QChar Peek(qsizetype ahead = 0) const {
    const qsizetype at = m_nPos + ahead;
    return at < m_html.size() ? m_html[at] : QChar();
  }
  static bool IsNameCharacter(QChar c) {
    return c.unicode() < 0x80 && (c.isLetter() || c.isDigit());
  }

  bool StartsTag() const {
    const QChar next = Peek(1);
    return (next.unicode() < 0x80 && next.isLetter()) || next == u'!' || next == u'?' ||
           (next == u'/' && Peek(2).unicode() < 0x80 && Peek(2).isLetter());
  }

  /// Writes text, after the separator that waits for it.
  void WriteText(QStringView text) {
    WriteSeparator();
    m_strOut += text;
    m_bText = true;
  }

  void WriteSeparator() {
    if (m_bText && m_separator != Separator::kNone) {
      m_strOut += m_separator == Separator::kBreak ? u"<br>" : u" ";
    }
    m_separator = Separator::kNone;
  }

  /// A reference, "&" and up to 8 characters and ";", passes whole when the scanner
  /// takes it; otherwise its '&' shows as text.
  void ReadReference() {
    const qsizetype semicolon =
        m_html.first(std::min(m_html.size(), m_nPos + 10)).indexOf(u';', m_nPos);
    if (semicolon > m_nPos + 1) {
      const QStringView reference = m_html.sliced(m_nPos, semicolon - m_nPos + 1);
      if (!reference.contains(u'<') && IsSelfContainedMarkup(reference)) {
        m_nPos = semicolon + 1;
        WriteText(reference);
        return;
      }
    }
    ++m_nPos;
    WriteText(u"&amp;");
  }

  void SkipPast(QStringView end) {
    const qsizetype at = m_html.indexOf(end, m_nPos);
    m_nPos = at < 0 ? m_html.size() : at + end.size();
  }

  QString ReadName() {
    QString name;
    while (IsNameCharacter(Peek())) {
      name += Peek().toLower();
      ++m_nPos;
    }
    return name;
  }

  /// The attributes of a start tag, names lower-cased, up to and including its '>' (or
  /// to the end of the piece).
  std::vector<std::pair<QString, QString>> ReadAttributes() {
    std::vector<std::pair<QString, QString>> attributes;
    auto skipSpaces = [this] {
      while (Peek().isSpace()) ++m_nPos;
    };
    for (;;) {
      skipSpaces();
      if (m_nPos >= m_html.size()) return attributes;
      if (Peek() == u'>') {
        ++m_nPos;
        return attributes;
      }
      const qsizetype nameStart = m_nPos;
      while (m_nPos < m_html.size() && !Peek().isSpace() && Peek() != u'=' && Peek() != u'>') {
        ++m_nPos;
      }
      QString name = m_html.sliced(nameStart, m_nPos - nameStart).toString().toLower();
      skipSpaces();
      QString value;
      if (Peek() == u'=') {
        ++m_nPos;
        skipSpaces();
        const QChar quote = Peek();
        const bool quoted = quote == u'"' || quote == u'\'';
        if (quoted) ++m_nPos;
        const qsizetype valueStart = m_nPos;
        while (m_nPos < m_html.size() &&
               (quoted ? Peek() != quote : !Peek().isSpace() && Peek() != u'>')) {
          ++m_nPos;
        }
        value = m_html.sliced(valueStart, m_nPos - valueStart).toString();
        if (quoted && m_nPos < m_html.size()) ++m_nPos;
      } else if (name.isEmpty()) {
        ++m_nPos;  // a lone '=' or the like
      }
      attributes.emplace_back(std::move(name), std::move(value));
    }
  }

  void ReadTag() {
    ++m_nPos;  // '<'
    if (m_html.sliced(m_nPos).startsWith(u"!--")) {
      SkipPast(u"-->");
      return;
    }
    if (Peek() == u'!' || Peek() == u'?') {
      SkipPast(u">");
      return;
    }
    const bool endTag = Peek() == u'/';
    if (endTag) ++m_nPos;
    const QString name = ReadName();
    const auto attributes = ReadAttributes();  // an end tag's are read and dropped
    if (IsOneOf(kBreakTags, name)) {
      m_separator = Separator::kBreak;
    } else if (IsOneOf(kCellTags, name)) {
      m_separator = std::max(m_separator, Separator::kSpace);
    } else if (IsOneOf(kHiddenTags, name)) {
      if (!endTag) {
        const qsizetype end =
            m_html.indexOf(QStringLiteral("</") + name, m_nPos, Qt::CaseInsensitive);
        m_nPos = end < 0 ? m_html.size() : end;
      }
    } else if (endTag) {
      WriteEndTag(name);
    } else {
      WriteStartTag(name, attributes);
    }
  }

  void WriteStartTag(const QString& name,
                     const std::vector<std::pair<QString, QString>>& attributes) {
    const QString endTag = EndTag(name);
    if (IsSelfContainedMarkup(StartTag(name))) {  // <br>
      m_separator = Separator::kNone;
      WriteText(StartTag(name));
      return;
    }
    // Kept only when the scanner takes it, and each attribute only when it takes it too.
    if (m_open.size() == kMaxOpenElements || !IsSelfContainedMarkup(StartTag(name) + endTag)) {
      return;
    }
    QString tag = u'<' + name;
    for (const auto& [attribute, value] : attributes) {
      QString written = u' ' + attribute + QStringLiteral("=\"");
      for (const QChar c : value) {
        if (c != u'"' && c != u'>' && c != u'\\' && (c == u'&' || IsPlainCharacter(c))) {
          written += c;
        }
      }
      written += u'"';
      if (IsSelfContainedMarkup(u'<' + name + written + u'>' + endTag)) tag += written;
    }
    WriteSeparator();
    m_strOut += tag + u'>';
    m_open.push_back(name);
  }

  /// As Qt does: the nearest open element of that name closes, with all inside it.
  void WriteEndTag(const QString& name) {
    const auto it = std::find(m_open.rbegin(), m_open.rend(), name);
    if (it == m_open.rend()) return;
    m_open.erase(std::prev(it.base()), m_open.end());
    m_strOut += EndTag(name);
  }

  QStringView m_html;
  qsizetype m_nPos = 0;
  QString m_strOut;
  std::vector<QString> m_open;  // the inline elements written and not closed, innermost last
  Separator m_separator = Separator::kNone;  // what the next text needs before it
  bool m_bText = false;                      // text has been written
};

}  // namespace

QString ToInlineMarkup(QStringView html) {
  if (IsSelfContainedMarkup(html)) return html.toString();
  return CInlineWriter(html).Write();
}

}  // namespace murelo
