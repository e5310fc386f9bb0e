// Soak: one server and 20 clients, copies of the chat view in this process over
// loopback TCP, exchanging thousands of messages of every kind for a number of
// rounds; a raw peer sends malformed frames whenever a slot is free. Every copy
// records each text it interprets; at the end the records are compared.
//
// Each round: some clients leave and come back under a new name; every client
// present may say a line, and every other round the host sends twelve lines among
// them; now and then one renames, one sends a clear request, one
// (or the server) sends a text of 1022 to 1025 bytes; the raw peer sends lone
// terminators, the bytes 0x01 to 0xFE, a text of more than ten lines, a command with
// the wrong count and a text too long to deliver; the server closes the round with
// a marker and every client is waited for until it has the marker.
//
// Checks:
// - every text the server relayed of at most 1023 bytes is unique, and every client
//   session received, after its connected notice, a member snapshot of add commands
//   (the host first) and then exactly a run of those texts, in the server's order:
//   from the moment it was accepted up to the end (or, for a session that left, at
//   least up to the round marker before it left);
// - every line a client said reached the server exactly once if it fits 1023 bytes
//   and never reached anyone if not; what the server said of 1024 bytes or more was
//   interpreted by the server alone;
// - one "malformed text" box for each text of more than ten lines a copy took;
// - all participant tables agree at the end, every log holds at most 200 entries;
// - no socket or other descriptor is left open once the copies are gone.
//
// With --box-ms M, the boxes of every other client stay open M milliseconds, their
// nested loops turning, so those clients take further messages inside their boxes,
// ahead of the rest of the read that held the text that opened the box: their runs
// are compared as multisets. The server's boxes are always answered at once, since
// the order it relays in is what every other check rests on.
//
//   soak [--rounds N] [--seed S] [--box-ms M]     (defaults: 300 rounds, seed 1, 0 ms)
#include <dirent.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/message_catalog.h"
#include "core/message_format.h"
#include "core/wire_format.h"
#include "network_support.h"
#include "platform/own_address.h"
#include "platform/qt_event_loop.h"
#include "platform/stream_socket.h"

namespace murelo {
namespace {

using test::ChatCopy;
using test::RawPeer;
using test::WaitFor;

constexpr int kClients = 20;
constexpr int kSyncTimeoutMs = 10000;

int g_nFailures = 0;

#define SOAK_CHECK(condition, what)                                                         \
  do {                                                                                      \
    if (!(condition)) {                                                                     \
      ++g_nFailures;                                                                        \
      std::fprintf(stderr, "soak: FAILED %s:%d: %s (%s)\n", __FILE__, __LINE__, #condition, \
                   std::string(what).c_str());                                              \
    }                                                                                       \
  } while (false)

int OpenDescriptors() {
  int count = 0;
  DIR* directory = opendir("/proc/self/fd");
  while (dirent* entry = readdir(directory)) count += entry->d_name[0] != '.';
  closedir(directory);
  return count - 1;  // the directory's own
}

bool IsAddCommand(const std::string& text) {
  LineTable lines;
  return SplitMessageLines(text, lines) == 4 && lines[0].empty() && lines[1] == "add";
}

int MalformedCount(const std::vector<std::string>& texts) {
  int count = 0;
  LineTable lines;
  for (const std::string& text : texts)
    count += SplitMessageLines(text, lines) > kMaxWellFormedLines;
  return count;
}

/// One stay of a client in the conversation, between its join and its leave.
struct CSession {
  int nClient = 0;
  size_t nRecordStart = 0;      // its copy's record before the join
  size_t nRecordEnd = 0;        // its copy's record at the leave (SIZE_MAX: still there)
  size_t nRelayedAtJoin = 0;    // server texts relayed before the join
  size_t nRelayedAtAccept = 0;  // server texts relayed once the server had accepted it
  size_t nRelayedSynced = 0;    // server texts relayed up to the last marker it was waited for
};

class CSoak {
 public:
  CSoak(int rounds, unsigned seed, int boxMs)
      : m_nRounds(rounds), m_nBoxMs(boxMs), m_random(seed) {}

