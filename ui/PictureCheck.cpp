#include "ui/PictureCheck.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>

namespace tarnix {

bool TQtPictureCheck::IsReadableBitmap(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr || size == 0 || size > static_cast<std::size_t>(INT32_MAX)) return false;
  const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data),
                                                   static_cast<qsizetype>(size));
  QBuffer buffer;
  buffer.setData(bytes);
  if (!buffer.open(QIODevice::ReadOnly)) return false;
  QImageReader reader(&buffer, "bmp");
  reader.setDecideFormatFromContent(false);
  const QImage image = reader.read();
  return !image.isNull();
}

}  // namespace tarnix
