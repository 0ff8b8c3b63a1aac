#pragma once
// IHCSystemUi: what the system plugin's user-interface services need of the
// main window: buttons on its tool bar, the member-menu procedures
// (MemberMenuList), the plugin tabs of its vertical tab strip, and handling the
// pending window messages. The main window implements it (with Qt); tests use
// a fake. Every method runs on the user-interface thread.
//
// Handles are the values the "add" methods answer (never 0 on success); the
// "delete" methods accept only those and answer false for anything else.
// Procedures are called through the helpers of SystemUiCalls.h.
#include <cstdint>
#include <string>

#include "plugin/sdk/HCPluginTypes.h"

namespace tarnix {

class IHCSystemUi {
 public:
  virtual ~IHCSystemUi() = default;

  // A button sized to its content with caption, showing the picture at iconPath
  // (empty: the default picture, image 3 of the main window's list); a click
  // calls click(0, 0). The tool panel's top moves to 200. 0 on failure.
  virtual intptr_t AddToolButton(const std::string& caption, const std::string& iconPath,
                                 HCProc click) = 0;
  virtual bool DeleteToolButton(intptr_t button) = 0;

  // Appends proc to MemberMenuList; false when it cannot.
  virtual bool AddMemberMenu(HCProc proc) = 0;
  // Removes proc; false when it is not in the list.
  virtual bool DeleteMemberMenu(HCProc proc) = 0;

  // A tab at the end of the tab strip showing the picture at iconPath (empty:
  // none), whose hint is the caption the procedure gives for (buffer, 2);
  // 0 on failure.
  virtual intptr_t AddContainer(const std::string& iconPath, HCProc proc) = 0;
  // Removes the tab and repaints the strip.
  virtual bool DeleteContainer(intptr_t tab) = 0;

  // Handles the pending window messages of the user-interface thread.
  virtual void ProcessMessages() = 0;
};

}  // namespace tarnix
