// Faults on loopback: peers killed in the middle of a message, half-open connections,
// a trickle of malformed messages, and page and settings files that cannot be written.
// The conversation of the others must go on through each. Silent and never-reading
// peers and a full room under fire are the attack suite's (attack.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "app/settings.h"
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
using test::RawHost;
using test::RawPeer;
using test::Settle;
using test::WaitFor;

/// The encoded bytes of text without their terminator: a message cut short.
std::string Unterminated(const std::string& text) {
  const std::string wire = EncodeMessage(text);
  return wire.substr(0, wire.size() - 1);
}

using FaultTest = test::LoopbackTest;

TEST_F(FaultTest, PeersKilledInTheMiddleOfAMessageLeaveNoTraceAndFreeTheirSlots) {
  ChatCopy& server = StartServer();
  ChatCopy& a = JoinClient("a");
  ChatCopy& b = JoinClient("b");
  const int logged = b.view().m_Log.Count();
  for (int i = 0; i < 5; ++i) {
    RawPeer killed(port);
    ASSERT_TRUE(WaitFor([&] { return SlotsInUse(server) == 3; }));
    // Whole messages first, then one cut short by the reset.
    killed.Write(EncodeMessage("whole " + std::to_string(i) + "\n10.0.0.9\n") +
                 Unterminated("cut " + std::to_string(i) + " short\n10.0.0.9\n"));
    ASSERT_TRUE(WaitFor([&] { return b.Logged("whole " + std::to_string(i)); }));
    killed.Reset();
    ASSERT_TRUE(WaitFor([&] { return SlotsInUse(server) == 2; })) << i;
  }
  // The next connection takes a killed peer's slot and starts with a clean frame.
  RawPeer next(port);
  ASSERT_TRUE(WaitFor([&] { return SlotsInUse(server) == 3; }));
  next.Write(EncodeMessage("fresh\n10.0.0.9\n"));
  ASSERT_TRUE(WaitFor([&] { return a.Logged("fresh") && b.Logged("fresh"); }));
  for (ChatCopy* copy : {&server, &a, &b}) {
    for (const std::string& html : copy->LogHtml())
      EXPECT_EQ(html.find("short"), std::string::npos);
  }
  EXPECT_EQ(b.view().m_Log.Count(), logged + 6);  // five whole messages and the fresh one
  SayAndWait(a, "a", "still talking", {&server, &a, &b});
  EXPECT_TRUE(server.host().boxes.empty());
}

TEST_F(FaultTest, HalfClosedPeerIsTreatedAsGoneAndStillGetsWhatWasSentToIt) {
  ChatCopy& server = StartServer();
  ChatCopy& a = JoinClient("a");
  RawPeer half(port);
  ASSERT_TRUE(WaitFor([&] { return SlotsInUse(server) == 2; }));
  half.Write(EncodeMessage("last words\n10.0.0.9\n") + Unterminated("never ended"));
  shutdown(half.fd(), SHUT_WR);  // it can still read
  ASSERT_TRUE(WaitFor([&] { return SlotsInUse(server) == 1; }));
  ASSERT_TRUE(half.ReadUntil([&](const std::string&) { return half.closed; }));
  // Its own message came back to it before the server closed its side.
  EXPECT_NE(half.received.find(EncodeMessage("last words\n10.0.0.9\n")), std::string::npos);
  EXPECT_TRUE(a.Logged("last words"));
  EXPECT_FALSE(a.Logged("never ended"));
  EXPECT_TRUE(server.Logged(FirstLine(FillFormat(kClientLeftNoticeFormat, {OwnIp()}))));
  SayAndWait(a, "a", "after the half close", {&server, &a});

  // A host that half-closes its side is lost to its client.
  RawHost host;
  ChatCopy client(dir.path() / "client", host.port());
  client.Join("c");
  std::unique_ptr<RawPeer> accepted = host.Accept();
  ASSERT_TRUE(WaitFor([&] { return client.view().m_bConnected; }));
  accepted->Write(EncodeMessage("bye\n10.0.0.9\n"));
  shutdown(accepted->fd(), SHUT_WR);
  ASSERT_TRUE(WaitFor([&] { return !client.view().m_bConnected; }));
  EXPECT_TRUE(client.Logged("bye"));
  EXPECT_EQ(client.LogHtml().back(), FirstLine(FillFormat(kHostLostNoticeFormat, {OwnIp()})));
}

