#pragma once
// THCPMember: the plugin's view of one member (IHCPMember). It keeps only the
// member's identifier and a weak reference, and on every call looks the
// member up in the list again: a view kept after its member left the list
// answers its failure values (null text and interfaces, 0, false) and never
// touches the freed member. Reads come from the member and its configuration
// element, taken under the configuration's lock so that an element removed
// meanwhile is never read.
//
// Threads: handed to task notifications on connection threads; the reads are
// safe there. Connect and the put methods belong on the main thread.
#include <memory>

#include "core/members/Member.h"
#include "plugin/api/THCHandlerContext.h"
#include "plugin/sdk/HCPtr.h"
#include "plugin/sdk/THCObject.h"

namespace tarnix {

class THCPMember final : public THCObject<IHCPMember> {
 public:
  // A new view over member (one reference, the caller's); null without a
  // member list in the context or without a member.
  static HCPtr<IHCPMember> Create(std::shared_ptr<const THCHandlerContext> context,
                                  const THCMemberPtr& member);

  // A new THCPTranser over the member's connection when it is authenticated.
  IHCPTranser* HCCALL Transer() override;
  // The member has a connection that is not closing and is authenticated.
  HCBOOL HCCALL Connected() override;
  HCBSTR HCCALL name() override;
  // The identifier the view was made for (kept even after the member left).
  int32_t HCCALL UserID() override;
  HCBSTR HCCALL DisplayName() override;
  // Writes the element's dispname; nothing is sent.
  void HCCALL put_DisplayName(HCBSTR value) override;
  int32_t HCCALL State() override;
  // Stores the value in memory; no event, nothing sent.
  void HCCALL put_State(int32_t value) override;
  HCBSTR HCCALL Address() override;
  int32_t HCCALL port() override;
  HCBOOL HCCALL IsAnonymous() override;
  // The member's Connect; a failure is not reported.
  void HCCALL Connect() override;
  // <program folder>/config/bubbyicon/<safe member name>.bmp; the file need not exist.
  HCBSTR HCCALL GetBubbyIcon() override;

 private:
  THCPMember(std::shared_ptr<const THCHandlerContext> context, const THCMemberPtr& member)
      : context_(std::move(context)), member_(member), userId_(member->UserID()) {}
  ~THCPMember() override = default;

  // The member while it is still in the list, else null.
  THCMemberPtr Resolve() const;

  const std::shared_ptr<const THCHandlerContext> context_;
  const std::weak_ptr<THCMember> member_;
  const int32_t userId_;
};

}  // namespace tarnix
