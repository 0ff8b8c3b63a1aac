#pragma once
// Result codes of bus procedures, plugin exports and plugin interface methods,
// and the lookup from a code to its name for log lines. The plugin SDK carries
// the same names and values for code built outside the host.
#include <cstdint>

namespace tarnix {

inline constexpr std::int32_t HCPE_ALLRIGHT = 0;
inline constexpr std::int32_t HCPE_INTERNAL_ERROR = 100;
inline constexpr std::int32_t HCPE_FAILED = 101;
inline constexpr std::int32_t HCPE_UNINITIALIZED_ERROR = 500;
inline constexpr std::int32_t HCPE_INVALID_ARG = static_cast<std::int32_t>(0x80070057u);
inline constexpr std::int32_t HCPE_NOTIMPLEMENT_ERROR = -1;

// The name of a result code; every value not in the table is "HCPE_UNDEFINED".
// Procedure results are pointer-sized, so a value that does not fit 32 bits
// is undefined too rather than being cut to a code it is not.
constexpr const char* HCPECodeName(std::intptr_t code) {
  switch (code) {
    case HCPE_ALLRIGHT:
      return "HCPE_ALLRIGHT";
    case HCPE_INTERNAL_ERROR:
      return "HCPE_INTERNAL_ERROR";
    case HCPE_FAILED:
      return "HCPE_FAILED";
    case HCPE_UNINITIALIZED_ERROR:
      return "HCPE_UNINITIALIZED_ERROR";
    case HCPE_INVALID_ARG:
      return "HCPE_INVALID_ARG";
    case HCPE_NOTIMPLEMENT_ERROR:
      return "HCPE_NOTIMPLEMENT_ERROR";
    default:
      return "HCPE_UNDEFINED";
  }
}

}  // namespace tarnix
