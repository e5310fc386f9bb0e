// Copies of the conversation talking over real loopback TCP: joining, the full room,
// relaying, leaving, and the bytes older copies expect on the wire.
#include <gtest/gtest.h>

#include "core/wire_format.h"
#include "loopback.h"

namespace murelo {
namespace {

using namespace test;
using namespace std::string_literals;
using NetworkTest = test::LoopbackTest;
using Rows = std::vector<std::string>;

TEST_F(NetworkTest, TwentyJoinTheTablesAgreeAndFurtherConnectionsAreRefused) {
  ChatCopy& server = StartServer();
  for (int i = 0; i < kPeerSlots; ++i) JoinClient("c" + std::to_string(i));

  server.HoldBoxes(300);  // refused while the first refusal's box is open: no box of their own
  RawPeer refused[] = {RawPeer(port), RawPeer(port), RawPeer(port)};
  for (RawPeer& peer : refused) {
    ASSERT_TRUE(peer.ReadToEnd());
    EXPECT_EQ(peer.received, EncodeMessage(kRefusalNotice));  // 33 bytes, then the close
  }
  for (auto& copy : copies) EXPECT_TRUE(copy->view().m_bConnected && copy->host().inputEnabled);
  ASSERT_TRUE(WaitFor([&] { return server.host().boxDepth == 0; }));
  RawPeer late(port);  // refused too once the box is dismissed, which stays shut
  ASSERT_TRUE(late.ReadToEnd());
  EXPECT_EQ(server.host().boxes, Rows(1, std::string(kBoxNoFreeSlot)));  // then held shut
  EXPECT_EQ(server.SlotsInUse(), kPeerSlots);
  // Twenty rows hold the host and the first nineteen: the last add found no room.
  EXPECT_EQ(server.Members().size(), kMemberRows);
  EXPECT_EQ(std::ranges::count(server.Members(), "blue/c19"), 0);
}

TEST_F(NetworkTest, NewcomerGetsTheSnapshotFirstAndLinesAreRelayedAsSent) {
  ChatCopy& server = StartServer();
  ChatCopy& a = JoinClient("a");
  ChatCopy& b = JoinClient("b");
  RawPeer raw(port);
  // Each byte goes shifted by one and each message ends in a NUL: "abc" is relayed as it
  // came, after the snapshot of add commands (host first).
  raw.Write("bcd\0"s);
  const std::string expected = "\vbee\vsfe\viptu\v\0\vbee\vcmvf\vc\v\0\vbee\vcmvf\vb\v\0bcd\0"s;
  ASSERT_TRUE(raw.ReadUntil([&](auto& bytes) { return bytes.size() >= expected.size(); }));
  EXPECT_EQ(raw.received, expected);

  a.Say("<i>hello");
  const std::string shown = FirstLine(ChatLine("blue", "a", "<i>hello")) + "</i>";
  ASSERT_TRUE(WaitFor([&] { return server.Logged(shown) && a.Logged(shown) && b.Logged(shown); }));
  Settle();
  for (ChatCopy* copy : {&server, &a, &b})  // the sender's too, once
    EXPECT_EQ(std::ranges::count(copy->LogHtml(), shown), 1);
  EXPECT_EQ(a.host().inputText, "");
  EXPECT_NE(b.Page().find("<hr>" + shown + "\n"), std::string::npos);
  // Each copy's notices about itself are its own; the relayed line came over the wire.
  const std::string connected = FirstLine(FillFormat(kConnectedNoticeFormat, {OwnIp()}));
  EXPECT_TRUE(b.Logged(connected) && std::ranges::count(b.host().peerEntries, connected) == 0);
  EXPECT_EQ(server.host().peerEntries.back(), shown);
  EXPECT_EQ(b.Members(), (Rows{"blue/a", "blue/b", "red/host"}));
}

TEST_F(NetworkTest, JoiningNobodyFailsQuietlyLeavingIsSeenByAllAndTheServerListensOn) {
  ChatCopy& a = NewCopy();
  a.Join("a");  // nobody listens: no box, not connected
  Settle(200);
  EXPECT_TRUE(a.host().boxes.empty());
  EXPECT_FALSE(a.view().m_bConnected || a.host().inputEnabled);
  ChatCopy& server = StartServer();
  server.Host("host");  // hosting again replaces the listener
  EXPECT_TRUE(server.host().boxes.empty());
  a.Join("a");
  ASSERT_TRUE(WaitFor([&] { return a.view().m_bConnected; }));
  EXPECT_EQ(server.SlotsInUse(), 1);

  ChatCopy& b = JoinClient("b");
  a.view().OnDisconnectCmd();
  EXPECT_FALSE(a.view().m_bConnected || a.host().inputEnabled);
  EXPECT_EQ(a.LogHtml().back(), FirstLine(kDisconnectedNotice));
  const std::string leave = FirstLine(FillFormat(kLeaveNoticeFormat, {"blue", "a", OwnIp()}));
  const std::string clientLeft = FirstLine(FillFormat(kClientLeftNoticeFormat, {OwnIp()}));
  ASSERT_TRUE(WaitFor([&] { return server.Logged(clientLeft) && b.Logged(leave); }));
  EXPECT_FALSE(b.Logged(clientLeft));  // only the host is told of the closed slot
  EXPECT_EQ(b.Members(), (Rows{"blue/b", "red/host"}));
  b.view().OnDisconnectCmd();  // the last one: the host is alone again
  ASSERT_TRUE(WaitFor([&] { return !server.view().m_bConnected; }));
  EXPECT_FALSE(server.host().inputEnabled);

  ChatCopy& c = JoinClient("c");
  RawPeer raw(port);
  ASSERT_TRUE(WaitFor([&] { return server.SlotsInUse() == 2; }));
  server.view().OnDisconnectCmd();
  const std::string hostLeaves = FillFormat(kLeaveNoticeFormat, {"red", "host", OwnIp()});
  ASSERT_TRUE(raw.ReadToEnd());  // the farewell comes before the connection ends
  EXPECT_TRUE(
      raw.received.ends_with(EncodeMessage("\ndel\nred\nhost\n") + EncodeMessage(hostLeaves)));
  const std::string hostLost = FirstLine(FillFormat(kHostLostNoticeFormat, {OwnIp()}));
  ASSERT_TRUE(WaitFor([&] { return c.Logged(hostLost); }));
  const Rows log = c.LogHtml();
  EXPECT_LT(std::ranges::find(log, FirstLine(hostLeaves)), std::ranges::find(log, hostLost));
  EXPECT_FALSE(c.view().m_bConnected || c.host().inputEnabled);
  JoinClient("d");  // still listening
  EXPECT_TRUE(server.view().m_bConnected);
}

}  // namespace
}  // namespace murelo
