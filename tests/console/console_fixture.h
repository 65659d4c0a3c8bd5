#pragma once
// A machine with the console registered and two web sites, the user-interface thread, the
// scripted driver, and a listening socket that stands in for the web server receiving the
// reload request.

#include <dlfcn.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mmc/sheet_opener.h"
#include "platform/com/com.h"
#include "platform/ui/scripted_driver.h"
#include "platform/ui/ui_thread.h"
#include "tests/support/machine_fixture.h"
#include "tests/support/metabase_helpers.h"

namespace console_tests {

constexpr const char* kSitesKey = "SOFTWARE\\Korvane\\Sablewing\\Value\\Sites";
constexpr const char* kGlobalKey = "SOFTWARE\\Korvane\\Sablewing\\Value";

// A text value, the key made when missing.
inline void writeText(const std::string& key, const char* name, const std::string& text) {
  UniqueKey k;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, k.put(), nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(k.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), static_cast<DWORD>(text.size() + 1));
}

// A value's data as text without its last NUL (a multi-string keeps the others), or nullopt.
inline std::optional<std::string> readValue(const std::string& key, const char* name) {
  UniqueKey k;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, k.put()) != ERROR_SUCCESS) return std::nullopt;
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(k.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
  std::string data(size, '\0');
  RegQueryValueExA(k.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size);
  if (type == REG_SZ && !data.empty() && data.back() == '\0') data.pop_back();
  return data;
}

inline std::vector<std::string> valueNames(const std::string& key) {
  std::vector<std::string> names;
  UniqueKey k;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, k.put()) != ERROR_SUCCESS) return names;
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD chars = sizeof(name);
    if (RegEnumValueA(k.get(), i, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name);
  }
  return names;
}

inline bool keyExists(const std::string& path) {
  UniqueKey key;
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

inline void makeKey(const std::string& path) {
  UniqueKey key;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
}

// Accepts the reload requests the console sends and keeps their bytes.
class ReloadListener {
 public:
  ReloadListener() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    ::listen(fd_, 16);
    socklen_t length = sizeof(address);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~ReloadListener() { ::close(fd_); }
  unsigned short port() const { return port_; }

  // Every request waiting now (Apply sends before it returns, so they are queued already).
  std::vector<std::string> take() {
    std::vector<std::string> requests;
    pollfd waiting{fd_, POLLIN, 0};
    while (::poll(&waiting, 1, 200) > 0) {
      const int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) break;
      std::string bytes;
      char buffer[4096];
      pollfd readable{client, POLLIN, 0};
      while (::poll(&readable, 1, 2000) > 0) {
        const ssize_t n = ::read(client, buffer, sizeof(buffer));
        if (n <= 0) break;
        bytes.append(buffer, static_cast<std::size_t>(n));
      }
      ::close(client);
      requests.push_back(bytes);
    }
    return requests;
  }

 private:
  int fd_ = -1;
  unsigned short port_ = 0;
};

class ConsoleTest : public testing_support::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    installProduct();
    // Both bound where the test listens: the reload request goes to the site's binding.
    const std::string port = std::to_string(listener_.port());
    addSite(1, "Shop", "127.0.0.1:" + port + ":shop.example", "C:\\Inetpub\\shop");
    addSite(2, "Shop Two", ":" + port + ":", "C:\\Inetpub\\two");
    std::string error;
    library_ = platform::com::loadModule(SQUASHCONSOLE_PATH, error);  // as the console host loads it
    ASSERT_NE(library_, nullptr) << error;
    auto registerServer = reinterpret_cast<DllRegisterServerFn>(dlsym(library_, "DllRegisterServer"));
    ASSERT_EQ(registerServer(), S_OK);
    setGlobal("ReloadPort", std::to_string(listener_.port()));
    ui_ = std::make_unique<platform::ui::UiThread>();
    driver_ = std::make_unique<platform::ui::ScriptedDriver>(*ui_);
  }

  void TearDown() override {
    driver_.reset();
    ui_.reset();  // ends open dialogs and the loop
    MachineTest::TearDown();
  }

  static void addSite(int site, const std::string& description, const std::string& binding, const std::string& root) {
    const std::string path = "/LM/W3SVC/" + std::to_string(site);
    testing_support::setMetabaseString(path, MD_SERVER_COMMENT, description);
    testing_support::setMetabaseString(path, MD_SERVER_BINDINGS, binding, 0, IIS_MD_UT_SERVER, MULTISZ_METADATA);
    testing_support::setMetabaseString(path + "/Root", MD_VR_PATH, root, METADATA_INHERIT, IIS_MD_UT_FILE);
  }

  // The sheet for a site, as the console host opens it; its caption.
  std::string openSheet(int site, const std::string& description) {
    driver_->run([&] { mmc::openSiteProperties(nullptr, site, description); });
    return description + " Properties";
  }

  static std::string siteKey(int site) { return std::string(kSitesKey) + "\\" + std::to_string(site); }

  static void setGlobal(const char* name, const std::string& text) { writeText(kGlobalKey, name, text); }
  static void setSiteText(int site, const char* name, const std::string& text) { writeText(siteKey(site), name, text); }
  static std::optional<std::string> siteValue(int site, const char* name) { return readValue(siteKey(site), name); }

  // Opens the sheet once so the site gets its key with the page's defaults, then closes it.
  void createSiteKey(int site, const std::string& description) {
    const std::string sheet = openSheet(site, description);
    driver_->click(sheet, IDCANCEL);
  }

  platform::ui::ScriptedDriver& driver() { return *driver_; }
  ReloadListener listener_;

 private:
  void* library_ = nullptr;
  std::unique_ptr<platform::ui::UiThread> ui_;
  std::unique_ptr<platform::ui::ScriptedDriver> driver_;
};

}  // namespace console_tests
