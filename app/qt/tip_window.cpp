#include "app/qt/tip_window.h"

#include <algorithm>

#include <QFile>
#include <QLabel>
#include <QPainter>

#include "app/qt/jpeg_image.h"
#include "app/qt/layout_text.h"
#include "app/qt/resources.h"

namespace ornivel {
namespace {

// A label of the tip dialog: its rectangle filled pink, its text purple, wrapped at word
// boundaries and drawn whole. Text taller than the rectangle runs on below it over the dialog's
// background instead of being cut at the rectangle's edge, so the widget is as tall as the
// text needs and only its top part, the label's rectangle, is filled.
class TipLabel final : public QLabel {
 public:
  TipLabel(QWidget* parent, const layout::tip::Label& label)
      : QLabel(Text(label.text), parent), fillHeight_(label.place.dy) {
    const QRect rectangle = Geometry(label.place);
    setObjectName(Text(label.name));
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Its own roles: inherited from the dialog they would be the button face and its text.
    setBackgroundRole(QPalette::Window);
    setForegroundRole(QPalette::WindowText);
    setAutoFillBackground(false);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Colour(layout::tip::kLabelFill));
    colours.setColor(QPalette::WindowText, Colour(layout::tip::kLabelText));
    setPalette(colours);
    QFont labelFont = font();
    labelFont.setPixelSize(layout::tip::kLabelFontPixels);
    labelFont.setWeight(QFont::Normal);
    setFont(labelFont);
    const int textHeight =
        QFontMetrics(labelFont)
            .boundingRect(QRect(0, 0, rectangle.width(), 1 << 20), kTextFlags, this->text())
            .height();
    setGeometry(rectangle.x(), rectangle.y(), rectangle.width(),
                std::max(rectangle.height(), textHeight));
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(QRect(0, 0, width(), fillHeight_), palette().color(backgroundRole()));
    painter.setPen(palette().color(foregroundRole()));
    painter.setFont(font());
    painter.drawText(rect(), kTextFlags, text());
  }

 private:
  static constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
  int fillHeight_;
};

}  // namespace

TipWindow::TipWindow(QWidget* owner) : QDialog(owner) {
  setObjectName(QStringLiteral("TipWindow"));
  setWindowTitle(Text(layout::tip::kTitle));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(layout::tip::kClientWidth, layout::tip::kClientHeight);
  setBackgroundRole(QPalette::Button);
  setAutoFillBackground(true);
  setAttribute(Qt::WA_DeleteOnClose);
  // It blocks the main window only: a download's question, which belongs to no window, stays
  // answerable while the dialog is open.
  setWindowModality(Qt::WindowModal);

  for (const layout::tip::Label& label : layout::tip::kLabels) new TipLabel(this, label);
  auto* picture = new QLabel(this);
  picture->setObjectName(Text(layout::tip::kPictureName));
  picture->setGeometry(Geometry(layout::tip::kPicture));
  EnsureResources();
  QFile file(QStringLiteral(":/ornivel/tip.jpg"));
  const QImage image = file.open(QIODevice::ReadOnly) ? DecodeJpeg(file.readAll()) : QImage();
  if (!image.isNull()) {
    // Stretched to fill the box, without keeping the aspect ratio, smoothly.
    picture->setPixmap(QPixmap::fromImage(
        image.scaled(picture->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
  }
  // Centred on the screen like the main window, by its outer size.
  PlaceCentred(*this, owner != nullptr ? owner->screen() : nullptr);
}

void ShowTipWindow(QWidget* owner) {
  auto* dialog = new TipWindow(owner);
  dialog->exec();  // deletes itself when closed
}

}  // namespace ornivel
