#pragma once
// Stopping, starting and waiting for the web service and the administration service
// through the service control manager: each state is polled once a second, 300 times at
// most, and a state never reached is not reported.

#include <string>

namespace setup {

constexpr const char* kWebService = "W3SVC";
constexpr const char* kAdminService = "IISADMIN";

enum class ServiceAction { kStop, kStart };

// True when the service could be addressed, whatever became of it.
bool StartStopService(ServiceAction action, const char* name);
// Waits for STOPPED when flagText's decimal value is not 0, for RUNNING when it is 0.
void WaitForServiceState(const std::string& flagText, const char* name);

}  // namespace setup
