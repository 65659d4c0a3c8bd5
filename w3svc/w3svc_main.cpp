// w3svc: the web service. Started by the service manager it runs as the service W3SVC and
// reports its state; with --foreground it runs in the terminal until Ctrl-C.

#include <malloc.h>
#include <signal.h>

#include <iostream>

#include "platform/services/service_control.h"
#include "platform/services/service_runtime.h"
#include "w3svc/server.h"

int main(int argc, char** argv) {
  std::string error;
  const auto options = w3svc::parseServerOptions({argv + 1, argv + argc}, error);
  if (!options) {
    std::cerr << "w3svc: " << error << "\n" << w3svc::serverUsage();
    return 2;
  }
  const auto runtime = platform::services::ServiceRuntime::fromEnvironment();
  if (!runtime.isService() && !options->foreground) {
    std::cerr << w3svc::serverUsage();
    return 2;
  }
  // Responses of a few hundred KB are held whole while the filter rewrites them: with glibc's
  // default thresholds each would be mapped and unmapped per request.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
  // One arena for all threads: each arena of its own would keep the largest mix of blocks
  // its threads ever held at once (a big page's body beside its compressed copy), and with
  // threads that come and go the sum of those highs crept up through a long run. The free
  // part of the one arena goes back every few seconds below.
  mallopt(M_ARENA_MAX, 1);

  // Signals are taken by this thread only; every thread made later inherits the mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  runtime.reportState(SERVICE_START_PENDING);
  const auto config = w3svc::loadServerConfig(error);
  if (!config) {
    std::cerr << "w3svc: " << error << std::endl;
    return 1;
  }
  w3svc::Server server(*options, *config);
  if (!server.start(error)) {
    std::cerr << "w3svc: " << error << std::endl;
    return 1;
  }
  if (!error.empty()) std::cerr << "w3svc: " << error << std::endl;
  for (const std::string& address : server.listening()) std::cerr << "w3svc: listening on " << address << std::endl;
  runtime.reportState(SERVICE_RUNNING);

  const timespec trimEvery{5, 0};
  while (sigtimedwait(&stopSignals, nullptr, &trimEvery) < 0) malloc_trim(0);
  runtime.reportState(SERVICE_STOP_PENDING);
  server.stop();
  runtime.reportState(SERVICE_STOPPED);
  return 0;
}
