#include "platform/page_view/page_view.h"

#include <QAbstractTextDocumentLayout>
#include <QDesktopServices>
#include <QHelpEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextObjectInterface>
#include <QTextTable>
#include <QTimer>
#include <QToolTip>
#include <algorithm>
#include <cmath>
#include <span>
#include <utility>
#include <vector>

#include "platform/cp932.h"
#include "platform/japanese_font.h"
#include "platform/page_view/browser_equivalent.h"
#include "platform/page_view/entry_diff.h"
#include "platform/page_view/inline_markup.h"
#include "platform/page_view/markup_check.h"
#include "platform/page_view/page_format.h"
#include "platform/page_view/page_segments.h"
#include "platform/posix/plain_file.h"

namespace murelo {

namespace {

// Beyond this many new entries in one draw, parsing the whole page costs less.
constexpr int kMaxEntriesInPlace = 24;

const QLatin1StringView kEntryMarker(kPageEntryMarker.data(), kPageEntryMarker.size());

/// A document that loads no resource. QTextDocument's own loadResource reads a local
/// file itself when the widget's loadResource gives nothing back, so overriding the
/// widget's alone would still let <img src=file:...> through.
class CPageDocument : public QTextDocument {
 public:
  explicit CPageDocument(QObject* parent = nullptr) : QTextDocument(parent) {
    // Ahead of loadResource comes the provider, the application-wide one by default.
    setResourceProvider([](const QUrl&) { return QVariant(); });
  }

 protected:
  QVariant loadResource(int, const QUrl&) override { return {}; }
};

/// Draws each image as an empty frame, of the size the page gives it or a small square,
/// and reads nothing: Qt's own image handler, when the document yields no image, opens
/// the file that src= names itself.
class CImagePlaceholder : public QObject, public QTextObjectInterface {
  Q_OBJECT
  Q_INTERFACES(QTextObjectInterface)

 public:
  using QObject::QObject;

  QSizeF intrinsicSize(QTextDocument*, int, const QTextFormat& format) override {
    static constexpr qreal kSide = 16;
    const QTextImageFormat image = format.toImageFormat();
    return {image.hasProperty(QTextFormat::ImageWidth) ? image.width() : kSide,
            image.hasProperty(QTextFormat::ImageHeight) ? image.height() : kSide};
  }

