// The search window's list of hits: a model that holds the hits found so far and asks
// for the next page as the list scrolls to its end, and a delegate that draws each as one
// line of runs of text (time, room, the name in its colour, the plain text with every
// word searched for marked). Peers' text reaches the list only as plain text, drawn as
// such, and is never read as markup. The runs are drawn straight: through a rich-text
// document each, a page of hits took 12 ms of the conversation's thread to draw.
#pragma once

#include <QAbstractListModel>
#include <QColor>
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

/// A piece of a line drawn in one way.
struct CTextRun {
  QString strText;
  QColor color;
  bool bBold = false;
  bool bMarked = false;  // holds a word searched for
};

/// plain as runs in color, with each place that holds one of the folded words marked.
void AppendMarkedRuns(std::vector<CTextRun>& runs, const QString& plain,
                      const QStringList& foldedWords, const QColor& color, bool bold);

/// The hit as one line of plain text, as it is copied.
QString HitLine(const CHistoryHit& hit, const QDateTime& now);

class CHitListModel : public QAbstractListModel {
 public:
  /// fetch asks for the hits older than the given line, to be handed to Append.
  explicit CHitListModel(std::function<void(qint64 olderThan)> fetch);

  /// The first page of a new search for the folded words; more: whether more may follow.
  void Reset(const QStringList& foldedWords, std::vector<CHistoryHit> hits, bool more);
  /// The next page, and whether more may follow it.
  void Append(std::vector<CHistoryHit> hits, bool more);
  const CHistoryHit& Hit(int row) const { return m_hits[static_cast<size_t>(row)]; }

  int rowCount(const QModelIndex& parent = {}) const override;
  /// Qt::DisplayRole and Qt::ToolTipRole: the line in plain text.
  QVariant data(const QModelIndex& index, int role) const override;
  /// The line as it is drawn.
  std::vector<CTextRun> Runs(int row) const;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;

 private:
  std::function<void(qint64)> m_fetch;
  QStringList m_words;
  std::vector<CHistoryHit> m_hits;
  bool m_bMore = false;
  bool m_bFetching = false;
};

/// Draws a CHitListModel's lines as their runs, in their own colours: the view's
/// selection colour must be light enough to read them on.
class CHitDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace murelo
