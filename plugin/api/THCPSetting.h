#pragma once
// THCPSetting: settings storage for plugins (IHCPSetting) over the element
// setting/plugin of the configuration, under which each plugin keeps one child
// element named after its module. The element is looked up on every call.
//
// SetSetting(module, xml) parses xml first; only text that parses replaces the
// module's element (the first child of that name) and the configuration is
// saved. Text that does not parse changes nothing and answers
// HCPE_INTERNAL_ERROR, as does a failed save (the new element then stays in
// memory). GetSetting answers the module's element as XML text, appending an
// empty one first when there is none (kept until the next save); a module name
// that is not an XML element name answers the empty string and adds nothing.
// Meant for the main thread; the document's own lock is held for each call.
#include <memory>
#include <string_view>

#include "plugin/api/THCHandlerContext.h"
#include "plugin/sdk/HCPtr.h"
#include "plugin/sdk/THCObject.h"

namespace tarnix {

class THCPSetting final : public THCObject<IHCPSetting> {
 public:
  // A new view (one reference, the caller's); null without a configuration.
  static HCPtr<IHCPSetting> Create(std::shared_ptr<const THCHandlerContext> context);

  HCRESULT HCCALL SetSetting(const char* moduleName, HCBSTR xml) override;
  HCBSTR HCCALL GetSetting(const char* moduleName) override;
  HCBSTR HCCALL Language() override;       // syscon/language
  int32_t HCCALL MaxSendCount() override;  // setting/sender/maxsendcount

 private:
  explicit THCPSetting(std::shared_ptr<const THCHandlerContext> context)
      : context_(std::move(context)) {}
  ~THCPSetting() override = default;

  const std::shared_ptr<const THCHandlerContext> context_;
};

// True when name can be an XML element name (letters, digits and "_-.:",
// not starting with a digit, "-" or ".").
bool IsElementName(std::string_view name);

}  // namespace tarnix
