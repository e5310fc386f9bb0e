// The chat page as the chat view reads it back: split into its pieces, the test that
// tells whether a piece of peer markup can be parsed on its own, and the changes between
// two pages' entries. Pure functions over text, so the view can redraw only what changed
// and fall back to a full draw whenever that would not be provably the same.
//
// A chat page (ui/page_writer.h writes it) is lines, each ended by "\n":
//   head     one or more lines of <html> and <body> tags   "<html>\n<body bgcolor=#eeeeff>\n"
//   members  one line: the participants                    "[参加者]  <font color=red>a</font>☆"
//   entries  one line each: "<hr>" then the entry's HTML, newest first
// Entries hold no line feed (a message's first line is its HTML), so the lines alone
// give the pieces; the HTML inside a piece may be anything a peer sent.
#pragma once

#include <QStringView>
#include <optional>
#include <string_view>
#include <vector>

namespace murelo {

/// A chat page's pieces, as views into the page they were split from.
template <typename View>
struct TPageSegments {
  View head;                  // the head's lines, each with its "\n"
  View members;               // the participants line, without its "\n"
  std::vector<View> entries;  // each entry's HTML, without "<hr>" and "\n", newest first
};

/// page split into head, participants line and entries; nothing when page is not laid
/// out as a chat page (the splash and blank pages among others). Whether the pieces'
/// markup behaves is not looked at here.
std::optional<TPageSegments<std::string_view>> SplitChatPage(std::string_view page);
std::optional<TPageSegments<QStringView>> SplitChatPage(QStringView page);

/// Whether Qt's HTML parser, reading html at the body level right after a block-level
/// tag and followed by a line feed, makes of it the same blocks wherever it stands and
/// leaves its state as it found it for what comes next: nothing but text, character
/// references and a few inline tags (b, i, u, s, em, strong, big, small, sub, sup, tt,
/// code, cite, br, font with color, size and face, a with href), each tag well formed
/// and every element closed in the piece. Conservative: false for anything else,
/// comments, block tags, unclosed quotes, tags that a later piece could close or that
/// reach outside the piece (named anchors, style sheets) included.
bool IsSelfContainedMarkup(QStringView html);

/// Whether head, the lines before the participants line, holds only <html> and <body>
/// tags (body with its colour attributes) and white space, so that it leaves the parser
/// inside the body with none of IsSelfContainedMarkup's elements open.
bool IsPlainHead(QStringView head);

/// One run of changed entries: old entries [nOldBegin, nOldEnd) give way to new entries
/// [nNewBegin, nNewEnd). Either side may be empty.
struct CEntryHunk {
  int nOldBegin;
  int nOldEnd;
  int nNewBegin;
  int nNewEnd;
};

/// What turns the entries oldEntries into newEntries, in page order, keeping the longest
/// common subsequence of equal entries in place. newIndexOfOld receives, for each old
/// entry, the index of the new entry it stays as, or -1 when it goes. Nothing when the
/// lists are too long to compare cheaply.
std::optional<std::vector<CEntryHunk>> DiffEntries(const std::vector<std::string_view>& oldEntries,
                                                   const std::vector<std::string_view>& newEntries,
                                                   std::vector<int>& newIndexOfOld);

}  // namespace murelo
