#pragma once
// The Winsock subset the system uses (winsock2.h): blocking IPv4 TCP client sockets. A
// socket is the host's descriptor; sending to a peer that has gone fails with SOCKET_ERROR
// and never raises a signal, as on Windows. This header stands alone: its names are those
// of winsock2.h and clash with the host's socket headers, so no file includes both. Its
// u_short and u_long are spelt as their sizes: the host's C library has its own u_long, of
// another width.

#include <cstddef>
#include <cstdint>

#include "platform/win_types.h"

#ifdef _WIN32
#include <winsock2.h>
#else

using SOCKET = std::uintptr_t;

constexpr SOCKET INVALID_SOCKET = ~SOCKET{0};
constexpr int SOCKET_ERROR = -1;
constexpr std::uint32_t INADDR_NONE = 0xFFFFFFFF;

constexpr int AF_INET = 2;
constexpr int SOCK_STREAM = 1;
constexpr int IPPROTO_TCP = 6;

struct sockaddr {
  std::uint16_t sa_family;
  char sa_data[14];
};

struct in_addr {
  std::uint32_t s_addr;  // network byte order
};

struct sockaddr_in {
  short sin_family;
  std::uint16_t sin_port;  // network byte order
  in_addr sin_addr;
  char sin_zero[8];
};
using SOCKADDR = sockaddr;
using SOCKADDR_IN = sockaddr_in;
using IN_ADDR = in_addr;

struct WSADATA {
  WORD wVersion;
  WORD wHighVersion;
  char szDescription[257];
  char szSystemStatus[129];
  unsigned short iMaxSockets;
  unsigned short iMaxUdpDg;
  char* lpVendorInfo;
};

constexpr WORD MAKEWORD(BYTE low, BYTE high) { return static_cast<WORD>(low | (high << 8)); }

// Every process calls WSAStartup before its first socket and WSACleanup when done with them;
// 0 is success. The host needs no set-up, so these only report the version.
int WSAStartup(WORD versionRequested, WSADATA* data) noexcept;
int WSACleanup() noexcept;

// AF_INET and SOCK_STREAM only (protocol IPPROTO_TCP or 0); INVALID_SOCKET otherwise or when
// the host has none left.
SOCKET socket(int af, int type, int protocol) noexcept;
// 0 when connected, SOCKET_ERROR else. name must be a sockaddr_in of AF_INET.
int connect(SOCKET s, const sockaddr* name, int nameLength) noexcept;
// The bytes sent (blocking until all are sent or the connection fails), or SOCKET_ERROR.
int send(SOCKET s, const char* buffer, int length, int flags) noexcept;
int closesocket(SOCKET s) noexcept;

// A dotted IPv4 address in network byte order; INADDR_NONE for anything else.
std::uint32_t inet_addr(const char* text) noexcept;
std::uint16_t htons(std::uint16_t host) noexcept;

#endif  // _WIN32
