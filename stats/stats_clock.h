#pragma once
// Where the statistics take the time from, so tests can move it.

#include <ctime>

namespace stats {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::time_t now() const = 0;  // seconds since 1970, UTC
};

const Clock& systemClock();

}  // namespace stats
