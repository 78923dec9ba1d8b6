#include "viewer/qt/RiffoscopeUnit1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QAbstractScrollArea>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QTimer>
#include <QWheelEvent>

#include "host/qt/MediaValidationFrm.h"
#include "platform/Guard.h"
#include "platform/Product.h"
#include "platform/Text.h"
#include "platform/qt/NativeNames.h"
#include "platform/qt/ThemeColours.h"
#include "platform/qt/WidgetHelpers.h"
#include "viewer/ChunkTreeRender.h"
#include "viewer/qt/HexEditForm.h"
#include "viewer/qt/QtUserDialogs.h"
#include "viewer/qt/SplashAbout.h"

namespace riffo {

namespace {

// Designed geometry of the window and its panes.
constexpr int DESIGN_LEFT = 275;
constexpr int DESIGN_TOP = 176;
constexpr int DESIGN_CLIENT_WIDTH = 860;
constexpr int DESIGN_CLIENT_HEIGHT = 437;
constexpr int DESIGN_TREE_HEIGHT = 299;
constexpr int TREE_MIN_HEIGHT = 10;
constexpr int TREE_INDENT = 19;
constexpr int TREE_FONT_PIXELS = 12;
constexpr int SPLITTER_HEIGHT = 7;
// The findings pane takes its first height out of the tree's.
constexpr int DESIGN_FINDINGS_HEIGHT = 72;

constexpr int NODE_ROLE = Qt::UserRole + 1;

const TDisplayNode* NodeOf(const QTreeWidgetItem* item) {
  if (!item) return nullptr;
  return reinterpret_cast<const TDisplayNode*>(item->data(0, NODE_ROLE).value<quintptr>());
}

// A window stored on a screen that is no longer there (or stored far off
// any screen) comes back onto the screen nearest to where it was: wholly on
// it when it fits, else with its top left corner on it.
QRect KeptOnScreen(const QRect& bounds) {
  const QList<QScreen*> screens = QGuiApplication::screens();
  if (screens.isEmpty()) return bounds;
  QScreen* nearest = nullptr;
  int64_t best = INT64_MAX;
  for (QScreen* screen : screens) {
    const QRect area = screen->availableGeometry();
    if (area.intersects(bounds) && area.contains(bounds.topLeft())) return bounds;
    const QPoint d = area.center() - bounds.center();
    const int64_t distance =
        static_cast<int64_t>(d.x()) * d.x() + static_cast<int64_t>(d.y()) * d.y();
    if (distance < best) {
      best = distance;
      nearest = screen;
    }
  }
  const QRect area = nearest->availableGeometry();
  QRect kept = bounds;
  kept.setWidth(std::min(bounds.width(), area.width()));
  kept.setHeight(std::min(bounds.height(), area.height()));
  kept.moveLeft(std::clamp(bounds.left(), area.left(), area.right() - kept.width() + 1));
  kept.moveTop(std::clamp(bounds.top(), area.top(), area.bottom() - kept.height() + 1));
  return kept;
}

}  // namespace

// ---- tree pane

TTreePane::TTreePane(QWidget* parent) : QTreeWidget(parent) {
  setHeaderHidden(true);
  setColumnCount(1);
  setIndentation(TREE_INDENT);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setUniformRowHeights(true);
  setMinimumHeight(TREE_MIN_HEIGHT);
  setDragDropMode(QAbstractItemView::DropOnly);
  header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  header()->setStretchLastSection(false);
  QFont f(QStringLiteral("Courier New"));
  f.setStyleHint(QFont::Monospace);
  f.setPixelSize(TREE_FONT_PIXELS);
  setFont(f);
  setItemDelegate(new TTreeItemDelegate(this));
  setContextMenuPolicy(Qt::CustomContextMenu);
}

void TTreePane::keyReleaseEvent(QKeyEvent* event) {
  QTreeWidget::keyReleaseEvent(event);
  if (OnKeyUp) OnKeyUp();
}

void TTreePane::mousePressEvent(QMouseEvent* event) {
  QTreeWidget::mousePressEvent(event);
  if (OnMouseDown) OnMouseDown();
}

void TTreePane::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TTreePane::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TTreePane::dropEvent(QDropEvent* event) {
  std::vector<std::u16string> names;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) names.push_back(NameFromLocalUrl(url));
  event->acceptProposedAction();
  if (OnFilesDropped && !names.empty()) OnFilesDropped(names);
}

