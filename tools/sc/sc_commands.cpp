#include "tools/sc/sc_commands.h"

#include <cstdio>
#include <map>

#include "platform/services/service_control.h"
#include "platform/unique_resource.h"

namespace tools::sc {

namespace {

using UniqueService = UniqueResource<SC_HANDLE, &CloseServiceHandle>;

const char* stateName(DWORD state) {
  switch (state) {
    case SERVICE_STOPPED: return "STOPPED";
    case SERVICE_START_PENDING: return "START_PENDING";
    case SERVICE_STOP_PENDING: return "STOP_PENDING";
    case SERVICE_RUNNING: return "RUNNING";
    default: return "UNKNOWN";
  }
}

const char* errorText(DWORD code) {
  switch (code) {
    case ERROR_ACCESS_DENIED: return "Access is denied.";
    case ERROR_FILE_NOT_FOUND: return "The system cannot find the file specified.";
    case ERROR_DEPENDENT_SERVICES_RUNNING:
      return "A stop control has been sent to a service that other running services are dependent on.";
    case ERROR_SERVICE_ALREADY_RUNNING: return "An instance of the service is already running.";
    case ERROR_SERVICE_DOES_NOT_EXIST: return "The specified service does not exist as an installed service.";
    case ERROR_SERVICE_CANNOT_ACCEPT_CTRL: return "The service cannot accept control messages at this time.";
    case ERROR_SERVICE_NOT_ACTIVE: return "The service has not been started.";
    case ERROR_SERVICE_DEPENDENCY_FAIL: return "The dependency service or group failed to start.";
    case ERROR_SERVICE_EXISTS: return "The specified service already exists.";
    case 1053: return "The service did not respond to the start or control request in a timely fashion.";
    default: return "The operation failed.";
  }
}

int failed(std::ostream& out, const char* call) {
  const DWORD code = GetLastError();
  out << "[SC] " << call << " FAILED " << code << ":\n\n" << errorText(code) << "\n\n";
  return 1;
}

void printStatus(std::ostream& out, const std::string& name, const SERVICE_STATUS& status) {
  char exitCode[32];
  std::snprintf(exitCode, sizeof(exitCode), "%u  (0x%x)", status.dwWin32ExitCode, status.dwWin32ExitCode);
  out << "\nSERVICE_NAME: " << name << "\n"
      << "        TYPE               : " << status.dwServiceType << "  WIN32_SHARE_PROCESS\n"
      << "        STATE              : " << status.dwCurrentState << "  " << stateName(status.dwCurrentState) << "\n"
      << "                                ("
      << (status.dwControlsAccepted & SERVICE_ACCEPT_STOP ? "STOPPABLE" : "NOT_STOPPABLE")
      << ", NOT_PAUSABLE, IGNORES_SHUTDOWN)\n"
      << "        WIN32_EXIT_CODE    : " << exitCode << "\n"
      << "        SERVICE_EXIT_CODE  : 0  (0x0)\n"
      << "        CHECKPOINT         : 0x" << std::hex << status.dwCheckPoint << "\n"
      << "        WAIT_HINT          : 0x" << status.dwWaitHint << std::dec << "\n";
}

int usage(std::ostream& out) {
  out << "DESCRIPTION:\n        SC is a command line program used for communicating with the\n"
         "        Service Control Manager and services.\nUSAGE:\n"
         "        sc <command> [service name] <option1> <option2>...\n\n"
         "        Commands: query, start, stop, create, delete\n"
         "        sc create [service name] binPath= <image> [depend= <names separated by />] "
         "[DisplayName= <text>]\n";
  return 1;
}

int create(const std::string& name, const std::vector<std::string>& options, std::ostream& out) {
  // sc.exe options are "word=" followed by the value as the next argument.
  std::map<std::string, std::string> values;
  for (std::size_t i = 0; i + 1 < options.size(); i += 2) {
    std::string key = options[i];
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (key.empty() || key.back() != '=') return usage(out);
    values[key] = options[i + 1];
  }
  if (options.size() % 2 != 0 || !values.count("binpath=")) return usage(out);
  std::string dependencies;
  for (char c : values["depend="]) dependencies += c == '/' ? '\0' : c;
  if (!dependencies.empty()) dependencies += '\0';
  dependencies += '\0';
  UniqueService manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
  if (!manager) return failed(out, "OpenSCManager");
  UniqueService service(CreateServiceA(manager.get(), name.c_str(), values["displayname="].c_str(),
                                       SERVICE_ALL_ACCESS, SERVICE_WIN32_SHARE_PROCESS, SERVICE_DEMAND_START,
                                       SERVICE_ERROR_NORMAL, values["binpath="].c_str(), nullptr, nullptr,
                                       dependencies.c_str(), nullptr, nullptr));
  if (!service) return failed(out, "CreateService");
  out << "[SC] CreateService SUCCESS\n";
  return 0;
}

}  // namespace

int run(const std::vector<std::string>& args, std::ostream& out) {
  if (args.size() < 2) return usage(out);
  std::string command = args[0];
  for (char& c : command) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::string& name = args[1];
  if (command == "create") return create(name, {args.begin() + 2, args.end()}, out);
  if (args.size() != 2) return usage(out);

  const std::map<std::string, DWORD> access = {{"query", SERVICE_QUERY_STATUS},
                                               {"start", SERVICE_START | SERVICE_QUERY_STATUS},
                                               {"stop", SERVICE_STOP | SERVICE_QUERY_STATUS},
                                               {"delete", SERVICE_DELETE}};
  const auto wanted = access.find(command);
  if (wanted == access.end()) return usage(out);
  UniqueService manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return failed(out, "OpenSCManager");
  UniqueService service(OpenServiceA(manager.get(), name.c_str(), wanted->second));
  if (!service) return failed(out, "OpenService");

  SERVICE_STATUS status{};
  if (command == "query") {
    if (!QueryServiceStatus(service.get(), &status)) return failed(out, "QueryServiceStatus");
  } else if (command == "start") {
    if (!StartServiceA(service.get(), 0, nullptr)) return failed(out, "StartService");
    if (!QueryServiceStatus(service.get(), &status)) return failed(out, "QueryServiceStatus");
  } else if (command == "stop") {
    if (!ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) return failed(out, "ControlService");
  } else {
    if (!DeleteService(service.get())) return failed(out, "DeleteService");
    out << "[SC] DeleteService SUCCESS\n";
    return 0;
  }
  printStatus(out, name, status);
  return 0;
}

}  // namespace tools::sc