  int Run() {
    QElapsedTimer timer;
    timer.start();
    {
      test::ScopedTempDir dir;
      const uint16_t port = test::FreePort();
      m_server = std::make_unique<ChatCopy>(dir.path() / "server", port);
      m_server->host().recordMessages = true;
      m_server->Host("host", "red");
      for (int i = 0; i < kClients; ++i) {
        m_clients.push_back(
            std::make_unique<ChatCopy>(dir.path() / ("c" + std::to_string(i)), port));
        m_clients.back()->host().recordMessages = true;
        if (i % 2 == 1) m_clients.back()->HoldBoxes(m_nBoxMs);
        m_generation.push_back(0);
        m_present.push_back(false);
        Join(i);
      }
      m_port = port;
      for (int round = 0; round < m_nRounds && g_nFailures == 0; ++round) RunRound(round);
      Check();
      Report(timer.elapsed());
      m_raw.reset();
      m_clients.clear();
      m_server.reset();
    }
    CStreamSocket::FinishClosingConnections(2000);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return g_nFailures;
  }

 private:
  std::string Name(int client) const {
    return "c" + std::to_string(client) + "g" + std::to_string(m_generation[client]) + "n" +
           std::to_string(m_nRenames);
  }

  ChatCopy& Client(int client) { return *m_clients[client]; }

  int SlotsInUse() {
    int count = 0;
    for (const CPeerSocket& peer : m_server->view().m_Peers) count += peer.m_bInUse;
    return count;
  }

  int PresentCount() const {
    int count = 0;
    for (bool present : m_present) count += present;
    return count;
  }

  bool IsServerNotice(const std::string& text) const {
    return text == FillFormat(kHostingNoticeFormat, {m_ownIp, m_ownIp}) ||
           text == FillFormat(kAcceptedNoticeFormat, {m_ownIp}) ||
           text == FillFormat(kClientLeftNoticeFormat, {m_ownIp}) || text == kDisconnectedNotice;
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
    std::vector<std::string> deliverable;
    for (std::string& text : Relayed()) {
      if (text.size() <= kMaxReceivedText) deliverable.push_back(std::move(text));
    }
    return deliverable;
  }

  /// How many texts Deliverable() holds now, counted as the record grows.
  size_t DeliverableCount() {
    const std::vector<std::string>& record = m_server->host().messages;
    for (; m_nCounted < record.size(); ++m_nCounted) {
      const std::string& text = record[m_nCounted];
      m_nDeliverable += !IsServerNotice(text) && text.size() <= kMaxReceivedText;
    }
    return m_nDeliverable;
  }

  void Join(int client) {
    ++m_generation[client];
    CSession session;
    session.nClient = client;
    session.nRecordStart = Client(client).host().messages.size();
    session.nRecordEnd = SIZE_MAX;
    session.nRelayedAtJoin = DeliverableCount();
    const int inUse = SlotsInUse();
    Client(client).Join(Name(client), m_colors[client % m_colors.size()]);
    SOAK_CHECK(
        WaitFor([&] { return SlotsInUse() == inUse + 1 && Client(client).view().m_bConnected; },
                kSyncTimeoutMs),
        "join of " + Name(client));
    Await(FillFormat(kJoinNoticeFormat, {Client(client).view().m_strColor, Name(client), m_ownIp}));
    Await(FillFormat(kAddCommandFormat, {Client(client).view().m_strColor, Name(client)}));
    session.nRelayedAtAccept = DeliverableCount();
    session.nRelayedSynced = session.nRelayedAtAccept;
    m_present[client] = true;
    m_openSession[client] = m_sessions.size();
    m_sessions.push_back(session);
    ++m_nJoins;
  }

  void Leave(int client) {
    CSession& session = m_sessions[m_openSession[client]];
    CMureloView& view = Client(client).view();
    Await(FillFormat(kDelCommandFormat, {view.m_strColor, view.m_strName}));
    Await(FillFormat(kLeaveNoticeFormat, {view.m_strColor, view.m_strName, m_ownIp}));
    const int inUse = SlotsInUse();
    view.OnDisconnectCmd();
    session.nRecordEnd = Client(client).host().messages.size();
    SOAK_CHECK(WaitFor([&] { return SlotsInUse() == inUse - 1; }, kSyncTimeoutMs),
               "slot of " + view.m_strName + " freed");
    m_present[client] = false;
    ++m_nLeaves;
  }