  void drawObject(QPainter* painter, const QRectF& rect, QTextDocument*, int,
                  const QTextFormat&) override {
    painter->save();
    painter->setPen(Qt::gray);
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(rect.adjusted(0.5, 0.5, -0.5, -0.5));
    painter->restore();
  }
};

// A page holds at most 20 rows and 200 entries of texts of at most 1023 bytes: about
// 250 KiB. A file at the page's name that is larger is cut here, not read on and on.
constexpr size_t kMaxPageBytes = 1 << 20;

/// One block as Qt's HTML import made it: formats and runs of formatted text.
struct CBlockContent {
  QTextBlockFormat format;
  QTextCharFormat charFormat;
  std::vector<std::pair<QString, QTextCharFormat>> runs;
};

/// block's content, or false when it cannot be rebuilt with QTextCursor as it is: it
/// belongs to a list, or holds a character that insertText would make a block or frame
/// boundary or that stands for an object.
bool ReadBlock(const QTextBlock& block, CBlockContent& content) {
  content.format = block.blockFormat();
  content.charFormat = block.charFormat();
  content.runs.clear();
  if (block.textList() != nullptr || content.format.objectIndex() != -1) return false;
  for (auto it = block.begin(); !it.atEnd(); ++it) {
    const QTextFragment fragment = it.fragment();
    QString text = fragment.text();
    for (const QChar c : text) {
      if (c == u'\n' || c == u'\r' || c == QChar::ParagraphSeparator ||
          c == QChar::ObjectReplacementCharacter || (c >= QChar(0xfdd0) && c <= QChar(0xfdef))) {
        return false;
      }
    }
    content.runs.emplace_back(std::move(text), fragment.charFormat());
  }
  return true;
}

/// Reads blocks [first, end) of document into contents; false as ReadBlock.
bool ReadBlocks(const QTextDocument& document, int first, int end,
                std::vector<CBlockContent>& contents) {
  contents.resize(static_cast<size_t>(end - first));
  QTextBlock block = document.findBlockByNumber(first);
  for (CBlockContent& content : contents) {
    if (!block.isValid() || !ReadBlock(block, content)) return false;
    block = block.next();
  }
  return true;
}

void InsertRuns(QTextCursor& cursor, const CBlockContent& content) {
  for (const auto& [text, format] : content.runs) cursor.insertText(text, format);
}

/// Adds blocks after the cursor's, each as a new block; the cursor ends in the last.
void InsertBlocks(QTextCursor& cursor, std::span<const CBlockContent> blocks) {
  for (const CBlockContent& content : blocks) {
    cursor.insertBlock(content.format, content.charFormat);
    InsertRuns(cursor, content);
  }
}

/// The numbers of document's horizontal-rule blocks, where its entries start (Qt makes
/// each "<hr>" a block of its own and puts the entry's text in the blocks after it).
/// False unless there are entries of them, all after the first block, and no frame.
bool FindEntryBlocks(const QTextDocument& document, size_t entries, std::vector<int>& firstBlocks) {
  firstBlocks.clear();
  if (!document.rootFrame()->childFrames().isEmpty()) return false;
  int number = 0;
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next(), ++number) {
    if (block.blockFormat().hasProperty(QTextFormat::BlockTrailingHorizontalRulerWidth)) {
      firstBlocks.push_back(number);
    }
  }
  return firstBlocks.size() == entries && (entries == 0 || firstBlocks.front() > 0);
}

/// The end of block number's text in document, before its separator.
int BlockEnd(const QTextDocument& document, int number) {
  const QTextBlock block = document.findBlockByNumber(number);
  return block.position() + block.length() - 1;
}

qreal BlockTop(const QTextDocument& document, int number) {
  return document.documentLayout()->blockBoundingRect(document.findBlockByNumber(number)).top();
}

/// The entry at the top of a view scrolled down to value, and how far into it: a reader
/// scrolled down keeps that entry where it is, while at the top the newest stay in view.
struct CScrollAnchor {
  int nEntry = -1;
  qreal dOffset = 0;
};

CScrollAnchor FindScrollAnchor(const QTextDocument& doc, const std::vector<int>& firstBlocks,
                               int value) {
  CScrollAnchor anchor;
  if (value <= 0) return anchor;
  const auto below = std::upper_bound(firstBlocks.begin(), firstBlocks.end(), qreal(value),
                                      [&](qreal y, int block) { return y < BlockTop(doc, block); });
  anchor.nEntry = static_cast<int>(below - firstBlocks.begin()) - 1;
  if (anchor.nEntry >= 0) anchor.dOffset = value - BlockTop(doc, firstBlocks[anchor.nEntry]);
  return anchor;
}

/// Puts the added entries' blocks in the places of the entries that went. From the
/// bottom up, so the block numbers above each change still hold; each change is its own
/// edit block, since one for all would have the layout redo everything between.
void ReplaceEntries(QTextDocument& doc, const std::vector<int>& firstBlocks,
                    const std::vector<CEntryHunk>& hunks,
                    const std::vector<std::vector<CBlockContent>>& entryBlocks) {
  const int oldCount = static_cast<int>(firstBlocks.size());
  int nextAdded = static_cast<int>(entryBlocks.size());
  for (auto hunk = hunks.rbegin(); hunk != hunks.rend(); ++hunk) {
    const int first = hunk->nOldBegin < oldCount ? firstBlocks[hunk->nOldBegin] : doc.blockCount();
    const int end = hunk->nOldEnd < oldCount ? firstBlocks[hunk->nOldEnd] : doc.blockCount();
    QTextCursor cursor(&doc);
    cursor.beginEditBlock();
    cursor.setPosition(BlockEnd(doc, first - 1));
    if (end > first) {
      cursor.setPosition(BlockEnd(doc, end - 1), QTextCursor::KeepAnchor);
      cursor.removeSelectedText();
    }
    nextAdded -= hunk->nNewEnd - hunk->nNewBegin;
    for (int k = nextAdded; k < nextAdded + hunk->nNewEnd - hunk->nNewBegin; ++k) {
      InsertBlocks(cursor, entryBlocks[k]);
    }
    cursor.endEditBlock();
  }
}

/// The participants own the document's first block, which cannot be removed: empties it,
/// gives it the new formats and text, and adds any further blocks after it.
void ReplaceMembers(QTextDocument& doc, int firstEntryBlock,
                    const std::vector<CBlockContent>& memberBlocks) {
  QTextCursor cursor(&doc);
  cursor.beginEditBlock();
  cursor.setPosition(BlockEnd(doc, firstEntryBlock - 1), QTextCursor::KeepAnchor);
  cursor.removeSelectedText();
  cursor.setBlockFormat(memberBlocks.front().format);
  cursor.setBlockCharFormat(memberBlocks.front().charFormat);
  InsertRuns(cursor, memberBlocks.front());
  InsertBlocks(cursor, std::span(memberBlocks).subspan(1));
  cursor.endEditBlock();
}

void OpenWithDesktop(const QUrl& url) { QDesktopServices::openUrl(url); }

/// A piece of a chat page as the view draws it.
QString DrawnPiece(std::string_view piece) { return ToInlineMarkup(ToQString(piece)); }

/// page as the view draws it: a chat page with each piece a peer wrote in its inline
/// form; any other page (the splash and blank pages) as a browser would draw it, for
/// peers write only into the pieces of chat pages, whose lines they cannot break.
QString DrawnText(const std::string& page) {
  QString text = ToQString(page);
  const auto pieces = SplitChatPage(QStringView(text));
  if (!pieces) return ToBrowserEquivalent(text);
  QString drawn = pieces->head.toString() + ToInlineMarkup(pieces->members) + u'\n';
  for (QStringView entry : pieces->entries) {
    drawn += kEntryMarker + ToInlineMarkup(entry) + u'\n';
  }
  return drawn;
}

}  // namespace