void TTreeItemDelegate::initStyleOption(QStyleOptionViewItem* option,
                                        const QModelIndex& index) const {
  QStyledItemDelegate::initStyleOption(option, index);
  const TTreeItemStyle style =
      TreeItemStyle(index.row(), (option->state & QStyle::State_Selected) != 0,
                    index.data(Qt::DisplayRole).toString().toStdU16String());
  if (style.Banded) option->backgroundBrush = ThemedBackground(TREE_BAND_COLOR, option->palette);
  if (style.Bold) option->font.setBold(true);
}

// ---- mouse wheel

bool TWheelToKeyFilter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::Wheel) return QObject::eventFilter(watched, event);
  const auto* wheel = static_cast<QWheelEvent*>(event);
  const QPoint delta = wheel->angleDelta();
  // A sideways wheel is a message of its own and is left alone.
  if (delta.y() == 0 && delta.x() != 0) return false;
  int key = Qt::Key_Down;
  switch (WheelToKey(delta.y(), (wheel->modifiers() & Qt::ControlModifier) != 0)) {
    case TWheelKey::Up: key = Qt::Key_Up; break;
    case TWheelKey::Down: key = Qt::Key_Down; break;
    case TWheelKey::PageUp: key = Qt::Key_PageUp; break;
    case TWheelKey::PageDown: key = Qt::Key_PageDown; break;
  }
  QObject* target = QApplication::focusWidget();
  if (!target) {
    // No focus anywhere: the wheel's own widget, or the pane whose viewport it is.
    target = watched;
    if (auto* widget = qobject_cast<QWidget*>(watched))
      if (auto* area = qobject_cast<QAbstractScrollArea*>(widget->parentWidget()))
        if (area->viewport() == widget) target = area;
  }
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &press);
  return true;
}

// ---- main window

TRiffoscopeForm::TRiffoscopeForm(IUserDialogs* dialogs, std::u16string firstArgument,
                                 QWidget* parent)
    : QMainWindow(parent), FFirstArgument(std::move(firstArgument)) {
  if (!dialogs) {
    FOwnDialogs = std::make_unique<TQtUserDialogs>(this);
    dialogs = FOwnDialogs.get();
  }
  setObjectName(QStringLiteral("RiffoscopeForm"));

  FSplitter1 = new QSplitter(Qt::Vertical, this);
  FSplitter1->setHandleWidth(SPLITTER_HEIGHT);
  FSplitter1->setChildrenCollapsible(false);
  FSplitter1->setOpaqueResize(true);

  FTreeView1 = new TTreePane(FSplitter1);
  FFindingsPane = new TFindingsPane(FSplitter1);
  auto* hexArea = new QWidget(FSplitter1);
  auto* hexLayout = new QHBoxLayout(hexArea);
  hexLayout->setContentsMargins(0, 0, 0, 0);
  hexLayout->setSpacing(0);
  FMemo1 = new TQtHexPane(hexArea);
  FScrollBar1 = new TQtHexScrollBar(hexArea);
  hexLayout->addWidget(FMemo1);
  hexLayout->addWidget(FScrollBar1);
  FSplitter1->addWidget(FTreeView1);
  FSplitter1->addWidget(FFindingsPane);
  FSplitter1->addWidget(hexArea);
  FSplitter1->setStretchFactor(0, 0);
  FSplitter1->setStretchFactor(1, 0);
  FSplitter1->setStretchFactor(2, 1);
  setCentralWidget(FSplitter1);

  FSession = std::make_unique<TRiffoscopeSession>(*this, *dialogs);
  FSession->SetHexEditor([this, dialogs](TStream* stream, const std::u16string& caption,
                                         int64_t offset, int64_t size) {
    return EditFile(stream, caption, offset, size, *dialogs, this);
  });
  FSession->SetShowMediaValidation(&ShowMediaValidation);

  FPopupMenu1 = new QMenu(this);
  BuildMenus();

  FTreeView1->OnKeyUp = [this] { FSession->TreeView1KeyUp(); };
  FTreeView1->OnMouseDown = [this] { FSession->TreeView1MouseDown(); };
  FTreeView1->OnFilesDropped = [this](const std::vector<std::u16string>& names) {
    FSession->DropFiles(names);
  };
  connect(FTreeView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    FPopupMenu1->popup(FTreeView1->viewport()->mapToGlobal(at));
  });
  FMemo1->OnKeyDown = [this](THexKey key, bool shift) {
    if (THexView* view = FSession->HexView()) view->FRichEditKeyDown(key, shift);
  };
  // A taller or shorter pane shows more or fewer lines of the same page.
  FMemo1->OnResized = [this] {
    if (THexView* view = FSession->HexView()) view->RefreshFileData(-1);
  };
  FScrollBar1->OnScroll = [this](THexScrollCode code, int32_t position) {
    if (THexView* view = FSession->HexView()) view->CustomScrollEvent(code, position);
  };
  connect(FSplitter1, &QSplitter::splitterMoved, this,
          [this](int, int) { FSession->Splitter1Moved(); });

  qApp->installEventFilter(&FWheelFilter);

  FSession->UpdateCaption();
  move(DESIGN_LEFT, DESIGN_TOP);
  resize(DESIGN_CLIENT_WIDTH, DESIGN_CLIENT_HEIGHT + menuBar()->sizeHint().height());
  FSplitter1->setSizes({DESIGN_TREE_HEIGHT - DESIGN_FINDINGS_HEIGHT - SPLITTER_HEIGHT,
                        DESIGN_FINDINGS_HEIGHT,
                        DESIGN_CLIENT_HEIGHT - DESIGN_TREE_HEIGHT - SPLITTER_HEIGHT});
  FFindingsPane->OnFindingChosen = [this](size_t index) { FSession->SelectFinding(index); };
}

