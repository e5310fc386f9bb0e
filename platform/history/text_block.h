// The folded texts that search reads, kept in blocks of consecutive lines: a word too
// short for the trigram index is looked for in every text, and SQLite's cost in reading a
// table is by the row, so a million lines read as twenty-five thousand blocks take a
// third of the time. A block is closed when it nearly fills one of the file's 4 KiB
// pages, where it is kept whole. A block's text is its lines' texts in order of their ids, each
// followed by a newline; a newline inside a line is kept as a blank, which no query word holds, so
// no word is ever found across two lines.
#pragma once

#include <QtGlobal>
#include <string>
#include <string_view>
#include <vector>

namespace murelo {

inline constexpr size_t kBlockBytes = 3800;

class CTextBlock {
 public:
  /// A block whose first line is first, holding text as it is stored.
  CTextBlock(qint64 first, std::string text);

  qint64 First() const { return m_nFirst; }
  qint64 Last() const { return m_nFirst + static_cast<qint64>(m_ends.size()) - 1; }
  const std::string& Text() const { return m_strText; }
  /// The text of line id, First() to Last(); empty for a line taken out.
  std::string_view TextOf(qint64 id) const;

  /// Whether line id is the next this block can take.
  bool Takes(qint64 id) const;
  void Append(std::string_view folded);
  /// Leaves line id with no text, as when it has expired.
  void Clear(qint64 id);
  /// Whether every line has been taken out.
  bool Empty() const;

 private:
  qint64 m_nFirst;
  std::string m_strText;
  std::vector<size_t> m_ends;  // where each line's newline is
};

/// Whether text holds every word, compared as UTF-8 bytes: for valid UTF-8, as both
/// always are here, that is whether it holds them as characters.
bool HoldsEveryWord(std::string_view text, const std::vector<std::string>& words);

/// The places in a block, last first, of the lines that hold every word (at least one),
/// read straight from the block's text as stored.
std::vector<int> LinesHoldingEveryWord(std::string_view text,
                                       const std::vector<std::string>& words);

}  // namespace murelo
