#include "plugin/api/THCPMemberList.h"

#include "core/bus/ExceptionText.h"
#include "core/members/MemberList.h"
#include "plugin/api/THCPMember.h"
#include "transport/log/Log.h"

namespace tarnix {

HCPtr<IHCPMemberList> THCPMemberList::Create(std::shared_ptr<const THCHandlerContext> context) {
  if (!context || context->members == nullptr) return nullptr;
  return HCPtr<IHCPMemberList>::Adopt(new THCPMemberList(std::move(context)));
}

int32_t THCPMemberList::IndexOf(int32_t userID) {
  try {
    return context_->members->IndexOfUserID(userID);
  } catch (...) {
    return -1;
  }
}

IHCPMember* THCPMemberList::Members(int32_t index) {
  try {
    const THCMemberPtr member = context_->members->Get(index);
    return member ? THCPMember::Create(context_, member).Detach() : nullptr;
  } catch (...) {
    return nullptr;
  }
}

int32_t THCPMemberList::Count() {
  try {
    return context_->members->Count();
  } catch (...) {
    return 0;
  }
}

IHCPMember* THCPMemberList::Add(HCBSTR user, HCBSTR addr, int32_t port) {
  THCMemberList& list = *context_->members;
  THCMemberPtr member;
  try {
    const std::string name = BstrToUtf8(user);
    member = list.Add();
    const TXMLMemberType entry = member->Node();
    entry.SetName(name);
    entry.SetDispname(name);
    entry.SetAuth("");
    if (context_->config.GetSetting().GetRegistation().GetEnabled()) {
      // The address comes from the connection service when connecting.
      entry.SetPort(kServiceMemberPort);
      entry.SetAddr("");
    } else {
      entry.SetAddr(BstrToUtf8(addr));
      entry.SetPort(port);
    }
    member->Connect();
    return THCPMember::Create(context_, member).Detach();
  } catch (...) {
    const ExceptionText e = DescribeCurrentException();
    WriteLog("Adding a member failed: " + e.className + " - " + e.message);
    if (member) {
      try {
        const int index = list.IndexOf(member.get());
        if (index >= 0) list.Delete(index, true);
      } catch (...) {
      }
    }
    return nullptr;
  }
}

HCRESULT THCPMemberList::Delete(int32_t index) {
  try {
    context_->members->Delete(index, true);
  } catch (...) {
  }
  return HCPE_ALLRIGHT;
}

}  // namespace tarnix