TRiffoscopeForm::~TRiffoscopeForm() {
  qApp->removeEventFilter(&FWheelFilter);
  // The tree pane shows the session's nodes; empty it before they go.
  FTreeView1->clear();
  FSession.reset();
}

QAction* TRiffoscopeForm::AddItem(QMenu* menu, const QString& caption,
                                  std::function<void()> handler, const QKeySequence& shortcut) {
  QAction* action = menu->addAction(caption);
  action->setShortcut(shortcut);
  connect(action, &QAction::triggered, this, [handler = std::move(handler)] { handler(); });
  FActions.push_back(action);
  return action;
}

std::function<void()> TRiffoscopeForm::Command(void (TRiffoscopeSession::*command)()) {
  return [this, command] { ((*FSession).*command)(); };
}

void TRiffoscopeForm::BuildMenus() {
  // Captions carry their mnemonics (Alt+F opens File); the common commands
  // have the usual shortcuts.
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  AddItem(file, QStringLiteral("&Open"), Command(&TRiffoscopeSession::Open1Click),
          QKeySequence::Open);
  AddItem(file, QStringLiteral("&Close"), Command(&TRiffoscopeSession::Close1Click),
          QKeySequence(Qt::CTRL | Qt::Key_W));
  file->addSeparator();
  AddItem(file, QStringLiteral("&Export Structure"),
          Command(&TRiffoscopeSession::ExportStructure1Click));
  file->addSeparator();
  FRecentFiles1 = file->addMenu(QStringLiteral("&Recent Files"));
  file->addSeparator();
  AddItem(file, QStringLiteral("E&xit"), Command(&TRiffoscopeSession::Exit1Click),
          QKeySequence(Qt::CTRL | Qt::Key_Q));

  QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
  AddItem(view, QStringLiteral("Full &Expand"), Command(&TRiffoscopeSession::FullExpand1Click));
  AddItem(view, QStringLiteral("Full &Collapse"), Command(&TRiffoscopeSession::FullCollapse1Click));
  FFindings1 = view->addAction(QStringLiteral("&Findings"));
  FFindings1->setCheckable(true);
  FFindings1->setChecked(true);
  FActions.push_back(FFindings1);
  connect(FFindings1, &QAction::toggled, this, [this](bool on) { FFindingsPane->setVisible(on); });

  QMenu* tools = menuBar()->addMenu(QStringLiteral("&Tools"));
  AddItem(tools, QStringLiteral("&Hex Edit Chunk"),
          Command(&TRiffoscopeSession::HexEditChunk1Click));
  tools->addSeparator();
  AddItem(tools, QStringLiteral("&Validation"), Command(&TRiffoscopeSession::Validation1Click));

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  FCheckForUpdates1 = AddItem(help, QStringLiteral("&Check For Updates"),
                              Command(&TRiffoscopeSession::CheckForUpdates1Click));
  FCheckForUpdates1->setCheckable(true);
  AddItem(help, QStringLiteral("&About"),
          [this] { FSession->About1Click(Utf8ToUtf16(ProgramVersion())); });

  AddItem(FPopupMenu1, QStringLiteral("&Hex Edit Chunk"),
          Command(&TRiffoscopeSession::HexEditChunk1Click));
  FPopupMenu1->addSeparator();
  QAction* copy = AddItem(FPopupMenu1, QStringLiteral("&Copy"),
                          Command(&TRiffoscopeSession::Copy1Click), QKeySequence::Copy);
  // Ctrl+C copies the tree while the tree pane has the focus.
  copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  FTreeView1->addAction(copy);
  connect(FRecentFiles1, &QMenu::aboutToShow, this, [this] { RebuildRecentFiles(); });
  RebuildRecentFiles();
}