CPageView::CPageView(QWidget* parent)
    : QTextBrowser(parent),
      m_openLink(&OpenWithDesktop),
      m_pScratch(std::make_unique<CPageDocument>()) {
  InstallPageFontSubstitutes();
  auto* page = new CPageDocument(this);
  // Nothing is undone in a read-only view, and in-place draws would only pile up steps.
  page->setUndoRedoEnabled(false);
  setDocument(page);
  page->documentLayout()->registerHandler(QTextFormat::ImageObject, new CImagePlaceholder(this));
  setFont(PageFont());
  page->setDefaultFont(PageFont());
  // A click must not replace the conversation with the link's target.
  setOpenLinks(false);
  setOpenExternalLinks(false);
  connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) { OpenLink(url); });
}

CPageView::~CPageView() = default;

void CPageView::Navigate(const std::string& path) {
  std::optional<std::string> page = ReadRegularFile(path, kMaxPageBytes);
  if (!page) return;
  m_strPending = std::move(*page);
  m_bPending = true;
  if (m_bDrawPosted) return;
  m_bDrawPosted = true;
  QTimer::singleShot(0, this, [this] {
    m_bDrawPosted = false;
    DrawPending();
  });
}

void CPageView::DrawPending() {
  if (!m_bPending) return;
  m_bPending = false;
  Draw(std::exchange(m_strPending, {}));
}

void CPageView::ShowLines(const std::vector<CShownLine>& lines, int marked, int top) {
  QString text = u"<html><body>"_qs;
  for (int i = 0; i < std::ssize(lines); ++i) {
    text += u"<hr><a name=l%1></a><font color=gray>"_qs.arg(i) +
            lines[i].strCaption.toHtmlEscaped() + u"</font><br>"_qs;
    const QString line = ToInlineMarkup(lines[i].strHtml);
    text +=
        i == marked ? u"<span style=\"background-color:#fff2a8\">"_qs + line + u"</span>"_qs : line;
  }
  const int value = verticalScrollBar()->value();
  m_strDrawn.clear();
  m_bDrawnInPieces = false;
  setHtml(text + u"</body></html>"_qs);
  SyncScrollRange();
  if (top >= 0)
    scrollToAnchor(u"l%1"_qs.arg(top));
  else
    verticalScrollBar()->setValue(value);
}

void CPageView::SetLinkOpener(std::function<void(const QUrl&)> opener) {
  m_openLink = std::move(opener);
}

QVariant CPageView::loadResource(int, const QUrl&) { return {}; }

void CPageView::Draw(std::string page) {
  if (page == m_strDrawn && m_nFullDraws + m_nInPlaceDraws > 0) return;
  if (DrawInPlace(page)) {
    ++m_nInPlaceDraws;
  } else {
    DrawInFull(page);
    ++m_nFullDraws;
  }
  m_strDrawn = std::move(page);
}

