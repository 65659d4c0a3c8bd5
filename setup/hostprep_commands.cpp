#include "setup/hostprep_commands.h"

#include <cctype>

#include "platform/text/ascii_case.h"
#include "setup/filter_registration.h"
#include "setup/service_control.h"
#include "setup/settings_upgrade.h"
#include "setup/site_commands.h"

namespace setup {

namespace {

void bothServices(const std::string& verb) {
  if (platform::text::equalsNoCase(verb, "STOP")) {
    if (StartStopService(ServiceAction::kStop, kWebService)) StartStopService(ServiceAction::kStop, kAdminService);
  } else if (platform::text::equalsNoCase(verb, "START")) {
    if (StartStopService(ServiceAction::kStart, kAdminService)) StartStopService(ServiceAction::kStart, kWebService);
  }
}

int numbered(char command, const HostprepArguments& args) {
  switch (command) {
    case '1':
      if (args.c.empty()) {
        DeleteFromSiteRoots(args.b);
      } else {
        CopyToSiteRoots(args.b, args.c);
      }
      return 0;
    case '2':
      if (args.c.empty()) bothServices(args.b);
      return 0;
    case '4':
      if (!args.b.empty()) WaitForServiceState(args.b, kWebService);
      return 0;
    case '5':
      UpgradeSettings();
      return 0;
    case '6':
      return CountSites();
    case '7':
      if (!args.b.empty()) CreateSharedKey(args.b);
      return 0;
    case '8':
      InitSiblingSiteKeys();
      return 0;
    case '9':
      if (!args.b.empty() && !args.c.empty()) WaitForServiceState(args.b, args.c.c_str());
      return 0;
    default:
      return 0;  // a digit without a command
  }
}

}  // namespace

void InstallFilter(const std::string& name, const std::string& description, const std::string& dllPath,
                   const std::string& option) {
  // A name that cannot be registered changes nothing: the running server stays up.
  if (!AcceptsFilterName(name)) return;
  if (!StartStopService(ServiceAction::kStop, kWebService)) return;
  if (!RegisterFilter(name, dllPath, description)) return;
  WaitForServiceState("1", kWebService);
  if (platform::text::equalsNoCase(option, "OFF")) return;
  StartStopService(ServiceAction::kStart, kWebService);
}

void RemoveFilter(const std::string& name) {
  if (!UnregisterFilter(name)) return;
  StartStopService(ServiceAction::kStop, kWebService);
  StartStopService(ServiceAction::kStop, kAdminService);
  if (StartStopService(ServiceAction::kStart, kAdminService)) StartStopService(ServiceAction::kStart, kWebService);
}

int RunHostprep(const HostprepArguments& args) {
  // Mended: an empty first argument named the filter "", and its removal deleted the key
  // of every filter (/LM/W3SVC/Filters itself). A command line without A does nothing.
  if (args.a.empty() || args.overlong) return 0;
  const char first = args.a.empty() ? '\0' : args.a[0];
  if (first >= '1' && first <= '9') return args.a.size() == 1 ? numbered(first, args) : 0;
  if (!args.b.empty() || !args.c.empty()) {
    InstallFilter(args.a, args.b, args.c, args.d);
  } else {
    RemoveFilter(args.a);
  }
  return 0;
}

}  // namespace setup
