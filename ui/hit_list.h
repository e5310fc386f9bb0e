// The search window's list of hits: a model that holds the hits found so far and asks
// for the next page as the list scrolls to its end, and a delegate that draws each as one
// line of rich text (time, room, the name in its colour, the plain text with every word
// searched for marked). Peers' text reaches the list only as escaped plain text.
#pragma once

#include <QAbstractListModel>
#include <QDateTime>
#include <QStringList>
#include <QStyledItemDelegate>
#include <functional>
#include <vector>

#include "platform/history/history_store.h"

namespace murelo {

/// When a hit arrived, in the user's local time: HH:MM today, M月D日 HH:MM this year,
/// YYYY年M月D日 before.
QString HitTime(qint64 timeMs, const QDateTime& now);

/// plain, HTML-escaped, with each place that holds one of the folded words marked.
QString MarkedText(const QString& plain, const QStringList& foldedWords);

/// The hit as one line of plain text, as it is copied.
QString HitLine(const CHistoryHit& hit, const QDateTime& now);

class CHitListModel : public QAbstractListModel {
 public:
  /// fetch asks for the hits older than the given line, to be handed to Append.
  explicit CHitListModel(std::function<void(qint64 olderThan)> fetch);

  /// The first page of a new search for the folded words, and how many there are.
  void Reset(const QStringList& foldedWords, std::vector<CHistoryHit> hits, qint64 total);
  /// The next page; an empty one ends the list.
  void Append(std::vector<CHistoryHit> hits);
  const CHistoryHit& Hit(int row) const { return m_hits[static_cast<size_t>(row)]; }

  int rowCount(const QModelIndex& parent = {}) const override;
  /// Qt::DisplayRole: the line in rich text; Qt::ToolTipRole: in plain text.
  QVariant data(const QModelIndex& index, int role) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;

 private:
  std::function<void(qint64)> m_fetch;
  QStringList m_words;
  std::vector<CHistoryHit> m_hits;
  qint64 m_nTotal = 0;
  bool m_bFetching = false;
};

/// Draws a model's Qt::DisplayRole as one line of rich text, in its own colours: the
/// view's selection colour must be light enough to read them on.
class CRichLineDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace murelo
