// Faults on loopback: peers killed in the middle of a message, half-open connections, a
// host that resets. The others' conversation goes on.
#include <gtest/gtest.h>

#include "core/wire_format.h"
#include "loopback_test.h"

namespace murelo {
namespace {

using test::ChatCopy;
using test::RawPeer;
using test::WaitFor;
using FaultTest = test::LoopbackTest;

/// The encoded bytes of text without their terminator: a message cut short.
std::string Unterminated(const std::string& text) {
  const std::string wire = EncodeMessage(text);
  return wire.substr(0, wire.size() - 1);
}

TEST_F(FaultTest, PeersThatDieOrHalfCloseMidMessageLeaveNoTraceAndFreeTheirSlots) {
  ChatCopy& server = StartServer();
  ChatCopy& a = JoinClient("a");
  for (int i = 0; i < 3; ++i) {
    RawPeer killed(port);
    ASSERT_TRUE(WaitFor([&] { return SlotsInUse(server) == 2; }));
    killed.Write(EncodeMessage("whole " + std::to_string(i) + "\nip\n") +
                 Unterminated("cut short"));
    ASSERT_TRUE(WaitFor([&] { return a.Logged("whole " + std::to_string(i)); }));
    killed.Reset();
    ASSERT_TRUE(WaitFor([&] { return SlotsInUse(server) == 1; })) << i;
  }
  RawPeer half(port);  // it stops sending but can still read
  ASSERT_TRUE(WaitFor([&] { return SlotsInUse(server) == 2; }));
  half.Write(EncodeMessage("last words\nip\n") + Unterminated("never ended"));
  shutdown(half.fd(), SHUT_WR);
  ASSERT_TRUE(half.ReadToEnd());
  EXPECT_NE(half.received.find(EncodeMessage("last words\nip\n")), std::string::npos);
  // The next connection takes a freed slot and starts with a clean frame.
  RawPeer next(port);
  next.Write(EncodeMessage("fresh\nip\n"));
  ASSERT_TRUE(WaitFor([&] { return a.Logged("fresh") && server.Logged("fresh"); }));
  for (ChatCopy* copy : {&server, &a}) {
    for (const std::string& html : copy->LogHtml()) {
      EXPECT_EQ(html.find("short"), std::string::npos);
      EXPECT_EQ(html.find("never"), std::string::npos);
    }
  }
  EXPECT_TRUE(server.host().boxes.empty());
}

TEST_F(FaultTest, HostThatHalfClosesOrResetsIsLostToItsClient) {
  for (bool reset : {false, true}) {
    uint16_t hostPort = 0;
    const int listener = test::ListenOnLoopback(hostPort);
    ChatCopy client(dir.path() / ("client" + std::to_string(reset)), hostPort);
    client.Join("c");
    std::unique_ptr<RawPeer> accepted = RawPeer::Accept(listener);
    close(listener);
    ASSERT_TRUE(WaitFor([&] { return client.view().m_bConnected; }));
    accepted->Write(EncodeMessage("bye\nip\n"));
    if (reset) {
      test::Settle(50);
      accepted->Reset();
    } else {
      shutdown(accepted->fd(), SHUT_WR);
    }
    ASSERT_TRUE(WaitFor([&] { return !client.view().m_bConnected; }));
    EXPECT_TRUE(client.Logged("bye"));
    EXPECT_EQ(client.LogHtml().back(),
              test::FirstLine(FillFormat(kHostLostNoticeFormat, {test::OwnIp()})));
    EXPECT_FALSE(client.host().inputEnabled);
  }
}

}  // namespace
}  // namespace murelo
