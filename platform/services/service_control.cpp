#include "platform/services/service_control.h"

#include <signal.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/fs/windows_path.h"
#include "platform/machine_root.h"
#include "platform/registry/registry.h"
#include "platform/registry/unique_key.h"
#include "platform/services/service_launch.h"
#include "platform/services/service_state.h"
#include "platform/text/ascii_case.h"

namespace {

constexpr char kServicesKey[] = "SYSTEM\\CurrentControlSet\\Services";
// How long a start waits for the services it depends on to run.
constexpr auto kDependencyWait = std::chrono::seconds(30);
constexpr int kMaxDependencyDepth = 8;

struct ManagerHandle : KernelObject {
  DWORD access = 0;
};

struct ServiceHandle : KernelObject {
  std::string name;
  DWORD access = 0;
};

ServiceHandle* asService(SC_HANDLE handle) {
  auto* service = dynamic_cast<ServiceHandle*>(handle);
  if (!service) SetLastError(ERROR_INVALID_HANDLE);
  return service;
}

bool allowed(const ServiceHandle& service, DWORD needed) {
  if ((service.access & needed) == needed) return true;
  SetLastError(ERROR_ACCESS_DENIED);
  return false;
}

std::string keyOf(std::string_view name) { return std::string(kServicesKey) + "\\" + std::string(name); }

bool serviceExists(std::string_view name) {
  UniqueKey key;
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyOf(name).c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

std::vector<char> readValue(std::string_view name, const char* value) {
  UniqueKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyOf(name).c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return {};
  DWORD size = 0;
  if (RegQueryValueExA(key.get(), value, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS || size == 0) return {};
  std::vector<char> data(size + 2, '\0');
  if (RegQueryValueExA(key.get(), value, nullptr, nullptr, reinterpret_cast<LPBYTE>(data.data()), &size) !=
      ERROR_SUCCESS)
    return {};
  return data;
}

std::vector<std::string> dependenciesOf(std::string_view name) {
  const std::vector<char> data = readValue(name, "DependOnService");
  std::vector<std::string> names;
  for (std::size_t at = 0; at < data.size() && data[at] != '\0';) {
    std::string item(&data[at]);
    at += item.size() + 1;
    names.push_back(std::move(item));
  }
  return names;
}

std::vector<std::string> allServices() {
  std::vector<std::string> names;
  UniqueKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServicesKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return names;
  for (DWORD index = 0;; ++index) {
    char name[256];
    DWORD chars = sizeof(name);
    if (RegEnumKeyExA(key.get(), index, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, chars);
  }
  return names;
}

bool runningDependentExists(std::string_view name) {
  for (const std::string& other : allServices()) {
    for (const std::string& dependency : dependenciesOf(other)) {
      if (!platform::text::equalsNoCase(dependency, name)) continue;
      if (platform::services::currentState(other).state != SERVICE_STOPPED) return true;
    }
  }
  return false;
}

void fillStatus(SERVICE_STATUS* status, DWORD state) {
  if (!status) return;
  *status = SERVICE_STATUS{};
  status->dwServiceType = SERVICE_WIN32_SHARE_PROCESS;
  status->dwCurrentState = state;
  status->dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  status->dwWaitHint = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ? 2000 : 0;
}

LONG startWithDependencies(const std::string& name, int depth) {
  if (depth > kMaxDependencyDepth) return ERROR_SERVICE_DEPENDENCY_FAIL;
  for (const std::string& dependency : dependenciesOf(name)) {
    if (!serviceExists(dependency)) return ERROR_SERVICE_DEPENDENCY_FAIL;
    if (platform::services::currentState(dependency).state == SERVICE_RUNNING) continue;
    const LONG rc = startWithDependencies(dependency, depth + 1);
    if (rc != ERROR_SUCCESS && rc != ERROR_SERVICE_ALREADY_RUNNING) return ERROR_SERVICE_DEPENDENCY_FAIL;
    const auto deadline = std::chrono::steady_clock::now() + kDependencyWait;
    while (platform::services::currentState(dependency).state != SERVICE_RUNNING) {
      if (std::chrono::steady_clock::now() > deadline) return ERROR_SERVICE_DEPENDENCY_FAIL;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  if (platform::services::currentState(name).state != SERVICE_STOPPED) return ERROR_SERVICE_ALREADY_RUNNING;
  const std::vector<char> image = readValue(name, "ImagePath");
  if (image.empty()) return ERROR_FILE_NOT_FOUND;
  return platform::services::launchDetached(name, image.data());
}

SC_HANDLE serviceHandle(const char* name, DWORD access) {
  auto* service = new ServiceHandle();
  service->name = name;
  service->access = access;
  return service;
}

bool fail(LONG code) {
  SetLastError(static_cast<DWORD>(code));
  return false;
}

}  // namespace

SC_HANDLE OpenSCManagerA(LPCSTR machine, LPCSTR, DWORD access) noexcept try {
  if (machine && *machine) {
    SetLastError(ERROR_INVALID_NAME);  // only the local machine is reachable
    return nullptr;
  }
  std::string error;
  if (platform::ensureMachineRoot(error).empty()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  auto* manager = new ManagerHandle();
  manager->access = access;
  return manager;
} catch (...) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return nullptr;
}

SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR name, DWORD access) noexcept try {
  if (!dynamic_cast<ManagerHandle*>(manager)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (!name || !*name || !serviceExists(name)) {
    SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    return nullptr;
  }
  return serviceHandle(name, access);
} catch (...) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return nullptr;
}

SC_HANDLE CreateServiceA(SC_HANDLE manager, LPCSTR name, LPCSTR displayName, DWORD access, DWORD serviceType,
                         DWORD startType, DWORD, LPCSTR binaryPath, LPCSTR, LPDWORD, LPCSTR dependencies, LPCSTR,
                         LPCSTR) noexcept try {
  auto* owner = dynamic_cast<ManagerHandle*>(manager);
  if (!owner) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if ((owner->access & SC_MANAGER_CREATE_SERVICE) == 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  const std::string_view n = name ? name : "";
  if (n.empty() || n.size() > 256 || n.find_first_of("/\\") != std::string_view::npos || !binaryPath) {
    SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  if (serviceExists(n)) {
    SetLastError(ERROR_SERVICE_EXISTS);
    return nullptr;
  }
  UniqueKey key;
  LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyOf(n).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                            nullptr);
  if (rc != ERROR_SUCCESS) {
    SetLastError(static_cast<DWORD>(rc));
    return nullptr;
  }
  auto setText = [&](const char* value, std::string_view text) {
    std::string data(text);
    RegSetValueExA(key.get(), value, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>(data.size() + 1));
  };
  auto setNumber = [&](const char* value, DWORD number) {
    RegSetValueExA(key.get(), value, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number));
  };
  setText("ImagePath", binaryPath);
  setText("DisplayName", displayName && *displayName ? displayName : name);
  setNumber("Type", serviceType);
  setNumber("Start", startType);
  if (dependencies && *dependencies) {
    std::size_t length = 0;
    while (dependencies[length] != '\0') length += std::strlen(dependencies + length) + 1;
    RegSetValueExA(key.get(), "DependOnService", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(dependencies),
                   static_cast<DWORD>(length + 1));
  }
  return serviceHandle(name, access);
} catch (...) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return nullptr;
}

BOOL DeleteService(SC_HANDLE handle) noexcept try {
  ServiceHandle* service = asService(handle);
  if (!service || !allowed(*service, SERVICE_DELETE)) return FALSE;
  // Windows marks a running service for deletion; here it must be stopped first.
  if (platform::services::currentState(service->name).state != SERVICE_STOPPED)
    return fail(ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
  const LONG rc = RegDeleteTreeA(HKEY_LOCAL_MACHINE, keyOf(service->name).c_str());
  if (rc != ERROR_SUCCESS) return fail(rc);
  std::error_code ec;
  std::filesystem::remove(platform::services::serviceStateFile(service->name), ec);
  return TRUE;
} catch (...) {
  return fail(ERROR_NOT_ENOUGH_MEMORY);
}

BOOL StartServiceA(SC_HANDLE handle, DWORD, LPCSTR*) noexcept try {
  ServiceHandle* service = asService(handle);
  if (!service || !allowed(*service, SERVICE_START)) return FALSE;
  const LONG rc = startWithDependencies(service->name, 0);
  return rc == ERROR_SUCCESS ? TRUE : fail(rc);
} catch (...) {
  return fail(ERROR_NOT_ENOUGH_MEMORY);
}

BOOL ControlService(SC_HANDLE handle, DWORD control, SERVICE_STATUS* status) noexcept try {
  ServiceHandle* service = asService(handle);
  if (!service) return FALSE;
  if (control == SERVICE_CONTROL_INTERROGATE) {
    if (!allowed(*service, SERVICE_QUERY_STATUS)) return FALSE;
    fillStatus(status, platform::services::currentState(service->name).state);
    return TRUE;
  }
  if (control != SERVICE_CONTROL_STOP) return fail(ERROR_INVALID_SERVICE_CONTROL);
  if (!allowed(*service, SERVICE_STOP)) return FALSE;
  const platform::services::RecordedState now = platform::services::currentState(service->name);
  fillStatus(status, now.state);
  if (now.state == SERVICE_STOPPED) return fail(ERROR_SERVICE_NOT_ACTIVE);
  if (runningDependentExists(service->name)) return fail(ERROR_DEPENDENT_SERVICES_RUNNING);
  if (now.pid <= 0) return fail(ERROR_SERVICE_CANNOT_ACCEPT_CTRL);  // not reported in yet
  if (now.state == SERVICE_RUNNING) {
    platform::services::writeRecordedState(service->name, {SERVICE_STOP_PENDING, now.pid});
    fillStatus(status, SERVICE_STOP_PENDING);
  }
  ::kill(now.pid, SIGTERM);
  return TRUE;
} catch (...) {
  return fail(ERROR_NOT_ENOUGH_MEMORY);
}

BOOL QueryServiceStatus(SC_HANDLE handle, SERVICE_STATUS* status) noexcept try {
  ServiceHandle* service = asService(handle);
  if (!service || !allowed(*service, SERVICE_QUERY_STATUS)) return FALSE;
  if (!status) return fail(ERROR_INVALID_PARAMETER);
  fillStatus(status, platform::services::currentState(service->name).state);
  return TRUE;
} catch (...) {
  return fail(ERROR_NOT_ENOUGH_MEMORY);
}

BOOL CloseServiceHandle(SC_HANDLE handle) noexcept {
  if (!dynamic_cast<ManagerHandle*>(handle) && !dynamic_cast<ServiceHandle*>(handle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  delete handle;
  return TRUE;
}
