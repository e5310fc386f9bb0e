// CPageView: the conversation's display. It shows the page file data.htm (the splash,
// blank or chat page) as HTML: peers' inline markup shows as sent, colours, bold and
// links included, but nothing in it runs or loads: no script, no image, no style sheet,
// from the network or from disk. A clicked web or mail link opens in the desktop's
// browser and leaves the conversation on show; a link the pointer rests on shows the
// address it opens. The view is read-only; text can be selected.
//
// Cost. Each piece of a chat page that a peer wrote (an entry, the participants line)
// is drawn in the inline form inline_markup.h gives it; the file itself is not changed.
// Drawn as sent, one 400-byte line of tables 24 deep froze the window for minutes (14
// deep: 4.8 s a draw, doubling with each level), a colspan of 2^31 cost 0.1 s a draw,
// a page of 200 costly lines 0.7 s and more for every later line, and a link in a
// 600-pixel font covered the view, so that a click anywhere opened it. Drawn inline, a
// new line on a page of 200 of the costliest 1000-byte lines, with hostile names in the
// participants line, takes 2.5 ms, as on an ordinary page (bench/page_draw_bench.cpp).
//
// Drawing. Navigate reads the file at once and draws from the event loop, so the pages
// of several messages handled in one turn are drawn once, with the newest. A chat page
// that differs from the one on show by a few entries (a new message at the top, the
// oldest gone at the bottom, the participants line) is changed in place; every other
// page is parsed afresh. Both ways give the same document (markup_check.h says when
// that holds).
//
// User-interface thread only.
#pragma once

#include <QTextBrowser>
#include <QUrl>
#include <QVariant>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QTextDocument;

namespace murelo {

class CPageView : public QTextBrowser {
  Q_OBJECT

 public:
  explicit CPageView(QWidget* parent = nullptr);
  ~CPageView() override;
  CPageView(const CPageView&) = delete;
  CPageView& operator=(const CPageView&) = delete;

  /// Reads the file at path as it now is, CP932 text, and shows it once the event loop
  /// runs (or at DrawPending). A later navigation before then replaces it. A file that
  /// cannot be read changes nothing: the view keeps what it shows or is about to show.
  void Navigate(const std::string& path);

  /// Draws the newest navigated page now, laid out, when it is not drawn yet.
  void DrawPending();

  /// A line to show in place of a page: line 0 as logged, under a caption in plain text.
  struct CShownLine {
    QString strCaption;
    QString strHtml;
  };
  /// Shows lines in place of any page, each in the inline form the page's entries are
  /// drawn in and below a rule as they are. The line at marked is set off; the view
  /// scrolls to put the line at top at its top, or, with top -1, stays where it was.
  void ShowLines(const std::vector<CShownLine>& lines, int marked, int top);

  /// The bytes of the page on show, as the file read when navigated to; empty before the
  /// first draw.
  const std::string& DrawnPage() const { return m_strDrawn; }

  /// How many draws changed the page on show in place.
  int InPlaceDraws() const { return m_nInPlaceDraws; }

  /// Replaces what a clicked http, https or mailto link is handed to (by default the
  /// desktop's web browser or mail program). Other links do nothing.
  void SetLinkOpener(std::function<void(const QUrl&)> opener);

  /// Nothing: pages load no resource of any kind from anywhere.
  QVariant loadResource(int type, const QUrl& name) override;

 protected:
  /// Shows, as the pointer rests on a link, the address a click would open.
  bool viewportEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  struct CInPlaceDraw;

  void Draw(std::string page);
  void DrawInFull(const std::string& page);
  /// Changes the page on show into page where it differs; false, the page on show
  /// untouched or to be drawn in full, when that cannot be done exactly.
  bool DrawInPlace(const std::string& page);
  /// The entries and participants that differ from the page on show, when page is a
  /// chat page close enough to it.
  std::optional<CInPlaceDraw> PlanInPlaceDraw(const std::string& page) const;
  /// Parses the participants line and the added entries on their own; false when Qt
  /// made of them blocks that cannot be copied exactly.
  bool ParseAddedPieces(CInPlaceDraw& draw);
  /// Whether page, just drawn in full, is a chat page that can be changed in place.
  bool CanChangeInPlace(const std::string& page, const QString& text) const;
  /// Stretches a page that is one table of the view's full height (the splash page) to
  /// the view, as a browser does.
  void FitFullHeightTable();
  /// Tells the scroll bars the document's full height now rather than on a later turn.
  void SyncScrollRange();
  void OpenLink(const QUrl& url);

  std::string m_strPending;  // the newest navigated page, while m_bPending
  bool m_bPending = false;
  bool m_bDrawPosted = false;  // a draw waits in the event loop
  std::string m_strDrawn;
  // The page on show is a chat page of self-contained pieces whose entries start at the
  // document's horizontal-rule blocks, one each: the page an in-place draw starts from.
  bool m_bDrawnInPieces = false;
  int m_nFullDraws = 0;
  int m_nInPlaceDraws = 0;
  std::function<void(const QUrl&)> m_openLink;
  std::unique_ptr<QTextDocument> m_pScratch;  // parses the entries an in-place draw adds
};

}  // namespace murelo
