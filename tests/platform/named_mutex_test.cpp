// Named mutexes: shared by name across handles and processes, per-thread recursive
// ownership, time-outs, and release when the holding process dies.

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/sync/named_mutex.h"
#include "tests/support/machine_fixture.h"

namespace {

class NamedMutexTest : public testing_support::MachineTest {};

TEST_F(NamedMutexTest, TwoHandlesOfOneNameExcludeEachOther) {
  UniqueHandle a(CreateMutexA(nullptr, FALSE, "LogFile"));
  ASSERT_TRUE(a);
  UniqueHandle b(CreateMutexA(nullptr, FALSE, "LogFile"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  ASSERT_EQ(WaitForSingleObject(a.get(), INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(a.get(), 0), WAIT_OBJECT_0);  // recursive for its owner
  std::thread([&] {
    EXPECT_EQ(WaitForSingleObject(b.get(), 50), WAIT_TIMEOUT);
    EXPECT_FALSE(ReleaseMutex(b.get()));
  }).join();
  EXPECT_TRUE(ReleaseMutex(a.get()));
  EXPECT_TRUE(ReleaseMutex(a.get()));
  EXPECT_FALSE(ReleaseMutex(a.get()));
  std::thread([&] {
    EXPECT_EQ(WaitForSingleObject(b.get(), 1000), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(b.get()));
  }).join();
}

TEST_F(NamedMutexTest, ThreadsTakeTurnsWithoutOverlap) {
  UniqueHandle m(CreateMutexA(nullptr, FALSE, "Turns"));
  std::atomic<int> inside{0}, overlaps{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(WaitForSingleObject(m.get(), INFINITE), WAIT_OBJECT_0);
        if (++inside != 1) ++overlaps;
        --inside;
        ReleaseMutex(m.get());
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(overlaps, 0);
}

// Guards against a dead holder locking every other process out for good.
TEST_F(NamedMutexTest, AHolderThatDiesReleasesTheMutexToOtherProcesses) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    setenv(platform::kMachineEnvVar, (root_.string() + "/.").c_str(), 1);
    HANDLE h = CreateMutexA(nullptr, TRUE, "Crash");
    char byte = h ? 1 : 0;
    if (write(ready[1], &byte, 1) != 1) _exit(2);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    _exit(0);  // dies holding it
  }
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  ASSERT_EQ(byte, 1);
  UniqueHandle m(CreateMutexA(nullptr, FALSE, "Crash"));
  EXPECT_EQ(WaitForSingleObject(m.get(), 50), WAIT_TIMEOUT);
  // As on Windows: the next owner learns that the last one died holding it; after a proper
  // release the mutex is an ordinary one again.
  EXPECT_EQ(WaitForSingleObject(m.get(), 10000), WAIT_ABANDONED);
  EXPECT_TRUE(ReleaseMutex(m.get()));
  EXPECT_EQ(WaitForSingleObject(m.get(), 1000), WAIT_OBJECT_0);
  EXPECT_TRUE(ReleaseMutex(m.get()));
  int status = 0;
  waitpid(child, &status, 0);
  close(ready[0]);
  close(ready[1]);
}

}  // namespace
