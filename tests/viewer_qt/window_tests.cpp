// The main window on the offscreen platform, driven through its menus, its
// tree pane and its hex pane; boxes and dialogs are answered by a recording
// stand-in handed to the window.
#include "viewer/qt/RiffoscopeUnit1.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QUrl>
#include <QScreen>
#include <cmath>

#include "platform/Files.h"
#include "platform/Text.h"
#include "platform/qt/NativeNames.h"
#include "platform/qt/ThemeColours.h"
#include "platform/qt/WidgetHelpers.h"
#include "support/RiffBuilder.h"
#include "viewer/WavFixtures.h"
#include "platform/UserStore.h"
#include "viewer/ChunkTreeRender.h"
#include "viewer/qt/SplashAbout.h"
#include "support/Contrast.h"
#include "support/SessionFakes.h"

namespace riffo {
namespace {

using test::Contrast;
using test::TBox;

const std::u16string kSample =
    QString::fromUtf8(RIFFO_SOURCE_DIR "/samples/broadcast-sample.wav").toStdU16String();

struct WindowFixture : ::testing::Test {
  test::ScratchFolder folder;
  test::TFakeDialogs dialogs;
  std::unique_ptr<TRiffoscopeForm> form;

  void Show(std::u16string firstArgument = {}) {
    form = std::make_unique<TRiffoscopeForm>(&dialogs, std::move(firstArgument));
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  }
  // Key presses go to the active window, as on a desktop.
  void Activate() {
    // The splash comes up once the window is shown and takes the focus
    // until it goes; a user clicks it away or waits.
    QApplication::processEvents();
    if (QPointer<TSplashForm> splash = form->Splash()) {
      splash->close();
      QTRY_VERIFY(splash.isNull() || !splash->isVisible());
    }
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  }
  void Trigger(const char* caption) {
    QAction* action = form->Action(QString::fromUtf8(caption));
    ASSERT_NE(action, nullptr) << caption;
    action->trigger();
  }
  QTreeWidgetItem* Item(std::initializer_list<int> path) {
    QTreeWidgetItem* item = form->TreeView1()->topLevelItem(0);
    for (int i : path) item = item ? item->child(i) : nullptr;
    return item;
  }
  void Click(QTreeWidgetItem* item) {
    ASSERT_NE(item, nullptr);
    form->TreeView1()->scrollToItem(item);
    const QRect rect = form->TreeView1()->visualItemRect(item);
    QTest::mouseClick(form->TreeView1()->viewport(), Qt::LeftButton, {}, rect.center());
  }
  std::pair<int64_t, int64_t> Highlighted() {
    THexView* hex = form->Session().HexView();
    return hex ? std::pair{hex->SelectionStartOffset(), hex->SelectionLength()}
               : std::pair<int64_t, int64_t>{-1, -1};
  }
  // Bold blue on light yellow, as the pane shows it at (line, column).
  bool MarkedAt(int line, int column) {
    QTextBlock block = form->Memo1()->document()->findBlockByNumber(line);
    if (!block.isValid()) return false;
    QTextCursor c(block);
    c.setPosition(block.position() + column + 1);  // the format of the character before the cursor
    const QTextCharFormat f = c.charFormat();
    return f.fontWeight() == QFont::Bold && f.foreground().color() == QColor(0, 0, 255) &&
           f.background().color() == QColor(255, 255, 160);
  }
  void TearDown() override {
    form.reset();
    EXPECT_EQ(dialogs.BusyDepth, 0);
  }
};

TEST_F(WindowFixture, MenusCarryTheirCaptions) {
  Show();
  QStringList menus;
  for (QAction* a : form->menuBar()->actions()) menus << TRiffoscopeForm::PlainCaption(a->text());
  EXPECT_EQ(menus, (QStringList{"File", "View", "Tools", "Help"}));
  auto captions = [](QMenu* m) {
    QStringList out;
    for (QAction* a : m->actions())
      out << (a->isSeparator() ? QStringLiteral("-") : TRiffoscopeForm::PlainCaption(a->text()));
    return out;
  };
  const auto bar = form->menuBar()->actions();
  EXPECT_EQ(captions(bar[0]->menu()), (QStringList{"Open", "Close", "-", "Export Structure", "-",
                                                   "Recent Files", "-", "Exit"}));
  EXPECT_EQ(captions(bar[1]->menu()), (QStringList{"Full Expand", "Full Collapse", "Findings"}));
  EXPECT_EQ(captions(bar[2]->menu()), (QStringList{"Hex Edit Chunk", "-", "Validation"}));
  EXPECT_EQ(captions(bar[3]->menu()), (QStringList{"Check For Updates", "About"}));
  EXPECT_EQ(captions(form->PopupMenu1()), (QStringList{"Hex Edit Chunk", "-", "Copy"}));
  EXPECT_EQ(form->windowTitle(), "Riffoscope");
  EXPECT_EQ(form->ScrollBar1()->maximum(), 100000);
  EXPECT_EQ(form->ScrollBar1()->focusPolicy(), Qt::NoFocus);
  EXPECT_EQ(form->TreeView1()->indentation(), 19);
  EXPECT_EQ(form->TreeView1()->font().family(), "Courier New");
  EXPECT_TRUE(form->Memo1()->isReadOnly());
  EXPECT_EQ(form->Memo1()->lineWrapMode(), QPlainTextEdit::NoWrap);

  QAction* check = form->Action("Check For Updates");
  EXPECT_TRUE(check->isChecked());
  check->trigger();
  EXPECT_FALSE(check->isChecked());
  EXPECT_FALSE(form->Session().CheckForUpdates());
}

TEST_F(WindowFixture, MissingCommandLineFileLeavesAnEmptyWindow) {
  Show(folder.Name("not-there.wav"));
  EXPECT_EQ(dialogs.Boxes, (std::vector<TBox>{{"plain", u"File not found."}}));
  EXPECT_EQ(form->windowTitle(), "Riffoscope");
  EXPECT_EQ(form->TreeView1()->topLevelItemCount(), 0);
  EXPECT_TRUE(form->Memo1()->toPlainText().isEmpty());
}

TEST_F(WindowFixture, AboutNamesProgramVersionAndYear) {
  Show();
  Trigger("About");
  ASSERT_EQ(dialogs.About.size(), 3u);
  EXPECT_EQ(dialogs.About[0], u"Riffoscope");
  EXPECT_EQ(dialogs.About[1], u"Version " + QStringLiteral(RIFFO_PROJECT_VERSION).toStdU16String());
  EXPECT_NE(dialogs.About[2].find(u"2017"), std::u16string::npos);
}

TEST_F(WindowFixture, SplashNamesProgramAndMakerAndClosesOnClick) {
  Show();
  QPointer<TSplashForm> splash = form->Splash();
  ASSERT_FALSE(splash.isNull());
  QTRY_VERIFY(splash->isVisible());
  EXPECT_EQ(splash->findChild<QLabel*>("ProductName")->text(), "Riffoscope");
  EXPECT_EQ(splash->findChild<QLabel*>("MakerName")->text(), "Brindlecorp Ltd.");
  const QPoint centre = splash->frameGeometry().center();
  EXPECT_LE((centre - form->frameGeometry().center()).manhattanLength(), 2);
  QDir().mkpath(RIFFO_SCREENSHOT_DIR);
  EXPECT_TRUE(splash->grab().save(RIFFO_SCREENSHOT_DIR "/splash.png"));
  QTest::mouseClick(splash.data(), Qt::LeftButton);
  QTRY_VERIFY(splash.isNull());
}

TEST_F(WindowFixture, OpenSampleShowsCaptionTreeAndHex) {
  Show();
  dialogs.Picks = {kSample};
  Trigger("Open");
  EXPECT_TRUE(dialogs.Boxes.empty());
  EXPECT_EQ(form->windowTitle(), Q(u"Riffoscope (" + kSample + u")"));

  QTreeWidget* tree = form->TreeView1();
  ASSERT_EQ(tree->topLevelItemCount(), 1);
  QTreeWidgetItem* file = tree->topLevelItem(0);
  EXPECT_EQ(file->text(0), Q(kSample));
  QTreeWidgetItem* riff = file->child(0);
  ASSERT_NE(riff, nullptr);
  EXPECT_TRUE(riff->text(0).startsWith("0x0000000000000000 RIFF")) << riff->text(0).toStdString();
  EXPECT_TRUE(riff->text(0).endsWith("WAVE"));
  QTreeWidgetItem* first = riff->child(0);
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(first->text(0).startsWith("0x000000000000000C fmt ")) << first->text(0).toStdString();
  // The first three nodes in display order are expanded, each alone.
  EXPECT_TRUE(file->isExpanded());
  EXPECT_TRUE(riff->isExpanded());
  EXPECT_TRUE(first->isExpanded());
  ASSERT_GT(riff->childCount(), 1);
  EXPECT_FALSE(riff->child(1)->isExpanded());

  const QString hex = form->Memo1()->toPlainText();
  EXPECT_TRUE(hex.startsWith("0x0000000000000000   52 49 46 46 ")) << hex.left(80).toStdString();
  const int lines = form->Memo1()->blockCount();
  EXPECT_EQ(lines, PageLineCount(form->Memo1()->ClientHeight()));
}

TEST_F(WindowFixture, SelectionFollowsMouseAndKeys) {
  Show(kSample);  // opened from the command line
  ASSERT_EQ(form->windowTitle(), Q(u"Riffoscope (" + kSample + u")"));
  const int64_t size = form->Session().FileStream()->Size();

  Click(Item({}));
  EXPECT_EQ(Highlighted(), (std::pair<int64_t, int64_t>{0, size}));
  Click(Item({0}));
  EXPECT_EQ(Highlighted(), (std::pair<int64_t, int64_t>{0, size}));

  Click(Item({0, 0}));  // fmt at 12
  const TChunkNodeInfo* fmt = form->Session().DisplayTree()->Children[0]->Children[0]->Info.get();
  ASSERT_NE(fmt, nullptr);
  EXPECT_EQ(Highlighted(), (std::pair<int64_t, int64_t>{12, fmt->Size + 8}));
  // Line 0 shows bytes 12..15 marked in the hex and the character columns.
  EXPECT_FALSE(MarkedAt(0, 21 + 3 * 11));
  EXPECT_TRUE(MarkedAt(0, 21 + 3 * 12));
  EXPECT_TRUE(MarkedAt(0, 21 + 3 * 15 + 1));
  EXPECT_FALSE(MarkedAt(0, 21 + 3 * 15 + 2)) << "not the blank after the last pair";
  EXPECT_TRUE(MarkedAt(0, 71 + 12));
  EXPECT_TRUE(MarkedAt(1, 21));

  Click(Item({0, 0, 0}));  // a field line: nothing moves
  EXPECT_EQ(Highlighted(), (std::pair<int64_t, int64_t>{12, fmt->Size + 8}));

  // Keys: the hex view follows at the key release.
  form->TreeView1()->setCurrentItem(Item({0, 0}));
  form->TreeView1()->setFocus();
  QTest::keyClick(form->TreeView1(), Qt::Key_Up);  // to the RIFF node
  EXPECT_EQ(Highlighted(), (std::pair<int64_t, int64_t>{0, size}));
}

TEST_F(WindowFixture, HexPaneKeysAndScrollBar) {
  Show(kSample);
  THexView* hex = form->Session().HexView();
  ASSERT_NE(hex, nullptr);
  form->Memo1()->setFocus();
  QTest::keyClick(form->Memo1(), Qt::Key_Down);
  EXPECT_EQ(hex->LastRefreshOffset(), 16);
  QTest::keyClick(form->Memo1(), Qt::Key_End);
  EXPECT_EQ(hex->LastRefreshOffset(), hex->FileLength() - 1);
  EXPECT_EQ(form->ScrollBar1()->value(),
            OffsetToScrollPosition(hex->FileLength() - 1, hex->FileLength()));
  QTest::keyClick(form->Memo1(), Qt::Key_Home);
  EXPECT_EQ(form->ScrollBar1()->value(), 0);

  form->ScrollBar1()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(hex->LastRefreshOffset(), 16);
  EXPECT_EQ(form->ScrollBar1()->value(), OffsetToScrollPosition(16, hex->FileLength()));
  EXPECT_TRUE(form->Memo1()->toPlainText().startsWith("0x0000000000000010"));
}

TEST_F(WindowFixture, MouseWheelBecomesKeysForTheFocusedPane) {
  Show(kSample);
  QTreeWidget* tree = form->TreeView1();
  tree->setCurrentItem(Item({0, 1}));
  form->activateWindow();
  tree->setFocus();
  const QPoint at = tree->visualItemRect(Item({0, 1})).center();
  auto wheel = [&](int delta, Qt::KeyboardModifiers mods) {
    QWheelEvent e(at, tree->viewport()->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                  mods, Qt::NoScrollPhase, false);
    QApplication::sendEvent(tree->viewport(), &e);
  };
  const int64_t before = Highlighted().first;
  QTreeWidgetItem* above = tree->itemAbove(Item({0, 1}));
  wheel(120, Qt::NoModifier);  // away from the user: one node up
  EXPECT_EQ(tree->currentItem(), above);
  EXPECT_EQ(Highlighted().first, before) << "no key release, so the hex view waits";
  wheel(-120, Qt::NoModifier);
  EXPECT_EQ(tree->currentItem(), Item({0, 1}));
}

TEST_F(WindowFixture, LoadFailuresThroughOpenAndDrop) {
  Show(kSample);
  const auto bad = folder.Write("bad.wav", test::Bytes(32, 'x'));
  dialogs.Picks = {bad};
  Trigger("Open");
  EXPECT_EQ(dialogs.Boxes, (std::vector<TBox>{{"plain", u"Invalid WAV file."}}));
  EXPECT_EQ(form->windowTitle(), "Riffoscope") << "the previous session is already closed";
  EXPECT_EQ(form->TreeView1()->topLevelItemCount(), 0);

  // Three files dropped, the second missing: the third stays open.
  dialogs.Boxes.clear();
  const auto first = folder.Write("first.wav", test::CanonicalPcm());
  const auto third = folder.Write("third.wav", test::CanonicalPcm());
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(Q(first)), QUrl::fromLocalFile(Q(folder.Name("second.wav"))),
                QUrl::fromLocalFile(Q(third))});
  QWidget* target = form->TreeView1()->viewport();
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
  EXPECT_TRUE(dialogs.Boxes.empty());
  EXPECT_EQ(form->windowTitle(), Q(u"Riffoscope (" + third + u")"));
  EXPECT_EQ(form->TreeView1()->topLevelItem(0)->text(0), Q(third));

