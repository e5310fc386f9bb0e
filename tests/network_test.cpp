// Copies of the conversation talking over real loopback TCP: joining, the full room,
// relaying, leaving, and the bytes older copies expect on the wire.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netdb.h>
#include <sched.h>

#include "core/wire_format.h"
#include "loopback.h"
#include "platform/posix/stream_socket.h"

namespace murelo {
namespace {

using test::ChatCopy;
using test::ChatLine;
using test::FirstLine;
using test::OwnIp;
using test::RawPeer;
using test::WaitFor;
using NetworkTest = test::LoopbackTest;
using Rows = std::vector<std::string>;

TEST_F(NetworkTest, TwentyJoinTheTablesAgreeAndFurtherConnectionsAreRefused) {
  ChatCopy& server = StartServer();
  std::vector<ChatCopy*> clients;
  for (int i = 0; i < kPeerSlots; ++i) clients.push_back(&JoinClient("c" + std::to_string(i)));
  EXPECT_EQ(server.view().m_Peers[19].m_bInUse, 1);  // the first client took slot 19

  server.HoldBoxes(300);  // refused while the first refusal's box is open: no box of their own
  std::vector<std::unique_ptr<RawPeer>> refused;
  for (int i = 0; i < 3; ++i) refused.push_back(std::make_unique<RawPeer>(port));
  for (auto& peer : refused) {
    ASSERT_TRUE(peer->ReadToEnd());
    EXPECT_EQ(peer->received, EncodeMessage(kRefusalNotice));  // 33 bytes, then the close
  }
  ASSERT_TRUE(WaitFor([&] { return server.host().boxDepth == 0; }));
  ChatCopy& late = NewCopy();
  late.Join("late");
  ASSERT_TRUE(WaitFor(
      [&] { return late.Logged(FirstLine(FillFormat(kHostLostNoticeFormat, {OwnIp()}))); }));
  EXPECT_EQ(server.host().boxes, Rows(1, std::string(kBoxNoFreeSlot)));  // then held shut
  EXPECT_EQ(server.SlotsInUse(), kPeerSlots);
  // Twenty rows hold the host and the first nineteen: the last add found no room.
  EXPECT_EQ(server.Members().size(), kMemberRows);
  EXPECT_EQ(std::ranges::count(server.Members(), "blue/c19"), 0);
  for (ChatCopy* copy : clients)
    EXPECT_TRUE(copy->view().m_bConnected && copy->host().inputEnabled);
}

TEST_F(NetworkTest, NewcomerGetsTheSnapshotFirstAndLinesAreRelayedAsSent) {
  ChatCopy& server = StartServer();
  ChatCopy& a = JoinClient("a");
  ChatCopy& b = JoinClient("b");
  RawPeer raw(port);
  raw.Write(std::string("bcd\0", 4));  // "abc", relayed as it came, after the snapshot
  const std::string expected = EncodeMessage("\nadd\nred\nhost\n") +
                               EncodeMessage("\nadd\nblue\nb\n") +
                               EncodeMessage("\nadd\nblue\na\n") + std::string("bcd\0", 4);
  ASSERT_TRUE(
      raw.ReadUntil([&](const std::string& bytes) { return bytes.size() >= expected.size(); }));
  EXPECT_EQ(raw.received, expected);

  a.Say("<i>hello");
  const std::string shown = FirstLine(ChatLine("blue", "a", "<i>hello")) + "</i>";
  for (ChatCopy* copy : {&server, &a, &b})
    ASSERT_TRUE(WaitFor([&] { return copy->Logged(shown); }));
  test::Settle();
  for (ChatCopy* copy : {&server, &a, &b}) {
    const Rows log = copy->LogHtml();
    EXPECT_EQ(std::count(log.begin(), log.end(), shown), 1);  // the sender's too, once
  }
  EXPECT_EQ(a.host().inputText, "");
  EXPECT_NE(b.Page().find("<hr>" + shown + "\n"), std::string::npos);
  // Each copy's notices about itself are its own; the relayed line came over the wire.
  const std::string connected = FirstLine(FillFormat(kConnectedNoticeFormat, {OwnIp()}));
  EXPECT_TRUE(b.Logged(connected) && std::ranges::count(b.host().peerEntries, connected) == 0);
  EXPECT_EQ(server.host().peerEntries.back(), shown);

  ChatCopy& big = NewCopy();  // a name too long to deliver never reaches a table
  big.Join(std::string(2000, 'n'));
  ASSERT_TRUE(WaitFor([&] { return big.view().m_bConnected && server.SlotsInUse() == 4; }));
  big.Say("hi");
  a.Say("normal");
  ASSERT_TRUE(WaitFor([&] { return big.Logged(FirstLine(ChatLine("blue", "a", "normal"))); }));
  EXPECT_EQ(b.Members(), (Rows{"blue/a", "blue/b", "red/host"}));
}

TEST_F(NetworkTest, LeavingIsSeenByAllAndTheServerListensOn) {
  ChatCopy& server = StartServer();
  ChatCopy& a = JoinClient("a");
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

  JoinClient("c");
  RawPeer raw(port);
  ASSERT_TRUE(WaitFor([&] { return server.SlotsInUse() == 2; }));
  server.view().OnDisconnectCmd();
  const std::string hostLeaves = FillFormat(kLeaveNoticeFormat, {"red", "host", OwnIp()});
  ASSERT_TRUE(raw.ReadToEnd());  // the farewell comes before the connection ends
  EXPECT_TRUE(
      raw.received.ends_with(EncodeMessage("\ndel\nred\nhost\n") + EncodeMessage(hostLeaves)));
  ChatCopy& c = *copies.back();
  const std::string hostLost = FirstLine(FillFormat(kHostLostNoticeFormat, {OwnIp()}));
  ASSERT_TRUE(WaitFor([&] { return c.Logged(hostLost); }));
  const Rows log = c.LogHtml();
  EXPECT_LT(std::ranges::find(log, FirstLine(hostLeaves)), std::ranges::find(log, hostLost));
  EXPECT_FALSE(c.view().m_bConnected || c.host().inputEnabled);
  JoinClient("d");  // still listening
  EXPECT_TRUE(server.view().m_bConnected);
}

TEST_F(NetworkTest, HostingAndJoiningFailQuietlyOrWithOneBoxAndCanBeRetried) {
  ChatCopy& client = NewCopy();
  client.Join("a");  // nobody listens: no box, not connected
  test::Settle(200);
  EXPECT_TRUE(client.host().boxes.empty());
  EXPECT_FALSE(client.view().m_bConnected || client.host().inputEnabled);

  ChatCopy& server = StartServer();
  server.Host("host");  // hosting again replaces the listener
  EXPECT_TRUE(server.host().boxes.empty());
  client.Join("a");
  ASSERT_TRUE(WaitFor([&] { return client.view().m_bConnected; }));
  EXPECT_EQ(server.SlotsInUse(), 1);

  CStreamSocket holder;  // a busy port: SO_REUSEADDR does not let two sockets listen
  const uint16_t busy = test::FreePort();
  ASSERT_TRUE(holder.Create(busy) && holder.Listen(1));
  ChatCopy other(dir.path() / "other", busy);
  other.Host("host");
  EXPECT_EQ(other.host().boxes, Rows{std::string(kBoxListenFailed)});
  EXPECT_FALSE(other.view().m_bServer);
  EXPECT_EQ(other.view().m_Log.Count(), 0);
}

TEST_F(NetworkTest, OfflineMachineHostsUnderItsHostNamesAddressWithoutABox) {
  // A network namespace of this thread's own has only a loopback interface, down.
  const int home = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
  if (unshare(CLONE_NEWNET) != 0) {
    close(home);
    GTEST_SKIP() << "needs the right to make a network namespace";
  }
  ChatCopy& server = StartServer();
  setns(home, CLONE_NEWNET);
  close(home);

  char name[100] = {};
  ASSERT_EQ(gethostname(name, sizeof name), 0);
  const hostent* entry = gethostbyname(name);
  const std::string lookup = entry != nullptr
                                 ? inet_ntoa(*reinterpret_cast<in_addr*>(entry->h_addr_list[0]))
                                 : "127.0.0.1";
  EXPECT_TRUE(server.host().boxes.empty());
  EXPECT_EQ(server.view().m_szOwnIp, lookup);
}

}  // namespace
}  // namespace murelo
