// The COM exports, the class factory and the extension object, and what registration and
// unregistration leave in the registry.

#include <dlfcn.h>

#include "platform/ui/mmc.h"
#include "tests/console/console_fixture.h"

namespace console_tests {
namespace {

constexpr CLSID kExtension = {0x5D3A81C4, 0x7E20, 0x4B9F, {0x9C, 0x61, 0x2F, 0x04, 0xB8, 0xE7, 0xA9, 0x13}};
constexpr CLSID kOtherClass = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr const char* kClassKey = "SOFTWARE\\Classes\\CLSID\\{5D3A81C4-7E20-4B9F-9C61-2F04B8E7A913}";
constexpr const char* kSnapInKey = "SOFTWARE\\Microsoft\\MMC\\SnapIns\\{5D3A81C4-7E20-4B9F-9C61-2F04B8E7A913}";
constexpr const char* kExtensionsKey =
    "SOFTWARE\\Microsoft\\MMC\\NodeTypes\\{A841B6C7-7577-11D0-BB1F-00A0C922E79C}\\Extensions\\PropertySheet";

using GetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);
using CanUnloadFn = HRESULT (*)();

class RegistrationTest : public testing_support::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    std::string error;
    library_ = platform::com::loadModule(SQUASHCONSOLE_PATH, error);  // as the console host loads it
    ASSERT_NE(library_, nullptr) << error;
    getClassObject = reinterpret_cast<GetClassObjectFn>(dlsym(library_, "DllGetClassObject"));
    canUnload = reinterpret_cast<CanUnloadFn>(dlsym(library_, "DllCanUnloadNow"));
    registerServer = reinterpret_cast<DllRegisterServerFn>(dlsym(library_, "DllRegisterServer"));
    unregisterServer = reinterpret_cast<DllRegisterServerFn>(dlsym(library_, "DllUnregisterServer"));
  }
  static std::optional<std::string> text(const std::string& key, const char* name) { return readValue(key, name); }

  void* library_ = nullptr;
  GetClassObjectFn getClassObject = nullptr;
  CanUnloadFn canUnload = nullptr;
  DllRegisterServerFn registerServer = nullptr;
  DllRegisterServerFn unregisterServer = nullptr;
};

