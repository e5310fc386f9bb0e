// The chat page as the page view reads it back, split into its pieces, so the view can
// redraw only the pieces that changed (markup_check.h says when a piece may be drawn on
// its own, entry_diff.h which entries changed). Pure functions over text.
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

}  // namespace murelo
