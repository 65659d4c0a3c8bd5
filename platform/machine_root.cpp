#include "platform/machine_root.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <system_error>

#include "platform/metabase/metabase_store.h"
#include "platform/registry/registry_store.h"

namespace platform {

namespace fs = std::filesystem;

void appendMachineRoot(std::string& out) {
  if (const char* env = std::getenv(kMachineEnvVar); env && *env) {
    out += env;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    out += home;
    out += "/.local/share/tamsic/machine";
  } else {
    out += "/var/lib/tamsic/machine";
  }
}

std::string machineRootText() {
  std::string root;
  appendMachineRoot(root);
  return root;
}

fs::path machineRootPath() { return fs::path(machineRootText()); }

namespace {

// The root holds the registry (with the reload token), the console's secret address and
// the access logs: no other user of the machine may look inside. Roots made before this
// rule are closed when next used.
void makePrivate(const fs::path& folder) {
  struct stat info {};
  if (::stat(folder.c_str(), &info) == 0 && (info.st_mode & 077)) ::chmod(folder.c_str(), info.st_mode & 0700);
}

bool makeLayout(const fs::path& root, std::string& error) {
  std::error_code ec;
  for (const char* dir : {"dosdevices", "drive_c", "run", "logs"}) {
    fs::create_directories(root / dir, ec);
    if (ec) {
      error = "cannot create " + (root / dir).string() + ": " + ec.message();
      return false;
    }
  }
  makePrivate(root / "run");
  makePrivate(root / "logs");
  // Drive letters as symbolic links, the way Wine keeps them: c: is the machine's own
  // drive, z: the host's whole file system.
  const std::pair<const char*, const char*> drives[] = {{"c:", "../drive_c"}, {"z:", "/"}};
  for (const auto& [letter, target] : drives) {
    fs::path link = root / "dosdevices" / letter;
    if (!fs::is_symlink(link, ec)) fs::create_directory_symlink(target, link, ec);
  }
  for (const char* dir : {"Inetpub/wwwroot", "Program Files", "WINNT/system32"}) {
    fs::create_directories(root / "drive_c" / dir, ec);
  }
  // A store found is kept whatever else was missing (a root restored from its two files, a
  // lost link): only what is missing is laid out, never a blank store over the settings.
  auto present = [](const fs::path& file) {
    std::error_code ec;
    return fs::exists(file, ec) || ec;
  };
  if (!present(root / "registry.db") && !registry::initStore(root / "registry.db", error)) return false;
  if (!present(root / "metabase.db") && !metabase::initStore(root / "metabase.db", error)) return false;
  return true;
}

bool isLaidOut(const fs::path& root) {
  std::error_code ec;
  return fs::exists(root / "registry.db", ec) && fs::exists(root / "metabase.db", ec) &&
         fs::exists(root / "dosdevices", ec) && fs::exists(root / "run", ec);
}

}  // namespace

fs::path ensureMachineRoot(std::string& error) {
  fs::path root = machineRootPath();
  // Most calls find the root ready; the lock below only serialises first-time set-up.
  if (isLaidOut(root)) {
    makePrivate(root);
    return root;
  }
  std::error_code ec;
  fs::create_directories(root, ec);
  if (ec) {
    error = "cannot create the machine root " + root.string() + ": " + ec.message();
    return {};
  }
  makePrivate(root);
  fs::create_directories(root / "run", ec);
  int fd = ::open((root / "run" / ".machine-setup.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = "cannot lock the machine root " + root.string();
    return {};
  }
  ::flock(fd, LOCK_EX);
  bool ok = isLaidOut(root) || makeLayout(root, error);
  ::flock(fd, LOCK_UN);
  ::close(fd);
  return ok ? root : fs::path();
}

}  // namespace platform
