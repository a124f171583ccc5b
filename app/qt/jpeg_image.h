#pragma once
// JPEG decoding with libjpeg, for the tip picture carried inside the executable.

#include <QByteArray>
#include <QImage>

namespace ornivel {

// The picture in `data`, or a null image when the data is no JPEG libjpeg can read. A broken
// picture never ends the process: libjpeg's errors come back here.
[[nodiscard]] QImage DecodeJpeg(const QByteArray& data);

}  // namespace ornivel
