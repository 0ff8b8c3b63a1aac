#pragma once
// The picture check through Qt's image reader: a received buddy icon is kept
// only when it reads as a bitmap.
#include "app/startup/UiPorts.h"

namespace tarnix {

class TQtPictureCheck final : public IPictureCheckPort {
 public:
  bool IsReadableBitmap(const std::uint8_t* data, std::size_t size) override;
};

}  // namespace tarnix
