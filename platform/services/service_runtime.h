#pragma once
// The side of a service process: what the manager handed it at start (its name and the
// lock that tells the manager it is alive) and the state it reports. A program started by
// hand (not by the manager) has no service identity and every report does nothing.

#include <string>

#include "platform/win_types.h"

namespace platform::services {

class ServiceRuntime {
 public:
  // Takes the identity from the environment the manager set, and keeps the liveness lock
  // out of the program's own children.
  static ServiceRuntime fromEnvironment();

  bool isService() const { return !name_.empty(); }
  const std::string& name() const { return name_; }
  // START_PENDING, RUNNING, STOP_PENDING or STOPPED, with this process's id.
  void reportState(DWORD state) const;

 private:
  std::string name_;
};

}  // namespace platform::services
