#pragma once
// Language texts with one "%s" place holder, as the language files write them.
#include <string>
#include <string_view>

namespace tarnix {

// text with its first "%s" replaced by argument ("%%" stands for "%"); a text
// without a place holder is returned unchanged.
std::string FormatText(std::string_view text, std::string_view argument);

}  // namespace tarnix