  dialogs.Picks = {folder.Name("none.wav")};
  Trigger("Open");  // a name that does not exist changes nothing
  EXPECT_TRUE(dialogs.Boxes.empty());
  EXPECT_EQ(form->windowTitle(), Q(u"Riffoscope (" + third + u")"));
  Trigger("Close");
  EXPECT_EQ(form->windowTitle(), "Riffoscope");
}

// A name whose bytes are not UTF-8 opens from the command line, from a drop
// (as a file manager sends it: a URI with percent-escapes) and from Recent
// Files, and shows readably in the title and the tree.
TEST_F(WindowFixture, NamesThatAreNotUtf8OpenAndShow) {
  const std::string bytes = folder.Path("bad\xff\xfe.wav").string();
  test::WriteFileBytes(bytes, test::CanonicalPcm());
  const std::u16string name = FromNativePath(bytes);
  const QString shown = QString::fromStdString(Utf16ToUtf8(u"Riffoscope (" + name + u")"));
  ASSERT_TRUE(shown.contains(QChar(0xFFFD)));

  Show(NameFromArgument(bytes.c_str()));
  EXPECT_TRUE(dialogs.Boxes.empty());
  EXPECT_EQ(form->Session().FileName(), name);
  EXPECT_EQ(form->windowTitle(), shown);
  EXPECT_EQ(form->TreeView1()->topLevelItem(0)->text(0), ShownText(name));
  Trigger("Close");

  QMimeData mime;
  mime.setData(QStringLiteral("text/uri-list"),
               "file://" + QByteArray::fromStdString(bytes).toPercentEncoding("/") + "\r\n");
  QWidget* target = form->TreeView1()->viewport();
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
  EXPECT_TRUE(dialogs.Boxes.empty());
  EXPECT_EQ(form->Session().FileName(), name);
  EXPECT_EQ(form->windowTitle(), shown);
  form->close();
  form.reset();

  Show();  // Recent Files, read back from the settings, opens it again
  emit form->RecentFiles1()->aboutToShow();
  ASSERT_FALSE(form->RecentFiles1()->actions().isEmpty());
  form->RecentFiles1()->actions()[0]->trigger();
  EXPECT_TRUE(dialogs.Boxes.empty());
  EXPECT_EQ(form->Session().FileName(), name);
}

