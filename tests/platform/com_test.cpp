// COM apartments, GUID texts and activation of built-in and registered in-process classes.

#include <dlfcn.h>

#include <thread>

#include "platform/com/com.h"
#include "platform/fs/windows_path.h"
#include "platform/metabase/admin_base.h"
#include "platform/registry/registry.h"
#include "platform/registry/unique_key.h"
#include "platform/text/wide_text.h"
#include "tests/support/machine_fixture.h"

#ifndef TEST_INPROC_SERVER
#error "TEST_INPROC_SERVER names the test server library"
#endif

namespace {

constexpr CLSID kTestClass = {0x1A2B3C4D, 0x0001, 0x0002, {1, 2, 3, 4, 5, 6, 7, 8}};

class ComTest : public testing_support::MachineTest {};

TEST_F(ComTest, AThreadInOneApartmentCannotJoinTheOtherKind) {
  std::thread([] {
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    CoUninitialize();
    CoUninitialize();
    // Every join matched: the thread may now join as multithreaded.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    CoUninitialize();
  }).join();
}

TEST_F(ComTest, CreationNeedsAJoinedThread) {
  std::thread([] {
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_MSAdminBase_W, nullptr, 0x17, IID_IMSAdminBase_W, &object), CO_E_NOTINITIALIZED);
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    EXPECT_EQ(CoCreateInstance(CLSID_MSAdminBase_W, nullptr, 0x17, IID_IMSAdminBase_W, &object), S_OK);
    static_cast<IUnknown*>(object)->Release();
    EXPECT_EQ(CoCreateInstance(CLSID_MSAdminBase_W, nullptr, 0x17, IID_IClassFactory, &object), E_NOINTERFACE);
    CoUninitialize();
  }).join();
}

TEST_F(ComTest, GuidsPrintInUpperCaseWithBracesAndParseBack) {
  EXPECT_EQ(platform::com::guidToString(CLSID_MSAdminBase_W), "{A9E69610-B80D-11D0-B9B9-00A0C922E750}");
  auto parsed = platform::com::guidFromString("{70b51430-b6ca-11d0-b9b9-00a0c922e750}");
  ASSERT_TRUE(parsed);
  EXPECT_EQ(*parsed, IID_IMSAdminBase_W);
  EXPECT_FALSE(platform::com::guidFromString("70B51430-B6CA-11D0-B9B9-00A0C922E750"));
  EXPECT_FALSE(platform::com::guidFromString("{70B51430-B6CA-11D0-B9B9-00A0C922E75G}"));
  LPOLESTR text = nullptr;
  ASSERT_EQ(StringFromCLSID(kTestClass, &text), S_OK);
  CLSID back{};
  EXPECT_EQ(CLSIDFromString(text, &back), S_OK);
  EXPECT_EQ(back, kTestClass);
  CoTaskMemFree(text);
}

TEST_F(ComTest, ARegisteredInProcessServerIsLoadedFromItsWindowsPath) {
  auto winPath = platform::fs::windowsPath(TEST_INPROC_SERVER);
  ASSERT_TRUE(winPath);
  const std::string key = "CLSID\\" + platform::com::guidToString(kTestClass) + "\\InprocServer32";
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  void* object = nullptr;
  EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
  UniqueKey server;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, server.put(),
                            nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(server.get(), "", 0, REG_SZ, reinterpret_cast<const BYTE*>(winPath->c_str()),
                           static_cast<DWORD>(winPath->size() + 1)),
            ERROR_SUCCESS);
  ASSERT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), S_OK);
  static_cast<IUnknown*>(object)->Release();
  void* library = dlopen(TEST_INPROC_SERVER, RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(library, nullptr);
  auto instances = reinterpret_cast<int (*)()>(dlsym(library, "TestServerInstances"));
  EXPECT_EQ(instances(), 1);
  dlclose(library);
  CoUninitialize();
}

// Windows calls a DLL's DllMain once when it first enters the process; a module that does its
// set-up there (the console's resources) is broken if the loader skips it or repeats it.
TEST_F(ComTest, TheFirstLoadOfAModuleCallsItsDllMainOnce) {
  std::string error;
  void* first = platform::com::loadModule(TEST_INPROC_SERVER, error);
  ASSERT_NE(first, nullptr) << error;
  auto attaches = reinterpret_cast<int (*)()>(dlsym(first, "TestServerAttaches"));
  ASSERT_NE(attaches, nullptr);
  EXPECT_EQ(attaches(), 1);
  EXPECT_EQ(platform::com::loadModule(TEST_INPROC_SERVER, error), first);
  EXPECT_EQ(attaches(), 1);
  EXPECT_EQ(platform::com::loadModule("/no/such/module.so", error), nullptr);
  EXPECT_FALSE(error.empty());
}

}  // namespace
