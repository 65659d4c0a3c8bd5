// The metabase through its admin base object: what a fresh machine holds, inherited reads,
// the required-size report and creation-order enumeration.

#include <string>
#include <vector>

#include "platform/com/com.h"
#include "platform/metabase/admin_base.h"
#include "platform/text/wide_text.h"
#include "tests/support/machine_fixture.h"

namespace {

using platform::text::narrow;
using platform::text::widen;

class MetabaseTest : public testing_support::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    void* object = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_MSAdminBase_W, nullptr, 0x17, IID_IMSAdminBase_W, &object), S_OK);
    base_ = static_cast<IMSAdminBaseW*>(object);
  }
  void TearDown() override {
    if (base_) base_->Release();
    CoUninitialize();
    MachineTest::TearDown();
  }
  METADATA_HANDLE open(const char* path, DWORD access) {
    METADATA_HANDLE h = 0;
    EXPECT_EQ(base_->OpenKey(METADATA_MASTER_ROOT_HANDLE, widen(path).c_str(), access, 60000, &h), S_OK) << path;
    return h;
  }
  std::vector<std::string> children(const char* path) {
    METADATA_HANDLE h = open(path, METADATA_PERMISSION_READ);
    std::vector<std::string> names;
    WCHAR name[METADATA_MAX_NAME_LEN];
    for (DWORD i = 0; SUCCEEDED(base_->EnumKeys(h, u"", name, i)); ++i) names.push_back(narrow(name));
    base_->CloseKey(h);
    return names;
  }
  void setString(const char* path, DWORD id, DWORD attributes, const std::string& text) {
    METADATA_HANDLE h = open(path, METADATA_PERMISSION_WRITE);
    std::u16string wide = widen(text);
    METADATA_RECORD r{id, attributes, IIS_MD_UT_SERVER, STRING_METADATA, static_cast<DWORD>(wide.size() * 2 + 2),
                      reinterpret_cast<unsigned char*>(wide.data()), 0};
    EXPECT_EQ(base_->SetData(h, u"", &r), S_OK);
    base_->CloseKey(h);
  }
  HRESULT getString(const char* path, DWORD id, std::string& out, DWORD bufferBytes = 4096, DWORD* required = nullptr) {
    METADATA_HANDLE h = open(path, METADATA_PERMISSION_READ);
    std::vector<unsigned char> buffer(bufferBytes);
    METADATA_RECORD r{id, METADATA_INHERIT, 0, ALL_METADATA, bufferBytes, buffer.data(), 0};
    DWORD need = 0;
    HRESULT hr = base_->GetData(h, u"", &r, &need);
    if (required) *required = need;
    if (SUCCEEDED(hr)) out = narrow(reinterpret_cast<const char16_t*>(buffer.data()));
    base_->CloseKey(h);
    return hr;
  }
  IMSAdminBaseW* base_ = nullptr;
};

TEST_F(MetabaseTest, AFreshMachineHoldsWhatAFreshIisHolds) {
  EXPECT_EQ(children("/LM/W3SVC"), (std::vector<std::string>{"Info", "Filters", "1"}));
  std::string text;
  ASSERT_EQ(getString("/LM/W3SVC/1", MD_SERVER_COMMENT, text), S_OK);
  EXPECT_EQ(text, "Default Web Site");
  ASSERT_EQ(getString("/LM/W3SVC/1/Root", MD_VR_PATH, text), S_OK);
  EXPECT_EQ(text, "C:\\Inetpub\\wwwroot");
  ASSERT_EQ(getString("/LM/W3SVC", MD_ANONYMOUS_USER_NAME, text), S_OK);
  EXPECT_EQ(text.rfind("IUSR_", 0), 0u);
}

TEST_F(MetabaseTest, ChildrenEnumerateInCreationOrderNotByName) {
  METADATA_HANDLE h = open("/LM/W3SVC", METADATA_PERMISSION_WRITE);
  for (const char16_t* name : {u"9", u"10", u"Alpha", u"2"}) EXPECT_EQ(base_->AddKey(h, name), S_OK);
  base_->CloseKey(h);
  EXPECT_EQ(children("/LM/W3SVC"), (std::vector<std::string>{"Info", "Filters", "1", "9", "10", "Alpha", "2"}));
  WCHAR name[METADATA_MAX_NAME_LEN];
  h = open("/LM/W3SVC", METADATA_PERMISSION_READ);
  EXPECT_EQ(base_->EnumKeys(h, u"", name, 7), HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS));
  base_->CloseKey(h);
}

TEST_F(MetabaseTest, InheritedReadsFindAnInheritablePropertyOfAnAncestor) {
  setString("/LM/W3SVC", 7001, METADATA_INHERIT, "from above");
  setString("/LM/W3SVC", 7002, METADATA_NO_ATTRIBUTES, "not inheritable");
  std::string text;
  ASSERT_EQ(getString("/LM/W3SVC/1/Root", 7001, text), S_OK);
  EXPECT_EQ(text, "from above");
  EXPECT_EQ(getString("/LM/W3SVC/1", 7002, text), MD_ERROR_DATA_NOT_FOUND);
  setString("/LM/W3SVC/1", 7001, METADATA_INHERIT, "nearer");
  ASSERT_EQ(getString("/LM/W3SVC/1/Root", 7001, text), S_OK);
  EXPECT_EQ(text, "nearer");
}

TEST_F(MetabaseTest, AShortBufferReportsTheRequiredSize) {
  const std::string big(6000, 'x');
  setString("/LM/W3SVC/1", 7003, 0, big);
  std::string text;
  DWORD required = 0;
  EXPECT_EQ(getString("/LM/W3SVC/1", 7003, text, 100, &required), HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(required, 12002u);
  ASSERT_EQ(getString("/LM/W3SVC/1", 7003, text, required), S_OK);
  EXPECT_EQ(text, big);
}

TEST_F(MetabaseTest, AddKeyCreatesSeveralLevelsAndRefusesAnExistingKey) {
  METADATA_HANDLE h = open("/LM/W3SVC/Filters", METADATA_PERMISSION_WRITE);
  EXPECT_EQ(base_->AddKey(h, u"One/Two\\Three"), S_OK);
  EXPECT_EQ(base_->AddKey(h, u"one/TWO"), HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
  base_->CloseKey(h);
  EXPECT_EQ(children("/lm/w3svc/filters/one/two"), std::vector<std::string>{"Three"});
}

TEST_F(MetabaseTest, WritesNeedAWriteHandleAndDeletesRemoveWholeTrees) {
  METADATA_HANDLE reader = open("/LM/W3SVC/1", METADATA_PERMISSION_READ);
  EXPECT_EQ(base_->DeleteKey(reader, u"Root"), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
  base_->CloseKey(reader);
  METADATA_HANDLE writer = open("/LM/W3SVC", METADATA_PERMISSION_WRITE);
  EXPECT_EQ(base_->DeleteKey(writer, u"1"), S_OK);
  EXPECT_EQ(base_->DeleteData(writer, u"", 99999, 0), MD_ERROR_DATA_NOT_FOUND);
  base_->CloseKey(writer);
  METADATA_HANDLE gone = 0;
  EXPECT_EQ(base_->OpenKey(0, u"/LM/W3SVC/1/Root", METADATA_PERMISSION_READ, 60000, &gone),
            HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
}

}  // namespace
