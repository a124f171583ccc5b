#include "app/qt/tip_window.h"

#include <QFile>
#include <QLabel>
#include <QScreen>

#include "app/qt/jpeg_image.h"
#include "app/qt/resources.h"

namespace ornivel {
namespace {

QLabel* MakePinkLabel(QWidget* parent, const char* name, QRect geometry, const char* text) {
  auto* label = new QLabel(QString::fromUtf8(text), parent);
  label->setObjectName(QString::fromUtf8(name));
  label->setGeometry(geometry);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setAutoFillBackground(true);
  QPalette palette = label->palette();
  palette.setColor(QPalette::Window, QColor(255, 168, 255));
  palette.setColor(QPalette::WindowText, QColor(128, 0, 128));
  label->setPalette(palette);
  QFont font = label->font();
  font.setPixelSize(16);
  font.setWeight(QFont::Normal);
  label->setFont(font);
  return label;
}

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
  setWindowModality(Qt::ApplicationModal);

  MakePinkLabel(this, "标签1", QRect(76, 8, 228, 19), "某的小目标，你准备贡献多少？");
  MakePinkLabel(this, "标签2", QRect(40, 286, 304, 34),
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
