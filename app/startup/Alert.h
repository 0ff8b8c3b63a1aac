#pragma once
// Alerts (notification windows) are shown by whichever plugin provides the bus
// service "ui/alert"; the host only fills the record. TAlert owns its texts;
// the service gets the SDK's AlertRecord, whose text pointers live only during
// the call.
#include <cstdint>
#include <string>

namespace tarnix {

inline constexpr std::int32_t kAlertKindDonation = 1;
inline constexpr std::int32_t kAlertKindNewVersion = 4;

struct TAlert {
  std::int32_t kind = 0;
  std::int32_t displayTime = 0;
  std::string title;
  std::string text;
  void* owner = nullptr;
  std::int32_t option1 = 0;
  std::int32_t option2 = 0;
  std::int32_t option3 = -1;
  bool operator==(const TAlert&) const = default;
};

}  // namespace tarnix
