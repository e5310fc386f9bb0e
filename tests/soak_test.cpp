// Soak: one server and 20 clients, copies of the conversation in this process over loopback,
// exchanging thousands of messages of every kind while clients come and go. Every copy
// records each text it interprets, and the records are compared:
// - every round marker reaches every client present;
// - every line, notice and command a client sent reached the server; the server relays
//   nothing twice;
// - each client present at the end received a member snapshot (the host first) and then
//   exactly the texts the server relayed from its accept, in the server's order;
// - no box opens inside another; all member tables agree at the end;
// - no descriptor is left open once the copies are gone.
// Held, every other client keeps its boxes open 2 ms, taking further messages inside them
// ahead of the rest of their read: what those receive is compared as a multiset.
// MURELO_SOAK_ROUNDS sets the number of rounds (default 300), MURELO_SOAK_SEED the seed.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "loopback.h"
#include "platform/posix/stream_socket.h"

namespace murelo {
namespace {

using test::OwnIp;

constexpr int kClients = 20;

int FromEnvironment(const char* name, int fallback) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::atoi(value) : fallback;
}
int OpenDescriptors() {
  return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}
bool WaitFor(const std::function<bool()>& condition) { return test::WaitFor(condition, 10000); }
/// What record holds from index from on, but the texts in local.
std::vector<std::string> Without(const std::vector<std::string>& record, size_t from,
                                 const std::set<std::string>& local) {
  std::vector<std::string> kept;
  std::copy_if(record.begin() + static_cast<long>(from), record.end(), std::back_inserter(kept),
               [&](const std::string& text) { return !local.contains(text); });
  return kept;
}

class SoakTest : public testing::TestWithParam<int> {
 protected:
  /// The server is to take what client c sends in these formats, filled with its colour
  /// and name, then third and fourth; then client c does it.
  void Expect(int c, std::initializer_list<std::string_view> formats,
              std::string_view third = OwnIp(), std::string_view fourth = OwnIp()) {
    for (std::string_view format : formats)
      awaited.insert(FillFormat(format, {View(c).m_strColor, View(c).m_strName, third, fourth}));
  }
  /// Waits until the server has taken everything said to it so far.
  void AwaitAll() {
    const auto& record = server.host().messages;
    EXPECT_TRUE(WaitFor([&] {
      for (; scanned < record.size(); ++scanned) awaited.erase(record[scanned]);
      return awaited.empty();
    })) << "the server never took "
        << *awaited.begin();
  }
  /// Client c's next stay, under a name no copy had before; joins come when nothing is on
  /// its way, so its run starts where the server's record stands.
  void Join(int c) {
    recordStart[c] = clients[c]->host().messages.size();
    joinedAt[c] = Relayed().size();
    clients[c]->Join("c" + std::to_string(c) + "n" + std::to_string(++names), "blue");
    EXPECT_TRUE(WaitFor([&] { return Present(c); }));
    Expect(c, {kJoinNoticeFormat, kAddCommandFormat});
    AwaitAll();
  }
  void Leave(int c) {
    Expect(c, {kDelCommandFormat, kLeaveNoticeFormat});
    const int inUse = server.SlotsInUse();
    View(c).OnDisconnectCmd();
    EXPECT_TRUE(WaitFor([&] { return server.SlotsInUse() == inUse - 1; }));
  }
  void Say(int c, const std::string& typed) {
    Expect(c, {kChatLineFormat}, typed);
    clients[c]->Say(typed);
  }
  /// What the server relayed: all it took but its own notices.
  std::vector<std::string> Relayed() {
    return Without(server.host().messages, 0,
                   {FillFormat(kHostingNoticeFormat, {OwnIp(), OwnIp()}),
                    FillFormat(kAcceptedNoticeFormat, {OwnIp()}),
                    FillFormat(kClientLeftNoticeFormat, {OwnIp()})});
  }
  CMureloView& View(int c) { return clients[c]->view(); }
  bool Present(int c) { return View(c).m_bConnected; }
  bool Holds(int c) { return GetParam() > 0 && c % 2 == 1; }

