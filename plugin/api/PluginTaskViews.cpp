#include "plugin/api/PluginTaskViews.h"

#include "core/members/MemberList.h"
#include "plugin/api/THCPMember.h"
#include "plugin/api/THCPStream.h"
#include "plugin/api/THCStream.h"

namespace tarnix {
namespace {

// The interface as a shared reference whose deleter gives the reference back.
template <class T>
std::shared_ptr<T> Shared(HCPtr<T> object) {
  T* const raw = object.Detach();
  if (raw == nullptr) return nullptr;
  return std::shared_ptr<T>(raw, [](T* p) { p->Release(); });
}

}  // namespace

THCTaskRouteHooks MakePluginTaskRouteHooks(std::shared_ptr<const THCHandlerContext> context) {
  THCTaskRouteHooks hooks;
  hooks.memberView = [context](THCMember& member) -> std::shared_ptr<IHCPMember> {
    if (context->members == nullptr) return nullptr;
    THCMemberPtr shared = context->members->FindByUserID(member.UserID());
    if (shared.get() != &member) return nullptr;  // no longer in the list
    return Shared(THCPMember::Create(context, shared));
  };
  hooks.streamView = [](TStream* stream) -> std::shared_ptr<IHCStream> {
    if (IHCStream* own = THCStreamAdapters::PluginStreamOf(stream)) {
      // The adapter keeps the plugin's stream until the task's removal, and
      // the removal runs on this same thread after the call.
      return Shared(HCPtr<IHCStream>::Share(own));
    }
    return LendHostStream(stream);
  };
  hooks.releaseStream = [](TStream* stream) { THCStreamAdapters::Release(stream); };
  return hooks;
}

}  // namespace tarnix
