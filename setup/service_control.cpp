#include "setup/service_control.h"

#include <chrono>
#include <thread>

#include "platform/services/service_control.h"
#include "platform/unique_resource.h"
#include "settings/rule_lists.h"

namespace setup {

namespace {

using UniqueService = UniqueResource<SC_HANDLE, &CloseServiceHandle>;

constexpr DWORD kManagerAccess = SC_MANAGER_CREATE_SERVICE;
constexpr DWORD kServiceAccess = SERVICE_QUERY_STATUS | SERVICE_START | SERVICE_STOP;  // 0x34
constexpr auto kPollInterval = std::chrono::milliseconds(1000);
constexpr int kMaxPolls = 300;

struct ServiceHandles {
  UniqueService manager;
  UniqueService service;
};

bool open(const char* name, ServiceHandles& handles) {
  handles.manager.reset(OpenSCManagerA(nullptr, nullptr, kManagerAccess));
  if (!handles.manager) return false;
  handles.service.reset(OpenServiceA(handles.manager.get(), name, kServiceAccess));
  return static_cast<bool>(handles.service);
}

// Sleeps, then queries, until the state is reached, a query fails (when `endOnFailure`),
// or the polls run out.
void poll(SC_HANDLE service, DWORD target, bool endOnFailure) {
  for (int i = 0; i < kMaxPolls; ++i) {
    std::this_thread::sleep_for(kPollInterval);
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service, &status)) {
      if (endOnFailure) return;
      continue;
    }
    if (status.dwCurrentState == target) return;
  }
}

}  // namespace

bool StartStopService(ServiceAction action, const char* name) {
  ServiceHandles handles;
  if (!open(name, handles)) return false;
  if (action == ServiceAction::kStop) {
    SERVICE_STATUS status{};
    // A refused stop (not running, dependents running) counts as done.
    if (!ControlService(handles.service.get(), SERVICE_CONTROL_STOP, &status)) return true;
    poll(handles.service.get(), SERVICE_STOPPED, true);
  } else {
    StartServiceA(handles.service.get(), 0, nullptr);
    poll(handles.service.get(), SERVICE_RUNNING, false);
  }
  return true;
}

void WaitForServiceState(const std::string& flagText, const char* name) {
  ServiceHandles handles;
  if (!open(name, handles)) return;
  SERVICE_STATUS status{};
  if (!QueryServiceStatus(handles.service.get(), &status)) return;
  const DWORD target = settings::parseNumber(flagText) != 0 ? SERVICE_STOPPED : SERVICE_RUNNING;
  for (int i = 0; i < kMaxPolls; ++i) {
    std::this_thread::sleep_for(kPollInterval);
    if (QueryServiceStatus(handles.service.get(), &status) && status.dwCurrentState == target) return;
  }
}

}  // namespace setup
