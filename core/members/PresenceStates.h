#pragma once
// Presence states of members and of the user (the same numbers on the wire and
// in the plugin interface), and their texts from the language section "Utils".
#include <cstdint>
#include <functional>
#include <string>

namespace tarnix {

inline constexpr int32_t kStateOffline = 0;
inline constexpr int32_t kStateOnline = 1;
inline constexpr int32_t kStateBusy = 2;
inline constexpr int32_t kStateTemporarily = 3;
inline constexpr int32_t kStateRetiring = 4;
inline constexpr int32_t kStateTelephoning = 5;
inline constexpr int32_t kStateLunchtime = 6;

// "OFFLINE" .. "LUNCHTIME" for 0 to 6; "" for any other value.
const char* PresenceKey(int32_t state);

// The text of section "Utils" for 0 to 6 looked up with text; "" otherwise.
using TTextLookup = std::function<std::string(const std::string& section, const std::string& key)>;
std::string PresenceText(const TTextLookup& text, int32_t state);

}  // namespace tarnix
