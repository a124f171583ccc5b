// Makes the program's assets from their sources:
//   icons/ornivel-<size>.png   the icon (ornivel-icon.svg) at 16, 32, 48, 64 and 128 pixels, with
//   alpha icons/ornivel.ico          the same five images as one Windows icon group: 32-bit
//                              device-independent bitmaps with alpha and their masks
//   tip.jpg                    the tip picture: a QR code of a thank-you message on a drawn
//                              background; a baseline JPEG, 432 × 427, three components,
//                              JFIF 1.01 at 96 × 96 dots per inch
// Run through assets/make-assets.
#include <QApplication>
#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>

#include <cstdio>
#include <iterator>
#include <string>

#include <jpeglib.h>
#include <qrencode.h>

namespace {

void PutLittleEndian(QByteArray& out, quint32 value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// One image of an icon file: a 32-bit bitmap, bottom row first, in blue, green, red and alpha,
// twice as tall in its header as it is (the colour rows, then the mask), then the mask: one bit
// per pixel, set where the pixel is fully transparent, each row padded to four bytes.
QByteArray IconImage(const QImage& argb) {
  const int size = argb.width();
  const int maskRow = ((size + 31) / 32) * 4;
  QByteArray out;
  PutLittleEndian(out, 40, 4);  // BITMAPINFOHEADER
  PutLittleEndian(out, static_cast<quint32>(size), 4);
  PutLittleEndian(out, static_cast<quint32>(2 * size), 4);
  PutLittleEndian(out, 1, 2);   // planes
  PutLittleEndian(out, 32, 2);  // bits per pixel
  PutLittleEndian(out, 0, 4);   // no compression
  PutLittleEndian(out, static_cast<quint32>(size * size * 4 + maskRow * size), 4);
  PutLittleEndian(out, 0, 16);  // resolution and palette: none
  for (int y = size - 1; y >= 0; --y) {
    const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
    for (int x = 0; x < size; ++x) {
      out.append(static_cast<char>(qBlue(line[x])));
      out.append(static_cast<char>(qGreen(line[x])));
      out.append(static_cast<char>(qRed(line[x])));
      out.append(static_cast<char>(qAlpha(line[x])));
    }
  }
  for (int y = size - 1; y >= 0; --y) {
    const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
    QByteArray row(maskRow, '\0');
    for (int x = 0; x < size; ++x) {
      if (qAlpha(line[x]) == 0) row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
    }
    out.append(row);
  }
  return out;
}

QImage RenderIcon(QSvgRenderer& renderer, int size) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  renderer.render(&painter);
  painter.end();
  return image;
}

// The PNGs the Qt program uses, and the Windows icon group with the sizes a title bar, the
// taskbar, Alt+Tab and Explorer take from 100 % to 200 %: bitmaps up to 128, the 256 as a PNG
// (the width and height bytes 0), as the platform reads it.
bool WriteIcons(const QString& svg, const QString& folder) {
  QSvgRenderer renderer(svg);
  if (!renderer.isValid()) return false;
  for (const int size : {16, 32, 48, 64, 128}) {
    if (!RenderIcon(renderer, size).save(folder + QStringLiteral("/ornivel-%1.png").arg(size))) {
      return false;
    }
  }
  constexpr int kIconSizes[] = {16, 20, 24, 32, 40, 48, 64, 128, 256};
  QByteArray directory, images;
  PutLittleEndian(directory, 0, 2);  // ICONDIR: reserved, type 1 (icon), count
  PutLittleEndian(directory, 1, 2);
  PutLittleEndian(directory, std::size(kIconSizes), 2);
  const int firstImage = 6 + 16 * static_cast<int>(std::size(kIconSizes));
  for (const int size : kIconSizes) {
    const QImage image = RenderIcon(renderer, size);
    QByteArray entry;
    if (size < 256) {
      entry = IconImage(image);
    } else {
      QBuffer buffer(&entry);
      if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) return false;
    }
    const char side = static_cast<char>(size < 256 ? size : 0);
    directory.append(side);  // ICONDIRENTRY: width, height, no palette
    directory.append(side);
    PutLittleEndian(directory, 0, 2);
    PutLittleEndian(directory, 1, 2);   // planes
    PutLittleEndian(directory, 32, 2);  // bits per pixel
    PutLittleEndian(directory, static_cast<quint32>(entry.size()), 4);
    PutLittleEndian(directory, static_cast<quint32>(firstImage + images.size()), 4);
    images.append(entry);
  }
  QFile ico(folder + QStringLiteral("/ornivel.ico"));
  return ico.open(QIODevice::WriteOnly) &&
         ico.write(directory + images) == directory.size() + images.size();
}

