#pragma once
// The routing of plugin tasks: every task notification of a connection whose
// task is not named "internal" goes to the bus service "transer/tasknotify/" +
// task name, with a TTaskNotifyData record (the member's plugin view and a
// TTranserTaskInfo copy of the task). Runs on the connection thread, under the
// connection's Lock and its task list's lock.
//
// Results: a task of a member that is not online is aborted; a new task that
// no service takes is denied with 400; a service's -1 denies with 400, any
// other failure sets 301 and denies (new task) or aborts it; an error of the
// routing itself sets 312.
#include <string>

#include "core/members/Member.h"
#include "plugin/sdk/HCRecords.h"

namespace tarnix {

class THCMemberList;
class THCTranserManager;
struct TTranserTask;

inline constexpr int32_t kTaskResultNoService = 400;
inline constexpr int32_t kTaskResultPluginFailed = 301;
inline constexpr int32_t kTaskResultRouteError = 312;
inline constexpr const char* kTaskNotifyServicePrefix = "transer/tasknotify/";

void RouteMemberTask(THCMemberList& members, THCTranserManager& manager,
                     const TTranserThreadPtr& thread, int code, TTranserTask& task);

// The plugin's copy of a task. The record points into task and into
// initialInfo (a NUL-terminated copy of the initial information, made when
// the bytes lack the terminator), so both must outlive the record. The Stream
// field is left null.
void FillTaskInfo(const TTranserTask& task, TTranserTaskInfo& info, std::string& initialInfo);

}  // namespace tarnix
