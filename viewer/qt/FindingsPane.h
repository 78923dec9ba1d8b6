// The findings pane below the tree: what the loader found wrong with the open
// file, one row per finding (severity icon, number, message, position), or a
// single line saying that nothing was found. Choosing a row hands its index
// to the session, which selects the chunk and highlights the bytes.
#pragma once

#include <QTreeWidget>
#include <functional>
#include <vector>

#include "viewer/RiffoscopeSession.h"

namespace riffo {

class TFindingsPane final : public QTreeWidget {
  Q_OBJECT
public:
  explicit TFindingsPane(QWidget* parent = nullptr);

  // Replaces the rows; no file: empty, a clean file: the one line.
  void ShowFindings(const std::vector<TLoadFinding>& findings, bool hasFile);
  // The finding a row stands for; -1 for the "nothing found" line.
  static int FindingIndex(const QTreeWidgetItem* item);

  std::function<void(size_t index)> OnFindingChosen;

  enum Column { ColumnNumber, ColumnMessage, ColumnPosition, ColumnCount };

private:
  void Choose(QTreeWidgetItem* item);
};

}  // namespace riffo
