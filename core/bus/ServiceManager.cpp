#include "core/bus/ServiceManager.h"

#include <cxxabi.h>

#include <optional>
#include <utility>

#include "core/bus/BusResults.h"
#include "core/bus/ExceptionText.h"
#include "transport/log/Log.h"

namespace tarnix {
namespace {

// Read for every text the user sees; logging it would drown the log.
constexpr std::string_view kUnloggedService = "ui/language/readvalue";

}  // namespace

BusHandle THCServiceManager::CreateService(std::string name, BusProc proc) {
  WriteLog("CreateService: " + name);
  return Add(std::move(name), std::move(proc));
}

BusHandle THCServiceManager::GetService(std::string_view name) const {
  return Find(name);
}

std::intptr_t THCServiceManager::CallService(BusHandle handle, std::intptr_t wParam,
                                             std::intptr_t lParam) {
  std::optional<RunningCall> call = StartCall(handle);
  if (!call) {
    return HCPE_NOTIMPLEMENT_ERROR;
  }
  const std::string& name = call->Message().name;
  if (handle != DebugService() && name != kUnloggedService) {
    WriteLog("CallService: " + name);
  }
  try {
    return call->Invoke(wParam, lParam);
  } catch (abi::__forced_unwind&) {
    throw;  // thread cancellation must unwind on
  } catch (...) {
    const ExceptionText error = DescribeCurrentException();
    WriteLog("CallServiceError: " + name + " - " + error.className + ", " + error.message);
    return HCPE_INTERNAL_ERROR;
  }
}

void THCServiceManager::DeleteService(BusHandle handle) {
  Remove(handle);
}

}  // namespace tarnix