TEST_F(WindowFixture, CopyWithCollapsedTreeTakesEveryLine) {
  Show(kSample);
  Trigger("Full Collapse");
  EXPECT_FALSE(Item({})->isExpanded());
  Trigger("Copy");
  EXPECT_EQ(dialogs.Clipboard, TreeCopyText(*form->Session().DisplayTree()));
  EXPECT_NE(dialogs.Clipboard.find(u"Coding History"), std::u16string::npos);
  Trigger("Full Expand");
  EXPECT_TRUE(Item({0, 0})->isExpanded());
}

TEST_F(WindowFixture, TreeRowsFollowTheDrawingRule) {
  Show(kSample);
  auto* delegate = qobject_cast<TTreeItemDelegate*>(form->TreeView1()->itemDelegate());
  ASSERT_NE(delegate, nullptr);
  auto style = [&](QTreeWidgetItem* item, bool selected) {
    QStyleOptionViewItem opt;
    opt.initFrom(form->TreeView1());
    if (selected) opt.state |= QStyle::State_Selected;
    const QModelIndex index = form->TreeView1()->indexFromItem(item);
    delegate->initStyleOption(&opt, index);
    return opt;
  };
  const QColor band(0xF6, 0xF6, 0xF6);
  EXPECT_EQ(style(Item({0, 0}), false).backgroundBrush.color(), band);  // index 0 among siblings
  EXPECT_NE(style(Item({0, 0}), true).backgroundBrush.color(), band);
  EXPECT_NE(style(Item({0, 1}), false).backgroundBrush.color(), band);
  // Some line of the sample holds "()": those are bold, the captions are not.
  EXPECT_FALSE(style(Item({0}), false).font.bold());
}

