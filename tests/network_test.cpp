// Copies of the chat view talking over real loopback TCP.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "core/message_catalog.h"
#include "core/message_format.h"
#include "core/wire_format.h"
#include "network_support.h"
#include "platform/own_address.h"

namespace murelo {
namespace {

using test::ChatCopy;
using test::ChatLine;
using test::FirstLine;
using test::OwnIp;
using test::RawPeer;
using test::Settle;
using test::WaitFor;

class NetworkTest : public test::LoopbackTest {
 protected:
  static std::multiset<std::string> AsSet(const std::vector<std::string>& members) {
    return {members.begin(), members.end()};
  }
};

TEST_F(NetworkTest, TwentyClientsJoinEveryTableAgreesAndTheTwentyFirstIsRefused) {
  ChatCopy& server = StartServer();
  EXPECT_TRUE(server.Logged(FirstLine(FillFormat(kHostingNoticeFormat, {OwnIp(), OwnIp()})) +
                            "</br></br></BR>"));
  EXPECT_FALSE(server.view().m_bConnected);

  std::vector<ChatCopy*> clients;
  for (int i = 0; i < kPeerSlots; ++i) clients.push_back(&JoinClient("c" + std::to_string(i)));
  // The first client took slot 19, the last slot 0.
  EXPECT_EQ(server.view().m_Peers[19].m_bInUse, 1);
  EXPECT_EQ(SlotsInUse(server), 20);

  // Twenty rows hold the host and the first nineteen; the last add finds no room.
  std::multiset<std::string> expected = {"red/host"};
  for (int i = 0; i < 19; ++i) expected.insert("blue/c" + std::to_string(i));
  EXPECT_EQ(AsSet(server.Members()), expected);
  for (ChatCopy* client : clients) {
    ASSERT_TRUE(WaitFor([&] { return AsSet(client->Members()) == expected; }));
    EXPECT_TRUE(client->host().inputEnabled);
  }
  EXPECT_NE(clients[0]->Page().find("<font color=red>host</font>\x81\x99"), std::string::npos);

  // The last client's add found no row, so the tables agree before its join notice has
  // reached everyone: wait for that too.
  const std::string lastJoin = FirstLine(FillFormat(kJoinNoticeFormat, {"blue", "c19", OwnIp()}));
  for (ChatCopy* client : clients) {
    ASSERT_TRUE(WaitFor([&] {
      const std::vector<std::string> html = client->LogHtml();
      return std::any_of(html.begin(), html.end(),
                         [&](const std::string& entry) { return entry.starts_with(lastJoin); });
    }));
  }
  std::vector<int> logCounts;
  for (ChatCopy* client : clients) logCounts.push_back(client->view().m_Log.Count());

  RawPeer refused(port);
  ASSERT_TRUE(refused.ReadUntil([&](const std::string&) { return refused.closed; }));
  EXPECT_EQ(refused.received, EncodeMessage(kRefusalNotice));
  EXPECT_EQ(refused.received.size(), 33u);
  EXPECT_EQ(server.host().boxes, std::vector<std::string>{std::string(kBoxNoFreeSlot)});

  ChatCopy& late = NewCopy();
  late.Join("late");
  ASSERT_TRUE(WaitFor(
      [&] { return late.Logged(FirstLine(FillFormat(kHostLostNoticeFormat, {OwnIp()}))); }));
  EXPECT_FALSE(late.view().m_bConnected);
  EXPECT_EQ(server.host().boxes.size(), 2u);

  Settle();
  EXPECT_EQ(SlotsInUse(server), 20);
  for (size_t i = 0; i < clients.size(); ++i) {
    EXPECT_EQ(clients[i]->view().m_Log.Count(), logCounts[i]);
    EXPECT_TRUE(clients[i]->view().m_bConnected);
  }
}

TEST_F(NetworkTest, ConnectionsRefusedWhileTheErrorBoxIsOpenShowNoBoxOfTheirOwn) {
  ChatCopy& server = StartServer();
  std::vector<std::unique_ptr<RawPeer>> members;
  for (int i = 0; i < kPeerSlots; ++i) {
    members.push_back(std::make_unique<RawPeer>(port));  // within the listen backlog
    ASSERT_TRUE(WaitFor([&] { return SlotsInUse(server) == i + 1; }));
  }

  server.HoldBoxes(300);  // the user takes a moment to answer the box
  auto refuse = [&](int count) {
    std::vector<std::unique_ptr<RawPeer>> refused;
    for (int i = 0; i < count; ++i) refused.push_back(std::make_unique<RawPeer>(port));
    for (auto& peer : refused) {
      ASSERT_TRUE(peer->ReadUntil([&](const std::string&) { return peer->closed; }));
      EXPECT_EQ(peer->received, EncodeMessage(kRefusalNotice));
    }
  };
  refuse(3);  // all three refused while the first one's box is still open
  EXPECT_EQ(server.host().boxes, std::vector<std::string>{std::string(kBoxNoFreeSlot)});
  ASSERT_TRUE(WaitFor([&] { return server.host().boxDepth == 0; }));
  refuse(1);  // once it is dismissed, the next refusal shows a box again
  EXPECT_EQ(server.host().boxes.size(), 2u);
  EXPECT_EQ(server.host().maxBoxDepth, 1);
  EXPECT_EQ(SlotsInUse(server), kPeerSlots);
}

TEST_F(NetworkTest, NewcomerGetsTheSnapshotInRowOrderBeforeAnythingElse) {
  ChatCopy& server = StartServer();
  JoinClient("a");
  JoinClient("b");
  RawPeer raw(port);
  const std::string snapshot = EncodeMessage("\nadd\nred\nhost\n") +
                               EncodeMessage("\nadd\nblue\nb\n") +
                               EncodeMessage("\nadd\nblue\na\n");
  ASSERT_TRUE(
      raw.ReadUntil([&](const std::string& bytes) { return bytes.size() >= snapshot.size(); }));
  EXPECT_EQ(raw.received, snapshot);

  // "abc" is 62 63 64 00 on the wire, relayed as it came.
  raw.Write(std::string("bcd\0", 4));
  ASSERT_TRUE(
      raw.ReadUntil([&](const std::string& bytes) { return bytes.size() >= snapshot.size() + 4; }));
  EXPECT_EQ(raw.received.substr(snapshot.size()), std::string("bcd\0", 4));
  EXPECT_EQ(server.view().m_Log[server.view().m_Log.Count() - 1].strHtml, "");
}

TEST_F(NetworkTest, EveryCopyLogsAChatLineOnceTheSenderIncluded) {
  ChatCopy& server = StartServer();
  ChatCopy& a = JoinClient("a");
  ChatCopy& b = JoinClient("b");
  a.Say("<i>hello");
  const std::string shown = FirstLine(ChatLine("blue", "a", "<i>hello")) + "</i>";
  for (ChatCopy* copy : {&server, &a, &b}) {
    ASSERT_TRUE(WaitFor([&] { return copy->Logged(shown); }));
  }
  Settle();
  for (ChatCopy* copy : {&server, &a, &b}) {
    const std::vector<std::string> log = copy->LogHtml();
    EXPECT_EQ(std::count(log.begin(), log.end(), shown), 1);
  }
  EXPECT_EQ(a.host().inputText, "");
  EXPECT_NE(b.Page().find("<hr>" + shown + "\n"), std::string::npos);
}

TEST_F(NetworkTest, ClientLeavingIsSeenByAllAndFreesItsSlot) {
  ChatCopy& server = StartServer();
  ChatCopy& a = JoinClient("a");
  ChatCopy& b = JoinClient("b");
  a.view().OnDisconnectCmd();
  EXPECT_FALSE(a.view().m_bConnected);
  EXPECT_FALSE(a.host().inputEnabled);
  EXPECT_EQ(a.LogHtml().back(), FirstLine(std::string(kDisconnectedNotice)));

  const std::string leave = FirstLine(FillFormat(kLeaveNoticeFormat, {"blue", "a", OwnIp()}));
  const std::string clientLeft = FirstLine(FillFormat(kClientLeftNoticeFormat, {OwnIp()}));
  ASSERT_TRUE(WaitFor([&] { return server.Logged(clientLeft) && b.Logged(leave); }));
  EXPECT_TRUE(server.Logged(leave));
  EXPECT_EQ(SlotsInUse(server), 1);
  EXPECT_EQ(AsSet(server.Members()), (std::multiset<std::string>{"red/host", "blue/b"}));
  EXPECT_EQ(AsSet(b.Members()), (std::multiset<std::string>{"red/host", "blue/b"}));
  EXPECT_FALSE(b.Logged(clientLeft));  // the clients are told nothing of the closed slot
}

TEST_F(NetworkTest, LastClientLeavingLeavesTheServerListening) {
  ChatCopy& server = StartServer();
  ChatCopy& a = JoinClient("a");
  EXPECT_TRUE(server.host().inputEnabled);
  const int logged = server.view().m_Log.Count();
  a.view().OnDisconnectCmd();
  ASSERT_TRUE(WaitFor([&] { return !server.view().m_bConnected; }));
  EXPECT_FALSE(server.host().inputEnabled);
  EXPECT_EQ(server.view().m_Log.Count(),
            logged + 1);  // the leave notice, and no client-left notice

  JoinClient("b");
  EXPECT_TRUE(server.view().m_bConnected);
  EXPECT_TRUE(server.host().inputEnabled);
}

TEST_F(NetworkTest, ServerLeavingSaysFarewellToEveryClient) {
  ChatCopy& server = StartServer();
  ChatCopy& a = JoinClient("a");
  ChatCopy& b = JoinClient("b");
  RawPeer raw(port);
  ASSERT_TRUE(WaitFor([&] { return SlotsInUse(server) == 3; }));
  server.view().OnDisconnectCmd();
  // The farewell reaches a peer before its connection ends.
  const std::string farewell =
      EncodeMessage("\ndel\nred\nhost\n") +
      EncodeMessage(FillFormat(kLeaveNoticeFormat, {"red", "host", OwnIp()}));
  ASSERT_TRUE(raw.ReadUntil([&](const std::string&) { return raw.closed; }));
  EXPECT_TRUE(raw.received.ends_with(farewell));
  const std::string leave = FirstLine(FillFormat(kLeaveNoticeFormat, {"red", "host", OwnIp()}));
  const std::string hostLost = FirstLine(FillFormat(kHostLostNoticeFormat, {OwnIp()}));
  for (ChatCopy* client : {&a, &b}) {
    ASSERT_TRUE(WaitFor([&] { return client->Logged(hostLost); }));
    const std::vector<std::string> log = client->LogHtml();
    const auto leaveAt = std::find(log.begin(), log.end(), leave);
    ASSERT_NE(leaveAt, log.end());
    EXPECT_LT(leaveAt - log.begin(), std::find(log.begin(), log.end(), hostLost) - log.begin());
    EXPECT_FALSE(client->view().m_bConnected);
    EXPECT_FALSE(client->host().inputEnabled);
  }
  EXPECT_TRUE(server.Logged(leave));
  EXPECT_EQ(SlotsInUse(server), 0);
  JoinClient("c");  // still listening
  EXPECT_TRUE(server.view().m_bConnected);
}

TEST_F(NetworkTest, ClearRequestAndRenameReachEveryCopy) {
  ChatCopy& server = StartServer();
  ChatCopy& a = JoinClient("a");
  ChatCopy& b = JoinClient("b");
  a.Say("first");
  const std::string first = FirstLine(ChatLine("blue", "a", "first"));
  ASSERT_TRUE(WaitFor([&] { return b.Logged(first) && server.Logged(first); }));
  a.Say("all clear");
  const std::string rewritten = FirstLine(ChatLine("blue", "a", "all ")) + "\x81\xf4\x81\x60";
  for (ChatCopy* copy : {&server, &a, &b}) {
    ASSERT_TRUE(WaitFor([&] { return copy->Logged(rewritten); }));
    EXPECT_FALSE(copy->Logged(first));
  }

  a.host().nameColorChoice = CNameColorChoice{"green", "hana"};
  a.view().OnChangeNameColorCmd();
  const std::multiset<std::string> renamed = {"red/host", "green/hana", "blue/b"};
  for (ChatCopy* copy : {&server, &a, &b}) {
    ASSERT_TRUE(WaitFor([&] { return AsSet(copy->Members()) == renamed; }));
  }
  a.Say("x");
  ASSERT_TRUE(WaitFor([&] { return b.Logged(FirstLine(ChatLine("green", "hana", "x"))); }));
}

TEST_F(NetworkTest, LongLinesArriveWholeOrNotAtAll) {
  ChatCopy& server = StartServer();
  ChatCopy& a = JoinClient("a");
  ChatCopy& b = JoinClient("b");
  const std::string fits(1023 - ChatLine("blue", "a", "").size(), 'f');
  a.Say(std::string(1000, 'x'));  // over the wire limit: no copy shows it
  a.Say(fits);
  a.Say("after");
  for (ChatCopy* copy : {&server, &b}) {
    ASSERT_TRUE(WaitFor([&] { return copy->Logged(FirstLine(ChatLine("blue", "a", "after"))); }));
    EXPECT_TRUE(copy->Logged(FirstLine(ChatLine("blue", "a", fits))));
    EXPECT_FALSE(copy->Logged(FirstLine(ChatLine("blue", "a", std::string(1000, 'x')))));
  }
}

TEST_F(NetworkTest, BurstOfMessagesInOneWriteAllArriveInOrder) {
  ChatCopy& server = StartServer();
  ChatCopy& a = JoinClient("a");
  RawPeer raw(port);
  std::string burst;
  for (int i = 0; i < 100; ++i)
    burst += EncodeMessage("burst " + std::to_string(i) + "\n10.0.0.9\n");
  raw.Write(burst);
  for (ChatCopy* copy : {&server, &a}) {
    ASSERT_TRUE(WaitFor([&] { return copy->Logged("burst 99"); }));
    const std::vector<std::string> log = copy->LogHtml();
    const auto start = std::find(log.begin(), log.end(), "burst 0");
    ASSERT_LE(start + 100, log.end());
    for (int i = 0; i < 100; ++i) EXPECT_EQ(start[i], "burst " + std::to_string(i));
  }
}

TEST_F(NetworkTest, ConnectionsEndingWithAResetAreClosedToo) {
  ChatCopy& server = StartServer();
  JoinClient("a");
  {
    RawPeer crashed(port);
    ASSERT_TRUE(WaitFor([&] { return SlotsInUse(server) == 2; }));
    crashed.Reset();
  }
  ASSERT_TRUE(WaitFor([&] { return SlotsInUse(server) == 1; }));

  // A client whose host's machine crashed notices too.
  test::RawHost host;
  ChatCopy client(dir.path() / "client", host.port());
  client.Join("b");
  std::unique_ptr<RawPeer> accepted = host.Accept();
  ASSERT_TRUE(WaitFor([&] { return client.view().m_bConnected; }));
  accepted->Reset();
  ASSERT_TRUE(WaitFor([&] { return !client.view().m_bConnected; }));
  EXPECT_TRUE(client.Logged(FirstLine(FillFormat(kHostLostNoticeFormat, {OwnIp()}))));
  EXPECT_FALSE(client.host().inputEnabled);
}

TEST_F(NetworkTest, HostingOnABusyPortIsReportedAndLeavesTheCopyUnconnected) {
  CStreamSocket holder;
  ASSERT_TRUE(holder.Create(port));
  ASSERT_TRUE(holder.Listen(1));
  ChatCopy& server = NewCopy();
  // SO_REUSEADDR does not let two sockets listen on one port.
  server.Host("host");
  EXPECT_EQ(server.host().boxes, std::vector<std::string>{std::string(kBoxListenFailed)});
  EXPECT_FALSE(server.view().m_bServer);
  EXPECT_EQ(server.view().m_Log.Count(), 0);
}

TEST_F(NetworkTest, ConnectToNothingStaysQuietAndCanBeRetried) {
  ChatCopy& client = NewCopy();
  client.Join("a");
  Settle(200);
  EXPECT_TRUE(client.host().boxes.empty());
  EXPECT_FALSE(client.view().m_bConnected);
  EXPECT_FALSE(client.host().inputEnabled);

  StartServer();
  client.Join("a");  // the earlier attempt's socket is closed first
  ASSERT_TRUE(WaitFor([&] { return client.view().m_bConnected; }));
}

TEST_F(NetworkTest, HostingAgainReplacesTheListener) {
  ChatCopy& server = StartServer();
  server.Host("host");
  EXPECT_TRUE(server.host().boxes.empty());
  JoinClient("a");
  EXPECT_EQ(SlotsInUse(server), 1);
}

TEST_F(NetworkTest, OverlongNamesAreNeverDeliveredAndHarmNoOne) {
  ChatCopy& server = StartServer();
  ChatCopy& a = JoinClient("a");
  ChatCopy& big = NewCopy();
  big.Join(std::string(2000, 'n'));
  ASSERT_TRUE(WaitFor([&] { return big.view().m_bConnected && SlotsInUse(server) == 2; }));
  big.Say("hi");
  a.Say("normal");
  ASSERT_TRUE(WaitFor([&] { return big.Logged(FirstLine(ChatLine("blue", "a", "normal"))); }));
  EXPECT_EQ(AsSet(server.Members()), (std::multiset<std::string>{"red/host", "blue/a"}));
  EXPECT_EQ(AsSet(a.Members()), (std::multiset<std::string>{"red/host", "blue/a"}));
}

}  // namespace
}  // namespace murelo
