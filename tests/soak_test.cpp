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

using test::ChatCopy;
using test::OwnIp;

constexpr int kClients = 20;
const std::vector<std::string> kColors = {"blue", "green", "#00ffff", "purple", "orange"};

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
  /// The copy of client c for its next stay, under a name no copy had before.
  void Join(int c) {
    recordStart[c] = clients[c]->host().messages.size();
    joinedAt[c] = Deliverable().size();  // joins come when nothing is on its way
    clients[c]->Join(NewName(c), kColors[c % 5]);
    EXPECT_TRUE(WaitFor([&] { return View(c).m_bConnected; }));
    Await(c, {kJoinNoticeFormat, kAddCommandFormat});
    AwaitAll();
  }
  void Leave(int c) {
    Await(c, {kDelCommandFormat, kLeaveNoticeFormat});
    const int inUse = server.SlotsInUse();
    View(c).OnDisconnectCmd();
    EXPECT_TRUE(WaitFor([&] { return server.SlotsInUse() == inUse - 1; }));
  }
  void Say(int c, const std::string& typed) {
    Await(c, {kChatLineFormat}, typed);
    clients[c]->Say(typed);
  }
  /// The server is to take the texts these formats make of client c's colour and name, then
  /// third and fourth.
  void Await(int c, std::initializer_list<std::string_view> formats,
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
  /// What the server relayed: all it took but its own notices.
  std::vector<std::string> Deliverable() {
    return Without(server.host().messages, 0,
                   {FillFormat(kHostingNoticeFormat, {OwnIp(), OwnIp()}),
                    FillFormat(kAcceptedNoticeFormat, {OwnIp()}),
                    FillFormat(kClientLeftNoticeFormat, {OwnIp()})});
  }
  /// Client c's stay: a snapshot, then the run of what the server relayed since.
  void CheckStay(int c, const std::vector<std::string>& deliverable) {
    std::vector<std::string> run = Without(clients[c]->host().messages, recordStart[c],
                                           {FillFormat(kConnectedNoticeFormat, {OwnIp()})});
    const std::string who = View(c).m_strName;
    ASSERT_TRUE(!run.empty() && run[0] == "\nadd\nred\nhost\n") << who << ": snapshot, host first";
    const auto isAdd = [](const std::string& text) { return text.starts_with("\nadd\n"); };
    run.erase(run.begin(), std::ranges::find_if_not(run, isAdd));
    std::vector<std::string> relayed(deliverable.begin() + static_cast<long>(joinedAt[c]),
                                     deliverable.end());
    if (GetParam() > 0 && c % 2 == 1) {  // these take texts inside their boxes
      std::ranges::sort(run);
      std::ranges::sort(relayed);
    }
    EXPECT_TRUE(run == relayed) << who << ": receives what the server relayed, in order";
    EXPECT_EQ(clients[c]->Members(), server.Members()) << who;
  }
  CMureloView& View(int c) { return clients[c]->view(); }
  bool Present(int c) { return View(c).m_bConnected; }
  std::string NewName(int c) { return "c" + std::to_string(c) + "n" + std::to_string(++names); }

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
    if (Present(someone) && round % 4 == 3) Say(someone, r + " all clear");
    if (Present(someone) && round % 7 == 5) {  // a rename
      const CNameColorChoice choice{kColors[round % 5], NewName(someone)};
      Await(someone, {kChangeCommandFormat}, choice.strColor, choice.strName);
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
  ChatCopy server{dir.path() / "server", port};
  std::vector<std::unique_ptr<ChatCopy>> clients;
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
    clients.push_back(std::make_unique<ChatCopy>(dir.path() / ("c" + std::to_string(c)), port));
    clients[c]->host().recordMessages = true;
    if (GetParam() > 0 && c % 2 == 1) clients[c]->HoldBoxes(GetParam());
    Join(c);
  }
  const int rounds = FromEnvironment("MURELO_SOAK_ROUNDS", 300);
  for (int round = 0; round < rounds && !HasFailure(); ++round) Round(round);

  const std::vector<std::string> relayed = Deliverable();
  EXPECT_EQ(std::set(relayed.begin(), relayed.end()).size(), relayed.size()) << "relayed twice";
  EXPECT_LE(server.host().maxBoxDepth, 1);
  for (int c = 0; c < kClients; ++c) {
    if (Present(c)) CheckStay(c, relayed);
    EXPECT_LE(clients[c]->host().maxBoxDepth, 1);
  }
  clients.clear();
  EXPECT_TRUE(WaitFor([&] { return server.SlotsInUse() == 0; }));
  CStreamSocket::FinishClosingConnections(2000);
  EXPECT_LE(OpenDescriptors(), descriptors);
}

INSTANTIATE_TEST_SUITE_P(BoxesAnsweredAtOnceOrHeld, SoakTest, testing::Values(0, 2));

}  // namespace
}  // namespace murelo
