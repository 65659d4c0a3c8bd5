// The server's threads: a request's work that blocks does not hold up the other
// connections, and work that is merely busy does not multiply the threads.

#include <gtest/gtest.h>

#include <boost/asio/post.hpp>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include "tests/support/eventually.h"
#include "w3svc/io_threads.h"

namespace {

using namespace std::chrono_literals;

using testing_support::eventually;

TEST(IoThreadsTest, HeldThreadsAreReplacedAndBusyOnesAreNot) {
  w3svc::IoThreads threads(16, 100ms);
  const std::size_t base = threads.threads();
  // Work is posted to one context, as the connections of one thread are.
  boost::asio::io_context& io = threads.next();

  // Many short pieces of work, more than there are threads: no thread is held long.
  std::atomic<int> done{0};
  for (int i = 0; i < 300; ++i)
    boost::asio::post(io, [&] {
      threads.runHolding([] { std::this_thread::sleep_for(200us); });
      ++done;
    });
  EXPECT_TRUE(eventually([&] { return done == 300; }));
  EXPECT_EQ(threads.threads(), base);

  // Work that blocks (a filter waiting for a reload to drain): the context's other
  // connections still get a thread.
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<int> held{0};
  for (int i = 0; i < 3; ++i)
    boost::asio::post(io, [&, released] {
      threads.runHolding([&] {
        ++held;
        released.wait();
      });
    });
  EXPECT_TRUE(eventually([&] { return held == 3; })) << held;
  std::atomic<bool> quick{false};
  boost::asio::post(io, [&] { quick = true; });
  EXPECT_TRUE(eventually([&] { return quick.load(); }));
  EXPECT_LE(threads.threads(), 16u);

  release.set_value();
  threads.stop();
  EXPECT_EQ(threads.threads(), 0u);
}

}  // namespace
