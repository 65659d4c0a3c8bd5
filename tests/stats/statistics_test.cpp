// The statistics files and the report built from them, on a machine root of their own.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "platform/sync/named_mutex.h"
#include "stats/background_flush.h"
#include "stats/page_line.h"
#include "stats/report_builder.h"
#include "stats/statistics.h"
#include "stats/statistics_buffer.h"
#include "stats/statistics_log.h"
#include "stats/stats_clock.h"
#include "tests/support/machine_fixture.h"

namespace {

using stats::LoggedResponse;

constexpr char kFullMask[] = "%H%O%C%P%M%L%Z%G%D%W";

class FakeClock final : public stats::Clock {
 public:
  std::time_t now() const override { return now_; }
  std::time_t now_ = 1000000;
};

LoggedResponse compressed(const std::string& url, long long body = 2000, long long sent = 500) {
  LoggedResponse r;
  r.url = url;
  r.bodyLength = body;
  r.sentLength = sent;
  r.acceptedEncoding = 1;
  r.contentType = "text/html";
  return r;
}

LoggedResponse uncompressed(long long body) {
  LoggedResponse r;
  r.url = "/image.png";
  r.bodyLength = body;
  return r;
}

class StatisticsTest : public testing_support::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    mutex_ = UniqueHandle(CreateMutexA(nullptr, FALSE, "LogFile"));
    ASSERT_TRUE(mutex_);
  }

  // Logs one response and writes it at once.
  void log(const LoggedResponse& r, const std::string& mask = kFullMask, const std::string& refresh = "Never") {
    add(r, mask, refresh);
    buffer_.flush(mutex_.get());
  }

  void add(const LoggedResponse& r, const std::string& mask = kFullMask, const std::string& refresh = "Never") {
    buffer_.add(r, {mask, kLogFolder, refresh}, clock_.now());
  }

  std::string logFile(const char* name) const {
    std::ifstream in(driveC(std::string("Inetpub/wwwroot/gziplog/") + name), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  bool logExists(const char* name) const {
    return std::filesystem::exists(driveC(std::string("Inetpub/wwwroot/gziplog/") + name));
  }

  void writeLogFile(const char* name, const std::string& text) const {
    writeHostFile(driveC(std::string("Inetpub/wwwroot/gziplog/") + name), text);
  }

  void writeTemplate(const std::string& text) const {
    writeHostFile(driveC("Inetpub/wwwroot/tamsicreport/rtemplate.dat"), text);
  }

  std::optional<std::string> report(const std::string& mask = kFullMask) const {
    return stats::buildReport(mask, kLogFolder, "C:\\Inetpub\\wwwroot");
  }

  static constexpr const char* kLogFolder = "C:\\Inetpub\\wwwroot\\gziplog";
  UniqueHandle mutex_;
  FakeClock clock_;
  stats::StatisticsBuffer buffer_;
};

// Page lines.

TEST_F(StatisticsTest, PageLineCarriesTheMasksColumnsInOrder) {
  LoggedResponse r = compressed("/a,b\\c.htm", 2000, 500);
  r.unoptimizedSize = 2500;
  r.servedFromCache = true;
  log(r);
  log(compressed("/plain.htm", 1000, 250), "%H%O%C");
  LoggedResponse deflate = compressed("/d.htm", 400, 100);
  deflate.acceptedEncoding = 2;
  log(deflate, "%P%D");
  EXPECT_EQ(logFile("pagestat.txt"),
            "/a;b/c.htm,2500,2000,500,80.00,text/html,1,1,0\r\n"
            "/plain.htm,1000,1000,250\r\n"
            "/d.htm,400,400,100,75.00,1\r\n");
}

TEST_F(StatisticsTest, SeparatorsInsideTheMimeTypeOrUrlCannotSplitTheLine) {
  // Mended: a ',' or a line end in the MIME type shifted the fields or split the line, and
  // the report stopped reading there.
  LoggedResponse r = compressed("/x\r\ny.htm");
  r.contentType = "text/html,\r\nX-Evil: 1";
  log(r);
  log(compressed("/after.htm"));
  EXPECT_EQ(logFile("pagestat.txt"),
            "/x  y.htm,2000,2000,500,75.00,text/html;  X-Evil: 1,0,1,0\r\n"
            "/after.htm,2000,2000,500,75.00,text/html,0,1,0\r\n");
  const auto statistics = stats::readStatistics(kLogFolder, kFullMask);
  EXPECT_EQ(statistics.totals.totalCR, 2u);
}

TEST_F(StatisticsTest, LogFolderIsCreatedAlongItsWholePath) {
  buffer_.add(compressed("/deep.htm"), {kFullMask, "C:\\Logs\\tamsic\\site1\\stats", "Never"}, clock_.now());
  buffer_.flush(mutex_.get());
  EXPECT_TRUE(std::filesystem::exists(driveC("Logs/tamsic/site1/stats/pagestat.txt")));
}

// Site totals and refresh periods.

TEST_F(StatisticsTest, UncompressedResponsesAddToTheSiteTotals) {
  log(uncompressed(300));
  clock_.now_ += 50;
  log(uncompressed(200));
  ASSERT_TRUE(logExists("sitestat.txt"));
  EXPECT_EQ(logFile("sitestat.txt"), "1000000 500.000000 2");
  EXPECT_FALSE(logExists("pagestat.txt"));  // no page line, not even an empty file
}

TEST_F(StatisticsTest, APassedRefreshPeriodStartsBothFilesAfresh) {
  log(uncompressed(300), kFullMask, "1 Day");
  log(compressed("/p.htm"), kFullMask, "1 Day");
  clock_.now_ += 86400 - 1;
  log(uncompressed(100), kFullMask, "1 Day");
  EXPECT_EQ(logFile("sitestat.txt"), "1000000 400.000000 2");
  EXPECT_NE(logFile("pagestat.txt"), "");
  clock_.now_ += 2;  // 86401 s after the start
  log(uncompressed(70), kFullMask, "1 Day");
  EXPECT_EQ(logFile("sitestat.txt"), "1086401 70.000000 1");
  ASSERT_TRUE(logExists("pagestat.txt"));  // started afresh: there, and empty
  EXPECT_EQ(logFile("pagestat.txt"), "");
}

// The files outlive what an int holds: a count past it, or a start past 2038, was written
// back wrapped, read as damaged or as a period long over, and the totals started again.
TEST_F(StatisticsTest, TotalsPastAnIntStayWhole) {
  writeLogFile("sitestat.txt", "1000000 5000.000000 2147483646");
  log(uncompressed(100));
  log(uncompressed(100));
  EXPECT_EQ(logFile("sitestat.txt"), "1000000 5200.000000 2147483647");  // the count stops there
  clock_.now_ = 2200000000 + 3600;
  writeLogFile("sitestat.txt", "2200000000 70.000000 1");
  log(uncompressed(30), kFullMask, "1 Day");
  EXPECT_EQ(logFile("sitestat.txt"), "2200000000 100.000000 2");
}

// A page line appended to a file whose last line lacks its end (saved by an editor, or cut
// short) starts a line of its own; the report counts both.
TEST_F(StatisticsTest, AnAppendedLineStartsALineOfItsOwn) {
  writeLogFile("pagestat.txt", "/old.htm,2000,2000,500,75.00,text/html,0,1,0");
  log(compressed("/new.htm"));
  EXPECT_EQ(logFile("pagestat.txt"),
            "/old.htm,2000,2000,500,75.00,text/html,0,1,0\r\n/new.htm,2000,2000,500,75.00,text/html,0,1,0\r\n");
  log(compressed("/third.htm"));
  EXPECT_EQ(logFile("pagestat.txt").find("\r\n\r\n"), std::string::npos);  // nothing added to a whole line
}

TEST_F(StatisticsTest, PeriodNamesAreExact) {
  EXPECT_EQ(stats::refreshPeriod("1 Week"), 604800);
  EXPECT_EQ(stats::refreshPeriod("1 Month"), 2592000);
  EXPECT_EQ(stats::refreshPeriod("1 day"), 0);
  EXPECT_EQ(stats::refreshPeriod("IIS Restart"), 0);
}

// Gathering and flushing.

TEST_F(StatisticsTest, AFlushAddsWhatIsPendingToWhatAnotherProcessWrote) {
  add(uncompressed(100));
  add(compressed("/mine.htm"));
  add(uncompressed(200));
  // Nothing reaches the files before a flush.
  EXPECT_FALSE(logExists("sitestat.txt"));
  EXPECT_FALSE(logExists("pagestat.txt"));
  stats::StatisticsBuffer other;  // another process logging to the same files
  other.add(uncompressed(50), {kFullMask, kLogFolder, "Never"}, clock_.now() - 10);
  other.add(compressed("/theirs.htm"), {kFullMask, kLogFolder, "Never"}, clock_.now());
  other.flush(mutex_.get());
  EXPECT_EQ(logFile("sitestat.txt"), "999990 50.000000 1");
  buffer_.flush(mutex_.get());
  EXPECT_EQ(logFile("sitestat.txt"), "999990 350.000000 3");
  EXPECT_EQ(logFile("pagestat.txt"),
            "/theirs.htm,2000,2000,500,75.00,text/html,0,1,0\r\n/mine.htm,2000,2000,500,75.00,text/html,0,1,0\r\n");
  buffer_.flush(mutex_.get());  // nothing pending: nothing added twice
  EXPECT_EQ(logFile("sitestat.txt"), "999990 350.000000 3");
}

// Responses gathered over a period's end are written as if each had been written when it
// was logged: the first uncompressed one past the end starts the period, and the page
// lines logged before it go with the old period.
TEST_F(StatisticsTest, APeriodThatEndsBetweenFlushesRestartsAtTheFirstResponseAfterIt) {
  log(uncompressed(300), kFullMask, "1 Day");
  clock_.now_ += 86399;
  add(compressed("/before.htm"), kFullMask, "1 Day");
  add(uncompressed(10), kFullMask, "1 Day");  // 86399 s: still the old period
  add(compressed("/dropped.htm"), kFullMask, "1 Day");
  clock_.now_ += 2;
  add(uncompressed(20), kFullMask, "1 Day");  // 86401 s: a new period
  add(compressed("/kept.htm"), kFullMask, "1 Day");
  add(uncompressed(30), kFullMask, "1 Day");
  buffer_.flush(mutex_.get());
  EXPECT_EQ(logFile("sitestat.txt"), "1086401 50.000000 2");
  EXPECT_EQ(logFile("pagestat.txt"), "/kept.htm,2000,2000,500,75.00,text/html,0,1,0\r\n");
  // Within the period, nothing restarts.
  clock_.now_ += 100;
  add(compressed("/later.htm"), kFullMask, "1 Day");
  add(uncompressed(5), kFullMask, "1 Day");
  buffer_.flush(mutex_.get());
  EXPECT_EQ(logFile("sitestat.txt"), "1086401 55.000000 3");
  EXPECT_NE(logFile("pagestat.txt").find("/kept.htm"), std::string::npos);
}

TEST_F(StatisticsTest, NoResponseIsLostToAFlushThatRunsWhileOthersLog) {
  constexpr int kThreads = 4;
  constexpr int kEach = 500;
  std::atomic<bool> done{false};
  std::thread flusher([this, &done] {
    while (!done) buffer_.flush(mutex_.get());
  });
  std::vector<std::thread> loggers;
  for (int t = 0; t < kThreads; ++t) {
    loggers.emplace_back([this, t] {
      for (int i = 0; i < kEach; ++i) {
        add(compressed("/t" + std::to_string(t) + "/p" + std::to_string(i) + ".htm"));
        add(uncompressed(2));
      }
    });
  }
  for (auto& logger : loggers) logger.join();
  done = true;
  flusher.join();
  buffer_.flush(mutex_.get());
  const auto statistics = stats::readStatistics(kLogFolder, kFullMask);
  EXPECT_EQ(statistics.totals.totalCR, static_cast<unsigned>(kThreads * kEach));
  EXPECT_EQ(statistics.totals.totalUR, static_cast<unsigned>(kThreads * kEach));
  EXPECT_EQ(statistics.totals.totalUBS, 2.0 * kThreads * kEach);
}

TEST_F(StatisticsTest, StartingAfreshDeletesTheFilesAndDropsWhatIsPending) {
  log(compressed("/old.htm"));
  log(uncompressed(100));
  add(compressed("/pending.htm"));
  add(uncompressed(50));
  buffer_.startAfresh(kLogFolder, mutex_.get());
  EXPECT_FALSE(logExists("pagestat.txt"));
  EXPECT_FALSE(logExists("sitestat.txt"));
  buffer_.flush(mutex_.get());
  EXPECT_FALSE(logExists("pagestat.txt"));
  log(compressed("/new.htm", 1000, 250), "%H%O%C");
  EXPECT_EQ(logFile("pagestat.txt"), "/new.htm,1000,1000,250\r\n");
  EXPECT_FALSE(logExists("sitestat.txt"));
}

// A reload drains requests that began before it after the files started afresh: their
// lines take the columns the files started with, until the drain ends.
TEST_F(StatisticsTest, AfterAFreshStartWithANewMaskEveryLineTakesItsColumns) {
  log(compressed("/old.htm"));
  buffer_.startAfresh(kLogFolder, mutex_.get(), "%H%O%C");
  log(compressed("/begun-before.htm", 1000, 250));
  log(compressed("/begun-after.htm", 1000, 250), "%H%O%C");
  buffer_.forgetMasks();
  log(compressed("/own.htm", 1000, 250), "%H%O%C%Z");
  EXPECT_EQ(logFile("pagestat.txt"),
            "/begun-before.htm,1000,1000,250\r\n/begun-after.htm,1000,1000,250\r\n/own.htm,1000,1000,250,0\r\n");
}

// Requests asking for the report at once each build it and replace the file, which the
// server then sends: the file must never be older than what the request built itself.
TEST_F(StatisticsTest, ConcurrentReportsNeverLeaveAPageOlderThanTheirOwn) {
  writeTemplate("[sitestats][pagestats]");
  settings::SiteSettings site;
  site.ReportMask = kFullMask;
  site.LogFolder = kLogFolder;
  site.RootPath = "C:\\Inetpub\\wwwroot";
  const stats::LogTarget target{kFullMask, kLogFolder, "Never"};
  auto counted = [](const std::string& page) {
    const std::size_t at = page.find("totalCR=");
    return at == std::string::npos ? -1 : std::atoi(page.c_str() + at + 8);
  };
  std::atomic<int> older{0};
  std::atomic<int> unbuilt{0};
  std::vector<std::thread> askers;
  for (int t = 0; t < 4; ++t) {
    askers.emplace_back([&, t] {
      for (int i = 0; i < 40; ++i) {
        stats::LogResponse(compressed("/t" + std::to_string(t) + ".htm"), target);
        const auto built = stats::GenerateReport(site, mutex_.get());
        if (!built) ++unbuilt;
        // On Windows the file cannot be opened while another build replaces it: a server
        // would try again, and so does this reader.
        std::string sent;
        for (int attempt = 0; attempt < 100 && sent.empty(); ++attempt) {
          std::ifstream in(driveC("Inetpub/wwwroot/tamsicreport/report.htm"), std::ios::binary);
          std::ostringstream text;
          text << in.rdbuf();
          sent = text.str();
        }
        if (built && counted(sent) < counted(*built)) ++older;
      }
    });
  }
  for (auto& asker : askers) asker.join();
  EXPECT_EQ(older.load(), 0);
  EXPECT_EQ(unbuilt.load(), 0);
  EXPECT_EQ(stats::readStatistics(kLogFolder, kFullMask).totals.totalCR, 160u);
}

TEST_F(StatisticsTest, TheBackgroundFlushWritesUnaskedUntilItIsStopped) {
  stats::BackgroundFlush background;
  background.start(buffer_, std::make_shared<UniqueHandle>(CreateMutexA(nullptr, FALSE, "LogFile")),
                   std::chrono::milliseconds(20));
  add(uncompressed(100));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!logExists("sitestat.txt") && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(logFile("sitestat.txt"), "1000000 100.000000 1");
  background.stop();
  add(uncompressed(100));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(logFile("sitestat.txt"), "1000000 100.000000 1");
}

// Each thread stands for a process of its own, with its own buffer and its own handle of
// the mutex: each flush adds to what the others wrote.
TEST_F(StatisticsTest, LinesWrittenByManyWritersAtOnceAreAllWholeAndAllCounted) {
  constexpr int kThreads = 8;
  constexpr int kLines = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      UniqueHandle own(CreateMutexA(nullptr, FALSE, "LogFile"));
      stats::StatisticsBuffer process;
      for (int i = 0; i < kLines; ++i) {
        process.add(compressed("/t" + std::to_string(t) + "/p" + std::to_string(i) + ".htm"),
                    {kFullMask, kLogFolder, "Never"}, clock_.now());
        process.add(uncompressed(1), {kFullMask, kLogFolder, "Never"}, clock_.now());
        if (i % 7 == 0) process.flush(own.get());
      }
      process.flush(own.get());
    });
  }
  for (auto& thread : threads) thread.join();
  const auto statistics = stats::readStatistics(kLogFolder, kFullMask);
  EXPECT_EQ(statistics.totals.totalCR, static_cast<unsigned>(kThreads * kLines));
  EXPECT_EQ(statistics.pages.size(), static_cast<std::size_t>(kThreads * kLines));
  EXPECT_EQ(statistics.totals.totalUR, static_cast<unsigned>(kThreads * kLines));
}

