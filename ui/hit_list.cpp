#include "ui/hit_list.h"

#include <QColor>
#include <QPainter>

#include "platform/cp932.h"
#include "platform/history/search_text.h"
#include "ui/ui_texts.h"

namespace murelo {

namespace {

/// Whether c joins the character before it when folded: a combining mark, or the
/// half-width voiced sound marks, which fold into the kana before them.
bool JoinsPrevious(QChar c) { return c.isMark() || c.unicode() == 0xff9e || c.unicode() == 0xff9f; }

}  // namespace

QString HitTime(qint64 timeMs, const QDateTime& now) {
  const QDateTime time = QDateTime::fromMSecsSinceEpoch(timeMs).toLocalTime();
  if (time.date() == now.date()) return time.toString(u"HH:mm"_qs);
  return time.toString(
      ToQString(time.date().year() == now.date().year() ? kHistoryThisYear : kHistoryOlder));
}

void AppendMarkedRuns(std::vector<CTextRun>& runs, const QString& plain,
                      const QStringList& foldedWords, const QColor& color, bool bold) {
  // Folded piece by piece, a character with what joins it, as search folds the whole
  // text; each folded character knows the piece it came from.
  QString folded;
  std::vector<size_t> pieceOf;
  std::vector<std::pair<qsizetype, qsizetype>> pieces;  // start, length
  for (qsizetype at = 0; at < plain.size();) {
    qsizetype end = at + (plain[at].isHighSurrogate() ? 2 : 1);
    while (end < plain.size() && JoinsPrevious(plain[end])) ++end;
    end = std::min(end, plain.size());
    const QString piece = FoldForSearch(plain.mid(at, end - at));
    pieceOf.insert(pieceOf.end(), static_cast<size_t>(piece.size()), pieces.size());
    folded += piece;
    pieces.emplace_back(at, end - at);
    at = end;
  }
  std::vector<bool> marked(pieces.size());
  for (const QString& word : foldedWords) {
    for (qsizetype at = folded.indexOf(word); at >= 0 && !word.isEmpty();
         at = folded.indexOf(word, at + 1)) {
      for (qsizetype i = at; i < at + word.size(); ++i)
        marked[pieceOf[static_cast<size_t>(i)]] = true;
    }
  }
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (i == 0 || marked[i] != marked[i - 1]) runs.push_back({{}, color, bold, marked[i]});
    runs.back().strText += plain.mid(pieces[i].first, pieces[i].second);
  }
}

QString HitLine(const CHistoryHit& hit, const QDateTime& now) {
  return HitTime(hit.nTimeMs, now) + u' ' + hit.strRoom + u' ' + hit.strPlain;
}

CHitListModel::CHitListModel(std::function<void(qint64)> fetch) : m_fetch(std::move(fetch)) {}

void CHitListModel::Reset(const QStringList& foldedWords, std::vector<CHistoryHit> hits,
                          bool more) {
  beginResetModel();
  m_words = foldedWords;
  m_hits = std::move(hits);
  m_bMore = more;
  m_bFetching = false;
  endResetModel();
}

void CHitListModel::Append(std::vector<CHistoryHit> hits, bool more) {
  m_bFetching = false;
  m_bMore = more;
  if (hits.empty()) return;
  const int first = rowCount();
  beginInsertRows({}, first, first + static_cast<int>(hits.size()) - 1);
  m_hits.insert(m_hits.end(), std::make_move_iterator(hits.begin()),
                std::make_move_iterator(hits.end()));
  endInsertRows();
}

int CHitListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_hits.size());
}

QVariant CHitListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  return HitLine(Hit(index.row()), QDateTime::currentDateTime());
}

std::vector<CTextRun> CHitListModel::Runs(int row) const {
  const CHistoryHit& hit = Hit(row);
  const QColor gray(Qt::gray);
  std::vector<CTextRun> runs{
      {HitTime(hit.nTimeMs, QDateTime::currentDateTime()) + u' ' + hit.strRoom + u' ', gray}};
  // The name, when the text begins with it as a chat line's does, in its colour as Qt
  // reads it; a colour it cannot read is black.
  QString plain = hit.strPlain;
  if (!hit.strName.isEmpty() && plain.startsWith(hit.strName)) {
    const QColor color = QColor::fromString(hit.strColor);
    AppendMarkedRuns(runs, hit.strName, m_words, color.isValid() ? color : QColor(Qt::black), true);
    plain.remove(0, hit.strName.size());
  }
  AppendMarkedRuns(runs, plain, m_words, Qt::black, false);
  return runs;
}

bool CHitListModel::canFetchMore(const QModelIndex& parent) const {
  return !parent.isValid() && !m_bFetching && m_bMore;
}

void CHitListModel::fetchMore(const QModelIndex& parent) {
  if (!canFetchMore(parent) || m_hits.empty()) return;
  m_bFetching = true;
  m_fetch(m_hits.back().nId);
}

void CHitDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const {
  QStyleOptionViewItem item = option;
  initStyleOption(&item, index);
  item.text.clear();  // the frame and the selection as the style draws them
  item.widget->style()->drawControl(QStyle::CE_ItemViewItem, &item, painter, item.widget);
  const auto* model = static_cast<const CHitListModel*>(index.model());
  painter->save();
  painter->setClipRect(option.rect);
  int x = option.rect.left() + 3;
  for (const CTextRun& run : model->Runs(index.row())) {
    QFont font = option.font;
    font.setBold(run.bBold);
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(run.strText);
    if (run.bMarked)
      painter->fillRect(QRect(x, option.rect.top() + 1, width, option.rect.height() - 2),
                        QColor(0xff, 0xf2, 0xa8));
    painter->setFont(font);
    painter->setPen(run.color);
    painter->drawText(QRect(x, option.rect.top(), width, option.rect.height()),
                      Qt::AlignVCenter | Qt::TextSingleLine, run.strText);
    x += width;
    if (x > option.rect.right()) break;
  }
  painter->restore();
}

QSize CHitDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
  return {option.rect.width(), option.fontMetrics.height() + 6};
}

}  // namespace murelo
