// The reload token: created only where the product's global key exists, and read again when
// a reload request names another token (fault 7).

#include <gtest/gtest.h>

#include "platform/registry/registry.h"
#include "platform/registry/unique_key.h"
#include "settings/registry_layout.h"
#include "settings/reload_token.h"
#include "tests/support/machine_fixture.h"

namespace {

using namespace settings;

class ReloadTokenTest : public testing_support::MachineTest {
 protected:
  static bool globalKeyExists() {
    UniqueKey key;
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, kGlobalKeyPath, 0, KEY_READ, key.put()) == ERROR_SUCCESS;
  }
  static void storeToken(const std::string& token) {
    UniqueKey key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kGlobalKeyPath, 0, KEY_ALL_ACCESS, key.put()), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key.get(), kReloadTokenValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(token.c_str()),
                             static_cast<DWORD>(token.size() + 1)),
              ERROR_SUCCESS);
  }
};

TEST_F(ReloadTokenTest, WithoutTheProductsGlobalKeyNothingIsCreated) {
  EXPECT_FALSE(ObtainReloadToken());
  EXPECT_FALSE(ReadReloadToken());
  EXPECT_FALSE(globalKeyExists());
}

TEST_F(ReloadTokenTest, TheFirstToAskCreatesItAndTheOthersReadTheSame) {
  installProduct();
  EXPECT_FALSE(ReadReloadToken());
  const auto token = ObtainReloadToken();
  ASSERT_TRUE(token);
  EXPECT_EQ(token->size(), 32u);
  EXPECT_EQ(ObtainReloadToken(), token);
  EXPECT_EQ(ReadReloadToken(), token);
}

TEST_F(ReloadTokenTest, EveryRequestIsCheckedAgainstTheStoredToken) {
  installProduct();
  ReloadTokenCheck check;
  check.remember(ObtainReloadToken().value_or(""));
  const std::string first = *ReadReloadToken();
  EXPECT_TRUE(check.matches(first));
  EXPECT_FALSE(check.matches("not-the-token"));
  EXPECT_FALSE(check.matches(""));
  // The console registered again made a new token while the filter ran.
  const std::string second(32, 'b');
  storeToken(second);
  EXPECT_TRUE(check.matches(second));
  EXPECT_FALSE(check.matches(first));  // the old one is gone with it
  // Replaced again: the token last matched ends too, before anyone names the new one.
  storeToken(std::string(32, 'c'));
  EXPECT_FALSE(check.matches(second));
}

// A token must be unguessable: made from the system's generator, never a fixed or repeated text.
TEST_F(ReloadTokenTest, ATokenMadeAnewIsHexAndDiffersFromTheLast) {
  installProduct();
  const auto first = ObtainReloadToken();
  ASSERT_TRUE(first);
  storeToken("short");  // too short to be a secret: replaced
  const auto second = ObtainReloadToken();
  ASSERT_TRUE(second);
  EXPECT_NE(*first, *second);
  for (const std::string& token : {*first, *second}) {
    EXPECT_EQ(token.size(), 32u);
    EXPECT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos) << token;
  }
}

// A token an administrator stored is kept as long as a reload URL can carry it.
TEST_F(ReloadTokenTest, ATokenAsLongAsAReloadUrlCarriesIsKeptAndALongerOneMadeAnew) {
  installProduct();
  const std::string longest(247, 'k');  // "/rstval=" and it fill the 255 characters read
  storeToken(longest);
  EXPECT_EQ(ObtainReloadToken(), longest);
  storeToken(longest + "k");
  const auto made = ObtainReloadToken();
  ASSERT_TRUE(made);
  EXPECT_EQ(made->size(), 32u);
}

TEST_F(ReloadTokenTest, NoTokenMatchesNothing) {
  ReloadTokenCheck check;
  check.remember("");
  EXPECT_FALSE(check.matches(""));
  EXPECT_FALSE(check.matches(std::string(32, 'a')));
}

}  // namespace
