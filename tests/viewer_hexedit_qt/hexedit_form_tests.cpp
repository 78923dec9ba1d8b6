// The hex editor window on the offscreen platform: it shows the editor's
// grid, takes typed digits through its cell editor, paints changed cells red
// and, opened from the viewer, saves into the file that is then reloaded.
#include "viewer/qt/HexEditForm.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "support/RiffBuilder.h"
#include "viewer/qt/RiffoscopeUnit1.h"
#include "support/SessionFakes.h"

namespace riffo {
namespace {

using test::TBox;

const std::filesystem::path kSample = RIFFO_SOURCE_DIR "/samples/broadcast-sample.wav";

// Byte i of the file is i + 1.
std::vector<uint8_t> Counting(size_t count) {
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(i + 1);
  return bytes;
}

QColor PixelAt(QWidget* widget, QPoint point) { return widget->grab().toImage().pixelColor(point); }

struct FormFixture : ::testing::Test {
  TMemoryStream file{Counting(0x40)};
  test::TFakeDialogs dialogs;
  std::unique_ptr<THexEditForm> form;

  void Show(int64_t offset, int64_t size) {
    form = std::make_unique<THexEditForm>(&file, u" [    ]", offset, size, dialogs);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  }
  QAbstractItemModel* Model() { return form->StringGrid1()->model(); }
  QString Cell(int row, int column) { return Model()->index(row, column).data().toString(); }
  // Each key to whichever widget has the focus, as typing does.
  static void Type(const char* keys) {
    for (const char* k = keys; *k; ++k) QTest::keyClick(QApplication::focusWidget(), *k);
  }
};

TEST_F(FormFixture, ShowsTheGridOfTheExtent) {
  Show(0x24, 12);
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Hex Edit [    ]"));
  EXPECT_EQ(form->bbtnOK()->text(), QStringLiteral("Save Changes"));
  EXPECT_EQ(form->bbtnCancel()->text(), QStringLiteral("Cancel"));
  ASSERT_EQ(Model()->rowCount(), 1);
  ASSERT_EQ(Model()->columnCount(), 17);
  EXPECT_EQ(Model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("00"));
  EXPECT_EQ(Model()->headerData(15, Qt::Horizontal).toString(), QStringLiteral("0F"));
  EXPECT_EQ(Model()->headerData(0, Qt::Vertical).toString(), QStringLiteral("0x0000000000000020"));
  EXPECT_EQ(Cell(0, 3), QString());
  EXPECT_EQ(Cell(0, 4), QStringLiteral("25"));
  EXPECT_EQ(Cell(0, 16), QStringLiteral("    %&'()*+,-./0"));
  EXPECT_FALSE(Model()->flags(Model()->index(0, 3)) & Qt::ItemIsSelectable) << "lead cell";
  EXPECT_TRUE(Model()->flags(Model()->index(0, 4)) & Qt::ItemIsEditable);
  EXPECT_EQ(form->StringGrid1()->currentIndex(), Model()->index(0, 4))
      << "cursor on the first byte";

  QTableView* grid = form->StringGrid1();
  EXPECT_EQ(grid->verticalHeader()->width(), 180);
  EXPECT_EQ(grid->columnWidth(0), 24);
  EXPECT_EQ(grid->columnWidth(16), 120);
  EXPECT_EQ(grid->rowHeight(0), 24);

  // Clicking a lead cell leaves the cursor where it is.
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                    grid->visualRect(Model()->index(0, 1)).center());
  EXPECT_EQ(grid->currentIndex(), Model()->index(0, 4));
}

TEST_F(FormFixture, TypedDigitsChangeTheByteAndPaintItRed) {
  Show(0, 32);
  QTableView* grid = form->StringGrid1();
  grid->setFocus();
  const QModelIndex first = Model()->index(0, 0);
  const QPoint inside = grid->visualRect(first).topLeft() + QPoint(12, 16);
  const QColor before = PixelAt(grid->viewport(), inside);
  EXPECT_NE(before, QColor(255, 0, 0));

  QTest::keyClick(grid, Qt::Key_4);
  auto* edit = grid->findChild<QLineEdit*>();
  ASSERT_NE(edit, nullptr) << "typing opens the cell editor";
  EXPECT_EQ(edit->displayText(), QStringLiteral("4 "));
  QTest::keyClick(edit, Qt::Key_G);  // the mask takes letters and digits; "G" is no hex digit
  EXPECT_EQ(edit->displayText(), QStringLiteral("4G"));
  EXPECT_EQ(form->Editor().ChangedCells(), (std::vector<TChangedCell>{{1, 1, 0x40}}));
  QTest::keyClick(edit, Qt::Key_Return);
  QApplication::processEvents();
  EXPECT_EQ(grid->currentIndex(), Model()->index(0, 1)) << "Enter goes on to the next byte";
  EXPECT_EQ(Cell(0, 0), QStringLiteral("40"));
  EXPECT_EQ(PixelAt(grid->viewport(), inside), QColor(255, 0, 0)) << "changed cell drawn red";

  QDir().mkpath(RIFFO_SCREENSHOT_DIR);
  const QString path = RIFFO_SCREENSHOT_DIR "/hex-editor-changed-cell.png";
  ASSERT_TRUE(form->grab().save(path));
  EXPECT_GT(QFileInfo(path).size(), 1000);

  dialogs.Answers = {true};
  QTest::mouseClick(form->bbtnOK(), Qt::LeftButton);
  EXPECT_EQ(form->result(), QDialog::Accepted);
  EXPECT_EQ(file.Bytes()[0], 0x40);
  EXPECT_EQ(file.Bytes()[1], 0x02);
}

// One digit and Enter finish the cell ("A" is "A0") and move on, so the next
// digits go into the next byte; then the keyboard alone reaches Save Changes.
TEST_F(FormFixture, OneDigitThenEnterMovesOnAndTabReachesSave) {
  Show(0, 32);
  QTableView* grid = form->StringGrid1();
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  grid->setFocus();
  QTest::keyClick(grid, Qt::Key_A);
  auto* edit = grid->findChild<QLineEdit*>();
  ASSERT_NE(edit, nullptr);
  QTest::keyClick(edit, Qt::Key_Return);
  QApplication::processEvents();
  EXPECT_EQ(Cell(0, 0), QStringLiteral("A0"));
  ASSERT_EQ(grid->currentIndex(), Model()->index(0, 1))
      << "Enter after one digit goes on to the next byte";
  Type("51");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  QApplication::processEvents();
  EXPECT_EQ(Cell(0, 1), QStringLiteral("51"));
  EXPECT_EQ(Cell(0, 2), QStringLiteral("03")) << "the third byte untouched";
  EXPECT_EQ(form->Editor().ChangedCells(), (std::vector<TChangedCell>{{1, 1, 0xA0}, {2, 1, 0x51}}));

  // Tab leaves the grid for Save Changes; Space presses it.
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  ASSERT_EQ(QApplication::focusWidget(), form->bbtnOK());
  dialogs.Answers = {true};
  QTest::keyClick(form->bbtnOK(), Qt::Key_Space);
  EXPECT_EQ(form->result(), QDialog::Accepted);
  EXPECT_EQ(file.Bytes()[0], 0xA0);
  EXPECT_EQ(file.Bytes()[1], 0x51);
  EXPECT_EQ(file.Bytes()[2], 0x03);
}

TEST_F(FormFixture, CtrlSSavesFromTheGrid) {
  Show(0, 16);
  QTableView* grid = form->StringGrid1();
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  grid->setFocus();
  Type("7E");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  QApplication::processEvents();
  ASSERT_EQ(grid->currentIndex(), Model()->index(0, 1));
  dialogs.Answers = {true};
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::ControlModifier);
  QTRY_COMPARE(form->result(),
               static_cast<int>(QDialog::Accepted));  // a shortcut presses the button visibly
  EXPECT_EQ(file.Bytes()[0], 0x7E);
}