QImage TipPicture() {
  constexpr int kWidth = 432, kHeight = 427;
  QImage image(kWidth, kHeight, QImage::Format_RGB888);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  // A soft pink background with hearts and notes.
  QLinearGradient background(0, 0, 0, kHeight);
  background.setColorAt(0, QColor(255, 214, 236));
  background.setColorAt(1, QColor(255, 168, 214));
  painter.fillRect(image.rect(), background);
  painter.setPen(Qt::NoPen);
  for (int i = 0; i < 14; ++i) {
    const double x = 20 + (i * 67) % 400, y = 18 + (i * 131) % 390, s = 10 + (i % 4) * 5;
    QPainterPath heart;
    heart.moveTo(x, y + s * 0.3);
    heart.cubicTo(x, y, x - s, y, x - s, y + s * 0.3);
    heart.cubicTo(x - s, y + s * 0.7, x, y + s, x, y + s * 1.2);
    heart.cubicTo(x, y + s, x + s, y + s * 0.7, x + s, y + s * 0.3);
    heart.cubicTo(x + s, y, x, y, x, y + s * 0.3);
    painter.setBrush(QColor(255, 255, 255, 110));
    painter.drawPath(heart);
  }
  // The QR code of the thank-you message, on a white card.
  const char* message =
      "Thank you for listening with Ornivel! \xE8\xB0\xA2\xE8\xB0\xA2\xE4\xBD\xA0";
  QRcode* code = QRcode_encodeString8bit(message, 0, QR_ECLEVEL_M);
  if (code != nullptr) {
    const int modules = code->width;
    const int cell = 300 / (modules + 4);
    const int side = cell * (modules + 4);
    const int left = (kWidth - side) / 2, top = (kHeight - side) / 2;
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(left - 6, top - 6, side + 12, side + 12, 14, 14);
    painter.setBrush(QColor(60, 20, 60));
    for (int y = 0; y < modules; ++y) {
      for (int x = 0; x < modules; ++x) {
        if (code->data[y * modules + x] & 1) {
          painter.drawRect(left + (x + 2) * cell, top + (y + 2) * cell, cell, cell);
        }
      }
    }
    QRcode_free(code);
  }
  painter.end();
  return image;
}

bool WriteBaselineJpeg(const QImage& image, const char* path) {
  FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return false;
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, file);
  info.image_width = static_cast<JDIMENSION>(image.width());
  info.image_height = static_cast<JDIMENSION>(image.height());
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);  // baseline, JFIF 1.01
  info.density_unit = 1;     // dots per inch
  info.X_density = 96;
  info.Y_density = 96;
  jpeg_set_quality(&info, 95, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(image.constScanLine(static_cast<int>(info.next_scanline)));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return std::fclose(file) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: ornivel-make-assets ICON.svg OUTPUT-FOLDER\n");
    return 2;
  }
  QApplication app(argc, argv);
  const QString out = QString::fromLocal8Bit(argv[2]);
  if (!WriteIcons(QString::fromLocal8Bit(argv[1]), out + QStringLiteral("/icons"))) return 1;
  const std::string jpeg = (out + QStringLiteral("/tip.jpg")).toStdString();
  return WriteBaselineJpeg(TipPicture(), jpeg.c_str()) ? 0 : 1;
}
