// The main window: the tree pane, the splitter, the hex pane with its scroll
// bar and the menus. Everything it does is the session's; the window mirrors
// the display tree, forwards its events and implements IRiffoscopeView.
#pragma once

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QPointer>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <functional>
#include <memory>
#include <vector>

#include "viewer/RiffoscopeSession.h"
#include "viewer/qt/FindingsPane.h"
#include "viewer/qt/HexViewPanes.h"

namespace riffo {

class TQtUserDialogs;
class TSplashForm;

// The tree pane: reports key releases and mouse presses after it has moved
// its selection, and dropped local files.
class TTreePane final : public QTreeWidget {
  Q_OBJECT
public:
  explicit TTreePane(QWidget* parent = nullptr);

  std::function<void()> OnKeyUp;
  std::function<void()> OnMouseDown;
  std::function<void(const std::vector<std::u16string>&)> OnFilesDropped;

protected:
  void keyReleaseEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
};

// Paints each row of the tree pane by the tree's drawing rule: banded
// background on even siblings that are not selected, bold for "( )" and "()".
class TTreeItemDelegate final : public QStyledItemDelegate {
  Q_OBJECT
public:
  using QStyledItemDelegate::QStyledItemDelegate;
  // Public so that the rule can be checked without painting.
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

// Every mouse-wheel event of the program becomes a key-down for the widget
// with the keyboard focus: Up or Down, Page Up or Page Down while Ctrl is held.
class TWheelToKeyFilter final : public QObject {
  Q_OBJECT
public:
  using QObject::QObject;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

class TRiffoscopeForm final : public QMainWindow, public IRiffoscopeView {
  Q_OBJECT
public:
  // dialogs: where boxes and dialogs go (nullptr: the real ones).
  // firstArgument: the file named on the command line, opened when shown.
  explicit TRiffoscopeForm(IUserDialogs* dialogs = nullptr, std::u16string firstArgument = {},
                           QWidget* parent = nullptr);
  ~TRiffoscopeForm() override;

  TRiffoscopeSession& Session() { return *FSession; }
  TTreePane* TreeView1() const { return FTreeView1; }
  QSplitter* Splitter1() const { return FSplitter1; }
  TQtHexPane* Memo1() const { return FMemo1; }
  TQtHexScrollBar* ScrollBar1() const { return FScrollBar1; }
  QMenu* PopupMenu1() const { return FPopupMenu1; }
  TFindingsPane* FindingsPane() const { return FFindingsPane; }
  QMenu* RecentFiles1() const { return FRecentFiles1; }
  // A menu item by its caption as shown (without the mnemonic marks).
  QAction* Action(const QString& caption) const;
  // The caption without its mnemonic marks: "E&xit" is "Exit".
  static QString PlainCaption(QString caption);
  TSplashForm* Splash() const;
  QTreeWidgetItem* ItemOf(const TDisplayNode* node) const;

  // IRiffoscopeView
  void ShowTree(const TDisplayNode* root) override;
  void ExpandNode(int32_t displayIndex) override;
  void ExpandAll() override;
  void CollapseAll() override;
  const TDisplayNode* SelectedNode() const override;
  IHexPane* HexPane() override;
  IHexScrollBar* HexScrollBar() override;
  void SetCaption(const std::u16string& caption) override;
  void ApplyPlacement(const TWindowPlacement& placement) override;
  TSettings CurrentPlacement() const override;
  void ShowSplash() override;
  void AcceptDrops(bool accept) override;
  void SetCheckForUpdatesMark(bool checked) override;
  void CloseWindow() override;
  void ShowFindings(const std::vector<TLoadFinding>& findings, bool hasFile) override;
  void SelectNode(const TDisplayNode* node) override;
  void RecentFilesChanged() override;

protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

private:
  void BuildMenus();
  // A menu item that runs handler when chosen; the commands are the session's.
  QAction* AddItem(QMenu* menu, const QString& caption, std::function<void()> handler,
                   const QKeySequence& shortcut = {});
  // A handler that runs the session's command.
  std::function<void()> Command(void (TRiffoscopeSession::*command)());
  void RebuildRecentFiles();

  std::unique_ptr<TQtUserDialogs> FOwnDialogs;
  std::unique_ptr<TRiffoscopeSession> FSession;
  std::u16string FFirstArgument;
  bool FShown = false;
  bool FClosed = false;
  TTreePane* FTreeView1 = nullptr;
  QSplitter* FSplitter1 = nullptr;
  TQtHexPane* FMemo1 = nullptr;
  TQtHexScrollBar* FScrollBar1 = nullptr;
  QMenu* FPopupMenu1 = nullptr;
  TFindingsPane* FFindingsPane = nullptr;
  QMenu* FRecentFiles1 = nullptr;
  QAction* FFindings1 = nullptr;
  QAction* FCheckForUpdates1 = nullptr;
  std::vector<QAction*> FActions;
  std::vector<QTreeWidgetItem*> FItemsInDisplayOrder;
  QPointer<TSplashForm> FSplash;
  TWheelToKeyFilter FWheelFilter;
};

}  // namespace riffo
