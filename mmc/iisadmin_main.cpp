// The IIS administration service (IISADMIN), on which the web service depends. It keeps the
// machine's administration state available while it runs; until the console host lives
// here it only reports its state and waits for the stop control.

#include <signal.h>

#include <cstdio>
#include <cstring>

#include "platform/services/service_control.h"
#include "platform/services/service_runtime.h"

int main(int argc, char** argv) {
  const bool foreground = argc > 1 && std::strcmp(argv[1], "--foreground") == 0;
  const auto runtime = platform::services::ServiceRuntime::fromEnvironment();
  if (!runtime.isService() && !foreground) {
    std::fprintf(stderr, "iisadmin: start it as the service IISADMIN (sc start IISADMIN) or with --foreground\n");
    return 2;
  }
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
  runtime.reportState(SERVICE_RUNNING);
  int received = 0;
  sigwait(&stopSignals, &received);
  runtime.reportState(SERVICE_STOPPED);
  return 0;
}