  void Say(ChatCopy& copy, const std::string& typed) {
    const std::string text = FillFormat(
        kChatLineFormat, {copy.view().m_strColor, copy.view().m_strName, typed, m_ownIp});
    if (&copy != m_server.get()) {
      m_said.push_back(text);
      if (text.size() <= kMaxReceivedText) Await(text);
    } else {
      m_serverSaid.push_back(text);
    }
    copy.Say(typed);
    ++m_nSaid;
  }

  /// A typed text that makes the chat line of copy exactly length bytes.
  std::string TypedOfLength(ChatCopy& copy, size_t length, const std::string& tag) {
    const size_t fixed =
        FillFormat(kChatLineFormat, {copy.view().m_strColor, copy.view().m_strName, "", m_ownIp})
            .size();
    std::string typed = tag + " ";
    typed.resize(length - fixed, 'L');
    return typed;
  }

  void SendMalformed(int round) {
    m_raw = std::make_unique<RawPeer>(m_port);
    const int inUse = SlotsInUse();
    SOAK_CHECK(WaitFor([&] { return SlotsInUse() == inUse + 1; }, kSyncTimeoutMs),
               "raw peer accepted");
    const std::string tag = "raw" + std::to_string(round);
    std::string frames(3, '\0');  // lone terminators
    for (int b = 1; b <= 0xfe; ++b) frames += static_cast<char>(b);
    frames += EncodeMessage(tag);  // 0x01 ends an empty text; the rest ends with the tag
    frames += std::string(2, '\0');
    std::string lines;
    for (int i = 0; i < 12; ++i) lines += tag + " line " + std::to_string(i) + "\n";
    frames += EncodeMessage(lines);
    frames += EncodeMessage("\nadd\nred\n" + tag + "\nx\n");  // five lines: no command
    frames += EncodeMessage("\ndel\n" + tag + "\n");          // three lines: no command
    std::string tooLong(1030, 'T');
    for (char& byte : tooLong) byte = static_cast<char>(byte + 1);
    frames += tooLong + '\0';
    frames += EncodeMessage(tag + " after\n" + m_ownIp + "\n");
    // In pieces, so that frames are cut across reads.
    for (size_t at = 0; at < frames.size(); at += 97) {
      m_raw->Write(frames.substr(at, 97));
      if (at % 3 == 0) test::Settle(1);
    }
    m_nMalformedFrames += 8;
    SOAK_CHECK(WaitFor([&] { return m_server->Logged(tag + " after"); }, kSyncTimeoutMs), tag);
    if (round % 2 == 0) {
      m_raw->Reset();
    }
    m_raw.reset();
    SOAK_CHECK(WaitFor([&] { return SlotsInUse() == inUse; }, kSyncTimeoutMs), tag + " closed");
  }