void CPageView::DrawInFull(const std::string& page) {
  const int value = verticalScrollBar()->value();
  const QString text = DrawnText(page);
  setHtml(text);
  FitFullHeightTable();
  m_bDrawnInPieces = CanChangeInPlace(page, text);
  if (value > 0) {
    // setHtml scrolls to the top; a reader further down stays where they were.
    SyncScrollRange();
    verticalScrollBar()->setValue(value);
  }
}

bool CPageView::CanChangeInPlace(const std::string& page, const QString& text) const {
  const auto bytes = SplitChatPage(page);
  const auto pieces = SplitChatPage(QStringView(text));
  if (!bytes || !pieces || pieces->entries.size() != bytes->entries.size()) return false;
  if (!IsPlainHead(pieces->head) || !IsSelfContainedMarkup(pieces->members)) return false;
  for (QStringView entry : pieces->entries) {
    if (!IsSelfContainedMarkup(entry)) return false;
  }
  std::vector<int> firstBlocks;
  return FindEntryBlocks(*document(), pieces->entries.size(), firstBlocks);
}

// Why an in-place draw gives what a full draw would. Qt's HTML import keeps little state
// from one piece to the next: the open elements, the current block and the white-space
// mode. Every piece, in the form ToInlineMarkup gives it, passes IsSelfContainedMarkup:
// it opens only inline elements and closes them all, so the next piece starts inside
// the same <body> the head opened; the "<hr>" before every entry always starts a new
// block and resets the white space; and inline markup never changes the block or the
// document around it. Each entry's blocks are therefore the same whatever stands before
// or after it, and the participants line's the same whatever entries follow. So the new
// entries are parsed on their own, after the head and the new participants line, and
// their blocks copied into the page on show with their exact formats, in the places of
// the entries that went; entries that stay are not touched. Any doubt (a page on show
// not drawn in such pieces, a block Qt made in some other shape) ends in a full draw.
/// What an in-place draw changes, worked out before the page on show is touched.
struct CPageView::CInPlaceDraw {
  TPageSegments<std::string_view> shown;  // into m_strDrawn
  TPageSegments<std::string_view> next;   // into the page being drawn
  std::vector<CEntryHunk> hunks;
  std::vector<int> newIndexOfOld;
  bool bMembersChanged = false;
  std::vector<CBlockContent> memberBlocks;              // when bMembersChanged
  std::vector<std::vector<CBlockContent>> entryBlocks;  // each added entry's, in page order
};

bool CPageView::DrawInPlace(const std::string& page) {
  if (!m_bDrawnInPieces) return false;
  std::optional<CInPlaceDraw> draw = PlanInPlaceDraw(page);
  if (!draw || !ParseAddedPieces(*draw)) return false;
  QTextDocument& doc = *document();
  std::vector<int> firstBlocks;
  if (!FindEntryBlocks(doc, draw->shown.entries.size(), firstBlocks)) return false;
  const CScrollAnchor anchor = FindScrollAnchor(doc, firstBlocks, verticalScrollBar()->value());
  ReplaceEntries(doc, firstBlocks, draw->hunks, draw->entryBlocks);
  if (draw->bMembersChanged) ReplaceMembers(doc, firstBlocks.front(), draw->memberBlocks);
  if (!FindEntryBlocks(doc, draw->next.entries.size(), firstBlocks)) {
    return false;  // cannot happen; if it did, a full draw replaces what was built
  }
  if (anchor.nEntry >= 0 && draw->newIndexOfOld[anchor.nEntry] >= 0) {
    const qreal top = BlockTop(doc, firstBlocks[draw->newIndexOfOld[anchor.nEntry]]);
    SyncScrollRange();
    verticalScrollBar()->setValue(static_cast<int>(std::lround(top + anchor.dOffset)));
  }
  return true;
}

