#include "ui/history_window.h"

#include <QApplication>
#include <QClipboard>
#include <QColor>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QScrollBar>
#include <QShortcut>
#include <QStackedWidget>
#include <QTextDocumentFragment>
#include <QVBoxLayout>

#include "platform/cp932.h"
#include "platform/history/search_text.h"
#include "platform/page_view/page_view.h"
#include "ui/one_line_edit.h"
#include "ui/ui_texts.h"

namespace murelo {

namespace {

constexpr int kFirstPage = 100;    // hits of a new query
constexpr int kNextPage = 200;     // hits the list asks for as it scrolls
constexpr int kContextLines = 50;  // lines loaded at a time on either side of a hit

}  // namespace

/// A hit's context: drawn as the page is, and copied as plain text only, so that a peer's
/// markup never travels on through the clipboard.
class CContextView : public CPageView {
 public:
  using CPageView::CPageView;

 protected:
  QMimeData* createMimeDataFromSelection() const override {
    auto* data = new QMimeData;
    data->setText(textCursor().selection().toPlainText());
    return data;
  }
};

CHistoryWindow::CHistoryWindow(CHistorySearcher& searcher, CMureloConf& conf, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_searcher(searcher),
      m_conf(conf),
      m_query(new COneLineEdit(nullptr)),
      m_notice(new QLabel),
      m_count(new QLabel),
      m_pages(new QStackedWidget),
      m_hits(new QListView),
      m_context(new CContextView),
      m_model([this](qint64 olderThan) {
        m_searcher.NextPage(
            {m_strSearched, {}, 0, kNextPage, olderThan, false},
            [this](std::optional<CHistoryResult> result) {
              const bool more = result && result->hits.size() == kNextPage;
              m_model.Append(result ? std::move(result->hits) : std::vector<CHistoryHit>(), more);
            });
      }) {
  setWindowTitle(ToQString(kHistoryCaption));
  m_query->setPlaceholderText(ToQString(kHistoryQueryHint));
  m_count->setObjectName(u"count"_qs);
  m_notice->setWordWrap(true);
  m_notice->hide();
  m_hits->setModel(&m_model);
  m_hits->setItemDelegate(new CHitDelegate(m_hits));
  m_hits->setUniformItemSizes(true);
  QPalette light = m_hits->palette();  // the names' colours stay readable on a selected hit
  light.setColor(QPalette::Highlight, QColor(0xcc, 0xe0, 0xf6));
  m_hits->setPalette(light);
  m_hits->setSelectionMode(QAbstractItemView::ExtendedSelection);
  m_pages->addWidget(m_hits);
  m_pages->addWidget(m_context);
  auto* layout = new QVBoxLayout(this);
  for (QWidget* part : std::initializer_list<QWidget*>{m_query, m_notice, m_count})
    layout->addWidget(part);
  layout->addWidget(m_pages, 1);

  m_typing.setSingleShot(true);
  m_typing.setInterval(kTypingPauseMs);
  connect(&m_typing, &QTimer::timeout, this, &CHistoryWindow::Search);
  connect(m_query, &QLineEdit::textChanged, this, [this] { m_typing.start(); });
  connect(m_query, &QLineEdit::returnPressed, this, &CHistoryWindow::OpenContext);
  connect(m_hits, &QListView::activated, this, &CHistoryWindow::OpenContext);
  connect(m_context->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
    if (m_nLoading > 0) return;
    const QScrollBar* bar = m_context->verticalScrollBar();
    if (value == bar->maximum() && !m_bNoOlder) LoadNeighbours(true);
    if (value == bar->minimum() && !m_bNoNewer) LoadNeighbours(false);
  });
  connect(new QShortcut(QKeySequence::Find, this), &QShortcut::activated, this, [this] {
    m_query->setFocus();
    m_query->selectAll();
  });
  m_query->installEventFilter(this);
  m_hits->installEventFilter(this);
  if (!restoreGeometry(m_conf.HistoryWindowGeometry())) resize(560, 480);
}

CHistoryWindow::~CHistoryWindow() = default;

void CHistoryWindow::Present() {
  show();
  raise();
  activateWindow();
  m_query->setFocus();
  m_query->selectAll();
}

void CHistoryWindow::SetNotice(const QString& text) {
  m_strNotice = text;
  ShowNotice(false);
}

void CHistoryWindow::ShowNotice(bool unreadable) {
  const QString text = unreadable ? ToQString(kHistoryUnreadable) : m_strNotice;
  m_notice->setText(text);
  m_notice->setVisible(!text.isEmpty());
}

void CHistoryWindow::Refresh() {
  CloseContext();
  Search();
}

void CHistoryWindow::Search() {
  m_typing.stop();
  m_strSearched = m_query->text();
  const QStringList words = QueryWords(m_strSearched);
  m_count->clear();
  if (words.isEmpty()) return m_model.Reset({}, {}, false);
  m_searcher.Search(
      {m_strSearched, {}, 0, kFirstPage},
      [this, words](std::optional<CHistoryResult> result) {
        ShowNotice(!result);
        if (!result) result.emplace();
        const bool more = result->hits.size() == kFirstPage;
        m_model.Reset(words, std::move(result->hits), more);
        if (m_model.rowCount() > 0) m_hits->setCurrentIndex(m_model.index(0));
      },
      [this](std::optional<qint64> total) {
        if (total) m_count->setText(ToQString(kHistoryHitCount).arg(*total));
      });
}

void CHistoryWindow::OpenContext() {
  // Typed and not yet searched: the hits on show are another query's.
  if (m_typing.isActive()) return Search();
  const QModelIndex current = m_hits->currentIndex();
  if (!current.isValid()) return;
  const CHistoryHit& hit = m_model.Hit(current.row());
  m_contextLines = {hit};
  m_nContextHit = hit.nId;
  m_bNoOlder = m_bNoNewer = false;
  m_pages->setCurrentWidget(m_context);
  ShowContext(0);
  LoadNeighbours(true);
  LoadNeighbours(false);
}

void CHistoryWindow::CloseContext() {
  m_nContextHit = 0;
  m_contextLines.clear();
  m_pages->setCurrentWidget(m_hits);
  m_hits->setFocus();
}

void CHistoryWindow::LoadNeighbours(bool older) {
  if (m_contextLines.empty()) return;
  ++m_nLoading;
  const qint64 from = older ? m_contextLines.back().nId : m_contextLines.front().nId;
  m_searcher.Neighbours(
      from, older, kContextLines,
      [this, older, hit = m_nContextHit](std::optional<std::vector<CHistoryHit>> lines) {
        --m_nLoading;
        if (hit != m_nContextHit) return;  // closed, or another hit's context since
        if (!lines || lines->size() < kContextLines) (older ? m_bNoOlder : m_bNoNewer) = true;
        if (!lines || lines->empty()) return;
        // The first lines either side keep the hit in view; later ones the line on show.
        const bool first = (older ? m_contextLines.back() : m_contextLines.front()).nId == hit;
        if (older)
          m_contextLines.insert(m_contextLines.end(), lines->begin(), lines->end());
        else
          m_contextLines.insert(m_contextLines.begin(), lines->rbegin(), lines->rend());
        const auto at = std::find_if(m_contextLines.begin(), m_contextLines.end(),
                                     [hit](const CHistoryHit& line) { return line.nId == hit; });
        ShowContext(first   ? static_cast<int>(at - m_contextLines.begin())
                    : older ? -1
                            : static_cast<int>(lines->size()));
      });
}

void CHistoryWindow::ShowContext(int top) {
  const QDateTime now = QDateTime::currentDateTime();
  std::vector<CPageView::CShownLine> lines;
  int marked = -1;
  for (const CHistoryHit& line : m_contextLines) {
    if (line.nId == m_nContextHit) marked = static_cast<int>(lines.size());
    lines.push_back({HitTime(line.nTimeMs, now), line.strHtml});
  }
  ++m_nLoading;  // drawing moves the scroll bar, which must not ask for more
  m_context->ShowLines(lines, marked, top);
  --m_nLoading;
}

void CHistoryWindow::CopyHits() const {
  QModelIndexList rows = m_hits->selectionModel()->selectedRows();
  std::sort(rows.begin(), rows.end());
  QStringList lines;
  const QDateTime now = QDateTime::currentDateTime();
  for (const QModelIndex& row : rows) lines << HitLine(m_model.Hit(row.row()), now);
  if (!lines.isEmpty()) QApplication::clipboard()->setText(lines.join(u'\n'));
}

bool CHistoryWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  if (watched == m_hits && key->matches(QKeySequence::Copy)) {
    CopyHits();
    return true;
  }
  if (watched == m_query && m_pages->currentWidget() == m_hits) {
    switch (key->key()) {
      case Qt::Key_Up:
      case Qt::Key_Down:
      case Qt::Key_PageUp:
      case Qt::Key_PageDown:
        QApplication::sendEvent(m_hits, event);
        return true;
      default:
        break;
    }
  }
  return false;
}

void CHistoryWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() != Qt::Key_Escape) return QWidget::keyPressEvent(event);
  if (m_pages->currentWidget() == m_context)
    CloseContext();
  else
    close();
}

void CHistoryWindow::hideEvent(QHideEvent* event) {
  m_conf.SetHistoryWindowGeometry(saveGeometry());
  QWidget::hideEvent(event);
}

}  // namespace murelo

#include "moc_history_window.cpp"
