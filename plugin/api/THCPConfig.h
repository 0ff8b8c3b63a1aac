#pragma once
// THCPConfig: the plugin's view of the user's own account and profile
// (IHCPConfig). Nothing is cached: every call reads the configuration document
// (setting/registation/name, setting/profile/dispname, setting/server/port,
// setting/sender/buffersize), the member list's own state or the connection
// service client as they stand. Paths are under the program folder.
//
// Failure values: null text, 0, false; a put that cannot be done changes
// nothing. Meant for the main thread, like the document it shows.
#include <memory>

#include "plugin/api/THCHandlerContext.h"
#include "plugin/sdk/HCPtr.h"
#include "plugin/sdk/THCObject.h"

namespace tarnix {

class THCPConfig final : public THCObject<IHCPConfig> {
 public:
  // A new view (one reference, the caller's); null without a configuration.
  static HCPtr<IHCPConfig> Create(std::shared_ptr<const THCHandlerContext> context);

  HCBSTR HCCALL name() override;
  void HCCALL put_name(HCBSTR value) override;
  void HCCALL put_DisplayName(HCBSTR value) override;
  HCBSTR HCCALL DisplayName() override;
  HCBOOL HCCALL Logined() override;
  // The address part of the connection service's answer about this user; ""
  // when it cannot be learned.
  HCBSTR HCCALL IPAddress() override;
  int32_t HCCALL port() override;
  HCBSTR HCCALL ServiceURL() override;
  // <program folder>/config/bubbyicon/myself.bmp
  HCBSTR HCCALL BubbyIcon() override;
  int32_t HCCALL State() override;
  // Sends a changed state to every linked member; the main window shows the
  // state again in every case.
  void HCCALL put_State(int32_t value) override;
  // <program folder>/plugins/system/bubbyicon/@stranger.bmp
  HCBSTR HCCALL StrangerIcon() override;
  int32_t HCCALL BufferSize() override;

 private:
  explicit THCPConfig(std::shared_ptr<const THCHandlerContext> context)
      : context_(std::move(context)) {}
  ~THCPConfig() override = default;

  const std::shared_ptr<const THCHandlerContext> context_;
};

// The picture shown for peers without one of their own, under the program folder.
std::filesystem::path StrangerIconPath(const std::filesystem::path& programFolder);

}  // namespace tarnix
