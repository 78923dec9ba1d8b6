// The hex view's two controls: a read-only, unwrapped text pane and the
// vertical scroll bar at its right. Both only show what THexView computes and
// hand their events back to it.
#pragma once

#include <QPlainTextEdit>
#include <QScrollBar>
#include <functional>

#include "viewer/HexViewUtils_RichEdit.h"

namespace riffo {

class TQtHexPane final : public QPlainTextEdit, public IHexPane {
  Q_OBJECT
public:
  explicit TQtHexPane(QWidget* parent = nullptr);

  // Where key-downs go (the session's current hex view, if any).
  std::function<void(THexKey, bool shift)> OnKeyDown;
  // Called after the pane changed its height.
  std::function<void()> OnResized;

  void SetPaneFont(const std::u16string& family, int32_t points) override;
  int32_t ClientHeight() const override;
  void ShowPage(const THexPage& page) override;
  void Clear() override;
  void FocusPane() override;

protected:
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
};

class TQtHexScrollBar final : public QScrollBar, public IHexScrollBar {
  Q_OBJECT
public:
  explicit TQtHexScrollBar(QWidget* parent = nullptr);

  std::function<void(THexScrollCode, int32_t position)> OnScroll;

  void Setup(int32_t minimum, int32_t maximum, int32_t pageSize, int32_t largeChange) override;
  void SetPosition(int32_t position) override;

private:
  void ActionTriggered(int action);
  bool FSetting = false;
};

}  // namespace riffo
