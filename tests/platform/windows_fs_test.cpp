// The Windows path namespace and the file calls over it.

#include <chrono>
#include <cstring>
#include <thread>
#include <set>
#include <string>

#include "platform/fs/file_api.h"
#include "platform/fs/windows_path.h"
#include "tests/support/machine_fixture.h"

namespace {

using platform::fs::hostPath;
using platform::fs::readFileWhole;
using platform::fs::spelledHostPath;
using platform::fs::windowsPath;

class WindowsFsTest : public testing_support::MachineTest {
 protected:
  std::set<std::string> list(const std::string& pattern) {
    std::set<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA(pattern.c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return names;
    do names.insert(data.cFileName);
    while (FindNextFileA(h, &data));
    FindClose(h);
    return names;
  }
};

TEST_F(WindowsFsTest, DriveLettersMapThroughDosdevices) {
  auto c = hostPath("C:\\Inetpub\\wwwroot");
  ASSERT_TRUE(c);
  EXPECT_TRUE(std::filesystem::equivalent(*c, driveC("Inetpub/wwwroot")));
  auto z = hostPath("z:/etc");
  ASSERT_TRUE(z);
  EXPECT_TRUE(std::filesystem::equivalent(*z, "/etc"));
  EXPECT_FALSE(hostPath("Q:\\nothing"));
  EXPECT_FALSE(hostPath("relative\\path"));
  EXPECT_FALSE(hostPath("\\\\server\\share"));
  EXPECT_EQ(GetFileAttributesA("Q:\\nothing"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(WindowsFsTest, ComponentsMatchExactlyFirstThenWithoutRegardToCase) {
  writeHostFile(driveC("Inetpub/wwwroot/Index.HTM"), "upper");
  writeHostFile(driveC("Inetpub/wwwroot/index.htm"), "lower");
  writeHostFile(driveC("Inetpub/wwwroot/Docs/Guide.html"), "guide");
  auto exact = hostPath("C:\\Inetpub\\wwwroot\\Index.HTM");
  EXPECT_EQ(exact->filename(), "Index.HTM");
  auto lower = hostPath("c:\\inetpub\\wwwroot\\index.htm");
  EXPECT_EQ(lower->filename(), "index.htm");
  auto folded = hostPath("c:\\INETPUB\\WWWROOT\\docs\\guide.HTML");
  ASSERT_TRUE(folded);
  EXPECT_TRUE(std::filesystem::exists(*folded));
  EXPECT_NE(GetFileAttributesA("C:\\inetpub\\WWWROOT\\DOCS"), INVALID_FILE_ATTRIBUTES);
  // A missing component keeps the spelling given, so new files are created as named.
  EXPECT_EQ(hostPath("C:\\Inetpub\\NewFolder\\File.txt")->filename(), "File.txt");
}

// A folder's names are kept once it has settled, so a name that is not there costs no walk
// of the folder; any change to the folder lists it again.
TEST_F(WindowsFsTest, AKeptListingOfAFolderSeesEveryChangeToIt) {
  const auto folder = driveC("Inetpub/wwwroot/many");
  for (int i = 0; i < 50; ++i) writeHostFile(folder / ("Page" + std::to_string(i) + ".htm"), "x");
  // A folder is kept once no change has come to it for a second.
  auto settle = [] { std::this_thread::sleep_for(std::chrono::milliseconds(1100)); };
  settle();
  for (int round = 0; round < 2; ++round) {  // listed, then answered from what was kept
    EXPECT_EQ(hostPath("C:\\Inetpub\\wwwroot\\many\\PAGE7.HTM")->filename(), "Page7.htm");
    EXPECT_EQ(hostPath("C:\\Inetpub\\wwwroot\\many\\Missing.htm")->filename(), "Missing.htm");
  }
  writeHostFile(folder / "Missing.HTM", "now here");
  EXPECT_EQ(hostPath("C:\\Inetpub\\wwwroot\\many\\missing.htm")->filename(), "Missing.HTM");
  settle();
  EXPECT_EQ(hostPath("C:\\Inetpub\\wwwroot\\many\\missing.htm")->filename(), "Missing.HTM");
  std::filesystem::remove(folder / "Missing.HTM");
  EXPECT_EQ(hostPath("C:\\Inetpub\\wwwroot\\many\\missing.htm")->filename(), "missing.htm");
  std::filesystem::rename(folder / "Page7.htm", folder / "Seven.htm");
  EXPECT_EQ(hostPath("C:\\Inetpub\\wwwroot\\many\\SEVEN.HTM")->filename(), "Seven.htm");
}

TEST_F(WindowsFsTest, DotDotCannotClimbAboveTheDrive) {
  auto p = hostPath("C:\\..\\..\\registry.db");
  ASSERT_TRUE(p);
  EXPECT_FALSE(std::filesystem::exists(*p));
  EXPECT_TRUE(std::filesystem::equivalent(p->parent_path(), driveC("")));
}

// The spelled mapping is tried before the search on every request: wherever the search finds
// a file under the spelling given, the spelled path must name that same file.
TEST_F(WindowsFsTest, ASpelledPathNamesTheFileTheSearchFinds) {
  writeHostFile(driveC("Inetpub/wwwroot/docs/page.htm"), "page");
  for (const char* path : {"C:\\Inetpub\\wwwroot\\docs\\page.htm", "c:/Inetpub/wwwroot/docs/page.htm",
                           "C:\\Inetpub\\.\\wwwroot\\\\docs\\page.htm", "C:\\Inetpub\\x\\..\\wwwroot\\docs\\page.htm",
                           "C:\\..\\..\\Inetpub\\wwwroot\\docs\\page.htm", "C:\\Inetpub\\wwwroot\\docs\\x\\y\\..\\..\\page.htm"}) {
    SCOPED_TRACE(path);
    const auto spelled = spelledHostPath(path);
    const auto searched = hostPath(path);
    ASSERT_TRUE(spelled && searched);
    ASSERT_TRUE(std::filesystem::exists(*spelled));
    EXPECT_TRUE(std::filesystem::equivalent(*spelled, *searched));
  }
  // Other spellings are left to the search.
  EXPECT_FALSE(std::filesystem::exists(*spelledHostPath("C:\\INETPUB\\wwwroot\\docs\\page.htm")));
  EXPECT_FALSE(spelledHostPath("docs\\page.htm"));
}

TEST_F(WindowsFsTest, AFileIsReadWholeBehindTheRoomAskedForWithTheTimeOfItsLastWrite) {
  const std::string text(70000, 'x');
  writeHostFile(driveC("Cache/Big.gz"), text);
  writeHostFile(driveC("Cache/empty.gz"), "");
  auto bytes = [](const platform::fs::WholeFile& f) { return std::string(reinterpret_cast<char*>(f.data()), f.size); };
  for (std::size_t room : {std::size_t{0}, std::size_t{1}, std::size_t{300}}) {
    const auto whole = readFileWhole("C:\\Cache\\Big.gz", room);
    ASSERT_TRUE(whole) << room;
    EXPECT_EQ(whole->room, room);
    EXPECT_EQ(bytes(*whole), text) << room;
    // The room is the caller's to write, right up to the file's first byte.
    std::memset(whole->buffer.get(), 'h', room);
    EXPECT_EQ(bytes(*whole), text) << room;
  }
  // The time is the one a status call reports, to the last tick: the cache compares them.
  const auto whole = readFileWhole("C:\\Cache\\Big.gz");
  ASSERT_TRUE(whole);
  WIN32_FILE_ATTRIBUTE_DATA status;
  ASSERT_TRUE(GetFileAttributesExA("C:\\Cache\\Big.gz", GetFileExInfoStandard, &status));
  EXPECT_EQ(whole->lastWriteTime.dwLowDateTime, status.ftLastWriteTime.dwLowDateTime);
  EXPECT_EQ(whole->lastWriteTime.dwHighDateTime, status.ftLastWriteTime.dwHighDateTime);
#ifndef _WIN32
  // A file that says it is empty and is not (as /proc's are) is still read to its end.
  const auto grown = readFileWhole("Z:\\proc\\self\\status", 8);
  ASSERT_TRUE(grown);
  EXPECT_EQ(bytes(*grown).rfind("Name:", 0), 0u);
  EXPECT_GT(grown->size, 100u);
#endif
  const auto folded = readFileWhole("c:\\cache\\big.GZ");
  ASSERT_TRUE(folded);
  EXPECT_EQ(folded->size, text.size());
  const auto empty = readFileWhole("C:\\Cache\\empty.gz", 10);
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->size, 0u);
  EXPECT_FALSE(readFileWhole("C:\\Cache\\missing.gz"));
  EXPECT_FALSE(readFileWhole("C:\\Cache"));  // a folder is no file to read
}

TEST_F(WindowsFsTest, HostPathsMapBackToTheClosestDrive) {
  EXPECT_EQ(windowsPath(driveC("Inetpub/wwwroot")), "C:\\Inetpub\\wwwroot");
  EXPECT_EQ(windowsPath(driveC("")), "C:\\");
  EXPECT_EQ(windowsPath("/usr/lib"), "Z:\\usr\\lib");
}

TEST_F(WindowsFsTest, FindFirstFileReportsDotEntriesAndMatchesPatterns) {
  writeHostFile(driveC("site/a.htm"), "a");
  writeHostFile(driveC("site/README"), "b");
  std::filesystem::create_directories(driveC("site/images"));
  const std::set<std::string> all{".", "..", "a.htm", "README", "images"};
  EXPECT_EQ(list("C:\\site\\*.*"), all);
  EXPECT_EQ(list("C:\\site\\*"), all);
  EXPECT_EQ(list("C:\\SITE\\*.HTM"), std::set<std::string>{"a.htm"});
  WIN32_FIND_DATAA data;
  EXPECT_EQ(FindFirstFileA("C:\\missing\\*.*", &data), INVALID_HANDLE_VALUE);
}

TEST_F(WindowsFsTest, DirectoriesAndCopiesFollowWindowsRules) {
  EXPECT_TRUE(CreateDirectoryA("C:\\work", nullptr));
  EXPECT_FALSE(CreateDirectoryA("C:\\work", nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_FALSE(CreateDirectoryA("C:\\no\\such\\parent", nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  writeHostFile(driveC("work/src.txt"), "new");
  writeHostFile(driveC("work/dst.txt"), "old");
  EXPECT_FALSE(CopyFileA("C:\\work\\src.txt", "C:\\work\\dst.txt", TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_TRUE(CopyFileA("C:\\work\\src.txt", "C:\\work\\dst.txt", FALSE));
  auto f = platform::fs::openFile("C:\\WORK\\DST.TXT", "rb");
  ASSERT_TRUE(f);
  char text[8] = {};
  EXPECT_EQ(std::fread(text, 1, sizeof(text), f.get()), 3u);
  EXPECT_STREQ(text, "new");
  EXPECT_FALSE(RemoveDirectoryA("C:\\work"));
  EXPECT_TRUE(DeleteFileA("C:\\work\\src.txt"));
  EXPECT_TRUE(DeleteFileA("C:\\work\\dst.txt"));
  EXPECT_TRUE(RemoveDirectoryA("C:\\work"));
  EXPECT_EQ(GetFileAttributesA("C:\\work"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(WindowsFsTest, AttributesCarryTheModificationTime) {
  writeHostFile(driveC("t.txt"), "12345");
  std::filesystem::last_write_time(driveC("t.txt"),
                                   std::filesystem::file_time_type::clock::from_sys(
                                       std::chrono::sys_seconds(std::chrono::seconds(1000000000))));
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExA("C:\\T.TXT", GetFileExInfoStandard, &data));
  EXPECT_EQ(data.nFileSizeLow, 5u);
  EXPECT_EQ(platform::fs::unixFromFileTime(data.ftLastWriteTime), 1000000000);
  EXPECT_EQ(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

}  // namespace
