// Hostile peers against a hosting copy, and a hostile host against a joined one. The peers
// are threads with plain blocking calls; this thread turns the copies' event loop. The
// user takes 100 ms over each box, and a well-behaved client times the relay of a line
// every 50 ms. Through every attack no box opens inside another, every well-behaved line
// comes back within 100 ms, memory and descriptors stay bounded, and once it ends no box
// follows. Each attack lasts MURELO_ATTACK_SECONDS (default 3).
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "core/wire_format.h"
#include "loopback_test.h"

namespace murelo {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using test::ChatCopy;

// AddressSanitizer keeps freed memory in quarantine: what the program keeps can only be
// told from a build without it.
#if defined(__SANITIZE_ADDRESS__)
constexpr long kMemoryLimitKiB = LONG_MAX;
#else
constexpr long kMemoryLimitKiB = 64 * 1024;
#endif

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmRSS:")) return std::stol(line.substr(6));
  }
  return 0;
}
int OpenDescriptors() {
  return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}
/// fd, blocking with time limits.
int WithTimeouts(int fd) {
  const timeval limit = {0, 100000};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  return fd;
}
int Connect(uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in address = test::LoopbackAddress(port);
  connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  return WithTimeouts(fd);
}
void Send(int fd, std::string_view bytes) {
  for (ssize_t n; !bytes.empty() && (n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL)) > 0;)
    bytes.remove_prefix(static_cast<size_t>(n));
}
/// Reads fd until what it received holds text, or it closes, or timeoutMs has passed.
std::string ReadUntil(int fd, std::string_view text, int timeoutMs) {
  std::string received;
  char buffer[65536];
  for (const auto end = Clock::now() + milliseconds(timeoutMs);
       (text.empty() || received.find(text) == std::string::npos) && Clock::now() < end;) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n == 0) break;
    if (n > 0) received.append(buffer, static_cast<size_t>(n));
  }
  return received;
}
/// Sends malformed messages every 2 ms, or text without end, until end; then closes.
void Flood(int fd, Clock::time_point end, bool trickle) {
  const std::string malformed = EncodeMessage("1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n");
  const std::string endless(65536, 'x');
  for (; Clock::now() < end; std::this_thread::sleep_for(milliseconds(trickle ? 2 : 0)))
    Send(fd, trickle ? malformed : endless);
  close(fd);
}

class AttackTest : public test::LoopbackTest {
 protected:
  static Clock::time_point End() {
    const char* seconds = std::getenv("MURELO_ATTACK_SECONDS");
    return Clock::now() + std::chrono::seconds(seconds != nullptr ? std::atoi(seconds) : 3);
  }

  /// Runs attack in a thread against target, with a well-behaved client of server beside
  /// it when there is one, and checks the copy through it and after.
  void UnderAttack(ChatCopy& target, ChatCopy* server, const std::function<void()>& attack) {
    target.HoldBoxes(100);
    const long startKiB = ResidentKiB();
    const int startFds = OpenDescriptors();
    std::atomic<bool> done = false;
    double worstMs = 0;
    int missed = 0;
    long peakKiB = startKiB;
    int peakFds = startFds;
    std::thread attackers([&] {
      const int probe = server != nullptr ? Connect(port) : -1;
      std::thread peers(attack);
      for (int sent = 0; !done; std::this_thread::sleep_for(milliseconds(50))) {
        peakKiB = std::max(peakKiB, ResidentKiB());
        peakFds = std::max(peakFds, OpenDescriptors());
        if (probe < 0) continue;
        const std::string line = EncodeMessage("probe " + std::to_string(sent++) + "\nip\n");
        const auto start = Clock::now();
        Send(probe, line);
        missed += ReadUntil(probe, line, 5000).find(line) == std::string::npos;
        worstMs = std::max(worstMs,
                           std::chrono::duration<double, std::milli>(Clock::now() - start).count());
      }
      peers.join();
      close(probe);
    });
    std::thread stopper([&] {
      std::this_thread::sleep_until(End() + milliseconds(200));
      done = true;
    });
    test::WaitFor([&] { return done.load(); }, 600000);
    stopper.join();
    test::Settle(500);  // the attack is over: what is still open closes, nothing follows
    const size_t boxes = target.host().boxes.size();
    test::Settle(500);
    attackers.join();
    EXPECT_EQ(target.host().maxBoxDepth, 1 - target.host().boxes.empty());
    EXPECT_EQ(target.host().boxes.size(), boxes);
    EXPECT_TRUE(server == nullptr || (worstMs <= 100 && missed == 0))
        << worstMs << " ms, " << missed << " lost";
    EXPECT_LE(peakKiB - startKiB, kMemoryLimitKiB);
    EXPECT_LE(peakFds - startFds, 64);
    std::printf("boxes %zu, worst relay %.1f ms, peak memory +%.1f MB, peak descriptors +%d\n",
                boxes, worstMs, (peakKiB - startKiB) / 1024.0, peakFds - startFds);
  }
};

TEST_F(AttackTest, TrickleOfMalformedMessagesOpensOneBoxAtATime) {
  ChatCopy& server = StartServer();
  UnderAttack(server, &server, [&] { Flood(Connect(port), End(), true); });
  EXPECT_GT(server.host().messagesInsideBoxes, 0);     // taken, and the page kept current,
  EXPECT_GT(server.host().navigationsInsideBoxes, 0);  // while a box is open
}

TEST_F(AttackTest, FullRoomRefusesEveryFurtherConnectionWithOneBox) {
  ChatCopy& server = StartServer();
  int refused = 0;
  UnderAttack(server, &server, [&] {
    std::vector<int> room(kPeerSlots - 1);  // beside the well-behaved client
    for (int& fd : room) fd = Connect(port);
    for (int i = 0; i < 500; ++i) {
      const int fd = Connect(port);
      refused += ReadUntil(fd, "", 5000) == EncodeMessage(kRefusalNotice);
      close(fd);
    }
    for (int fd : room) close(fd);
  });
  EXPECT_EQ(refused, 500);
}

TEST_F(AttackTest, PeerThatNeverReadsHoldsUpNoOne) {
  ChatCopy& server = StartServer();
  UnderAttack(server, &server, [&] {  // its own lines come back to it
    const int fd = Connect(port), small = 4096;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    const std::string line = EncodeMessage(std::string(900, 'w') + "\nip\n");
    for (const auto end = End(); Clock::now() < end; std::this_thread::sleep_for(milliseconds(1)))
      send(fd, line.data(), line.size(), MSG_NOSIGNAL);
    close(fd);
  });
}

TEST_F(AttackTest, HostileHostTricklingOrStreamingIsSurvived) {
  for (bool trickle : {true, false}) {
    uint16_t hostPort = 0;
    const int listener = test::ListenOnLoopback(hostPort);
    ChatCopy client(dir.path() / ("client" + std::to_string(trickle)), hostPort);
    client.Join("guest");
    UnderAttack(client, nullptr, [&] {
      const int fd = WithTimeouts(accept(listener, nullptr, nullptr));
      std::atomic<bool> flooding = true;
      std::thread drain([&] {  // what the copy sends must not block it
        for (char buffer[4096]; flooding;) recv(fd, buffer, sizeof buffer, 0);
      });
      Flood(dup(fd), End(), trickle);
      flooding = false;
      drain.join();
      close(fd);
    });
    close(listener);
    EXPECT_FALSE(client.view().m_bConnected);
  }
}

}  // namespace
}  // namespace murelo