  void RunRound(int round) {
    std::uniform_int_distribution<int> anyClient(0, kClients - 1);
    std::uniform_int_distribution<int> percent(0, 99);

    // Comings and goings: a client leaves now and then; the missing come back.
    if (round % 3 == 1) {
      for (int leaving = 0; leaving < 2; ++leaving) {
        const int client = anyClient(m_random);
        if (m_present[client]) Leave(client);
      }
    }
    if (round % 5 == 2 && PresentCount() < kClients) SendMalformed(round);
    if (round % 3 == 0) {
      for (int client = 0; client < kClients; ++client) {
        if (!m_present[client]) Join(client);
      }
    }

    for (int client = 0; client < kClients; ++client) {
      if (m_present[client] && percent(m_random) < 70) {
        Say(Client(client), "r" + std::to_string(round) + " from " + Name(client) + " <i>hi");
      }
      // Twelve lines from the host among the others' lines: every copy shows a box,
      // and what follows reaches a client whose box is open inside the box.
      if (client == kClients / 2 && round % 2 == 0) {
        std::string twelve;
        for (int line = 0; line < 12; ++line) twelve += "r" + std::to_string(round) + " line\n";
        m_server->view().Broadcast(twelve);
        m_serverSaid.push_back(twelve);
      }
    }
    const int someone = anyClient(m_random);
    if (m_present[someone] && round % 4 == 3) {
      Say(Client(someone), "r" + std::to_string(round) + " all clear");
      ++m_nClears;
    }
    if (m_present[someone] && round % 7 == 5) {
      ++m_nRenames;
      const std::string color = m_colors[(round + someone) % m_colors.size()];
      CMureloView& view = Client(someone).view();
      Await(FillFormat(kChangeCommandFormat,
                       {view.m_strColor, view.m_strName, color, Name(someone)}));
      Client(someone).host().nameColorChoice = CNameColorChoice{color, Name(someone)};
      view.OnChangeNameColorCmd();
    }
    if (round % 6 == 4) {
      ChatCopy& sender = (round / 6) % 2 == 0 || !m_present[someone] ? *m_server : Client(someone);
      for (size_t length = 1022; length <= 1025; ++length) {
        Say(sender, TypedOfLength(sender, length, "r" + std::to_string(round) + " long"));
        ++m_nLongTexts;
      }
    }
    Say(*m_server, "r" + std::to_string(round) + " from the host");

    // What the clients sent this round reaches the server before the marker does.
    SOAK_CHECK(WaitFor([&] { return AllArrived(); }, kSyncTimeoutMs),
               "round " + std::to_string(round) + ": what the clients sent reaches the server");
    const std::string marker = "marker " + std::to_string(round) + "\n" + m_ownIp + "\n";
    m_server->view().Broadcast(marker);
    const size_t synced = DeliverableCount();
    for (int client = 0; client < kClients; ++client) {
      if (!m_present[client]) continue;
      const auto& messages = Client(client).host().messages;
      SOAK_CHECK(
          WaitFor([&] { return !messages.empty() && messages.back() == marker; }, kSyncTimeoutMs),
          "round " + std::to_string(round) + " marker at " + Name(client) +
              ", last: " + (messages.empty() ? "" : messages.back().substr(0, 80)));
      m_sessions[m_openSession[client]].nRelayedSynced = synced;
    }
  }

  /// Notes a text a client sends that the server must take before the round ends.
  void Await(const std::string& text) { m_awaited.insert(text); }

  bool AllArrived() {
    const std::vector<std::string>& record = m_server->host().messages;
    for (; m_nScanned < record.size(); ++m_nScanned) m_awaited.erase(record[m_nScanned]);
    return m_awaited.empty();
  }

