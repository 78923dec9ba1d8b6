// The hex chunk editor's window: a byte grid over THexEditor with an in-place
// two-character cell editor, "Save Changes" and "Cancel". Everything it
// decides is THexEditor's; the window shows the grid and forwards events.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableView>
#include <functional>
#include <string>

#include "viewer/HexEditUtil.h"

namespace riffo {

class IUserDialogs;

// The grid as Qt sees it: the header row is the horizontal header, the
// address column the vertical header; model column c is the editor's
// column c + 1 (16 bytes, then the characters), model row r its row r + 1.
class THexGridModel final : public QAbstractTableModel {
  Q_OBJECT
public:
  explicit THexGridModel(THexEditor& editor, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  static int32_t EditorColumn(const QModelIndex& index) { return index.column() + 1; }
  static int32_t EditorRow(const QModelIndex& index) { return index.row() + 1; }
  QModelIndex IndexOf(int32_t editorColumn, int32_t editorRow) const {
    return index(editorRow - 1, editorColumn - 1);
  }

  // The cell editor's text changed: the editor applies it, the row repaints.
  void EditTextChanged(const QModelIndex& index, const std::u16string& editText);
  // Everything may have changed (the cell left behind by the cursor).
  void RowChanged(int32_t editorRow);
  void Reset();

  THexEditor& Editor() { return FEditor; }

private:
  THexEditor& FEditor;
};

// The in-place editor: two letters or digits, upper-cased as typed, and the
// red cells of changed bytes.
class THexCellDelegate final : public QStyledItemDelegate {
  Q_OBJECT
public:
  explicit THexCellDelegate(THexGridModel& model, QObject* parent = nullptr);

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override;
  void setEditorData(QWidget* editor, const QModelIndex& index) const override;
  void setModelData(QWidget* editor, QAbstractItemModel* model,
                    const QModelIndex& index) const override;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;

  // The editor's text in the form the cell rules expect: untyped positions
  // at the end left out, an untyped one before a typed one a blank.
  static std::u16string EditText(const QString& displayText);

private:
  THexGridModel& FModel;
};

class THexGridView final : public QTableView {
  Q_OBJECT
public:
  THexGridView(THexGridModel& model, QWidget* parent = nullptr);
  // Puts Qt's current cell where the editor's cursor is.
  void SyncCursor();

protected:
  void keyPressEvent(QKeyEvent* event) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
  void MoveToNextCell();
  THexGridModel& FModel;
  bool FSyncing = false;
};

class THexEditForm final : public QDialog {
  Q_OBJECT
public:
  THexEditForm(TStream* fileStream, const std::u16string& additionalCaption, int64_t offset,
               int64_t size, IUserDialogs& dialogs, QWidget* parent = nullptr);
  ~THexEditForm() override;

  THexEditor& Editor() { return FEditor; }
  THexGridView* StringGrid1() const { return FStringGrid1; }
  QPushButton* bbtnOK() const { return FbbtnOK; }
  QPushButton* bbtnCancel() const { return FbbtnCancel; }
  bool Shown() const { return FShown; }
  // Reads the extent into the grid (once) and puts the cursor on the first
  // byte; false when the extent cannot be held. Also run when first shown.
  bool FormShow();

protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;

private:
  void bbtnOKClick();

  THexEditor FEditor;
  THexGridModel FModel;
  THexGridView* FStringGrid1 = nullptr;
  QPushButton* FbbtnOK = nullptr;
  QPushButton* FbbtnCancel = nullptr;
  bool FShown = false;
  bool FLoaded = false;
  bool FClosed = false;
};

// Shows the editor modally over owner; true when closed with "Save Changes".
// The stream stays the caller's.
bool EditFile(TStream* fileStream, const std::u16string& additionalCaption, int64_t offset,
              int64_t size, IUserDialogs& dialogs, QWidget* owner);

}  // namespace riffo
