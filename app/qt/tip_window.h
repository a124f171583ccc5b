#pragma once
// TipWindow: the small modal dialog of "实现小目标", a fresh one each time.

#include <QDialog>

namespace ornivel {

class TipWindow final : public QDialog {
  Q_OBJECT

 public:
  explicit TipWindow(QWidget* owner);

  // The outer size the layout was drawn for is 385 × 365; this is the client area it leaves.
  static constexpr int kClientWidth = 379;
  static constexpr int kClientHeight = 334;
};

// Shows a new TipWindow modally over `owner` and returns when it has been closed.
void ShowTipWindow(QWidget* owner);

}  // namespace ornivel
