// Peers' HTML as every part of the program reads it: one tokenizer and one table of
// elements. The check of what the page view may parse on its own, the inline form it
// draws, the plain text of the room's output and of notifications, and the rewrite of
// whole pages as a browser draws them all read markup through this, so that they never
// disagree on what is a tag, what is text and what an element does. Pure functions over
// text.
#pragma once

#include <QString>
#include <QStringView>
#include <array>
#include <utility>
#include <vector>

namespace murelo {

/// What an element does to the page, as Qt's HTML import and a browser agree on it.
enum class ElementKind {
  kInline,  // text-level, allowed in a chat piece with the attributes its entry lists
  kBreak,   // a block, a list or list item, a table or a row: starts a new line
  kCell,    // a table cell: stands beside the one before it
  kHidden,  // its content is no text (head, script, style, title): dropped with it
  kHead,    // html and body, which a page's head holds
  kOther,   // any other: shown as its content
};

struct CElement {
  QStringView name;
  ElementKind kind = ElementKind::kOther;
  bool bEmpty = false;       // takes no content and no end tag
  bool bFormatting = false;  // browsers open it again after an end tag that closed it early
  std::array<QStringView, 3> attributes = {};  // what it may carry in a chat piece
};

/// The element of that lower-case name; an unknown name is kOther.
const CElement& FindElement(QStringView name);

struct CMarkupToken {
  enum class Kind { kText, kReference, kStartTag, kEndTag, kComment };
  Kind kind = Kind::kText;
  QStringView raw;         // the token as written
  QString strName;         // tags: the name, lower-cased
  QStringView attributes;  // tags: what stands between the name and the closing '>'
  bool bClosed = true;     // tags and comments: their end came before the end of the text
  // A lone '&' (kText) after which Qt would read a numeric reference that is none: "&#"
  // and up to 8 characters and ';' reaching over a '<', a '&' or what is no digit.
  bool bBrokenReference = false;
};

/// Reads markup token by token, the way a browser guesses at it:
/// - '<' starts a tag when an ASCII letter, '/' and a letter, '!' or '?' follows it;
///   any other '<' is text;
/// - a tag's name is its ASCII letters and digits; the tag ends at the first '>' that
///   is not inside a quoted attribute value, or with the text;
/// - "<!--" to "-->", and "<!" or "<?" to '>', is a comment;
/// - '&', 1 to 8 characters other than blanks, '<', '&' and ';', then ';' is a
///   reference; any other '&' is a token of text of its own;
/// - everything else is text, in runs.
class CMarkupReader {
 public:
  explicit CMarkupReader(QStringView html) : m_html(html) {}

  /// The next token; false at the end of the text.
  bool Next(CMarkupToken& token);
  /// Goes on after the content of a hidden element just started: at its end tag, or at
  /// the end of the text.
  void SkipHiddenContent(const QString& name);

 private:
  QChar Peek(qsizetype ahead = 0) const {
    const qsizetype at = m_nPos + ahead;
    return at < m_html.size() ? m_html[at] : QChar();
  }
  bool StartsTag() const;
  void ReadTag(CMarkupToken& token);
  void ReadReference(CMarkupToken& token);
  /// Moves past the attributes of a tag and its '>'; false when the text ends first.
  bool SkipAttributes();

  QStringView m_html;
  qsizetype m_nPos = 0;
};

/// The attributes of a tag, read as loosely as CMarkupReader reads the tag: each name
/// lower-cased, with its value (empty without one).
std::vector<std::pair<QString, QString>> ReadAttributes(QStringView attributes);

/// The character a reference token stands for: numeric ones and the common named
/// ones; empty for any other.
QString DecodeReference(QStringView reference);

}  // namespace murelo
