// Soak: one server and 20 clients, copies of the chat view in this process over loopback,
// exchanging thousands of messages of every kind while clients come and go. Every copy
// records each text it interprets, and at the end the records are compared:
// - every client session received a member snapshot (the host first) and then exactly a
//   run of the texts the server relayed, in the server's order, from its accept to the
//   end or to the last round marker before it left;
// - every client line reached the server once if it fits 1023 bytes, else never; the
//   server relays nothing twice;
// - one "malformed" box at most per text of more than ten lines, never nested;
// - all member tables agree at the end, every log holds at most 200 entries;
// - no descriptor is left open once the copies are gone.
// Held, every other client keeps its boxes open 2 ms, taking further messages
// inside them ahead of the rest of their read: their runs are compared as multisets.
//
// MURELO_SOAK_ROUNDS sets the number of rounds (default 300), MURELO_SOAK_SEED the seed.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>
#include <set>

#include "core/wire_format.h"
#include "loopback.h"
#include "platform/stream_socket.h"

namespace murelo {
namespace {

using test::ChatCopy;
using test::OwnIp;
using test::WaitFor;

constexpr int kClients = 20;
constexpr int kSyncMs = 10000;

void Check(bool ok, const std::string& what) { EXPECT_TRUE(ok) << what; }
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

/// One stay of a client, between its join and its leave.
struct CSession {
  int nClient;
  size_t nRecordStart;    // the client's record before the join
  size_t nRecordEnd;      // the record at its leave (SIZE_MAX while it stays)
  size_t nRelayedAtJoin;  // deliverable texts the server had relayed before the join
  size_t nRelayedSynced;  // ... at the last marker the client was waited for
};

class CSoak {
 public:
  CSoak(int rounds, unsigned seed, int boxMs)
      : m_nRounds(rounds), m_nBoxMs(boxMs), m_random(seed) {}

  void Run() {
    test::ScopedTempDir dir;
    m_server = std::make_unique<ChatCopy>(dir.path() / "server", m_port);
    m_server->host().recordMessages = true;
    m_server->Host("host", "red");
    for (int i = 0; i < kClients; ++i) {
      m_clients.push_back(
          std::make_unique<ChatCopy>(dir.path() / ("c" + std::to_string(i)), m_port));
      m_clients.back()->host().recordMessages = true;
      if (m_nBoxMs > 0 && i % 2 == 1) m_clients.back()->HoldBoxes(m_nBoxMs);
      Join(i);
    }
    for (int round = 0; round < m_nRounds && !testing::Test::HasFailure(); ++round) RunRound(round);
    CheckRecords();
    std::printf("soak: %d rounds, %zu texts relayed, %d lines said, %d joins, %d renames\n",
                m_nRounds, Relayed().size(), m_nSaid, m_nJoins, m_nRenames);
    m_clients.clear();
    m_server.reset();
  }

 private:
  /// A name no copy had before: texts with it are never relayed twice.
  std::string NewName(int client) {
    return "c" + std::to_string(client) + "n" + std::to_string(++m_nNames);
  }
  ChatCopy& Client(int client) { return *m_clients[client]; }
  bool IsServerNotice(const std::string& text) const {
    return text == FillFormat(kHostingNoticeFormat, {OwnIp(), OwnIp()}) ||
           text == FillFormat(kAcceptedNoticeFormat, {OwnIp()}) ||
           text == FillFormat(kClientLeftNoticeFormat, {OwnIp()}) || text == kDisconnectedNotice;
  }
  /// The server's record as relayed: every text but its own local notices.
  std::vector<std::string> Relayed() const {
    std::vector<std::string> relayed;
    for (const std::string& text : m_server->host().messages) {
      if (!IsServerNotice(text)) relayed.push_back(text);
    }
    return relayed;
  }
  /// What clients can receive of the relayed texts: those of at most 1023 bytes.
  std::vector<std::string> Deliverable() const {
    std::vector<std::string> relayed = Relayed();
    std::erase_if(relayed, [](const std::string& text) { return text.size() > kMaxReceivedText; });
    return relayed;
  }
  /// Waits until the server has taken everything said to it so far.
  void AwaitAll() {
    const auto& record = m_server->host().messages;
    Check(WaitFor(
              [&] {
                for (; m_nScanned < record.size(); ++m_nScanned)
                  m_awaited.erase(record[m_nScanned]);
                return m_awaited.empty();
              },
              kSyncMs),
          "the server takes what was sent to it: " + (m_awaited.empty() ? "" : *m_awaited.begin()));
  }

