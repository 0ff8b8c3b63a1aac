#pragma once
// The program version as the four numbers of imVersion.
#include <array>
#include <cstdint>
#include <string_view>

namespace tarnix {

// major, minor, release, build
using TMemberVersion = std::array<uint16_t, 4>;

// "a.b.c.d" as four numbers; all 0 unless the text has exactly four parts,
// each a decimal number of 0..65535.
TMemberVersion ParseProgramVersion(std::string_view text);

}  // namespace tarnix