void TRiffoscopeForm::RebuildRecentFiles() {
  FRecentFiles1->clear();
  const std::vector<std::u16string>& names = FSession->RecentFiles();
  FRecentFiles1->setEnabled(!names.empty());
  for (size_t i = 0; i < names.size(); ++i) {
    // The number is the item's mnemonic: Alt+F, R, 1 opens the latest file.
    const QString number = i < 9 ? QStringLiteral("&%1").arg(i + 1) : QStringLiteral("1&0");
    QString shown = Q(names[i]);
    shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    QAction* action = FRecentFiles1->addAction(number + QLatin1Char(' ') + shown);
    const std::u16string name = names[i];
    connect(action, &QAction::triggered, this, [this, name] { FSession->OpenRecentFile(name); });
  }
}

QString TRiffoscopeForm::PlainCaption(QString caption) {
  // A single '&' marks the mnemonic; "&&" is a shown ampersand.
  caption.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
  caption.remove(QLatin1Char('&'));
  caption.replace(QStringLiteral("\x01"), QStringLiteral("&"));
  return caption;
}

QAction* TRiffoscopeForm::Action(const QString& caption) const {
  for (QAction* action : FActions)
    if (PlainCaption(action->text()) == caption) return action;
  return nullptr;
}

TSplashForm* TRiffoscopeForm::Splash() const { return FSplash.data(); }

QTreeWidgetItem* TRiffoscopeForm::ItemOf(const TDisplayNode* node) const {
  for (QTreeWidgetItem* item : FItemsInDisplayOrder)
    if (NodeOf(item) == node) return item;
  return nullptr;
}

// ---- IRiffoscopeView

void TRiffoscopeForm::ShowTree(const TDisplayNode* root) {
  FTreeView1->setUpdatesEnabled(false);
  FTreeView1->clear();
  FItemsInDisplayOrder.clear();
  if (root) {
    // Pre-order without recursion; items are made in display order.
    std::vector<std::pair<const TDisplayNode*, QTreeWidgetItem*>> stack{{root, nullptr}};
    while (!stack.empty()) {
      auto [node, parentItem] = stack.back();
      stack.pop_back();
      QTreeWidgetItem* item =
          parentItem ? new QTreeWidgetItem(parentItem) : new QTreeWidgetItem(FTreeView1);
      item->setText(0, Q(node->Text));
      item->setData(0, NODE_ROLE, QVariant::fromValue(reinterpret_cast<quintptr>(node)));
      FItemsInDisplayOrder.push_back(item);
      for (auto child = node->Children.rbegin(); child != node->Children.rend(); ++child)
        stack.emplace_back(child->get(), item);
    }
  }
  FTreeView1->setUpdatesEnabled(true);
}

void TRiffoscopeForm::ExpandNode(int32_t displayIndex) {
  if (displayIndex >= 0 && static_cast<size_t>(displayIndex) < FItemsInDisplayOrder.size())
    FItemsInDisplayOrder[static_cast<size_t>(displayIndex)]->setExpanded(true);
}

void TRiffoscopeForm::ExpandAll() { FTreeView1->expandAll(); }
void TRiffoscopeForm::CollapseAll() { FTreeView1->collapseAll(); }

const TDisplayNode* TRiffoscopeForm::SelectedNode() const {
  const QList<QTreeWidgetItem*> selected = FTreeView1->selectedItems();
  return selected.isEmpty() ? nullptr : NodeOf(selected.front());
}

IHexPane* TRiffoscopeForm::HexPane() { return FMemo1; }
IHexScrollBar* TRiffoscopeForm::HexScrollBar() { return FScrollBar1; }

