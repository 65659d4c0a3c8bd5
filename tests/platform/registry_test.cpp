// The registry stand-in: name rules, enumeration orders, the size protocol, byte-exact
// data and several processes writing at once.

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/registry/registry.h"
#include "platform/registry/unique_key.h"
#include "tests/support/machine_fixture.h"

namespace {

class RegistryTest : public testing_support::MachineTest {
 protected:
  UniqueKey create(const char* path) {
    UniqueKey key;
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    return key;
  }
  static void setText(HKEY key, const char* name, const std::string& text) {
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>(text.size() + 1)),
              ERROR_SUCCESS);
  }
  static std::vector<std::string> valueNames(HKEY key) {
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
      char name[256];
      DWORD chars = sizeof(name);
      if (RegEnumValueA(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      names.emplace_back(name, chars);
    }
    return names;
  }
  static std::vector<std::string> subKeyNames(HKEY key) {
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
      char name[256];
      DWORD chars = sizeof(name);
      if (RegEnumKeyExA(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      names.emplace_back(name, chars);
    }
    return names;
  }
};

// The registry holds the reload token: no other user of the machine may read it, nor look
// into the root, also one laid out before that rule.
TEST_F(RegistryTest, TheStoreAndTheMachineRootAreTheirOwnersAlone) {
  UniqueKey key = create("SOFTWARE\\Secret");
  setText(key.get(), "Token", "0123");
  auto mode = [](const std::filesystem::path& path) {
    return std::filesystem::status(path).permissions() & std::filesystem::perms::all;
  };
  using std::filesystem::perms;
  EXPECT_EQ(mode(root_ / "registry.db"), perms::owner_read | perms::owner_write);
  EXPECT_EQ(mode(root_ / "registry.db-wal"), perms::owner_read | perms::owner_write);
  EXPECT_EQ(mode(root_ / "run"), perms::owner_all);
  EXPECT_EQ(mode(root_), perms::owner_all);
  std::filesystem::permissions(root_, perms::owner_all | perms::group_read | perms::group_exec | perms::others_read |
                                          perms::others_exec);
  std::string error;
  ASSERT_FALSE(platform::ensureMachineRoot(error).empty()) << error;
  EXPECT_EQ(mode(root_), perms::owner_all);
}

// A root that lost a part (its drive links, or restored from its two store files) gets the
// part back; the stores it has are kept, not replaced by blank ones.
TEST_F(RegistryTest, ARootMissingAPartKeepsTheStoresItHas) {
  UniqueKey key = create("SOFTWARE\\Kept");
  setText(key.get(), "Value", "1");
  auto inode = [](const std::filesystem::path& file) {
    struct stat info {};
    return ::stat(file.c_str(), &info) == 0 ? info.st_ino : 0;
  };
  const auto registryBefore = inode(root_ / "registry.db");
  const auto metabaseBefore = inode(root_ / "metabase.db");
  ASSERT_NE(registryBefore, 0u);
  ASSERT_NE(metabaseBefore, 0u);
  std::filesystem::remove_all(root_ / "dosdevices");
  std::string error;
  ASSERT_FALSE(platform::ensureMachineRoot(error).empty()) << error;
  EXPECT_TRUE(std::filesystem::is_symlink(root_ / "dosdevices" / "c:"));
  EXPECT_EQ(inode(root_ / "registry.db"), registryBefore);
  EXPECT_EQ(inode(root_ / "metabase.db"), metabaseBefore);
}

TEST_F(RegistryTest, KeyAndValueNamesAreCaseInsensitiveAndCasePreserving) {
  UniqueKey key = create("SOFTWARE\\Korvane\\MixedCase");
  setText(key.get(), "MinSize", "800");
  UniqueKey again;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "software\\KORVANE\\mixedcase", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            again.put(), &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  char data[16] = {};
  DWORD size = sizeof(data);
  ASSERT_EQ(RegQueryValueExA(again.get(), "MINSIZE", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(data, "800");
  setText(again.get(), "minsize", "900");
  EXPECT_EQ(valueNames(key.get()), std::vector<std::string>{"MinSize"});
  UniqueKey parent = create("SOFTWARE\\Korvane");
  EXPECT_EQ(subKeyNames(parent.get()), std::vector<std::string>{"MixedCase"});
}

TEST_F(RegistryTest, ValuesEnumerateInCreationOrderAndARewriteKeepsItsPlace) {
  UniqueKey key = create("SOFTWARE\\Order");
  for (const char* name : {"Zeta", "alpha", "Mid"}) setText(key.get(), name, "x");
  setText(key.get(), "ZETA", "rewritten");
  EXPECT_EQ(valueNames(key.get()), (std::vector<std::string>{"Zeta", "alpha", "Mid"}));
  ASSERT_EQ(RegDeleteValueA(key.get(), "alpha"), ERROR_SUCCESS);
  setText(key.get(), "alpha", "back");
  EXPECT_EQ(valueNames(key.get()), (std::vector<std::string>{"Zeta", "Mid", "alpha"}));
}

TEST_F(RegistryTest, SubKeysEnumerateInCaseInsensitiveNameOrder) {
  for (const char* name : {"SOFTWARE\\Sorted\\beta", "SOFTWARE\\Sorted\\Alpha", "SOFTWARE\\Sorted\\GAMMA",
                           "SOFTWARE\\Sorted\\10", "SOFTWARE\\Sorted\\2"})
    create(name);
  UniqueKey key = create("SOFTWARE\\Sorted");
  EXPECT_EQ(subKeyNames(key.get()), (std::vector<std::string>{"10", "2", "Alpha", "beta", "GAMMA"}));
  char name[256];
  DWORD chars = sizeof(name);
  EXPECT_EQ(RegEnumKeyExA(key.get(), 5, name, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryTest, QueryReportsTheSizeNeededForANullOrShortBuffer) {
  UniqueKey key = create("SOFTWARE\\Sizes");
  setText(key.get(), "Text", "0123456789");
  DWORD size = 0, type = 0;
  ASSERT_EQ(RegQueryValueExA(key.get(), "Text", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 11u);
  EXPECT_EQ(type, REG_SZ);
  char small[4];
  size = sizeof(small);
  EXPECT_EQ(RegQueryValueExA(key.get(), "Text", nullptr, nullptr, reinterpret_cast<BYTE*>(small), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 11u);
  EXPECT_EQ(RegQueryValueExA(key.get(), "Missing", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  char name[3];
  DWORD chars = sizeof(name);
  EXPECT_EQ(RegEnumValueA(key.get(), 0, name, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  chars = sizeof(name);
  EXPECT_EQ(RegEnumValueA(key.get(), 1, name, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryTest, DataIsKeptByteForByteWithTheLengthTheWriterGave) {
  UniqueKey key = create("SOFTWARE\\Bytes");
  const BYTE noTerminator[] = {'a', 'b', 'c'};
  const BYTE multi[] = {'a', 0, 'b', 'c', 0, 0};
  ASSERT_EQ(RegSetValueExA(key.get(), "Bare", 0, REG_SZ, noTerminator, sizeof(noTerminator)), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key.get(), "Multi", 0, REG_MULTI_SZ, multi, sizeof(multi)), ERROR_SUCCESS);
  BYTE out[16];
  DWORD size = sizeof(out);
  ASSERT_EQ(RegQueryValueExA(key.get(), "Bare", nullptr, nullptr, out, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::vector<BYTE>(out, out + size), std::vector<BYTE>(noTerminator, noTerminator + 3));
  size = sizeof(out);
  DWORD type = 0;
  ASSERT_EQ(RegQueryValueExA(key.get(), "Multi", nullptr, &type, out, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_MULTI_SZ);
  EXPECT_EQ(std::vector<BYTE>(out, out + size), std::vector<BYTE>(multi, multi + sizeof(multi)));
}

TEST_F(RegistryTest, ClassesRootIsTheClassesKeyOfLocalMachine) {
  UniqueKey viaRoot;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "CLSID\\{X}", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, viaRoot.put(),
                            nullptr),
            ERROR_SUCCESS);
  UniqueKey viaMachine;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\CLSID\\{X}", 0, KEY_READ, viaMachine.put()),
            ERROR_SUCCESS);
}

TEST_F(RegistryTest, DeleteKeyRefusesAKeyWithSubKeysAndAnOpenHandleSeesItDeleted) {
  UniqueKey child = create("SOFTWARE\\Doomed\\Child");
  UniqueKey parent = create("SOFTWARE\\Doomed");
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Doomed"), ERROR_ACCESS_DENIED);
  ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Doomed\\Child"), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Doomed"), ERROR_SUCCESS);
  const BYTE one[] = {'1', 0};
  EXPECT_EQ(RegSetValueExA(parent.get(), "X", 0, REG_SZ, one, 2), ERROR_KEY_DELETED);
  UniqueKey gone;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Doomed", 0, KEY_READ, gone.put()), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, AReadOnlyHandleCannotWrite) {
  create("SOFTWARE\\ReadOnly");
  UniqueKey key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ReadOnly", 0, KEY_READ, key.put()), ERROR_SUCCESS);
  const BYTE one[] = {'1', 0};
  EXPECT_EQ(RegSetValueExA(key.get(), "X", 0, REG_SZ, one, 2), ERROR_ACCESS_DENIED);
}

TEST_F(RegistryTest, ASecurityDescriptorGivenAtCreationIsKeptWithTheKey) {
  SECURITY_DESCRIPTOR sd;
  ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE));
  SECURITY_ATTRIBUTES sa{sizeof(sa), &sd, FALSE};
  UniqueKey shared;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared", 0, nullptr, 0, KEY_ALL_ACCESS, &sa, shared.put(),
                            nullptr),
            ERROR_SUCCESS);
  UniqueKey plain = create("SOFTWARE\\Plain");
  SECURITY_DESCRIPTOR read;
  DWORD size = sizeof(read);
  ASSERT_EQ(RegGetKeySecurity(shared.get(), DACL_SECURITY_INFORMATION, &read, &size), ERROR_SUCCESS);
  EXPECT_TRUE(read.DaclPresent);
  EXPECT_EQ(read.Dacl, nullptr);
  ASSERT_EQ(RegGetKeySecurity(plain.get(), DACL_SECURITY_INFORMATION, &read, &size), ERROR_SUCCESS);
  EXPECT_FALSE(read.DaclPresent);
}

// Guards against lost or torn writes when processes share the store: each child writes
// 1000 values through its own connection at the same time as the other.
TEST_F(RegistryTest, TwoProcessesWritingAtOnceLoseNothing) {
  constexpr int kValuesEach = 1000;
  create("SOFTWARE\\Concurrent");
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      // A child must not reuse the parent's connection: point it at the same root through a
      // differently spelled path, which gives it a connection of its own.
      setenv(platform::kMachineEnvVar, (root_.string() + "/.").c_str(), 1);
      HKEY key = nullptr;
      if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Concurrent", 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) _exit(2);
      for (int i = 0; i < kValuesEach; ++i) {
        std::string name = "P" + std::to_string(c) + "-" + std::to_string(i);
        if (RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                           static_cast<DWORD>(name.size() + 1)) != ERROR_SUCCESS)
          _exit(3);
      }
      _exit(0);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  UniqueKey key = create("SOFTWARE\\Concurrent");
  DWORD values = 0;
  ASSERT_EQ(RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                             nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(values, 2u * kValuesEach);
  char data[32] = {};
  DWORD size = sizeof(data);
  ASSERT_EQ(RegQueryValueExA(key.get(), "P1-999", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(data, "P1-999");
}

}  // namespace
