#include "platform/net/winsock.h"

#include <bit>
#include <climits>
#include <cstring>

#include "platform/net/host_socket.h"

namespace {

int descriptorOf(SOCKET s) { return s <= static_cast<SOCKET>(INT_MAX) ? static_cast<int>(s) : -1; }

}  // namespace

int WSAStartup(WORD versionRequested, WSADATA* data) noexcept {
  if (!data) return SOCKET_ERROR;
  *data = {};
  data->wVersion = versionRequested;
  data->wHighVersion = MAKEWORD(2, 2);
  std::strcpy(data->szDescription, "WinSock 2.0");
  std::strcpy(data->szSystemStatus, "Running");
  return 0;
}

int WSACleanup() noexcept { return 0; }

SOCKET socket(int af, int type, int protocol) noexcept {
  if (af != AF_INET || type != SOCK_STREAM || (protocol != IPPROTO_TCP && protocol != 0)) return INVALID_SOCKET;
  const int descriptor = platform::net::hostTcpSocket();
  return descriptor < 0 ? INVALID_SOCKET : static_cast<SOCKET>(descriptor);
}

int connect(SOCKET s, const sockaddr* name, int nameLength) noexcept {
  const int descriptor = descriptorOf(s);
  if (descriptor < 0 || !name || nameLength < static_cast<int>(sizeof(sockaddr_in))) return SOCKET_ERROR;
  sockaddr_in peer;
  std::memcpy(&peer, name, sizeof(peer));
  if (peer.sin_family != AF_INET) return SOCKET_ERROR;
  return platform::net::hostConnect(descriptor, peer.sin_addr.s_addr, peer.sin_port) ? 0 : SOCKET_ERROR;
}

int send(SOCKET s, const char* buffer, int length, int) noexcept {
  const int descriptor = descriptorOf(s);
  if (descriptor < 0 || length < 0 || (!buffer && length > 0)) return SOCKET_ERROR;
  const long sent = platform::net::hostSend(descriptor, buffer, static_cast<std::size_t>(length));
  return sent < 0 ? SOCKET_ERROR : static_cast<int>(sent);
}

int closesocket(SOCKET s) noexcept {
  const int descriptor = descriptorOf(s);
  return descriptor >= 0 && platform::net::hostClose(descriptor) ? 0 : SOCKET_ERROR;
}

std::uint32_t inet_addr(const char* text) noexcept { return platform::net::hostInetAddr(text); }

std::uint16_t htons(std::uint16_t host) noexcept {
  if constexpr (std::endian::native == std::endian::big) return host;
  return static_cast<std::uint16_t>((host >> 8) | (host << 8));
}