void TRiffoscopeForm::SetCaption(const std::u16string& caption) { setWindowTitle(Q(caption)); }

void TRiffoscopeForm::ApplyPlacement(const TWindowPlacement& p) {
  // Position and size are those of the client area, the same as
  // CurrentPlacement stores: saving the frame's position and restoring it as
  // the client's would move the window by the frame's size at every start.
  QRect bounds = geometry();
  if (p.Top) bounds.moveTop(*p.Top);
  if (p.Left) bounds.moveLeft(*p.Left);
  if (p.Width) bounds.setWidth(*p.Width);
  if (p.Height) bounds.setHeight(*p.Height);
  setGeometry(KeptOnScreen(bounds));
  FFindingsPane->setVisible(p.FindingsPaneVisible);
  FFindings1->setChecked(p.FindingsPaneVisible);
  if (p.TreeViewHeight || p.FindingsPaneHeight) {
    const QList<int> now = FSplitter1->sizes();
    int total = 0;
    for (int size : now) total += size;
    const int tree = p.TreeViewHeight.value_or(now[0]);
    const int findings = p.FindingsPaneHeight.value_or(now[1]);
    const int shownFindings = p.FindingsPaneVisible ? findings + SPLITTER_HEIGHT : 0;
    FSplitter1->setSizes({tree, findings, std::max(1, total - tree - shownFindings)});
  }
  switch (p.State) {
    case TWindowState::Normal:
      setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
      break;
    case TWindowState::Minimized: setWindowState(windowState() | Qt::WindowMinimized); break;
    case TWindowState::Maximized: setWindowState(windowState() | Qt::WindowMaximized); break;
  }
}

TSettings TRiffoscopeForm::CurrentPlacement() const {
  TSettings s;
  // A maximized or minimized window keeps the bounds it returns to.
  const QRect bounds = (isMaximized() || isMinimized()) ? normalGeometry() : geometry();
  s.FormTop = bounds.y();
  s.FormLeft = bounds.x();
  s.FormWidth = bounds.width();
  s.FormHeight = bounds.height();
  s.TreeViewHeight = FTreeView1->height();
  s.WindowState = isMinimized() ? 1 : (isMaximized() ? 2 : 0);
  s.FindingsPaneHeight = FFindingsPane->height();
  s.FindingsPaneVisible = !FFindingsPane->isHidden();
  return s;
}

void TRiffoscopeForm::ShowSplash() {
  if (FSplash) FSplash->close();
  FSplash = new TSplashForm(this);
  // Shown once the main window is on screen, so that it is centred over
  // where the window really ended up and comes up above it.
  QTimer::singleShot(0, FSplash.data(), [this] {
    if (!FSplash) return;
    FSplash->CentreOver(this);
    FSplash->show();
    FSplash->raise();
  });
}

void TRiffoscopeForm::AcceptDrops(bool accept) {
  FTreeView1->setAcceptDrops(accept);
  FTreeView1->viewport()->setAcceptDrops(accept);
}

void TRiffoscopeForm::SetCheckForUpdatesMark(bool checked) {
  FCheckForUpdates1->setChecked(checked);
}

void TRiffoscopeForm::CloseWindow() { close(); }

void TRiffoscopeForm::ShowFindings(const std::vector<TLoadFinding>& findings, bool hasFile) {
  FFindingsPane->ShowFindings(findings, hasFile);
}

void TRiffoscopeForm::SelectNode(const TDisplayNode* node) {
  QTreeWidgetItem* item = node ? ItemOf(node) : nullptr;
  if (!item) {
    FTreeView1->clearSelection();
    return;
  }
  for (QTreeWidgetItem* parent = item->parent(); parent; parent = parent->parent())
    parent->setExpanded(true);
  FTreeView1->setCurrentItem(item);
  FTreeView1->scrollToItem(item);
}

void TRiffoscopeForm::RecentFilesChanged() {
  if (FRecentFiles1) RebuildRecentFiles();
}

void TRiffoscopeForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (FShown) return;
  FShown = true;
  FSession->FormShow(FFirstArgument);
}

void TRiffoscopeForm::closeEvent(QCloseEvent* event) {
  if (!FClosed) {
    FClosed = true;
    FSession->FormClose();
  }
  QMainWindow::closeEvent(event);
}

}  // namespace riffo