  void CheckSession(const CSession& session, const std::vector<std::string>& deliverable) {
    const std::vector<std::string>& record = Client(session.nClient).host().messages;
    const size_t end = std::min(session.nRecordEnd, record.size());
    const std::set<std::string> local = {
        FillFormat(kConnectedNoticeFormat, {m_ownIp}),
        FillFormat(kHostLostNoticeFormat, {m_ownIp}),
        std::string(kDisconnectedNotice),
    };
    std::vector<std::string> received;
    for (size_t i = session.nRecordStart; i < end; ++i) {
      if (!local.contains(record[i])) received.push_back(record[i]);
    }
    const std::string who = "client " + std::to_string(session.nClient) + " session from " +
                            std::to_string(session.nRecordStart);
    SOAK_CHECK(!received.empty() && received[0] == "\nadd\nred\nhost\n",
               who + ": snapshot starts with the host");

    // The snapshot is the leading add commands; the rest is a run of the relayed texts
    // that starts while the session was being accepted. A copy whose boxes stay open
    // takes what arrives meanwhile inside the box, ahead of the texts that came with
    // the one that opened it, so there the run is compared as a multiset.
    const bool holdsBoxes = Client(session.nClient).HoldsBoxes();
    bool aligned = false;
    for (size_t snapshot = 1; snapshot <= received.size() && snapshot <= kMemberRows && !aligned;
         ++snapshot) {
      if (!IsAddCommand(received[snapshot - 1])) break;
      const size_t run = received.size() - snapshot;
      const auto first = received.begin() + static_cast<long>(snapshot);
      for (size_t start = session.nRelayedAtJoin; start <= session.nRelayedAtAccept && !aligned;
           ++start) {
        if (start + run > deliverable.size()) break;
        const auto from = deliverable.begin() + static_cast<long>(start);
        if (holdsBoxes) {
          std::vector<std::string> taken(first, received.end());
          std::vector<std::string> relayed(from, from + static_cast<long>(run));
          std::sort(taken.begin(), taken.end());
          std::sort(relayed.begin(), relayed.end());
          aligned = taken == relayed;
        } else {
          aligned = std::equal(first, received.end(), from);
        }
        if (!aligned) continue;
        m_nDelivered += run;
        if (session.nRecordEnd == SIZE_MAX) {
          SOAK_CHECK(start + run == deliverable.size(), who + ": everything up to the end");
        } else {
          SOAK_CHECK(start + run >= session.nRelayedSynced, who + ": everything up to its leave");
        }
      }
    }
    SOAK_CHECK(aligned, who +
                            ": received texts are a snapshot and then a run of the relayed ones, "
                            "from its accept, in order (or, holding boxes, in any order)");
  }

  void Check() {
    const std::vector<std::string> relayed = Relayed();
    const std::vector<std::string> deliverable = Deliverable();
    std::map<std::string, size_t> position;
    for (size_t i = 0; i < deliverable.size(); ++i) {
      SOAK_CHECK(position.emplace(deliverable[i], i).second,
                 "relayed twice: " + deliverable[i].substr(0, 60));
    }
    for (const CSession& session : m_sessions) CheckSession(session, deliverable);

    std::multiset<std::string> relayedSet(relayed.begin(), relayed.end());
    for (const std::string& text : m_said) {
      const size_t expected = text.size() <= kMaxReceivedText ? 1 : 0;
      SOAK_CHECK(relayedSet.count(text) == expected, "said by a client: " + text.substr(0, 60));
    }
    for (const std::string& text : m_serverSaid) {
      SOAK_CHECK(relayedSet.count(text) == 1, "said by the host: " + text.substr(0, 60));
      if (text.size() > kMaxReceivedText) ++m_nHostOnly;
    }
    for (auto& client : m_clients) {
      for (const std::string& text : client->host().messages) {
        SOAK_CHECK(text.size() <= kMaxReceivedText, "a client took an overlong text");
      }
    }

    std::vector<ChatCopy*> copies = {m_server.get()};
    for (int client = 0; client < kClients; ++client) {
      if (m_present[client]) copies.push_back(&Client(client));
    }
    const std::vector<std::string> serverMembers = m_server->Members();
    const std::multiset<std::string> members(serverMembers.begin(), serverMembers.end());
    for (ChatCopy* copy : copies) {
      const std::vector<std::string> own = copy->Members();
      SOAK_CHECK(std::multiset<std::string>(own.begin(), own.end()) == members,
                 copy->view().m_strName + ": table");
      SOAK_CHECK(copy->view().m_Log.Count() <= kLogCapacity, "log size");
    }
    for (ChatCopy* copy : {m_server.get()}) {
      int boxes = 0;
      for (const std::string& box : copy->host().boxes) boxes += box == kBoxMalformedText;
      // One box answers for all that a read brought, so a read with several malformed
      // texts shows one.
      SOAK_CHECK(boxes <= MalformedCount(copy->host().messages), "server boxes");
      SOAK_CHECK(boxes > 0 || m_nMalformedFrames == 0, "server boxes shown");
      SOAK_CHECK(copy->host().maxBoxDepth <= 1, "server boxes never nested");
    }
    for (auto& client : m_clients) {
      int boxes = 0;
      for (const std::string& box : client->host().boxes) boxes += box == kBoxMalformedText;
      const int malformed = MalformedCount(client->host().messages);
      SOAK_CHECK(boxes <= malformed && (boxes > 0) == (malformed > 0),
                 client->view().m_strName + ": boxes");
      SOAK_CHECK(client->host().maxBoxDepth <= 1, client->view().m_strName + ": boxes nested");
      SOAK_CHECK(static_cast<int>(client->host().boxes.size()) == boxes, "no other box");
    }
    m_nRelayed = relayed.size();
    for (auto& client : m_clients) {
      m_nInsideBoxes += client->host().messagesInsideBoxes;
      m_nDeepestBox = std::max(m_nDeepestBox, client->host().maxBoxDepth);
    }
  }

