#include "core/manager/TaskRouter.h"

#include <memory>

#include "core/CoreContext.h"
#include "core/bus/BusResults.h"
#include "core/bus/ExceptionText.h"
#include "core/bus/ServiceManager.h"
#include "core/manager/TranserManager.h"
#include "core/members/MemberList.h"
#include "transport/connection/TranserThread.h"
#include "transport/log/Log.h"

namespace tarnix {

void FillTaskInfo(const TTranserTask& task, TTranserTaskInfo& info, std::string& initialInfo) {
  info = TTranserTaskInfo{};
  info.TaskUID = task.UID;
  info.TaskName = task.Name.c_str();
  if (task.InitialInfo.empty()) {
    info.InitialInfo = nullptr;
  } else if (task.InitialInfo.back() == 0) {
    info.InitialInfo = reinterpret_cast<const char*>(task.InitialInfo.data());
  } else {
    // A peer's information without its terminator: give the plugin a copy
    // that has one, so it never reads past the bytes.
    initialInfo.assign(task.InitialInfo.begin(), task.InitialInfo.end());
    info.InitialInfo = initialInfo.c_str();
  }
  info.Size = task.Size;
  info.Position = task.Position;
  info.State = task.State;
  info.Stream = nullptr;
  info.Direction = task.Direction;
  info.BufferType = task.BufferType;
  info.PacketType = task.PacketType;
  info.LastTick = task.RefTick;
  info.ElapsedTime = static_cast<uint32_t>(task.ElapsedTime);
  info.Speed = static_cast<uint32_t>(task.Speed);
  info.Reserved1 = 0;
  info.Result = task.Result;
  info.Tag = task.Tag;
}

void RouteMemberTask(THCMemberList& members, THCTranserManager& manager,
                     const TTranserThreadPtr& thread, int code, TTranserTask& task) {
  const THCCoreContext& context = manager.Context();
  const THCTaskRouteHooks& hooks = context.taskHooks;
  // A plugin stream's adapter is freed with its task whatever happens below,
  // after the plugin's own view of the stream has been taken for the call.
  std::shared_ptr<IHCStream> streamView;
  struct ReleaseAdapter {
    const THCTaskRouteHooks& hooks;
    TStream* stream;
    bool armed;
    ~ReleaseAdapter() {
      if (!armed || !hooks.releaseStream) return;
      try {
        hooks.releaseStream(stream);
      } catch (...) {
        // On error the adapter is just forgotten.
      }
    }
  } releaseAdapter{hooks, task.Stream, code == tkFreed && task.Stream != nullptr};

  // 1
  const THCMemberPtr member = members.FindByThread(thread.get());
  if (!member || !member->Online()) {
    // A finished task has nothing left to abort.
    if (task.State != tsFinished) thread->AbortTask(task.UID);
    return;
  }
  // 2
  const BusHandle service = context.services != nullptr
                                ? context.services->GetService(kTaskNotifyServicePrefix + task.Name)
                                : kNoBusHandle;
  if (service == kNoBusHandle) {
    if (code == tkArrived) thread->DenyTask(kTaskResultNoService, task.UID);
    return;
  }
  try {
    // 3, 4
    TTranserTaskInfo info;
    std::string initialInfo;
    std::intptr_t result = HCPE_INTERNAL_ERROR;
    uint32_t tagBefore = 0;
    try {
      FillTaskInfo(task, info, initialInfo);
      tagBefore = info.Tag;
      // At tkFreed the stream's adapter is on its way out: the plugin sees none.
      if (hooks.streamView && task.Stream != nullptr && code != tkFreed) {
        streamView = hooks.streamView(task.Stream);
      }
      info.Stream = streamView.get();
      const std::shared_ptr<IHCPMember> memberView =
          hooks.memberView ? hooks.memberView(*member) : nullptr;
      TTaskNotifyData notify{memberView.get(), &info};
      result = context.services->CallService(service, code, reinterpret_cast<std::intptr_t>(&notify));
    } catch (...) {
      // 5
      const ExceptionText e = DescribeCurrentException();
      WriteLog("OnMemberTaskNotify Exception: " + task.Name + ", " + e.className + " - " + e.message);
      result = HCPE_INTERNAL_ERROR;
    }
    // 6
    if (result != HCPE_ALLRIGHT) {
      WriteLog(std::string("OnMemberTaskNotify Error: ") + HCPECodeName(result) + " - " + task.Name);
      if (result == HCPE_NOTIMPLEMENT_ERROR) {
        thread->DenyTask(kTaskResultNoService, task.UID);
      } else {
        task.Result = kTaskResultPluginFailed;
        if (task.State == tsNew) {
          thread->DenyTask(kTaskResultPluginFailed, task.UID);
        } else if (task.State != tsFinished) {
          thread->AbortTask(task.UID);
        }
      }
    }
    // 7: only a tag the plugin changed in the record is copied back, so a tag
    // given to AcceptTask during the call is not overwritten by the old one.
    if (info.Tag != tagBefore) task.Tag = info.Tag;
    streamView.reset();
  } catch (...) {
    // 8
    task.Result = kTaskResultRouteError;
  }
}

}  // namespace tarnix
