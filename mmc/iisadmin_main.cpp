// The IIS administration service (IISADMIN), on which the web service depends. It hosts the
// management console: the IIS manager tree and the property sheets with the pages the
// registered extensions add, drawn in a browser from a loopback address with a per-run
// secret. The address is printed and kept in <machine>/run/console-url.txt.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "mmc/console_server.h"
#include "mmc/site_tree.h"
#include "platform/machine_root.h"
#include "platform/services/service_control.h"
#include "platform/services/service_runtime.h"
#include "platform/ui/ui_thread.h"

namespace {

void usage() {
  std::fprintf(stderr,
               "usage: iisadmin [--foreground] [--port P]\n"
               "  Started as the service IISADMIN (sc start IISADMIN) or with --foreground.\n"
               "  --port P  the console's loopback port (default: a free one)\n");
}

// The console's address carries its secret: for the machine's owner only, also when an
// older run left the file readable to others.
void writePrivateFile(const std::filesystem::path& file, const std::string& text) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return;
  ::fchmod(fd, 0600);
  const ssize_t written = ::write(fd, text.data(), text.size());
  (void)written;  // a missing address only costs the administrator the printed one
  ::close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  bool foreground = false;
  long port = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--foreground") == 0) {
      foreground = true;
    } else if (std::strcmp(argv[i], "--port") == 0 && i + 1 < argc) {
      char* end = nullptr;
      port = std::strtol(argv[++i], &end, 10);
      if (*end || port < 0 || port > 65535) {
        usage();
        return 2;
      }
    } else {
      usage();
      return 2;
    }
  }
  const auto runtime = platform::services::ServiceRuntime::fromEnvironment();
  if (!runtime.isService() && !foreground) {
    usage();
    return 2;
  }
  std::string error;
  const auto root = platform::ensureMachineRoot(error);
  if (root.empty()) {
    std::fprintf(stderr, "iisadmin: %s\n", error.c_str());
    return 1;
  }
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  sigprocmask(SIG_BLOCK, &stopSignals, nullptr);

  platform::ui::UiThread ui;
  ui.runAndSettle([] { mmc::showSiteTree(); });
  try {
    mmc::ConsoleServer server(ui, static_cast<unsigned short>(port));
    const std::string url = server.url();
    writePrivateFile(root / "run" / "console-url.txt", url + "\n");
    std::printf("Console: %s\n", url.c_str());
    std::fflush(stdout);
    runtime.reportState(SERVICE_RUNNING);
    int received = 0;
    sigwait(&stopSignals, &received);
    runtime.reportState(SERVICE_STOP_PENDING);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "iisadmin: cannot serve the console on port %ld: %s\n", port, e.what());
    runtime.reportState(SERVICE_STOPPED);
    return 1;
  }
  std::error_code ec;
  std::filesystem::remove(root / "run" / "console-url.txt", ec);
  runtime.reportState(SERVICE_STOPPED);
  return 0;
}
