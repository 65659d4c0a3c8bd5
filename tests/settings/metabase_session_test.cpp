// The metabase session's operations and their buffer limits.

#include <thread>

#include "platform/com/com.h"
#include "settings/metabase_session.h"
#include "tests/support/machine_fixture.h"
#include "tests/support/metabase_helpers.h"

namespace {

using settings::MetabaseSession;
using namespace testing_support;

class MetabaseSessionTest : public MachineTest {};

TEST_F(MetabaseSessionTest, EnumeratesChildrenUntilThePastTheLast) {
  addSite(12, "C:\\Sites\\12");
  EXPECT_EQ(MetabaseSession::EnumChildKey(0, nullptr), "Info");
  EXPECT_EQ(MetabaseSession::EnumChildKey(1, nullptr), "Filters");
  EXPECT_EQ(MetabaseSession::EnumChildKey(3, nullptr), "12");
  EXPECT_FALSE(MetabaseSession::EnumChildKey(4, nullptr));
  EXPECT_EQ(MetabaseSession::EnumChildKey(0, "12"), "Root");
  EXPECT_FALSE(MetabaseSession::EnumChildKey(0, "99"));
}

TEST_F(MetabaseSessionTest, ReadStringGrowsItsBufferToTheReportedSize) {
  const std::string order(6000, 'f');  // 12002 bytes as a wide string
  setMetabaseString("/LM/W3SVC/Filters", MD_FILTER_LOAD_ORDER, order);
  EXPECT_EQ(MetabaseSession::ReadString("/LM/W3SVC", "Filters", MD_FILTER_LOAD_ORDER, IIS_MD_UT_SERVER), order);
  EXPECT_FALSE(MetabaseSession::ReadString("/LM/W3SVC", "Filters", 9999, IIS_MD_UT_SERVER));
  EXPECT_FALSE(MetabaseSession::ReadString("/LM/Nowhere", "", MD_FILTER_LOAD_ORDER, IIS_MD_UT_SERVER));
}

TEST_F(MetabaseSessionTest, ReadsAreInherited) {
  addSite(3, "C:\\Sites\\3");
  EXPECT_TRUE(MetabaseSession::ReadString("/LM/W3SVC", "3", MD_ANONYMOUS_USER_NAME, IIS_MD_UT_FILE));
  EXPECT_EQ(MetabaseSession::ReadString("/LM", "/W3SVC", MD_ANONYMOUS_USER_NAME, IIS_MD_UT_FILE),
            MetabaseSession::ReadString("/LM/W3SVC", "3/Root", MD_ANONYMOUS_USER_NAME, IIS_MD_UT_FILE));
}

TEST_F(MetabaseSessionTest, ASiteRootIsReadWhateverItsLengthUpToThatOfOtherSiteStrings) {
  const std::string short129 = "C:\\" + std::string(126, 'a');
  addSite(5, short129);
  addSite(6, short129 + "b");
  addSite(7, "C:\\" + std::string(1200, 'c'));
  addSite(8, "C:\\" + std::string(1300, 'c'));  // 2610 bytes
  EXPECT_EQ(MetabaseSession::ReadSiteRoot(5, MD_VR_PATH), short129);
  EXPECT_EQ(MetabaseSession::ReadSiteRoot(6, MD_VR_PATH), short129 + "b");
  EXPECT_EQ(MetabaseSession::ReadSiteRoot(7, MD_VR_PATH), "C:\\" + std::string(1200, 'c'));
  EXPECT_FALSE(MetabaseSession::ReadSiteRoot(8, MD_VR_PATH));
  EXPECT_FALSE(MetabaseSession::ReadSiteRoot(77, MD_VR_PATH));
}

TEST_F(MetabaseSessionTest, ReadSiteStringGrowsOnlyBelow2600Bytes) {
  addSite(4, "C:\\Sites\\4");
  setMetabaseString("/LM/W3SVC/4", MD_SERVER_COMMENT, std::string(1000, 'c'));  // 2002 bytes
  EXPECT_EQ(MetabaseSession::ReadSiteString(4, MD_SERVER_COMMENT, IIS_MD_UT_SERVER, nullptr), std::string(1000, 'c'));
  setMetabaseString("/LM/W3SVC/4", MD_SERVER_COMMENT, std::string(1299, 'c'));  // 2600 bytes
  EXPECT_FALSE(MetabaseSession::ReadSiteString(4, MD_SERVER_COMMENT, IIS_MD_UT_SERVER, nullptr));
  EXPECT_EQ(MetabaseSession::ReadSiteString(4, MD_VR_PATH, IIS_MD_UT_FILE, "Root"), "C:\\Sites\\4");
}

TEST_F(MetabaseSessionTest, CreateKeyPathCreatesBelowTheNearestAncestorAndRefusesAnExistingKey) {
  EXPECT_TRUE(MetabaseSession::CreateKeyPath("/LM/W3SVC/Filters", "X"));
  EXPECT_FALSE(MetabaseSession::CreateKeyPath("/LM/W3SVC/Filters", "X"));
  EXPECT_TRUE(MetabaseSession::CreateKeyPath("/LM/W3SVC/Filters", "Y/Deep/Deeper"));
  EXPECT_EQ(MetabaseSession::EnumChildKey(0, "Filters/Y/Deep"), "Deeper");
  EXPECT_FALSE(MetabaseSession::CreateKeyPath("/LM/W3SVC/Filters", ""));
}

TEST_F(MetabaseSessionTest, WriteDataWritesDwordsAndStringsAndRefusesAMissingText) {
  ASSERT_TRUE(MetabaseSession::CreateKeyPath("/LM/W3SVC/Filters", "Tamsic"));
  EXPECT_FALSE(MetabaseSession::WriteData("/LM/W3SVC", "Filters/Tamsic", MD_FILTER_IMAGE_PATH, IIS_MD_UT_SERVER,
                                          STRING_METADATA, nullptr, 0));
  EXPECT_FALSE(MetabaseSession::ReadString("/LM/W3SVC", "Filters/Tamsic", MD_FILTER_IMAGE_PATH, IIS_MD_UT_SERVER));
  EXPECT_TRUE(MetabaseSession::WriteData("/LM/W3SVC", "Filters/Tamsic", MD_FILTER_IMAGE_PATH, IIS_MD_UT_SERVER,
                                         STRING_METADATA, "C:\\Tamsic\\squashfilter.so", 0));
  EXPECT_EQ(MetabaseSession::ReadString("/LM/W3SVC", "Filters/Tamsic", MD_FILTER_IMAGE_PATH, IIS_MD_UT_SERVER),
            "C:\\Tamsic\\squashfilter.so");
  EXPECT_TRUE(MetabaseSession::WriteData("/LM/W3SVC", "Filters/Tamsic", MD_FILTER_STATE, IIS_MD_UT_SERVER,
                                         DWORD_METADATA, nullptr, 1));
  EXPECT_FALSE(MetabaseSession::WriteData("/LM/W3SVC", "Filters/Tamsic", MD_FILTER_STATE, IIS_MD_UT_SERVER, 7,
                                          "x", 1));
  // A load order longer than a path buffer is written whole.
  const std::string longOrder(400, 'o');
  EXPECT_TRUE(MetabaseSession::WriteData("/LM/W3SVC", "Filters", MD_FILTER_LOAD_ORDER, IIS_MD_UT_SERVER,
                                         STRING_METADATA, longOrder.c_str(), 0));
  EXPECT_EQ(MetabaseSession::ReadString("/LM/W3SVC", "Filters", MD_FILTER_LOAD_ORDER, IIS_MD_UT_SERVER), longOrder);
}

TEST_F(MetabaseSessionTest, DeleteKeyOrDataDeletesAKeyOrOneProperty) {
  ASSERT_TRUE(MetabaseSession::CreateKeyPath("/LM/W3SVC/Filters", "Gone"));
  ASSERT_TRUE(MetabaseSession::WriteData("/LM/W3SVC", "Filters/Gone", MD_FILTER_DESCRIPTION, IIS_MD_UT_SERVER,
                                         STRING_METADATA, "d", 0));
  EXPECT_TRUE(MetabaseSession::DeleteKeyOrData("/LM/W3SVC/Filters", "Gone", MD_FILTER_DESCRIPTION, STRING_METADATA));
  EXPECT_FALSE(MetabaseSession::DeleteKeyOrData("/LM/W3SVC/Filters", "Gone", MD_FILTER_DESCRIPTION, STRING_METADATA));
  EXPECT_TRUE(MetabaseSession::DeleteKeyOrData("/LM/W3SVC/Filters", "Gone", 0, 0));
  EXPECT_FALSE(MetabaseSession::EnumChildKey(0, "Filters"));
}

// The paths exist, so only their length can make the reads fail.
TEST_F(MetabaseSessionTest, PathsOfMoreThan259CharactersFail) {
  const std::string fits = "/LM/W3SVC/Filters/" + std::string(259 - 18, 'p');  // 259 characters
  ASSERT_EQ(fits.size(), 259u);
  setMetabaseString(fits, MD_FILTER_DESCRIPTION, "long");
  setMetabaseString(fits + "q", MD_FILTER_DESCRIPTION, "longer");
  EXPECT_EQ(MetabaseSession::ReadString(fits.c_str(), "", MD_FILTER_DESCRIPTION, IIS_MD_UT_SERVER), "long");
  EXPECT_FALSE(MetabaseSession::ReadString((fits + "q").c_str(), "", MD_FILTER_DESCRIPTION, IIS_MD_UT_SERVER));
  EXPECT_EQ(MetabaseSession::ReadString("/LM/W3SVC/Filters", fits.substr(17).c_str(), MD_FILTER_DESCRIPTION,
                                        IIS_MD_UT_SERVER),
            "long");
}

// The console calls from a thread that is already single-threaded.
TEST_F(MetabaseSessionTest, AThreadInASingleThreadedApartmentCanUseEveryOperation) {
  std::thread([] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_EQ(MetabaseSession::EnumChildKey(2, nullptr), "1");
    EXPECT_EQ(MetabaseSession::ReadSiteRoot(1, MD_VR_PATH), "C:\\Inetpub\\wwwroot");
    EXPECT_EQ(MetabaseSession::ReadSiteString(1, MD_SERVER_COMMENT, IIS_MD_UT_SERVER, nullptr), "Default Web Site");
    EXPECT_TRUE(MetabaseSession::CreateKeyPath("/LM/W3SVC/Filters", "Sta"));
    EXPECT_TRUE(MetabaseSession::WriteData("/LM/W3SVC", "Filters/Sta", MD_FILTER_STATE, IIS_MD_UT_SERVER,
                                           DWORD_METADATA, nullptr, 1));
    EXPECT_TRUE(MetabaseSession::DeleteKeyOrData("/LM/W3SVC/Filters", "Sta", 0, 0));
    // The session left the apartment as it found it: still single-threaded, joined once.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    CoUninitialize();
  }).join();
}

}  // namespace