// A request that dies holding "LogFile" leaves it abandoned: the next logger owns it all the
// same, writes, and releases it, so the statistics do not stop for good.
TEST_F(StatisticsTest, LoggingGoesOnAfterAHolderDiedAndReleasesTheMutex) {
#ifdef _WIN32
  // Windows abandons a mutex whose owning thread ends without releasing it.
  std::thread holder([] { ASSERT_NE(CreateMutexA(nullptr, TRUE, "LogFile"), nullptr); });
  holder.join();
#else
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    HANDLE h = CreateMutexA(nullptr, TRUE, "LogFile");
    _exit(h ? 0 : 1);  // dies holding it
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_EQ(WEXITSTATUS(status), 0);
#endif
  log(uncompressed(300));
  EXPECT_EQ(logFile("sitestat.txt"), "1000000 300.000000 1");
  std::thread other([] {
    UniqueHandle own(CreateMutexA(nullptr, FALSE, "LogFile"));
    EXPECT_EQ(WaitForSingleObject(own.get(), 2000), WAIT_OBJECT_0);
    ReleaseMutex(own.get());
  });
  other.join();
}

// Reading and the report.

TEST_F(StatisticsTest, ReportOfNoFilesHasZeroTotalsAndAnEmptyTree) {
  writeTemplate("<html>[sitestats]<ul>[pagestats]</ul></html>");
  const auto text = report();
  ASSERT_TRUE(text);
  EXPECT_EQ(*text,
            "<html><SCRIPT>totalBR=0;\r\ntotalBS=0;\r\ntotalCBS=0;\r\ntotalUBS=0;\r\ntotalS=0;\r\ntotalR=0;\r\n"
            "totalCR=0;\r\ntotalUR=0;\r\ntotalC=0;\r\nshowpage();</SCRIPT><ul></ul></html>");
  std::ifstream written(driveC("Inetpub/wwwroot/tamsicreport/report.htm"), std::ios::binary);
  std::ostringstream contents;
  contents << written.rdbuf();
  EXPECT_EQ(contents.str(), *text);
}

