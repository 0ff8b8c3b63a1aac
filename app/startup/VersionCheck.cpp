#include "app/startup/VersionCheck.h"

#include <charconv>
#include <cstdint>
#include <stdexcept>

namespace tarnix {
namespace {

// A whole decimal integer, blanks around it allowed; nullopt otherwise.
std::optional<long long> ParseInteger(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

int LastVersionNumber(const std::string& version) {
  const size_t dot = version.rfind('.');
  const std::string last = dot == std::string::npos ? version : version.substr(dot + 1);
  const std::optional<long long> value = ParseInteger(last);
  if (!value || *value < INT32_MIN || *value > INT32_MAX) return 0;
  return static_cast<int>(*value);
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

std::optional<TAlert> VersionCheckAlert(const std::string& answer,
                                        const std::string& programVersion,
                                        const ILanguage& language) {
  const std::vector<std::string> lines = SplitLines(answer);
  if (lines.size() <= 1) return std::nullopt;
  const std::optional<long long> remote = ParseInteger(lines.front());
  if (!remote) throw std::invalid_argument("not a version number: '" + lines.front() + "'");
  if (LastVersionNumber(programVersion) >= *remote) return std::nullopt;
  TAlert alert;
  alert.kind = kAlertKindNewVersion;
  alert.displayTime = 30000;
  alert.title = language.Text("Utils", "BL_NEWVER");
  for (size_t i = 1; i < lines.size(); ++i) alert.text += lines[i] + "\r\n";
  return alert;
}

bool IsDonationLaunch(long long launchNumber) { return (launchNumber + 50) % 100 == 0; }

TAlert DonationAlert(const ILanguage& language) {
  TAlert alert;
  alert.kind = kAlertKindDonation;
  alert.displayTime = 0;
  alert.title = language.Text("Utils", "BL_DONATE");
  alert.text = DonationText();
  return alert;
}

const char* DonationText() {
  return "<a href=\"http://tarnix.example.org/donate/\">"
         "<img src=\"http://tarnix.example.org/donate/banner.png\" border=\"0\" "
         "alt=\"Support Tarnix\"></a>";
}

}  // namespace tarnix
