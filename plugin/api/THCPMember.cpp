#include "plugin/api/THCPMember.h"

#include <mutex>

#include "core/manager/BuddyIcon.h"
#include "core/members/MemberList.h"
#include "plugin/api/THCPTranser.h"
#include "transport/connection/TranserThread.h"

namespace tarnix {
namespace {

HCBSTR ToBstr(const std::string& text) {
  return TBstr::FromUtf8(text).Detach();
}

// Runs read on the member's element under the configuration's lock, unless the
// element has been removed; fallback otherwise or on any error.
template <class T, class Read>
T WithEntry(const THCMemberPtr& member, T fallback, Read read) {
  if (!member) return fallback;
  try {
    const TXMLMemberType& entry = member->Node();
    std::scoped_lock lock(entry.ConfigLock());
    if (member->Removed()) return fallback;
    return read(entry);
  } catch (...) {
    return fallback;
  }
}

}  // namespace

HCPtr<IHCPMember> THCPMember::Create(std::shared_ptr<const THCHandlerContext> context,
                                     const THCMemberPtr& member) {
  if (!context || context->members == nullptr || !member) return nullptr;
  return HCPtr<IHCPMember>::Adopt(new THCPMember(std::move(context), member));
}

THCMemberPtr THCPMember::Resolve() const {
  THCMemberPtr member = member_.lock();
  if (!member) return nullptr;
  try {
    // Still the same member at its identifier: not deleted meanwhile.
    if (context_->members->FindByUserID(userId_) != member) return nullptr;
  } catch (...) {
    return nullptr;
  }
  return member;
}

IHCPTranser* THCPMember::Transer() {
  try {
    const THCMemberPtr member = Resolve();
    if (!member || !member->Online()) return nullptr;
    const TTranserThreadPtr link = member->Link();
    if (!link) return nullptr;
    return THCPTranser::Create(link).Detach();
  } catch (...) {
    return nullptr;
  }
}

HCBOOL THCPMember::Connected() {
  try {
    const THCMemberPtr member = Resolve();
    return member && member->Connected() && member->Online() ? HC_TRUE : HC_FALSE;
  } catch (...) {
    return HC_FALSE;
  }
}

HCBSTR THCPMember::name() {
  return WithEntry<HCBSTR>(Resolve(), nullptr,
                           [](const TXMLMemberType& e) { return ToBstr(e.GetName()); });
}

int32_t THCPMember::UserID() {
  return userId_;
}

HCBSTR THCPMember::DisplayName() {
  return WithEntry<HCBSTR>(Resolve(), nullptr,
                           [](const TXMLMemberType& e) { return ToBstr(e.GetDispname()); });
}

void HCCALL THCPMember::put_DisplayName(HCBSTR value) {
  WithEntry<bool>(Resolve(), false, [value](const TXMLMemberType& e) {
    e.SetDispname(BstrToUtf8(value));
    return true;
  });
}

int32_t THCPMember::State() {
  try {
    const THCMemberPtr member = Resolve();
    return member ? member->State() : 0;
  } catch (...) {
    return 0;
  }
}

void THCPMember::put_State(int32_t value) {
  try {
    if (const THCMemberPtr member = Resolve()) member->SetState(value);
  } catch (...) {
  }
}

HCBSTR THCPMember::Address() {
  try {
    const THCMemberPtr member = Resolve();
    return member ? ToBstr(member->Address()) : nullptr;
  } catch (...) {
    return nullptr;
  }
}

int32_t THCPMember::port() {
  try {
    const THCMemberPtr member = Resolve();
    return member ? member->Port() : 0;
  } catch (...) {
    return 0;
  }
}

HCBOOL THCPMember::IsAnonymous() {
  return WithEntry<HCBOOL>(Resolve(), HC_FALSE, [](const TXMLMemberType& e) {
    return e.GetAnonymous() ? HC_TRUE : HC_FALSE;
  });
}

void THCPMember::Connect() {
  try {
    if (const THCMemberPtr member = Resolve()) member->Connect();
  } catch (...) {
    // Not reported to the plugin.
  }
}

HCBSTR THCPMember::GetBubbyIcon() {
  const THCMemberPtr member = Resolve();
  const std::string name = WithEntry<std::string>(
      member, std::string(), [](const TXMLMemberType& e) { return e.GetName(); });
  if (!member) return nullptr;
  try {
    const std::filesystem::path path = BuddyIconPath(context_->programFolder, name);
    return path.empty() ? nullptr : ToBstr(path.string());
  } catch (...) {
    return nullptr;
  }
}

}  // namespace tarnix