TEST(EditFileCall, MissingStreamOrUnusableExtentOpensNothing) {
  test::TFakeDialogs dialogs;
  EXPECT_FALSE(EditFile(nullptr, u"", 0, 16, dialogs, nullptr));
  TMemoryStream file{Counting(16)};
  EXPECT_FALSE(EditFile(&file, u"", 0, -1, dialogs, nullptr))
      << "returns at once instead of showing";
  EXPECT_EQ(QApplication::topLevelWidgets().size(), 0);
}

// From the viewer: the fmt chunk of the sample, its channel count changed
// from 2 to 1, saved and reloaded.
TEST(FromTheViewer, SavedByteShowsInTheReloadedTree) {
  test::ScratchFolder folder;
  const auto copy = folder.Path("sample.wav");
  std::filesystem::copy_file(kSample, copy);
  test::TFakeDialogs dialogs;
  TRiffoscopeForm window(&dialogs, copy.u16string());
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  QTreeWidgetItem* fmt = window.TreeView1()->topLevelItem(0)->child(0)->child(0);
  ASSERT_NE(fmt, nullptr);
  ASSERT_TRUE(fmt->text(0).contains(QStringLiteral("fmt")));
  window.TreeView1()->setCurrentItem(fmt);

  bool editorSeen = false;
  QString title;
  QTimer::singleShot(0, [&] {
    auto* editor = qobject_cast<THexEditForm*>(QApplication::activeModalWidget());
    if (!editor) return;
    editorSeen = true;
    title = editor->windowTitle();
    // nChannels is the byte at 22: row 2 of the grid, column 7.
    THexGridView* grid = editor->StringGrid1();
    const QModelIndex channels = grid->model()->index(1, 6);
    grid->setCurrentIndex(channels);
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_0);
    QLineEdit* cell = grid->findChild<QLineEdit*>();
    if (!cell) return;
    QTest::keyClick(cell, Qt::Key_1);
    QTest::keyClick(cell, Qt::Key_Return);
    QTest::mouseClick(editor->bbtnOK(), Qt::LeftButton);
  });
  dialogs.Answers = {true, true};  // save, then reload
  QAction* hexEdit = window.Action(QStringLiteral("Hex Edit Chunk"));
  ASSERT_NE(hexEdit, nullptr);
  hexEdit->trigger();

  ASSERT_TRUE(editorSeen);
  EXPECT_EQ(title, QStringLiteral("Hex Edit [    ]"));
  EXPECT_EQ(dialogs.Boxes.size(), 2u);
  QTreeWidgetItem* reloaded = window.TreeView1()->topLevelItem(0)->child(0)->child(0);
  ASSERT_NE(reloaded, nullptr);
  QString channelsLine;
  for (int i = 0; i < reloaded->childCount(); ++i)
    if (reloaded->child(i)->text(0).contains(QStringLiteral("Channels")))
      channelsLine = reloaded->child(i)->text(0);
  EXPECT_TRUE(channelsLine.endsWith(QLatin1Char('1'))) << channelsLine.toStdString();
}

