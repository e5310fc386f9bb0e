#include "ui/hit_list.h"

#include <QAbstractTextDocumentLayout>
#include <QColor>
#include <QPainter>
#include <QTextDocument>

#include "platform/cp932.h"
#include "platform/history/search_text.h"
#include "ui/ui_texts.h"

namespace murelo {

namespace {

constexpr int kPage = 100;  // hits asked for at a time

const QString kMarkStart = u"<span style=\"background-color:#fff2a8\">"_qs;

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

QString MarkedText(const QString& plain, const QStringList& foldedWords) {
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
  QString html;
  bool inMark = false;
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (marked[i] != inMark) html += std::exchange(inMark, marked[i]) ? u"</span>"_qs : kMarkStart;
    html += plain.mid(pieces[i].first, pieces[i].second).toHtmlEscaped();
  }
  return inMark ? html + u"</span>"_qs : html;
}

QString HitLine(const CHistoryHit& hit, const QDateTime& now) {
  return HitTime(hit.nTimeMs, now) + u' ' + hit.strRoom + u' ' + hit.strPlain;
}

CHitListModel::CHitListModel(std::function<void(qint64)> fetch) : m_fetch(std::move(fetch)) {}

void CHitListModel::Reset(const QStringList& foldedWords, std::vector<CHistoryHit> hits,
                          qint64 total) {
  beginResetModel();
  m_words = foldedWords;
  m_hits = std::move(hits);
  m_nTotal = total;
  m_bFetching = false;
  endResetModel();
}

void CHitListModel::Append(std::vector<CHistoryHit> hits) {
  m_bFetching = false;
  if (hits.empty()) {
    m_nTotal = std::ssize(m_hits);  // lines deleted meanwhile: the list ends here
    return;
  }
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
  const CHistoryHit& hit = Hit(index.row());
  const QDateTime now = QDateTime::currentDateTime();
  if (role == Qt::ToolTipRole) return HitLine(hit, now);
  if (role != Qt::DisplayRole) return {};
  QString line = u"<font color=gray>"_qs + HitTime(hit.nTimeMs, now) + u' ' +
                 hit.strRoom.toHtmlEscaped() + u"</font> "_qs;
  // The name, when the text begins with it as a chat line's does, in its colour: one
  // Qt reads, written back as Qt writes it, never the peer's own text.
  const QColor color = QColor::fromString(hit.strColor);
  QString plain = hit.strPlain;
  if (!hit.strName.isEmpty() && plain.startsWith(hit.strName)) {
    line += u"<font color="_qs + (color.isValid() ? color.name() : u"black"_qs) + u"><b>"_qs +
            MarkedText(hit.strName, m_words) + u"</b></font>"_qs;
    plain.remove(0, hit.strName.size());
  }
  return line + MarkedText(plain, m_words);
}

bool CHitListModel::canFetchMore(const QModelIndex& parent) const {
  return !parent.isValid() && !m_bFetching && std::ssize(m_hits) < m_nTotal;
}

void CHitListModel::fetchMore(const QModelIndex& parent) {
  if (!canFetchMore(parent) || m_hits.empty()) return;
  m_bFetching = true;
  m_fetch(m_hits.back().nId);
}

void CRichLineDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
  QStyleOptionViewItem item = option;
  initStyleOption(&item, index);
  item.text.clear();  // the frame and the selection as the style draws them
  item.widget->style()->drawControl(QStyle::CE_ItemViewItem, &item, painter, item.widget);
  QTextDocument line;
  line.setDefaultFont(option.font);
  line.setDocumentMargin(2);
  line.setHtml(index.data().toString());
  painter->save();
  painter->translate(option.rect.topLeft());
  painter->setClipRect(option.rect.translated(-option.rect.topLeft()));
  line.documentLayout()->draw(painter, {});
  painter->restore();
}

QSize CRichLineDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
  return {option.rect.width(), option.fontMetrics.height() + 6};
}

}  // namespace murelo
