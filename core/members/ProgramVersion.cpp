#include "core/members/ProgramVersion.h"

#include <charconv>

namespace tarnix {

TMemberVersion ParseProgramVersion(std::string_view text) {
  TMemberVersion version{};
  std::size_t part = 0;
  std::size_t start = 0;
  while (true) {
    const std::size_t dot = text.find('.', start);
    const std::string_view piece =
        text.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
    unsigned value = 0;
    const auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
    if (part >= version.size() || piece.empty() || error != std::errc() ||
        end != piece.data() + piece.size() || value > 0xFFFF) {
      return {};
    }
    version[part++] = static_cast<uint16_t>(value);
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return part == version.size() ? version : TMemberVersion{};
}

}  // namespace tarnix
