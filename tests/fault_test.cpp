// Faults and hostile peers on loopback: a peer that half-closes in the middle of a
// message, a trickle of malformed messages, a peer that never reads and a flood. (A
// host's end, whether it closes or resets, is the same lost host to its client: the
// network tests end one, and the receive fuzz target resets every connection.)
// The others' conversation goes on through each, and boxes never stack.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "core/wire_format.h"
#include "loopback.h"

namespace murelo {
namespace {

using namespace test;
using FaultTest = test::LoopbackTest;

// (receive_fuzz ends every input's connection with a reset, mid-message or not.)
TEST_F(FaultTest, PeerThatHalfClosesMidMessageGetsWhatWasSentAndFreesItsSlot) {
  ChatCopy& server = StartServer();
  ChatCopy& a = JoinClient("a");
  RawPeer half(port);  // it stops sending but can still read
  ASSERT_TRUE(WaitFor([&] { return server.SlotsInUse() == 2; }));
  half.Write(EncodeMessage("last words\nip\n") + EncodeMessage("never ended").substr(0, 11));
  shutdown(half.fd(), SHUT_WR);
  ASSERT_TRUE(half.ReadToEnd());
  EXPECT_NE(half.received.find(EncodeMessage("last words\nip\n")), std::string::npos);
  ASSERT_TRUE(WaitFor([&] { return server.SlotsInUse() == 1 && a.Logged("last words"); }));
  EXPECT_FALSE(a.Logged("never ended") || server.Logged("never ended"));
}

// Each message of eleven lines opens the "malformed" box, whose loop takes the next. A
// peer trickling them to a host, or a host to a client, never stacks one box in another,
// and once dismissed the box stays shut for a while: everything is taken and the page
// kept current, with one box open at most.
TEST_F(FaultTest, TrickleOfMalformedMessagesNeverStacksBoxes) {
  constexpr int kMessages = 20000;
  ChatCopy& server = StartServer();
  uint16_t hostPort = 0;
  const int listener = ListenOnLoopback(hostPort);
  ChatCopy client(dir.path() / "client", hostPort);
  for (ChatCopy* target : {&server, &client}) {
    if (target == &client) client.Join("c");
    auto attacker = target == &client ? RawPeer::Accept(listener) : std::make_unique<RawPeer>(port);
    ASSERT_TRUE(WaitFor([&] { return client.view().m_bConnected || server.SlotsInUse() == 1; }));
    // A user who takes a moment over the box: until what trickles in meanwhile has been
    // taken inside it, however long a busy machine makes the peer's thread wait.
    CTestHost& host = target->host();
    host.onMessageBox = [&host](std::string_view) {
      WaitFor([&] { return host.messagesInsideBoxes > 0 && host.navigationsInsideBoxes > 0; });
    };
    host.recordMessages = true;
    std::thread peer([&] {
      std::string burst;
      for (int i = 0; i < 10; ++i) burst += EncodeMessage("1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n");
      for (int sent = 0; sent < kMessages; sent += 10, usleep(500)) attacker->Write(burst);
    });
    EXPECT_TRUE(WaitFor([&] { return target->host().messages.size() >= kMessages; }, 60000));
    peer.join();
    EXPECT_EQ(target->host().maxBoxDepth, 1);
    EXPECT_EQ(target->host().boxes.size(), 1u);
    EXPECT_GT(target->host().messagesInsideBoxes, 0);
    EXPECT_GT(target->host().navigationsInsideBoxes, 0);
  }
  close(listener);
}

// A peer whose own lines come back to it but who never reads them fills its connection:
// the host must not wait for it, and cuts it once its backlog has lasted 2 s.
TEST_F(FaultTest, PeerThatNeverReadsHoldsUpNoOne) {
  ChatCopy& server = StartServer();
  ChatCopy& a = JoinClient("a");
  a.host().recordMessages = true;  // the log keeps too few of so many lines
  RawPeer stuck(port);
  ASSERT_TRUE(WaitFor([&] { return server.SlotsInUse() == 2; }));
  std::string lines;
  for (int i = 0; i < 1000; ++i) lines += EncodeMessage(std::string(900, 'w') + "\nip\n");
  size_t sent = 0;  // an endless stream of whole lines, as fast as the host takes them
  for (int i = 0; server.SlotsInUse() == 2 && i < 5000; ++i) {
    const size_t at = sent % lines.size();
    sent += std::max<ssize_t>(
        send(stuck.fd(), lines.data() + at, lines.size() - at, MSG_DONTWAIT | MSG_NOSIGNAL), 0);
    a.Say(std::to_string(i));
    const std::string line = ChatLine("blue", "a", std::to_string(i));
    ASSERT_TRUE(WaitFor([&] { return std::ranges::count(a.host().messages, line) == 1; }, 250))
        << "line " << i << " came back within 250 ms";
    // A chatter's pace. As fast as the loop turns, a's own lines pass 100 KiB a second
    // on a quick machine: a heavy sender's, rightly held back with the flood.
    Settle(3);
  }
  EXPECT_EQ(server.SlotsInUse(), 1);  // the one that never read is gone
}

// Three peers send as fast as the host takes it and read all they get; one honest client
// reads at a few MB/s, as over a LAN, and one reads nothing. The flooders are held back
// while the honest reader catches up, so it is never cut and gets every line in order;
// the one that reads nothing is cut once it has held them back for two seconds.
TEST_F(FaultTest, FloodSlowsTheFloodersNeverTheHonestReader) {
  ChatCopy& server = StartServer();
  RawPeer honest(port), stuck(port);
  RawPeer flooders[] = {RawPeer(port), RawPeer(port), RawPeer(port)};
  ASSERT_TRUE(WaitFor([&] { return server.SlotsInUse() == 5; }));
  std::atomic<bool> flooding = true;
  std::atomic<int> finished = 0;
  std::vector<std::thread> threads;
  for (int i = 0; i < 3; ++i)
    threads.emplace_back([&, i, fd = flooders[i].fd()] {
      const timeval wait = {0, 100000};  // a send held back gives way to reading
      setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
      char sink[65536];
      for (int n = 0; flooding; ++n) {
        const std::string wire = EncodeMessage("f" + std::to_string(i) + ":" + std::to_string(n) +
                                               std::string(500, 'x') + "\nip\n");
        for (size_t sent = 0; sent < wire.size() && flooding;) {
          while (recv(fd, sink, sizeof sink, MSG_DONTWAIT) > 0) continue;
          sent += std::max<ssize_t>(send(fd, wire.data() + sent, wire.size() - sent, 0), 0);
        }
      }
      while (recv(fd, sink, sizeof sink, 0) > 0) continue;  // until the host closes
      ++finished;
    });
  std::string received;
  threads.emplace_back([&] {  // about 4 MB/s
    char chunk[65536];
    for (ssize_t n; (n = recv(honest.fd(), chunk, sizeof chunk, 0)) > 0; usleep(16000))
      received.append(chunk, static_cast<size_t>(n));
    ++finished;
  });
  Settle(3000);
  flooding = false;
  Settle(2000);                       // what the honest reader is owed reaches it meanwhile
  EXPECT_EQ(server.SlotsInUse(), 4);  // all but the one that reads nothing

  server.view().OnDisconnectCmd();  // the rest is delivered while the loop turns
  EXPECT_TRUE(WaitFor([&] { return finished == static_cast<int>(threads.size()); }, 30000));
  for (std::thread& thread : threads) thread.join();
  int next[3] = {};
  std::vector<std::string> messages;
  CMessageFramer().Feed(received, messages);
  std::erase_if(messages, [](const std::string& m) { return m[0] != 'f'; });  // only the flooders'
  for (const std::string& m : messages)
    ASSERT_EQ(std::stoi(m.substr(3)), next[m[1] - '0']++) << "in order, none missing";
  EXPECT_GT(std::ranges::min(next), 100);
}

}  // namespace
}  // namespace murelo
