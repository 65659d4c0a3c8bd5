// A socket's output: what a client does not take at once is held back in order, within a
// budget, and sent without a waiting thread.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "w3svc/client_output.h"

namespace {

using namespace std::chrono_literals;
using w3svc::SocketOutput;

class ClientOutputTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds_), 0);
    const int small = 4096;
    ::setsockopt(fds_[0], SOL_SOCKET, SO_SNDBUF, &small, sizeof(small));
    ::setsockopt(fds_[1], SOL_SOCKET, SO_RCVBUF, &small, sizeof(small));
  }
  void TearDown() override {
    ::close(fds_[0]);
    ::close(fds_[1]);
  }

  // Everything the client can read now.
  std::string readAvailable() {
    std::string got;
    char buffer[65536];
    ssize_t n;
    while ((n = ::recv(fds_[1], buffer, sizeof(buffer), MSG_DONTWAIT)) > 0) got.append(buffer, static_cast<std::size_t>(n));
    return got;
  }

  // Reads while the output sends what it holds, until it holds nothing.
  std::string drainAll(SocketOutput& out) {
    std::string got;
    for (int i = 0; i < 100000 && out.hasPending(); ++i) {
      got += readAvailable();
      if (out.drainPending() == SocketOutput::Drain::kFailed) break;
    }
    return got + readAvailable();
  }

  static std::string text(std::size_t size, char seed) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>(seed + i % 23);
    return s;
  }

  int fds_[2] = {-1, -1};
};

TEST_F(ClientOutputTest, WhatTheClientDoesNotTakeIsHeldAndSentInOrderWithoutWaiting) {
  SocketOutput out(fds_[0], 60s);
  const std::string first = text(200 * 1024, 'a');
  const std::string second = text(5000, 'k');
  // A file written after held bytes follows them, from its own place.
  char name[] = "/tmp/client_output_testXXXXXX";
  const int file = ::mkstemp(name);
  ASSERT_GE(file, 0);
  ::unlink(name);
  const std::string content = text(300 * 1024, 'F');
  ASSERT_EQ(::write(file, content.data(), content.size()), static_cast<ssize_t>(content.size()));

  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(out.write(first.data(), first.size()));
  EXPECT_TRUE(out.hasPending());
  ASSERT_TRUE(out.write(second.data(), second.size()));
  ASSERT_TRUE(out.sendFile(file, 1000, content.size() - 1000));
  ::close(file);  // the output holds a descriptor of its own
  EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);  // nobody read: no write waited
  EXPECT_EQ(out.drainPending(), SocketOutput::Drain::kWouldBlock);

  EXPECT_EQ(drainAll(out), first + second + content.substr(1000));
  EXPECT_FALSE(out.hasPending());
}

TEST_F(ClientOutputTest, PastItsBudgetAWriteWaitsForTheClientAndFailsAtTheTimeOut) {
  SocketOutput out(fds_[0], 200ms);
  const std::string big = text(2 * 1024 * 1024, 'b');
  EXPECT_FALSE(out.write(big.data(), big.size()));
  // After one failed write every later one fails at once.
  EXPECT_FALSE(out.write("x", 1));
}

TEST_F(ClientOutputTest, AClientThatLeavesEndsTheHeldOutput) {
  SocketOutput out(fds_[0], 60s);
  const std::string body = text(100 * 1024, 'c');
  ASSERT_TRUE(out.write(body.data(), body.size()));
  ASSERT_TRUE(out.hasPending());
  ::close(fds_[1]);
  fds_[1] = ::socket(AF_UNIX, SOCK_STREAM, 0);  // closed again by TearDown
  EXPECT_EQ(out.drainPending(), SocketOutput::Drain::kFailed);
  EXPECT_FALSE(out.hasPending());
  EXPECT_FALSE(out.write("x", 1));
}

}  // namespace