// A file whose data chunk has the given payload size; the payload is a hole.
std::u16string SparseWave(const test::ScratchFolder& folder, const std::string& name,
                          uint32_t dataSize) {
  test::Bytes body = test::Chunk("fmt ", test::PcmFormat(1, 8000, 8));
  test::AppendText(body, "data");
  test::Append32(body, dataSize);
  test::Bytes bytes;
  test::AppendText(bytes, "RIFF");
  test::Append32(bytes, static_cast<uint32_t>(4 + body.size() + dataSize));
  test::AppendText(bytes, "WAVE");
  test::Append(bytes, body);
  const std::u16string fileName = folder.Write(name, bytes);
  std::filesystem::resize_file(folder.Path(name), bytes.size() + dataSize);
  return fileName;
}

// The data chunk at the limit opens the editor (and is cancelled); one byte
// more is refused.
TEST(FromTheViewer, OneHundredMebibytesOpenOneByteMoreDoesNot) {
  test::ScratchFolder folder;
  for (const uint32_t size : {104857600u, 104857601u}) {
    test::TFakeDialogs dialogs;
    TRiffoscopeForm window(&dialogs,
                           SparseWave(folder, "big" + std::to_string(size) + ".wav", size));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTreeWidgetItem* riff = window.TreeView1()->topLevelItem(0)->child(0);
    ASSERT_NE(riff, nullptr);
    QTreeWidgetItem* data = riff->child(riff->childCount() - 1);
    ASSERT_TRUE(data->text(0).contains(QStringLiteral("data")));
    window.TreeView1()->setCurrentItem(data);

    int rows = -1;
    QTimer::singleShot(0, [&] {
      auto* editor = qobject_cast<THexEditForm*>(QApplication::activeModalWidget());
      if (!editor) return;
      rows = editor->StringGrid1()->model()->rowCount();
      QTest::mouseClick(editor->bbtnCancel(), Qt::LeftButton);
    });
    window.Action(QStringLiteral("Hex Edit Chunk"))->trigger();
    if (size == 104857600u) {
      EXPECT_EQ(rows, (4 + 104857608 + 15) / 16) << "lead 4 (data at 0x24), header and payload";
      EXPECT_TRUE(dialogs.Boxes.empty()) << "cancelled: no reload question";
    } else {
      EXPECT_EQ(rows, -1) << "no editor";
      EXPECT_EQ(dialogs.Boxes, (std::vector<TBox>{{"plain", u"Chunk too big"}}));
    }
  }
}

}  // namespace
}  // namespace riffo
