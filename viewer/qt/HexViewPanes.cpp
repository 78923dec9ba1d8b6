#include "viewer/qt/HexViewPanes.h"

#include <QKeyEvent>
#include <algorithm>
#include <QTextBlock>
#include <QTextCursor>

namespace riffo {

TQtHexPane::TQtHexPane(QWidget* parent) : QPlainTextEdit(parent) {
  setReadOnly(true);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setWordWrapMode(QTextOption::NoWrap);
  // Read-only, yet with a caret the keys move, as the paging keys go by it.
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setUndoRedoEnabled(false);
}

void TQtHexPane::SetPaneFont(const std::u16string& family, int32_t points) {
  QFont f(QString::fromStdU16String(family), points);
  f.setStyleHint(QFont::Monospace);
  setFont(f);
}

int32_t TQtHexPane::ClientHeight() const { return viewport()->height(); }

void TQtHexPane::ShowPage(const THexPage& page) {
  setUpdatesEnabled(false);
  QStringList lines;
  lines.reserve(static_cast<qsizetype>(page.Lines.size()));
  for (const auto& line : page.Lines) lines.append(QString::fromStdU16String(line));
  // New text takes the format of the caret's position, and a caret placed in
  // highlighted bytes would carry the highlight over the whole new page. The
  // page starts plain; only the selection's runs are marked below.
  setCurrentCharFormat(QTextCharFormat());
  setPlainText(lines.join(QLatin1Char('\n')));
  QTextCursor whole(document());
  whole.select(QTextCursor::Document);
  whole.setCharFormat(QTextCharFormat());

  QTextCharFormat marked;
  marked.setFontWeight(QFont::Bold);
  marked.setForeground(QColor(0, 0, 255));
  marked.setBackground(QColor(255, 255, 160));
  QTextCursor cursor(document());
  for (const auto& h : page.Highlights) {
    const QTextBlock block = document()->findBlockByNumber(h.Line);
    if (!block.isValid()) continue;
    cursor.setPosition(block.position() + h.Start);
    cursor.setPosition(block.position() + h.Start + h.Length, QTextCursor::KeepAnchor);
    cursor.mergeCharFormat(marked);
  }
  setUpdatesEnabled(true);
}

void TQtHexPane::Clear() { clear(); }

void TQtHexPane::FocusPane() { setFocus(Qt::OtherFocusReason); }

void TQtHexPane::keyPressEvent(QKeyEvent* event) {
  THexKey key = THexKey::Other;
  switch (event->key()) {
    case Qt::Key_Up: key = THexKey::Up; break;
    case Qt::Key_Down: key = THexKey::Down; break;
    case Qt::Key_PageUp: key = THexKey::PageUp; break;
    case Qt::Key_PageDown: key = THexKey::PageDown; break;
    case Qt::Key_Home: key = THexKey::Home; break;
    case Qt::Key_End: key = THexKey::End; break;
    default: break;
  }
  if (OnKeyDown && key != THexKey::Other)
    OnKeyDown(key, (event->modifiers() & Qt::ShiftModifier) != 0);
  // Not consumed: the pane still moves its caret.
  QPlainTextEdit::keyPressEvent(event);
}

void TQtHexPane::resizeEvent(QResizeEvent* event) {
  QPlainTextEdit::resizeEvent(event);
  if (OnResized) OnResized();
}

TQtHexScrollBar::TQtHexScrollBar(QWidget* parent) : QScrollBar(Qt::Vertical, parent) {
  setFocusPolicy(Qt::NoFocus);  // no tab stop
  setFixedWidth(16);
  setRange(0, HEX_SCROLL_MAX);
  connect(this, &QAbstractSlider::actionTriggered, this, &TQtHexScrollBar::ActionTriggered);
}

void TQtHexScrollBar::Setup(int32_t minimum, int32_t maximum, int32_t pageSize,
                            int32_t largeChange) {
  setRange(minimum, maximum);
  // The bar's page step both sizes the thumb and is the large change.
  setPageStep(std::max(pageSize, largeChange));
  setSingleStep(1);
}

// Also works while the bar is applying a user action: the position set here
// is the one the action ends with. Moving the slider from here raises a
// slider action of its own, which is not a user's and is ignored.
void TQtHexScrollBar::SetPosition(int32_t position) {
  const bool outer = FSetting;
  FSetting = true;
  setSliderPosition(position);
  FSetting = outer;
}

void TQtHexScrollBar::ActionTriggered(int action) {
  if (!OnScroll || FSetting) return;
  switch (action) {
    case SliderSingleStepSub: OnScroll(THexScrollCode::LineUp, sliderPosition()); break;
    case SliderSingleStepAdd: OnScroll(THexScrollCode::LineDown, sliderPosition()); break;
    case SliderPageStepSub: OnScroll(THexScrollCode::PageUp, sliderPosition()); break;
    case SliderPageStepAdd: OnScroll(THexScrollCode::PageDown, sliderPosition()); break;
    case SliderMove: OnScroll(THexScrollCode::ThumbTrack, sliderPosition()); break;
    case SliderToMinimum: OnScroll(THexScrollCode::Top, sliderPosition()); break;
    case SliderToMaximum: OnScroll(THexScrollCode::Bottom, sliderPosition()); break;
    default: break;
  }
}

}  // namespace riffo
