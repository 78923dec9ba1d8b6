#include "viewer/qt/HexEditForm.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QVBoxLayout>

#include "platform/Guard.h"
#include "platform/qt/WidgetHelpers.h"
#include "viewer/RiffoscopeSession.h"

namespace riffo {

namespace {

// Grid geometry of the window, in pixels.
constexpr int HEX_EDIT_ADDRESS_WIDTH = 180;
constexpr int HEX_EDIT_BYTE_WIDTH = 24;
constexpr int HEX_EDIT_CHAR_WIDTH = 120;
constexpr int HEX_EDIT_ROW_HEIGHT = 24;
constexpr int HEX_EDIT_FONT_PIXELS = 11;
constexpr int HEX_EDIT_CLIENT_WIDTH = 769;
constexpr int HEX_EDIT_CLIENT_HEIGHT = 613;
constexpr int HEX_EDIT_BUTTON_WIDTH = 110;
constexpr int HEX_EDIT_BUTTON_HEIGHT = 25;

constexpr char EDITOR_FILLED[] = "riffoEditorFilled";

std::u16string FromQ(const QString& text) { return text.toStdU16String(); }

QFont GridFont() {
  QFont font(QStringLiteral("Courier New"));
  font.setStyleHint(QFont::Monospace);
  font.setPixelSize(HEX_EDIT_FONT_PIXELS);
  return font;
}

}  // namespace

// ---------------------------------------------------------------- model

THexGridModel::THexGridModel(THexEditor& editor, QObject* parent)
    : QAbstractTableModel(parent), FEditor(editor) {}

int THexGridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : FEditor.RowCount() - 1;
}

int THexGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : HEX_EDIT_COLUMNS - 1;
}

QVariant THexGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) return {};
  return Q(FEditor.CellText(EditorColumn(index), EditorRow(index)));
}

QVariant THexGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role == Qt::FontRole) return GridFont();
  if (role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
  if (orientation == Qt::Horizontal) return Q(FEditor.CellText(section + 1, 0));
  return Q(FEditor.CellText(HEX_EDIT_ADDRESS_COLUMN, section + 1));
}

Qt::ItemFlags THexGridModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  if (FEditor.CanSelectCell(EditorColumn(index), EditorRow(index)))
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
  // Shown, but the cursor does not go there.
  return Qt::ItemIsEnabled;
}

void THexGridModel::EditTextChanged(const QModelIndex& index, const std::u16string& editText) {
  FEditor.StringGrid1SetEditText(EditorColumn(index), EditorRow(index), editText);
  RowChanged(EditorRow(index));
}

void THexGridModel::RowChanged(int32_t editorRow) {
  // A range, not the single cell: an open cell editor keeps what was typed.
  emit dataChanged(index(editorRow - 1, 0), index(editorRow - 1, columnCount() - 1));
}

void THexGridModel::Reset() {
  beginResetModel();
  endResetModel();
}

// ---------------------------------------------------------------- delegate

THexCellDelegate::THexCellDelegate(THexGridModel& model, QObject* parent)
    : QStyledItemDelegate(parent), FModel(model) {}

std::u16string THexCellDelegate::EditText(const QString& displayText) {
  std::u16string text = FromQ(displayText);
  while (!text.empty() && text.back() == u' ') text.pop_back();
  return text;
}

QWidget* THexCellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                        const QModelIndex& index) const {
  auto* edit = new QLineEdit(parent);  // owned by the view, which deletes it when editing ends
  edit->setFont(GridFont());
  edit->setFrame(false);
  // Two letters or digits, upper-cased as typed; untyped positions are blanks.
  // Both positions are optional: a mask that requires them refuses Enter
  // after one digit, and the next digits would go on into the same cell.
  // The cell rules make "A" alone "A0".
  edit->setInputMask(QStringLiteral(">nn; "));
  const QPersistentModelIndex cell(index);
  connect(edit, &QLineEdit::textEdited, this, [this, edit, cell](const QString&) {
    if (cell.isValid()) FModel.EditTextChanged(cell, EditText(edit->displayText()));
  });
  return edit;
}

void THexCellDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
  auto* edit = qobject_cast<QLineEdit*>(editor);
  // Only when the editor opens: later the model changes because of what is
  // typed into it, and the editor keeps showing what was typed.
  if (!edit || edit->property(EDITOR_FILLED).toBool()) return;
  edit->setProperty(EDITOR_FILLED, true);
  edit->setText(index.data(Qt::EditRole).toString());
  edit->selectAll();
}

void THexCellDelegate::setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const {
  // Every keystroke already went to the editor logic.
}

void THexCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
  if (!FModel.Editor().IsCellChanged(THexGridModel::EditorColumn(index),
                                     THexGridModel::EditorRow(index))) {
    QStyledItemDelegate::paint(painter, option, index);
    return;
  }
  painter->save();
  painter->fillRect(option.rect, QColor(255, 0, 0));
  painter->setPen(Qt::white);
  painter->setFont(GridFont());
  const QRect textRect = option.rect.adjusted(2, 2, 0, 0);
  painter->drawText(textRect, Qt::AlignLeft | Qt::AlignTop, index.data().toString());
  painter->restore();
}

// ---------------------------------------------------------------- grid