TEST_F(StatisticsTest, TotalsCountEveryLineAndTheUncompressedOnes) {
  writeLogFile("sitestat.txt", "1000 1500.000000 3");
  writeLogFile("pagestat.txt",
               "/a.htm,2000,1800,500,75.00,text/html,0,1,0\r\n"
               "/folder,1000,1000,300,70.00,text/html,1,1,0\r\n");
  const auto t = stats::readStatistics(kLogFolder, kFullMask).totals;
  EXPECT_EQ(t.totalUBS, 1500);
  EXPECT_EQ(t.totalBR, 1500 + 2000 + 1000);
  EXPECT_EQ(t.totalCBS, 800);
  EXPECT_EQ(t.totalBS, 2300);
  EXPECT_EQ(t.totalS, 2200);
  EXPECT_EQ(t.totalR, 5u);
  EXPECT_EQ(t.totalCR, 2u);
  EXPECT_EQ(t.totalUR, 3u);
  EXPECT_EQ(t.totalC, 1u);
}

// A damaged site file counts as none, for the report and for the next write alike: every
// total stays a number, and they add up.
TEST_F(StatisticsTest, ADamagedSiteFileCountsAsNone) {
  for (const char* damaged : {"1000 nan 3", "1000 inf 3", "1000 -5.0 3", "1000 1500.0 -1", "1000 1500.0 99999999999",
                              "1000 abc 3", "1000 1500.0"}) {
    writeLogFile("sitestat.txt", damaged);
    writeLogFile("pagestat.txt", "/a.htm,2000,1800,500,nan,text/html,0,1,0\r\n");
    const auto statistics = stats::readStatistics(kLogFolder, kFullMask);
    const auto& t = statistics.totals;
    EXPECT_EQ(t.totalUBS, 0) << damaged;
    EXPECT_EQ(t.totalUR, 0u) << damaged;
    EXPECT_EQ(t.totalR, t.totalCR + t.totalUR) << damaged;
    EXPECT_EQ(t.totalBR, 2000) << damaged;
    EXPECT_EQ(statistics.pages.at("/a.htm").percentSaved, 0) << damaged;
    log(uncompressed(300));
    EXPECT_EQ(logFile("sitestat.txt"), "1000000 300.000000 1") << damaged;  // started afresh
  }
}