  void Report(qint64 elapsedMs) {
    std::printf("soak: %d rounds in %.1f s, 1 server and %d clients\n", m_nRounds,
                elapsedMs / 1000.0, kClients);
    std::printf(
        "soak: %zu texts relayed by the server, %zu deliveries to client sessions checked\n",
        m_nRelayed, m_nDelivered);
    std::printf(
        "soak: %d lines said (%d clear requests, %d texts of 1022-1025 bytes, %zu of them "
        "the host's alone), %d renames, %d leaves, %d joins, %d malformed frames\n",
        m_nSaid, m_nClears, m_nLongTexts, m_nHostOnly, m_nRenames, m_nLeaves, m_nJoins,
        m_nMalformedFrames);
    std::printf("soak: %d texts taken by clients inside open boxes, boxes nested %d deep\n",
                m_nInsideBoxes, m_nDeepestBox);
  }

  const int m_nRounds;
  const int m_nBoxMs;
  std::mt19937 m_random;
  const std::string m_ownIp = FindOwnIpv4Address().value_or("127.0.0.1");
  const std::vector<std::string> m_colors = {"blue", "green", "#00ffff", "purple", "orange"};
  uint16_t m_port = 0;
  std::unique_ptr<ChatCopy> m_server;
  std::vector<std::unique_ptr<ChatCopy>> m_clients;
  std::unique_ptr<RawPeer> m_raw;
  std::vector<int> m_generation;
  std::vector<bool> m_present;
  std::map<int, size_t> m_openSession;
  std::vector<CSession> m_sessions;
  std::multiset<std::string> m_awaited;
  size_t m_nScanned = 0;  // of the server's record, for m_awaited
  size_t m_nCounted = 0;  // of the server's record, for m_nDeliverable
  size_t m_nDeliverable = 0;
  std::vector<std::string> m_said;
  std::vector<std::string> m_serverSaid;
  int m_nSaid = 0, m_nClears = 0, m_nLongTexts = 0, m_nRenames = 0, m_nLeaves = 0, m_nJoins = 0;
  int m_nMalformedFrames = 0;
  size_t m_nRelayed = 0, m_nDelivered = 0, m_nHostOnly = 0;
  int m_nInsideBoxes = 0, m_nDeepestBox = 0;
};

}  // namespace
}  // namespace murelo

int main(int argc, char** argv) {
  int rounds = 300;
  unsigned seed = 1;
  int boxMs = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--rounds")
      rounds = std::atoi(argv[i + 1]);
    else if (option == "--seed")
      seed = static_cast<unsigned>(std::atoi(argv[i + 1]));
    else if (option == "--box-ms")
      boxMs = std::atoi(argv[i + 1]);
  }
  QCoreApplication application(argc, argv);
  murelo::CQtEventLoop loop;
  const int descriptorsBefore = murelo::OpenDescriptors();
  const int failures = murelo::CSoak(rounds, seed, boxMs).Run();
  const int descriptorsAfter = murelo::OpenDescriptors();
  std::printf("soak: %d descriptors open before, %d after\n", descriptorsBefore, descriptorsAfter);
  if (descriptorsAfter != descriptorsBefore) {
    std::fprintf(stderr, "soak: FAILED: descriptors left open\n");
    return 1;
  }
  if (failures != 0)
    std::fprintf(stderr, "soak: FAILED: %d checks\n", failures);
  else
    std::printf("soak: all checks passed\n");
  return failures == 0 ? 0 : 1;
}
