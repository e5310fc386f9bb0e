// CHistoryWindow: search over the history, a window of its own beside the conversation,
// which goes on while it is open. The query runs as the user types, shortly after the
// typing pauses, on the searcher's thread; the hits come newest first, and the list asks
// for more as it scrolls. Enter or a double-click shows a hit in its context: the lines
// around it in that stay, drawn as the page draws its entries, with more loaded as the
// user scrolls. Up and Down move through the hits from the query, Escape closes the
// context and then the window, Ctrl+F goes back to the query, Ctrl+C copies plain text.
#pragma once

#include <QTimer>
#include <QWidget>
#include <vector>

#include "platform/desktop/murelo_conf.h"
#include "platform/history/history_searcher.h"
#include "ui/hit_list.h"

class QLabel;
class QLineEdit;
class QListView;
class QStackedWidget;

namespace murelo {

class CContextView;

class CHistoryWindow : public QWidget {
  Q_OBJECT

 public:
  /// searcher and conf must outlive the window.
  CHistoryWindow(CHistorySearcher& searcher, CMureloConf& conf, QWidget* parent);
  ~CHistoryWindow() override;

  /// Shows the window, or brings it forward, with the query selected.
  void Present();
  /// The one line at the top that says what the history could not do; empty for none.
  void SetNotice(const QString& text);
  /// Runs the query again, as after the history was erased.
  void Refresh();

  /// How long typing must pause before the query runs.
  static constexpr int kTypingPauseMs = 40;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void Search();
  /// The notice the window was given, or that the history cannot be read.
  void ShowNotice(bool unreadable);
  void OpenContext();
  void CloseContext();
  /// Asks for the lines beyond the oldest shown, or the newest.
  void LoadNeighbours(bool older);
  void ShowContext(int top);
  void CopyHits() const;

  CHistorySearcher& m_searcher;
  CMureloConf& m_conf;
  QLineEdit* m_query;
  QLabel* m_notice;
  QLabel* m_count;
  QStackedWidget* m_pages;
  QListView* m_hits;
  CContextView* m_context;
  CHitListModel m_model;
  QTimer m_typing;
  QString m_strSearched;  // the query of the hits on show
  QString m_strNotice;
  // The context on show: its lines newest first, the hit's id, and what is loading.
  std::vector<CHistoryHit> m_contextLines;
  qint64 m_nContextHit = 0;
  int m_nLoading = 0;
  bool m_bNoOlder = false;
  bool m_bNoNewer = false;
};

}  // namespace murelo
