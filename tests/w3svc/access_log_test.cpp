// The access log: lines from many threads at once, and the change of day.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "w3svc/access_log.h"

namespace {

namespace fs = std::filesystem;

class AccessLogTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("tamsic-access-log-" + std::to_string(::getpid()) + "-" +
                                           testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::vector<std::string> lines(const std::string& name) const {
    std::ifstream in(folder_ / name, std::ios::binary);
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
  }

  fs::path folder_;
};

constexpr std::time_t kDay1 = 1796688000;  // 2026-12-08 00:00:00 UTC
constexpr std::time_t kDay2 = kDay1 + 86400;

TEST_F(AccessLogTest, LinesFromManyThreadsArriveWholeAfterOneHeading) {
  constexpr int kThreads = 8;
  constexpr int kLines = 400;
  {
    w3svc::AccessLog log(folder_);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&log, t] {
        // A long agent makes every line long enough for a torn write to show.
        const std::string agent(300, static_cast<char>('a' + t));
        for (int i = 0; i < kLines; ++i) {
          const std::string stem = "/t" + std::to_string(t) + "/line" + std::to_string(i) + ".htm";
          log.write({kDay1 + 5, "127.0.0.1", "GET", stem, "", 200, 1234, agent});
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
  }
  const std::vector<std::string> all = lines("ex261208.log");
  ASSERT_EQ(all.size(), 4u + kThreads * kLines);
  EXPECT_EQ(all[0], "#Software: W3SVC 5.0\r");
  EXPECT_EQ(all[1], "#Version: 1.0\r");
  EXPECT_EQ(all[2], "#Date: 2026-12-08 00:00:05\r");
  EXPECT_EQ(all[3].rfind("#Fields: date time c-ip", 0), 0u);
  std::set<std::string> stems;
  for (std::size_t i = 4; i < all.size(); ++i) {
    const std::string& line = all[i];
    ASSERT_EQ(line.rfind("2026-12-08 00:00:05 127.0.0.1 GET /t", 0), 0u) << line;
    ASSERT_EQ(line.back(), '\r') << line;
    const std::size_t stemStart = line.find(" GET ") + 5;
    const std::string stem = line.substr(stemStart, line.find(' ', stemStart) - stemStart);
    const char owner = static_cast<char>('a' + (stem[2] - '0'));
    EXPECT_EQ(line.substr(line.size() - 301, 300), std::string(300, owner)) << line;
    EXPECT_TRUE(stems.insert(stem).second) << "twice: " << stem;
  }
  EXPECT_EQ(stems.size(), static_cast<std::size_t>(kThreads * kLines));
}

TEST_F(AccessLogTest, ANewDayStartsItsOwnFileAndAnOldFileIsContinued) {
  {
    w3svc::AccessLog log(folder_);
    log.write({kDay1 + 60, "10.0.0.1", "GET", "/a.htm", "x=1", 200, 10, "agent one"});
    log.write({kDay2 + 60, "10.0.0.2", "HEAD", "/b.htm", "", 304, 0, ""});
  }
  {
    // A restart appends to the day's file without a second heading.
    w3svc::AccessLog log(folder_);
    log.write({kDay2 + 61, "10.0.0.3", "GET", "/c d.htm", "", 404, 5, "x"});
  }
  const std::vector<std::string> first = lines("ex261208.log");
  ASSERT_EQ(first.size(), 5u);
  EXPECT_EQ(first[4], "2026-12-08 00:01:00 10.0.0.1 GET /a.htm x=1 200 10 agent+one\r");
  const std::vector<std::string> second = lines("ex261209.log");
  ASSERT_EQ(second.size(), 6u);
  EXPECT_EQ(second[2], "#Date: 2026-12-09 00:01:00\r");
  EXPECT_EQ(second[4], "2026-12-09 00:01:00 10.0.0.2 HEAD /b.htm - 304 0 -\r");
  EXPECT_EQ(second[5], "2026-12-09 00:01:01 10.0.0.3 GET /c+d.htm - 404 5 x\r");
  EXPECT_EQ(fs::status(folder_ / "ex261209.log").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

}  // namespace
