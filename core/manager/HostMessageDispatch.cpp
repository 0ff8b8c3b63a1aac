// THCTranserManager: what each host message does, on the main thread.
#include "core/CoreContext.h"
#include "core/bus/ExceptionText.h"
#include "core/bus/ServiceManager.h"
#include "core/manager/BuddyIcon.h"
#include "core/manager/LinkParameters.h"
#include "core/manager/TranserManager.h"
#include "core/members/MemberList.h"
#include "plugin/sdk/HCRecords.h"
#include "transport/connection/TranserThread.h"
#include "transport/log/Log.h"
#include "transport/wire/HostMessages.h"

namespace tarnix {

void THCTranserManager::DispatchHostMessage(const THostMessageRecord& record) {
  const TTranserThreadPtr thread = record.thread.lock();
  if (!thread || !IsRegistered(thread.get())) return;
  const std::span<const uint8_t> data(record.data);
  try {
    switch (record.kind) {
      case imAuthRequest:
        HandleAuthRequest(thread, data);
        break;
      case imAuthResult:
        HandleAuthResult(thread, data);
        break;
      case imVersionCode:
        HandleVersionCode(data);
        break;
      case imSettings:
        HandleSettings(thread, data);
        break;
      case imVersion:
        HandleVersion(thread, data);
        break;
      case imDisplayName:
        HandleDisplayName(thread, data);
        break;
      case imBuddyIcon:
        HandleBuddyIcon(thread, data);
        break;
      case imState:
        HandleState(thread, data);
        break;
      default:
        break;
    }
  } catch (...) {
    const ExceptionText e = DescribeCurrentException();
    WriteLog("Host message " + std::to_string(record.kind) + " dropped: " + e.message);
  }
}

THCMemberPtr THCTranserManager::LinkedMemberOf(const TTranserThreadPtr& thread) const {
  return members_ != nullptr ? members_->FindByThread(thread.get()) : nullptr;
}

void THCTranserManager::RefreshMemberList() const {
  if (context_.ports.refreshMemberList) context_.ports.refreshMemberList();
}

void THCTranserManager::HandleVersionCode(std::span<const uint8_t> data) {
  const int32_t code = ParseInt32Message(data);
  if (code <= kRevisionCode || context_.services == nullptr) return;
  const BusHandle alert = context_.services->GetService("ui/alert");
  if (alert == kNoBusHandle) return;
  const std::string title = context_.Text("main", "MSG_NEWVER");
  const std::string body = context_.Text("main", "MSG_NEWVERDESC");
  AlertRecord record{};
  record.Kind = 0;
  record.Reserved = -1;
  record.DisplayTime = 0;
  record.Title = title.c_str();
  record.Text = body.c_str();
  record.OwnerWindow = context_.ports.mainWindow;
  record.Option1 = 0;
  record.Option2 = 0;
  record.Option3 = -1;
  context_.services->CallService(alert, reinterpret_cast<std::intptr_t>(&record), 0);
}

void THCTranserManager::HandleSettings(const TTranserThreadPtr& thread, std::span<const uint8_t> data) {
  const TSettingsMessage settings = ParseSettingsMessage(data);
  if (settings.bufferSize <= 0) {
    WriteLog("imSettings dropped: buffer size " + std::to_string(settings.bufferSize));
    return;
  }
  if (settings.serverPort < 1 || settings.serverPort > 65535) {
    WriteLog("imSettings dropped: port " + std::to_string(settings.serverPort));
    return;
  }
  // 1
  const int size = AgreedBufferSize(settings.bufferSize,
                                    context_.config.GetSetting().GetSender().GetBuffersize());
  {
    std::scoped_lock lock(thread->ThreadLock());
    thread->SetBufferSize(size);
  }
  // 2 to 5
  const THCMemberPtr member = LinkedMemberOf(thread);
  if (!member) return;
  const TXMLMemberType& node = member->Node();
  const TLinkUpdate update = DecideLinkUpdate(node.GetAddr(), node.GetPort(), settings.serverPort,
                                              settings.addressUnknown, thread->Socket().RemoteHost());
  if (update.port) node.SetPort(*update.port);
  if (update.addr) node.SetAddr(*update.addr);
}

void THCTranserManager::HandleVersion(const TTranserThreadPtr& thread, std::span<const uint8_t> data) {
  const TVersionMessage version = ParseVersionMessage(data);
  const THCMemberPtr member = LinkedMemberOf(thread);
  if (!member) return;
  member->SetVersion({version.major, version.minor, version.release, version.build});
}

void THCTranserManager::HandleDisplayName(const TTranserThreadPtr& thread,
                                          std::span<const uint8_t> data) {
  const std::string name = ParseDisplayName(data);
  if (name.size() > kMaxDisplayNameLength) {
    WriteLog("imDisplayName dropped: " + std::to_string(name.size()) + " bytes, more than " +
             std::to_string(kMaxDisplayNameLength));
    return;
  }
  const THCMemberPtr member = LinkedMemberOf(thread);
  if (!member) return;
  member->Node().SetDispname(name);
  RefreshMemberList();
}

void THCTranserManager::HandleBuddyIcon(const TTranserThreadPtr& thread, std::span<const uint8_t> data) {
  const THCMemberPtr member = LinkedMemberOf(thread);
  if (!member) return;
  const std::string name = member->Name();
  if (data.size() > kMaxBuddyIconSize) {
    WriteLog("Buddy icon of " + name + " dropped: " + std::to_string(data.size()) +
             " bytes, more than " + std::to_string(kMaxBuddyIconSize));
  } else if (!(context_.ports.isReadableBitmap ? context_.ports.isReadableBitmap(data)
                                               : IsPlausibleBitmap(data))) {
    WriteLog("Buddy icon of " + name + " dropped: not a bitmap");
  } else {
    SaveBuddyIcon(context_.programFolder, name, data);
  }
  if (context_.ports.repaintMemberTree) context_.ports.repaintMemberTree();
}

void THCTranserManager::HandleState(const TTranserThreadPtr& thread, std::span<const uint8_t> data) {
  const int32_t state = ParseInt32Message(data);
  const THCMemberPtr member = LinkedMemberOf(thread);
  if (!member) return;
  member->SetState(state);
  RefreshMemberList();
}

}  // namespace tarnix
