#pragma once
// The host's TCP client calls behind the Winsock stand-in, under names and types that clash
// with neither winsock2.h's nor the host's own, so each side's file sees one set only.

#include <cstddef>
#include <cstdint>

namespace platform::net {

// A new IPv4 TCP socket's descriptor (closed on exec), or -1.
int hostTcpSocket();
// Address and port in network byte order.
bool hostConnect(int descriptor, std::uint32_t address, std::uint16_t port);
// Sends the whole buffer; -1 when the connection fails, never a SIGPIPE.
long hostSend(int descriptor, const char* buffer, std::size_t length);
bool hostClose(int descriptor);
// The host's inet_addr: a dotted IPv4 address in network byte order, 0xFFFFFFFF for anything
// else (the legacy forms "127.1" and "0x7f.1" are accepted, as by Windows' inet_addr).
std::uint32_t hostInetAddr(const char* text);

}  // namespace platform::net