  void Join(int client) {
    const size_t atJoin = Deliverable().size();
    const int inUse = m_server->SlotsInUse();
    const size_t recordStart = Client(client).host().messages.size();
    Client(client).Join(NewName(client), m_colors[client % m_colors.size()]);
    Check(WaitFor(
              [&] {
                return m_server->SlotsInUse() == inUse + 1 && Client(client).view().m_bConnected;
              },
              kSyncMs),
          "join of " + Client(client).view().m_strName);
    const CMureloView& view = Client(client).view();
    m_awaited.insert(FillFormat(kJoinNoticeFormat, {view.m_strColor, view.m_strName, OwnIp()}));
    m_awaited.insert(FillFormat(kAddCommandFormat, {view.m_strColor, view.m_strName}));
    AwaitAll();
    m_open[client] = m_sessions.size();
    m_sessions.push_back({client, recordStart, SIZE_MAX, atJoin, atJoin});
    ++m_nJoins;
  }

  void Leave(int client) {
    CMureloView& view = Client(client).view();
    m_awaited.insert(FillFormat(kDelCommandFormat, {view.m_strColor, view.m_strName}));
    m_awaited.insert(FillFormat(kLeaveNoticeFormat, {view.m_strColor, view.m_strName, OwnIp()}));
    const int inUse = m_server->SlotsInUse();
    view.OnDisconnectCmd();
    m_sessions[m_open[client]].nRecordEnd = Client(client).host().messages.size();
    m_open.erase(client);
    Check(WaitFor([&] { return m_server->SlotsInUse() == inUse - 1; }, kSyncMs),
          "slot freed by " + view.m_strName);
  }

  void Say(ChatCopy& copy, std::string typed, size_t length = 0) {
    const auto line = [&] {
      return FillFormat(kChatLineFormat,
                        {copy.view().m_strColor, copy.view().m_strName, typed, OwnIp()});
    };
    if (length > 0)
      typed.resize(typed.size() + length - line().size(), 'L');  // exactly length bytes
    (&copy == m_server.get() ? m_serverSaid : m_said).push_back(line());
    if (&copy != m_server.get() && line().size() <= kMaxReceivedText) m_awaited.insert(line());
    copy.Say(typed);
    ++m_nSaid;
  }

  void RunRound(int round) {
    const std::string r = "r" + std::to_string(round);
    std::uniform_int_distribution<int> anyClient(0, kClients - 1);
    if (round % 3 == 1) {  // comings and goings
      for (int client : {anyClient(m_random), anyClient(m_random)}) {
        if (m_open.contains(client)) Leave(client);
      }
    }
    if (round % 3 == 0) {
      AwaitAll();  // joins come in a quiet moment: the snapshot is all that precedes them
      for (int client = 0; client < kClients; ++client) {
        if (!m_open.contains(client)) Join(client);
      }
    }
    for (int client = 0; client < kClients; ++client) {
      if (m_open.contains(client) && m_random() % 100 < 70) Say(Client(client), r + " <i>hi");
      if (client == kClients / 2 && round % 2 == 0) {
        // Twelve lines from the host among the others': every copy shows a box, and a
        // client whose box is open takes what follows inside it.
        std::string twelve;
        for (int line = 0; line < 12; ++line) twelve += r + " line\n";
        m_server->view().Broadcast(twelve);
        m_serverSaid.push_back(twelve);
      }
    }
    const int someone = anyClient(m_random);
    if (m_open.contains(someone) && round % 4 == 3) Say(Client(someone), r + " all clear");
    if (m_open.contains(someone) && round % 7 == 5) {
      CMureloView& view = Client(someone).view();
      const std::string color = m_colors[(round + someone) % m_colors.size()];
      const std::string name = NewName(someone);
      ++m_nRenames;
      m_awaited.insert(
          FillFormat(kChangeCommandFormat, {view.m_strColor, view.m_strName, color, name}));
      Client(someone).host().nameColorChoice = CNameColorChoice{color, name};
      view.OnChangeNameColorCmd();
    }
    if (round % 6 == 4) {
      ChatCopy& sender =
          (round / 6) % 2 == 0 || !m_open.contains(someone) ? *m_server : Client(someone);
      for (size_t length = 1022; length <= 1025; ++length) Say(sender, r + " long ", length);
    }
    Say(*m_server, r + " from the host");
    AwaitAll();  // what the clients sent this round reaches the server before the marker
    const std::string marker = "marker " + r + "\n" + OwnIp() + "\n";
    m_server->view().Broadcast(marker);
    const size_t synced = Deliverable().size();
    for (const auto& [client, session] : m_open) {
      const auto& messages = Client(client).host().messages;
      Check(WaitFor([&] { return !messages.empty() && messages.back() == marker; }, kSyncMs),
            r + " marker at " + Client(client).view().m_strName);
      m_sessions[session].nRelayedSynced = synced;
    }
  }