  void Round(int round) {
    const std::string r = "r" + std::to_string(round);
    const int someone = static_cast<int>(random() % kClients);
    if (round % 3 == 1) {  // comings and goings
      for (int c : {someone, static_cast<int>(random() % kClients)})
        if (Present(c)) Leave(c);
    }
    if (round % 3 == 0) {
      AwaitAll();
      for (int c = 0; c < kClients; ++c)
        if (!Present(c)) Join(c);
    }
    for (int c = 0; c < kClients; ++c) {
      if (Present(c) && random() % 100 < 70) Say(c, r + " <i>hi");
      if (c == kClients / 2 && round % 2 == 0) {
        // Twelve lines from the host among the others': every copy shows a box, and a
        // client whose box is open takes what follows inside it.
        std::string twelve;
        for (int line = 0; line < 12; ++line) twelve += r + " line\n";
        server.view().Broadcast(twelve);
      }
    }
    if (Present(someone) && round % 7 == 5) {  // a rename
      const CNameColorChoice choice{round % 2 ? "green" : "#00ffff", r + "renamed"};
      Expect(someone, {kChangeCommandFormat}, choice.strColor, choice.strName);
      clients[someone]->host().nameColorChoice = choice;
      View(someone).OnChangeNameColorCmd();
    }
    server.Say(r + " from the host");
    AwaitAll();  // what the clients sent this round reaches the server before the marker
    const std::string marker = "marker " + r + "\n" + OwnIp() + "\n";
    server.view().Broadcast(marker);
    for (int c = 0; c < kClients; ++c) {
      const auto& got = clients[c]->host().messages;
      EXPECT_TRUE(!Present(c) || WaitFor([&] { return !got.empty() && got.back() == marker; }))
          << r << " marker at " << View(c).m_strName;
    }
  }

  test::ScopedTempDir dir;
  const uint16_t port = test::FreePort();
  test::ChatCopy server{dir.path() / "server", port};
  std::vector<std::unique_ptr<test::ChatCopy>> clients;
  std::mt19937 random{static_cast<unsigned>(FromEnvironment("MURELO_SOAK_SEED", 1))};
  size_t recordStart[kClients] = {}, joinedAt[kClients] = {};
  std::multiset<std::string> awaited;  // texts the server has yet to take
  size_t scanned = 0;                  // of the server's record, for awaited
  int names = 0;
};

TEST_P(SoakTest, TwentyClientsComeGoAndTalkAndEveryoneSeesTheSameConversation) {
  server.host().recordMessages = true;
  server.Host("host", "red");
  const int descriptors = OpenDescriptors();
  for (int c = 0; c < kClients; ++c) {
    clients.push_back(std::make_unique<test::ChatCopy>(dir.path() / std::to_string(c), port));
    clients[c]->host().recordMessages = true;
    if (Holds(c)) clients[c]->HoldBoxes(GetParam());
    Join(c);
  }
  const int rounds = FromEnvironment("MURELO_SOAK_ROUNDS", 300);
  for (int round = 0; round < rounds && !HasFailure(); ++round) Round(round);

  const std::vector<std::string> relayed = Relayed();
  EXPECT_EQ(std::set(relayed.begin(), relayed.end()).size(), relayed.size()) << "relayed twice";
  EXPECT_LE(server.host().maxBoxDepth, 1);
  for (int c = 0; c < kClients; ++c) {
    EXPECT_LE(clients[c]->host().maxBoxDepth, 1);
    if (!Present(c)) continue;
    // A stay: the snapshot, host first, then the run of what the server relayed since.
    std::vector<std::string> run = Without(clients[c]->host().messages, recordStart[c],
                                           {FillFormat(kConnectedNoticeFormat, {OwnIp()})});
    const std::string who = View(c).m_strName;
    ASSERT_TRUE(!run.empty() && run[0] == "\nadd\nred\nhost\n") << who << ": snapshot, host first";
    run.erase(run.begin(), std::ranges::find_if_not(run, [](const std::string& text) {
                return text.starts_with("\nadd\n");
              }));
    std::vector<std::string> since(relayed.begin() + static_cast<long>(joinedAt[c]), relayed.end());
    if (Holds(c)) {  // these take texts inside their boxes
      std::ranges::sort(run);
      std::ranges::sort(since);
    }
    EXPECT_TRUE(run == since) << who << ": receives what the server relayed, in order";
    EXPECT_EQ(clients[c]->Members(), server.Members()) << who;
  }
  clients.clear();
  EXPECT_TRUE(WaitFor([&] { return server.SlotsInUse() == 0; }));
  CStreamSocket::FinishClosingConnections(2000);
  EXPECT_LE(OpenDescriptors(), descriptors);
}

INSTANTIATE_TEST_SUITE_P(BoxesAnsweredAtOnceOrHeld, SoakTest, testing::Values(0, 2));

}  // namespace
}  // namespace murelo
