#include "core/TextFormat.h"

namespace tarnix {

std::string FormatText(std::string_view text, std::string_view argument) {
  std::string out;
  out.reserve(text.size() + argument.size());
  bool used = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size()) {
      if (text[i + 1] == '%') {
        out += '%';
        ++i;
        continue;
      }
      if (text[i + 1] == 's' && !used) {
        out += argument;
        used = true;
        ++i;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

}  // namespace tarnix
