// Soak: one server and 20 clients, copies of the conversation in this process over loopback,
// exchanging thousands of messages of every kind while clients come and go. Every copy
// records each text it interprets, and the records are compared:
// - each stay of a client received a member snapshot (the host first) and then exactly
//   the texts the server relayed from its accept, in the server's order, up to the end or,
//   for one that left, at least up to the last round marker before it left;
// - every client line reached the server once if it fits 1023 bytes, else never; the
//   server relays nothing twice;
// - one "malformed" box at most per text of more than ten lines, never nested;
// - all member tables agree at the end, every log holds at most 200 entries;
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
int Lines(const std::string& text) {
  LineTable lines;
  return SplitMessageLines(text, lines);
}
bool WaitFor(const std::function<bool()>& condition) { return test::WaitFor(condition, 10000); }

class SoakTest : public testing::TestWithParam<int> {
 protected:
  /// The copy of client c for its next stay, under a name no copy had before.
  void Join(int c) {
    const int inUse = server.SlotsInUse();
    recordStart[c] = clients[c]->host().messages.size();
    joinedAt[c] = Deliverable().size();  // joins come when nothing is on its way
    clients[c]->Join("c" + std::to_string(c) + "n" + std::to_string(++names), kColors[c % 5]);
    EXPECT_TRUE(WaitFor([&] { return server.SlotsInUse() == inUse + 1 && View(c).m_bConnected; }));
    awaited.insert(FillFormat(kJoinNoticeFormat, {View(c).m_strColor, View(c).m_strName, OwnIp()}));
    awaited.insert(FillFormat(kAddCommandFormat, {View(c).m_strColor, View(c).m_strName}));
    AwaitAll();
  }
  void Leave(int c) {
    awaited.insert(FillFormat(kDelCommandFormat, {View(c).m_strColor, View(c).m_strName}));
    awaited.insert(
        FillFormat(kLeaveNoticeFormat, {View(c).m_strColor, View(c).m_strName, OwnIp()}));
    const int inUse = server.SlotsInUse();
    View(c).OnDisconnectCmd();
    CheckStay(c, Deliverable(), false);
    EXPECT_TRUE(WaitFor([&] { return server.SlotsInUse() == inUse - 1; }));
  }
  /// Says typed from copy, padded to exactly length bytes of chat line when length is set.
  void Say(ChatCopy& copy, std::string typed, size_t length = 0) {
    const CMureloView& view = copy.view();
    const auto line = [&] {
      return FillFormat(kChatLineFormat, {view.m_strColor, view.m_strName, typed, OwnIp()});
    };
    if (length > 0) typed.resize(typed.size() + length - line().size(), 'L');
    (&copy == &server ? serverSaid : said).push_back(line());
    if (&copy != &server && line().size() <= kMaxReceivedText) awaited.insert(line());
    copy.Say(typed);
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
  /// What the server relayed that clients can receive: all it took but its own notices
  /// and the texts longer than 1023 bytes.
  std::vector<std::string> Deliverable() {
    const std::set<std::string> local = {FillFormat(kHostingNoticeFormat, {OwnIp(), OwnIp()}),
                                         FillFormat(kAcceptedNoticeFormat, {OwnIp()}),
                                         FillFormat(kClientLeftNoticeFormat, {OwnIp()})};
    std::vector<std::string> relayed;
    for (const std::string& text : server.host().messages) {
      if (!local.contains(text) && text.size() <= kMaxReceivedText) relayed.push_back(text);
    }
    return relayed;
  }
  /// Client c's stay so far: a snapshot, then the run of what the server relayed since.
  void CheckStay(int c, const std::vector<std::string>& deliverable, bool present) {
    const std::set<std::string> local = {FillFormat(kConnectedNoticeFormat, {OwnIp()}),
                                         std::string(kDisconnectedNotice)};
    std::vector<std::string> received;
    const auto& record = clients[c]->host().messages;
    std::copy_if(record.begin() + static_cast<long>(recordStart[c]), record.end(),
                 std::back_inserter(received),
                 [&](const std::string& text) { return !local.contains(text); });
    const std::string who = View(c).m_strName;
    ASSERT_FALSE(received.empty()) << who;
    EXPECT_EQ(received[0], "\nadd\nred\nhost\n") << who << ": the snapshot starts with the host";
    size_t snapshot = 0;
    while (snapshot < std::min<size_t>(received.size(), kMemberRows) &&
           Lines(received[snapshot]) == 4 && received[snapshot].starts_with("\nadd\n"))
      ++snapshot;
    std::vector<std::string> run(received.begin() + static_cast<long>(snapshot), received.end());
    const size_t end = joinedAt[c] + run.size();
    ASSERT_TRUE(present ? end == deliverable.size() : end >= synced && end <= deliverable.size())
        << who;
    std::vector<std::string> relayed(deliverable.begin() + static_cast<long>(joinedAt[c]),
                                     deliverable.begin() + static_cast<long>(end));
    if (GetParam() > 0 && c % 2 == 1) {  // these take texts inside their boxes
      std::sort(run.begin(), run.end());
      std::sort(relayed.begin(), relayed.end());
    }
    EXPECT_TRUE(run == relayed) << who << ": receives what the server relayed, in order";
  }
  CMureloView& View(int c) { return clients[c]->view(); }
  bool Present(int c) { return View(c).m_bConnected; }

  void Round(int round) {
    const std::string r = "r" + std::to_string(round);
    const int someone = static_cast<int>(random() % kClients);
    if (round % 3 == 1) {  // comings and goings
      for (int c : {someone, static_cast<int>(random() % kClients)}) {
        if (Present(c)) Leave(c);
      }
    }
    if (round % 3 == 0) {
      AwaitAll();
      for (int c = 0; c < kClients; ++c) {
        if (!Present(c)) Join(c);
      }
    }
    for (int c = 0; c < kClients; ++c) {
      if (Present(c) && random() % 100 < 70) Say(*clients[c], r + " <i>hi");
      if (c == kClients / 2 && round % 2 == 0) {
        // Twelve lines from the host among the others': every copy shows a box, and a
        // client whose box is open takes what follows inside it.
        std::string twelve;
        for (int line = 0; line < 12; ++line) twelve += r + " line\n";
        server.view().Broadcast(twelve);
        serverSaid.push_back(twelve);
      }
    }
    if (Present(someone) && round % 4 == 3) Say(*clients[someone], r + " all clear");
    if (Present(someone) && round % 7 == 5) {  // a rename
      const CNameColorChoice choice{kColors[round % 5],
                                    "c" + std::to_string(someone) + "n" + std::to_string(++names)};
      awaited.insert(FillFormat(
          kChangeCommandFormat,
          {View(someone).m_strColor, View(someone).m_strName, choice.strColor, choice.strName}));
      clients[someone]->host().nameColorChoice = choice;
      View(someone).OnChangeNameColorCmd();
    }
    if (round % 6 == 4) {
      ChatCopy& sender = (round / 6) % 2 == 0 || !Present(someone) ? server : *clients[someone];
      for (size_t length = 1022; length <= 1025; ++length) Say(sender, r + " long ", length);
    }
    Say(server, r + " from the host");
    AwaitAll();  // what the clients sent this round reaches the server before the marker
    const std::string marker = "marker " + r + "\n" + OwnIp() + "\n";
    server.view().Broadcast(marker);
    synced = Deliverable().size();
    for (int c = 0; c < kClients; ++c) {
      const auto& messages = clients[c]->host().messages;
      EXPECT_TRUE(!Present(c) || WaitFor([&] {
        return !messages.empty() && messages.back() == marker;
      })) << r
          << " marker at " << View(c).m_strName;
    }
  }

  test::ScopedTempDir dir;
  const uint16_t port = test::FreePort();
  ChatCopy server{dir.path() / "server", port};
  std::vector<std::unique_ptr<ChatCopy>> clients;
  std::mt19937 random{static_cast<unsigned>(FromEnvironment("MURELO_SOAK_SEED", 1))};
  size_t recordStart[kClients] = {}, joinedAt[kClients] = {};
  size_t synced = 0;                   // deliverable texts at the last round marker
  std::multiset<std::string> awaited;  // texts the server has yet to take
  size_t scanned = 0;                  // of the server's record, for awaited
  std::vector<std::string> said, serverSaid;
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

  const std::vector<std::string> deliverable = Deliverable();
  EXPECT_EQ(std::set(deliverable.begin(), deliverable.end()).size(), deliverable.size())
      << "relayed twice";
  for (int c = 0; c < kClients; ++c) {
    if (Present(c)) CheckStay(c, deliverable, true);
  }
  const std::multiset<std::string> relayed(server.host().messages.begin(),
                                           server.host().messages.end());
  for (const std::string& text : said)
    EXPECT_EQ(relayed.count(text), text.size() <= kMaxReceivedText ? 1u : 0u) << text.substr(0, 60);
  for (const std::string& text : serverSaid)
    EXPECT_EQ(relayed.count(text), 1u) << text.substr(0, 60);
  std::vector<ChatCopy*> copies = {&server};
  for (auto& client : clients) copies.push_back(client.get());
  for (ChatCopy* copy : copies) {
    int malformed = 0;
    for (const std::string& text : copy->host().messages)
      malformed += Lines(text) > kMaxWellFormedLines;
    const auto& boxes = copy->host().boxes;
    const int shown = static_cast<int>(std::count(boxes.begin(), boxes.end(), kBoxMalformedText));
    // One box answers for all that a read brought, and none opens inside another.
    EXPECT_TRUE(shown <= malformed && (shown > 0) == (malformed > 0) &&
                shown == static_cast<int>(boxes.size()));
    EXPECT_LE(copy->host().maxBoxDepth, 1);
    EXPECT_LE(copy->view().m_Log.Count(), kLogCapacity);
    EXPECT_TRUE(!copy->view().m_bConnected || copy->Members() == server.Members())
        << copy->view().m_strName;
  }
  clients.clear();
  EXPECT_TRUE(WaitFor([&] { return server.SlotsInUse() == 0; }));
  CStreamSocket::FinishClosingConnections(2000);
  EXPECT_LE(OpenDescriptors(), descriptors);
}

INSTANTIATE_TEST_SUITE_P(BoxesAnsweredAtOnceOrHeld, SoakTest, testing::Values(0, 2));

}  // namespace
}  // namespace murelo
