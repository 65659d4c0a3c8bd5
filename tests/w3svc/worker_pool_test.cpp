// The programs' threads: tasks that block do not hold up the others.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "tests/support/eventually.h"
#include "w3svc/worker_pool.h"

namespace {

using namespace std::chrono_literals;

using testing_support::eventually;

TEST(WorkerPoolTest, BlockedTasksMakeRoomForTheNextOnesUpToTheLimit) {
  w3svc::WorkerPool pool(6);
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<int> running{0};
  for (int i = 0; i < 5; ++i) {
    pool.post([&running, released] {
      ++running;
      released.wait();  // a filter waiting for a reload to drain
    });
  }
  EXPECT_TRUE(eventually([&] { return running == 5; })) << running;
  std::atomic<bool> quick{false};
  pool.post([&] { quick = true; });
  EXPECT_TRUE(eventually([&] { return quick.load(); }));
  EXPECT_LE(pool.threads(), 6u);
  release.set_value();
  pool.join();  // the tasks end before what they use goes
}

TEST(WorkerPoolTest, JoinRunsWhatIsQueued) {
  std::atomic<int> done{0};
  {
    w3svc::WorkerPool pool(1);
    for (int i = 0; i < 100; ++i) pool.post([&] { ++done; });
    pool.join();
    EXPECT_EQ(done, 100);
    EXPECT_EQ(pool.threads(), 0u);
  }
}

}  // namespace
