#include "core/members/PresenceStates.h"

namespace tarnix {

const char* PresenceKey(int32_t state) {
  static constexpr const char* kKeys[] = {"OFFLINE", "ONLINE",      "BUSY",     "TEMPORARILY",
                                          "RETIRING", "TELEPHONING", "LUNCHTIME"};
  if (state < 0 || state > kStateLunchtime) return "";
  return kKeys[state];
}

std::string PresenceText(const TTextLookup& text, int32_t state) {
  const std::string key = PresenceKey(state);
  if (key.empty() || !text) return {};
  return text("Utils", key);
}

}  // namespace tarnix
