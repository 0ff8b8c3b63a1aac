#pragma once
// THCPMemberList: the plugin's view of the member list (IHCPMemberList). It
// owns nothing and caches nothing: every call reads the list as it stands, and
// Members builds a new THCPMember view each time. Add and Delete change the
// list and the configuration's member list; they belong on the main thread.
//
// Failure values: IndexOf -1, Members and Add null, Count 0; Delete of a
// position outside the list changes nothing and answers 0.
#include <memory>

#include "plugin/api/THCHandlerContext.h"
#include "plugin/sdk/HCPtr.h"
#include "plugin/sdk/THCObject.h"

namespace tarnix {

class THCPMemberList final : public THCObject<IHCPMemberList> {
 public:
  // A new view (one reference, the caller's); null without a member list.
  static HCPtr<IHCPMemberList> Create(std::shared_ptr<const THCHandlerContext> context);

  int32_t HCCALL IndexOf(int32_t userID) override;
  IHCPMember* HCCALL Members(int32_t index) override;
  int32_t HCCALL Count() override;
  // A new member with name and display name user, an empty key, and either the
  // given address and port or (with the connection service enabled) port 8007
  // and no address; then connected. Null, with the member and its element gone
  // again, when any step fails.
  IHCPMember* HCCALL Add(HCBSTR user, HCBSTR addr, int32_t port) override;
  // Disconnects the member and removes it with its element; always 0.
  HCRESULT HCCALL Delete(int32_t index) override;

 private:
  explicit THCPMemberList(std::shared_ptr<const THCHandlerContext> context)
      : context_(std::move(context)) {}
  ~THCPMemberList() override = default;

  const std::shared_ptr<const THCHandlerContext> context_;
};

// The port a member added by a plugin gets while the connection service is in use.
inline constexpr int32_t kServiceMemberPort = 8007;

}  // namespace tarnix
