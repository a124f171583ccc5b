#pragma once
// TipWindow: the small modal dialog of "实现小目标", a fresh one each time.

#include <QDialog>

#include "app/window_layout.h"

namespace ornivel {

class TipWindow final : public QDialog {
  Q_OBJECT

 public:
  explicit TipWindow(QWidget* owner);

  // The client area of the layout (app/window_layout.h); centred by its outer size, 385 × 365
  // before it is shown.
  static constexpr int kClientWidth = layout::tip::kClientWidth;
  static constexpr int kClientHeight = layout::tip::kClientHeight;
};

// Shows a new TipWindow modally over `owner` and returns when it has been closed.
void ShowTipWindow(QWidget* owner);

}  // namespace ornivel
