// The Winsock stand-in: a client connects, sends and closes as on Windows, and a peer that
// has gone is an error, never a SIGPIPE that would end the host process.

#include "platform/net/winsock.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/platform/loopback_listener.h"

namespace {

class WinsockTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data_), 0); }
  void TearDown() override { WSACleanup(); }

  SOCKET connectTo(std::uint16_t port) {
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return s;
    SOCKADDR_IN peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = inet_addr("127.0.0.1");
    if (connect(s, reinterpret_cast<const SOCKADDR*>(&peer), sizeof(peer)) != 0) {
      closesocket(s);
      return INVALID_SOCKET;
    }
    return s;
  }

  WSADATA data_{};
  platform_tests::LoopbackListener listener_;
};

TEST_F(WinsockTest, SendsTheBytesToTheAddressAndPortNamed) {
  const SOCKET s = connectTo(listener_.port());
  ASSERT_NE(s, INVALID_SOCKET);
  const std::string request = "GET / HTTP/1.1\r\n\r\n";
  EXPECT_EQ(send(s, request.data(), static_cast<int>(request.size()), 0), static_cast<int>(request.size()));
  EXPECT_EQ(closesocket(s), 0);
  EXPECT_EQ(listener_.acceptAndRead(), request);
}

TEST_F(WinsockTest, SendingToAPeerThatHasGoneFailsWithoutASignal) {
  const SOCKET s = connectTo(listener_.port());
  ASSERT_NE(s, INVALID_SOCKET);
  listener_.acceptAndReset();
  // The reset may arrive after a first send was buffered; a later one fails. Without care a
  // send on the broken connection raises SIGPIPE, which ends this process.
  const std::string bytes(1024, 'x');
  int result = 0;
  for (int i = 0; i < 100 && result != SOCKET_ERROR; ++i) result = send(s, bytes.data(), static_cast<int>(bytes.size()), 0);
  EXPECT_EQ(result, SOCKET_ERROR);
  // The first failure reports the reset; the next ones are those that would raise it.
  EXPECT_EQ(send(s, bytes.data(), static_cast<int>(bytes.size()), 0), SOCKET_ERROR);
  EXPECT_EQ(send(s, bytes.data(), static_cast<int>(bytes.size()), 0), SOCKET_ERROR);
  EXPECT_EQ(closesocket(s), 0);
}

TEST_F(WinsockTest, RefusesWhatItDoesNotProvide) {
  EXPECT_EQ(socket(AF_INET, 2 /* SOCK_DGRAM */, 0), INVALID_SOCKET);
  EXPECT_EQ(inet_addr("not an address"), INADDR_NONE);
  EXPECT_EQ(inet_addr("127.0.0.1"), htons(0x7f00) | (1u << 24));
  EXPECT_EQ(htons(0x1234), std::uint16_t{0x3412});
  EXPECT_EQ(closesocket(INVALID_SOCKET), SOCKET_ERROR);
}

}  // namespace
