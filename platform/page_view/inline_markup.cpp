#include "platform/page_view/inline_markup.h"

#include <QChar>
#include <algorithm>
#include <utility>
#include <vector>

#include "platform/markup_reader.h"
#include "platform/page_view/markup_check.h"

namespace murelo {

namespace {

QString StartTag(const QString& name) { return u'<' + name + u'>'; }
QString EndTag(const QString& name) { return QStringLiteral("</") + name + u'>'; }

/// Whether c may stand in the output as it is: the check of IsSelfContainedMarkup is the
/// one judge of which code points reach past a piece.
bool IsPlainCharacter(QChar c) {
  return c != u'<' && c != u'&' && IsSelfContainedMarkup(QStringView(&c, 1));
}

enum class Separator { kNone, kSpace, kBreak };

/// Writes what it keeps of markup read loosely in the strict form IsSelfContainedMarkup
/// takes.
class CInlineWriter {
 public:
  explicit CInlineWriter(QStringView html) : m_reader(html) {}

  QString Write() && {
    using enum CMarkupToken::Kind;
    for (CMarkupToken token; m_reader.Next(token);) {
      switch (token.kind) {
        case kText:
          WriteText(token.raw);
          break;
        case kReference:
          // Passes whole when the check takes it; otherwise its '&' shows as text.
          if (IsSelfContainedMarkup(token.raw)) {
            WriteMarkup(token.raw);
          } else {
            WriteText(token.raw);
          }
          break;
        case kStartTag:
        case kEndTag:
          WriteTag(token);
          break;
        case kComment:
          break;
      }
    }
    while (!m_open.empty()) {
      m_strOut += EndTag(m_open.back());
      m_open.pop_back();
    }
    return std::move(m_strOut);
  }

 private:
  /// Writes text as characters, each '<' and '&' as a reference.
  void WriteText(QStringView text) {
    QString written;
    for (const QChar c : text) {
      if (c == u'<') {
        written += u"&lt;";
      } else if (c == u'&') {
        written += u"&amp;";
      } else if (IsPlainCharacter(c)) {
        written += c;
      }
    }
    if (!written.isEmpty()) WriteMarkup(written);
  }

  /// Writes markup that shows as text, after the separator that waits for it.
  void WriteMarkup(QStringView markup) {
    WriteSeparator();
    m_strOut += markup;
    m_bText = true;
  }

  void WriteSeparator() {
    if (m_bText && m_separator != Separator::kNone) {
      m_strOut += m_separator == Separator::kBreak ? u"<br>" : u" ";
    }
    m_separator = Separator::kNone;
  }

  void WriteTag(const CMarkupToken& token) {
    const bool endTag = token.kind == CMarkupToken::Kind::kEndTag;
    switch (FindElement(token.strName).kind) {
      case ElementKind::kBreak:
        m_separator = Separator::kBreak;
        return;
      case ElementKind::kCell:
        m_separator = std::max(m_separator, Separator::kSpace);
        return;
      case ElementKind::kHidden:
        if (!endTag) m_reader.SkipHiddenContent(token.strName);
        return;
      default:
        if (endTag) {
          WriteEndTag(token.strName);
        } else {
          WriteStartTag(token.strName, ReadAttributes(token.attributes));
        }
    }
  }

  void WriteStartTag(const QString& name,
                     const std::vector<std::pair<QString, QString>>& attributes) {
    const QString endTag = EndTag(name);
    if (IsSelfContainedMarkup(StartTag(name))) {  // <br>
      m_separator = Separator::kNone;
      WriteMarkup(StartTag(name));
      return;
    }
    // Kept only when the check takes it, and each attribute only when it takes it too.
    if (m_open.size() == kMaxInlineDepth || !IsSelfContainedMarkup(StartTag(name) + endTag)) {
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

  CMarkupReader m_reader;
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
