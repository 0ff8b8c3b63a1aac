#pragma once
// Calls of the procedures plugins hand to the user-interface services, with
// their fixed codes and records, each guarded so that nothing a plugin throws
// reaches the window that calls it. The main window and the settings dialog
// use these; they run on the user-interface thread.
//
// Log lines: "ToolMenuException: ", "MemberMenuException: ",
// "ContainerException: " or "SettingPageException: " + class + " - " + message
// for a fault inside a procedure, and "MemberMenuError" for a negative answer
// to a chosen member action.
#include <cstdint>
#include <optional>
#include <string>

#include "plugin/sdk/HCInterfaces.h"

namespace tarnix {

// Sizes of the caption buffers the host hands to procedures.
inline constexpr int32_t kMemberMenuCaptionSize = 128;
inline constexpr int32_t kContainerCaptionSize = 256;  // 255 characters and a NUL

// Tool bar button clicked: click(0, 0).
void CallToolMenuClick(HCProc click);

// Whether a member action applies to member (proc(1, member) answers 0), and
// then its caption (proc(0, caption record)); nullopt when it does not apply or
// the procedure failed.
std::optional<std::string> MemberMenuCaption(HCProc proc, IHCPMember* member);
// The user chose the action for member: proc(2, member).
void ChooseMemberMenu(HCProc proc, IHCPMember* member);

// The tab's caption: proc(buffer, 2) with a 255-character buffer starting empty.
std::string ContainerCaption(HCProc proc);
// proc(parentWindow, 0) selected, (parentWindow, 1) deselected, (parentWindow, 3) resized.
void ShowContainer(HCProc proc, intptr_t parentWindow);
void HideContainer(HCProc proc, intptr_t parentWindow);
void ResizeContainer(HCProc proc, intptr_t parentWindow);

// Setting pages: (1, page window) chosen, (2, page window) hidden, (3, 1)
// confirmed, (3, 0) cancelled.
void ShowSettingPage(HCProc proc, intptr_t pageWindow);
void HideSettingPage(HCProc proc, intptr_t pageWindow);
void ApplySettingPage(HCProc proc, bool confirmed);

}  // namespace tarnix