TEST_F(RegistrationTest, ClassObjectChecksTheInterfaceBeforeTheClass) {
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(getClassObject(kExtension, IID_IClassFactory, nullptr), E_FAIL);
  EXPECT_EQ(getClassObject(kOtherClass, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(getClassObject(kExtension, IID_IExtendPropertySheet, &object), E_NOINTERFACE);
  EXPECT_EQ(getClassObject(kOtherClass, IID_IExtendPropertySheet, &object), E_NOINTERFACE);
  EXPECT_EQ(canUnload(), S_OK);
}

TEST_F(RegistrationTest, FactoryAndObjectsKeepTheModuleLoadedWhileTheyLive) {
  IClassFactory* factory = nullptr;
  ASSERT_EQ(getClassObject(kExtension, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
  EXPECT_EQ(canUnload(), S_FALSE);

  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(static_cast<IUnknown*>(factory), IID_IExtendPropertySheet, &object),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IExtendPropertySheet, nullptr), E_FAIL);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &object), E_NOINTERFACE);

  IExtendPropertySheet* extension = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IExtendPropertySheet, reinterpret_cast<void**>(&extension)), S_OK);
  EXPECT_EQ(extension->QueryPagesFor(nullptr), S_OK);
  IUnknown* unknown = nullptr;
  EXPECT_EQ(extension->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  EXPECT_EQ(extension->QueryInterface(IID_IClassFactory, &object), E_NOINTERFACE);
  unknown->Release();

  EXPECT_EQ(factory->Release(), 0u);
  EXPECT_EQ(canUnload(), S_FALSE);  // the extension object is alive
  EXPECT_EQ(extension->Release(), 0u);
  EXPECT_EQ(canUnload(), S_OK);

  ASSERT_EQ(getClassObject(kExtension, IID_IUnknown, reinterpret_cast<void**>(&factory)), S_OK);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory->Release();
  EXPECT_EQ(canUnload(), S_FALSE);  // locked
  ASSERT_EQ(getClassObject(kExtension, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory->Release();
  EXPECT_EQ(canUnload(), S_OK);
}

TEST_F(RegistrationTest, RegistrationWritesTheClassTheSnapInAndTheExtension) {
  for (int round = 0; round < 2; ++round) {  // a second registration leaves the same entries
    ASSERT_EQ(registerServer(), S_OK);
    EXPECT_EQ(text(kClassKey, nullptr), "Tamsic Uitlity");
    const auto path = text(std::string(kClassKey) + "\\InprocServer32", nullptr);
    ASSERT_TRUE(path);
    EXPECT_TRUE(path->ends_with("squashconsole.so")) << *path;
    EXPECT_EQ(path->substr(1, 2), ":\\");  // a Windows path
    EXPECT_EQ(text(std::string(kClassKey) + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(text(kSnapInKey, "NameString"), "Korvane Tamsic Uitlity");
    EXPECT_EQ(text(kSnapInKey, "Version"), "1.0");
    EXPECT_TRUE(keyExists(std::string(kSnapInKey) + "\\NodeTypes\\{5D3A81C4-7E20-4B9F-9C61-2F04B8E7A913}"));
    EXPECT_EQ(text(kExtensionsKey, "{5D3A81C4-7E20-4B9F-9C61-2F04B8E7A913}"), "Korvane Tamsic Uitlity");
  }
  // The registered class is what CoCreateInstance finds.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IExtendPropertySheet* extension = nullptr;
  EXPECT_EQ(CoCreateInstance(kExtension, nullptr, CLSCTX_INPROC_SERVER, IID_IExtendPropertySheet,
                             reinterpret_cast<void**>(&extension)),
            S_OK);
  if (extension) extension->Release();
  CoUninitialize();
}

TEST_F(RegistrationTest, WithoutTheIisManagerTheClassIsRegisteredAndTheResultIsFalse) {
  ASSERT_TRUE(keyExists("SOFTWARE\\Microsoft\\MMC\\SnapIns\\{A841B6C2-7577-11D0-BB1F-00A0C922E79C}\\NodeTypes\\"
                        "{A841B6C7-7577-11D0-BB1F-00A0C922E79C}"));  // a fresh machine has the IIS manager
  ASSERT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\MMC\\SnapIns\\{A841B6C2-7577-11D0-BB1F-00A0C922E79C}"),
            ERROR_SUCCESS);
  EXPECT_EQ(registerServer(), S_FALSE);
  EXPECT_EQ(text(kClassKey, nullptr), "Tamsic Uitlity");
  EXPECT_EQ(text(kSnapInKey, "NameString"), "Korvane Tamsic Uitlity");
  EXPECT_EQ(text(kExtensionsKey, "{5D3A81C4-7E20-4B9F-9C61-2F04B8E7A913}"), std::nullopt);
}

TEST_F(RegistrationTest, AMissingExtensionsKeyIsMadeBelowTheNodeTypes) {
  ASSERT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\MMC\\NodeTypes"), ERROR_SUCCESS);
  EXPECT_EQ(registerServer(), S_FALSE);  // no NodeTypes key to make it in
  makeKey("SOFTWARE\\Microsoft\\MMC\\NodeTypes");
  EXPECT_EQ(registerServer(), S_OK);
  EXPECT_EQ(text(kExtensionsKey, "{5D3A81C4-7E20-4B9F-9C61-2F04B8E7A913}"), "Korvane Tamsic Uitlity");
}

TEST_F(RegistrationTest, UnregistrationRemovesEverythingAndTheMakerKeyOnlyWhenEmpty) {
  ASSERT_EQ(registerServer(), S_OK);
  makeKey("SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\1\\Browsers");
  makeKey("SOFTWARE\\Korvane\\Dorvell");
  EXPECT_EQ(unregisterServer(), S_OK);
  EXPECT_FALSE(keyExists(kClassKey));
  EXPECT_FALSE(keyExists(kSnapInKey));
  EXPECT_EQ(text(kExtensionsKey, "{5D3A81C4-7E20-4B9F-9C61-2F04B8E7A913}"), std::nullopt);
  EXPECT_TRUE(keyExists(kExtensionsKey));
  EXPECT_FALSE(keyExists("SOFTWARE\\Korvane\\Sablewing"));
  EXPECT_TRUE(keyExists("SOFTWARE\\Korvane\\Dorvell"));  // the sibling product keeps its key

  ASSERT_EQ(registerServer(), S_OK);
  makeKey("SOFTWARE\\Korvane\\Sablewing\\Value");
  ASSERT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\Dorvell"), ERROR_SUCCESS);
  EXPECT_EQ(unregisterServer(), S_OK);
  EXPECT_FALSE(keyExists("SOFTWARE\\Korvane"));
  EXPECT_EQ(unregisterServer(), S_OK);  // nothing left to remove
}

TEST_F(RegistrationTest, UnregistrationWithoutTheExtensionsKeyLeavesTheSnapIn) {
  ASSERT_EQ(registerServer(), S_OK);
  ASSERT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\MMC\\NodeTypes"), ERROR_SUCCESS);
  EXPECT_EQ(unregisterServer(), S_OK);
  EXPECT_FALSE(keyExists(kClassKey));
  EXPECT_TRUE(keyExists(kSnapInKey));
}

}  // namespace
}  // namespace console_tests