// Each message of eleven lines opens the "malformed" box, and the box's loop handles the
// next message. A peer trickling them to a host, or a host trickling them to a client,
// must not stack one box inside another however many it sends: everything is still
// counted and logged, and the page kept current, with one box open at most.
TEST_F(FaultTest, TrickleOfMalformedMessagesNeverStacksBoxes) {
  constexpr int kMessages = 20000;
  constexpr int kBurst = 10;
  std::string burst;
  for (int i = 0; i < kBurst; ++i) burst += EncodeMessage("1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n");

  auto trickle = [&](RawPeer& attacker, ChatCopy& target) {
    target.HoldBoxes(20);  // a user who takes a moment over each box
    target.host().recordMessages = true;
    const size_t before = target.host().messages.size();
    std::thread peer([&] {
      for (int sent = 0; sent < kMessages; sent += kBurst) {
        attacker.Write(burst);
        std::this_thread::sleep_for(std::chrono::microseconds(500));
      }
    });
    EXPECT_TRUE(
        WaitFor([&] { return target.host().messages.size() - before >= kMessages; }, 60000));
    peer.join();
    const test::CTestHost& seen = target.host();
    EXPECT_EQ(seen.maxBoxDepth, 1);
    EXPECT_GT(seen.boxes.size(), 1u);  // a box opens again once the last is dismissed
    EXPECT_LT(seen.boxes.size(), static_cast<size_t>(kMessages / 10));
    EXPECT_GT(seen.messagesInsideBoxes, kMessages / 2);
    EXPECT_GT(seen.navigationsInsideBoxes, 0);
  };

  ChatCopy& server = StartServer();
  RawPeer attacker(port);
  ASSERT_TRUE(WaitFor([&] { return SlotsInUse(server) == 1; }));
  trickle(attacker, server);

  RawHost hostileHost;
  ChatCopy client(dir.path() / "client", hostileHost.port());
  client.Join("c");
  std::unique_ptr<RawPeer> hostile = hostileHost.Accept();
  ASSERT_TRUE(hostile->connected());
  trickle(*hostile, client);
}

TEST_F(FaultTest, UnwritablePageAndSettingsAreReportedAndTheConversationGoesOn) {
  // The server's page directory holds directories named like its two files.
  const std::filesystem::path serverDirectory = dir.path() / "server";
  std::filesystem::create_directories(serverDirectory / "data.htm");
  std::filesystem::create_directories(serverDirectory / kSettingsFileName);
  ChatCopy& server = NewCopy("server");
  // Start-up could write neither the splash page nor the blank page.
  EXPECT_EQ(server.host().boxes, (std::vector<std::string>{std::string(kBoxSplashWriteFailed),
                                                           std::string(kBoxPageWriteFailed)}));
  server.Host("host", "red");
  ChatCopy& a = JoinClient("a");
  ChatCopy& b = JoinClient("b");
  SayAndWait(a, "a", "can you read me", {&server, &a, &b});
  SayAndWait(b, "b", "yes", {&server, &a, &b});
  const std::vector<std::string>& boxes = server.host().boxes;
  EXPECT_GT(boxes.size(), 2u);
  EXPECT_TRUE(std::all_of(boxes.begin() + 2, boxes.end(),
                          [](const std::string& box) { return box == kBoxPageWriteFailed; }));
  EXPECT_EQ(server.host().maxBoxDepth, 1);
  EXPECT_TRUE(std::filesystem::is_directory(serverDirectory / "data.htm"));
  EXPECT_NE(a.Page().find("yes"), std::string::npos);  // the others' pages are written

  // Settings there load as the defaults and save nothing, without a word.
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(serverDirectory);
  CSettings settings;
  settings.m_strName = "host";
  settings.LoadSettings();
  settings.SaveSettings();
  std::filesystem::current_path(previous);
  EXPECT_EQ(settings.m_strColor, "red");
  EXPECT_EQ(settings.m_nLogLimitIndex, 1);
  EXPECT_TRUE(std::filesystem::is_directory(serverDirectory / kSettingsFileName));
  SayAndWait(b, "b", "and on", {&server, &a, &b});
}

}  // namespace
}  // namespace murelo
