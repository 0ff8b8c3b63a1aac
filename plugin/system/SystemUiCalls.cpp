#include "plugin/system/SystemUiCalls.h"

#include <array>
#include <cstring>

#include "core/bus/ExceptionText.h"
#include "transport/log/Log.h"

namespace tarnix {
namespace {

// Runs proc(wParam, lParam); a fault is logged with prefix and gives nullopt.
std::optional<intptr_t> Guarded(const char* prefix, HCProc proc, intptr_t wParam, intptr_t lParam) {
  if (proc == nullptr) return std::nullopt;
  try {
    return proc(wParam, lParam);
  } catch (...) {
    const ExceptionText e = DescribeCurrentException();
    WriteLog(std::string(prefix) + e.className + " - " + e.message);
    return std::nullopt;
  }
}

constexpr const char* kToolMenuException = "ToolMenuException: ";
constexpr const char* kMemberMenuException = "MemberMenuException: ";
constexpr const char* kContainerException = "ContainerException: ";
constexpr const char* kSettingPageException = "SettingPageException: ";

}  // namespace

void CallToolMenuClick(HCProc click) {
  Guarded(kToolMenuException, click, 0, 0);
}

std::optional<std::string> MemberMenuCaption(HCProc proc, IHCPMember* member) {
  const auto applies = Guarded(kMemberMenuException, proc, 1, reinterpret_cast<intptr_t>(member));
  if (!applies || *applies != 0) return std::nullopt;
  std::array<char, kMemberMenuCaptionSize> buffer{};
  THCMenuCaptionRecord record{buffer.data(), kMemberMenuCaptionSize};
  if (!Guarded(kMemberMenuException, proc, 0, reinterpret_cast<intptr_t>(&record))) {
    return std::nullopt;
  }
  buffer.back() = '\0';  // whatever the procedure wrote, the text ends inside the buffer
  return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

void ChooseMemberMenu(HCProc proc, IHCPMember* member) {
  const auto result = Guarded(kMemberMenuException, proc, 2, reinterpret_cast<intptr_t>(member));
  if (result && *result < 0) WriteLog("MemberMenuError");
}

std::string ContainerCaption(HCProc proc) {
  std::array<char, kContainerCaptionSize> buffer{};
  if (!Guarded(kContainerException, proc, reinterpret_cast<intptr_t>(buffer.data()), 2)) return {};
  buffer.back() = '\0';
  return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

void ShowContainer(HCProc proc, intptr_t parentWindow) {
  Guarded(kContainerException, proc, parentWindow, 0);
}

void HideContainer(HCProc proc, intptr_t parentWindow) {
  Guarded(kContainerException, proc, parentWindow, 1);
}

void ResizeContainer(HCProc proc, intptr_t parentWindow) {
  Guarded(kContainerException, proc, parentWindow, 3);
}

void ShowSettingPage(HCProc proc, intptr_t pageWindow) {
  Guarded(kSettingPageException, proc, 1, pageWindow);
}

void HideSettingPage(HCProc proc, intptr_t pageWindow) {
  Guarded(kSettingPageException, proc, 2, pageWindow);
}

void ApplySettingPage(HCProc proc, bool confirmed) {
  Guarded(kSettingPageException, proc, 3, confirmed ? 1 : 0);
}

}  // namespace tarnix
