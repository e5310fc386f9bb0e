// The receive path under any bytes: one connection of a chat view, hosting or joined,
// is fed the input in reads of sizes the input chooses, over real loopback TCP, and
// the view reads, frames, interprets (and as a server relays) every message and
// writes its page.
//
// Input: byte 0 chooses the role (bit 0: server), the largest read (bits 1 to 3) and
// the pattern of read sizes (bits 4 to 7). Byte 1: how many further reads arrive
// while each message box is open (bits 0 and 1: 0 to 3), so that messages are taken
// inside the box's nested loop; how the connection ends (bit 2: the view's user
// disconnects, else the peer resets it). The rest is what the peer sends.
//
// Neither ending leaves a connection in TIME_WAIT (the peer that closes last resets),
// so a long run does not use up the ephemeral ports.
//
// Checks, for every input:
// - the texts the view interprets from the connection are those an independent
//   reading of the wire format finds in the bytes (non-empty, at most 1023 bytes, no
//   NUL), whatever the reads, in order unless some were taken while a box was open;
//   a server relays each one, so the peer sees them too; the view's own messages
//   (snapshot, join, add, del and leave) reach the peer as they should;
// - one "malformed text" box for each of those texts with more than ten lines;
// - the view notices the end of the connection, nothing hangs;
// - the log holds at most 200 entries and data.htm is the page of the final state;
// - no socket is left open.
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "core/message_catalog.h"
#include "core/message_format.h"
#include "core/murelo_view.h"
#include "core/wire_format.h"
#include "fuzz_support.h"
#include "poll_event_loop.h"
#include "tests/test_support.h"
#include "ui/page_writer.h"

namespace murelo::fuzz {
namespace {

constexpr int kHangMs = 3000;

void DeliverNext();

/// The window around the view: the peer goes on sending while a box is open, and the
/// box's loop takes readsWhileOpen of its reads.
void HoldBoxes(test::CTestHost& host, int readsWhileOpen) {
  host.recordMessages = true;
  host.onMessageBox = [readsWhileOpen](std::string_view) {
    for (int i = 0; i < readsWhileOpen; ++i) DeliverNext();
  };
}

/// The messages in wire bytes, read straight from the format's definition: decode,
/// cut at every byte that decodes to 0x00, keep the texts of 1 to 1023 bytes that a
/// terminator ends.
std::vector<std::string> ReferenceMessages(std::string_view wire) {
  std::vector<std::string> messages;
  std::string text;
  for (char byte : wire) {
    const auto b = static_cast<unsigned char>(byte);
    if (b <= 1) {
      if (!text.empty() && text.size() <= kMaxReceivedText) messages.push_back(text);
      text.clear();
    } else {
      text += static_cast<char>(b - 1);
    }
  }
  return messages;
}

/// The sockets open in this process (other descriptors come and go with the
/// sanitizers' symbolizer).
int OpenSockets() {
  int count = 0;
  DIR* directory = opendir("/proc/self/fd");
  while (dirent* entry = readdir(directory)) {
    char target[64] = {};
    const std::string link = std::string("/proc/self/fd/") + entry->d_name;
    if (readlink(link.c_str(), target, sizeof target - 1) > 0)
      count += std::string_view(target).starts_with("socket:");
  }
  closedir(directory);
  return count;
}

uint16_t LocalPort(int fd) {
  sockaddr_in address{};
  socklen_t size = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  return ntohs(address.sin_port);
}

/// What lives for the whole run: the loop, the page directory, a free port for the
/// view to host on, and a listener that plays the host for a joining view.
struct CWorld {
  CWorld() {
    ScratchDirectory();
    hostListener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in any = test::LoopbackAddress(0);
    FUZZ_CHECK(bind(hostListener, reinterpret_cast<const sockaddr*>(&any), sizeof any) == 0);
    FUZZ_CHECK(listen(hostListener, 4) == 0);
    hostPort = LocalPort(hostListener);

    const int probe = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    FUZZ_CHECK(bind(probe, reinterpret_cast<const sockaddr*>(&any), sizeof any) == 0);
    serverPort = LocalPort(probe);
    close(probe);
  }