  void CheckSession(const CSession& session, const std::vector<std::string>& deliverable) {
    const auto& record = Client(session.nClient).host().messages;
    const std::set<std::string> local = {FillFormat(kConnectedNoticeFormat, {OwnIp()}),
                                         FillFormat(kHostLostNoticeFormat, {OwnIp()}),
                                         std::string(kDisconnectedNotice)};
    std::vector<std::string> received;
    for (size_t i = session.nRecordStart; i < std::min(session.nRecordEnd, record.size()); ++i) {
      if (!local.contains(record[i])) received.push_back(record[i]);
    }
    const std::string who = "client " + std::to_string(session.nClient) + " from " +
                            std::to_string(session.nRecordStart);
    Check(!received.empty() && received[0] == "\nadd\nred\nhost\n",
          who + ": snapshot starts with the host");
    size_t snapshot = 0;  // the leading add commands
    while (snapshot < std::min<size_t>(received.size(), kMemberRows) &&
           Lines(received[snapshot]) == 4 && received[snapshot].starts_with("\nadd\n"))
      ++snapshot;
    std::vector<std::string> run(received.begin() + static_cast<long>(snapshot), received.end());
    const size_t end = session.nRelayedAtJoin + run.size();
    Check(
        session.nRecordEnd == SIZE_MAX ? end == deliverable.size() : end >= session.nRelayedSynced,
        who + ": everything up to its end");
    if (end > deliverable.size()) return;
    std::vector<std::string> relayed(
        deliverable.begin() + static_cast<long>(session.nRelayedAtJoin),
        deliverable.begin() + static_cast<long>(end));
    if (m_nBoxMs > 0 && session.nClient % 2 == 1) {  // these hold their boxes
      std::sort(run.begin(), run.end());
      std::sort(relayed.begin(), relayed.end());
    }
    Check(run == relayed, who + ": a run of what the server relayed, from its accept, in order");
  }

  void CheckRecords() {
    const std::vector<std::string> deliverable = Deliverable();
    const std::set<std::string> unique(deliverable.begin(), deliverable.end());
    Check(unique.size() == deliverable.size(), "the server relays nothing twice");
    for (const CSession& session : m_sessions) CheckSession(session, deliverable);
    const std::vector<std::string> relayedList = Relayed();
    const std::multiset<std::string> relayed(relayedList.begin(), relayedList.end());
    for (const std::string& text : m_said)
      Check(relayed.count(text) == (text.size() <= kMaxReceivedText ? 1u : 0u),
            "said by a client: " + text.substr(0, 60));
    for (const std::string& text : m_serverSaid)
      Check(relayed.count(text) == 1, "said by the host: " + text.substr(0, 60));

    const std::vector<std::string> members = m_server->Members();
    std::vector<ChatCopy*> copies = {m_server.get()};
    for (auto& client : m_clients) copies.push_back(client.get());
    for (ChatCopy* copy : copies) {
      int malformed = 0;
      for (const std::string& text : copy->host().messages) {
        malformed += Lines(text) > kMaxWellFormedLines;
        Check(copy == m_server.get() || text.size() <= kMaxReceivedText,
              "a client took an overlong text");
      }
      const auto& boxes = copy->host().boxes;
      const auto shown =
          static_cast<int>(std::count(boxes.begin(), boxes.end(), kBoxMalformedText));
      // One box answers for all that a read brought.
      Check(shown <= malformed && (shown > 0) == (malformed > 0) &&
                shown == static_cast<int>(boxes.size()),
            copy->view().m_strName + ": one box per malformed read at most");
      Check(copy->host().maxBoxDepth <= 1, copy->view().m_strName + ": boxes never nest");
      Check(copy->view().m_Log.Count() <= kLogCapacity, "log size");
      Check(!copy->view().m_bConnected || copy->Members() == members,
            copy->view().m_strName + ": table");
    }
  }

  const int m_nRounds;
  const int m_nBoxMs;
  std::mt19937 m_random;
  const uint16_t m_port = test::FreePort();
  const std::vector<std::string> m_colors = {"blue", "green", "#00ffff", "purple", "orange"};
  std::unique_ptr<ChatCopy> m_server;
  std::vector<std::unique_ptr<ChatCopy>> m_clients;
  std::map<int, size_t> m_open;  // client -> its session, while it is in the room
  std::vector<CSession> m_sessions;
  std::multiset<std::string> m_awaited;  // texts the server has yet to take
  size_t m_nScanned = 0;                 // of the server's record, for m_awaited
  std::vector<std::string> m_said, m_serverSaid;
  int m_nSaid = 0, m_nJoins = 0, m_nRenames = 0, m_nNames = 0;
};

class SoakTest : public testing::TestWithParam<int> {};

TEST_P(SoakTest, TwentyClientsComeGoAndTalkAndEveryoneSeesTheSameConversation) {
  const int descriptors = OpenDescriptors();
  CSoak(FromEnvironment("MURELO_SOAK_ROUNDS", 300), FromEnvironment("MURELO_SOAK_SEED", 1),
        GetParam())
      .Run();
  CStreamSocket::FinishClosingConnections(2000);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_LE(OpenDescriptors(), descriptors);
}

INSTANTIATE_TEST_SUITE_P(BoxesAnsweredAtOnceOrHeld, SoakTest, testing::Values(0, 2));

}  // namespace
}  // namespace murelo