std::optional<CPageView::CInPlaceDraw> CPageView::PlanInPlaceDraw(const std::string& page) const {
  const auto shown = SplitChatPage(m_strDrawn);
  const auto next = SplitChatPage(page);
  if (!shown || !next || next->head != shown->head || shown->entries.empty() ||
      next->entries.empty()) {
    return std::nullopt;
  }
  CInPlaceDraw draw;
  draw.shown = *shown;
  draw.next = *next;
  auto hunks = DiffEntries(shown->entries, next->entries, draw.newIndexOfOld);
  if (!hunks) return std::nullopt;
  draw.hunks = std::move(*hunks);
  int added = 0;
  for (const CEntryHunk& hunk : draw.hunks) added += hunk.nNewEnd - hunk.nNewBegin;
  if (added > kMaxEntriesInPlace) return std::nullopt;
  draw.entryBlocks.resize(static_cast<size_t>(added));
  draw.bMembersChanged = next->members != shown->members;
  return draw;
}

bool CPageView::ParseAddedPieces(CInPlaceDraw& draw) {
  // The participants line and the added entries, in page order, after the head.
  QString html = ToQString(draw.next.head) + DrawnPiece(draw.next.members) + u'\n';
  for (const CEntryHunk& hunk : draw.hunks) {
    for (int j = hunk.nNewBegin; j < hunk.nNewEnd; ++j) {
      html += kEntryMarker;
      html += DrawnPiece(draw.next.entries[j]);
      html += u'\n';
    }
  }
  m_pScratch->setDefaultFont(document()->defaultFont());
  m_pScratch->setHtml(html);
  const size_t added = draw.entryBlocks.size();
  std::vector<int> scratchFirst;
  if (!FindEntryBlocks(*m_pScratch, added, scratchFirst)) return false;
  const int scratchBlocks = m_pScratch->blockCount();
  if (draw.bMembersChanged &&
      !ReadBlocks(*m_pScratch, 0, added > 0 ? scratchFirst.front() : scratchBlocks,
                  draw.memberBlocks)) {
    return false;
  }
  for (size_t k = 0; k < added; ++k) {
    const int end = k + 1 < added ? scratchFirst[k + 1] : scratchBlocks;
    if (!ReadBlocks(*m_pScratch, scratchFirst[k], end, draw.entryBlocks[k])) return false;
  }
  return true;
}

void CPageView::FitFullHeightTable() {
  const QList<QTextFrame*> frames = document()->rootFrame()->childFrames();
  const auto* table = frames.size() == 1 ? qobject_cast<QTextTable*>(frames[0]) : nullptr;
  const QTextLength height = table != nullptr ? table->format().height() : QTextLength();
  if (height.type() != QTextLength::PercentageLength || height.rawValue() != 100) return;
  // Qt lays a table out only as high as its content; a browser stretches it to the view
  // and centres the cells' content in it. A top margin puts the content in that place.
  QTextFrameFormat root = document()->rootFrame()->frameFormat();
  root.setTopMargin(document()->documentMargin());
  document()->rootFrame()->setFrameFormat(root);
  const qreal spare = viewport()->height() - document()->documentLayout()->documentSize().height();
  root.setTopMargin(document()->documentMargin() + std::max<qreal>(0, spare / 2));
  document()->rootFrame()->setFrameFormat(root);
}

void CPageView::resizeEvent(QResizeEvent* event) {
  QTextBrowser::resizeEvent(event);
  FitFullHeightTable();
}

void CPageView::SyncScrollRange() {
  // The layout reports a new height from a timer and the scroll bars follow that report;
  // a position set before it would be clamped to the old height.
  QAbstractTextDocumentLayout* layout = document()->documentLayout();
  emit layout->documentSizeChanged(layout->documentSize());
}

bool CPageView::viewportEvent(QEvent* event) {
  if (event->type() != QEvent::ToolTip) return QTextBrowser::viewportEvent(event);
  const auto* help = static_cast<QHelpEvent*>(event);
  const QString anchor = anchorAt(help->pos());
  if (anchor.isEmpty()) {
    QToolTip::hideText();
  } else {
    // Encoded, so that a look-alike letter or a mark that reorders text shows as what
    // it is rather than as the address it imitates.
    QToolTip::showText(help->globalPos(), QUrl(anchor).toString(QUrl::FullyEncoded), viewport());
  }
  return true;
}

void CPageView::OpenLink(const QUrl& url) {
  const QString scheme = url.scheme();  // QUrl keeps schemes in lower case
  if (scheme == u"http" || scheme == u"https" || scheme == u"mailto") m_openLink(url);
}

}  // namespace murelo

#include "moc_page_view.cpp"
#include "page_view.moc"
