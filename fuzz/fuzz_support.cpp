#include "fuzz/fuzz_support.h"

#include <stdlib.h>

#include <filesystem>

#include "platform/machine_root.h"

namespace fuzz_support {

namespace {

struct TemporaryMachine {
  std::filesystem::path root;
  ~TemporaryMachine() {
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }
};

}  // namespace

std::string useTemporaryMachine() {
  static TemporaryMachine machine;
  if (machine.root.empty()) {
    char pattern[] = "/tmp/tamsic-fuzz-XXXXXX";
    if (!mkdtemp(pattern)) abort();
    machine.root = pattern;
    setenv(platform::kMachineEnvVar, pattern, 1);
    std::string error;
    if (platform::ensureMachineRoot(error).empty()) abort();
  }
  return machine.root.string();
}

std::size_t Input::number(std::size_t limit) {
  if (rest_.empty() || limit == 0) return 0;
  const auto value = static_cast<unsigned char>(rest_.front());
  rest_.remove_prefix(1);
  return value % limit;
}

std::string_view Input::until(char separator) {
  const std::size_t at = rest_.find(separator);
  const std::string_view piece = rest_.substr(0, at);
  rest_ = at == std::string_view::npos ? std::string_view() : rest_.substr(at + 1);
  return piece;
}

}  // namespace fuzz_support