// A total read from a hand-edited file may run to hundreds of digits: the block still ends
// its script, or the rest of the page would run as script.
TEST_F(StatisticsTest, TheTotalsBlockIsWrittenWholeForAnyFigure) {
  writeTemplate("<html>[sitestats]<ul>[pagestats]</ul></html>");
  writeLogFile("sitestat.txt", "1000 1e300 3");
  const auto text = report();
  ASSERT_TRUE(text);
  EXPECT_NE(text->find("totalUBS=1000000000000"), std::string::npos);
  EXPECT_NE(text->find("showpage();</SCRIPT><ul></ul></html>"), std::string::npos);
}

TEST_F(StatisticsTest, ReadingStopsAtTheFirstLineThatLacksAField) {
  writeLogFile("pagestat.txt",
               "/a.htm,2000,1800,500,75.00,text/html,0,1,0\r\n"
               "/b.htm,2000,1800\r\n"
               "/c.htm,2000,1800,500,75.00,text/html,0,1,0\r\n");
  const auto statistics = stats::readStatistics(kLogFolder, kFullMask);
  EXPECT_EQ(statistics.pages.size(), 1u);
  // Read under a smaller mask, the same lines are read by position.
  EXPECT_EQ(stats::readStatistics(kLogFolder, "%H%O%C").totals.totalCR, 1u);
}