THexGridView::THexGridView(THexGridModel& model, QWidget* parent)
    : QTableView(parent), FModel(model) {
  setModel(&model);
  setItemDelegate(new THexCellDelegate(model, this));
  setFont(GridFont());
  setShowGrid(true);
  setSelectionMode(QAbstractItemView::ContiguousSelection);
  setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                  QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
  setWordWrap(false);
  // Tab leaves the grid for the buttons, so that Save Changes and Cancel can
  // be reached without the mouse; Enter moves through the bytes.
  setTabKeyNavigation(false);
  QHeaderView* rows = verticalHeader();
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setDefaultSectionSize(HEX_EDIT_ROW_HEIGHT);
  rows->setMinimumSectionSize(HEX_EDIT_ROW_HEIGHT);
  rows->setFixedWidth(HEX_EDIT_ADDRESS_WIDTH);
  rows->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  QHeaderView* columns = horizontalHeader();
  columns->setSectionResizeMode(QHeaderView::Fixed);
  columns->setMinimumSectionSize(HEX_EDIT_BYTE_WIDTH);
  columns->setDefaultSectionSize(HEX_EDIT_BYTE_WIDTH);
  columns->setFixedHeight(HEX_EDIT_ROW_HEIGHT);
  columns->resizeSection(HEX_EDIT_CHAR_COLUMN - 1, HEX_EDIT_CHAR_WIDTH);
}

void THexGridView::SyncCursor() {
  THexEditor& editor = FModel.Editor();
  if (!editor.HasCursor()) return;
  const QModelIndex target = FModel.IndexOf(editor.CursorColumn(), editor.CursorRow());
  if (currentIndex() == target) return;
  FSyncing = true;
  setCurrentIndex(target);
  FSyncing = false;
}

void THexGridView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  if (FSyncing || !current.isValid()) return;
  THexEditor& editor = FModel.Editor();
  const int32_t leftRow = editor.CursorRow();
  if (editor.StringGrid1SelectCell(THexGridModel::EditorColumn(current),
                                   THexGridModel::EditorRow(current))) {
    if (leftRow > 0) FModel.RowChanged(leftRow);
    return;
  }
  SyncCursor();  // refused: back to where the cursor is
}

void THexGridView::MoveToNextCell() {
  THexEditor& editor = FModel.Editor();
  const int32_t leftRow = editor.CursorRow();
  editor.MoveToNextCell();
  if (leftRow > 0) FModel.RowChanged(leftRow);
  SyncCursor();
}

void THexGridView::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
      state() != EditingState) {
    MoveToNextCell();
    event->accept();
    return;
  }
  QTableView::keyPressEvent(event);
}

void THexGridView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
  // Enter in the cell editor ends the edit and goes on to the next byte.
  QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
  if (hint == QAbstractItemDelegate::SubmitModelCache) MoveToNextCell();
}

// ---------------------------------------------------------------- window

THexEditForm::THexEditForm(TStream* fileStream, const std::u16string& additionalCaption,
                           int64_t offset, int64_t size, IUserDialogs& dialogs, QWidget* parent)
    : QDialog(parent), FEditor(fileStream, additionalCaption, offset, size, dialogs),
      FModel(FEditor) {
  setWindowTitle(Q(std::u16string(HEX_EDIT_TITLE)));
  FStringGrid1 = new THexGridView(FModel, this);
  FbbtnOK = new QPushButton(QStringLiteral("Save Changes"), this);
  FbbtnCancel = new QPushButton(QStringLiteral("Cancel"), this);
  for (QPushButton* button : {FbbtnOK, FbbtnCancel}) {
    button->setFixedSize(HEX_EDIT_BUTTON_WIDTH, HEX_EDIT_BUTTON_HEIGHT);
    button->setAutoDefault(false);  // Enter belongs to the grid
    button->setFocusPolicy(Qt::StrongFocus);
  }
  // Ctrl+S saves from anywhere in the window; Escape cancels (the dialog's own).
  FbbtnOK->setShortcut(QKeySequence::Save);
  FbbtnOK->setToolTip(
      QStringLiteral("Save Changes (%1)")
          .arg(QKeySequence(QKeySequence::Save).toString(QKeySequence::NativeText)));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 8, 8);
  layout->addWidget(FStringGrid1, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(FbbtnOK);
  buttons->addWidget(FbbtnCancel);
  layout->addLayout(buttons);
  resize(HEX_EDIT_CLIENT_WIDTH, HEX_EDIT_CLIENT_HEIGHT);
  connect(FbbtnOK, &QPushButton::clicked, this, [this] { bbtnOKClick(); });
  connect(FbbtnCancel, &QPushButton::clicked, this, [this] { reject(); });
}

THexEditForm::~THexEditForm() = default;

bool THexEditForm::FormShow() {
  return Guarded(u"dgn: Error in THexEditForm.FormShow call...", false, [&] {
    if (!FLoaded) FLoaded = FEditor.FormShow();  // the file is read once
    FModel.Reset();
    setWindowTitle(Q(FEditor.Caption()));
    FStringGrid1->SyncCursor();
    FStringGrid1->setFocus();
    return FLoaded;
  });
}

void THexEditForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (FShown) return;
  FShown = true;
  FormShow();
}

void THexEditForm::bbtnOKClick() {
  FEditor.bbtnOKClick();
  accept();  // with OK in every case, also when nothing was written
}

void THexEditForm::done(int result) {
  if (!FClosed) {
    FClosed = true;
    FEditor.FormClose();
    FModel.Reset();
  }
  QDialog::done(result);
}

bool EditFile(TStream* fileStream, const std::u16string& additionalCaption, int64_t offset,
              int64_t size, IUserDialogs& dialogs, QWidget* owner) {
  if (!fileStream) {
    DebugTrace(u"dgn: Error in EditFile - invalid filestream.");
    return false;
  }
  return Guarded(u"dgn: Error in EditFile call...", false, [&] {
    THexEditForm form(fileStream, additionalCaption, offset, size, dialogs, owner);
    // An extent that cannot be read into the grid opens no window.
    if (!form.FormShow()) return false;
    return form.exec() == QDialog::Accepted;
  });
}

}  // namespace riffo
