#include "core/members/PostAuthentication.h"

#include "app/config/hcConfig.h"
#include "core/bus/ExceptionText.h"
#include "core/members/Member.h"
#include "transport/log/Log.h"

namespace tarnix {

bool SendPostAuthenticationExchange(THCMember& member) {
  if (member.Anonymous()) return false;
  member.SendDisplayName();
  member.SendState();
  member.SendIcon();
  member.SendSettings();
  member.SendVersion();
  return true;
}

bool SaveConfigLogged(const TXMLConfigType& config) {
  try {
    SaveConfig(config);
    return true;
  } catch (...) {
    WriteLog("Saving the configuration failed: " + DescribeCurrentException().message);
    return false;
  }
}

}  // namespace tarnix
