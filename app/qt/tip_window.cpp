#include "app/qt/tip_window.h"

#include <algorithm>

#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QScreen>

#include "app/qt/jpeg_image.h"
#include "app/qt/resources.h"

namespace ornivel {
namespace {

// A label of the tip dialog: its rectangle filled pink, its text purple, wrapped at word
// boundaries and drawn whole. Text taller than the rectangle runs on below it over the dialog's
// background instead of being cut at the rectangle's edge, so the widget is as tall as the
// text needs and only its top part, the label's rectangle, is filled.
class TipLabel final : public QLabel {
 public:
  TipLabel(QWidget* parent, const char* name, QRect rectangle, const char* text)
      : QLabel(QString::fromUtf8(text), parent), fillHeight_(rectangle.height()) {
    setObjectName(QString::fromUtf8(name));
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Its own roles: inherited from the dialog they would be the button face and its text.
    setBackgroundRole(QPalette::Window);
    setForegroundRole(QPalette::WindowText);
    setAutoFillBackground(false);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(255, 168, 255));
    colours.setColor(QPalette::WindowText, QColor(128, 0, 128));
    setPalette(colours);
    QFont labelFont = font();
    labelFont.setPixelSize(16);
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
  setWindowTitle(QString::fromUtf8("   微信扫一扫，打赏作者"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(kClientWidth, kClientHeight);
  setBackgroundRole(QPalette::Button);
  setAutoFillBackground(true);
  setAttribute(Qt::WA_DeleteOnClose);
  // It blocks the main window only: a download's question, which belongs to no window, stays
  // answerable while the dialog is open.
  setWindowModality(Qt::WindowModal);

  new TipLabel(this, "标签1", QRect(76, 8, 228, 19), "某的小目标，你准备贡献多少？");
  new TipLabel(this, "标签2", QRect(40, 286, 304, 34),
               "不打赏？！大坏蛋，人家要拿小拳拳捶你胸口，(?\?ˇ?ˇ?\?)哼！");
  auto* picture = new QLabel(this);
  picture->setObjectName(QString::fromUtf8("图片框2"));
  picture->setGeometry(66, 35, 243, 243);
  EnsureResources();
  QFile file(QStringLiteral(":/ornivel/tip.jpg"));
  const QImage image = file.open(QIODevice::ReadOnly) ? DecodeJpeg(file.readAll()) : QImage();
  if (!image.isNull()) {
    // Stretched to fill the box, without keeping the aspect ratio, smoothly.
    picture->setPixmap(QPixmap::fromImage(
        image.scaled(243, 243, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
  }
  // Centred on the screen like the main window, by its outer size.
  if (const QScreen* screen = owner != nullptr ? owner->screen() : nullptr) {
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - 385) / 2, area.y() + (area.height() - 365) / 2);
  }
}

void ShowTipWindow(QWidget* owner) {
  auto* dialog = new TipWindow(owner);
  dialog->exec();  // deletes itself when closed
}

}  // namespace ornivel
