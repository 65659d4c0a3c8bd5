#include "stats/stats_clock.h"

namespace stats {

namespace {

class SystemClock final : public Clock {
 public:
  std::time_t now() const override { return std::time(nullptr); }
};

}  // namespace

const Clock& systemClock() {
  static const SystemClock clock;
  return clock;
}

}  // namespace stats