TEST_F(StatisticsTest, SameUrlIsListedOnceWithItsHitsAndCacheHits) {
  LoggedResponse fromCache = compressed("/p.htm");
  fromCache.servedFromCache = true;
  log(compressed("/p.htm"));
  log(fromCache);
  log(fromCache);
  const auto statistics = stats::readStatistics(kLogFolder, kFullMask);
  ASSERT_EQ(statistics.pages.size(), 1u);
  const auto& page = statistics.pages.at("/p.htm");
  EXPECT_EQ(page.hits, 3u);
  EXPECT_EQ(page.cacheHits, 2u);
  EXPECT_EQ(page.gzipHits, 3u);
  EXPECT_EQ(stats::pageTree(statistics, kFullMask),
            "<li><a href=\"javascript:showstats('/p.htm',3,2000,2000,500,75.00,'text/html',0,2,3,0)\">p.htm</a></li>\r\n");
}

TEST_F(StatisticsTest, PagesOfSiblingFoldersShareTheirParentsList) {
  log(compressed("/a/x/one.htm"));
  log(compressed("/a/y/two.htm"));
  log(compressed("/b.htm"));
  log(compressed("/a/folder"));  // no dot: counted, not listed
  const auto statistics = stats::readStatistics(kLogFolder, "%H");
  EXPECT_EQ(statistics.totals.totalCR, 4u);
  const std::string folder = "</li>\r\n<ul id=\"foldinglist\" style=\"display:none\">\r\n";
  EXPECT_EQ(stats::pageTree(statistics, "%H"),
            "<li id=\"foldheader\">a" + folder + "<li id=\"foldheader\">x" + folder +
                "<li><a href=\"javascript:showstats('/a/x/one.htm',1,-1,-1,-1,-1,'-1',-1,-1,-1,-1)\">one.htm</a></li>\r\n"
                "</ul><li id=\"foldheader\">y" + folder +
                "<li><a href=\"javascript:showstats('/a/y/two.htm',1,-1,-1,-1,-1,'-1',-1,-1,-1,-1)\">two.htm</a></li>\r\n"
                "</ul></ul>"
                "<li><a href=\"javascript:showstats('/b.htm',1,-1,-1,-1,-1,'-1',-1,-1,-1,-1)\">b.htm</a></li>\r\n");
}

