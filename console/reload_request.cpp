#include "console/reload_request.h"

#include "console/module_state.h"
#include "console/property_sheet_extension.h"
#include "console/resources/resource_ids.h"
#include "platform/net/winsock.h"
#include "platform/registry/unique_key.h"
#include "settings/registry_layout.h"
#include "settings/reload_token.h"
#include "settings/rule_lists.h"

namespace console {

namespace {

constexpr std::uint16_t kDefaultPort = 80;

// The notice handles nothing of its own.
INT_PTR CALLBACK NoticeProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG ? TRUE : FALSE; }

std::uint16_t reloadPort() {
  UniqueKey global;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, settings::kGlobalKeyPath, 0, KEY_QUERY_VALUE, global.put()) != ERROR_SUCCESS)
    return kDefaultPort;
  char data[32] = {};
  DWORD type = 0, size = sizeof(data) - 1;
  if (RegQueryValueExA(global.get(), kReloadPortValue, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
    return kDefaultPort;
  const long port = settings::parseNumber(settings::scalarText(type, std::string_view(data, size)));
  return port > 0 && port < 65536 ? static_cast<std::uint16_t>(port) : kDefaultPort;
}

void sendRequest(const PropertySheetExtension& extension) {
  WSADATA winsock;
  if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0) return;
  const SOCKET sock = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (sock != INVALID_SOCKET) {
    SOCKADDR_IN server{};
    server.sin_family = AF_INET;
    // The site's own binding routes its Host to this server: another port (ReloadPort, 80)
    // may serve no site of that name and refuse the request before the filter sees it.
    server.sin_port = htons(extension.boundPort.value_or(reloadPort()));
    const std::string host = extension.boundAddress.empty() ? "127.0.0.1" : extension.boundAddress;
    server.sin_addr.s_addr = inet_addr(host.c_str());
    if (connect(sock, reinterpret_cast<const SOCKADDR*>(&server), sizeof(server)) == 0) {
      // Read now: a token made anew while the sheet was open is the one the filter checks.
      const std::string token = settings::ObtainReloadToken().value_or(extension.reloadToken);
      const std::string request = FormatReloadRequest(token, extension.hostName, host);
      // One send of the whole request; its outcome does not matter, nothing is read.
      [[maybe_unused]] const int sent = send(sock, request.data(), static_cast<int>(request.size()), 0);
    }
    closesocket(sock);
  }
  WSACleanup();
}

}  // namespace

std::string FormatReloadRequest(const std::string& token, const std::optional<std::string>& hostName,
                                const std::string& address) {
  // HTTP/1.1 requires a Host: the site's host name, else the address the request goes to
  // (a server that follows the standard refuses a request without one).
  const std::string host = hostName && !hostName->empty() ? *hostName : address;
  return "GET /rstval=" + token + " HTTP/1.1\r\nUser-Agent: TamsicUI\r\nHost: " + host + "\r\n\r\n";
}

void SendReloadRequest(HWND page, const PropertySheetExtension& extension) {
  HWND notice = CreateDialogParamA(moduleInstance(), MAKEINTRESOURCEA(res::kApplyingNotice), page, NoticeProc, 0);
  HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
  sendRequest(extension);
  SetCursor(previous);
  if (notice) DestroyWindow(notice);
}

}  // namespace console