TEST_F(WindowFixture, ExportMessageFlows) {
  Show();
  Trigger("Export Structure");
  EXPECT_EQ(dialogs.Boxes, (std::vector<TBox>{{"error", u"There is no file loaded."}}));
  Trigger("Hex Edit Chunk");
  Trigger("Validation");
  EXPECT_EQ(dialogs.Boxes.size(), 3u);

  dialogs.Boxes.clear();
  dialogs.Picks = {kSample};
  Trigger("Open");
  const auto out = folder.Name("structure.txt");
  folder.Write("structure.txt", test::Bytes{'o', 'l', 'd'});
  const std::u16string ask = u"The file " + out + u" already exists. Do you want to replace it?";

  dialogs.Picks = {out};
  dialogs.Answers = {false};
  Trigger("Export Structure");
  EXPECT_EQ(dialogs.Boxes, (std::vector<TBox>{{"okcancel", ask}}));
  EXPECT_EQ(test::ReadFileText(folder.Path("structure.txt")), "old");

  dialogs.Boxes.clear();
  dialogs.Picks = {out};
  dialogs.Answers = {true};
  Trigger("Export Structure");
  EXPECT_EQ(dialogs.Boxes, (std::vector<TBox>{{"okcancel", ask}}));
  const std::string text = test::ReadFileText(folder.Path("structure.txt"));
  EXPECT_NE(text.find("FileName: " + QString::fromStdU16String(kSample).toStdString() + "\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("bext"), std::string::npos);

  dialogs.Boxes.clear();
  dialogs.Picks = {u"/proc/version"};  // exists, and no one may delete it
  dialogs.Answers = {true};
  Trigger("Export Structure");
  ASSERT_EQ(dialogs.Boxes.size(), 2u);
  EXPECT_EQ(dialogs.Boxes[1], (TBox{"error", u"Cannot delete /proc/version file."}));
}

TEST_F(WindowFixture, SettingsRoundTripAndTreeHeightRule) {
  Show();
  form->move(140, 90);
  form->resize(900, 400);
  form->Splitter1()->setSizes({250, 400 - 250});
  QApplication::processEvents();
  form->close();
  const TSettings saved = form->Session().Settings();
  EXPECT_EQ(saved.FormHeight, 400);
  EXPECT_EQ(saved.FormWidth, 900);
  form.reset();

  Show();
  EXPECT_EQ(form->height(), 400);
  EXPECT_EQ(form->TreeView1()->height(), saved.TreeViewHeight) << "applied: 400 - tree leaves room";

  {
    auto key = TUserStoreKey::OpenOrCreate(u"SOFTWARE\\Brindlecorp\\Riffoscope");
    key->WriteInteger(u"FormHeight", 300);
    key->WriteInteger(u"TreeViewHeight", 250);
  }
  form.reset();
  Show();
  EXPECT_EQ(form->height(), 300);
  EXPECT_NE(form->TreeView1()->height(), 250) << "300 - 250 is too little for the rest";
}

// Only the selected chunk's bytes are ever highlighted: a caret put into
// highlighted bytes by a click must not carry the highlight onto the next
// page, nor into the next file.
TEST_F(WindowFixture, HighlightStaysOnTheSelectionAfterClickAndPaging) {
  Show(kSample);
  Click(Item({0, 0}));  // fmt at 12
  const TChunkNodeInfo* fmt = form->Session().DisplayTree()->Children[0]->Children[0]->Info.get();
  ASSERT_NE(fmt, nullptr);
  const int64_t end = 12 + fmt->Size + 8;
  ASSERT_TRUE(MarkedAt(0, 21 + 3 * 13));

  // Click into byte 13, which is highlighted, then page down by one line.
  Activate();
  TQtHexPane* pane = form->Memo1();
  QTextCursor at(pane->document()->findBlockByNumber(0));
  at.setPosition(at.block().position() + 21 + 3 * 13 + 1);
  QTest::mouseClick(pane->viewport(), Qt::LeftButton, {}, pane->cursorRect(at).center());
  ASSERT_TRUE(pane->hasFocus());
  QTest::keyClick(pane, Qt::Key_Down);
  ASSERT_EQ(form->Session().HexView()->LastRefreshOffset(), 12 + 16)
      << "one line on from the chunk";

  // The page starts with the line of byte 28: line k holds bytes 16 + 16k ...
  const int lines = pane->blockCount();
  ASSERT_GT(lines, 4);
  for (int line = 0; line < lines; ++line) {
    const int64_t first = 16 + 16 * line;
    for (int byte = 0; byte < 16; ++byte) {
      const bool selected = first + byte >= 12 && first + byte < end;
      EXPECT_EQ(MarkedAt(line, 21 + 3 * byte), selected) << "line " << line << " byte " << byte;
      EXPECT_EQ(MarkedAt(line, 71 + byte), selected) << "line " << line << " char " << byte;
    }
    EXPECT_FALSE(MarkedAt(line, 0)) << "the address column, line " << line;
  }

  // Another file, nothing selected: nothing highlighted.
  const auto other = folder.Write("other.wav", test::CanonicalPcm());
  dialogs.Picks = {other};
  QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier);
  ASSERT_EQ(form->windowTitle(), Q(u"Riffoscope (" + other + u")"));
  for (int line = 0; line < form->Memo1()->blockCount(); ++line)
    for (int column : {0, 21, 24, 71})
      EXPECT_FALSE(MarkedAt(line, column)) << "line " << line << " column " << column;
}

// Start and close the window five times, closing with Ctrl+Q: the stored
// position stays where it was. A position off every screen comes back on one.
TEST_F(WindowFixture, PositionDoesNotCreepAndStaysOnScreen) {
  auto store = [](int32_t left, int32_t top) {
    auto key = TUserStoreKey::OpenOrCreate(u"SOFTWARE\\Brindlecorp\\Riffoscope");
    key->WriteInteger(u"FormLeft", left);
    key->WriteInteger(u"FormTop", top);
    key->WriteInteger(u"FormWidth", 600);
    key->WriteInteger(u"FormHeight", 420);
    ASSERT_TRUE(key->Commit());
  };
  store(100, 100);
  for (int cycle = 0; cycle < 5; ++cycle) {
    Show();
    EXPECT_EQ(form->geometry().topLeft(), QPoint(100, 100)) << "cycle " << cycle;
    Activate();
    QTest::keyClick(form.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(form->isVisible()) << "Ctrl+Q closes the window";
    const TSettings saved = form->Session().Settings();
    EXPECT_EQ(std::pair(saved.FormLeft, saved.FormTop), std::pair(100, 100)) << "cycle " << cycle;
    EXPECT_EQ(std::pair(saved.FormWidth, saved.FormHeight), std::pair(600, 420))
        << "cycle " << cycle;
    form.reset();
  }

  store(30000, 20000);
  Show();
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_TRUE(screen.contains(form->geometry().topLeft()))
      << form->geometry().x() << "," << form->geometry().y();
}

TEST_F(WindowFixture, KeyboardReachesTheMenusAndCommands) {
  Show();
  Activate();
  QMenu* fileMenu = form->menuBar()->actions()[0]->menu();
  QTest::keyClick(form.get(), Qt::Key_F, Qt::AltModifier);
  QTRY_COMPARE(QApplication::activePopupWidget(), static_cast<QWidget*>(fileMenu));
  QTest::keyClick(fileMenu, Qt::Key_Escape);
  QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);

  dialogs.Picks = {kSample};
  QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier);
  ASSERT_EQ(form->windowTitle(), Q(u"Riffoscope (" + kSample + u")"));

  form->TreeView1()->setFocus();
  QTest::keyClick(form->TreeView1(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(dialogs.ClipboardSets, 1);
  EXPECT_EQ(dialogs.Clipboard, TreeCopyText(*form->Session().DisplayTree()));

  QTest::keyClick(form.get(), Qt::Key_W, Qt::ControlModifier);
  EXPECT_EQ(form->windowTitle(), "Riffoscope");
  QTest::keyClick(form.get(), Qt::Key_Q, Qt::ControlModifier);
  EXPECT_FALSE(form->isVisible());
}

TEST_F(WindowFixture, RecentFilesListsTheLatestFirstAndOpensThem) {
  Show();
  EXPECT_FALSE(form->RecentFiles1()->isEnabled()) << "nothing opened yet";
  const auto a = folder.Write("a.wav", test::CanonicalPcm());
  const auto b = folder.Write("b&c.wav", test::CanonicalPcm());
  dialogs.Picks = {a};
  Trigger("Open");
  dialogs.Picks = {b};
  Trigger("Open");
  QMenu* recent = form->RecentFiles1();
  emit recent->aboutToShow();
  ASSERT_EQ(recent->actions().size(), 2);
  EXPECT_EQ(TRiffoscopeForm::PlainCaption(recent->actions()[0]->text()), "1 " + Q(b));
  EXPECT_EQ(TRiffoscopeForm::PlainCaption(recent->actions()[1]->text()), "2 " + Q(a));
  recent->actions()[1]->trigger();
  EXPECT_EQ(form->windowTitle(), Q(u"Riffoscope (" + a + u")"));
  form->close();
  form.reset();

  Show();  // read back with the other settings
  emit form->RecentFiles1()->aboutToShow();
  ASSERT_EQ(form->RecentFiles1()->actions().size(), 2);
  EXPECT_EQ(TRiffoscopeForm::PlainCaption(form->RecentFiles1()->actions()[0]->text()), "1 " + Q(a));
}

// The findings pane lists what the loader found; choosing a finding selects
// its chunk in the tree and highlights its bytes.
TEST_F(WindowFixture, FindingsPaneListsFindingsAndLeadsToTheirChunks) {
  Show(folder.Write("cut.wav", test::TruncatedInFmtFile()));
  TFindingsPane* pane = form->FindingsPane();
  ASSERT_TRUE(pane->isVisible());
  ASSERT_GE(pane->topLevelItemCount(), 3);
  QTreeWidgetItem* fmtFinding = pane->topLevelItem(1);
  EXPECT_EQ(fmtFinding->text(TFindingsPane::ColumnNumber), "204");
  EXPECT_EQ(fmtFinding->text(TFindingsPane::ColumnMessage),
            "Incomplete chunk fmt  at 0x00000014 . Chunk size exceeds the file.");
  EXPECT_EQ(fmtFinding->text(TFindingsPane::ColumnPosition), "0x00000014");
  EXPECT_FALSE(fmtFinding->icon(TFindingsPane::ColumnNumber).isNull()) << "severity icon";

  QTest::mouseClick(pane->viewport(), Qt::LeftButton, {},
                    pane->visualItemRect(fmtFinding).center());
  EXPECT_EQ(form->TreeView1()->currentItem(), Item({0, 0})) << "the truncated fmt chunk";
  EXPECT_EQ(Highlighted(), (std::pair<int64_t, int64_t>{12, 8})) << "its header";
  // By keyboard: Up to the RIFF's own 204.
  QTest::keyClick(pane, Qt::Key_Up);
  EXPECT_EQ(form->TreeView1()->currentItem(), Item({0}));
  EXPECT_EQ(Highlighted(), (std::pair<int64_t, int64_t>{0, 12}));

  dialogs.Picks = {folder.Write("nested.wav", test::NestedOverrunFile())};
  Trigger("Open");
  int row205 = -1;
  for (int i = 0; i < pane->topLevelItemCount(); ++i)
    if (pane->topLevelItem(i)->text(TFindingsPane::ColumnNumber) == "205") row205 = i;
  ASSERT_GE(row205, 0);
  QTreeWidgetItem* finding = pane->topLevelItem(row205);
  QTest::mouseClick(pane->viewport(), Qt::LeftButton, {}, pane->visualItemRect(finding).center());
  EXPECT_EQ(form->TreeView1()->currentItem(), Item({0, 1, 0}))
      << "the chunk inside the nested RIFF";
  EXPECT_TRUE(Item({0, 1, 0})->text(0).contains("junk"));

  dialogs.Picks = {folder.Write("clean.wav", test::CanonicalPcm())};
  Trigger("Open");
  ASSERT_EQ(pane->topLevelItemCount(), 1);
  EXPECT_EQ(pane->topLevelItem(0)->text(0), "No problems found while reading the file.");
  Trigger("Close");
  EXPECT_EQ(pane->topLevelItemCount(), 0);
}

TEST_F(WindowFixture, FindingsPaneHeightAndVisibilityAreRemembered) {
  Show();
  QList<int> sizes = form->Splitter1()->sizes();
  ASSERT_EQ(sizes.size(), 3);
  const int total = sizes[0] + sizes[1] + sizes[2];
  form->Splitter1()->setSizes({total - 120 - 100, 120, 100});
  QApplication::processEvents();
  const int height = form->FindingsPane()->height();
  form->close();
  EXPECT_EQ(form->Session().Settings().FindingsPaneHeight, height);
  form.reset();

  Show();
  EXPECT_EQ(form->FindingsPane()->height(), height);
  QAction* toggle = form->Action("Findings");
  ASSERT_NE(toggle, nullptr);
  EXPECT_TRUE(toggle->isChecked());
  toggle->trigger();
  EXPECT_TRUE(form->FindingsPane()->isHidden());
  form->close();
  form.reset();

  Show();
  EXPECT_TRUE(form->FindingsPane()->isHidden());
  EXPECT_FALSE(form->Action("Findings")->isChecked());
}

TEST_F(WindowFixture, DarkPaletteKeepsBandedRowsReadable) {
  Show(kSample);
  QPalette dark;
  dark.setColor(QPalette::Base, QColor(0x23, 0x23, 0x23));
  dark.setColor(QPalette::Text, QColor(0xE6, 0xE6, 0xE6));
  dark.setColor(QPalette::Window, QColor(0x2D, 0x2D, 0x2D));
  dark.setColor(QPalette::WindowText, QColor(0xE6, 0xE6, 0xE6));
  form->TreeView1()->setPalette(dark);
  auto* delegate = qobject_cast<TTreeItemDelegate*>(form->TreeView1()->itemDelegate());
  QStyleOptionViewItem opt;
  opt.initFrom(form->TreeView1());
  delegate->initStyleOption(&opt, form->TreeView1()->indexFromItem(Item({0, 0})));
  const QColor band = opt.backgroundBrush.color();
  EXPECT_GE(Contrast(band, dark.color(QPalette::Text)), 7.0) << band.name().toStdString();
  EXPECT_NE(band, dark.color(QPalette::Base)) << "the rows are still banded";
  EXPECT_LT(band.lightness(), dark.color(QPalette::Text).lightness());

  form->resize(1000, 640);
  Click(Item({0, 1}));
  QApplication::processEvents();
  QDir().mkpath(RIFFO_SCREENSHOT_DIR);
  ASSERT_TRUE(form->grab().save(RIFFO_SCREENSHOT_DIR "/viewer-dark-tree.png"));
}

TEST_F(WindowFixture, Screenshots) {
  Show(kSample);
  form->resize(1000, 640);
  Click(Item({0, 1}));  // the chunk after fmt
  QApplication::processEvents();
  QDir().mkpath(RIFFO_SCREENSHOT_DIR);
  const QString path = RIFFO_SCREENSHOT_DIR "/viewer-sample-selected.png";
  ASSERT_TRUE(form->grab().save(path));
  EXPECT_GT(QFileInfo(path).size(), 1000);
}

}  // namespace
}  // namespace riffo