TEST_F(StatisticsTest, LoggedUrlsCannotInjectMarkupOrScript) {
  // Mended: URL parts went into the report's HTML and its javascript: links unescaped.
  log(compressed("/it's.htm"));
  log(compressed("/<script>alert(1)</script>/x\".htm"));
  log(compressed("/a%27);alert(1);//.htm"));
  const std::string tree = stats::pageTree(stats::readStatistics(kLogFolder, kFullMask), kFullMask);
  EXPECT_NE(tree.find("showstats('/it\\'s.htm',"), std::string::npos) << tree;
  EXPECT_NE(tree.find(">it&#39;s.htm</a>"), std::string::npos) << tree;
  EXPECT_EQ(tree.find("<script>"), std::string::npos) << tree;
  EXPECT_NE(tree.find("<li id=\"foldheader\">&lt;script&gt;alert(1)&lt;"), std::string::npos) << tree;
  EXPECT_NE(tree.find("showstats('/\\x3cscript\\x3ealert(1)\\x3c/script\\x3e/x\\x22.htm'"), std::string::npos) << tree;
  EXPECT_NE(tree.find("showstats('/a\\x2527);alert(1);//.htm'"), std::string::npos) << tree;
}

TEST_F(StatisticsTest, TemplateWithoutAMarkerLeavesTheOldReport) {
  writeHostFile(driveC("Inetpub/wwwroot/tamsicreport/report.htm"), "old report");
  EXPECT_FALSE(report());  // no template at all
  writeTemplate("<html>[sitestats] but no page marker</html>");
  EXPECT_FALSE(report());
  writeTemplate("<html>[pagestats] but no site marker</html>");
  EXPECT_FALSE(report());
  std::ifstream in(driveC("Inetpub/wwwroot/tamsicreport/report.htm"));
  std::string text;
  std::getline(in, text);
  EXPECT_EQ(text, "old report");
}

}  // namespace
