#pragma once
// A fresh machine root for one benchmark run, named by TAMSIC_MACHINE and removed at exit.

#include <stdlib.h>

#include <filesystem>
#include <string>

#include "platform/machine_root.h"

namespace bench {

struct TemporaryMachine {
  TemporaryMachine() {
    char pattern[] = "/tmp/tamsic-bench-XXXXXX";
    root = mkdtemp(pattern);
    setenv(platform::kMachineEnvVar, root.c_str(), 1);
    std::string error;
    platform::ensureMachineRoot(error);
  }
  ~TemporaryMachine() {
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }
  TemporaryMachine(const TemporaryMachine&) = delete;
  TemporaryMachine& operator=(const TemporaryMachine&) = delete;
  std::filesystem::path root;
};

}  // namespace bench
