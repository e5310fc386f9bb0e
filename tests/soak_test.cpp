// Soak: one server and 20 clients, copies of the conversation in this process over loopback,
// exchanging thousands of messages while clients come and go and the host sends texts that
// open a box everywhere; every other client keeps its boxes open 2 ms, taking what arrives
// meanwhile inside them. Once all is delivered:
// - the server took every line said and relayed nothing twice;
// - each client received a member snapshot (the host first) and then exactly the
//   latest run of what the server relayed, in its order (as a multiset where boxes were
//   held, since those take messages inside a box ahead of the rest of their read);
// - no box opened inside another, the member tables agree, no descriptor is left open.
// MURELO_SOAK_ROUNDS sets the number of rounds (default 300), MURELO_SOAK_SEED the seed.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "loopback.h"
#include "platform/posix/stream_socket.h"

namespace murelo {
namespace {

using namespace test;
using SoakTest = LoopbackTest;

int FromEnvironment(const char* name, int fallback) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::atoi(value) : fallback;
}
int OpenDescriptors() {
  return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}

TEST_F(SoakTest, TwentyClientsComeGoAndTalkAndEveryoneSeesTheSameConversation) {
  ChatCopy& server = StartServer();
  server.host().recordMessages = true;
  const int descriptors = OpenDescriptors();
  std::mt19937 random(static_cast<unsigned>(FromEnvironment("MURELO_SOAK_SEED", 1)));
  std::vector<ChatCopy*> clients;
  std::vector<size_t> stayFrom(kPeerSlots);  // where each one's record of its stay starts
  std::set<std::string> said;                // what the server is to take
  const auto comeOrGo = [&](int c, const std::string& name) {
    CMureloView& view = clients[c]->view();
    const int inUse = server.SlotsInUse();
    if (view.m_bConnected) {
      view.OnDisconnectCmd();
    } else {
      stayFrom[c] = clients[c]->host().messages.size();
      clients[c]->Join(name);
      said.insert(FillFormat(kJoinNoticeFormat, {"blue", name, OwnIp()}));
    }
    EXPECT_TRUE(WaitFor([&] { return server.SlotsInUse() != inUse; }));
  };
  for (int c = 0; c < kPeerSlots; ++c) {
    clients.push_back(&NewCopy());
    clients[c]->host().recordMessages = true;
    if (c % 2) clients[c]->HoldBoxes(2);
    comeOrGo(c, "c" + std::to_string(c));
  }
  for (int round = 0, rounds = FromEnvironment("MURELO_SOAK_ROUNDS", 300); round < rounds;
       ++round) {
    const std::string r = "r" + std::to_string(round);
    for (int i = 0; i < 2; ++i)
      comeOrGo(static_cast<int>(random() % kPeerSlots), r + "n" + std::to_string(i));
    for (ChatCopy* client : clients) {
      if (!client->view().m_bConnected || random() % 100 >= 70) continue;
      said.insert(ChatLine("blue", client->view().m_strName, r + " <i>hi"));
      client->Say(r + " <i>hi");
    }
    std::string twelve;  // a box on every copy
    for (int line = 0; line < 12; ++line) twelve += r + "\n";
    if (round % 2 == 0) server.view().Broadcast(twelve);
    Settle(1);
  }

  for (int c = 0; c < kPeerSlots; ++c)  // every slot in use at the end
    if (!clients[c]->view().m_bConnected) comeOrGo(c, "e" + std::to_string(c));

  // Once the server has taken all that was said, a last text from it ends every run.
  const std::vector<std::string>& taken = server.host().messages;
  EXPECT_TRUE(WaitFor(
      [&] { return std::ranges::includes(std::set(taken.begin(), taken.end()), said); }, 10000));
  const std::string last = "the end\n" + OwnIp() + "\n";
  server.view().Broadcast(last);
  const std::set<std::string> own = {FillFormat(kHostingNoticeFormat, {OwnIp(), OwnIp()}),
                                     FillFormat(kAcceptedNoticeFormat, {OwnIp()}),
                                     FillFormat(kClientLeftNoticeFormat, {OwnIp()}),
                                     FillFormat(kConnectedNoticeFormat, {OwnIp()})};
  const auto relayed = [&](const std::vector<std::string>& record, size_t from) {
    std::vector<std::string> kept;
    std::copy_if(record.begin() + static_cast<long>(from), record.end(), std::back_inserter(kept),
                 [&](const std::string& text) { return !own.contains(text); });
    return kept;
  };
  const std::vector<std::string> all = relayed(taken, 0);
  EXPECT_EQ(std::set(all.begin(), all.end()).size(), all.size()) << "relayed twice";
  EXPECT_LE(server.host().maxBoxDepth, 1);
  for (int c = 0; c < kPeerSlots; ++c) {
    ChatCopy& client = *clients[c];
    const std::string who = client.view().m_strName;
    EXPECT_LE(client.host().maxBoxDepth, 1) << who;
    ASSERT_TRUE(WaitFor([&] { return client.host().messages.back() == last; })) << who;
    std::vector<std::string> run = relayed(client.host().messages, stayFrom[c]);
    ASSERT_TRUE(!run.empty() && run[0] == "\nadd\nred\nhost\n") << who << ": snapshot, host first";
    run.erase(run.begin(), std::ranges::find_if_not(run, [](const std::string& text) {
                return text.starts_with("\nadd\n");
              }));
    ASSERT_LE(run.size(), all.size()) << who;
    std::vector<std::string> latest(all.end() - static_cast<long>(run.size()), all.end());
    if (c % 2) {
      std::ranges::sort(run);
      std::ranges::sort(latest);
    }
    EXPECT_TRUE(run == latest) << who << ": receives what the server relayed, in order";
    EXPECT_EQ(std::ranges::count(run, FillFormat(kJoinNoticeFormat, {"blue", who, OwnIp()})), 1);
    EXPECT_EQ(client.Members(), server.Members()) << who;
  }
  copies.clear();
  CStreamSocket::FinishClosingConnections(2000);
  EXPECT_LE(OpenDescriptors(), descriptors);
}

}  // namespace
}  // namespace murelo
