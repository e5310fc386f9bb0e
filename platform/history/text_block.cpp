#include "platform/history/text_block.h"

#include <algorithm>
#include <cstring>

namespace murelo {

namespace {

/// Where word is first found in text at or after from, or npos. The search goes by the
/// word's last byte: in UTF-8 the first byte of every kana is the same, the last one tells
/// them apart.
size_t Find(std::string_view text, std::string_view word, size_t from = 0) {
  if (word.empty()) return from;
  if (from + word.size() > text.size()) return std::string_view::npos;
  const size_t rest = word.size() - 1;
  const char* at = text.data() + from + rest;
  const char* const end = text.data() + text.size();
  while ((at = static_cast<const char*>(std::memchr(at, word.back(), end - at)))) {
    if (std::memcmp(at - rest, word.data(), rest) == 0) return at - rest - text.data();
    ++at;
  }
  return std::string_view::npos;
}

}  // namespace

CTextBlock::CTextBlock(qint64 first, std::string text)
    : m_nFirst(first), m_strText(std::move(text)) {
  for (size_t at = 0; (at = m_strText.find('\n', at)) != std::string::npos; ++at)
    m_ends.push_back(at);
}

std::string_view CTextBlock::TextOf(qint64 id) const {
  const auto line = static_cast<size_t>(id - m_nFirst);
  const size_t begin = line == 0 ? 0 : m_ends[line - 1] + 1;
  return std::string_view(m_strText).substr(begin, m_ends[line] - begin);
}

bool CTextBlock::Takes(qint64 id) const {
  return id == Last() + 1 && m_strText.size() < kBlockBytes;
}

void CTextBlock::Append(std::string_view folded) {
  const size_t begin = m_strText.size();
  m_strText += folded;
  std::replace(m_strText.begin() + static_cast<std::ptrdiff_t>(begin), m_strText.end(), '\n', ' ');
  m_ends.push_back(m_strText.size());
  m_strText += '\n';
}

void CTextBlock::Clear(qint64 id) {
  const auto line = static_cast<size_t>(id - m_nFirst);
  const size_t begin = line == 0 ? 0 : m_ends[line - 1] + 1;
  const size_t length = m_ends[line] - begin;
  m_strText.erase(begin, length);
  for (size_t i = line; i < m_ends.size(); ++i) m_ends[i] -= length;
}

bool CTextBlock::Empty() const { return m_strText.size() == m_ends.size(); }

bool HoldsEveryWord(std::string_view text, const std::vector<std::string>& words) {
  for (const std::string& word : words)
    if (Find(text, word) == std::string_view::npos) return false;
  return true;
}

std::vector<int> LinesHoldingEveryWord(std::string_view text,
                                       const std::vector<std::string>& words) {
  std::vector<int> found;
  // From one place the first word is found to the next, the lines between are passed by
  // their newlines, and only the line where it is found is read for the others.
  int line = 0;
  size_t lineStart = 0;
  for (size_t at; (at = Find(text, words.front(), lineStart)) != std::string_view::npos;) {
    size_t lineEnd;
    while ((lineEnd = text.find('\n', lineStart)) < at) {
      lineStart = lineEnd + 1;
      ++line;
    }
    if (lineEnd == std::string_view::npos) break;
    if (HoldsEveryWord(text.substr(lineStart, lineEnd - lineStart), words)) found.push_back(line);
    lineStart = lineEnd + 1;
    ++line;
  }
  std::reverse(found.begin(), found.end());
  return found;
}

}  // namespace murelo