  CPollEventLoop loop;
  int hostListener = -1;
  uint16_t hostPort = 0;
  uint16_t serverPort = 0;
};

CWorld& World() {
  static CWorld world;
  return world;
}

/// Turns the loop until condition holds; a finding (a hang) if it does not in time.
template <typename Condition>
void TurnUntil(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHangMs);
  while (!condition()) {
    FUZZ_CHECK(std::chrono::steady_clock::now() < deadline);
    World().loop.Turn(0);
  }
}

void TurnUntilIdle() {
  TurnUntil([] { return !World().loop.HasPostedTasks(); });
}

void WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;  // libFuzzer's timer signal
    FUZZ_CHECK(n > 0);
    bytes.remove_prefix(static_cast<size_t>(n));
  }
}

/// Reads fd until the peer closes, turning the loop meanwhile.
std::string ReadToEnd(int fd) {
  std::string received;
  bool closed = false;
  TurnUntil([&] {
    char buffer[65536];
    for (;;) {
      const ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n > 0) {
        received.append(buffer, static_cast<size_t>(n));
        continue;
      }
      closed = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
      return closed;
    }
  });
  return received;
}

/// Every write of the peer goes out at once, as one read's worth (no Nagle delay).
void SendAtOnce(int fd) {
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

/// A peer connected to the view's listener. Thousands of short connections a second
/// can briefly leave the machine without a local port to connect from; that is this
/// harness's doing, not the view's, so it waits and tries again.
int ConnectPeer(uint16_t port) {
  const sockaddr_in server = test::LoopbackAddress(port);
  for (int attempt = 0; attempt < 200; ++attempt) {
    const int peer = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    SendAtOnce(peer);
    if (connect(peer, reinterpret_cast<const sockaddr*>(&server), sizeof server) == 0) return peer;
    close(peer);
    World().loop.Turn(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  FUZZ_CHECK(false && "no connection to the view's listener");
  return -1;
}

void CloseWithReset(int fd) {
  const linger abort = {1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  close(fd);
}

/// The sizes of the reads the peer's bytes are cut into.
std::vector<size_t> ReadSizes(uint8_t header, size_t total) {
  static constexpr std::array<size_t, 8> kLargest = {1, 2, 7, 64, 500, 1024, 1025, 65536};
  const size_t largest = kLargest[(header >> 1) & 7];
  const uint32_t pattern = header >> 4;
  std::vector<size_t> sizes;
  for (uint32_t i = 0, done = 0; done < total; ++i) {
    const uint32_t mixed = (i * 2654435761u) ^ (pattern * 40503u);
    const size_t size = std::min<size_t>(total - done, 1 + mixed % largest);
    sizes.push_back(size);
    done += static_cast<uint32_t>(size);
  }
  return sizes;
}

/// The peer's bytes still to send, in the chosen reads.
struct CDelivery {
  int fd = -1;
  std::string_view rest;
  std::vector<size_t> sizes;
  size_t nNext = 0;
};
CDelivery g_delivery;

/// Sends the next read's bytes and turns the loop once, so the view reads them by
/// themselves. Nothing once everything is sent.
void DeliverNext() {
  if (g_delivery.nNext == g_delivery.sizes.size()) return;
  const size_t size = g_delivery.sizes[g_delivery.nNext++];
  WriteAll(g_delivery.fd, g_delivery.rest.substr(0, size));
  g_delivery.rest.remove_prefix(size);
  World().loop.Turn(0);
}

void Deliver(int fd, std::string_view wire, uint8_t header) {
  g_delivery = {fd, wire, ReadSizes(header, wire.size()), 0};
  while (g_delivery.nNext < g_delivery.sizes.size()) DeliverNext();
  g_delivery = {};
}

void CheckFinalState(const CMureloView& view, const test::CTestHost& host,
                     const std::vector<std::string>& expected) {
  int malformed = 0;
  LineTable lines;
  for (const std::string& message : expected) {
    malformed += SplitMessageLines(message, lines) > kMaxWellFormedLines;
  }
  // One box answers for all that had arrived when it was dismissed, and none opens in
  // another.
  const auto malformedBoxes = std::count(host.boxes.begin(), host.boxes.end(), kBoxMalformedText);
  FUZZ_CHECK(malformedBoxes <= malformed);
  FUZZ_CHECK((malformedBoxes > 0) == (malformed > 0));
  FUZZ_CHECK(host.maxBoxDepth <= 1);
  FUZZ_CHECK(malformedBoxes == static_cast<long>(host.boxes.size()));
  FUZZ_CHECK(view.m_Log.Count() >= 0 && view.m_Log.Count() <= kLogCapacity);

  TurnUntilIdle();
  std::ifstream in(std::string(kPageFileName), std::ios::binary);
  const std::string page{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  FUZZ_CHECK(page.starts_with(kPageHead));
  FUZZ_CHECK(page == ComposeChatPage(view.m_Members, view.m_Log, DisplayLimit(3)));
}

/// The texts of wire bytes the peer reads, as a view's framer would take them.
std::vector<std::string> Messages(const std::string& bytes) {
  std::vector<std::string> messages;
  CMessageFramer framer;
  framer.Feed(bytes, messages);
  return messages;
}

/// Reads what has arrived on fd, without waiting.
void ReadAvailable(int fd, std::string& received) {
  char buffer[65536];
  for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;) {
    received.append(buffer, static_cast<size_t>(n));
  }
}

/// taken must be expected, in order unless boxes let later reads in first.
void CheckTaken(std::vector<std::string> taken, std::vector<std::string> expected,
                int readsWhileOpen) {
  if (readsWhileOpen != 0) {
    // What a box's loop took comes before the rest of the read that opened the box.
    std::sort(taken.begin(), taken.end());
    std::sort(expected.begin(), expected.end());
  }
  FUZZ_CHECK(taken == expected);
}

std::string FirstLine(std::string_view text) {
  return std::string(text.substr(0, text.find('\n')));
}

void RunServer(std::string_view wire, uint8_t header, uint8_t options,
               const std::vector<std::string>& expected) {
  const int readsWhileOpen = options & 3;
  test::CTestHost host;
  HoldBoxes(host, readsWhileOpen);
  host.connectChoice = CConnectChoice{true, "red", "host", ""};
  CMureloView view(host, {World().serverPort, ""});
  view.OnInitialUpdate();
  view.OnConnectCmd();
  FUZZ_CHECK(view.m_bServer);

  const int peer = ConnectPeer(World().serverPort);
  TurnUntil([&] { return view.m_Peers[kPeerSlots - 1].m_bInUse == 1; });
  const size_t before = host.messages.size();  // the hosting and accepted notices

  Deliver(peer, wire, header);
  // A read the kernel had not yet handed over during its turn is taken now.
  TurnUntil([&] { return host.messages.size() >= before + expected.size(); });
  std::vector<std::string> relayed;
  if (options & 4) {
    // The host's user leaves: farewell, then the server closes first.
    view.OnDisconnectCmd();
    FUZZ_CHECK(view.m_Peers[kPeerSlots - 1].m_bInUse == 0 && !view.m_bConnected);
    relayed = Messages(ReadToEnd(peer));
    CloseWithReset(peer);
    FUZZ_CHECK(relayed.size() >= 3);
    FUZZ_CHECK(relayed[relayed.size() - 2] == "\ndel\nred\nhost\n");
    FUZZ_CHECK(relayed.back() == FillFormat(kLeaveNoticeFormat, {"red", "host", view.m_szOwnIp}));
    relayed.resize(relayed.size() - 2);
    FUZZ_CHECK(host.messages.size() == before + expected.size() + 3);  // del, leave, notice
    FUZZ_CHECK(view.m_Log[view.m_Log.Count() - 1].strHtml == FirstLine(kDisconnectedNotice));
  } else {
    // The peer resets the connection once the server has relayed all it took.
    std::string received;
    TurnUntil([&] {
      ReadAvailable(peer, received);
      return Messages(received).size() >= expected.size() + 1;
    });
    CloseWithReset(peer);
    TurnUntil([&] { return view.m_Peers[kPeerSlots - 1].m_bInUse == 0; });
    FUZZ_CHECK(!view.m_bConnected);
    relayed = Messages(received);
    FUZZ_CHECK(host.messages.size() == before + expected.size());  // no notice for the last
  }
  // The server interpreted and relayed every message it took, after the snapshot.
  CheckTaken({host.messages.begin() + static_cast<long>(before),
              host.messages.begin() + static_cast<long>(before + expected.size())},
             expected, readsWhileOpen);
  FUZZ_CHECK(!relayed.empty() && relayed.front() == "\nadd\nred\nhost\n");
  relayed.erase(relayed.begin());
  CheckTaken(relayed, expected, readsWhileOpen);

  CheckFinalState(view, host, expected);
}

void RunClient(std::string_view wire, uint8_t header, uint8_t options,
               const std::vector<std::string>& expected) {
  const int readsWhileOpen = options & 3;
  test::CTestHost host;
  HoldBoxes(host, readsWhileOpen);
  host.connectChoice = CConnectChoice{false, "blue", "guest", "127.0.0.1"};
  CMureloView view(host, {World().hostPort, ""});
  view.OnInitialUpdate();
  view.OnConnectCmd();

  // The peer's blocking calls are retried when libFuzzer's timer signal cuts them short.
  pollfd waiting = {World().hostListener, POLLIN, 0};
  int ready;
  while ((ready = poll(&waiting, 1, kHangMs)) < 0 && errno == EINTR) {
  }
  FUZZ_CHECK(ready == 1);
  int peer;
  while ((peer = accept4(World().hostListener, nullptr, nullptr, SOCK_CLOEXEC)) < 0 &&
         errno == EINTR) {
  }
  FUZZ_CHECK(peer >= 0);
  SendAtOnce(peer);
  TurnUntil([&] { return view.m_bConnected; });
  FUZZ_CHECK(host.messages.size() == 1);  // the connected notice

  Deliver(peer, wire, header);
  TurnUntil([&] { return host.messages.size() >= 1 + expected.size(); });
  CheckTaken({host.messages.begin() + 1, host.messages.end()}, expected, readsWhileOpen);
  if (options & 4) {
    // The user leaves: farewell, then the client closes first.
    view.OnDisconnectCmd();
    FUZZ_CHECK(!view.m_bConnected);
    const std::vector<std::string> sent = Messages(ReadToEnd(peer));
    CloseWithReset(peer);
    const std::vector<std::string> own = {
        FillFormat(kJoinNoticeFormat, {"blue", "guest", view.m_szOwnIp}), "\nadd\nblue\nguest\n",
        "\ndel\nblue\nguest\n", FillFormat(kLeaveNoticeFormat, {"blue", "guest", view.m_szOwnIp})};
    FUZZ_CHECK(sent == own);
    FUZZ_CHECK(view.m_Log[view.m_Log.Count() - 1].strHtml == FirstLine(kDisconnectedNotice));
  } else {
    CloseWithReset(peer);
    TurnUntil([&] { return !view.m_bConnected; });
    // The end of the connection is the newest entry.
    FUZZ_CHECK(view.m_Log[view.m_Log.Count() - 1].strHtml == FirstLine(kHostLostNoticeFormat));
  }
  FUZZ_CHECK(host.messages.size() == 2 + expected.size());

  CheckFinalState(view, host, expected);
}

}  // namespace
}  // namespace murelo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace murelo::fuzz;
  if (size < 2) return 0;
  World();
  static const int sockets = OpenSockets();

  const uint8_t header = data[0];
  const uint8_t options = data[1];
  const std::string_view wire(reinterpret_cast<const char*>(data) + 2, size - 2);
  const std::vector<std::string> expected = ReferenceMessages(wire);
  for (const std::string& message : expected) {
    FUZZ_CHECK(!message.empty() && message.size() <= murelo::kMaxReceivedText);
    FUZZ_CHECK(message.find('\0') == std::string::npos);
  }

  // Framing alone: the same bytes in any reads give the same messages.
  std::vector<std::string> framed;
  murelo::CMessageFramer framer;
  std::string_view rest = wire;
  for (size_t part : ReadSizes(header, wire.size())) {
    framer.Feed(rest.substr(0, part), framed);
    rest.remove_prefix(part);
  }
  FUZZ_CHECK(framed == expected);

  if (header & 1) {
    RunServer(wire, header, options, expected);
  } else {
    RunClient(wire, header, options, expected);
  }
  // The view's side of a reset connection finishes closing on a later turn.
  TurnUntil([&] { return OpenSockets() == sockets; });
  World().loop.RunAllTimers();
  return 0;
}
