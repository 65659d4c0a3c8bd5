// The service manager's image paths and state, and security descriptors with access lists.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/registry/registry.h"
#include "platform/registry/unique_key.h"
#include "platform/services/service_control.h"
#include "platform/services/service_launch.h"
#include "platform/services/service_state.h"
#include "tests/support/machine_fixture.h"

namespace {

using platform::services::splitImagePath;

class ServicesTest : public testing_support::MachineTest {};

TEST_F(ServicesTest, ImagePathsSplitAsWindowsSplitsThem) {
  EXPECT_EQ(splitImagePath("\"/opt/my server/w3svc\" --foreground  --workers 4"),
            (std::vector<std::string>{"/opt/my server/w3svc", "--foreground", "--workers", "4"}));
  EXPECT_EQ(splitImagePath("/bin/true \"an argument\""), (std::vector<std::string>{"/bin/true", "an argument"}));
  EXPECT_EQ(splitImagePath("   "), std::vector<std::string>{});
  // A Windows path for the program is mapped through the machine's drives.
  const auto words = splitImagePath("Z:\\bin\\true x");
  ASSERT_EQ(words.size(), 2u);
  EXPECT_TRUE(std::filesystem::equivalent(words[0], "/bin/true")) << words[0];
}

TEST_F(ServicesTest, AServiceIsRunningOnlyWhileItsLockIsHeld) {
  platform::services::writeRecordedState("Spare", {SERVICE_RUNNING, 4242});
  EXPECT_EQ(platform::services::currentState("spare").state, static_cast<DWORD>(SERVICE_STOPPED));
  const int fd = ::open(platform::services::serviceLockFile("SPARE").c_str(), O_RDWR | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  EXPECT_EQ(platform::services::currentState("Spare").state, static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(platform::services::currentState("Spare").pid, 4242);
  // Reported stopped while it still tears down: stopping, never starting again.
  platform::services::writeRecordedState("Spare", {SERVICE_STOPPED, 4242});
  EXPECT_EQ(platform::services::currentState("Spare").state, static_cast<DWORD>(SERVICE_STOP_PENDING));
  ::close(fd);  // the holder ends: a crash reads the same
  EXPECT_EQ(platform::services::currentState("Spare").state, static_cast<DWORD>(SERVICE_STOPPED));
}

TEST_F(ServicesTest, ManagerCallsCheckHandlesAndAccess) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  ASSERT_TRUE(manager);
  EXPECT_EQ(OpenServiceA(manager, "W3SVC", SERVICE_QUERY_STATUS), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
  EXPECT_EQ(CreateServiceA(manager, "Spare", nullptr, SERVICE_ALL_ACCESS, SERVICE_WIN32_SHARE_PROCESS,
                           SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, "/bin/true", nullptr, nullptr, nullptr, nullptr,
                           nullptr),
            nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));  // connect access only
  EXPECT_TRUE(CloseServiceHandle(manager));

  manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE service = CreateServiceA(manager, "Spare", "A spare", SERVICE_QUERY_STATUS, SERVICE_WIN32_SHARE_PROCESS,
                                     SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, "/bin/true", nullptr, nullptr,
                                     "IISADMIN\0", nullptr, nullptr);
  ASSERT_TRUE(service);
  SERVICE_STATUS status{};
  EXPECT_TRUE(QueryServiceStatus(service, &status));
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(StartServiceA(service, 0, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  CloseServiceHandle(service);
  UniqueKey key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\Spare", 0, KEY_READ, key.put()),
            ERROR_SUCCESS);
  char dependencies[64] = {};
  DWORD size = sizeof(dependencies);
  ASSERT_EQ(RegQueryValueExA(key.get(), "DependOnService", nullptr, nullptr, reinterpret_cast<LPBYTE>(dependencies), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::string(dependencies, size), std::string("IISADMIN\0\0", 10));
  CloseServiceHandle(manager);
}

class SecurityTest : public testing_support::MachineTest {};

TEST_F(SecurityTest, AccessListsSurviveTheRegistryAndShortBuffersAreReported) {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID users = nullptr;
  ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS, 0, 0, 0, 0, 0, 0,
                                       &users));
  alignas(8) BYTE aclBytes[40];
  auto* acl = reinterpret_cast<PACL>(aclBytes);
  ASSERT_TRUE(InitializeAcl(acl, sizeof(aclBytes), ACL_REVISION));
  ASSERT_TRUE(AddAccessAllowedAceEx(acl, ACL_REVISION, CONTAINER_INHERIT_ACE, 0x20019, users));
  // The list's 8-byte header and one entry of 24 bytes leave no room for a second.
  EXPECT_FALSE(AddAccessAllowedAceEx(acl, ACL_REVISION, 0, 1, users));
  EXPECT_EQ(acl->AceCount, 1);
  SECURITY_DESCRIPTOR sd;
  InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE);
  EXPECT_EQ(platform::security::toSddl(&sd), "D:(A;CI;0x20019;;;S-1-5-32-545)");
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), &sd, FALSE};
  UniqueKey key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Guarded", 0, nullptr, 0, KEY_ALL_ACCESS, &attributes,
                            key.put(), nullptr),
            ERROR_SUCCESS);
  FreeSid(users);
  DWORD size = 8;
  alignas(8) BYTE buffer[256];
  EXPECT_EQ(RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, buffer, &size), ERROR_INSUFFICIENT_BUFFER);
  ASSERT_LE(size, sizeof(buffer));
  ASSERT_EQ(RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, buffer, &size), ERROR_SUCCESS);
  EXPECT_EQ(platform::security::toSddl(reinterpret_cast<SECURITY_DESCRIPTOR*>(buffer)),
            "D:(A;CI;0x20019;;;S-1-5-32-545)");
}

}  // namespace
